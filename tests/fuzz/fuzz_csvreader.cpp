// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Any bytes as a measurement file: the reader must answer with samples or a
// message, keep within its capacity, and load any stretch of what it accepted.
#include "csvreader.h"
#include "trigger.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A small capacity, so that inputs of a few lines already exercise load().
    constexpr quint64 CAPACITY = 8;
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        std::abort();
    CsvReader reader(&buffer, CAPACITY);
    if (!reader.scan()) {
        if (reader.errorString().isEmpty())
            std::abort();
        return 0;
    }
    if (reader.loadedCount() > CAPACITY || reader.loadedCount() > reader.sampleCount())
        std::abort();
    // A capture's section: read or refused with a line and a reason.
    if (!reader.header().trigger.isEmpty()) {
        Trigger::SMarker marker;
        int badLine = -1;
        QString reason;
        if (!Trigger::fromSectionTexts(reader.header().trigger, 833.0, marker, badLine, reason) &&
            (reason.isEmpty() || badLine < 0 || badLine > reader.header().trigger.size()))
            std::abort();
    }
    for (const quint64 start : {reader.sampleCount() / 2, reader.sampleCount()}) {
        if (!reader.load(start) || reader.loadedCount() > CAPACITY ||
            reader.loadedStart() + reader.loadedCount() > reader.sampleCount())
            std::abort();
    }
    return 0;
}

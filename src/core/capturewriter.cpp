// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "capturewriter.h"

#include "durablefile.h"

#include <QDir>
#include <QFile>

namespace {

// Gives up looking for an unused number after this one.
constexpr int MAX_NUMBER = 999999;

} // namespace

void CaptureWriter::setFolder(const QString& folder)
{
    m_folder = folder;
    m_next = 1;
}

QString CaptureWriter::numberedName(int number)
{
    return QStringLiteral("capture_%1.csv").arg(number, 4, 10, QLatin1Char('0'));
}

CsvWriter::SHeader CaptureWriter::header(CsvWriter::SHeader header,
                                         const Trigger::SCapture& capture, double sampleRate)
{
    header.trigger = Trigger::sectionTexts(capture.settings, capture.triggerIndex, sampleRate);
    return header;
}

bool CaptureWriter::fail(const QString& file, const QString& reason)
{
    m_error = tr("Writing %1 failed:\n%2").arg(QDir::toNativeSeparators(file), reason);
    return false;
}

bool CaptureWriter::write(const CsvWriter::SHeader& head, const Trigger::SCapture& capture,
                          double sampleRate)
{
    m_error.clear();
    const QDir folder(m_folder);
    if (m_folder.isEmpty() || !folder.exists())
        return fail(m_folder, tr("The folder does not exist."));
    QFile file;
    // Never over an existing file: a number is taken by creating its file.
    for (;; ++m_next) {
        if (m_next > MAX_NUMBER)
            return fail(folder.filePath(numberedName(MAX_NUMBER)),
                        tr("No free file name is left."));
        file.setFileName(folder.filePath(numberedName(m_next)));
        if (file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly))
            break;
        if (!file.exists())
            return fail(file.fileName(), file.errorString());
    }
    ++m_next;

    CsvWriter csv(&file);
    csv.writeHeader(header(head, capture, sampleRate));
    csv.writeFrames(capture.accel, capture.gyro, capture.firstIndex, sampleRate);
    QString reason;
    bool ok = csv.flush();
    if (!ok)
        reason = file.errorString();
    ok = ok && DurableFile::syncData(file, &reason);
    file.close();
    if (!ok || file.error() != QFileDevice::NoError) {
        if (reason.isEmpty())
            reason = file.errorString();
        // A part of a capture would read as a shorter one.
        file.remove();
        return fail(file.fileName(), reason);
    }
    DurableFile::syncDirectory(m_folder);
    m_fileName = file.fileName();
    return true;
}

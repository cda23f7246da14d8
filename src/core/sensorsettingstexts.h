// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The sensor's settings as people see them: the choices of every range and
// filter with the texts the settings panel shows and the command line takes,
// the [Settings] lines of a measurement file, and back from those lines to
// the parameter record. Every program that shows, writes or reads the
// settings takes the texts from here, so that their files agree byte for byte.
// Stateless; any thread.
#pragma once

#include "cskarvel.h"
#include "csvwriter.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>

class SensorSettingsTexts
{
public:
    struct SChoice
    {
        QString text;
        uint8_t value; // the range code, the filter mode, the cutoff bits or the high-pass byte
    };

    // In the order the settings panel lists them.
    static QList<SChoice> accelRanges();
    static QList<SChoice> gyroRanges();
    static QList<SChoice> accelFilters();
    // The cutoffs of an accelerometer filter mode (LP1: the bandwidth bit).
    static QList<SChoice> accelCutoffs(uint8_t mode);
    static QList<SChoice> gyroHighPasses();
    // The low-latency setting's two texts.
    static QString yes();
    static QString no();
    // The text of the choice with this value; empty when none has it.
    static QString textOf(const QList<SChoice>& choices, uint8_t value);

    // The labels of the [Settings] lines, in the order texts() gives them.
    static QStringList labels();
    // The [Settings] lines of samples measured with these parameters: label, shown text.
    static QList<QPair<QString, QString>> texts(const SSkarvelParams& params);
    // The parameters a file's [Settings] lines name. False when one names no
    // choice or a line is missing or out of order; `unknown` is then its index.
    static bool paramsFromTexts(const QList<QPair<QString, QString>>& settings,
                                SSkarvelParams& params, int& unknown);

    // The header of a measurement file of samples measured with these parameters.
    static CsvWriter::SHeader fileHeader(const QDateTime& date, const QString& serialNumber,
                                         uint16_t firmware, const SSkarvelParams& params);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The recorder's command line: which sensor, for how long, with which ranges
// and filters, into which file. Setting values are the texts the window's
// settings panel shows (SensorSettingsTexts), with case and spaces aside;
// ranges also as the bare full scale ("8" for "±8 g").
#pragma once

#include "cskarvel.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

// The recorder's exit statuses, as its manual page gives them.
namespace recordstatus {
constexpr int OK = 0;
constexpr int BAD_OPTIONS = 2;
constexpr int SENSOR_LOST = 3;
constexpr int WRITE_FAILED = 4;
constexpr int NO_SENSOR = 5;
} // namespace recordstatus

class RecordOptions
{
    Q_DECLARE_TR_FUNCTIONS(RecordOptions)

public:
    enum class EAction
    {
        Record,
        List,
        Help,
        Version
    };

    // The file name that stands for standard output.
    static const QString STANDARD_OUTPUT;

    // False when the arguments (the program's name first) are not a valid
    // command line; errorString() then says what is wrong.
    bool parse(const QStringList& arguments);

    EAction action() const { return m_action; }
    QString errorString() const { return m_error; }
    QString helpText() const { return m_helpText; }
    // Empty: the only attached sensor.
    const std::optional<std::wstring>& serialNumber() const { return m_serial; }
    // Samples to record; nothing: until stopped.
    const std::optional<quint64>& sampleLimit() const { return m_sampleLimit; }
    // Over the all-zero configuration a connect leaves the sensor in.
    const SSkarvelParams& params() const { return m_params; }
    const QString& fileName() const { return m_fileName; }

    // "90s", "10m", "2h", "1.5h" or seconds alone, as a number of samples at
    // the sensor's rate; nothing when the text is no positive duration.
    static std::optional<quint64> parseDuration(const QString& text);

private:
    bool fail(const QString& error);

    EAction m_action = EAction::Record;
    QString m_error;
    QString m_helpText;
    std::optional<std::wstring> m_serial;
    std::optional<quint64> m_sampleLimit;
    SSkarvelParams m_params;
    QString m_fileName;
};

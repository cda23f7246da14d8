// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "recordoptions.h"

#include "sensorsettingstexts.h"
#include "skarvelprotocol.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>

namespace {

using Choices = QList<SensorSettingsTexts::SChoice>;

// Case and spaces do not matter on the command line.
QString key(const QString& text)
{
    QString folded = text.toCaseFolded();
    folded.remove(QRegularExpression(QStringLiteral("\\s")));
    return folded;
}

// "±8 g" without its sign and unit: "8".
QString bareNumber(const QString& rangeText)
{
    return rangeText.mid(1).section(QLatin1Char(' '), 0, 0);
}

// The choice a value names: its shown text, for ranges also without the
// sign or with the number alone.
std::optional<uint8_t> match(const Choices& choices, const QString& value, bool range)
{
    const QString wanted = key(value);
    for (const SensorSettingsTexts::SChoice& choice : choices) {
        if (key(choice.text) == wanted ||
            (range && (key(choice.text.mid(1)) == wanted || bareNumber(choice.text) == wanted)))
            return choice.value;
    }
    return std::nullopt;
}

// The allowed values as the help and the error messages list them.
QString allowed(const Choices& choices, bool range)
{
    QStringList texts;
    for (const SensorSettingsTexts::SChoice& choice : choices)
        texts.append(range ? bareNumber(choice.text) : QStringLiteral("\"%1\"").arg(choice.text));
    return texts.join(QStringLiteral(", "));
}

QString unitOf(const Choices& rangeChoices)
{
    return rangeChoices.value(0).text.section(QLatin1Char(' '), 1);
}

} // namespace

const QString RecordOptions::STANDARD_OUTPUT = QStringLiteral("-");

bool RecordOptions::fail(const QString& error)
{
    m_error = error;
    return false;
}

std::optional<quint64> RecordOptions::parseDuration(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d+\\.?\\d*|\\.\\d+)\\s*([smh]?)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = pattern.match(text);
    if (!found.hasMatch())
        return std::nullopt;
    const QString unit = found.captured(2).toLower();
    const double seconds = found.captured(1).toDouble() * (unit == QLatin1String("h")   ? 3600.0
                                                           : unit == QLatin1String("m") ? 60.0
                                                                                        : 1.0);
    // Beyond a century the count would only overflow.
    if (!(seconds > 0.0) || seconds > 100.0 * 365 * 86400)
        return std::nullopt;
    const double samples = std::round(seconds * skarvel::SAMPLE_RATE);
    if (samples < 1.0)
        return std::nullopt;
    return quint64(samples);
}

bool RecordOptions::parse(const QStringList& arguments)
{
    const Choices accelRanges = SensorSettingsTexts::accelRanges();
    const Choices gyroRanges = SensorSettingsTexts::gyroRanges();
    const Choices accelFilters = SensorSettingsTexts::accelFilters();
    const Choices highPasses = SensorSettingsTexts::gyroHighPasses();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Records the Skarvel USB inertial sensor to a CSV file in Skarvel Monitor's format, "
           "without a window: until the duration has passed or the program is interrupted.\n\n"
           "Exit status: 0 recorded, 2 bad options, 3 the sensor was unplugged or went silent, "
           "4 the file could not be written, 5 no sensor or no access to it."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption listOption(
        {QStringLiteral("l"), QStringLiteral("list")},
        tr("List the attached sensors: serial number, firmware, device, and whether this user "
           "may open it."));
    const QCommandLineOption serialOption(
        {QStringLiteral("s"), QStringLiteral("serial")},
        tr("Record the sensor with this serial number (needed when several are attached)."),
        QStringLiteral("SN"));
    const QCommandLineOption durationOption(
        {QStringLiteral("d"), QStringLiteral("duration")},
        tr("Record this long, counted in samples at 833 per second: 90s, 10m, 2h "
           "(default: until interrupted)."),
        QStringLiteral("time"));
    const QCommandLineOption accelRangeOption(
        QStringLiteral("accel-range"),
        tr("Acceleration range in %1: %2 (default %3).")
            .arg(unitOf(accelRanges), allowed(accelRanges, true),
                 bareNumber(SensorSettingsTexts::textOf(accelRanges, 0))),
        QStringLiteral("range"));
    const QCommandLineOption gyroRangeOption(
        QStringLiteral("gyro-range"),
        tr("Gyro range in %1: %2 (default %3).")
            .arg(unitOf(gyroRanges), allowed(gyroRanges, true),
                 bareNumber(SensorSettingsTexts::textOf(gyroRanges, 0))),
        QStringLiteral("range"));
    const QCommandLineOption accelFilterOption(
        QStringLiteral("accel-filter"),
        tr("Accelerometer filter: %1 (default \"%2\").")
            .arg(allowed(accelFilters, false), SensorSettingsTexts::textOf(accelFilters, 0)),
        QStringLiteral("filter"));
    QStringList cutoffLists;
    for (const SensorSettingsTexts::SChoice& filter : accelFilters)
        cutoffLists.append(
            tr("%1: %2 (default \"%3\")")
                .arg(filter.text, allowed(SensorSettingsTexts::accelCutoffs(filter.value), false),
                     SensorSettingsTexts::textOf(SensorSettingsTexts::accelCutoffs(filter.value),
                                                 0)));
    const QCommandLineOption accelCutoffOption(
        QStringLiteral("accel-cutoff"),
        tr("Accelerometer filter cutoff; with %1.").arg(cutoffLists.join(QStringLiteral("; "))),
        QStringLiteral("frequency"));
    const QCommandLineOption lowLatencyOption(
        QStringLiteral("accel-low-latency"),
        tr("Low latency for the filter \"%1\".")
            .arg(SensorSettingsTexts::textOf(accelFilters, skarvel::ACCEL_FILTER_LP2)));
    const QCommandLineOption highPassOption(
        QStringLiteral("gyro-high-pass"),
        tr("Gyro high-pass filter: %1 (default \"%2\").")
            .arg(allowed(highPasses, false), SensorSettingsTexts::textOf(highPasses, 0)),
        QStringLiteral("cutoff"));
    parser.addOptions({listOption, serialOption, durationOption, accelRangeOption, gyroRangeOption,
                       accelFilterOption, accelCutoffOption, lowLatencyOption, highPassOption});
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        tr("The CSV file to record to (replaced if it exists); - for standard output."),
        QStringLiteral("FILE.csv"));
    m_helpText = parser.helpText();

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(helpOption)) {
        m_action = EAction::Help;
        return true;
    }
    if (parser.isSet(versionOption)) {
        m_action = EAction::Version;
        return true;
    }
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(listOption)) {
        if (!files.isEmpty())
            return fail(tr("--list takes no file: '%1'.").arg(files.constFirst()));
        m_action = EAction::List;
        return true;
    }
    if (files.isEmpty())
        return fail(tr("No file to record to is given (- for standard output)."));
    if (files.size() > 1)
        return fail(tr("Unexpected argument '%1': one file only.").arg(files.at(1)));
    m_fileName = files.constFirst();
    if (m_fileName.isEmpty())
        return fail(tr("The file name is empty."));

    if (parser.isSet(serialOption))
        m_serial = parser.value(serialOption).toStdWString();
    if (parser.isSet(durationOption)) {
        m_sampleLimit = parseDuration(parser.value(durationOption));
        if (!m_sampleLimit)
            return fail(tr("--duration: '%1' is no duration; give a positive number of seconds, "
                           "minutes or hours such as 90s, 10m or 2h.")
                            .arg(parser.value(durationOption)));
    }

    const auto choose = [&](const QCommandLineOption& option, const Choices& choices, bool range,
                            uint8_t& target) {
        if (!parser.isSet(option))
            return true;
        const QString value = parser.value(option);
        const std::optional<uint8_t> chosen = match(choices, value, range);
        if (!chosen)
            return fail(tr("--%1: '%2' is not a choice; choose one of %3.")
                            .arg(option.names().constLast(), value, allowed(choices, range)));
        target = *chosen;
        return true;
    };
    uint8_t mode = skarvel::ACCEL_FILTER_LP1;
    uint8_t cutoff = 0;
    if (!choose(accelRangeOption, accelRanges, true, m_params.accelRange) ||
        !choose(gyroRangeOption, gyroRanges, true, m_params.gyroRange) ||
        !choose(accelFilterOption, accelFilters, false, mode) ||
        !choose(accelCutoffOption, SensorSettingsTexts::accelCutoffs(mode), false, cutoff) ||
        !choose(highPassOption, highPasses, false, m_params.gyroHighPass))
        return false;
    const bool lowLatency = parser.isSet(lowLatencyOption);
    if (lowLatency && mode != skarvel::ACCEL_FILTER_LP2)
        return fail(tr("--accel-low-latency: only with --accel-filter \"%1\".")
                        .arg(SensorSettingsTexts::textOf(accelFilters, skarvel::ACCEL_FILTER_LP2)));
    m_params.accelFilter = skarvel::encodeAccelFilter({mode, cutoff, lowLatency});
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "trigger.h"

#include "csvwriter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* SOURCE_TEXTS[Trigger::SOURCE_COUNT] = {"X",  "Y",  "Z",   "rX",
                                                             "rY", "rZ", "|a|", "|ω|"};
constexpr const char* SLOPE_TEXTS[Trigger::SLOPE_COUNT] = {QT_TRANSLATE_NOOP("Trigger", "Rising"),
                                                           QT_TRANSLATE_NOOP("Trigger", "Falling"),
                                                           QT_TRANSLATE_NOOP("Trigger", "Either")};
// Labels of the [Trigger] section's lines, in their order.
constexpr int SECTION_LINES = 5;
constexpr int SECTION_SOURCE = 0;
constexpr int SECTION_SLOPE = 1;
constexpr int SECTION_LEVEL = 2;
constexpr int SECTION_PRE_TRIGGER = 3;
constexpr int SECTION_TIME = 4;
constexpr int TIME_DECIMALS = 4;

int levelDecimals(Trigger::ESource source)
{
    return Trigger::isGyroSource(source) ? CsvWriter::GYRO_DECIMALS : CsvWriter::ACCEL_DECIMALS;
}

QString sourceLabel()
{
    return Trigger::tr("Source");
}

QString slopeLabel()
{
    return Trigger::tr("Slope");
}

QString levelLabel(Trigger::ESource source)
{
    return Trigger::tr("Level [%1]").arg(Trigger::unitText(source));
}

QString preTriggerLabel()
{
    return Trigger::tr("Pre-trigger [%]");
}

QString timeLabel()
{
    return Trigger::tr("Trigger time [s]");
}

// A number as CsvWriter writes it: decimal comma, no exponent, no group separators.
bool parseNumber(const QString& text, double& value)
{
    if (text.isEmpty() || text.contains(QLatin1Char('.')) || text.contains(QLatin1Char('e')) ||
        text.contains(QLatin1Char('E')))
        return false;
    QString plain = text;
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    value = plain.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

quint64 Trigger::preTriggerSamples(const SSettings& settings)
{
    const quint64 window = std::max<quint64>(1, settings.windowSamples);
    const int percent = std::clamp(settings.preTriggerPercent, 0, 100);
    // Integer rounding, half up: W * percent / 100 exactly, without a float's doubt.
    const quint64 rounded = (window * quint64(percent) * 2 + 100) / 200;
    return std::min(rounded, window - 1);
}

bool Trigger::isGyroSource(ESource source)
{
    return source == ESource::RX || source == ESource::RY || source == ESource::RZ ||
           source == ESource::RateMagnitude;
}

double Trigger::sourceValue(ESource source, const float* accel, const float* gyro)
{
    switch (source) {
    case ESource::X:
    case ESource::Y:
    case ESource::Z:
        return double(accel[int(source)]);
    case ESource::RX:
    case ESource::RY:
    case ESource::RZ:
        return double(gyro[int(source) - int(ESource::RX)]);
    case ESource::AccelMagnitude:
        return std::sqrt(double(accel[0]) * accel[0] + double(accel[1]) * accel[1] +
                         double(accel[2]) * accel[2]);
    case ESource::RateMagnitude:
        return std::sqrt(double(gyro[0]) * gyro[0] + double(gyro[1]) * gyro[1] +
                         double(gyro[2]) * gyro[2]);
    }
    return 0.0;
}

QString Trigger::sourceText(ESource source)
{
    return QString::fromUtf8(SOURCE_TEXTS[int(source)]);
}

QString Trigger::slopeText(ESlope slope)
{
    return tr(SLOPE_TEXTS[int(slope)]);
}

QString Trigger::unitText(ESource source)
{
    return isGyroSource(source) ? QStringLiteral("dps") : QStringLiteral("g");
}

void Trigger::arm(const SSettings& settings)
{
    m_settings = settings;
    m_settings.windowSamples = std::max<quint64>(1, settings.windowSamples);
    m_settings.preTriggerPercent = std::clamp(settings.preTriggerPercent, 0, 100);
    m_settings.hysteresis = std::max(0.0, settings.hysteresis);
    const std::size_t pre = std::size_t(preTriggerSamples(m_settings));
    m_ringAccel.assign(3 * pre, 0.0f);
    m_ringGyro.assign(3 * pre, 0.0f);
    rearm();
}

void Trigger::rearm()
{
    m_state = EState::Armed;
    m_side = 0;
    m_ringNext = 0;
    m_ringFilled = 0;
    m_capture.reset();
    m_remaining = 0;
}

void Trigger::restart()
{
    rearm();
    m_completed.clear();
    m_captureCount = 0;
}

std::vector<Trigger::SCapture> Trigger::takeCaptures()
{
    std::vector<SCapture> captures;
    captures.swap(m_completed);
    return captures;
}

void Trigger::keepPreTrigger(const float* accel, const float* gyro)
{
    const std::size_t pre = m_ringAccel.size() / 3;
    if (pre == 0)
        return;
    std::copy(accel, accel + 3, m_ringAccel.begin() + std::ptrdiff_t(3 * m_ringNext));
    std::copy(gyro, gyro + 3, m_ringGyro.begin() + std::ptrdiff_t(3 * m_ringNext));
    m_ringNext = m_ringNext + 1 == pre ? 0 : m_ringNext + 1;
    m_ringFilled = std::min(m_ringFilled + 1, pre);
}

void Trigger::startCapture(quint64 triggerIndex)
{
    SCapture capture;
    capture.settings = m_settings;
    capture.triggerIndex = triggerIndex;
    capture.firstIndex = triggerIndex - m_ringFilled;
    capture.accel.reserve(std::size_t(3 * m_settings.windowSamples));
    capture.gyro.reserve(std::size_t(3 * m_settings.windowSamples));
    // Oldest first: the ring's oldest frame is at m_ringNext once it is full.
    const std::size_t pre = m_ringAccel.size() / 3;
    const std::size_t oldest = m_ringFilled < pre ? 0 : m_ringNext;
    for (std::size_t k = 0; k < m_ringFilled; ++k) {
        const std::size_t slot = 3 * ((oldest + k) % pre);
        capture.accel.insert(capture.accel.end(), m_ringAccel.begin() + std::ptrdiff_t(slot),
                             m_ringAccel.begin() + std::ptrdiff_t(slot + 3));
        capture.gyro.insert(capture.gyro.end(), m_ringGyro.begin() + std::ptrdiff_t(slot),
                            m_ringGyro.begin() + std::ptrdiff_t(slot + 3));
    }
    m_capture = std::move(capture);
    // The trigger sample and those after it.
    m_remaining = m_settings.windowSamples - preTriggerSamples(m_settings);
    m_state = EState::Capturing;
}

void Trigger::completeCapture()
{
    m_capture->number = ++m_captureCount;
    m_completed.push_back(std::move(*m_capture));
    m_capture.reset();
    if (m_settings.mode == EMode::Single) {
        m_state = EState::Done;
        return;
    }
    // Armed again from the next sample: the source must leave the level's
    // other side anew, so an event still going on starts no capture.
    m_state = EState::Armed;
    m_side = 0;
}

void Trigger::process(const float* accel, const float* gyro, std::size_t frames, quint64 firstIndex)
{
    const double level = m_settings.level;
    const double below = level - m_settings.hysteresis;
    const double above = level + m_settings.hysteresis;
    const bool rising = m_settings.slope != ESlope::Falling;
    const bool falling = m_settings.slope != ESlope::Rising;
    for (std::size_t k = 0; k < frames; ++k) {
        const float* a = accel + 3 * k;
        const float* g = gyro + 3 * k;
        if (m_state == EState::Done)
            return;
        if (m_state == EState::Armed) {
            const double value = sourceValue(m_settings.source, a, g);
            if ((m_side < 0 && rising && value >= level) ||
                (m_side > 0 && falling && value <= level)) {
                startCapture(firstIndex + k);
            } else {
                if (value < below)
                    m_side = -1;
                else if (value > above)
                    m_side = 1;
                keepPreTrigger(a, g);
                continue;
            }
        }
        // Capturing, the trigger sample included.
        m_capture->accel.insert(m_capture->accel.end(), a, a + 3);
        m_capture->gyro.insert(m_capture->gyro.end(), g, g + 3);
        keepPreTrigger(a, g);
        if (--m_remaining == 0)
            completeCapture();
    }
}

QList<QPair<QString, QString>> Trigger::sectionTexts(const SSettings& settings,
                                                     quint64 triggerIndex, double sampleRate)
{
    return {
        {sourceLabel(), sourceText(settings.source)},
        {slopeLabel(), slopeText(settings.slope)},
        {levelLabel(settings.source),
         CsvWriter::number(settings.level, levelDecimals(settings.source))},
        {preTriggerLabel(), QString::number(settings.preTriggerPercent)},
        {timeLabel(), CsvWriter::number(double(triggerIndex) / sampleRate, TIME_DECIMALS)},
    };
}

bool Trigger::fromSectionTexts(const QList<QPair<QString, QString>>& texts, double sampleRate,
                               SMarker& marker, int& badLine, QString& reason)
{
    const auto fail = [&](int line, const QString& why) {
        badLine = line;
        reason = why;
        return false;
    };
    const auto expectLabel = [&](int line, const QString& label) {
        if (line >= texts.size())
            return fail(line, tr("expected \"%1;…\"").arg(label));
        if (texts.at(line).first != label)
            return fail(
                line,
                tr("expected \"%1;…\", found \"%2\"").arg(label, texts.at(line).first.left(40)));
        return true;
    };

    SSettings settings;
    if (!expectLabel(SECTION_SOURCE, sourceLabel()))
        return false;
    int source = 0;
    while (source < SOURCE_COUNT && sourceText(ESource(source)) != texts.at(SECTION_SOURCE).second)
        ++source;
    if (source == SOURCE_COUNT)
        return fail(
            SECTION_SOURCE,
            tr("\"%1\" is not a trigger source").arg(texts.at(SECTION_SOURCE).second.left(40)));
    settings.source = ESource(source);

    if (!expectLabel(SECTION_SLOPE, slopeLabel()))
        return false;
    int slope = 0;
    while (slope < SLOPE_COUNT && slopeText(ESlope(slope)) != texts.at(SECTION_SLOPE).second)
        ++slope;
    if (slope == SLOPE_COUNT)
        return fail(
            SECTION_SLOPE,
            tr("\"%1\" is not a trigger slope").arg(texts.at(SECTION_SLOPE).second.left(40)));
    settings.slope = ESlope(slope);

    if (!expectLabel(SECTION_LEVEL, levelLabel(settings.source)))
        return false;
    if (!parseNumber(texts.at(SECTION_LEVEL).second, settings.level))
        return fail(SECTION_LEVEL,
                    tr("\"%1\" is not a level").arg(texts.at(SECTION_LEVEL).second.left(40)));

    if (!expectLabel(SECTION_PRE_TRIGGER, preTriggerLabel()))
        return false;
    bool ok = false;
    const QString& percentText = texts.at(SECTION_PRE_TRIGGER).second;
    settings.preTriggerPercent = percentText.toInt(&ok);
    if (!ok || settings.preTriggerPercent < 0 || settings.preTriggerPercent > 100 ||
        QString::number(settings.preTriggerPercent) != percentText)
        return fail(SECTION_PRE_TRIGGER,
                    tr("\"%1\" is not a share from 0 to 100 %").arg(percentText.left(40)));

    if (!expectLabel(SECTION_TIME, timeLabel()))
        return false;
    const QString& timeText = texts.at(SECTION_TIME).second;
    double seconds = 0.0;
    // Far beyond any measurement, and far from where the index would overflow.
    constexpr double MAX_SECONDS = 1e9;
    if (!parseNumber(timeText, seconds) || seconds < 0.0 || seconds > MAX_SECONDS)
        return fail(SECTION_TIME, tr("\"%1\" is not a time").arg(timeText.left(40)));
    const auto index = quint64(std::llround(seconds * sampleRate));
    if (CsvWriter::number(double(index) / sampleRate, TIME_DECIMALS) != timeText)
        return fail(SECTION_TIME, tr("the time %1 s is not a sample time").arg(timeText.left(40)));

    if (texts.size() > SECTION_LINES)
        return fail(SECTION_LINES,
                    tr("\"%1\" is not a line of the trigger section").arg(texts.at(5).first));
    marker.settings = settings;
    marker.triggerIndex = index;
    return true;
}

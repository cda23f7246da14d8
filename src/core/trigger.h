// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A level trigger over the stored samples, as an oscilloscope has one: it
// looks at every sample the measurement stores, in order, and once the
// source crosses the level in the chosen direction it keeps a capture of one
// time window around that sample, a share of it before the trigger sample.
//
// The trigger sample is the first one at or beyond the level (rising: value
// >= level, falling: value <= level) after the source was on the other side
// by more than the hysteresis. A capture holds W samples: P = round(W * share)
// before the trigger sample (at most W - 1, so that at 100 % the trigger
// sample is the last one), the trigger sample and W - 1 - P after it. Fewer
// come before only when the trigger has seen fewer samples since it was
// armed (the start, a change of its settings or of the sensor's).
//
// Single stops after the first capture; Repeat arms again with the sample
// after a capture's last one, so an event inside a capture starts none.
// GUI thread only, like the session that feeds it.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

class Trigger
{
    Q_DECLARE_TR_FUNCTIONS(Trigger)

public:
    enum class ESource
    {
        X,
        Y,
        Z,
        RX,
        RY,
        RZ,
        AccelMagnitude, // |a| of the three accelerations
        RateMagnitude   // |ω| of the three angular rates
    };
    static constexpr int SOURCE_COUNT = 8;
    enum class ESlope
    {
        Rising,
        Falling,
        Either
    };
    static constexpr int SLOPE_COUNT = 3;
    enum class EMode
    {
        Single,
        Repeat
    };
    enum class EState
    {
        Armed,     // waiting for the level to be crossed
        Capturing, // triggered, taking the samples after the trigger sample
        Done       // Single: the capture is complete
    };

    // The hysteresis, as a share of the source's full scale.
    static constexpr double HYSTERESIS_SHARE = 0.01;
    static constexpr int DEFAULT_PRE_TRIGGER_PERCENT = 20;

    struct SSettings
    {
        ESource source = ESource::X;
        ESlope slope = ESlope::Rising;
        double level = 0.0;      // g or dps, the source's unit
        double hysteresis = 0.0; // same unit, >= 0
        int preTriggerPercent = DEFAULT_PRE_TRIGGER_PERCENT;
        quint64 windowSamples = 1; // W
        EMode mode = EMode::Single;
    };

    struct SCapture
    {
        SSettings settings;
        quint64 number = 0;       // 1 for the first capture since the start
        quint64 firstIndex = 0;   // absolute index of the capture's first sample
        quint64 triggerIndex = 0; // absolute index of the trigger sample
        std::vector<float> accel; // frames of X, Y, Z in g
        std::vector<float> gyro;  // frames of rX, rY, rZ in dps
        quint64 sampleCount() const { return accel.size() / 3; }
    };

    // What a capture file's [Trigger] section tells.
    struct SMarker
    {
        SSettings settings;
        quint64 triggerIndex = 0;
    };

    // Armed with these settings; discards a capture in progress and what was
    // seen before (the samples before the trigger sample count from here).
    void arm(const SSettings& settings);
    // Armed again with the same settings, from the next sample on: a new
    // measurement or a change of the sensor's settings.
    void rearm();
    // A new measurement: also the capture count starts again.
    void restart();

    // Samples stored with absolute indices firstIndex, firstIndex + 1, …;
    // frames of X, Y, Z as the session hands them on. Completed captures are
    // queued for takeCaptures().
    void process(const float* accel, const float* gyro, std::size_t frames, quint64 firstIndex);
    void process(const std::vector<float>& accel, const std::vector<float>& gyro,
                 quint64 firstIndex)
    {
        process(accel.data(), gyro.data(), std::min(accel.size(), gyro.size()) / 3, firstIndex);
    }
    std::vector<SCapture> takeCaptures();

    const SSettings& settings() const { return m_settings; }
    EState state() const { return m_state; }
    quint64 captureCount() const { return m_captureCount; }

    // P of the settings: samples before the trigger sample in a full capture.
    static quint64 preTriggerSamples(const SSettings& settings);
    // The source's value in one frame.
    static double sourceValue(ESource source, const float* accel, const float* gyro);
    static bool isGyroSource(ESource source);

    // Texts of the source, the slope and the unit, as files and the window show them.
    static QString sourceText(ESource source);
    static QString slopeText(ESlope slope);
    static QString unitText(ESource source);
    // The [Trigger] section of a capture's file, and the reverse: false with
    // the index of the offending line and the reason when the texts are not
    // such a section.
    static QList<QPair<QString, QString>> sectionTexts(const SSettings& settings,
                                                       quint64 triggerIndex, double sampleRate);
    static bool fromSectionTexts(const QList<QPair<QString, QString>>& texts, double sampleRate,
                                 SMarker& marker, int& badLine, QString& reason);

private:
    void startCapture(quint64 triggerIndex);
    void keepPreTrigger(const float* accel, const float* gyro);
    void completeCapture();

    SSettings m_settings;
    EState m_state = EState::Armed;
    // The side of the level the source was last on beyond the hysteresis:
    // -1 below, +1 above, 0 not yet seen since arming.
    int m_side = 0;
    quint64 m_captureCount = 0;

    // The newest P samples, a ring of frames: 3 * P floats each.
    std::vector<float> m_ringAccel;
    std::vector<float> m_ringGyro;
    std::size_t m_ringNext = 0;
    std::size_t m_ringFilled = 0;

    std::optional<SCapture> m_capture; // while capturing
    quint64 m_remaining = 0;           // samples the capture still takes
    std::vector<SCapture> m_completed;
};

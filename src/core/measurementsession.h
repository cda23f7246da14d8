// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The measurement core, free of widgets: it owns the pending-sample buffer the
// read thread fills, drops the settling samples after every start and
// parameter change, caps a batch to the room the store has left (the Single
// Shot window), converts with the ranges the samples were measured with, and
// hands each stored batch on through samplesStored. It also keeps the
// lost-connection and refresh timing of the update ticks and the statistics
// counters, and computes the statistics over a range of stored samples.
//
// Threads: addSample() runs on the sensor's read thread and touches only the
// pending buffer under m_pendingMutex; everything else is GUI thread only.
#pragma once

#include "cskarvel.h"

#include <QObject>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

class MeasurementSession : public QObject
{
    Q_OBJECT

public:
    // The update tick's period, and the idle time added per tick without samples.
    static constexpr int UPDATE_INTERVAL_MS = 50;
    // Silence longer than this since the last sample arrived means the sensor
    // has gone (in step with the ticks, the 20th empty one).
    static constexpr int LOST_CONNECTION_IDLE_MS = 999;
    // Samples dropped after every start and parameter change, while the sensor settles.
    static constexpr quint64 SETTLING_SAMPLES = 100;
    // Statistics and status are refreshed when more ticks with data than this have passed.
    static constexpr int REFRESH_AFTER_TICKS = 3;
    // No cap on a batch.
    static constexpr quint64 UNLIMITED = std::numeric_limits<quint64>::max();

    enum class ETick
    {
        Idle,           // no sample arrived
        ConnectionLost, // no sample for too long
        Data,           // samples arrived
        Refresh         // samples arrived, and statistics and status are due
    };

    // Read thread: queues one decoded sample.
    void addSample(const SSkarvelSample& sample);

    // A new measurement converted with these ranges: the idle time restarts
    // and the next SETTLING_SAMPLES samples are dropped.
    void begin(const SSkarvelParams& ranges);
    // The ranges of the samples that arrive from now on; drain what arrived
    // before with appendPendingSamples() first.
    void setRanges(const SSkarvelParams& ranges);
    // Empties the pending buffer; the next SETTLING_SAMPLES samples are dropped.
    void discardBufferedSamples();
    // Takes every pending sample, drops those still settling, keeps at most
    // `room` of the rest, converts them and emits samplesStored when any were
    // kept. Returns the number taken, dropped ones included.
    quint64 appendPendingSamples(quint64 room = UNLIMITED);
    // One update tick that took `taken` samples.
    ETick tick(quint64 taken);

    // Statistics run over the samples stored since this reset.
    void resetStatistics();
    // Statistics over samples that came from elsewhere than the sensor (an
    // opened file): that many stored, the newest with these axis words.
    void restoreStatistics(quint64 samples, const std::array<int, 6>& latestRaw);
    quint64 samplesSinceReset() const { return m_samplesSinceReset; }
    // The newest stored sample's six axis words as the report carries them
    // (accel X, Y, Z, gyro X, Y, Z).
    const std::array<int, 6>& latestRaw() const { return m_latestRaw; }

    // Samples in a window of this many seconds at the sensor's rate.
    static quint64 windowSampleCount(int seconds);

    struct SRange
    {
        quint64 begin;
        quint64 end; // exclusive; begin <= end
    };
    // The stored indices the statistics cover: every sample since the last
    // reset, or only those of them in the visible range [visibleBegin, visibleEnd).
    SRange statisticsRange(quint64 stored, bool visibleOnly, quint64 visibleBegin,
                           quint64 visibleEnd) const;

    struct SSeriesStatistics
    {
        double minimum;
        double maximum;
        double mean;
    };
    // Over a non-empty range; value(i) gives the stored sample i of one series.
    template <typename ValueAt>
    static SSeriesStatistics seriesStatistics(const ValueAt& value, SRange range)
    {
        double minimum = double(value(range.begin));
        double maximum = minimum;
        double sum = 0.0;
        for (quint64 i = range.begin; i < range.end; ++i) {
            const double v = double(value(i));
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
            sum += v;
        }
        return {minimum, maximum, sum / double(range.end - range.begin)};
    }
    // The same statistics from a store that summarises ranges (storedMinMax,
    // storedSum and storedSample of a series, as CLiveGraph has them): the
    // same minimum and maximum, and a mean within the scan's rounding error
    // that gives the same text with this many decimals in fixed notation.
    // The scan runs only when the two texts could differ.
    template <typename Store>
    static SSeriesStatistics seriesStatistics(const Store& store, int series, SRange range,
                                              int decimals)
    {
        float lo = 0.0f;
        float hi = 0.0f;
        store.storedMinMax(series, range.begin, range.end, lo, hi);
        const quint64 count = range.end - range.begin;
        const double mean = store.storedSum(series, range.begin, range.end) / double(count);
        if (meanTextSettled(mean, count, std::max(std::abs(double(lo)), std::abs(double(hi))),
                            decimals))
            return {double(lo), double(hi), mean};
        return seriesStatistics(
            [&store, series](quint64 i) { return store.storedSample(series, i); }, range);
    }
    // Whether every mean of count values of at most this magnitude that was
    // summed in another order than the one given reads the same with this
    // many decimals.
    static bool meanTextSettled(double mean, quint64 count, double magnitude, int decimals);
    // A peak this close to the range's full scale is likely clipped.
    static bool nearFullScale(double value, double fullScale);

signals:
    // Converted samples that went into the history, one frame (X, Y, Z) per
    // sample: acceleration in g, angular rate in dps. GUI thread.
    void samplesStored(const std::vector<float>& accel, const std::vector<float>& gyro);

private:
    std::mutex m_pendingMutex;
    std::vector<SSkarvelSample> m_pendingSamples; // guarded by m_pendingMutex (read thread appends)
    // When the newest pending sample arrived; guarded by m_pendingMutex.
    std::chrono::steady_clock::time_point m_lastArrival;
    SSkarvelParams m_ranges;
    quint64 m_discardCount = 0;
    // When the newest sample taken arrived. Silence counts from there, not
    // from the tick that took it: a GUI thread blocked for a while (a
    // parameter change waits out a read) runs one late tick for several, a
    // coarse timer's ticks may come early, and a drain between ticks takes
    // samples too.
    std::chrono::steady_clock::time_point m_lastSampleArrival = std::chrono::steady_clock::now();
    int m_refreshTicks = 0;
    quint64 m_samplesSinceReset = 0;
    std::array<int, 6> m_latestRaw{};
};

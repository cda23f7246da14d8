// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "measurementsession.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstddef>

void MeasurementSession::addSample(const SSkarvelSample& sample)
{
    // The read thread's whole share: one append under the lock.
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pendingSamples.push_back(sample);
    m_lastArrival = std::chrono::steady_clock::now();
}

void MeasurementSession::begin(const SSkarvelParams& ranges)
{
    m_ranges = ranges;
    m_lastSampleArrival = std::chrono::steady_clock::now();
    discardBufferedSamples();
}

void MeasurementSession::setRanges(const SSkarvelParams& ranges)
{
    m_ranges = ranges;
}

void MeasurementSession::discardBufferedSamples()
{
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pendingSamples.clear();
    }
    m_discardCount = SETTLING_SAMPLES;
}

quint64 MeasurementSession::appendPendingSamples(quint64 room)
{
    std::vector<SSkarvelSample> batch;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        batch.swap(m_pendingSamples);
        if (!batch.empty())
            m_lastSampleArrival = m_lastArrival;
    }

    const quint64 taken = batch.size();
    const quint64 skip = std::min(taken, m_discardCount);
    m_discardCount -= skip;
    const quint64 count = std::min(taken - skip, room);
    if (count == 0)
        return taken;

    const double accelSensitivity = skarvel::accelSensitivity(m_ranges.accelRange);
    const double gyroSensitivity = skarvel::gyroSensitivity(m_ranges.gyroRange);
    std::vector<float> accel;
    std::vector<float> gyro;
    accel.reserve(3 * count);
    gyro.reserve(3 * count);
    const auto first = batch.cbegin() + std::ptrdiff_t(skip);
    const auto last = first + std::ptrdiff_t(count);
    for (auto it = first; it != last; ++it) {
        accel.push_back(float(skarvel::countToUnits(it->accelX, accelSensitivity)));
        accel.push_back(float(skarvel::countToUnits(it->accelY, accelSensitivity)));
        accel.push_back(float(skarvel::countToUnits(it->accelZ, accelSensitivity)));
        gyro.push_back(float(skarvel::countToUnits(it->gyroX, gyroSensitivity)));
        gyro.push_back(float(skarvel::countToUnits(it->gyroY, gyroSensitivity)));
        gyro.push_back(float(skarvel::countToUnits(it->gyroZ, gyroSensitivity)));
    }

    m_samplesSinceReset += count;
    const SSkarvelSample& newest = *(last - 1);
    constexpr int zero = skarvel::AXIS_ZERO;
    m_latestRaw = {newest.accelX + zero, newest.accelY + zero, newest.accelZ + zero,
                   newest.gyroX + zero,  newest.gyroY + zero,  newest.gyroZ + zero};
    emit samplesStored(accel, gyro);
    return taken;
}

MeasurementSession::ETick MeasurementSession::tick(quint64 taken)
{
    if (taken == 0) {
        const auto silence = std::chrono::steady_clock::now() - m_lastSampleArrival;
        return silence > std::chrono::milliseconds(LOST_CONNECTION_IDLE_MS) ? ETick::ConnectionLost
                                                                            : ETick::Idle;
    }
    if (++m_refreshTicks > REFRESH_AFTER_TICKS) {
        m_refreshTicks = 0;
        return ETick::Refresh;
    }
    return ETick::Data;
}

void MeasurementSession::resetStatistics()
{
    m_samplesSinceReset = 0;
}

void MeasurementSession::restoreStatistics(quint64 samples, const std::array<int, 6>& latestRaw)
{
    m_samplesSinceReset = samples;
    m_latestRaw = latestRaw;
}

quint64 MeasurementSession::windowSampleCount(int seconds)
{
    return quint64(seconds * skarvel::SAMPLE_RATE);
}

MeasurementSession::SRange MeasurementSession::statisticsRange(quint64 stored, bool visibleOnly,
                                                               quint64 visibleBegin,
                                                               quint64 visibleEnd) const
{
    quint64 begin = stored - std::min(m_samplesSinceReset, stored);
    quint64 end = stored;
    if (visibleOnly) {
        begin = std::max(begin, visibleBegin);
        end = visibleEnd;
    }
    return {std::min(begin, end), end};
}

bool MeasurementSession::meanTextSettled(double mean, quint64 count, double magnitude, int decimals)
{
    // Non-finite sums are exact: NaN for any NaN or both infinities, else
    // the infinity, in whatever order the values were added.
    if (!std::isfinite(mean))
        return true;
    // Two sums of the same count values in different orders each lie within
    // count * 2^-53 / (1 - count * 2^-53) of the sum of magnitudes (at most
    // count * magnitude) from the exact sum; each division adds half an ulp.
    // Rounding to text being monotonic, equal texts at both ends of that
    // interval mean equal texts for every mean inside it.
    const double unit = std::ldexp(1.0, -53);
    const double n = double(count);
    const double gamma = n * unit / (1.0 - n * unit);
    const double bound = 2.0 * gamma * magnitude * 1.0001 + 4.0 * std::abs(mean) * unit +
                         std::numeric_limits<double>::min();
    return QString::number(mean - bound, 'f', decimals) ==
           QString::number(mean + bound, 'f', decimals);
}

bool MeasurementSession::nearFullScale(double value, double fullScale)
{
    return std::fabs(value) >= fullScale * 0.99;
}

#include "moc_measurementsession.cpp"

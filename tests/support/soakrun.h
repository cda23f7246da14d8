// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The soak: numbered reports as fast as the read thread takes them, through
// the sensor's decoding, the measurement session's pending buffer and update
// ticks, into two live graphs, with parameter changes along the way. Every
// report number is checked where it is decoded and again where it is
// stored, so a sample lost, repeated or out of order anywhere shows. Shared
// by the soak test (bounded counts) and its benchmark (the long run).
#pragma once

#include "clivegraph.h"
#include "cskarvel.h"
#include "hidsim.h"
#include "measurementsession.h"
#include "skarvelmodel.h"
#include "skarvelprotocol.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace soak {

// Report k carries k in the 15-bit acceleration words (X low, then Y, Z):
// exact through the conversion to g in any range.
inline uint64_t numberOf(int accelX, int accelY, int accelZ)
{
    return uint64_t(accelX) | (uint64_t(accelY) << 15) | (uint64_t(accelZ) << 30);
}

class CNumberedSensor : public hidsim::DeviceModel
{
public:
    explicit CNumberedSensor(uint64_t total) : m_total(total) {}

    uint64_t sent() const { return m_next.load(); }

    Poll pollInput(hidsim::Clock::time_point, hidsim::Bytes& report,
                   hidsim::Clock::time_point& due) override
    {
        const uint64_t k = m_next.load();
        if (k >= m_total) {
            due = hidsim::Clock::time_point::max();
            return Poll::NotYet;
        }
        report.clear();
        const int words[6] = {
            int(k & 0x7FFF), int((k >> 15) & 0x7FFF), int((k >> 30) & 0x7FFF), 0, 0, 0};
        for (int value : words) {
            const int wire = value + skarvel::AXIS_ZERO;
            report.push_back(uint8_t(wire & 0xFF));
            report.push_back(uint8_t(wire >> 8));
        }
        report.push_back(uint8_t(k));
        m_next.store(k + 1);
        return Poll::Ready;
    }

private:
    const uint64_t m_total;
    std::atomic<uint64_t> m_next{0}; // written by the backend's reader, read by the test
};

struct SResult
{
    uint64_t reports = 0;
    uint64_t decoded = 0;
    uint64_t stored = 0;
    uint64_t designedDiscards = 0; // settling samples after every start and change
    uint64_t decodeFaults = 0;     // numbers out of sequence where they were decoded
    uint64_t lost = 0;             // missing from the stored sequence outside a discard
    uint64_t repeatedOrReordered = 0;
    uint64_t graphFaults = 0; // the graphs' history differs from what was stored
    int parameterChanges = 0;
    int failedChanges = 0;
    int lostConnections = 0;
    uint64_t storedInGraphs = 0;
    uint64_t historyLimit = 0;
    long rssAtFullHistoryKb = -1;
    long peakRssAfterFullKb = 0;
    double seconds = 0;
    std::string error; // set when the run could not be made
};

inline long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The ranges the changes walk through, in turn.
inline SSkarvelParams paramsForChange(int change)
{
    SSkarvelParams params;
    const auto& accel = skarvel::ACCEL_RANGES;
    const auto& gyro = skarvel::GYRO_RANGES;
    params.accelRange = accel[std::size_t(change) % std::size(accel)].code;
    params.gyroRange = gyro[std::size_t(change) % std::size(gyro)].code;
    params.accelFilter = change % 2 ? skarvel::ACCEL_FILTER_LP2 : skarvel::ACCEL_FILTER_LP1;
    params.gyroHighPass = change % 3 ? 0 : skarvel::GYRO_HP_ON;
    return params;
}

// Runs `reports` numbered reports through the pipeline with `changes`
// parameter changes spread evenly over them. Needs a QApplication.
inline SResult run(uint64_t reports, int changes)
{
    SResult r;
    r.reports = reports;
    hidsim::reset();
    auto model = std::make_shared<CNumberedSensor>(reports);
    hidsim::DeviceSetup setup;
    setup.vendorId = SKARVEL_VENDOR_ID;
    setup.productId = SKARVEL_PRODUCT_ID;
    setup.serialNumber = std::wstring(L"SOAK");
    setup.interfaceNumber = 0;
    setup.reportDescriptor = skarvelsim::interface0Descriptor();
    setup.model = model;
    hidsim::addDevice(setup);

    CLiveGraph accelGraph;
    CLiveGraph gyroGraph;
    for (CLiveGraph* graph : {&accelGraph, &gyroGraph}) {
        graph->setSampleRate(skarvel::SAMPLE_RATE);
        for (const char* name : {"X", "Y", "Z"})
            graph->addSeries(QString::fromLatin1(name), QColor(Qt::black));
    }
    r.historyLimit = accelGraph.maxSampleCount();

    CSkarvel sensor;
    if (!sensor.Connect(L"SOAK")) {
        r.error = "connect: " + sensor.GetLastError();
        return r;
    }

    MeasurementSession session;
    // Decoding on the read thread: numbers must come in order, one by one.
    std::atomic<uint64_t> decoded{0};
    std::atomic<uint64_t> decodeFaults{0};
    const auto callback = [&](const SSkarvelSample& sample) {
        const uint64_t expected = decoded.load(std::memory_order_relaxed);
        if (numberOf(sample.accelX, sample.accelY, sample.accelZ) != expected)
            decodeFaults.fetch_add(1, std::memory_order_relaxed);
        session.addSample(sample);
        decoded.store(expected + 1, std::memory_order_release);
    };

    // Stored: consecutive numbers, except for one gap after each start and
    // change, at least the settling count and at most what the discard can
    // have thrown away besides.
    double sensitivity = skarvel::accelSensitivity(sensor.GetParams().accelRange) / 1000.0;
    bool haveLast = false;
    uint64_t last = 0;
    double lastSensitivity = sensitivity; // what the last stored sample was converted with
    bool gapAllowed = true;
    uint64_t gapMin = 0; // the first number that may follow a discard
    uint64_t gapMax = 0; // the last
    QObject::connect(&session, &MeasurementSession::samplesStored,
                     [&](const std::vector<float>& accel, const std::vector<float>& gyro) {
                         accelGraph.appendSamples(accel);
                         gyroGraph.appendSamples(gyro);
                         for (std::size_t i = 0; i + 2 < accel.size(); i += 3) {
                             const auto count = [&](std::size_t j) {
                                 return int(std::lround(double(accel[j]) / sensitivity));
                             };
                             const uint64_t n = numberOf(count(i), count(i + 1), count(i + 2));
                             ++r.stored;
                             if (gapAllowed) {
                                 if (n < gapMin || n > gapMax)
                                     ++r.lost;
                                 r.designedDiscards += n - (haveLast ? last + 1 : 0);
                                 gapAllowed = false;
                             } else if (n <= last) {
                                 ++r.repeatedOrReordered;
                             } else if (n != last + 1) {
                                 r.lost += n - last - 1;
                             }
                             last = n;
                             lastSensitivity = sensitivity;
                             haveLast = true;
                         }
                     });

    const auto startGap = [&] {
        gapAllowed = true;
        gapMin = (haveLast ? last + 1 : 0) + MeasurementSession::SETTLING_SAMPLES;
        // One sample may be in flight: queued by the callback, not yet counted.
        gapMax = decoded.load(std::memory_order_acquire) + 1 + MeasurementSession::SETTLING_SAMPLES;
    };

    QElapsedTimer clock;
    clock.start();
    session.begin(sensor.GetParams());
    startGap();
    if (!sensor.StartSensorThread(callback)) {
        r.error = "start: " + sensor.GetLastError();
        return r;
    }

    const uint64_t changeEvery = changes > 0 ? reports / uint64_t(changes + 1) : reports + 1;
    uint64_t nextChangeAt = changeEvery;
    auto nextTick = std::chrono::steady_clock::now();
    for (;;) {
        const uint64_t seen = decoded.load(std::memory_order_acquire);
        if (r.parameterChanges < changes && seen >= nextChangeAt) {
            // As the settings panel does it: drain with the old ranges, send,
            // then convert with the new ones and let the sensor settle.
            session.appendPendingSamples();
            const SSkarvelParams params = paramsForChange(r.parameterChanges);
            if (sensor.SetParams(params)) {
                session.setRanges(params);
                sensitivity = skarvel::accelSensitivity(params.accelRange) / 1000.0;
            } else {
                ++r.failedChanges;
            }
            session.discardBufferedSamples();
            startGap();
            ++r.parameterChanges;
            nextChangeAt += changeEvery;
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextTick) {
            nextTick = now + std::chrono::milliseconds(MeasurementSession::UPDATE_INTERVAL_MS);
            const quint64 taken = session.appendPendingSamples();
            if (session.tick(taken) == MeasurementSession::ETick::ConnectionLost)
                ++r.lostConnections;
            if (r.rssAtFullHistoryKb < 0 && accelGraph.storedSampleCount() >= r.historyLimit)
                r.rssAtFullHistoryKb = residentKb();
            else if (r.rssAtFullHistoryKb >= 0)
                r.peakRssAfterFullKb = std::max(r.peakRssAfterFullKb, residentKb());
            if (taken == 0 && seen == reports)
                break;
            if (r.lostConnections > 0)
                break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    sensor.StopSensorThread();
    session.appendPendingSamples();
    r.seconds = double(clock.nsecsElapsed()) / 1e9;
    r.decoded = decoded.load();
    // The numbers after the last one stored: a change near the end may have
    // dropped them all by design; otherwise none may be missing.
    const uint64_t firstMissing = haveLast ? last + 1 : 0;
    if (gapAllowed) {
        r.designedDiscards += std::min(reports, gapMax) - std::min(firstMissing, gapMax);
        if (reports > gapMax)
            r.lost += reports - std::max(gapMax, firstMissing);
    } else if (firstMissing < reports) {
        r.lost += reports - firstMissing;
    }
    r.decodeFaults = decodeFaults.load();

    // The graphs hold the newest stored samples, the last one last. A test
    // thread held up past the stream's end makes its last change after the
    // last sample was stored: that one keeps the ranges it came with.
    r.storedInGraphs = accelGraph.storedSampleCount();
    if (r.storedInGraphs != gyroGraph.storedSampleCount() ||
        r.storedInGraphs != std::min<uint64_t>(r.stored, r.historyLimit))
        ++r.graphFaults;
    if (r.storedInGraphs > 0) {
        const quint64 i = r.storedInGraphs - 1;
        const auto count = [&](int series) {
            return int(std::lround(double(accelGraph.storedSample(series, i)) / lastSensitivity));
        };
        if (numberOf(count(0), count(1), count(2)) != last)
            ++r.graphFaults;
    }
    sensor.Disconnect();
    return r;
}

} // namespace soak

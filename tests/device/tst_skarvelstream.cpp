// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Streaming from a simulated sensor through the read thread: no report may be
// lost, duplicated or reordered, also across parameter changes, and stopping
// must not wait longer than one read plus one callback.
#include "cskarvel.h"
#include "hidsim.h"
#include "skarvelmodel.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <iterator>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using skarvelsim::EPacing;
using skarvelsim::SSensorConfig;
using skarvelsim::SSimSensor;

namespace {

// mg and mdps per count, as the sensor's ranges define them.
const double ACCEL_SCALES[] = {0.061, 0.488, 0.122, 0.244};
const double GYRO_SCALES[] = {8.75, 4.375, 17.5, 0.0, 35.0, 0.0, 70.0};

class CCollector
{
public:
    SampleCallback callback()
    {
        return [this](const SSkarvelSample& sample) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_samples.push_back(sample);
            }
            m_count.fetch_add(1);
            if (m_delay.count() > 0) {
                m_inCallback = true;
                std::this_thread::sleep_for(m_delay);
            }
        };
    }
    std::size_t count() const { return m_count.load(); }
    std::vector<SSkarvelSample> samples() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_samples;
    }
    void setDelay(std::chrono::milliseconds delay) { m_delay = delay; } // before streaming only
    bool inCallback() const { return m_inCallback.load(); }

private:
    mutable std::mutex m_mutex;
    std::vector<SSkarvelSample> m_samples; // guarded by m_mutex
    std::atomic<std::size_t> m_count{0};
    std::atomic<bool> m_inCallback{false};
    std::chrono::milliseconds m_delay{0}; // written before the read thread starts
};

template <typename Predicate> bool waitFor(Predicate predicate, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!predicate()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

SSimSensor addSensor(EPacing pacing)
{
    SSensorConfig config;
    config.serialNumber = std::wstring(L"STREAM");
    config.pacing = pacing;
    return skarvelsim::addSensor(config);
}

// Generous on purpose: sanitizer builds on a shared machine are slow.
constexpr int WAIT_MS = 120000;

} // namespace

class tst_SkarvelStream : public QObject
{
    Q_OBJECT

private slots:
    void init() { hidsim::reset(); }

    void noSampleLost();
    void setParamsRestartsReadsWithSameGeometry();
    void stopLatency_data();
    void stopLatency();
    void shortReportDroppedOnThread();
    void readSampleDoesNotDisturbStream();
    void startTwiceKeepsFirstThread();
    void stopWithoutThread();
    void unplugWhileStreaming();
    void disconnectWhileStreaming();
};

void tst_SkarvelStream::noSampleLost()
{
    const SSkarvelParams PARAMS[] = {
        {1, 0x00, 6, 0x00}, {2, 0x80, 2, 0x00}, {3, 0x83, 4, 0x80},
        {0, 0x20, 1, 0x83}, {1, 0xA1, 0, 0x81}, {0, 0x00, 0, 0x00},
    };
    constexpr int CHANGES = 20;
    constexpr std::size_t TOTAL = 50000;
    constexpr std::size_t STEP = TOTAL / (CHANGES + 1);

    const SSimSensor sim = addSensor(EPacing::Burst);
    // Declared before the sensor: its read thread must end before this goes.
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    const uint64_t firstIndex = sim.model->nextIndex();
    QCOMPARE(sim.model->reportsSent(), uint64_t(0));

    QVERIFY(sensor.StartSensorThread(collector.callback()));

    // Sample ranges in which the parameters are known for certain: from the
    // return of one change to the call of the next.
    struct SSegment
    {
        std::size_t begin;
        std::size_t end;
        SSkarvelParams params;
    };
    std::vector<SSegment> segments{{0, 0, SSkarvelParams{}}};
    for (int change = 0; change < CHANGES; ++change) {
        // Each segment gets samples of its own even if the thread races ahead.
        const std::size_t due = std::max(STEP * (change + 1), segments.back().begin + 500);
        QVERIFY(waitFor([&] { return collector.count() >= due; }, WAIT_MS));
        segments.back().end = collector.count();
        const SSkarvelParams& params = PARAMS[change % std::size(PARAMS)];
        QVERIFY2(sensor.SetParams(params), sensor.GetLastError().c_str());
        QVERIFY(sensor.IsSensorThreadRunning());
        segments.push_back({collector.count(), 0, params});
    }
    const std::size_t total = std::max(TOTAL, segments.back().begin + 500);
    QVERIFY(waitFor([&] { return collector.count() >= total; }, WAIT_MS));
    segments.back().end = collector.count();
    sensor.StopSensorThread();

    const std::vector<SSkarvelSample> samples = collector.samples();
    const uint64_t sent = sim.model->reportsSent();
    QCOMPARE(uint64_t(samples.size()), sent);
    QCOMPARE(sim.model->nextIndex(), firstIndex + sent);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].extraByte != uint8_t(firstIndex + i))
            QFAIL(qPrintable(QString("sample %1 carries sequence %2, expected %3")
                                 .arg(i)
                                 .arg(samples[i].extraByte)
                                 .arg(uint8_t(firstIndex + i))));
    }
    QCOMPARE(sim.model->commandsAccepted(), CHANGES + 1);
    QCOMPARE(hidsim::outputReports(sim.interface0).size(), std::size_t(CHANGES + 1));

    // Samples are raw counts under the ranges in force: gravity reads about
    // 1 g and the slow motion a few dps, whatever the range.
    for (const SSegment& segment : segments) {
        QVERIFY(segment.end > segment.begin);
        const double accelScale = ACCEL_SCALES[segment.params.accelRange];
        const double gyroScale = GYRO_SCALES[segment.params.gyroRange];
        double maxRate = 0.0;
        for (std::size_t i = segment.begin; i < segment.end; ++i) {
            const double z = samples[i].accelZ * accelScale / 1000.0;
            if (z < 0.85 || z > 1.15)
                QFAIL(qPrintable(QString("sample %1: Z %2 g").arg(i).arg(z)));
            for (int32_t raw : {samples[i].gyroX, samples[i].gyroY, samples[i].gyroZ})
                maxRate = std::max(maxRate, std::abs(raw * gyroScale / 1000.0));
        }
        QVERIFY2(maxRate > 0.3 && maxRate < 20.0, qPrintable(QString::number(maxRate)));
    }
}

void tst_SkarvelStream::setParamsRestartsReadsWithSameGeometry()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    QVERIFY(sensor.StartSensorThread(collector.callback()));
    QVERIFY(waitFor([&] { return collector.count() >= 20; }, WAIT_MS));

    hidsim::clearCalls();
    hidsim::setLogReads(true);
    QVERIFY(sensor.SetParams(SSkarvelParams{2, 0x80, 4, 0}));
    const std::size_t after = collector.count();
    QVERIFY(waitFor([&] { return collector.count() >= after + 20; }, WAIT_MS));
    sensor.StopSensorThread();
    hidsim::setLogReads(false);

    const std::vector<hidsim::Call> calls = hidsim::calls();
    int writes = 0;
    int readsAfterWrite = 0;
    for (const hidsim::Call& call : calls) {
        if (call.function == "hid_write") {
            ++writes;
        } else if (call.function == "hid_read_timeout") {
            QCOMPARE(call.length, std::size_t(13));
            QCOMPARE(call.timeout, 100);
            readsAfterWrite += writes;
        }
    }
    QCOMPARE(writes, 1);
    QVERIFY(readsAfterWrite >= 20);
    QCOMPARE(sim.model->params().accelRange, uint8_t(2));
}

void tst_SkarvelStream::stopLatency_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("callbackMs");

    // A silent sensor keeps the thread inside a read for its whole time-out.
    QTest::newRow("blocked in a read") << true << 0;
    QTest::newRow("inside a slow callback") << false << 150;
}

void tst_SkarvelStream::stopLatency()
{
    QFETCH(bool, silent);
    QFETCH(int, callbackMs);

    const SSimSensor sim = addSensor(EPacing::Burst);
    if (silent)
        sim.model->setBurst(0);
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    collector.setDelay(std::chrono::milliseconds(callbackMs));
    hidsim::setLogReads(true);
    QVERIFY(sensor.StartSensorThread(collector.callback()));
    if (silent)
        QVERIFY(waitFor([] { return !hidsim::callsTo("hid_read_timeout").empty(); }, WAIT_MS));
    else
        QVERIFY(waitFor([&] { return collector.inCallback(); }, WAIT_MS));

    QElapsedTimer clock;
    clock.start();
    std::future<void> stopped =
        std::async(std::launch::async, [&sensor] { sensor.StopSensorThread(); });
    if (stopped.wait_for(10s) != std::future_status::ready) {
        // Free the thread so the test can end, then report the hang.
        skarvelsim::unplugSensor(sim);
        stopped.wait();
        QFAIL("StopSensorThread did not return within 10 s");
    }
    const std::size_t countAtStop = collector.count();
    // One 100 ms read plus the callback when the machine runs the threads as
    // they are due; a busy one makes it any longer, so the figure is for the
    // log. What holds on any machine: every read is bounded.
    qInfo("StopSensorThread took %lld ms", clock.elapsed());
    QVERIFY(!sensor.IsSensorThreadRunning());
    for (const hidsim::Call& read : hidsim::callsTo("hid_read_timeout"))
        QCOMPARE(read.timeout, 100);

    std::this_thread::sleep_for(30ms);
    QCOMPARE(collector.count(), countAtStop);
}

void tst_SkarvelStream::shortReportDroppedOnThread()
{
    const SSimSensor sim = addSensor(EPacing::Burst);
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    const uint64_t first = sim.model->nextIndex();
    sim.model->setShortReport(first + 10, 12);
    sim.model->setShortReport(first + 11, 0);
    sim.model->setBurst(100);

    QVERIFY(sensor.StartSensorThread(collector.callback()));
    QVERIFY(waitFor([&] { return sim.model->reportsSent() == 100; }, WAIT_MS));
    sensor.StopSensorThread();

    const std::vector<SSkarvelSample> samples = collector.samples();
    QCOMPARE(samples.size(), std::size_t(98));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const uint64_t index = first + (i < 10 ? i : i + 2);
        QCOMPARE(samples[i].extraByte, uint8_t(index));
    }
    // Silence after the burst times out reads; a dropped report leaves no text.
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString());
}

void tst_SkarvelStream::readSampleDoesNotDisturbStream()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    QVERIFY(sensor.StartSensorThread(collector.callback()));
    QVERIFY(waitFor([&] { return collector.count() >= 10; }, WAIT_MS));

    SSkarvelSample sample;
    QVERIFY(!sensor.ReadSample(sample, 10));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Sensor thread is running"));
    const std::size_t before = collector.count();
    QVERIFY(waitFor([&] { return collector.count() >= before + 10; }, WAIT_MS));
    sensor.StopSensorThread();

    // Every report the host buffer kept reached the callback; only a stalled
    // machine makes the buffer overflow, and then the gaps are the drops.
    const std::vector<SSkarvelSample> samples = collector.samples();
    QCOMPARE(uint64_t(samples.size()), sim.model->reportsSent());
    if (sim.model->reportsDropped() == 0) {
        for (std::size_t i = 1; i < samples.size(); ++i)
            QCOMPARE(uint8_t(samples[i].extraByte - samples[i - 1].extraByte), uint8_t(1));
    }
}

void tst_SkarvelStream::startTwiceKeepsFirstThread()
{
    addSensor(EPacing::RealTime);
    CCollector first;
    CCollector second;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    QVERIFY(sensor.StartSensorThread(first.callback()));
    QVERIFY(!sensor.StartSensorThread(second.callback()));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Read thread already running"));
    QVERIFY(waitFor([&] { return first.count() >= 20; }, WAIT_MS));
    sensor.StopSensorThread();
    QCOMPARE(second.count(), std::size_t(0));
}

void tst_SkarvelStream::stopWithoutThread()
{
    CCollector collector;
    CSkarvel sensor;
    sensor.StopSensorThread();
    QVERIFY(!sensor.IsSensorThreadRunning());

    addSensor(EPacing::RealTime);
    QVERIFY(sensor.Connect(L"STREAM"));
    sensor.StopSensorThread();
    sensor.StopSensorThread();
    QVERIFY(!sensor.IsSensorThreadRunning());
    QVERIFY(sensor.IsConnected());

    QVERIFY(sensor.StartSensorThread(collector.callback()));
    QVERIFY(waitFor([&] { return collector.count() >= 5; }, WAIT_MS));
}

void tst_SkarvelStream::unplugWhileStreaming()
{
    const SSimSensor sim = addSensor(EPacing::Burst);
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    const uint64_t first = sim.model->nextIndex();
    sim.model->unplugAtReport(first + 500);

    QVERIFY(sensor.StartSensorThread(collector.callback()));
    QVERIFY(waitFor([&] { return sim.model->isUnplugged(); }, WAIT_MS));
    QVERIFY(waitFor([&] { return collector.count() >= 500; }, WAIT_MS));
    std::this_thread::sleep_for(20ms);
    // Silence is all the layer reports: the thread keeps running.
    QVERIFY(sensor.IsSensorThreadRunning());
    QCOMPARE(collector.count(), std::size_t(500));
    sensor.StopSensorThread();
    QVERIFY(!sensor.IsSensorThreadRunning());

    const std::vector<SSkarvelSample> samples = collector.samples();
    QCOMPARE(samples.back().extraByte, uint8_t(first + 499));
    QVERIFY(!hidsim::isPresent(sim.interface0));
    CSkarvel other;
    QVERIFY(!other.Connect(L"STREAM"));
    QCOMPARE(QString::fromStdString(other.GetLastError()), QString("Device not found"));
}

void tst_SkarvelStream::disconnectWhileStreaming()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CCollector collector;
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"STREAM"));
    hidsim::setLogReads(true);
    QVERIFY(sensor.StartSensorThread(collector.callback()));
    QVERIFY(waitFor([&] { return collector.count() >= 10; }, WAIT_MS));

    sensor.Disconnect();
    const std::size_t atDisconnect = collector.count();
    QVERIFY(!sensor.IsSensorThreadRunning());
    QVERIFY(!sensor.IsConnected());
    QCOMPARE(hidsim::openHandleCount(sim.interface0), 0);
    std::this_thread::sleep_for(30ms);
    QCOMPARE(collector.count(), atDisconnect);

    // The thread ended before the handle went: no read after the close.
    const std::vector<hidsim::Call> calls = hidsim::calls();
    int lastRead = -1;
    int close = -1;
    for (int i = 0; i < int(calls.size()); ++i) {
        if (calls[i].function == "hid_read_timeout")
            lastRead = i;
        else if (calls[i].function == "hid_close")
            close = i;
    }
    QVERIFY(lastRead >= 0);
    QVERIFY(close > lastRead);
}

QTEST_GUILESS_MAIN(tst_SkarvelStream)
#include "tst_skarvelstream.moc"

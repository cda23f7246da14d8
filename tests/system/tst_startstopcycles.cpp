// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Many connect, stream, stop, disconnect cycles: every stop is prompt and the
// process ends with the threads and descriptors it started with. Fewer
// cycles with SKARVEL_CYCLES (the sanitizer builds).
#include "cskarvel.h"
#include "hidsim.h"
#include "processcounts.h"
#include "skarvelmodel.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

class tst_StartStopCycles : public QObject
{
    Q_OBJECT

private slots:
    void cycles_data();
    void cycles();
};

void tst_StartStopCycles::cycles_data()
{
    QTest::addColumn<bool>("burst");
    // Data flowing when the stop comes, or a sensor that has gone quiet, so
    // the read in progress has to run out its time-out.
    QTest::newRow("streaming") << true;
    QTest::newRow("quiet") << false;
}

void tst_StartStopCycles::cycles()
{
    QFETCH(bool, burst);
    bool ok = false;
    const int envCycles = qEnvironmentVariableIntValue("SKARVEL_CYCLES", &ok);
    // A quiet stop waits out a 100 ms read; fewer of those keep the run short.
    const int cycles = (ok && envCycles > 0 ? envCycles : 1000) / (burst ? 1 : 10);
    hidsim::reset();
    skarvelsim::SSensorConfig config;
    config.pacing = skarvelsim::EPacing::Burst;
    const skarvelsim::SSimSensor sensorSim = skarvelsim::addSensor(config);

    const int threadsBefore = testing::threadCount();
    const int filesBefore = testing::openFileCount();
    qint64 slowestStopUs = 0;
    std::atomic<int> samples{0};
    for (int cycle = 0; cycle < cycles; ++cycle) {
        CSkarvel sensor;
        QVERIFY2(sensor.Connect(L"SKV-000001"), sensor.GetLastError().c_str());
        if (burst)
            sensorSim.model->setBurst();
        else
            sensorSim.model->setBurst(10);
        samples = 0;
        QVERIFY(sensor.StartSensorThread([&samples](const SSkarvelSample&) { ++samples; }));
        QDeadlineTimer deadline(5000);
        while (samples < 10 && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        QVERIFY(samples >= 10);

        QElapsedTimer clock;
        clock.start();
        sensor.StopSensorThread();
        slowestStopUs = std::max(slowestStopUs, clock.nsecsElapsed() / 1000);
        QVERIFY(!sensor.IsSensorThreadRunning());
        sensor.Disconnect();
        QVERIFY(!sensor.IsConnected());
    }
    QCOMPARE(hidsim::openHandleCount(sensorSim.interface0), 0);
    QCOMPARE(testing::threadCount(), threadsBefore);
    QCOMPARE(testing::openFileCount(), filesBefore);
    // One read time-out (100 ms) plus the time to join, as long as the
    // machine runs the threads when they are due; a busy one makes it any
    // longer, so the figure is for the log.
    qInfo("%d cycles, slowest stop %lld us", cycles, slowestStopUs);
}

QTEST_GUILESS_MAIN(tst_StartStopCycles)
#include "tst_startstopcycles.moc"

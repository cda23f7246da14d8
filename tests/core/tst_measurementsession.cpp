// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "clivegraph.h"
#include "measurementsession.h"

#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

using ETick = MeasurementSession::ETick;
Q_DECLARE_METATYPE(ETick)

class tst_MeasurementSession : public QObject
{
    Q_OBJECT

private slots:
    void settlingDiscard_data();
    void settlingDiscard();
    void roomCapsBatch();
    void convertedWithCurrentRanges_data();
    void convertedWithCurrentRanges();
    void discardRearmsSettling();
    void ticks_data();
    void ticks();
    void silence_data();
    void silence();
    void statisticsRange_data();
    void statisticsRange();
    void seriesStatistics();
    void summarisedStatistics_data();
    void summarisedStatistics();
    void meanTextSettled_data();
    void meanTextSettled();
    void readThreadFeedsWhileDraining();
};

namespace {

// Records what the session stores: accel X of every frame.
struct SStore
{
    explicit SStore(MeasurementSession& session)
    {
        QObject::connect(&session, &MeasurementSession::samplesStored,
                         [this](const std::vector<float>& accel, const std::vector<float>& gyro) {
                             QCOMPARE(accel.size(), gyro.size());
                             ++batches;
                             for (std::size_t i = 0; i < accel.size(); i += 3)
                                 accelX.push_back(accel[i]);
                         });
    }
    int batches = 0;
    std::vector<float> accelX;
};

SSkarvelSample sample(int accelX, int gyroZ = 0)
{
    SSkarvelSample s;
    s.accelX = accelX;
    s.gyroZ = gyroZ;
    return s;
}

} // namespace

void tst_MeasurementSession::settlingDiscard_data()
{
    QTest::addColumn<QList<int>>("batches");
    QTest::addColumn<int>("stored");

    QTest::newRow("100 in one") << QList<int>{100} << 0;
    QTest::newRow("101 in one") << QList<int>{101} << 1;
    QTest::newRow("60 + 60 across the boundary") << QList<int>{60, 60} << 20;
    QTest::newRow("99 + 1 + 5") << QList<int>{99, 1, 5} << 5;
}

// Samples are numbered from 1: the first one stored is always the 101st.
void tst_MeasurementSession::settlingDiscard()
{
    QFETCH(QList<int>, batches);
    QFETCH(int, stored);
    MeasurementSession session;
    SStore store(session);
    session.begin(SSkarvelParams());

    int next = 1;
    for (int size : batches) {
        for (int i = 0; i < size; ++i)
            session.addSample(sample(next++));
        QCOMPARE(session.appendPendingSamples(), quint64(size));
    }
    QCOMPARE(int(store.accelX.size()), stored);
    QCOMPARE(session.samplesSinceReset(), quint64(stored));
    if (stored > 0)
        QCOMPARE(store.accelX.front(), float(101 * 0.061 / 1000.0));
}

void tst_MeasurementSession::roomCapsBatch()
{
    MeasurementSession session;
    SStore store(session);
    session.begin(SSkarvelParams());
    for (int i = 1; i <= 150; ++i)
        session.addSample(sample(i, -i));
    QCOMPARE(session.appendPendingSamples(10), quint64(150));
    QCOMPARE(store.accelX.size(), std::size_t(10));
    // The newest kept sample, not the newest taken, as the report carries it.
    QCOMPARE(session.latestRaw()[0], 110 + 0x7FFF);
    QCOMPARE(session.latestRaw()[5], -110 + 0x7FFF);

    for (int i = 0; i < 5; ++i)
        session.addSample(sample(1));
    QCOMPARE(session.appendPendingSamples(0), quint64(5));
    QCOMPARE(store.batches, 1); // nothing kept, nothing emitted
}

void tst_MeasurementSession::convertedWithCurrentRanges_data()
{
    QTest::addColumn<int>("accelRange");
    QTest::addColumn<int>("gyroRange");
    QTest::addColumn<double>("g");
    QTest::addColumn<double>("dps");

    QTest::newRow("2 g, 245 dps") << 0 << 0 << 0.061 << 8.75;
    QTest::newRow("16 g, 125 dps") << 1 << 1 << 0.488 << 4.375;
    QTest::newRow("8 g, 2000 dps") << 3 << 6 << 0.244 << 70.0;
    QTest::newRow("unknown codes scale to zero") << 7 << 3 << 0.0 << 0.0;
}

void tst_MeasurementSession::convertedWithCurrentRanges()
{
    QFETCH(int, accelRange);
    QFETCH(int, gyroRange);
    QFETCH(double, g);
    QFETCH(double, dps);
    MeasurementSession session;
    std::vector<float> accel;
    std::vector<float> gyro;
    connect(&session, &MeasurementSession::samplesStored, this,
            [&](const std::vector<float>& a, const std::vector<float>& r) {
                accel = a;
                gyro = r;
            });
    session.begin(SSkarvelParams());
    for (int i = 0; i < 100; ++i)
        session.addSample(sample(1));
    session.appendPendingSamples(); // settled with the old ranges

    SSkarvelParams ranges;
    ranges.accelRange = uint8_t(accelRange);
    ranges.gyroRange = uint8_t(gyroRange);
    session.setRanges(ranges);
    session.addSample(sample(-1000, 2000));
    session.appendPendingSamples();
    QCOMPARE(accel.size(), std::size_t(3));
    QCOMPARE(accel[0], float(-1000 * g / 1000.0));
    QCOMPARE(gyro[2], float(2000 * dps / 1000.0));
}

void tst_MeasurementSession::discardRearmsSettling()
{
    MeasurementSession session;
    SStore store(session);
    session.begin(SSkarvelParams());
    for (int i = 0; i < 120; ++i)
        session.addSample(sample(1));
    session.appendPendingSamples();
    QCOMPARE(store.accelX.size(), std::size_t(20));

    for (int i = 0; i < 50; ++i)
        session.addSample(sample(2)); // arrived before a parameter change
    session.discardBufferedSamples();
    QCOMPARE(session.appendPendingSamples(), quint64(0));
    for (int i = 0; i < 101; ++i)
        session.addSample(sample(3));
    session.appendPendingSamples();
    QCOMPARE(store.accelX.size(), std::size_t(21));
    QCOMPARE(store.accelX.back(), float(3 * 0.061 / 1000.0));
}

void tst_MeasurementSession::ticks_data()
{
    QTest::addColumn<QList<int>>("taken");
    QTest::addColumn<ETick>("last");

    // Early ticks of a coarse timer: twenty of them are not yet a second.
    QTest::newRow("20 quick empty ticks") << QList<int>(20, 0) << ETick::Idle;
    QTest::newRow("3 ticks with data") << QList<int>{1, 1, 1} << ETick::Data;
    QTest::newRow("4th tick with data refreshes") << QList<int>{1, 0, 1, 1, 1} << ETick::Refresh;
    QTest::newRow("then counts again") << QList<int>{1, 1, 1, 1, 1} << ETick::Data;
}

void tst_MeasurementSession::ticks()
{
    QFETCH(QList<int>, taken);
    QFETCH(ETick, last);
    MeasurementSession session;
    session.begin(SSkarvelParams());
    ETick tick = ETick::Idle;
    for (int n : taken)
        tick = session.tick(quint64(n));
    QCOMPARE(tick, last);
}

void tst_MeasurementSession::silence_data()
{
    QTest::addColumn<int>("beforeMs");     // from the start to a sample
    QTest::addColumn<bool>("drainAtOnce"); // taken between ticks right away, or by the tick
    QTest::addColumn<int>("afterMs");      // from the sample to the empty tick

    const int second = MeasurementSession::LOST_CONNECTION_IDLE_MS + 20;
    QTest::newRow("a second of silence") << 0 << true << second;
    // A parameter change drains between ticks: what it takes is no silence.
    QTest::newRow("sample taken between ticks") << 600 << true << 600;
    // A GUI thread blocked for a second takes the sample late: the silence
    // counts from its arrival all the same.
    QTest::newRow("sample taken late") << 0 << false << second;
}

void tst_MeasurementSession::silence()
{
    QFETCH(int, beforeMs);
    QFETCH(bool, drainAtOnce);
    QFETCH(int, afterMs);
    MeasurementSession session;
    session.begin(SSkarvelParams());
    QTest::qSleep(beforeMs);
    QElapsedTimer beforeArrival;
    beforeArrival.start();
    session.addSample(sample(1));
    QElapsedTimer afterArrival;
    afterArrival.start();
    if (drainAtOnce)
        QCOMPARE(session.appendPendingSamples(), quint64(1));
    QTest::qSleep(afterMs);
    if (!drainAtOnce)
        QCOMPARE(session.tick(session.appendPendingSamples()), ETick::Data);

    // The silence since the sample lies between these two; a busy machine
    // may have made it longer than the row asks for. Only when they straddle
    // the limit is either tick right.
    const qint64 atLeastNs = afterArrival.nsecsElapsed();
    const ETick tick = session.tick(0);
    const qint64 atMostNs = beforeArrival.nsecsElapsed();
    const qint64 limitNs = qint64(MeasurementSession::LOST_CONNECTION_IDLE_MS) * 1000000;
    if (atMostNs <= limitNs)
        QCOMPARE(tick, ETick::Idle);
    if (atLeastNs > limitNs)
        QCOMPARE(tick, ETick::ConnectionLost);
}

void tst_MeasurementSession::statisticsRange_data()
{
    QTest::addColumn<int>("sinceReset");
    QTest::addColumn<bool>("visibleOnly");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");

    // 1000 stored, samples 600..900 visible.
    QTest::newRow("all since start") << 1000 << false << 0 << 1000;
    QTest::newRow("all since reset") << 300 << false << 700 << 1000;
    QTest::newRow("visible") << 1000 << true << 600 << 900;
    QTest::newRow("visible since reset") << 300 << true << 700 << 900;
    QTest::newRow("reset after the visible range") << 50 << true << 900 << 900;
}

void tst_MeasurementSession::statisticsRange()
{
    QFETCH(int, sinceReset);
    QFETCH(bool, visibleOnly);
    QFETCH(int, begin);
    QFETCH(int, end);
    MeasurementSession session;
    session.begin(SSkarvelParams());
    for (int i = 0; i < 100 + sinceReset; ++i)
        session.addSample(sample(1));
    session.appendPendingSamples();
    const MeasurementSession::SRange range = session.statisticsRange(1000, visibleOnly, 600, 900);
    QCOMPARE(range.begin, quint64(begin));
    QCOMPARE(range.end, quint64(end));

    session.resetStatistics();
    QCOMPARE(session.statisticsRange(1000, false, 600, 900).begin, quint64(1000));
}

void tst_MeasurementSession::seriesStatistics()
{
    const std::vector<float> values{5.0f, -1.5f, 2.0f, 3.5f, 100.0f};
    const auto at = [&values](quint64 i) { return values[std::size_t(i)]; };
    const MeasurementSession::SSeriesStatistics s =
        MeasurementSession::seriesStatistics(at, {1, 4});
    QCOMPARE(s.minimum, -1.5);
    QCOMPARE(s.maximum, 3.5);
    QCOMPARE(s.mean, 4.0 / 3.0);
    QVERIFY(MeasurementSession::nearFullScale(-1.99, 2.0));
    QVERIFY(!MeasurementSession::nearFullScale(1.97, 2.0));
}

void tst_MeasurementSession::summarisedStatistics_data()
{
    QTest::addColumn<int>(
        "kind"); // 0: noise, 1: NaNs, 2: infinities, 3: a constant, 4: signed zeros
    QTest::addColumn<int>("frameCount");
    QTest::addColumn<int>("decimals");

    QTest::newRow("noise, partial history") << 0 << 30000 << 4;
    QTest::newRow("noise, dropped frames") << 0 << 249900 + 7777 << 4;
    QTest::newRow("noise, 2 decimals, dropped frames") << 0 << 249900 + 123 << 2;
    QTest::newRow("NaNs, dropped frames") << 1 << 249900 + 999 << 4;
    QTest::newRow("infinities") << 2 << 20000 << 4;
    QTest::newRow("0.25 everywhere, 1 decimal (a tie)") << 3 << 5000 << 1;
    QTest::newRow("signed zeros") << 4 << 5000 << 4;
}

// From the graph's run summaries against the plain scan: the same minimum
// and maximum bit for bit, the same mean text.
void tst_MeasurementSession::summarisedStatistics()
{
    QFETCH(int, kind);
    QFETCH(int, frameCount);
    QFETCH(int, decimals);

    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.addSeries(QStringLiteral("Y"), Qt::green);
    std::mt19937 random(unsigned(kind * 1000 + frameCount));
    std::uniform_real_distribution<float> noise(-1.9f, 2.1f);
    std::vector<float> batch;
    for (int k = 0; k < frameCount; ++k) {
        for (int s = 0; s < 2; ++s) {
            float v = noise(random) * (s == 0 ? 1.0f : 900.0f);
            if (kind == 1 && (random() % 50 == 0 || (k / 16) % 301 == 7))
                v = std::numeric_limits<float>::quiet_NaN();
            if (kind == 2 && random() % 5000 == 0)
                v = (random() % 2 ? 1 : -1) * std::numeric_limits<float>::infinity();
            if (kind == 3)
                v = 0.25f;
            if (kind == 4)
                v = random() % 2 ? 0.0f : -0.0f;
            batch.push_back(v);
        }
        if (batch.size() >= 2 * 833 || k + 1 == frameCount) {
            graph.appendSamples(batch);
            batch.clear();
        }
    }
    const quint64 stored = graph.storedSampleCount();
    const auto text = [&](double v) { return QString::number(v, 'f', decimals); };
    const auto sameBits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int n = 0; n < 60; ++n) {
        // Ranges of every length, starting and ending inside runs and blocks.
        quint64 begin = random() % stored;
        quint64 end = begin + 1 + random() % (n % 3 == 0 ? 40 : stored - begin);
        if (n == 0) {
            begin = 0;
            end = stored;
        }
        end = std::min(end, stored);
        for (int series = 0; series < 2; ++series) {
            const MeasurementSession::SSeriesStatistics scan = MeasurementSession::seriesStatistics(
                [&](quint64 i) { return graph.storedSample(series, i); }, {begin, end});
            const MeasurementSession::SSeriesStatistics statistics =
                MeasurementSession::seriesStatistics(graph, series, {begin, end}, decimals);
            const QByteArray where =
                QStringLiteral("series %1, [%2, %3)").arg(series).arg(begin).arg(end).toUtf8();
            QVERIFY2(sameBits(statistics.minimum, scan.minimum), where.constData());
            QVERIFY2(sameBits(statistics.maximum, scan.maximum), where.constData());
            QCOMPARE(text(statistics.mean), text(scan.mean));
        }
    }
}

void tst_MeasurementSession::meanTextSettled_data()
{
    QTest::addColumn<double>("mean");
    QTest::addColumn<quint64>("count");
    QTest::addColumn<double>("magnitude");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("settled");

    QTest::newRow("far from a rounding edge") << 0.123412 << quint64(249900) << 2.0 << 4 << true;
    QTest::newRow("1e-9 short of an edge, 249,900 values of 2 g")
        << 0.12345 - 1e-9 << quint64(249900) << 2.0 << 4 << true;
    QTest::newRow("on an edge (0.00005)") << 0.00005 << quint64(249900) << 2.0 << 4 << false;
    QTest::newRow("exact tie, one decimal") << 0.25 << quint64(5000) << 0.25 << 1 << false;
    QTest::newRow("zero: either sign") << 0.0 << quint64(10) << 0.0 << 4 << false;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << quint64(10) << 1.0 << 4
                         << true;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << quint64(10) << 1.0 << 2
                              << true;
}

// Where the summed mean may stand in for the scan's and where the scan runs.
void tst_MeasurementSession::meanTextSettled()
{
    QFETCH(double, mean);
    QFETCH(quint64, count);
    QFETCH(double, magnitude);
    QFETCH(int, decimals);
    QFETCH(bool, settled);
    QCOMPARE(MeasurementSession::meanTextSettled(mean, count, magnitude, decimals), settled);
}

// The read thread appends while the GUI thread drains: nothing lost, nothing twice.
void tst_MeasurementSession::readThreadFeedsWhileDraining()
{
    MeasurementSession session;
    SStore store(session);
    session.begin(SSkarvelParams());
    constexpr int COUNT = 20000;
    std::thread reader([&session] {
        for (int i = 1; i <= COUNT; ++i)
            session.addSample(sample(i));
    });
    quint64 taken = 0;
    while (taken < quint64(COUNT))
        taken += session.appendPendingSamples();
    reader.join();
    QCOMPARE(taken, quint64(COUNT));
    QCOMPARE(store.accelX.size(), std::size_t(COUNT - 100));
    QCOMPARE(store.accelX.back(), float(COUNT * 0.061 / 1000.0));
}

QTEST_MAIN(tst_MeasurementSession)
#include "tst_measurementsession.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The live graph's data model: whole frames, the bounded history, setters
// that ignore bad input, and which stored samples the view window covers.
#include "clivegraph.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// Exposes the value mapping, the only observable trace of the Y range.
class CProbeGraph : public CLiveGraph
{
public:
    using CLiveGraph::valueToY;
};

// Frame k holds k * 10 + series, so every stored value names its frame.
std::vector<float> frames(quint64 first, quint64 count, int seriesCount)
{
    std::vector<float> values;
    values.reserve(count * seriesCount);
    for (quint64 k = first; k < first + count; ++k) {
        for (int s = 0; s < seriesCount; ++s)
            values.push_back(float(k * 10 + s));
    }
    return values;
}

void addThreeSeries(CLiveGraph& graph)
{
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.addSeries(QStringLiteral("Y"), Qt::green);
    graph.addSeries(QStringLiteral("Z"), Qt::blue);
}

} // namespace

class tst_CLiveGraph : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void appendSamples_data();
    void appendSamples();
    void appendWithoutSeries();
    void trimming_data();
    void trimming();
    void addSeriesEmptiesData();
    void clearKeepsSeries();
    void clearFromKeepsTimes();
    void setSampleRate_data();
    void setSampleRate();
    void setTimeWindow_data();
    void setTimeWindow();
    void windowAtLeastOneSample();
    void setYRange_data();
    void setYRange();
    void seriesVisibility_data();
    void seriesVisibility();
    void visibleRange_data();
    void visibleRange();
    void visibleRangeAfterDrops_data();
    void visibleRangeAfterDrops();
    void modeKeepsDataAndView();
    void niceStep_data();
    void niceStep();
    void contrastTextColor_data();
    void contrastTextColor();
};

void tst_CLiveGraph::defaults()
{
    CLiveGraph graph;
    QVERIFY(graph.testAttribute(Qt::WA_OpaquePaintEvent));
    QCOMPARE(graph.mode(), CLiveGraph::Continue);
    QCOMPARE(graph.storedSampleCount(), quint64(0));
    QCOMPARE(graph.windowSampleCount(), quint64(4165)); // 5 s at 833 Hz
    QCOMPARE(graph.maxSampleCount(), quint64(249900));
    QCOMPARE(graph.sizeHint(), QSize(600, 300));
    QCOMPARE(graph.minimumSizeHint(), QSize(300, 150));
    QCOMPARE(int(CLiveGraph::Continue), 0);
    QCOMPARE(int(CLiveGraph::Overwrite), 1);
    QCOMPARE(int(CLiveGraph::SingleShot), 2);
}

void tst_CLiveGraph::appendSamples_data()
{
    QTest::addColumn<std::vector<int>>("batchSizes");
    QTest::addColumn<quint64>("expectedFrames");

    QTest::newRow("6 values") << std::vector<int>{6} << quint64(2);
    QTest::newRow("7 values") << std::vector<int>{7} << quint64(0);
    QTest::newRow("empty") << std::vector<int>{0} << quint64(0);
    QTest::newRow("3, 7, 3 values") << std::vector<int>{3, 7, 3} << quint64(2);
    QTest::newRow("5, 1 values") << std::vector<int>{5, 1} << quint64(0);
}

void tst_CLiveGraph::appendSamples()
{
    QFETCH(std::vector<int>, batchSizes);
    QFETCH(quint64, expectedFrames);

    CLiveGraph graph;
    addThreeSeries(graph);
    float next = 0.0f;
    std::vector<float> accepted;
    for (int size : batchSizes) {
        std::vector<float> batch;
        for (int i = 0; i < size; ++i)
            batch.push_back(next++);
        if (size % 3 == 0)
            accepted.insert(accepted.end(), batch.begin(), batch.end());
        graph.appendSamples(batch);
    }

    QCOMPARE(graph.storedSampleCount(), expectedFrames);
    QCOMPARE(graph.storedSampleTime(0), 0.0);
    for (quint64 k = 0; k < expectedFrames; ++k) {
        for (int s = 0; s < 3; ++s) {
            QCOMPARE(graph.storedSample(s, k), accepted[k * 3 + s]);
            QCOMPARE(graph.sampleAt(s, k), accepted[k * 3 + s]);
        }
    }
    // T grew by exactly the accepted frames: the window ends on the last one.
    QCOMPARE(graph.visibleEnd(), expectedFrames);
}

void tst_CLiveGraph::clearFromKeepsTimes()
{
    CLiveGraph graph;
    addThreeSeries(graph);
    graph.appendSamples(std::vector<float>(30, 1.0f));
    graph.clearFrom(4321);
    QCOMPARE(graph.storedSampleCount(), quint64(0));
    graph.appendSamples({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    QCOMPARE(graph.storedSampleCount(), quint64(2));
    QCOMPARE(graph.storedSampleTime(0), 4321 / 833.0);
    QCOMPARE(graph.storedSampleTime(1), 4322 / 833.0);
    QCOMPARE(graph.sampleAt(2, 4322), 6.0f);
    QCOMPARE(graph.visibleEnd(), quint64(2));
    QCOMPARE(graph.totalSampleCount(), quint64(4323));
}

void tst_CLiveGraph::appendWithoutSeries()
{
    CLiveGraph graph;
    graph.appendSamples({1.0f, 2.0f, 3.0f});
    QCOMPARE(graph.storedSampleCount(), quint64(0));
    QCOMPARE(graph.visibleEnd(), quint64(0));
    // A series added later starts empty and T still counts from 0.
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.appendSamples({4.0f});
    QCOMPARE(graph.storedSampleTime(0), 0.0);
}

void tst_CLiveGraph::trimming_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<quint64>("batch");
    QTest::addColumn<quint64>("frameCount");

    // maxSampleCount() at 10 Hz is 3000, at 833 Hz 249,900.
    QTest::newRow("10 Hz, one frame over, single batch") << 10.0 << quint64(3001) << quint64(3001);
    QTest::newRow("10 Hz, batches of 42") << 10.0 << quint64(42) << quint64(10000);
    QTest::newRow("10 Hz, batches of 1") << 10.0 << quint64(1) << quint64(7777);
    QTest::newRow("833 Hz, batches of 42") << 833.0 << quint64(42) << quint64(260000);
    QTest::newRow("2.5 Hz, rounds 750") << 2.5 << quint64(100) << quint64(1000);
}

void tst_CLiveGraph::trimming()
{
    QFETCH(double, rate);
    QFETCH(quint64, batch);
    QFETCH(quint64, frameCount);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSampleRate(rate);
    const quint64 max = graph.maxSampleCount();
    QCOMPARE(max, quint64(std::llround(300.0 * rate)));
    for (quint64 first = 0; first < frameCount; first += batch)
        graph.appendSamples(frames(first, std::min(batch, frameCount - first), 3));

    const quint64 stored = std::min(frameCount, max);
    const quint64 dropped = frameCount - stored;
    QCOMPARE(graph.storedSampleCount(), stored);
    QCOMPARE(graph.storedSampleTime(0), double(dropped) / rate);
    QCOMPARE(graph.storedSampleTime(stored - 1), double(frameCount - 1) / rate);
    // The newest frames remain, every series cut alike.
    for (quint64 k : {quint64(0), stored / 2, stored - 1}) {
        for (int s = 0; s < 3; ++s) {
            QCOMPARE(graph.storedSample(s, k), float((dropped + k) * 10 + s));
            QCOMPARE(graph.sampleAt(s, dropped + k), float((dropped + k) * 10 + s));
        }
    }
    // Bulk copies, whole and from inside, read the same values across blocks.
    std::vector<float> copied(stored);
    for (const quint64 begin : {quint64(0), stored / 3}) {
        graph.copyStoredSamples(2, begin, stored, copied.data());
        for (quint64 k = begin; k < stored; ++k)
            QCOMPARE(copied[k - begin], float((dropped + k) * 10 + 2));
    }
}

void tst_CLiveGraph::addSeriesEmptiesData()
{
    CLiveGraph graph;
    QCOMPARE(graph.addSeries(QStringLiteral("X"), Qt::red), 0);
    QCOMPARE(graph.addSeries(QStringLiteral("Y"), Qt::green), 1);
    graph.appendSamples(frames(0, 100, 2));
    graph.setViewStart(10);
    graph.setSeriesVisible(0, false);

    QCOMPARE(graph.addSeries(QStringLiteral("Z"), Qt::blue), 2);
    QCOMPARE(graph.storedSampleCount(), quint64(0));
    QCOMPARE(graph.isSeriesVisible(0), false);
    QCOMPARE(graph.isSeriesVisible(2), true);

    // T restarted at 0 and the manual view is off: Continue shows the newest.
    graph.appendSamples(frames(0, 5000, 3));
    QCOMPARE(graph.storedSampleTime(0), 0.0);
    QCOMPARE(graph.visibleBegin(), quint64(5000 - 4165));
    QCOMPARE(graph.storedSample(2, 4999), float(4999 * 10 + 2));
}

void tst_CLiveGraph::clearKeepsSeries()
{
    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSampleRate(10.0);
    graph.appendSamples(frames(0, 3500, 3));
    graph.setSeriesVisible(1, false);
    graph.setViewStart(3);

    graph.clear();
    QCOMPARE(graph.storedSampleCount(), quint64(0));
    QCOMPARE(graph.isSeriesVisible(0), true);
    QCOMPARE(graph.isSeriesVisible(1), false);
    QCOMPARE(graph.visibleBegin(), quint64(0));
    QCOMPARE(graph.visibleEnd(), quint64(0));

    graph.appendSamples(frames(0, 200, 3));
    QCOMPARE(graph.storedSampleCount(), quint64(200));
    QCOMPARE(graph.storedSampleTime(0), 0.0);
    QCOMPARE(graph.visibleBegin(), quint64(150)); // newest 50 (5 s at 10 Hz): no manual view
}

void tst_CLiveGraph::setSampleRate_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("applied");

    QTest::newRow("833 (unchanged)") << 833.0 << true;
    QTest::newRow("100") << 100.0 << true;
    QTest::newRow("0") << 0.0 << false;
    QTest::newRow("-833") << -833.0 << false;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false;
}

void tst_CLiveGraph::setSampleRate()
{
    QFETCH(double, rate);
    QFETCH(bool, applied);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.appendSamples(frames(0, 1000, 3));
    graph.setViewStart(2);
    graph.setSampleRate(rate);

    QCOMPARE(graph.storedSampleCount(), applied ? quint64(0) : quint64(1000));
    QCOMPARE(graph.maxSampleCount(), quint64(std::llround(300.0 * (applied ? rate : 833.0))));
    if (!applied) {
        QCOMPARE(graph.visibleBegin(), quint64(0)); // the manual view start is still in force
        QCOMPARE(graph.storedSampleTime(833), 1.0);
    }
}

void tst_CLiveGraph::setTimeWindow_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<quint64>("expectedWindow");

    QTest::newRow("600") << 600.0 << quint64(249900);
    QTest::newRow("2.5") << 2.5 << quint64(2083); // 2082.5 rounds away from zero
    QTest::newRow("0") << 0.0 << quint64(4165);
    QTest::newRow("-1") << -1.0 << quint64(4165);
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << quint64(4165);
}

void tst_CLiveGraph::setTimeWindow()
{
    QFETCH(double, seconds);
    QFETCH(quint64, expectedWindow);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.appendSamples(frames(0, 10, 3));
    graph.setTimeWindow(seconds);
    QCOMPARE(graph.windowSampleCount(), expectedWindow);
    QCOMPARE(graph.storedSampleCount(), quint64(10));
}

void tst_CLiveGraph::windowAtLeastOneSample()
{
    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSampleRate(0.01);
    graph.setTimeWindow(1.0); // 0.01 samples
    QCOMPARE(graph.windowSampleCount(), quint64(1));
    graph.appendSamples(frames(0, 3, 3));
    QCOMPARE(graph.visibleBegin(), quint64(2));
    QCOMPARE(graph.visibleEnd(), quint64(3));
}

void tst_CLiveGraph::setYRange_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<bool>("applied");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("0, 10") << 0.0 << 10.0 << true;
    QTest::newRow("1, 1") << 1.0 << 1.0 << false;
    QTest::newRow("2, 1") << 2.0 << 1.0 << false;
    QTest::newRow("NaN, 1") << nan << 1.0 << false;
    QTest::newRow("0, NaN") << 0.0 << nan << false;
}

void tst_CLiveGraph::setYRange()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(bool, applied);

    CProbeGraph graph;
    const QRect rect(0, 100, 50, 101); // top 100, bottom 200
    graph.setYRange(min, max);
    const double expectedMin = applied ? min : -1.0;
    const double expectedMax = applied ? max : 1.0;
    QCOMPARE(graph.valueToY(rect, expectedMin), 200.0);
    QCOMPARE(graph.valueToY(rect, expectedMax), 100.0);
}

void tst_CLiveGraph::seriesVisibility_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("inRange");

    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("3") << 3 << false;
}

void tst_CLiveGraph::seriesVisibility()
{
    QFETCH(int, index);
    QFETCH(bool, inRange);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSeriesVisible(index, false);
    QCOMPARE(graph.isSeriesVisible(index), false);
    for (int s = 0; s < 3; ++s)
        QCOMPARE(graph.isSeriesVisible(s), !(inRange && s == index));
    graph.setSeriesVisible(index, true);
    QCOMPARE(graph.isSeriesVisible(index), inRange);
}

void tst_CLiveGraph::visibleRange_data()
{
    // 10 Hz and 5 s: W = 50, history 3000 frames; nothing dropped here.
    QTest::addColumn<int>("mode");
    QTest::addColumn<quint64>("frameCount");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<quint64>("viewStart");
    QTest::addColumn<quint64>("begin");
    QTest::addColumn<quint64>("end");

    QTest::newRow("Continue, empty")
        << 0 << quint64(0) << false << quint64(0) << quint64(0) << quint64(0);
    QTest::newRow("Continue, T < W")
        << 0 << quint64(20) << false << quint64(0) << quint64(0) << quint64(20);
    QTest::newRow("Continue, T = W")
        << 0 << quint64(50) << false << quint64(0) << quint64(0) << quint64(50);
    QTest::newRow("Continue, T > W")
        << 0 << quint64(120) << false << quint64(0) << quint64(70) << quint64(120);
    QTest::newRow("Overwrite, T > W")
        << 1 << quint64(120) << false << quint64(0) << quint64(70) << quint64(120);
    QTest::newRow("SingleShot, T > W")
        << 2 << quint64(120) << false << quint64(0) << quint64(0) << quint64(50);
    QTest::newRow("SingleShot, T < W")
        << 2 << quint64(20) << false << quint64(0) << quint64(0) << quint64(20);
    QTest::newRow("manual 10 of 120")
        << 0 << quint64(120) << true << quint64(10) << quint64(10) << quint64(60);
    QTest::newRow("manual 70 of 120 (N - W)")
        << 1 << quint64(120) << true << quint64(70) << quint64(70) << quint64(120);
    QTest::newRow("manual 71 of 120 clamped")
        << 2 << quint64(120) << true << quint64(71) << quint64(70) << quint64(120);
    QTest::newRow("manual max clamped")
        << 0 << quint64(120) << true << std::numeric_limits<quint64>::max() << quint64(70)
        << quint64(120);
    QTest::newRow("manual 5 while N < W")
        << 0 << quint64(30) << true << quint64(5) << quint64(0) << quint64(30);
    QTest::newRow("manual 5 while N = W")
        << 0 << quint64(50) << true << quint64(5) << quint64(0) << quint64(50);
}

void tst_CLiveGraph::visibleRange()
{
    QFETCH(int, mode);
    QFETCH(quint64, frameCount);
    QFETCH(bool, manual);
    QFETCH(quint64, viewStart);
    QFETCH(quint64, begin);
    QFETCH(quint64, end);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSampleRate(10.0);
    graph.setMode(CLiveGraph::EMode(mode));
    graph.appendSamples(frames(0, frameCount, 3));
    if (manual)
        graph.setViewStart(viewStart);

    QCOMPARE(graph.visibleBegin(), begin);
    QCOMPARE(graph.visibleEnd(), end);
    QCOMPARE(graph.firstVisibleIndex(), begin); // nothing dropped: absolute = stored

    graph.resetView();
    if (mode != CLiveGraph::SingleShot) {
        QCOMPARE(graph.visibleEnd(), frameCount);
    }
}

void tst_CLiveGraph::visibleRangeAfterDrops_data()
{
    // 10 Hz, 5 s: W = 50; 3500 frames appended, 3000 kept, D = 500.
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<quint64>("viewStart");
    QTest::addColumn<quint64>("firstVisible");
    QTest::addColumn<quint64>("begin");

    QTest::newRow("Continue") << 0 << false << quint64(0) << quint64(3450) << quint64(2950);
    QTest::newRow("Overwrite") << 1 << false << quint64(0) << quint64(3450) << quint64(2950);
    QTest::newRow("SingleShot") << 2 << false << quint64(0) << quint64(500) << quint64(0);
    QTest::newRow("manual 100") << 0 << true << quint64(100) << quint64(600) << quint64(100);
    QTest::newRow("manual 2999 clamped")
        << 2 << true << quint64(2999) << quint64(3450) << quint64(2950);
}

void tst_CLiveGraph::visibleRangeAfterDrops()
{
    QFETCH(int, mode);
    QFETCH(bool, manual);
    QFETCH(quint64, viewStart);
    QFETCH(quint64, firstVisible);
    QFETCH(quint64, begin);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSampleRate(10.0);
    graph.setMode(CLiveGraph::EMode(mode));
    graph.appendSamples(frames(0, 3500, 3));
    if (manual)
        graph.setViewStart(viewStart);

    QCOMPARE(graph.firstVisibleIndex(), firstVisible);
    QCOMPARE(graph.visibleBegin(), begin);
    QCOMPARE(graph.visibleEnd(), begin + 50);
    QCOMPARE(graph.storedSample(0, graph.visibleBegin()), float(firstVisible * 10));
}

void tst_CLiveGraph::modeKeepsDataAndView()
{
    CLiveGraph graph;
    addThreeSeries(graph);
    graph.setSampleRate(10.0);
    graph.appendSamples(frames(0, 200, 3));
    graph.setViewStart(30);
    for (CLiveGraph::EMode mode :
         {CLiveGraph::Overwrite, CLiveGraph::SingleShot, CLiveGraph::Continue}) {
        graph.setMode(mode);
        QCOMPARE(graph.mode(), mode);
        QCOMPARE(graph.visibleBegin(), quint64(30));
    }
    graph.setTimeWindow(2.0);
    graph.setYRange(-3.0, 3.0);
    QCOMPARE(graph.visibleBegin(), quint64(30));
    QCOMPARE(graph.visibleEnd(), quint64(50));
    QCOMPARE(graph.storedSampleCount(), quint64(200));
}

void tst_CLiveGraph::niceStep_data()
{
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("step");

    QTest::newRow("10 / 5") << 10.0 << 5 << 2.0;
    QTest::newRow("0.3 / 3") << 0.3 << 3 << 0.1;
    QTest::newRow("7 / 1") << 7.0 << 1 << 10.0;
    QTest::newRow("0 / 5") << 0.0 << 5 << 1.0;
    QTest::newRow("10 / 0") << 10.0 << 0 << 1.0;
    QTest::newRow("2 / 7") << 2.0 << 7 << 0.5;
    QTest::newRow("5 / 4") << 5.0 << 4 << 2.0;
    QTest::newRow("4 / 1") << 4.0 << 1 << 5.0;
    QTest::newRow("100 / 1") << 100.0 << 1 << 100.0;
}

void tst_CLiveGraph::niceStep()
{
    QFETCH(double, range);
    QFETCH(int, count);
    QFETCH(double, step);
    QCOMPARE(CLiveGraph::niceStep(range, count), step);
}

void tst_CLiveGraph::contrastTextColor_data()
{
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text");

    QTest::newRow("white") << QColor(Qt::white) << QColor(Qt::black);
    QTest::newRow("black") << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("#F44336") << QColor(0xF4, 0x43, 0x36) << QColor(Qt::white);
    QTest::newRow("#4CAF50") << QColor(0x4C, 0xAF, 0x50) << QColor(Qt::white);
    QTest::newRow("grey 149") << QColor(149, 149, 149) << QColor(Qt::white);
    QTest::newRow("grey 151") << QColor(151, 151, 151) << QColor(Qt::black);
}

void tst_CLiveGraph::contrastTextColor()
{
    QFETCH(QColor, background);
    QFETCH(QColor, text);
    QCOMPARE(CLiveGraph::contrastTextColor(background), text);
}

QTEST_MAIN(tst_CLiveGraph)
#include "tst_clivegraph.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The live graph's measuring overlay: which stored sample a moment under the
// mouse reads, where cursors are drawn, that measure mode off paints as
// without it, and that the overlay alone never redraws the curves.
#include "clivegraph.h"
#include "cpolylineraster.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

constexpr double RATE = 833.0;

// Numbered frames: each value is its absolute index.
void appendNumbered(CLiveGraph& graph, quint64 from, quint64 count)
{
    std::vector<float> values(static_cast<std::size_t>(count));
    for (quint64 i = 0; i < count; ++i)
        values[std::size_t(i)] = float(from + i);
    graph.appendSamples(values);
}

// What the window shows: its backing store, which partial repaints update.
QImage onScreen(QWidget& widget)
{
    return widget.screen()
        ->grabWindow(widget.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage renderGraph(CLiveGraph& graph)
{
    QImage image(graph.size(), QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    graph.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

} // namespace

class tst_CLiveGraphMeasure : public QObject
{
    Q_OBJECT

private slots:
    void nearestStoredIndex_data();
    void nearestStoredIndex();
    void hoverTexts_data();
    void hoverTexts();
    void measureOffPaintsAsBefore();
    void cursorsDrawnAtTheirSamples();
    void overlayAloneKeepsThePicture();
    void overlayOnScreen_data();
    void overlayOnScreen();
    void legendEntryAt();
};

void tst_CLiveGraphMeasure::nearestStoredIndex_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<quint64>("firstIndex"); // clearFrom
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("viewStart"); // -1: following the data
    QTest::addColumn<double>("fraction");
    QTest::addColumn<quint64>("expected");

    // 10 s stored, 5 s (4165 samples) shown: the newest half.
    QTest::newRow("left edge") << 0 << quint64(0) << quint64(8330) << 5.0 << qint64(-1) << 0.0
                               << quint64(4165);
    QTest::newRow("right edge") << 0 << quint64(0) << quint64(8330) << 5.0 << qint64(-1) << 1.0
                                << quint64(8329);
    QTest::newRow("middle, tie to the later")
        << 0 << quint64(0) << quint64(8330) << 5.0 << qint64(-1) << 0.5 << quint64(6248);
    QTest::newRow("just left of a tie")
        << 0 << quint64(0) << quint64(8330) << 5.0 << qint64(-1) << 0.4999 << quint64(6247);
    // 300 s shown of a history that has overflowed by 1000 samples: about
    // 400 samples per pixel column, one stored sample read all the same.
    QTest::newRow("decimated, full history") << 0 << quint64(0) << quint64(249900 + 1000) << 300.0
                                             << qint64(-1) << 0.25 << quint64(63475);
    QTest::newRow("decimated, left edge")
        << 0 << quint64(0) << quint64(249900 + 1000) << 300.0 << qint64(-1) << 0.0 << quint64(1000);
    QTest::newRow("scrolled back")
        << 0 << quint64(0) << quint64(8330) << 1.0 << qint64(100) << 0.5 << quint64(517);
    QTest::newRow("scrolled past the end, clamped")
        << 0 << quint64(0) << quint64(8330) << 1.0 << qint64(100000) << 1.0 << quint64(8329);
    // An opened file's stretch keeps its sample numbers.
    QTest::newRow("file stretch") << 0 << quint64(8330) << quint64(4165) << 5.0 << qint64(-1) << 0.1
                                  << quint64(8747);
    QTest::newRow("file stretch scrolled")
        << 0 << quint64(8330) << quint64(4165) << 1.0 << qint64(0) << 0.0 << quint64(8330);
    QTest::newRow("window not yet full")
        << 0 << quint64(0) << quint64(1000) << 5.0 << qint64(-1) << 0.1 << quint64(417);
    QTest::newRow("window not yet full, beyond the data")
        << 0 << quint64(0) << quint64(1000) << 5.0 << qint64(-1) << 0.5 << quint64(999);
    QTest::newRow("single shot filling") << 2 << quint64(0) << quint64(1000) << 5.0 << qint64(-1)
                                         << 0.25 << quint64(1041 > 999 ? 999 : 1041);
    // The sweep: new samples from its left edge, older ones beyond the cut.
    QTest::newRow("overwrite, new part")
        << 1 << quint64(0) << quint64(2000) << 1.0 << qint64(-1) << 0.2 << quint64(1833);
    QTest::newRow("overwrite, old part")
        << 1 << quint64(0) << quint64(2000) << 1.0 << qint64(-1) << 0.8 << quint64(1499);
}

void tst_CLiveGraphMeasure::nearestStoredIndex()
{
    QFETCH(int, mode);
    QFETCH(quint64, firstIndex);
    QFETCH(quint64, frames);
    QFETCH(double, seconds);
    QFETCH(qint64, viewStart);
    QFETCH(double, fraction);
    QFETCH(quint64, expected);

    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.resize(800, 300);
    graph.setMode(static_cast<CLiveGraph::EMode>(mode));
    graph.clearFrom(firstIndex);
    appendNumbered(graph, firstIndex, frames);
    graph.setTimeWindow(seconds);
    if (viewStart >= 0)
        graph.setViewStart(quint64(viewStart));

    quint64 index = 0;
    QVERIFY(graph.nearestStoredIndex(fraction, index));
    QCOMPARE(index, expected);
    QCOMPARE(graph.sampleAt(0, index), float(expected));
    // And back: the sample is drawn where the mouse was, within its spacing.
    const double back = graph.fractionOfIndex(index);
    if (fraction * double(graph.windowSampleCount()) <= double(frames) && index != frames - 1 &&
        index != firstIndex + frames - 1)
        QVERIFY2(std::abs(back - fraction) <= 0.51 / double(graph.windowSampleCount()),
                 qPrintable(QString::number(back)));
}

void tst_CLiveGraphMeasure::hoverTexts_data()
{
    QTest::addColumn<double>("fraction");
    QTest::addColumn<QStringList>("texts");

    // 2 s of numbered samples over a 1 s window: samples 833 ... 1666.
    QTest::newRow("left edge") << 0.0 << QStringList{"1.0000 s", "X 833.0000 g", "Y 1833.0000 g"};
    QTest::newRow("right edge") << 1.0 << QStringList{"1.9988 s", "X 1665.0000 g", "Y 2665.0000 g"};
    QTest::newRow("outside") << qQNaN() << QStringList();
}

void tst_CLiveGraphMeasure::hoverTexts()
{
    QFETCH(double, fraction);
    QFETCH(QStringList, texts);

    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.addSeries(QStringLiteral("Y"), Qt::blue);
    graph.resize(800, 300);
    graph.setValueFormat(4, QStringLiteral("g"));
    std::vector<float> frames;
    for (int i = 0; i < 1666; ++i) {
        frames.push_back(float(i));
        frames.push_back(float(i + 1000));
    }
    graph.appendSamples(frames);
    graph.setTimeWindow(1.0);
    QVERIFY(graph.hoverTexts().isEmpty()); // measure mode off
    graph.setMeasureMode(true);
    graph.setHoverFraction(fraction);
    QCOMPARE(graph.hoverTexts(), texts);
}

void tst_CLiveGraphMeasure::measureOffPaintsAsBefore()
{
    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.resize(640, 320);
    std::vector<float> values;
    for (int i = 0; i < 8330; ++i)
        values.push_back(float(std::sin(i * 0.01)));
    graph.appendSamples(values);
    const QImage before = renderGraph(graph);

    // On without anything to show: the kept picture, pixel for pixel.
    graph.setMeasureMode(true);
    QCOMPARE(renderGraph(graph), before);
    graph.setHoverFraction(0.5);
    graph.setCursors(4165 + 100, 4165 + 2000);
    QVERIFY(renderGraph(graph) != before);

    graph.setMeasureMode(false);
    QCOMPARE(graph.cursorA(), CLiveGraph::NO_CURSOR);
    QVERIFY(std::isnan(graph.hoverFraction()));
    QCOMPARE(renderGraph(graph), before);
}

void tst_CLiveGraphMeasure::cursorsDrawnAtTheirSamples()
{
    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.resize(640, 320);
    appendNumbered(graph, 0, 8330);
    graph.setSeriesVisible(0, false); // nothing but the cursors in the plot
    graph.setMeasureMode(true);
    const quint64 a = 4165 + 1000;
    const quint64 b = 4165 + 3000;
    graph.setCursors(a, b);
    const QImage image = renderGraph(graph);
    const QRect inner = graph.plotRect().adjusted(1, 1, -1, -1);
    const int span = inner.right() - inner.left();
    const int y = inner.bottom() - 5;
    const int xa = inner.left() + int(std::lround(graph.fractionOfIndex(a) * span));
    const int xb = inner.left() + int(std::lround(graph.fractionOfIndex(b) * span));
    QCOMPARE(QColor(image.pixel(xa, y)), QColor(0xE6, 0x51, 0x00));
    QCOMPARE(QColor(image.pixel(xb, y)), QColor(0x8E, 0x24, 0xAA));
    QCOMPARE(QColor(image.pixel(xa + 2, y)), QColor(Qt::white));

    // A cursor that scrolled out of the view is not drawn.
    graph.setViewStart(0);
    graph.setTimeWindow(1.0);
    QVERIFY(std::isnan(graph.fractionOfIndex(a)));
    const QImage scrolled = renderGraph(graph);
    for (int x = inner.left(); x <= inner.right(); ++x)
        QVERIFY(QColor(scrolled.pixel(x, y)) != QColor(0xE6, 0x51, 0x00));
}

void tst_CLiveGraphMeasure::overlayAloneKeepsThePicture()
{
    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.resize(640, 320);
    appendNumbered(graph, 0, 8330);
    graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&graph));
    graph.setMeasureMode(true);
    graph.repaint();
    // The first change of the overlay alone keeps a picture of the data; the
    // later ones copy it.
    graph.setHoverFraction(0.0);
    graph.repaint();
    const quint64 paints = graph.dataPaints();
    const quint64 curves = CPolylineRaster::drawnCount();
    for (int i = 1; i <= 20; ++i) {
        graph.setHoverFraction(i / 20.0);
        graph.setCursors(4165 + quint64(i) * 100, CLiveGraph::NO_CURSOR);
        graph.repaint();
    }
    QCOMPARE(graph.dataPaints(), paints);
    QCOMPARE(CPolylineRaster::drawnCount(), curves);

    // New data, a new view or a legend change paint from the data again.
    appendNumbered(graph, 8330, 10);
    graph.repaint();
    QCOMPARE(graph.dataPaints(), paints + 1);
    graph.setSeriesVisible(0, false);
    graph.repaint();
    QCOMPARE(graph.dataPaints(), paints + 2);
    graph.setYRange(-2.0, 2.0);
    graph.repaint();
    QCOMPARE(graph.dataPaints(), paints + 3);
    graph.resize(600, 300);
    graph.repaint();
    QCOMPARE(graph.dataPaints(), paints + 4);
}

void tst_CLiveGraphMeasure::overlayOnScreen_data()
{
    QTest::addColumn<bool>("streaming");
    QTest::addColumn<bool>("cursors");
    QTest::newRow("hover") << false << false;
    QTest::newRow("hover, cursors") << false << true;
    // Changes then wait for the next repaint of the data, or for the samples to stop.
    QTest::newRow("hover while samples arrive") << true << false;
    QTest::newRow("hover, cursors while samples arrive") << true << true;
}

// Moves repaint only the overlay's pixels: what the window shows must still
// be the picture a whole paint gives, and nothing of the overlay may remain.
void tst_CLiveGraphMeasure::overlayOnScreen()
{
    QFETCH(bool, streaming);
    QFETCH(bool, cursors);
    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.resize(640, 320);
    appendNumbered(graph, 0, 8330);
    graph.setYRange(0.0, 8330.0);
    graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&graph));
    graph.setMeasureMode(true);
    graph.repaint();
    const QImage plain = renderGraph(graph);
    QTRY_COMPARE(onScreen(graph), plain);

    if (streaming) {
        appendNumbered(graph, 8330, 1);
        graph.repaint();
    }
    const QImage data = renderGraph(graph);
    for (double fraction : {0.25, 0.5, 0.75}) {
        graph.setHoverFraction(fraction);
        if (cursors)
            graph.setCursors(4165 + quint64(fraction * 1000), 8000);
        const QImage shown = renderGraph(graph);
        QVERIFY(shown != data);
        QTRY_COMPARE(onScreen(graph), shown);
    }
    graph.setHoverFraction(std::numeric_limits<double>::quiet_NaN());
    graph.setCursors(CLiveGraph::NO_CURSOR, CLiveGraph::NO_CURSOR);
    QCOMPARE(renderGraph(graph), data);
    QTRY_COMPARE(onScreen(graph), data);
}

void tst_CLiveGraphMeasure::legendEntryAt()
{
    CLiveGraph graph;
    graph.addSeries(QStringLiteral("X"), Qt::red);
    graph.addSeries(QStringLiteral("Y"), Qt::blue);
    graph.resize(640, 320);
    renderGraph(graph);
    const QRect plot = graph.plotRect();
    QCOMPARE(graph.legendEntryAt(plot.center()), -1);
    // The entries sit right-aligned above the plot, X left of Y.
    const QPoint lastEntry(plot.right() - 3, plot.top() - graph.fontMetrics().height() / 2 - 6);
    QCOMPARE(graph.legendEntryAt(lastEntry), 1);
}

QTEST_MAIN(tst_CLiveGraphMeasure)
#include "tst_clivegraph_measure.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The live graph's painting, read back from images rendered offscreen, its
// legend clicks, and its min/max decimation against a brute-force scan.
#include "clivegraph.h"
#include "polylinerecorder.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QtTest>

#include <cmath>
#include <random>

namespace {

const QRgb SENTINEL = qRgb(1, 2, 3);
const QColor SERIES_COLOR(0x21, 0x96, 0xF3);

// Where the plot area lies, as the widget reports it.
struct SLayout
{
    QRect plot;
    QRect inner;
    int fh = 0;
};

SLayout layoutOf(const CLiveGraph& graph)
{
    SLayout layout;
    layout.fh = QFontMetrics(graph.font()).height();
    layout.plot = graph.plotRect();
    layout.inner = layout.plot.adjusted(1, 1, -1, -1);
    return layout;
}

// The margin rules, from the widget's font and a Y range of -1 to 1: what
// plotRect() must report, checked once in plotArea.
QRect marginRuleRect(const CLiveGraph& graph, bool topBand)
{
    const QFontMetrics fm(graph.font());
    const int fh = fm.height();
    const int target = graph.height() > 79 ? graph.height() / 40 : 1;
    const double step = CLiveGraph::niceStep(2.0, target);
    const int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step)));
    const int labelWidth = std::max({fm.horizontalAdvance(QStringLiteral("-0000")),
                                     fm.horizontalAdvance(QString::number(-1.0, 'f', decimals)),
                                     fm.horizontalAdvance(QString::number(1.0, 'f', decimals))});
    const int left = labelWidth + 14;
    const int top = topBand ? fh + 16 : fh / 2 + 8;
    const int bottom = 2 * fh + 18; // with the default X axis label
    const int right = fm.horizontalAdvance(QStringLiteral("0000")) / 2 + 8;
    return QRect(QPoint(left, top), QPoint(graph.width() - right - 1, graph.height() - bottom - 1));
}

// Resizes the graph so that the inner plot spans a multiple of xDivisor
// pixels across and a multiple of yDivisor down, so the tested grid lines,
// samples and the cursor fall on whole pixels.
SLayout fitGraph(CLiveGraph& graph, QSize size, int xDivisor, int yDivisor)
{
    for (int dh = 0; dh < yDivisor; ++dh) {
        for (int dw = 0; dw < xDivisor; ++dw) {
            graph.resize(size.width() + dw, size.height() + dh);
            const SLayout layout = layoutOf(graph);
            const QRect& i = layout.inner;
            if ((i.right() - i.left()) % xDivisor == 0 && (i.bottom() - i.top()) % yDivisor == 0)
                return layout;
        }
    }
    qFatal("no fitting size");
}

QImage renderGraph(CLiveGraph& graph)
{
    QImage image(graph.size(), QImage::Format_RGB32);
    image.fill(SENTINEL);
    // No background flag: the widget must cover every pixel itself.
    graph.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

QRgb rgbAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

int countColor(const QImage& image, const QRect& area, const QColor& color)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += rgbAt(image, x, y) == color.rgb();
    }
    return count;
}

int rowOf(const QRect& inner, double value, double yMin = -1.0, double yMax = 1.0)
{
    return int(std::lround(inner.bottom() -
                           (value - yMin) / (yMax - yMin) * (inner.bottom() - inner.top())));
}

int columnOf(const QRect& inner, double fraction)
{
    return int(std::lround(inner.left() + fraction * (inner.right() - inner.left())));
}

void fillSeries(CLiveGraph& graph, int frameCount, float value)
{
    graph.appendSamples(std::vector<float>(std::size_t(frameCount) * 3, value));
}

int legendBoxWidth(const CLiveGraph& graph, const QStringList& names)
{
    const QFontMetrics fm(graph.font());
    int width = 0;
    for (const QString& name : names)
        width = std::max(width, fm.horizontalAdvance(name) + 12);
    return width;
}

void addThreeSeries(CLiveGraph& graph)
{
    graph.addSeries(QStringLiteral("X"), QColor(0xF4, 0x43, 0x36));
    graph.addSeries(QStringLiteral("Y"), QColor(0x4C, 0xAF, 0x50));
    graph.addSeries(QStringLiteral("Z"), SERIES_COLOR);
}

// The polyline of samples [from, to), found by visiting every sample.
QPolygonF bruteForcePolyline(const std::vector<float>& stored, quint64 dropped, quint64 window,
                             const QRect& inner, quint64 from, quint64 to, quint64 origin)
{
    const auto y = [&](double v) {
        return inner.bottom() - (v - -2.0) / (2.0 - -2.0) * (inner.bottom() - inner.top());
    };
    QPolygonF points;
    const double spp = double(window) / inner.width();
    if (spp > 2.0) {
        for (int c = 0; c < inner.width(); ++c) {
            const quint64 a = std::max(origin + quint64(c * spp), from);
            const quint64 b = std::min(origin + quint64((c + 1) * spp), to);
            if (a >= b)
                continue;
            float lo = stored[a - dropped];
            float hi = lo;
            for (quint64 i = a; i < b; ++i) {
                lo = std::min(lo, stored[i - dropped]);
                hi = std::max(hi, stored[i - dropped]);
            }
            points << QPointF(inner.left() + c + 0.5, y(lo));
            if (hi != lo)
                points << QPointF(inner.left() + c + 0.5, y(hi));
        }
    } else {
        for (quint64 i = from; i < to; ++i) {
            points << QPointF(inner.left() +
                                  double(i - origin) / window * (inner.right() - inner.left()),
                              y(stored[i - dropped]));
        }
    }
    return points;
}

} // namespace

class tst_CLiveGraphRender : public QObject
{
    Q_OBJECT

private slots:
    void plotArea_data();
    void plotArea();
    void grid_data();
    void grid();
    void constantSeries_data();
    void constantSeries();
    void sampleCount_data();
    void sampleCount();
    void sweep_data();
    void sweep();
    void tinyPlotArea_data();
    void tinyPlotArea();
    void legendLayout();
    void hiddenLegendEntry();
    void legendClick_data();
    void legendClick();
    void decimation_data();
    void decimation();
    void hugeAxisValues_data();
    void hugeAxisValues();
};

void tst_CLiveGraphRender::plotArea_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("withSeries");

    QTest::newRow("600x300, series") << QSize(600, 300) << true;
    QTest::newRow("300x150, series") << QSize(300, 150) << true;
    QTest::newRow("600x300, no series (top margin fh / 2 + 8)") << QSize(600, 300) << false;
}

void tst_CLiveGraphRender::plotArea()
{
    QFETCH(QSize, size);
    QFETCH(bool, withSeries);

    CLiveGraph graph;
    graph.resize(size);
    graph.setGridVisible(false);
    if (withSeries)
        graph.addSeries(QStringLiteral("X"), SERIES_COLOR);
    const QImage image = renderGraph(graph);
    QCOMPARE(graph.plotRect(), marginRuleRect(graph, withSeries));
    const SLayout layout = layoutOf(graph);
    const QRect& p = layout.plot;
    const QRect& i = layout.inner;
    const QRgb text = graph.palette().color(QPalette::WindowText).rgb();
    const QRgb background = graph.palette().color(QPalette::Window).rgb();

    QCOMPARE(countColor(image, image.rect(), QColor::fromRgb(SENTINEL)), 0);
    // Outline on P's border pixels, white inside, background outside.
    for (const QPoint& pt : {p.topLeft(), p.topRight(), p.bottomLeft(), p.bottomRight(),
                             QPoint(p.center().x(), p.top()), QPoint(p.left(), p.center().y())})
        QCOMPARE(rgbAt(image, pt.x(), pt.y()), text);
    QCOMPARE(countColor(image, i, Qt::white), i.width() * i.height());
    QCOMPARE(rgbAt(image, p.right() + 1, p.center().y()), background);
    QCOMPARE(rgbAt(image, p.center().x(), p.top() - 1), background);
    QCOMPARE(rgbAt(image, 0, 0), background);
}

void tst_CLiveGraphRender::grid_data()
{
    QTest::addColumn<bool>("gridVisible");
    QTest::newRow("grid on") << true;
    QTest::newRow("grid off") << false;
}

void tst_CLiveGraphRender::grid()
{
    QFETCH(bool, gridVisible);

    CLiveGraph graph;
    // Height 280..319: Y step 0.5 over -1...1; X step 2 s over the 5 s window.
    const SLayout layout = fitGraph(graph, QSize(350, 290), 5, 4);
    QCOMPARE(CLiveGraph::niceStep(2.0, graph.height() / 40), 0.5);
    QCOMPARE(CLiveGraph::niceStep(5.0, layout.plot.width() / 80), 2.0);
    graph.setGridVisible(gridVisible);
    const QImage image = renderGraph(graph);
    const QRect& p = layout.plot;
    const QRect& i = layout.inner;
    const QRgb text = graph.palette().color(QPalette::WindowText).rgb();
    const QRgb white = QColor(Qt::white).rgb();
    const QRgb light = gridVisible ? QColor(0xDD, 0xDD, 0xDD).rgb() : white;
    const QRgb zero = gridVisible ? QColor(0x88, 0x88, 0x88).rgb() : white;

    const int betweenColumns = columnOf(i, 0.1); // 0.5 s: no vertical line
    QCOMPARE(rgbAt(image, betweenColumns, rowOf(i, 0.0)), zero);
    for (double v : {-0.5, 0.5})
        QCOMPARE(rgbAt(image, betweenColumns, rowOf(i, v)), light);
    QCOMPARE(rgbAt(image, betweenColumns, rowOf(i, 0.25)), white);
    QCOMPARE(rgbAt(image, betweenColumns, rowOf(i, 1.0)), light); // I's top row
    for (double t : {0.4, 0.8})                                   // 2 s and 4 s
        QCOMPARE(rgbAt(image, columnOf(i, t), rowOf(i, 0.25)), light);
    QCOMPARE(rgbAt(image, columnOf(i, 0.6), rowOf(i, 0.25)), white);
    // Ticks stay without the grid.
    for (double v : {-1.0, -0.5, 0.0, 0.5, 1.0})
        QCOMPARE(rgbAt(image, p.left() - 2, rowOf(i, v)), text);
    QCOMPARE(rgbAt(image, columnOf(i, 0.4), p.bottom() + 2), text);
    QCOMPARE(countColor(image, p, QColor(0xDD, 0xDD, 0xDD)) > 0, gridVisible);
}

void tst_CLiveGraphRender::constantSeries_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("frameCount");
    QTest::addColumn<float>("value");

    QTest::newRow("833 Hz (decimated), 0.5") << 833.0 << 5000 << 0.5f;
    QTest::newRow("833 Hz (decimated), -0.75") << 833.0 << 5000 << -0.75f;
    QTest::newRow("20 Hz (every sample), 0.25") << 20.0 << 100 << 0.25f;
    QTest::newRow("20 Hz, half a window, -0.25") << 20.0 << 50 << -0.25f;
}

void tst_CLiveGraphRender::constantSeries()
{
    QFETCH(double, rate);
    QFETCH(int, frameCount);
    QFETCH(float, value);

    CLiveGraph graph;
    addThreeSeries(graph); // before the layout: the legend band moves the plot's top
    const SLayout layout = fitGraph(graph, QSize(500, 300), 1, 8);
    graph.setSeriesVisible(0, false);
    graph.setSeriesVisible(1, false);
    graph.setSampleRate(rate);
    fillSeries(graph, frameCount, value);
    const QImage image = renderGraph(graph);
    const QRect& i = layout.inner;
    const int row = rowOf(i, value);

    const QRect curveRow(i.left(), row, i.width(), 1);
    const double drawnFraction = std::min(1.0, (frameCount - 1) / (5.0 * rate));
    const int expected = int(drawnFraction * (i.right() - i.left())) - 1;
    QVERIFY2(countColor(image, curveRow, SERIES_COLOR) >= expected,
             qPrintable(QString::number(countColor(image, curveRow, SERIES_COLOR))));
    QCOMPARE(countColor(image, i.adjusted(0, 0, 0, row - i.bottom() - 1), SERIES_COLOR), 0);
    QCOMPARE(countColor(image, i.adjusted(0, row - i.top() + 1, 0, 0), SERIES_COLOR), 0);
}

void tst_CLiveGraphRender::sampleCount_data()
{
    QTest::addColumn<int>("frameCount");
    QTest::addColumn<bool>("drawn");

    QTest::newRow("0 samples") << 0 << false;
    QTest::newRow("1 sample") << 1 << false;
    QTest::newRow("2 samples") << 2 << true;
    QTest::newRow("3 samples") << 3 << true;
}

void tst_CLiveGraphRender::sampleCount()
{
    QFETCH(int, frameCount);
    QFETCH(bool, drawn);

    for (double rate : {20.0, 833.0}) { // one and many samples per pixel
        CLiveGraph graph;
        graph.resize(500, 300);
        graph.addSeries(QStringLiteral("Z"), SERIES_COLOR);
        graph.setSampleRate(rate);
        std::vector<float> values;
        for (int k = 0; k < frameCount; ++k)
            values.push_back(k % 2 ? -0.5f : 0.5f);
        graph.appendSamples(values);
        const QImage image = renderGraph(graph);
        const QRect inner = layoutOf(graph).inner;
        QCOMPARE(countColor(image, inner, SERIES_COLOR) > 0, drawn);
        if (drawn && rate == 20.0) // the first step is a slanted line: more than one row
            QVERIFY(countColor(image, inner, SERIES_COLOR) > 1);
    }
}

void tst_CLiveGraphRender::sweep_data()
{
    // 20 Hz and 5 s: W = 100. 250 samples: 150..199 at -0.5, 200..249 at 0.5.
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("manualView");
    QTest::addColumn<double>("leftValue");
    QTest::addColumn<double>("rightValue");
    QTest::addColumn<bool>("cursor");

    QTest::newRow("Overwrite") << int(CLiveGraph::Overwrite) << false << 0.5 << -0.5 << true;
    QTest::newRow("Continue") << int(CLiveGraph::Continue) << false << -0.5 << 0.5 << false;
    QTest::newRow("Overwrite, manual view at 150")
        << int(CLiveGraph::Overwrite) << true << -0.5 << 0.5 << false;
}

void tst_CLiveGraphRender::sweep()
{
    QFETCH(int, mode);
    QFETCH(bool, manualView);
    QFETCH(double, leftValue);
    QFETCH(double, rightValue);
    QFETCH(bool, cursor);

    CLiveGraph graph;
    graph.addSeries(QStringLiteral("Z"),
                    SERIES_COLOR); // before the layout, as the legend needs room
    const SLayout layout = fitGraph(graph, QSize(400, 300), 100, 8);
    graph.setSampleRate(20.0);
    graph.setMode(CLiveGraph::EMode(mode));
    std::vector<float> values(250, 0.0f);
    for (int k = 150; k < 250; ++k)
        values[k] = k < 200 ? -0.5f : 0.5f;
    graph.appendSamples(values);
    if (manualView)
        graph.setViewStart(150);
    const QImage image = renderGraph(graph);
    const QRect& i = layout.inner;
    const QRgb color = SERIES_COLOR.rgb();
    const QRgb text = graph.palette().color(QPalette::WindowText).rgb();

    for (double fraction : {0.1, 0.25, 0.4}) {
        QCOMPARE(rgbAt(image, columnOf(i, fraction), rowOf(i, leftValue)), color);
        QVERIFY(rgbAt(image, columnOf(i, fraction), rowOf(i, rightValue)) != color);
    }
    for (double fraction : {0.6, 0.75, 0.9}) {
        QCOMPARE(rgbAt(image, columnOf(i, fraction), rowOf(i, rightValue)), color);
        QVERIFY(rgbAt(image, columnOf(i, fraction), rowOf(i, leftValue)) != color);
    }
    const int middle = columnOf(i, 0.5);
    const int quietRow = rowOf(i, 0.75);
    QCOMPARE(rgbAt(image, middle, quietRow) == text, cursor);
    QCOMPARE(rgbAt(image, middle, i.top()) == text, cursor);
    QCOMPARE(rgbAt(image, middle, i.bottom()) == text, cursor);
    QCOMPARE(rgbAt(image, middle - 2, quietRow), QColor(Qt::white).rgb());
    QCOMPARE(rgbAt(image, middle + 2, quietRow), QColor(Qt::white).rgb());
}

void tst_CLiveGraphRender::tinyPlotArea_data()
{
    QTest::addColumn<int>("plotWidth");
    QTest::addColumn<int>("plotHeight");
    QTest::addColumn<bool>("drawn");

    QTest::newRow("9 x 60") << 9 << 60 << false;
    QTest::newRow("10 x 60") << 10 << 60 << true;
    QTest::newRow("60 x 9") << 60 << 9 << false;
    QTest::newRow("60 x 10") << 60 << 10 << true;
    QTest::newRow("0 x 0") << 0 << 0 << false;
}

void tst_CLiveGraphRender::tinyPlotArea()
{
    QFETCH(int, plotWidth);
    QFETCH(int, plotHeight);
    QFETCH(bool, drawn);

    CLiveGraph graph;
    addThreeSeries(graph);
    graph.resize(600, 300);
    renderGraph(graph); // leaves legend entries behind that the small paint must forget
    const SLayout large = layoutOf(graph);
    const QPoint formerEntry(large.plot.right() - 2, 8 + (large.fh + 4) / 2);

    // The margins depend on neither the width nor the height ("-0000" stays
    // the widest Y label at every height).
    const SLayout full = layoutOf(graph);
    graph.resize(graph.width() - full.plot.width() + plotWidth,
                 graph.height() - full.plot.height() + plotHeight);
    const SLayout layout = layoutOf(graph);
    QCOMPARE(layout.plot.width(), plotWidth);
    QCOMPARE(layout.plot.height(), plotHeight);

    const QImage image = renderGraph(graph);
    const QColor background = graph.palette().color(QPalette::Window);
    const int pixels = image.width() * image.height();
    QCOMPARE(countColor(image, image.rect(), background) == pixels, !drawn);

    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, formerEntry);
    QVERIFY(graph.isSeriesVisible(2));
    // The last entry would stand at the right end of the plot's top band.
    const QPoint lastEntry(layout.plot.right() - 2, 8 + (layout.fh + 4) / 2);
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, lastEntry);
    QCOMPARE(graph.isSeriesVisible(2), !drawn);
}

void tst_CLiveGraphRender::legendLayout()
{
    CLiveGraph graph;
    graph.resize(600, 300);
    const QList<QColor> colors = {Qt::white, QColor(0x00, 0x00, 0x80), QColor(0xFF, 0xEB, 0x3B)};
    const QStringList names = {QStringLiteral("Light"), QStringLiteral("D"),
                               QStringLiteral("Yellowish")};
    for (int s = 0; s < 3; ++s)
        QCOMPARE(graph.addSeries(names[s], colors[s]), s);
    const QImage image = renderGraph(graph);
    const SLayout layout = layoutOf(graph);
    const int boxWidth = legendBoxWidth(graph, names);
    const int top = 8;
    const int bottom = layout.fh + 11;
    const int middle = (top + bottom) / 2;
    const QRgb background = graph.palette().color(QPalette::Window).rgb();

    int x = layout.plot.right() + 1 - 3 * boxWidth - 2 * 6;
    for (int s = 0; s < 3; ++s, x += boxWidth + 6) {
        const QRgb color = colors[s].rgb();
        QCOMPARE(rgbAt(image, x, middle), color);
        QCOMPARE(rgbAt(image, x + boxWidth - 1, middle), color);
        QCOMPARE(rgbAt(image, x + boxWidth / 2, top + 1), color);
        QCOMPARE(rgbAt(image, x - 1, middle), background);
        QCOMPARE(rgbAt(image, x + boxWidth, middle), background);
        // Text: black on the light colours, white on the dark one.
        int dark = 0;
        int bright = 0;
        for (int y = top; y <= bottom; ++y) {
            for (int px = x; px < x + boxWidth; ++px) {
                const QColor c = image.pixelColor(px, y);
                dark += c.red() < 60 && c.green() < 60 && c.blue() < 60;
                bright += c.red() > 200 && c.green() > 200 && c.blue() > 200;
            }
        }
        const bool lightColor = s != 1;
        QVERIFY2((lightColor ? dark : bright) > 0, qPrintable(names[s]));
        if (!lightColor)
            QCOMPARE(dark, 0);
    }
    QCOMPARE(x - 6, layout.plot.right() + 1);
}

void tst_CLiveGraphRender::hiddenLegendEntry()
{
    CLiveGraph graph;
    graph.resize(600, 300);
    addThreeSeries(graph);
    graph.setSeriesVisible(2, false);
    const QImage image = renderGraph(graph);
    const SLayout layout = layoutOf(graph);
    const int boxWidth =
        legendBoxWidth(graph, {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")});
    const int x = layout.plot.right() + 1 - boxWidth;
    const int middle = (8 + layout.fh + 11) / 2;
    const QRgb background = graph.palette().color(QPalette::Window).rgb();

    // A 2-pixel stroke centred on the box shrunk by 1: the box's outer two
    // pixel columns on either side.
    for (int px : {x, x + 1, x + boxWidth - 2, x + boxWidth - 1})
        QCOMPARE(rgbAt(image, px, middle), SERIES_COLOR.rgb());
    for (int px : {x - 1, x + 2, x + boxWidth - 3, x + boxWidth})
        QCOMPARE(rgbAt(image, px, middle), background);
    QCOMPARE(rgbAt(image, x + 3, middle), background);
    QCOMPARE(rgbAt(image, x + boxWidth - 4, middle), background);
    // No curve either: only the legend's outline carries the colour.
    QCOMPARE(countColor(image, layout.inner, SERIES_COLOR), 0);
}

void tst_CLiveGraphRender::legendClick_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("series");
    QTest::addColumn<bool>("toggles");

    QTest::newRow("left on X") << int(Qt::LeftButton) << 0 << true;
    QTest::newRow("left on Z") << int(Qt::LeftButton) << 2 << true;
    QTest::newRow("right on Z") << int(Qt::RightButton) << 2 << false;
    QTest::newRow("middle on Y") << int(Qt::MiddleButton) << 1 << false;
}

void tst_CLiveGraphRender::legendClick()
{
    QFETCH(int, button);
    QFETCH(int, series);
    QFETCH(bool, toggles);

    CLiveGraph graph;
    graph.resize(600, 300);
    addThreeSeries(graph);
    graph.setSampleRate(20.0);
    std::vector<float> values;
    for (int k = 0; k < 100; ++k)
        values.insert(values.end(), {0.6f, 0.0f, -0.6f});
    graph.appendSamples(values);
    const QList<QColor> colors = {QColor(0xF4, 0x43, 0x36), QColor(0x4C, 0xAF, 0x50), SERIES_COLOR};
    const QColor color = colors[series];
    const SLayout layout = layoutOf(graph);
    const int boxWidth =
        legendBoxWidth(graph, {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")});
    const int boxLeft = layout.plot.right() + 1 - (3 - series) * boxWidth - (2 - series) * 6;
    // Both corners of the box count; the gap beside it does not.
    const QPoint corner(boxLeft, 8);
    const QPoint gap(boxLeft - 3, 8 + layout.fh / 2);

    QVERIFY(countColor(renderGraph(graph), layout.inner, color) > 0);
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, gap);
    for (int s = 0; s < 3; ++s)
        QVERIFY(graph.isSeriesVisible(s));

    QTest::mouseClick(&graph, Qt::MouseButton(button), Qt::NoModifier, corner);
    QCOMPARE(graph.isSeriesVisible(series), !toggles);
    QCOMPARE(countColor(renderGraph(graph), layout.inner, color) > 0, !toggles);
    for (int s = 0; s < 3; ++s) {
        if (s != series)
            QVERIFY(graph.isSeriesVisible(s));
    }

    const QPoint oppositeCorner(boxLeft + boxWidth - 1, 8 + layout.fh + 3);
    QTest::mouseClick(&graph, Qt::MouseButton(button), Qt::NoModifier, oppositeCorner);
    QVERIFY(graph.isSeriesVisible(series));
    QVERIFY(countColor(renderGraph(graph), layout.inner, color) > 0);
}

void tst_CLiveGraphRender::decimation_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("window");
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("viewStart"); // -1: none
    QTest::addColumn<int>("frameCount");
    // 0: noise, 1: steps with ties, 2: noise with NaNs, 3: noise with NaN
    // stretches longer than the queue's summary groups
    QTest::addColumn<int>("distribution");

    const int overfull = 249900 + 12345;
    QTest::newRow("300 s, noise, drops")
        << QSize(1200, 350) << 300.0 << 0 << qint64(-1) << overfull << 0;
    QTest::newRow("300 s, steps, drops")
        << QSize(1200, 350) << 300.0 << 0 << qint64(-1) << overfull << 1;
    QTest::newRow("300 s, half full") << QSize(777, 300) << 300.0 << 0 << qint64(-1) << 120000 << 0;
    QTest::newRow("5 s, noise") << QSize(600, 300) << 5.0 << 0 << qint64(-1) << 20000 << 0;
    QTest::newRow("37 s, Overwrite sweep")
        << QSize(900, 300) << 37.0 << 1 << qint64(-1) << overfull << 0;
    QTest::newRow("61 s, manual view")
        << QSize(1000, 300) << 61.0 << 2 << qint64(77777) << overfull << 1;
    QTest::newRow("0.9 s, about 2 per pixel")
        << QSize(400, 300) << 0.9 << 0 << qint64(-1) << 5000 << 0;
    QTest::newRow("300 s, NaNs, drops")
        << QSize(1200, 350) << 300.0 << 0 << qint64(-1) << overfull << 2;
    QTest::newRow("5 s, NaNs") << QSize(600, 300) << 5.0 << 0 << qint64(-1) << 20000 << 2;
    QTest::newRow("300 s, long NaN stretches")
        << QSize(500, 300) << 300.0 << 0 << qint64(-1) << overfull << 3;
    QTest::newRow("0.3 s, every sample") << QSize(400, 300) << 0.3 << 0 << qint64(-1) << 5000 << 0;
}

void tst_CLiveGraphRender::decimation()
{
    QFETCH(QSize, size);
    QFETCH(double, window);
    QFETCH(int, mode);
    QFETCH(qint64, viewStart);
    QFETCH(int, frameCount);
    QFETCH(int, distribution);

    CLiveGraph graph;
    graph.resize(size);
    addThreeSeries(graph);
    graph.setYRange(-2.0, 2.0);
    graph.setTimeWindow(window);
    graph.setMode(CLiveGraph::EMode(mode));

    std::mt19937 random(frameCount + distribution);
    std::uniform_real_distribution<float> noise(-1.5f, 1.5f);
    std::uniform_int_distribution<int> step(-6, 6);
    std::vector<std::vector<float>> all(3);
    std::vector<float> batch;
    for (int k = 0; k < frameCount; ++k) {
        for (int s = 0; s < 3; ++s) {
            // Frames that will be dropped hold far larger values: a stale
            // extreme would show.
            float v = distribution == 1 ? step(random) * 0.25f : noise(random);
            if (k < frameCount - 249900)
                v *= 100.0f;
            // NaNs, single and in whole runs, must be passed over (or kept
            // when a column starts with one) exactly as the full scan does.
            if (distribution == 2 && (random() % 100 == 0 || (k / 40) % 97 == 5))
                v = std::numeric_limits<float>::quiet_NaN();
            if (distribution == 3 && (k / 300) % 7 == 3)
                v = std::numeric_limits<float>::quiet_NaN();
            all[s].push_back(v);
            batch.push_back(v);
        }
        if (batch.size() == 3 * 42 || k == frameCount - 1) {
            graph.appendSamples(batch);
            batch.clear();
        }
    }
    if (viewStart >= 0)
        graph.setViewStart(quint64(viewStart));

    CPolylineDevice device(graph.size());
    graph.render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
    const QList<QPolygonF>& recorded = device.engine.polylines;

    const quint64 total = quint64(frameCount);
    const quint64 stored = graph.storedSampleCount();
    const quint64 dropped = total - stored;
    const quint64 w = graph.windowSampleCount();
    const quint64 first = graph.firstVisibleIndex();
    const QRect inner = layoutOf(graph).inner;
    QList<QPolygonF> expected;
    for (int s = 0; s < 3; ++s) {
        const std::vector<float> kept(all[s].begin() + std::ptrdiff_t(dropped), all[s].end());
        if (mode == CLiveGraph::Overwrite && viewStart < 0) {
            const quint64 sweepStart = total - total % w;
            expected << bruteForcePolyline(kept, dropped, w, inner, first, sweepStart,
                                           sweepStart - w);
            if (total - sweepStart > 1)
                expected << bruteForcePolyline(kept, dropped, w, inner, sweepStart, total,
                                               sweepStart);
        } else {
            expected << bruteForcePolyline(kept, dropped, w, inner, first,
                                           std::min(first + w, total), first);
        }
    }

    QCOMPARE(recorded.size(), expected.size());
    for (qsizetype n = 0; n < expected.size(); ++n) {
        QCOMPARE(recorded[n].size(), expected[n].size());
        for (qsizetype k = 0; k < expected[n].size(); ++k) {
            // Exact: the same pixels, not nearly the same.
            const auto same = [](double a, double b) {
                return a == b || (std::isnan(a) && std::isnan(b));
            };
            if (!same(recorded[n][k].x(), expected[n][k].x()) ||
                !same(recorded[n][k].y(), expected[n][k].y())) {
                QFAIL(qPrintable(QStringLiteral("polyline %1, point %2: (%3, %4) != (%5, %6)")
                                     .arg(n)
                                     .arg(k)
                                     .arg(recorded[n][k].x(), 0, 'g', 17)
                                     .arg(recorded[n][k].y(), 0, 'g', 17)
                                     .arg(expected[n][k].x(), 0, 'g', 17)
                                     .arg(expected[n][k].y(), 0, 'g', 17)));
            }
        }
    }
    QVERIFY(!expected.isEmpty());
}

void tst_CLiveGraphRender::hugeAxisValues_data()
{
    // Axis values so large that adding one tick step no longer changes them.
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("rate");

    QTest::newRow("Y 1e16 ... 1e16 + 4") << 1e16 << 833.0;
    QTest::newRow("time origin 2e16 s") << -1.0 << 1e-16;
}

void tst_CLiveGraphRender::hugeAxisValues()
{
    QFETCH(double, yMin);
    QFETCH(double, rate);

    CLiveGraph graph;
    graph.resize(400, 300);
    graph.addSeries(QStringLiteral("Z"), SERIES_COLOR);
    graph.setSampleRate(rate);
    graph.setYRange(yMin, yMin + 4.0);
    graph.appendSamples({1.0f, 2.0f, 3.0f});
    const QImage image = renderGraph(graph); // returns at all
    const SLayout layout = layoutOf(graph);
    const QRgb text = graph.palette().color(QPalette::WindowText).rgb();
    QCOMPARE(rgbAt(image, layout.plot.left(), layout.plot.top()), text);
    QCOMPARE(rgbAt(image, layout.plot.right(), layout.plot.bottom()), text);
}

QTEST_MAIN(tst_CLiveGraphRender)
#include "tst_clivegraph_render.moc"

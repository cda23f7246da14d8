// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The polyline fast path against QPainter, pixel for pixel: generated graph
// curves drawn straight into images, whole graphs through render(), grab()
// and the offscreen backing store, and the self-check that guards it.
#include "clivegraph.h"
#include "cpolylineraster.h"

#include <QBackingStore>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

namespace {

// Sanitizer builds run fewer cases: a tenth under AddressSanitizer, a
// fortieth under ThreadSanitizer, which slows the drawing most and has no
// second thread to watch here; beside other builds on two cores the whole
// suite must still end within the test time-out. SKARVEL_IDENTITY_CASES
// sets the count of the direct cases outright.
#if defined(__SANITIZE_THREAD__)
constexpr int DEFAULT_CASES = 300;
#elif defined(__SANITIZE_ADDRESS__)
constexpr int DEFAULT_CASES = 1200;
#else
constexpr int DEFAULT_CASES = 12000;
#endif

int directCaseCount()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("SKARVEL_IDENTITY_CASES", &ok);
    return ok && n > 0 ? n : DEFAULT_CASES;
}

enum EData : int
{
    Vibration,
    RandomWalk,
    Constant,
    FullRange,
    BeyondRange,
    Spikes,
    NanAndInfinity,
    DataKinds
};

const char* const DATA_NAMES[DataKinds] = {"vibration",       "random walk",  "constant",
                                           "full range",      "beyond range", "spikes",
                                           "NaN and infinity"};

struct SSignal
{
    EData kind;
    std::mt19937 random;
    double walk = 0.0;
    quint64 k = 0;

    float next(double yMin, double yMax)
    {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double mid = (yMin + yMax) / 2.0;
        const double span = yMax - yMin;
        const double t = double(k++);
        switch (kind) {
        case Vibration:
            return float(mid + 0.3 * span * std::sin(t * 0.37) +
                         0.05 * span * (unit(random) - 0.5));
        case RandomWalk:
            walk += (unit(random) - 0.5) * 0.02 * span;
            return float(mid + walk);
        case Constant:
            return float(yMin + 0.37 * span);
        case FullRange:
            return float(yMin + unit(random) * span);
        case BeyondRange:
            return float(yMin - span + unit(random) * 3.0 * span);
        case Spikes:
            return float(unit(random) < 0.002 ? (unit(random) < 0.5 ? -40.0 : 40.0) * span
                                              : mid + 0.02 * span * (unit(random) - 0.5));
        case NanAndInfinity: {
            const double u = unit(random);
            if (u < 0.01)
                return std::numeric_limits<float>::quiet_NaN();
            if (u < 0.015)
                return u < 0.0125 ? std::numeric_limits<float>::infinity()
                                  : -std::numeric_limits<float>::infinity();
            return float(mid + 0.4 * span * std::sin(t * 0.05));
        }
        case DataKinds:
            break;
        }
        return 0.0f;
    }
};

// A curve shaped as the graph draws one: decimated to the lowest and highest
// value per pixel column, or every sample when they stand sparser than two a
// column, over all or part of the plot's width.
std::vector<QPointF> graphCurve(const QRect& inner, double yMin, double yMax, SSignal& signal,
                                std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto toY = [&](double v) {
        return inner.bottom() - (v - yMin) / (yMax - yMin) * (inner.bottom() - inner.top());
    };
    const int columns = inner.width();
    // Sometimes only part of the width, as either half of the sweep.
    int from = 0;
    int to = columns;
    if (unit(random) < 0.3) {
        from = int(unit(random) * columns);
        to = from + int(unit(random) * (columns - from));
    }
    std::vector<QPointF> points;
    if (unit(random) < 0.8) {
        const double perColumn = 2.01 + unit(random) * unit(random) * 300.0;
        for (int c = from; c < to; ++c) {
            const int n = std::max(1, int(perColumn * (0.5 + unit(random))));
            float lo = signal.next(yMin, yMax);
            float hi = lo;
            for (int i = 1; i < n; ++i) {
                const float v = signal.next(yMin, yMax);
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
            const double x = inner.left() + c + 0.5;
            points.emplace_back(x, toY(lo));
            if (hi != lo)
                points.emplace_back(x, toY(hi));
        }
    } else {
        const double window = columns * (0.3 + unit(random) * 1.7);
        const double span = inner.right() - inner.left();
        const int first = int(from / double(columns) * window);
        const int last = int(to / double(columns) * window);
        for (int k = first; k < last; ++k)
            points.emplace_back(inner.left() + k / window * span, toY(signal.next(yMin, yMax)));
    }
    return points;
}

int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += pa[x] != pb[x];
    }
    return count;
}

void fillGraph(CLiveGraph& graph, EData kind, quint64 frames, unsigned seed)
{
    SSignal signal{kind, std::mt19937(seed)};
    std::vector<float> batch;
    for (quint64 k = 0; k < frames; ++k) {
        for (int s = 0; s < 3; ++s)
            batch.push_back(signal.next(-2.0, 2.0) * (1.0f - 0.3f * s));
        if (batch.size() == 3 * 420 || k + 1 == frames) {
            graph.appendSamples(batch);
            batch.clear();
        }
    }
}

// A graph of random size, window, mode and data; the same seed gives the
// same graph. Returns the kind of data.
EData setUpGraph(CLiveGraph& graph, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    graph.resize(160 + int(unit(random) * 1700), 120 + int(unit(random) * 300));
    graph.addSeries(QStringLiteral("X"), QColor(0xF4, 0x43, 0x36));
    graph.addSeries(QStringLiteral("Y"), QColor(0x4C, 0xAF, 0x50));
    graph.addSeries(QStringLiteral("Z"), QColor(0x21, 0x96, 0xF3));
    graph.setYRange(-2.0, 2.0);
    const double windows[] = {0.3, 1.0, 5.0, 37.0, 300.0};
    graph.setTimeWindow(windows[random() % 5]);
    graph.setMode(CLiveGraph::EMode(random() % 3));
    if (random() % 4 == 0)
        graph.setSeriesVisible(int(random() % 3), false);
    const quint64 frames = 100 + random() % 60000;
    const EData kind = EData(random() % DataKinds);
    fillGraph(graph, kind, frames, seed);
    return kind;
}

// Paints the graph with the fast path and with QPainter alone; taken tells
// whether the fast path drew any of the curves.
template <typename Render> std::pair<QImage, QImage> bothWays(const Render& render, bool& taken)
{
    CPolylineRaster::setFallbackForced(false);
    const quint64 before = CPolylineRaster::drawnCount();
    const QImage fast = render();
    taken = CPolylineRaster::drawnCount() > before;
    CPolylineRaster::setFallbackForced(true);
    const QImage slow = render();
    CPolylineRaster::setFallbackForced(false);
    return {fast, slow};
}

} // namespace

class tst_CPolylineRaster : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void directIdentity_data();
    void directIdentity();
    void graphIdentity_data();
    void graphIdentity();
    void declines_data();
    void declines();
    void selfCheckDisables();
};

void tst_CPolylineRaster::initTestCase()
{
    QVERIFY2(CPolylineRaster::runSelfCheck(), "the fast path fails its self-check with this Qt");
}

void tst_CPolylineRaster::directIdentity_data()
{
    QTest::addColumn<double>("dpr");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("cases");
    const double ratios[] = {1.0, 1.25, 1.5, 2.0};
    const int perRow = std::max(1, directCaseCount() / (4 * DataKinds));
    for (const double dpr : ratios) {
        for (int d = 0; d < DataKinds; ++d) {
            QTest::addRow("dpr %g, %s", dpr, DATA_NAMES[d]) << dpr << d << perRow;
        }
    }
}

// Graph-shaped curves drawn into images of 100 to 2,000 pixels across, with
// the plot anywhere, partly outside the image included, under a widget's
// offset and the device pixel ratio.
void tst_CPolylineRaster::directIdentity()
{
    QFETCH(double, dpr);
    QFETCH(int, data);
    QFETCH(int, cases);

    std::mt19937 random(unsigned(dpr * 1000) * 31 + unsigned(data));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int taken = 0;
    int drawn = 0;
    for (int n = 0; n < cases; ++n) {
        const int width = 100 + int(unit(random) * unit(random) * 1900);
        const int height = 40 + int(unit(random) * 300);
        const QSize logical = (QSizeF(width, height) / dpr).toSize();
        const QPoint offset(int(unit(random) * 40) - 20, int(unit(random) * 40) - 20);
        QRect plot(int(unit(random) * 30) - 10, int(unit(random) * 30) - 10,
                   std::max(12, logical.width() - int(unit(random) * 30)),
                   std::max(12, logical.height() - int(unit(random) * 30)));
        const QRect inner = plot.adjusted(1, 1, -1, -1);
        const double yMin = -1.0 - unit(random) * 100.0;
        const double yMax = yMin + 0.001 + unit(random) * 200.0;
        SSignal signal{EData(data), std::mt19937(random())};
        const std::vector<QPointF> points = graphCurve(inner, yMin, yMax, signal, random);
        if (points.size() < 2 || points.front() == points.back())
            continue;

        const QImage::Format format =
            n % 2 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
        QImage reference(width, height, format);
        reference.fill(QColor(0xEF, 0xEF, 0xEF));
        reference.setDevicePixelRatio(dpr);
        QImage fast = reference.copy();
        QPen pen(QColor::fromHsv(int(unit(random) * 359), 200, 200), 1);
        pen.setCosmetic(true);
        bool accepted = false;
        for (QImage* image : {&reference, &fast}) {
            QPainter painter(image);
            painter.translate(offset);
            painter.fillRect(plot, Qt::white);
            painter.setClipRect(inner);
            painter.setPen(pen);
            if (image == &fast)
                accepted = CPolylineRaster::draw(painter, inner, points.data(), int(points.size()));
            if (!accepted)
                painter.drawPolyline(points.data(), int(points.size()));
        }
        taken += accepted;
        ++drawn;
        const int differing = differingPixels(fast, reference);
        if (differing != 0) {
            reference.save(QStringLiteral("identity_reference.png"));
            fast.save(QStringLiteral("identity_fast.png"));
        }
        QVERIFY2(differing == 0, qPrintable(QStringLiteral("case %1: %2 pixels differ (%3x%4)")
                                                .arg(n)
                                                .arg(differing)
                                                .arg(width)
                                                .arg(height)));
    }
    // Curves with non-finite points are left to QPainter; all others are
    // taken on.
    if (data != NanAndInfinity)
        QCOMPARE(taken, drawn);
}

void tst_CPolylineRaster::graphIdentity_data()
{
    QTest::addColumn<int>("path"); // 0: render() into an image, 1: grab(), 2: backing store
    QTest::addColumn<double>("dpr");
    QTest::addColumn<int>("cases");
    for (const double dpr : {1.0, 1.25, 1.5, 2.0})
        QTest::addRow("render, dpr %g", dpr) << 0 << dpr << 12;
    QTest::newRow("grab") << 1 << 1.0 << 16;
    QTest::newRow("backing store") << 2 << 1.0 << 16;
}

// Whole graphs: the Overwrite sweep with its cursor, hidden series, windows
// from every sample to 300 s.
void tst_CPolylineRaster::graphIdentity()
{
    QFETCH(int, path);
    QFETCH(double, dpr);
    QFETCH(int, cases);

    for (int n = 0; n < cases; ++n) {
        const unsigned seed = unsigned(1000 * path + 100 * dpr + n);
        std::pair<QImage, QImage> images;
        EData kind = DataKinds;
        bool taken = false;
        if (path == 0) {
            CLiveGraph graph;
            kind = setUpGraph(graph, seed);
            images = bothWays(
                [&] {
                    QImage image((QSizeF(graph.size()) * dpr).toSize(), QImage::Format_RGB32);
                    image.setDevicePixelRatio(dpr);
                    graph.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
                    return image;
                },
                taken);
        } else if (path == 1) {
            CLiveGraph graph;
            kind = setUpGraph(graph, seed);
            images = bothWays([&] { return graph.grab().toImage(); }, taken);
        } else {
            // The plot reaches past the window's edges: the graph stands
            // partly outside its parent.
            QWidget window;
            window.resize(900, 400);
            CLiveGraph graph(&window);
            kind = setUpGraph(graph, seed);
            graph.move(int(seed % 7) * 40 - 100, int(seed % 3) * 30 - 30);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            images = bothWays(
                [&] {
                    graph.repaint();
                    QPaintDevice* device = window.backingStore()->paintDevice();
                    if (!device || device->devType() != QInternal::Image)
                        return QImage();
                    return static_cast<QImage*>(device)->copy();
                },
                taken);
            QVERIFY(!images.first.isNull());
        }
        const int differing = differingPixels(images.first, images.second);
        if (differing != 0) {
            images.first.save(QStringLiteral("graph_fast.png"));
            images.second.save(QStringLiteral("graph_reference.png"));
        }
        QVERIFY2(differing == 0,
                 qPrintable(QStringLiteral("seed %1: %2 pixels differ").arg(seed).arg(differing)));
        if (kind != NanAndInfinity)
            QVERIFY2(taken, qPrintable(QStringLiteral("seed %1: fast path not taken").arg(seed)));
    }
}

void tst_CPolylineRaster::declines_data()
{
    QTest::addColumn<int>("situation");
    QTest::newRow("antialiasing") << 0;
    QTest::newRow("painter opacity") << 1;
    QTest::newRow("composition mode") << 2;
    QTest::newRow("rotation") << 3;
    QTest::newRow("closed polyline") << 4;
    QTest::newRow("translucent pen") << 5;
    QTest::newRow("wide pen") << 6;
    QTest::newRow("dashed pen") << 7;
    QTest::newRow("RGB888 image") << 8;
    QTest::newRow("clip of two rectangles") << 9;
    QTest::newRow("NaN point") << 10;
    QTest::newRow("infinite point") << 11;
}

// Every situation it does not reproduce goes back to QPainter, and QPainter
// then draws exactly what it always drew.
void tst_CPolylineRaster::declines()
{
    QFETCH(int, situation);
    QImage image(200, 120, situation == 8 ? QImage::Format_RGB888 : QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QPen pen(situation == 5 ? QColor(255, 0, 0, 128) : QColor(Qt::red), situation == 6 ? 3 : 1);
    pen.setCosmetic(true);
    if (situation == 7)
        pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    const QRect clip(10, 10, 180, 100);
    painter.setClipRect(clip);
    if (situation == 0)
        painter.setRenderHint(QPainter::Antialiasing);
    if (situation == 1)
        painter.setOpacity(0.5);
    if (situation == 2)
        painter.setCompositionMode(QPainter::CompositionMode_Xor);
    if (situation == 3)
        painter.rotate(10);
    if (situation == 9)
        painter.setClipRegion(QRegion(clip) - QRegion(50, 50, 10, 10));
    std::vector<QPointF> points = {{12.5, 20.0}, {50.5, 80.0}, {120.5, 30.0}, {180.5, 90.0}};
    if (situation == 4)
        points.push_back(points.front());
    if (situation == 10)
        points[2].ry() = std::numeric_limits<double>::quiet_NaN();
    if (situation == 11)
        points[1].ry() = -std::numeric_limits<double>::infinity();
    const QImage before = image.copy();
    QVERIFY(!CPolylineRaster::draw(painter, clip, points.data(), int(points.size())));
    QCOMPARE(image, before);
}

void tst_CPolylineRaster::selfCheckDisables()
{
    const std::vector<QPointF> points = {{5.5, 5.0}, {60.5, 40.0}, {90.5, 10.0}};
    const auto drawn = [&] {
        QImage image(100, 50, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setClipRect(image.rect());
        painter.setPen(QPen(Qt::black, 0));
        return CPolylineRaster::draw(painter, image.rect(), points.data(), int(points.size()));
    };
    QVERIFY(drawn());
    // One pixel off in the fast picture switches the fast path off.
    QVERIFY(!CPolylineRaster::runSelfCheck(
        [](QImage& image) { image.setPixel(7, 9, image.pixel(7, 9) ^ 0x00010101u); }));
    QVERIFY(!drawn());
    QVERIFY(CPolylineRaster::runSelfCheck());
    QVERIFY(drawn());
}

QTEST_MAIN(tst_CPolylineRaster)
#include "tst_cpolylineraster.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Rendering cost of a full live graph (1200 x 350, 3 series x 300 s at 833 Hz)
// offscreen: full repaints at the 300 s and 5 s windows, the steady cycle of
// one 50 ms batch plus a repaint, peak memory, and the same work done by
// QCustomPlot (adaptive sampling) and Qt Charts where they are available. The
// floor is the least any such graph must do with QPainter: clear its area,
// fill the plot and draw the three decimated polylines our graph produces.
// Our graph and the floor are also timed with the polyline fast path, and our
// graph with it forced off, in the same run.
//
// Usage: bench_livegraph [--runs N (30)] [--data vibration|rest] [--save DIRECTORY]
//                       [--no-peers] [--fallback]
// (--save writes each graph's last picture there as PNG; --no-peers times ours
// and the floor only, for quick comparisons and profiling; --fallback keeps the
// fast path off throughout.)
#include "clivegraph.h"
#include "cpolylineraster.h"
#include "polylinerecorder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>

#ifdef SKARVEL_BENCH_QCUSTOMPLOT
#include <qcustomplot.h>
#endif
#ifdef SKARVEL_BENCH_QTCHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#endif

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <numeric>
#include <vector>

namespace {

constexpr double RATE = 833.0;
constexpr int SERIES = 3;
constexpr quint64 HISTORY = 249900; // 300 s at 833 Hz
constexpr int BATCH = 42;           // frames per 50 ms tick
constexpr int WIDTH = 1200;
constexpr int HEIGHT = 350;
constexpr int WARM_UP = 3;
const QColor COLORS[SERIES] = {QColor(0xF4, 0x43, 0x36), QColor(0x4C, 0xAF, 0x50),
                               QColor(0x21, 0x96, 0xF3)};
const char* const NAMES[SERIES] = {"X", "Y", "Z"};

// Which signal the sensor sees. Vibration (the default) fills most of each
// pixel column of the 300 s window with its swing, so the curves cost real
// drawing; at rest the curves are thin and the frame and text dominate.
bool s_vibration = true;

// Deterministic sensor-like samples: every run of the program, and every
// peer, sees the same values without storing them.
float sampleValue(int series, quint64 frame)
{
    std::uint64_t h = frame * 0x9E3779B97F4A7C15ull + std::uint64_t(series) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    const double noise = double(h >> 11) / double(1ull << 53) - 0.5; // -0.5 ... 0.5
    const double t = double(frame) / RATE;
    const double motion = std::sin(t * (0.7 + 0.9 * series)) * (0.8 - 0.2 * series);
    if (!s_vibration)
        return float(motion + 0.3 * noise);
    static const double HZ[SERIES] = {47.0, 61.0, 29.0};
    static const double AMPLITUDE[SERIES] = {1.2, 0.8, 0.5};
    const double pi = 3.14159265358979323846;
    return float(0.3 * motion + AMPLITUDE[series] * std::sin(2.0 * pi * HZ[series] * t) +
                 0.2 * noise);
}

std::vector<float> frames(quint64 first, quint64 count)
{
    std::vector<float> values;
    values.reserve(count * SERIES);
    for (quint64 k = first; k < first + count; ++k) {
        for (int s = 0; s < SERIES; ++s)
            values.push_back(sampleValue(s, k));
    }
    return values;
}

struct SStats
{
    double median = 0.0; // all in ms of the process's CPU time
    double min = 0.0;
    double max = 0.0;
    double q1 = 0.0;
    double q3 = 0.0;
    double wallMedian = 0.0; // ms of wall-clock time, for comparison
};

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double medianOf(std::vector<double>& values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

struct SSamples
{
    std::vector<double> cpu;
    std::vector<double> wall;
};

SStats statsOf(SSamples samples)
{
    SStats stats;
    stats.wallMedian = medianOf(samples.wall);
    std::vector<double>& cpu = samples.cpu;
    stats.median = medianOf(cpu); // sorts cpu
    const auto at = [&](double q) {
        return cpu[std::size_t(std::lround(q * double(cpu.size() - 1)))];
    };
    stats.min = cpu.front();
    stats.max = cpu.back();
    stats.q1 = at(0.25);
    stats.q3 = at(0.75);
    return stats;
}

// Runs each work WARM_UP + runs times, taking turns, so that every kind of
// work meets the same conditions on this shared machine. The figures are the
// process's CPU time (all its threads), which other processes hardly
// inflate; the wall-clock median is kept beside them.
std::vector<SSamples> measureInTurns(int runs, const std::vector<std::function<void()>>& works)
{
    std::vector<SSamples> samples(works.size());
    QElapsedTimer timer;
    for (int i = 0; i < WARM_UP + runs; ++i) {
        for (std::size_t w = 0; w < works.size(); ++w) {
            const double cpuStart = processCpuMs();
            timer.start();
            works[w]();
            const double wall = double(timer.nsecsElapsed()) / 1e6;
            const double cpu = processCpuMs() - cpuStart;
            if (i >= WARM_UP) {
                samples[w].cpu.push_back(cpu);
                samples[w].wall.push_back(wall);
            }
        }
    }
    return samples;
}

SStats measure(int runs, const std::function<void()>& work)
{
    return statsOf(measureInTurns(runs, {work}).front());
}

// The median of the run-by-run ratios a / b of two works measured in turns.
double pairedRatio(const SSamples& a, const SSamples& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.cpu.size(); ++i)
        ratios.push_back(a.cpu[i] / b.cpu[i]);
    return medianOf(ratios);
}

void printStats(const char* label, const SStats& s)
{
    std::printf("  %-13s median %9.3f   min %9.3f   max %9.3f   IQR %7.3f   (wall median %9.3f)\n",
                label, s.median, s.min, s.max, s.q3 - s.q1, s.wallMedian);
}

void printRatio(const char* label, double ratio, const char* target, bool met)
{
    std::printf("  %-40s %7.2f   (target %s: %s)\n", label, ratio, target, met ? "met" : "MISSED");
}

double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// The least a widget showing these curves must paint: its area, the plot
// and the decimated polylines.
class CFloorWidget : public QWidget
{
public:
    enum ECurves
    {
        QPainterCurves,
        FastCurves,
        NoCurves
    };

    CFloorWidget(const CPolylineEngine& curves, const QColor& background, ECurves mode)
        : m_curves(curves), m_background(background), m_mode(mode)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), m_background);
        painter.fillRect(m_curves.clip.adjusted(-1, -1, 1, 1), Qt::white);
        painter.setClipRect(m_curves.clip);
        for (qsizetype i = 0; m_mode != NoCurves && i < m_curves.polylines.size(); ++i) {
            const QPolygonF& polyline = m_curves.polylines[i];
            painter.setPen(m_curves.pens[i]);
            if (m_mode != FastCurves ||
                !CPolylineRaster::draw(painter, m_curves.clip, polyline.data(),
                                       int(polyline.size())))
                painter.drawPolyline(polyline);
        }
    }

private:
    const CPolylineEngine& m_curves;
    QColor m_background;
    ECurves m_mode;
};

struct SResult
{
    SStats full300;
    SStats full5;
    SStats steady;
    bool present = false;
};

void saveImage(const QString& directory, const char* name, const QImage& image)
{
    if (!directory.isEmpty())
        image.save(directory + QLatin1Char('/') + QLatin1String(name));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 30;
    QString saveDirectory;
    bool peers = true;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--runs") && hasValue) {
            runs = std::max(1, args[++i].toInt());
        } else if (arg == QLatin1String("--data") && hasValue) {
            const QString kind = args[++i];
            if (kind != QLatin1String("vibration") && kind != QLatin1String("rest")) {
                std::fprintf(stderr, "unknown data kind\n");
                return 2;
            }
            s_vibration = kind == QLatin1String("vibration");
        } else if (arg == QLatin1String("--save") && hasValue) {
            saveDirectory = args[++i];
        } else if (arg == QLatin1String("--no-peers")) {
            peers = false;
        } else if (arg == QLatin1String("--fallback")) {
            CPolylineRaster::setFallbackForced(true);
        } else {
            std::fprintf(stderr, "usage: bench_livegraph [--runs N] [--data vibration|rest]"
                                 " [--save DIRECTORY] [--no-peers] [--fallback]\n");
            return 2;
        }
    }

    std::printf("Live graph %dx%d, %d series x %llu samples (%s), %d timed runs after %d warm-up"
                " runs; ms of the process's CPU time\n",
                WIDTH, HEIGHT, SERIES, static_cast<unsigned long long>(HISTORY),
                s_vibration ? "vibration" : "at rest", runs, WARM_UP);

    QImage image(WIDTH, HEIGHT, QImage::Format_ARGB32_Premultiplied);

    // --- ours
    SResult ours;
    SStats floor;
    double fullPerFloor = 0.0;
    double steadyPerFloor = 0.0;
    SStats frameOnly;
    SStats noCurves;
    SStats oursFallback;
    SStats floorFast;
    SStats fills;
    double fallbackPerFloor = 0.0;
    double curvesSpeedup = 0.0;
    double steadyFallbackPerFloor = 0.0;
    SStats steadyFallback;
    const bool fastAvailable = !CPolylineRaster::fallbackForced();
    double oursPeakMb = 0.0;
    quint64 nextFrame = 0;
    {
        CLiveGraph graph;
        graph.resize(WIDTH, HEIGHT);
        graph.setTitle(QStringLiteral("Acceleration"));
        graph.setYAxisLabel(QStringLiteral("Acceleration [g]"));
        for (int s = 0; s < SERIES; ++s)
            graph.addSeries(QLatin1String(NAMES[s]), COLORS[s]);
        graph.setSampleRate(RATE);
        graph.setTimeWindow(300.0);
        graph.setYRange(-2.0, 2.0);
        for (; nextFrame < HISTORY; nextFrame += BATCH)
            graph.appendSamples(frames(nextFrame, std::min<quint64>(BATCH, HISTORY - nextFrame)));
        nextFrame = HISTORY;
        if (graph.storedSampleCount() != HISTORY) {
            std::fprintf(stderr, "history not full: %llu\n",
                         static_cast<unsigned long long>(graph.storedSampleCount()));
            return 1;
        }
        // The widget covers every pixel itself; no window background first.
        const auto render = [&] { graph.render(&image, QPoint(), QRegion(), {}); };

        // The floor: the polylines of exactly this paint, drawn alone.
        CPolylineDevice device(QSize(WIDTH, HEIGHT));
        graph.render(&device, QPoint(), QRegion(), {});
        const CPolylineEngine& curves = device.engine;
        const QRect plot = curves.clip.adjusted(-1, -1, 1, 1);
        const QColor windowColor = graph.palette().color(QPalette::Window);
        CFloorWidget floorWidget(curves, windowColor, CFloorWidget::QPainterCurves);
        CFloorWidget fastFloorWidget(curves, windowColor, CFloorWidget::FastCurves);
        CFloorWidget fillsWidget(curves, windowColor, CFloorWidget::NoCurves);
        for (CFloorWidget* widget : {&floorWidget, &fastFloorWidget, &fillsWidget})
            widget->resize(WIDTH, HEIGHT);
        // Through the same widget machinery as ours.
        const auto drawFloor = [&] { floorWidget.render(&image, QPoint(), QRegion(), {}); };
        const auto drawFastFloor = [&] { fastFloorWidget.render(&image, QPoint(), QRegion(), {}); };
        const auto drawFills = [&] { fillsWidget.render(&image, QPoint(), QRegion(), {}); };
        // Ours with the curves drawn by QPainter, as before the fast path.
        const auto withFallback = [](const std::function<void()>& work) {
            return [work] {
                const bool forced = CPolylineRaster::fallbackForced();
                CPolylineRaster::setFallbackForced(true);
                work();
                CPolylineRaster::setFallbackForced(forced);
            };
        };
        std::printf("Floor: %lld polylines, %lld points, plot area %dx%d\n",
                    static_cast<long long>(curves.polylines.size()),
                    static_cast<long long>(std::accumulate(
                        curves.polylines.begin(), curves.polylines.end(), qsizetype(0),
                        [](qsizetype n, const QPolygonF& p) { return n + p.size(); })),
                    plot.width(), plot.height());

        const std::vector<SSamples> fullAndFloor = measureInTurns(
            runs, {render, drawFloor, withFallback(render), drawFastFloor, drawFills});
        ours.full300 = statsOf(fullAndFloor[0]);
        floor = statsOf(fullAndFloor[1]);
        fullPerFloor = pairedRatio(fullAndFloor[0], fullAndFloor[1]);
        oursFallback = statsOf(fullAndFloor[2]);
        fallbackPerFloor = pairedRatio(fullAndFloor[2], fullAndFloor[1]);
        floorFast = statsOf(fullAndFloor[3]);
        fills = statsOf(fullAndFloor[4]);
        // The curves alone: each floor less its fills, run by run.
        {
            std::vector<double> ratios;
            for (std::size_t i = 0; i < fullAndFloor[1].cpu.size(); ++i) {
                const double painterCurves = fullAndFloor[1].cpu[i] - fullAndFloor[4].cpu[i];
                const double fastCurves = fullAndFloor[3].cpu[i] - fullAndFloor[4].cpu[i];
                ratios.push_back(painterCurves / std::max(fastCurves, 1e-6));
            }
            curvesSpeedup = medianOf(ratios);
        }
        render();
        saveImage(saveDirectory, "ours_300s.png", image);
        drawFloor();
        saveImage(saveDirectory, "floor_300s.png", image);

        // Where the time goes: the paint with nothing rasterised (decimation,
        // layout, text shaping), and the frame without curves.
        frameOnly = measure(runs, [&] {
            CPolylineDevice sink(QSize(WIDTH, HEIGHT));
            graph.render(&sink, QPoint(), QRegion(), {});
        });
        for (int s = 0; s < SERIES; ++s)
            graph.setSeriesVisible(s, false);
        noCurves = measure(runs, render);
        for (int s = 0; s < SERIES; ++s)
            graph.setSeriesVisible(s, true);

        graph.setTimeWindow(5.0);
        ours.full5 = measure(runs, render);
        saveImage(saveDirectory, "ours_5s.png", image);

        graph.setTimeWindow(300.0);
        // Each cycle takes the next 50 ms of samples, prepared beforehand as
        // the main window has them converted already.
        std::vector<std::vector<float>> batches;
        for (int i = 0; i < WARM_UP + runs; ++i) {
            batches.push_back(frames(nextFrame, BATCH));
            nextFrame += BATCH;
        }
        std::size_t next = 0;
        const auto cycle = [&] {
            graph.appendSamples(batches[next++]);
            render();
        };
        for (int i = 0; i < WARM_UP + runs; ++i) {
            batches.push_back(frames(nextFrame, BATCH));
            nextFrame += BATCH;
        }
        const std::vector<SSamples> steadyAndFloor =
            measureInTurns(runs, {cycle, drawFloor, withFallback(cycle)});
        ours.steady = statsOf(steadyAndFloor[0]);
        steadyPerFloor = pairedRatio(steadyAndFloor[0], steadyAndFloor[1]);
        steadyFallback = statsOf(steadyAndFloor[2]);
        steadyFallbackPerFloor = pairedRatio(steadyAndFloor[2], steadyAndFloor[1]);
        render();
        if (graph.storedSampleCount() != HISTORY) {
            std::fprintf(stderr, "history not trimmed: %llu\n",
                         static_cast<unsigned long long>(graph.storedSampleCount()));
            return 1;
        }
        saveImage(saveDirectory, "ours_steady.png", image);
        ours.present = true;
        oursPeakMb = peakRssMb();
    }
    // The peers end their history at the same frame.
    [[maybe_unused]] const quint64 steadyEnd = HISTORY + quint64(WARM_UP + runs) * BATCH;

    std::printf("\nCLiveGraph\n");
    printStats("full 300 s", ours.full300);
    printStats("full 5 s", ours.full5);
    printStats("steady cycle", ours.steady);
    printStats("floor", floor);
    printStats("full 300 s, QPainter curves", oursFallback);
    printStats("steady, QPainter curves", steadyFallback);
    printStats("floor, fast curves", floorFast);
    printStats("floor without curves", fills);
    printStats("no raster", frameOnly);
    printStats("no curves", noCurves);
    std::printf("  peak memory (process, one full graph): %.1f MB\n", oursPeakMb);

    // --- QCustomPlot
    SResult qcp;
#ifdef SKARVEL_BENCH_QCUSTOMPLOT
    if (peers) {
        QCustomPlot plot;
        plot.resize(WIDTH, HEIGHT);
        plot.setViewport(QRect(0, 0, WIDTH, HEIGHT));
        plot.plotLayout()->insertRow(0);
        plot.plotLayout()->addElement(0, 0,
                                      new QCPTextElement(&plot, QStringLiteral("Acceleration")));
        plot.xAxis->setLabel(QStringLiteral("Time [s]"));
        plot.yAxis->setLabel(QStringLiteral("Acceleration [g]"));
        plot.yAxis->setRange(-2.0, 2.0);
        plot.legend->setVisible(true);
        const quint64 start = 0; // the frames ours held at first
        QVector<double> keys;
        keys.reserve(HISTORY);
        for (quint64 k = start; k < HISTORY; ++k)
            keys.push_back(double(k) / RATE);
        QCPGraph* graphs[SERIES];
        for (int s = 0; s < SERIES; ++s) {
            graphs[s] = plot.addGraph();
            graphs[s]->setName(QLatin1String(NAMES[s]));
            graphs[s]->setPen(QPen(COLORS[s]));
            graphs[s]->setAdaptiveSampling(true);
            QVector<double> values;
            values.reserve(HISTORY);
            for (quint64 k = start; k < HISTORY; ++k)
                values.push_back(sampleValue(s, k));
            graphs[s]->setData(keys, values, true);
        }
        const auto render = [&] {
            plot.replot(QCustomPlot::rpImmediateRefresh);
            plot.render(&image);
        };
        const double end = double(HISTORY) / RATE;
        plot.xAxis->setRange(end - 300.0, end);
        qcp.full300 = measure(runs, render);
        saveImage(saveDirectory, "qcustomplot_300s.png", image);
        plot.xAxis->setRange(end - 5.0, end);
        qcp.full5 = measure(runs, render);
        saveImage(saveDirectory, "qcustomplot_5s.png", image);

        quint64 frame = HISTORY;
        qcp.steady = measure(runs, [&] {
            QVector<double> batchKeys;
            for (int k = 0; k < BATCH; ++k)
                batchKeys.push_back(double(frame + k) / RATE);
            for (int s = 0; s < SERIES; ++s) {
                QVector<double> values;
                for (int k = 0; k < BATCH; ++k)
                    values.push_back(sampleValue(s, frame + k));
                graphs[s]->addData(batchKeys, values, true);
                graphs[s]->data()->removeBefore(double(frame + BATCH - HISTORY) / RATE);
            }
            frame += BATCH;
            const double newest = double(frame) / RATE;
            plot.xAxis->setRange(newest - 300.0, newest);
            render();
        });
        saveImage(saveDirectory, "qcustomplot_steady.png", image);
        if (frame != steadyEnd || graphs[0]->dataCount() != int(HISTORY)) {
            std::fprintf(stderr, "QCustomPlot history mismatch: %d\n", graphs[0]->dataCount());
            return 1;
        }
        qcp.present = true;
    }
    if (qcp.present) {
        std::printf("\nQCustomPlot %s (adaptive sampling)\n", QCUSTOMPLOT_VERSION_STR);
        printStats("full 300 s", qcp.full300);
        printStats("full 5 s", qcp.full5);
        printStats("steady cycle", qcp.steady);
    }
#else
    std::printf("\nQCustomPlot: not built in\n");
#endif

    // --- Qt Charts
    SResult charts;
#ifdef SKARVEL_BENCH_QTCHARTS
    if (peers) {
        auto* chart = new QChart;
        QChartView view(chart);
        view.resize(WIDTH, HEIGHT);
        chart->setTitle(QStringLiteral("Acceleration"));
        auto* axisX = new QValueAxis;
        auto* axisY = new QValueAxis;
        axisX->setTitleText(QStringLiteral("Time [s]"));
        axisY->setTitleText(QStringLiteral("Acceleration [g]"));
        axisY->setRange(-2.0, 2.0);
        chart->addAxis(axisX, Qt::AlignBottom);
        chart->addAxis(axisY, Qt::AlignLeft);
        QLineSeries* series[SERIES];
        for (int s = 0; s < SERIES; ++s) {
            series[s] = new QLineSeries;
            series[s]->setName(QLatin1String(NAMES[s]));
            series[s]->setPen(QPen(COLORS[s]));
            chart->addSeries(series[s]);
            series[s]->attachAxis(axisX);
            series[s]->attachAxis(axisY);
            QList<QPointF> points;
            points.reserve(HISTORY);
            for (quint64 k = 0; k < HISTORY; ++k)
                points.append(QPointF(double(k) / RATE, sampleValue(s, k)));
            series[s]->replace(points);
        }
        const auto render = [&] {
            QCoreApplication::processEvents();
            view.QWidget::render(&image); // the widget, not the scene
        };
        const double end = double(HISTORY) / RATE;
        axisX->setRange(end - 300.0, end);
        charts.full300 = measure(runs, render);
        saveImage(saveDirectory, "qtcharts_300s.png", image);
        axisX->setRange(end - 5.0, end);
        charts.full5 = measure(runs, render);
        saveImage(saveDirectory, "qtcharts_5s.png", image);

        quint64 frame = HISTORY;
        charts.steady = measure(runs, [&] {
            frame += BATCH;
            for (int s = 0; s < SERIES; ++s) {
                QList<QPointF> points = series[s]->points();
                points.erase(points.begin(), points.begin() + BATCH);
                for (quint64 k = frame - BATCH; k < frame; ++k)
                    points.append(QPointF(double(k) / RATE, sampleValue(s, k)));
                series[s]->replace(points);
            }
            const double newest = double(frame) / RATE;
            axisX->setRange(newest - 300.0, newest);
            render();
        });
        saveImage(saveDirectory, "qtcharts_steady.png", image);
        charts.present = true;
    }
    if (charts.present) {
        std::printf("\nQt Charts %s (QLineSeries::replace)\n", QT_VERSION_STR);
        printStats("full 300 s", charts.full300);
        printStats("full 5 s", charts.full5);
        printStats("steady cycle", charts.steady);
    }
#else
    std::printf("\nQt Charts: not built in\n");
#endif

    std::printf("\nRatios (of medians; \"paired\": median of the run-by-run ratios of two works"
                " timed in turns)\n");
    std::printf("  fast path: %s\n", fastAvailable ? "on" : "forced off (--fallback)");
    printRatio("curves 300 s: QPainter / fast (paired)", curvesSpeedup, ">= 4",
               curvesSpeedup >= 4.0);
    printRatio("full 300 s: ours / floor (paired)", fullPerFloor, "<= 1.2", fullPerFloor <= 1.2);
    printRatio("full 300 s, QPainter curves / floor", fallbackPerFloor, "-", true);
    printRatio("steady cycle: ours / floor (paired)", steadyPerFloor, "<= 0.35",
               steadyPerFloor <= 0.35);
    printRatio("steady, QPainter curves / floor", steadyFallbackPerFloor, "-", true);
    if (qcp.present) {
        printRatio("full 300 s: QCustomPlot / ours", qcp.full300.median / ours.full300.median,
                   ">= 1", qcp.full300.median >= ours.full300.median);
        printRatio("full 5 s: QCustomPlot / ours", qcp.full5.median / ours.full5.median, ">= 1",
                   qcp.full5.median >= ours.full5.median);
        printRatio("steady cycle: QCustomPlot / ours", qcp.steady.median / ours.steady.median,
                   ">= 1", qcp.steady.median >= ours.steady.median);
    }
    if (charts.present) {
        printRatio("full 300 s: Qt Charts / ours", charts.full300.median / ours.full300.median,
                   ">= 10", charts.full300.median >= 10.0 * ours.full300.median);
        printRatio("full 5 s: Qt Charts / ours", charts.full5.median / ours.full5.median, "-",
                   true);
        printRatio("steady cycle: Qt Charts / ours", charts.steady.median / ours.steady.median,
                   ">= 10", charts.steady.median >= 10.0 * ours.steady.median);
    }
    std::printf("Peak memory with one full graph: %.1f MB (target < 40 MB: %s)\n", oursPeakMb,
                oursPeakMb < 40.0 ? "met" : "MISSED");
    std::printf("Peak memory at the end, with the peers' copies: %.1f MB\n", peakRssMb());
    return 0;
}

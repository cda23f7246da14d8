// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Drives the main window over a real-time simulated sensor and measures what
// live streaming costs: CPU time of the process and the duration of each
// update tick (drain, convert, append) and of each repaint of the window.
// Optionally saves a picture of the window instead.
//
//   bench_mainwindow [--seconds N] [--window SECONDS] [--fill] [--fallback]
//                    [--spectrum] [--layers] [--screenshot FILE] [--record FILE] [--trigger]
//                    [--mouse] [--stop]
//
// --window sets the time window; --fill first streams in burst mode until the
// graphs hold their full 300 s history, then switches to real time;
// --fallback draws the curves with QPainter instead of the fast path.
// --spectrum measures in turns with the spectrum dock hidden and shown, N
// seconds each, twice over, after N seconds unmeasured, and prints both
// figures of the same run (with
// --screenshot: the picture shows the dock). --layers measures the same way
// with the graphs' standing layers drawn every time and copied. --record measures for the same
// time again while recording to FILE, in the same run. --trigger compares
// the trigger off and armed on a level the signal never reaches, in the same
// run, and times the trigger's evaluation of the same number of samples on
// its own (its share is far below what two whole-process figures resolve).
// --mouse turns measure
// mode on and compares the mouse still with the mouse moving over the graphs
// 60 times a second, in turns as --spectrum does, and times each move: the
// event and the repaint it asks for. --stop stops the measurement before
// measuring, so that the graphs hold still (moves then repaint on their own
// rather than with the next data). Run it
// offscreen (QT_QPA_PLATFORM=offscreen) or under xvfb-run for a real X server.
#include "clivegraph.h"
#include "cpixellayer.h"
#include "cpolylineraster.h"
#include "mainwindow.h"
#include "skarvelmodel.h"
#include "trigger.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QIcon>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Of the whole process, or with RUSAGE_THREAD of the calling (GUI) thread.
double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct SDurations
{
    std::vector<double> ms;

    void print(const char* name) const
    {
        if (ms.empty()) {
            std::printf("%-28s none\n", name);
            return;
        }
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        double sum = 0;
        for (double v : sorted)
            sum += v;
        const auto at = [&](double q) {
            return sorted[std::size_t(q * double(sorted.size() - 1))];
        };
        std::printf("%-28s n=%-5zu mean=%7.3f ms  p50=%7.3f  p95=%7.3f  max=%7.3f\n", name,
                    sorted.size(), sum / double(sorted.size()), at(0.5), at(0.95), sorted.back());
    }
};

// Times the events that make up the live display: the window's 50 ms update
// timer and the repaints of the window.
class CTimingApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!m_window || !m_recording)
            return QApplication::notify(receiver, event);
        const bool tick = event->type() == QEvent::Timer && isUpdateTimer(receiver);
        const bool paint = event->type() == QEvent::UpdateRequest && receiver == m_window;
        if (!tick && !paint)
            return QApplication::notify(receiver, event);

        m_statisticsChanged = false;
        QElapsedTimer clock;
        clock.start();
        const bool result = QApplication::notify(receiver, event);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (paint)
            paints.ms.push_back(ms);
        else if (m_statisticsChanged)
            refreshTicks.ms.push_back(ms); // statistics and status were refreshed
        else
            plainTicks.ms.push_back(ms);
        return result;
    }

    // A refresh rewrites the raw values, which the sensor's noise changes every time.
    void watch(QWidget* window)
    {
        m_window = window;
        auto* table = window->findChild<QTableWidget*>(QStringLiteral("tw_statistics"));
        connect(table->model(), &QAbstractItemModel::dataChanged, this,
                [this] { m_statisticsChanged = true; });
    }
    void setRecording(bool on) { m_recording = on; }

    SDurations plainTicks;
    SDurations refreshTicks;
    SDurations paints;

private:
    bool isUpdateTimer(QObject* receiver) const
    {
        auto* timer = qobject_cast<QTimer*>(receiver);
        return timer && !timer->parent() && timer->interval() == 50;
    }

    QWidget* m_window = nullptr;
    bool m_statisticsChanged = false;
    bool m_recording = false;
};

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The trigger alone, armed on a level it never reaches, over `seconds` of
// samples in the update ticks' batches: its CPU time per second of data.
double triggerShareOfCore(int seconds, int window)
{
    Trigger::SSettings settings;
    settings.source = Trigger::ESource::AccelMagnitude;
    settings.level = 30.0;
    settings.hysteresis = 0.02;
    settings.windowSamples = quint64(window * 833);
    settings.mode = Trigger::EMode::Repeat;
    Trigger trigger;
    trigger.arm(settings);
    constexpr std::size_t BATCH = 42; // one 50 ms tick
    std::vector<float> accel(3 * BATCH);
    std::vector<float> gyro(3 * BATCH);
    const quint64 samples = quint64(seconds) * 833;
    quint64 index = 0;
    const double start = threadCpuSeconds();
    while (index < samples) {
        for (std::size_t k = 0; k < 3 * BATCH; ++k) {
            accel[k] = float(std::sin(double(index + k) * 0.01));
            gyro[k] = float(std::cos(double(index + k) * 0.01));
        }
        trigger.process(accel, gyro, index);
        index += BATCH;
    }
    const double cpu = threadCpuSeconds() - start;
    if (trigger.captureCount() != 0)
        std::fprintf(stderr, "the trigger fired\n");
    return 100.0 * cpu / double(seconds);
}

} // namespace

int main(int argc, char* argv[])
{
    CTimingApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/res/icon/icon.png")));

    int seconds = 60;
    int window = 5;
    bool fill = false;
    bool spectrum = false;
    bool layers = false;
    bool mouse = false;
    bool stop = false;
    QString screenshot;
    QString record;
    bool trigger = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == QLatin1String("--window") && i + 1 < args.size())
            window = args[++i].toInt();
        else if (args[i] == QLatin1String("--fill"))
            fill = true;
        else if (args[i] == QLatin1String("--fallback"))
            CPolylineRaster::setFallbackForced(true);
        else if (args[i] == QLatin1String("--spectrum"))
            spectrum = true;
        else if (args[i] == QLatin1String("--layers"))
            layers = true;
        else if (args[i] == QLatin1String("--mouse"))
            mouse = true;
        else if (args[i] == QLatin1String("--stop"))
            stop = true;
        else if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size())
            screenshot = args[++i];
        else if (args[i] == QLatin1String("--record") && i + 1 < args.size())
            record = args[++i];
        else if (args[i] == QLatin1String("--trigger"))
            trigger = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--window SECONDS] [--fill] [--fallback] "
                         "[--spectrum] [--layers] "
                         "[--screenshot FILE] [--record FILE] [--trigger] [--mouse] [--stop]\n",
                         qPrintable(args[0]));
            return 2;
        }
    }

    skarvelsim::SSensorConfig config;
    config.serialNumber = std::wstring(L"SKV-000117");
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor(config);

    MainWindow mainWindow;
    mainWindow.show();
    app.watch(&mainWindow);
    mainWindow.findChild<QSpinBox*>(QStringLiteral("spin_time"))->setValue(window);
    auto* accel = mainWindow.findChild<CLiveGraph*>(QStringLiteral("widget_accel"));

    // Connect through the dialog like a user: take the listed sensor.
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    mainWindow.findChild<QAction*>(QStringLiteral("actionConnect"))->trigger();
    if (!mainWindow.findChild<QAction*>(QStringLiteral("actionDisconnect"))->isEnabled()) {
        std::fprintf(stderr, "could not connect to the simulated sensor\n");
        return 1;
    }

    if (fill)
        sensor.model->setBurst();
    mainWindow.findChild<QAction*>(QStringLiteral("actionStart"))->trigger();
    if (fill) {
        QElapsedTimer filling;
        filling.start();
        while (accel->storedSampleCount() < accel->maxSampleCount())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        sensor.model->setRealTime();
        std::printf("history filled to %llu samples in %.1f s\n",
                    static_cast<unsigned long long>(accel->storedSampleCount()),
                    double(filling.elapsed()) / 1000.0);
        // Let the backlog of the burst drain before measuring.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    if (stop)
        mainWindow.findChild<QAction*>(QStringLiteral("actionStop"))->trigger();

    // Shown and hidden as the user does, with the action.
    auto* dock = mainWindow.findChild<QDockWidget*>(QStringLiteral("dock_spectrum"));
    auto* toggle = mainWindow.findChild<QAction*>(QStringLiteral("actionSpectrum"));
    if (spectrum && (!dock || !toggle)) {
        std::fprintf(stderr, "the window has no spectrum dock\n");
        return 1;
    }
    const auto showSpectrum = [&](bool shown) {
        if (dock->isHidden() == shown)
            toggle->trigger();
    };

    if (!screenshot.isEmpty()) {
        if (spectrum)
            showSpectrum(true);
        QTimer::singleShot(seconds * 1000, [&] {
            const bool saved = mainWindow.grab().save(screenshot);
            std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(screenshot));
            app.exit(saved ? 0 : 1);
        });
        return app.exec();
    }

    SDurations mouseMoves;
    SDurations mouseRepaints; // the part of a move that is its repaint
    // CPU time and wall time of one stretch of live streaming.
    double guiCpu = 0.0;
    const auto measure = [&](double& cpu, double& elapsed) {
        const double cpuStart = cpuSeconds();
        const double guiStart = cpuSeconds(RUSAGE_THREAD);
        QElapsedTimer wall;
        wall.start();
        app.setRecording(true);
        // A loop of its own: the application's quit would close the window
        // too, and every later stretch would measure it hidden.
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        app.setRecording(false);
        cpu += cpuSeconds() - cpuStart;
        guiCpu += cpuSeconds(RUSAGE_THREAD) - guiStart;
        elapsed += double(wall.elapsed()) / 1000.0;
    };
    double cpu = 0.0;
    double elapsed = 0.0;
    // Compares the program without and with a feature in one run. A first
    // stretch unmeasured: right after the fill the process is still settling.
    // Then off, on, on, off, so that a steady drift in the machine's load
    // weighs on both alike. `turn(round)` switches the feature for a round.
    const auto compare = [&](const char* offName, const char* onName,
                             const std::function<bool(int)>& turn) {
        double onCpu = 0.0;
        double onElapsed = 0.0;
        double warmCpu = 0.0;
        double warmElapsed = 0.0;
        measure(warmCpu, warmElapsed);
        for (int round = 0; round < 4; ++round) {
            const bool on = round == 1 || round == 2;
            if (!turn(round))
                return false;
            double c = 0.0;
            double e = 0.0;
            measure(c, e);
            std::printf("  %-20s %5.2f %% of one core\n", on ? onName : offName, 100.0 * c / e);
            (on ? onCpu : cpu) += c;
            (on ? onElapsed : elapsed) += e;
        }
        std::printf("%-20s CPU %.2f s over %.1f s: %.2f %% of one core\n", offName, cpu, elapsed,
                    100.0 * cpu / elapsed);
        std::printf("%-20s CPU %.2f s over %.1f s: %.2f %% of one core\n", onName, onCpu, onElapsed,
                    100.0 * onCpu / onElapsed);
        cpu += onCpu;
        elapsed += onElapsed;
        return true;
    };
    if (spectrum) {
        showSpectrum(false);
        compare("spectrum hidden:", "spectrum shown:", [&](int round) {
            showSpectrum(round == 1 || round == 2);
            return true;
        });
    } else if (layers) {
        compare("layers drawn:", "layers copied:", [&](int round) {
            CPixelLayer::setDisabled(round == 0 || round == 3);
            return true;
        });
    } else if (trigger) {
        auto* on = mainWindow.findChild<QCheckBox*>(QStringLiteral("chk_trigger"));
        auto* source = mainWindow.findChild<QComboBox*>(QStringLiteral("cmb_trigger_source"));
        auto* level = mainWindow.findChild<QDoubleSpinBox*>(QStringLiteral("spin_trigger_level"));
        auto* mode = mainWindow.findChild<QComboBox*>(QStringLiteral("cmb_trigger_mode"));
        if (!on || !source || !level || !mode) {
            std::fprintf(stderr, "the window has no trigger\n");
            return 1;
        }
        // |a| never comes near 30 g on the simulated sensor: armed all along.
        source->setCurrentIndex(int(Trigger::ESource::AccelMagnitude));
        level->setValue(30.0);
        mode->setCurrentIndex(1);
        compare("trigger off:", "trigger armed:", [&](int round) {
            on->setChecked(round == 1 || round == 2);
            return true;
        });
        std::printf("trigger evaluation alone: %.4f %% of one core at 833 samples/s\n",
                    triggerShareOfCore(600, window));
    } else if (mouse) {
        QAction* measureAction = mainWindow.findChild<QAction*>(QStringLiteral("actionMeasure"));
        auto* gyro = mainWindow.findChild<CLiveGraph*>(QStringLiteral("widget_gyro"));
        if (!measureAction || !gyro) {
            std::fprintf(stderr, "the window has no measure mode\n");
            return 1;
        }
        measureAction->trigger();
        // Back and forth across the plots, over each graph in turn; each move
        // shows the line in both.
        int step = 0;
        QTimer mover;
        mover.setTimerType(Qt::PreciseTimer);
        mover.setInterval(1000 / 60);
        QObject::connect(&mover, &QTimer::timeout, [&] {
            CLiveGraph* graph = step % 2 == 0 ? accel : gyro;
            const QRect inner = graph->plotRect().adjusted(1, 1, -1, -1);
            const int phase = step % 480;
            const double fraction = (phase < 240 ? phase : 479 - phase) / 239.0;
            ++step;
            const QPointF pos(inner.left() + fraction * (inner.right() - inner.left()),
                              inner.center().y());
            QElapsedTimer clock;
            clock.start();
            QMouseEvent move(QEvent::MouseMove, pos, graph->mapToGlobal(pos), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(graph, &move);
            const qint64 event = clock.nsecsElapsed();
            // The repaint it asks for, now rather than in a later pass of the loop.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::ExcludeSocketNotifiers);
            const qint64 all = clock.nsecsElapsed();
            mouseMoves.ms.push_back(double(all) / 1e6);
            mouseRepaints.ms.push_back(double(all - event) / 1e6);
        });
        compare("mouse still:", "mouse moving:", [&](int round) {
            if (round == 1)
                mover.start();
            if (round == 3)
                mover.stop();
            return true;
        });
    } else if (!record.isEmpty()) {
        QAction* recordAction = mainWindow.findChild<QAction*>(QStringLiteral("actionRecord"));
        const bool recorded = compare("measuring alone:", "measuring+recording:", [&](int round) {
            if (round == 1 && !mainWindow.startRecording(record)) {
                std::fprintf(stderr, "could not record to %s\n", qPrintable(record));
                return false;
            }
            if (round == 3)
                recordAction->trigger(); // ends the recording
            return true;
        });
        if (!recorded)
            return 1;
        std::printf("recording wrote %.1f MB\n", double(QFileInfo(record).size()) / 1e6);
    } else {
        measure(cpu, elapsed);
    }

    std::printf("platform %s, time window %d s, %llu samples stored, %llu reports sent, %llu "
                "dropped by the host buffer\n",
                qPrintable(QGuiApplication::platformName()), window,
                static_cast<unsigned long long>(accel->storedSampleCount()),
                static_cast<unsigned long long>(sensor.model->reportsSent()),
                static_cast<unsigned long long>(sensor.model->reportsDropped()));
    std::printf("curves drawn by %s\n",
                CPolylineRaster::fallbackForced() ? "QPainter (--fallback)" : "the fast path");
    std::printf("CPU %.2f s over %.1f s: %.1f %% of one core\n", cpu, elapsed,
                100.0 * cpu / elapsed);
    // The rest is mostly the read thread: one wake for each report.
    std::printf("  of which the GUI thread: %.1f %% of one core\n", 100.0 * guiCpu / elapsed);
    app.plainTicks.print("update tick");
    app.refreshTicks.print("tick + statistics/status");
    app.paints.print("repaint of the window");
    if (mouse) {
        mouseMoves.print("mouse move + its repaint");
        mouseRepaints.print("  of which the repaint");
    }

    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Takes the README's pictures of the program: the main window measuring on the
// first simulated sensor, and with "measure" the same stopped, with two cursors
// and the values under the mouse. Run by scripts/screenshot.sh. With --trigger:
// the trigger's dock and a capture of a knock (the sensor needs impact= in
// SKARVEL_SIM_SENSORS); SECONDS is then the longest wait for it.
//
// Usage: skarvel_screenshot OUTPUT.png [SECONDS] [measure] [--trigger]
#include "clivegraph.h"
#include "devicedialog.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QIcon>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>

namespace {

void sendMouse(CLiveGraph* graph, QEvent::Type type, double fraction, Qt::MouseButton button)
{
    const QRect inner = graph->plotRect().adjusted(1, 1, -1, -1);
    const QPointF pos(inner.left() + fraction * (inner.right() - inner.left()),
                      inner.top() + inner.height() * 0.7);
    QMouseEvent event(type, pos, graph->mapToGlobal(pos), button, button, Qt::NoModifier);
    QApplication::sendEvent(graph, &event);
}

// Stopped, measure mode on, cursors A and B a second apart in a 2 s window,
// and the mouse between them.
bool showMeasuring(MainWindow& window)
{
    auto* stop = window.findChild<QAction*>(QStringLiteral("actionStop"));
    auto* measure = window.findChild<QAction*>(QStringLiteral("actionMeasure"));
    auto* accel = window.findChild<CLiveGraph*>(QStringLiteral("widget_accel"));
    auto* gyro = window.findChild<CLiveGraph*>(QStringLiteral("widget_gyro"));
    if (!stop || !measure || !accel || !gyro)
        return false;
    stop->trigger();
    measure->trigger();
    if (auto* spin = window.findChild<QSpinBox*>(QStringLiteral("spin_time")))
        spin->setValue(2);
    QApplication::processEvents();
    for (double fraction : {0.2, 0.7}) {
        sendMouse(accel, QEvent::MouseButtonPress, fraction, Qt::LeftButton);
        sendMouse(accel, QEvent::MouseButtonRelease, fraction, Qt::LeftButton);
    }
    sendMouse(gyro, QEvent::MouseMove, 0.45, Qt::NoButton);
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    const bool trigger = arguments.removeAll(QStringLiteral("--trigger")) > 0;
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: skarvel_screenshot OUTPUT.png [SECONDS] [measure] [--trigger]\n");
        return 2;
    }
    const int measureMs = int(arguments.value(2, QStringLiteral("8")).toDouble() * 1000);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/res/icon/icon.png")));

    MainWindow window;
    window.resize(1280, 800);
    window.show();

    // Connect answers with the device dialog: accept its first sensor.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<DeviceDialog*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    answerer.start(20);
    auto* connectAction = window.findChild<QAction*>(QStringLiteral("actionConnect"));
    auto* startAction = window.findChild<QAction*>(QStringLiteral("actionStart"));
    if (!connectAction || !startAction)
        return 1;
    connectAction->trigger();
    if (!startAction->isEnabled()) {
        std::fprintf(stderr, "skarvel_screenshot: could not connect to a simulated sensor\n");
        return 1;
    }
    if (trigger) {
        window.findChild<QAction*>(QStringLiteral("actionTrigger"))->trigger();
        window.findChild<QComboBox*>(QStringLiteral("cmb_trigger_source"))->setCurrentIndex(6);
        window.findChild<QDoubleSpinBox*>(QStringLiteral("spin_trigger_level"))->setValue(1.5);
        window.findChild<QCheckBox*>(QStringLiteral("chk_trigger"))->setChecked(true);
        if (auto* accelZoom = window.findChild<QDial*>(QStringLiteral("dial_acc_y")))
            accelZoom->setValue(1);
    }
    startAction->trigger();
    // The resting sensor turns by a few dps: zoom the gyro graph to ±12.25 dps
    // (a knock's twist fits ±245 dps).
    if (auto* gyroZoom = window.findChild<QDial*>(QStringLiteral("dial_gyro_y")))
        gyroZoom->setValue(trigger ? 1 : 5);

    QElapsedTimer measuring;
    measuring.start();
    // A Single capture ends the measurement: Start is enabled again.
    while (measuring.elapsed() < measureMs && !(trigger && startAction->isEnabled()))
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (trigger && !startAction->isEnabled()) {
        std::fprintf(stderr, "skarvel_screenshot: no capture within %d ms\n", measureMs);
        return 1;
    }
    QElapsedTimer painting;
    painting.start();
    while (painting.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (arguments.value(3) == QLatin1String("measure") && !showMeasuring(window))
        return 1;
    if (!window.grab().save(arguments[1])) {
        std::fprintf(stderr, "skarvel_screenshot: cannot write %s\n", qPrintable(arguments[1]));
        return 1;
    }
    return 0;
}

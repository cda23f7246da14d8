// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Takes the README's picture of the program: the main window measuring on the
// first simulated sensor. Run by scripts/screenshot.sh. With --trigger: the
// trigger's dock and a capture of a knock (the sensor needs impact= in
// SKARVEL_SIM_SENSORS); SECONDS is then the longest wait for it.
//
// Usage: skarvel_screenshot OUTPUT.png [SECONDS] [--trigger]
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
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    const bool trigger = arguments.removeAll(QStringLiteral("--trigger")) > 0;
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: skarvel_screenshot OUTPUT.png [SECONDS]\n");
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
    if (!window.grab().save(arguments[1])) {
        std::fprintf(stderr, "skarvel_screenshot: cannot write %s\n", qPrintable(arguments[1]));
        return 1;
    }
    return 0;
}

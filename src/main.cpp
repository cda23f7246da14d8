// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Process entry of Skarvel Monitor.
#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/res/icon/icon.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("skarvel-monitor"));

    // Destroyed when the event loop has ended, before the application object.
    MainWindow window;
    window.show();
    return app.exec();
}

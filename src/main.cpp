// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Process entry of Skarvel Monitor.
#include "commandline.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    CommandLine::SOptions options;
    if (const std::optional<int> exitCode = CommandLine::handle(argc, argv, &options))
        return *exitCode;

    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/res/icon/icon.png")));
    // The installed desktop file and AppStream data carry the same id.
    QGuiApplication::setDesktopFileName(QStringLiteral(SKARVEL_APP_ID));

    // Destroyed when the event loop has ended, before the application object.
    const std::unique_ptr<MainWindow> window = StartUp::openWindow(options);
    return app.exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "startup.h"

#include "mainwindow.h"
#include "settingsstore.h"

std::unique_ptr<MainWindow> StartUp::openWindow(const CommandLine::SOptions& options)
{
    auto window = std::make_unique<MainWindow>();
    auto* settings = new SettingsStore(window.get());
    if (!options.resetSettings)
        settings->restoreGeometry();
    window->show();
    if (!options.resetSettings)
        settings->restore();
    if (!options.file.isEmpty())
        window->openMeasurement(options.file);
    return window;
}

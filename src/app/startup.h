// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The program's start-up once the command line is read: the window as the
// user left it (or from the defaults when told to reset), shown, with the
// command line's measurement file opened. The window saves its settings when
// it closes. Needs the application object.
#pragma once

#include "commandline.h"

#include <memory>

class MainWindow;

class StartUp
{
public:
    static std::unique_ptr<MainWindow> openWindow(const CommandLine::SOptions& options);
};

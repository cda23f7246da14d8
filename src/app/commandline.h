// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The program's command line: --help and --version, answered on the console
// before any window or display is needed; a measurement file to open and
// --reset-settings for the window.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // What the window is started with.
    struct SOptions
    {
        QString file;               // as given; empty for none
        bool resetSettings = false; // start from the defaults
    };

    // Handles the arguments that end the program before its window opens:
    // returns the exit code then, nothing when the window is to be shown
    // (with `options`, when given, filled in). Qt's own options (-platform,
    // -style, ...) are let through to the application object.
    static std::optional<int> handle(int argc, char* argv[], SOptions* options = nullptr);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The program's command line: --help and --version, answered on the console
// before any window or display is needed.
#pragma once

#include <QCoreApplication>

#include <optional>

class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // Handles the arguments that end the program before its window opens:
    // returns the exit code then, nothing when the window is to be shown.
    // Qt's own options (-platform, -style, ...) are let through to the
    // application object.
    static std::optional<int> handle(int argc, char* argv[]);
};

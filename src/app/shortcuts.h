// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The window's keyboard shortcuts, in one table: the platform's standard keys
// where one exists (Open, Save, Quit, Help), fixed keys for the rest. M,
// Escape and the arrow keys stay free for the graphs.
#pragma once

#include <QKeySequence>

#include <vector>

class QWidget;

namespace Shortcuts {

struct SEntry
{
    const char* action; // object name
    QKeySequence key;
};

// Every action with a key; the manual page lists the same.
std::vector<SEntry> table();
// Gives the window's actions their keys; actions it lacks are passed over.
void assign(QWidget* window);

} // namespace Shortcuts

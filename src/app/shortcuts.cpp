// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "shortcuts.h"

#include <QAction>
#include <QWidget>

namespace Shortcuts {

std::vector<SEntry> table()
{
    return {
        {"actionOpenMeasurement", QKeySequence::Open},
        {"actionSaveCsv", QKeySequence::Save},
        {"actionExit", QKeySequence::Quit},
        {"actionAbout", QKeySequence::HelpContents},
        // Not Ctrl+K: line edits (the time input) take it on X11.
        {"actionConnect", QKeySequence(Qt::CTRL | Qt::Key_D)},
        {"actionDisconnect", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)},
        {"actionStart", QKeySequence(Qt::Key_F5)},
        {"actionStop", QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {"actionRecord", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {"actionScreenshot", QKeySequence(Qt::CTRL | Qt::Key_P)},
        // The View menu's toggles in menu order.
        {"actionSettings", QKeySequence(Qt::CTRL | Qt::Key_1)},
        {"actionShowAcc", QKeySequence(Qt::CTRL | Qt::Key_2)},
        {"actionShowGyro", QKeySequence(Qt::CTRL | Qt::Key_3)},
        {"actionTableShow", QKeySequence(Qt::CTRL | Qt::Key_4)},
        {"actionScale", QKeySequence(Qt::CTRL | Qt::Key_5)},
        {"actionSpectrum", QKeySequence(Qt::CTRL | Qt::Key_6)},
        {"actionTrigger", QKeySequence(Qt::CTRL | Qt::Key_7)},
    };
}

void assign(QWidget* window)
{
    for (const SEntry& entry : table()) {
        if (auto* action = window->findChild<QAction*>(QLatin1String(entry.action)))
            action->setShortcut(entry.key);
    }
}

} // namespace Shortcuts

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The main window's spectrum dock: its action in the View menu and the tool
// bar, and the panel of the visible window's spectra in a tab beside the
// scaling dials. The window's Qt parent chain owns what it creates; the window
// wires the signals. GUI thread only.
#pragma once

class QAction;
class QDockWidget;
class QMainWindow;
class QPixmap;
class SpectrumPanel;
class Ui_MainWindow;

class SpectrumDock
{
public:
    // Creates the action and the dock, hidden.
    void setup(QMainWindow* window, Ui_MainWindow* ui);

    QAction* action() const { return m_action; }
    QDockWidget* dock() const { return m_dock; }
    SpectrumPanel* panel() const { return m_panel; }

    // The graphs' picture, and beside it the spectrum while it is shown.
    QPixmap besideGraphs(const QPixmap& graphs) const;

private:
    QAction* m_action = nullptr;
    QDockWidget* m_dock = nullptr;
    SpectrumPanel* m_panel = nullptr;
};

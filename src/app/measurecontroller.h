// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Measuring on the graphs, and the mouse and keys that move their view.
//
// The Measure action switches measure mode: a line under the mouse with the
// values there, cursors A and B placed by clicks and moved by dragging or the
// arrow keys, and their readout in a dock. Independently of the mode, the
// wheel steps the time window (with Ctrl the Y zoom dial, with Shift the
// shift dial), dragging scrolls the history and a double click restores the
// default view. The mouse only turns the window's own inputs (time spin box,
// scroll bar, dials) through their signals, so the graphs show what those
// inputs say. GUI thread only; the window's Qt parent chain owns what this
// creates.
#pragma once

#include "clivegraph.h"

#include <QObject>
#include <QPoint>

class CursorReadout;
class QAction;
class QDial;
class QDockWidget;
class QMainWindow;
class QMouseEvent;
class QWheelEvent;
class Ui_MainWindow;

class MeasureController : public QObject
{
    Q_OBJECT

public:
    // Time windows the wheel steps through, in seconds.
    static constexpr int TIME_WINDOW_STEPS[] = {1, 2, 5, 10, 20, 50, 100, 200, 300};
    // The window `steps` places further along TIME_WINDOW_STEPS (negative:
    // shorter); from a window between two steps the first step lands on the
    // neighbour in that direction. Stays within the first and last step.
    static int steppedTimeWindow(int seconds, int steps);
    // How near, in pixels, a press must come to a cursor to drag it.
    static constexpr int CURSOR_GRAB_DISTANCE = 4;

    // Creates the action (View menu, tool bar) and the readout dock, hidden,
    // and watches both graphs.
    void setup(QMainWindow* window, Ui_MainWindow* ui);

    QAction* action() const { return m_action; }
    QDockWidget* dock() const { return m_dock; }
    CursorReadout* readout() const { return m_readout; }
    bool measureMode() const { return m_on; }
    quint64 cursorA() const { return m_a; }
    quint64 cursorB() const { return m_b; }

signals:
    void measureModeChanged(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class EDrag
    {
        None,
        History,
        CursorA,
        CursorB
    };

    void setMeasureMode(bool on);
    bool mousePress(CLiveGraph* graph, QMouseEvent* event);
    bool mouseMove(CLiveGraph* graph, QMouseEvent* event);
    bool wheel(CLiveGraph* graph, QWheelEvent* event);
    bool key(CLiveGraph* graph, int key, Qt::KeyboardModifiers modifiers);
    void zoomTime(CLiveGraph* graph, double fraction, int steps);
    void defaultView();
    void setHover(double fraction);
    // Places A, then B, then moves the nearer one.
    void placeCursor(quint64 index);
    void setCursors(quint64 a, quint64 b);
    // Cursors whose samples left the history go.
    void dropStaleCursors();
    QDial* zoomDial(const CLiveGraph* graph) const;
    QDial* shiftDial(const CLiveGraph* graph) const;

    Ui_MainWindow* ui = nullptr;
    QAction* m_action = nullptr;
    QDockWidget* m_dock = nullptr;
    CursorReadout* m_readout = nullptr;
    bool m_on = false;
    quint64 m_a = CLiveGraph::NO_CURSOR;
    quint64 m_b = CLiveGraph::NO_CURSOR;
    bool m_lastIsB = false; // the cursor the keys move
    EDrag m_drag = EDrag::None;
    CLiveGraph* m_dragGraph = nullptr;
    QPoint m_dragStart;
    int m_dragStartValue = 0;
    int m_wheelRest = 0;
    // The view a double click restores: the inputs' values at start.
    int m_defaultSeconds = 5;
    int m_defaultDials[4] = {};
};

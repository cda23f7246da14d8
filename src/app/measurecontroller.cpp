// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "measurecontroller.h"
#include "mainwindowui.h"

#include "cursorreadout.h"

#include <QAction>
#include <QDockWidget>
#include <QIcon>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// One notch of a common mouse wheel; touchpads send less at a time.
constexpr int WHEEL_NOTCH = 120;

} // namespace

int MeasureController::steppedTimeWindow(int seconds, int steps)
{
    const int* begin = std::begin(TIME_WINDOW_STEPS);
    const int* end = std::end(TIME_WINDOW_STEPS);
    const int last = int(std::size(TIME_WINDOW_STEPS)) - 1;
    int index = 0;
    if (steps > 0) {
        // The first step above the window, then the rest.
        index = int(std::upper_bound(begin, end, seconds) - begin) + steps - 1;
    } else if (steps < 0) {
        index = int(std::lower_bound(begin, end, seconds) - begin) + steps;
    } else {
        return seconds;
    }
    return TIME_WINDOW_STEPS[std::clamp(index, 0, last)];
}

void MeasureController::setup(QMainWindow* window, Ui_MainWindow* form)
{
    ui = form;
    m_action = new QAction(QIcon(QStringLiteral(":/icons/res/png/measure_32px.png")), tr("Measure"),
                           window);
    m_action->setObjectName(QStringLiteral("actionMeasure"));
    m_action->setCheckable(true);
    m_action->setShortcut(QKeySequence(Qt::Key_M));
    m_action->setToolTip(tr("Measure: values under the mouse, cursors A and B (M)"));
    ui->menuView->addAction(m_action);
    ui->toolBar->addAction(m_action);
    connect(m_action, &QAction::toggled, this, &MeasureController::setMeasureMode);

    // A tab beside the statistics: the graphs keep the height they had.
    m_dock = new QDockWidget(tr("Cursors"), window);
    m_dock->setObjectName(QStringLiteral("dock_cursors"));
    m_dock->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    m_readout = new CursorReadout(m_dock);
    m_readout->setObjectName(QStringLiteral("cursorReadout"));
    m_dock->setWidget(m_readout);
    window->addDockWidget(Qt::BottomDockWidgetArea, m_dock);
    window->tabifyDockWidget(ui->dock_statistics, m_dock);
    m_dock->hide();
    ui->dock_statistics->raise();

    ui->widget_accel->setValueFormat(4, QStringLiteral("g"));
    ui->widget_gyro->setValueFormat(2, QStringLiteral("dps"));
    for (CLiveGraph* graph : {ui->widget_accel, ui->widget_gyro})
        graph->installEventFilter(this);
    // Both graphs take every batch; the second one's signal comes last.
    connect(ui->widget_gyro, &CLiveGraph::samplesAppended, this,
            &MeasureController::dropStaleCursors);
    connect(ui->widget_accel, &CLiveGraph::cleared, this,
            [this] { setCursors(CLiveGraph::NO_CURSOR, CLiveGraph::NO_CURSOR); });

    m_defaultSeconds = ui->spin_time->value();
    const QDial* dials[] = {ui->dial_acc_y, ui->dial_acc_move_y, ui->dial_gyro_y,
                            ui->dial_gyro_move_y};
    for (int i = 0; i < 4; ++i)
        m_defaultDials[i] = dials[i]->value();
}

void MeasureController::setMeasureMode(bool on)
{
    if (m_on == on)
        return;
    m_on = on;
    m_drag = EDrag::None;
    setCursors(CLiveGraph::NO_CURSOR, CLiveGraph::NO_CURSOR);
    for (CLiveGraph* graph : {ui->widget_accel, ui->widget_gyro}) {
        graph->setMeasureMode(on);
        // Focus lets the arrow keys reach the cursors; off, as before.
        graph->setFocusPolicy(on ? Qt::ClickFocus : Qt::NoFocus);
    }
    if (m_action->isChecked() != on)
        m_action->setChecked(on);
    if (on) {
        m_dock->show();
        m_dock->raise();
    } else {
        m_dock->hide();
    }
    emit measureModeChanged(on);
}

QDial* MeasureController::zoomDial(const CLiveGraph* graph) const
{
    return graph == ui->widget_accel ? ui->dial_acc_y : ui->dial_gyro_y;
}

QDial* MeasureController::shiftDial(const CLiveGraph* graph) const
{
    return graph == ui->widget_accel ? ui->dial_acc_move_y : ui->dial_gyro_move_y;
}

bool MeasureController::eventFilter(QObject* watched, QEvent* event)
{
    auto* graph = qobject_cast<CLiveGraph*>(watched);
    if (!graph || !ui || (graph != ui->widget_accel && graph != ui->widget_gyro))
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return mousePress(graph, static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return mouseMove(graph, static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        if (m_drag == EDrag::None)
            return false;
        m_drag = EDrag::None;
        return true;
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->position().toPoint();
        // On a legend entry the second press toggles it again, as it always did.
        if (mouse->button() != Qt::LeftButton || graph->legendEntryAt(pos) >= 0 ||
            !graph->plotRect().contains(pos))
            return false;
        defaultView();
        return true;
    }
    case QEvent::Wheel:
        return wheel(graph, static_cast<QWheelEvent*>(event));
    case QEvent::Leave:
        setHover(std::numeric_limits<double>::quiet_NaN());
        return false;
    case QEvent::KeyPress: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        return key(graph, keyEvent->key(), keyEvent->modifiers());
    }
    default:
        return false;
    }
}

bool MeasureController::mousePress(CLiveGraph* graph, QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (graph->legendEntryAt(pos) >= 0)
        return false;
    const double fraction = graph->fractionAt(event->position());
    if (std::isnan(fraction))
        return false;
    const Qt::MouseButton historyButton = m_on ? Qt::MiddleButton : Qt::LeftButton;
    if (event->button() == historyButton) {
        if (!ui->scroll_horz_graph->isEnabled())
            return false;
        m_drag = EDrag::History;
        m_dragGraph = graph;
        m_dragStart = pos;
        m_dragStartValue = ui->scroll_horz_graph->value();
        return true;
    }
    if (!m_on || event->button() != Qt::LeftButton)
        return false;

    // A press on a cursor's line takes it along; elsewhere it places one.
    const QRect inner = graph->plotRect().adjusted(1, 1, -1, -1);
    const double span = inner.right() - inner.left();
    const auto distance = [&](quint64 cursor) {
        const double f =
            cursor == CLiveGraph::NO_CURSOR ? std::nan("") : graph->fractionOfIndex(cursor);
        return std::isnan(f) ? 1e9 : std::abs(inner.left() + f * span - event->position().x());
    };
    const double toA = distance(m_a);
    const double toB = distance(m_b);
    if (std::min(toA, toB) <= CURSOR_GRAB_DISTANCE) {
        m_drag = toA <= toB ? EDrag::CursorA : EDrag::CursorB;
        m_lastIsB = m_drag == EDrag::CursorB;
        m_dragGraph = graph;
        return true;
    }
    quint64 index = 0;
    if (graph->nearestStoredIndex(fraction, index))
        placeCursor(index);
    return true;
}

bool MeasureController::mouseMove(CLiveGraph* graph, QMouseEvent* event)
{
    if (m_on)
        setHover(graph->fractionAt(event->position()));
    // Handled here in measure mode: passed on, a move would go on to the
    // window, whose dock layout looks for a separator under the mouse.
    if (m_drag == EDrag::None || graph != m_dragGraph)
        return m_on;
    if (m_drag == EDrag::History) {
        QScrollBar* scroll = ui->scroll_horz_graph;
        const double samples =
            (event->position().x() - m_dragStart.x()) * graph->samplesPerColumn();
        scroll->setValue(
            int(std::clamp(std::llround(m_dragStartValue - samples), (long long)scroll->minimum(),
                           (long long)scroll->maximum())));
        return true;
    }
    // A dragged cursor follows the mouse, held inside the plot.
    const QRect inner = graph->plotRect().adjusted(1, 1, -1, -1);
    const double x = std::clamp(event->position().x(), double(inner.left()), double(inner.right()));
    quint64 index = 0;
    if (graph->nearestStoredIndex(graph->fractionAt(QPointF(x, inner.center().y())), index)) {
        if (m_drag == EDrag::CursorA)
            setCursors(index, m_b);
        else
            setCursors(m_a, index);
    }
    return true;
}

bool MeasureController::wheel(CLiveGraph* graph, QWheelEvent* event)
{
    const double fraction = graph->fractionAt(event->position());
    if (std::isnan(fraction))
        return false;
    // Some systems turn the wheel with Shift into a horizontal one.
    const QPoint angle = event->angleDelta();
    m_wheelRest += angle.y() != 0 ? angle.y() : angle.x();
    const int steps = m_wheelRest / WHEEL_NOTCH;
    m_wheelRest -= steps * WHEEL_NOTCH;
    if (steps == 0)
        return true;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) {
        QDial* dial = modifiers & Qt::ControlModifier ? zoomDial(graph) : shiftDial(graph);
        if (dial->isEnabled())
            dial->setValue(dial->value() + steps * dial->singleStep());
        return true;
    }
    zoomTime(graph, fraction, steps);
    return true;
}

void MeasureController::zoomTime(CLiveGraph* graph, double fraction, int steps)
{
    QSpinBox* spin = ui->spin_time;
    if (!spin->isEnabled())
        return;
    const double position = graph->positionAtFraction(fraction);
    // Turning the wheel away from oneself looks closer: a shorter window.
    spin->setValue(steppedTimeWindow(spin->value(), -steps));
    QScrollBar* scroll = ui->scroll_horz_graph;
    // Following live data the right edge stays live: only a scrollable
    // history keeps the moment under the mouse where it is.
    if (!scroll->isEnabled())
        return;
    const quint64 dropped = graph->totalSampleCount() - graph->storedSampleCount();
    const double first = position - fraction * double(graph->windowSampleCount()) - double(dropped);
    scroll->setValue(int(std::clamp(std::llround(first), (long long)scroll->minimum(),
                                    (long long)scroll->maximum())));
}

void MeasureController::defaultView()
{
    if (ui->spin_time->isEnabled())
        ui->spin_time->setValue(m_defaultSeconds);
    QDial* dials[] = {ui->dial_acc_y, ui->dial_acc_move_y, ui->dial_gyro_y, ui->dial_gyro_move_y};
    for (int i = 0; i < 4; ++i)
        dials[i]->setValue(m_defaultDials[i]);
    QScrollBar* scroll = ui->scroll_horz_graph;
    scroll->setValue(ui->widget_accel->mode() == CLiveGraph::SingleShot ? scroll->minimum()
                                                                        : scroll->maximum());
}

bool MeasureController::key(CLiveGraph* graph, int key, Qt::KeyboardModifiers modifiers)
{
    if (!m_on)
        return false;
    if (key == Qt::Key_Escape) {
        setCursors(CLiveGraph::NO_CURSOR, CLiveGraph::NO_CURSOR);
        return true;
    }
    if (key != Qt::Key_Left && key != Qt::Key_Right)
        return false;
    quint64& cursor = m_lastIsB ? m_b : m_a;
    if (cursor == CLiveGraph::NO_CURSOR)
        return true;
    const quint64 stored = graph->storedSampleCount();
    if (stored == 0)
        return true;
    const quint64 total = graph->totalSampleCount();
    const quint64 first = total - stored;
    const double step =
        modifiers & Qt::ShiftModifier ? std::max(1.0, std::round(graph->samplesPerColumn())) : 1.0;
    const double moved = double(cursor) + (key == Qt::Key_Left ? -step : step);
    const quint64 index = quint64(std::clamp(moved, double(first), double(total - 1)));
    if (m_lastIsB)
        setCursors(m_a, index);
    else
        setCursors(index, m_b);
    return true;
}

void MeasureController::setHover(double fraction)
{
    ui->widget_accel->setHoverFraction(fraction);
    ui->widget_gyro->setHoverFraction(fraction);
}

void MeasureController::placeCursor(quint64 index)
{
    if (m_a == CLiveGraph::NO_CURSOR) {
        m_lastIsB = false;
        setCursors(index, m_b);
    } else if (m_b == CLiveGraph::NO_CURSOR) {
        m_lastIsB = true;
        setCursors(m_a, index);
    } else {
        const quint64 toA = index > m_a ? index - m_a : m_a - index;
        const quint64 toB = index > m_b ? index - m_b : m_b - index;
        m_lastIsB = toB < toA;
        if (m_lastIsB)
            setCursors(m_a, index);
        else
            setCursors(index, m_b);
    }
}

void MeasureController::setCursors(quint64 a, quint64 b)
{
    const bool changed = a != m_a || b != m_b;
    m_a = a;
    m_b = b;
    ui->widget_accel->setCursors(a, b);
    ui->widget_gyro->setCursors(a, b);
    if (changed || (a == CLiveGraph::NO_CURSOR && b == CLiveGraph::NO_CURSOR))
        m_readout->showCursors(*ui->widget_accel, *ui->widget_gyro, a, b);
}

void MeasureController::dropStaleCursors()
{
    if (m_a == CLiveGraph::NO_CURSOR && m_b == CLiveGraph::NO_CURSOR)
        return;
    const CLiveGraph* graph = ui->widget_accel;
    const quint64 first = graph->totalSampleCount() - graph->storedSampleCount();
    const auto stale = [first](quint64 cursor) {
        return cursor != CLiveGraph::NO_CURSOR && cursor < first;
    };
    if (stale(m_a) || stale(m_b))
        setCursors(stale(m_a) ? CLiveGraph::NO_CURSOR : m_a,
                   stale(m_b) ? CLiveGraph::NO_CURSOR : m_b);
}

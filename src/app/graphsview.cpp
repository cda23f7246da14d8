// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "graphsview.h"
#include "mainwindow.h"
#include "mainwindowui.h"

#include "measurementsession.h"
#include "skarvelprotocol.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// The graph texts belong to the window.
QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void GraphsView::setup()
{
    ui->widget_accel->setTitle(tr("Acceleration"));
    ui->widget_accel->setYAxisLabel(tr("[g]"));
    ui->widget_accel->addSeries(QStringLiteral("X"), MaterialColor::Red);
    ui->widget_accel->addSeries(QStringLiteral("Y"), MaterialColor::Green);
    ui->widget_accel->addSeries(QStringLiteral("Z"), MaterialColor::Blue);

    ui->widget_gyro->setTitle(tr("Angular rate"));
    ui->widget_gyro->setYAxisLabel(tr("[dps]"));
    ui->widget_gyro->addSeries(QStringLiteral("rX"), MaterialColor::Red);
    ui->widget_gyro->addSeries(QStringLiteral("rY"), MaterialColor::Green);
    ui->widget_gyro->addSeries(QStringLiteral("rZ"), MaterialColor::Blue);

    ui->widget_accel->setSampleRate(skarvel::SAMPLE_RATE);
    ui->widget_gyro->setSampleRate(skarvel::SAMPLE_RATE);

    ui->cmb_display->addItem(tr("Continue"));
    ui->cmb_display->addItem(tr("Overwrite"));
    ui->cmb_display->addItem(tr("Single Shot"));

    ui->spin_time->setRange(1, 300);
    ui->spin_time->setSuffix(tr(" s"));
    ui->spin_time->setValue(5);
}

void GraphsView::setTimeWindow(int seconds)
{
    ui->widget_accel->setTimeWindow(double(seconds));
    ui->widget_gyro->setTimeWindow(double(seconds));
}

bool GraphsView::setMode(int index)
{
    if (index < CLiveGraph::Continue || index > CLiveGraph::SingleShot)
        return false;
    const auto mode = static_cast<CLiveGraph::EMode>(index);
    ui->widget_accel->setMode(mode);
    ui->widget_gyro->setMode(mode);
    return true;
}

void GraphsView::clear()
{
    ui->widget_accel->clear();
    ui->widget_gyro->clear();
}

bool GraphsView::isSingleShot() const
{
    return ui->widget_accel->mode() == CLiveGraph::SingleShot;
}

quint64 GraphsView::windowSampleCount() const
{
    return MeasurementSession::windowSampleCount(ui->spin_time->value());
}

quint64 GraphsView::singleShotRemaining() const
{
    const quint64 target = windowSampleCount();
    const quint64 stored = ui->widget_accel->storedSampleCount();
    return stored >= target ? 0 : target - stored;
}

quint64 GraphsView::capacity() const
{
    return isSingleShot() ? windowSampleCount() : ui->widget_accel->maxSampleCount();
}

void GraphsView::updateTimeScroll(bool snapToDefault, bool measuring)
{
    QScrollBar* scroll = ui->scroll_horz_graph;
    const quint64 stored = ui->widget_accel->storedSampleCount();
    const quint64 window = windowSampleCount();
    const int maxPos = window < stored ? int(stored - window) : 0;

    const int old = scroll->value();
    const int oldDefault = defaultScrollPosition();
    {
        const QSignalBlocker blocker(scroll);
        scroll->setRange(0, maxPos);
        scroll->setPageStep(int(window));
        scroll->setSingleStep(std::max(1, int(window / 10)));
        if (old == oldDefault || snapToDefault)
            scroll->setValue(isSingleShot() ? 0 : scroll->maximum());
    }
    scroll->setEnabled(maxPos > 0 && !measuring);
    showFrom(scroll->value(), measuring);
}

int GraphsView::defaultScrollPosition() const
{
    return isSingleShot() ? 0 : ui->scroll_horz_graph->maximum();
}

void GraphsView::showFrom(int position, bool measuring)
{
    CLiveGraph* graphs[] = {ui->widget_accel, ui->widget_gyro};
    // Without a manual view start the graphs follow the data (or, in Single
    // Shot, stay at the first sample): that is the scroll bar's default position.
    const bool automatic = measuring || position == defaultScrollPosition();
    for (CLiveGraph* graph : graphs) {
        if (automatic)
            graph->resetView();
        else
            graph->setViewStart(quint64(position));
    }
}

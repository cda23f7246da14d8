// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "spectrumdock.h"
#include "mainwindowui.h"

#include "skarvelprotocol.h"
#include "spectrumpanel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

// The dock is part of the window: its texts belong to the window.
QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void SpectrumDock::setup(QMainWindow* window, Ui_MainWindow* ui)
{
    m_action = new QAction(tr("Show/Hide Spectrum"), window);
    m_action->setObjectName(QStringLiteral("actionSpectrum"));
    m_action->setToolTip(tr("Show/Hide Spectrum of the Visible Window"));
    ui->menuView->addAction(m_action);
    ui->toolBar->addAction(m_action);

    // Hidden until asked for: the window starts as it always did, and a hidden
    // spectrum computes nothing.
    m_dock = new QDockWidget(tr("Spectrum (Visible Window)"), window);
    m_dock->setObjectName(QStringLiteral("dock_spectrum"));
    m_panel = new SpectrumPanel(ui->widget_accel, ui->widget_gyro, skarvel::SAMPLE_RATE, m_dock);
    m_panel->setObjectName(QStringLiteral("spectrumPanel"));
    m_dock->setWidget(m_panel);
    // A tab beside the scaling dials: below them the spectra would get a sliver
    // of the column. While its tab is not in front the panel is hidden and idle.
    window->addDockWidget(Qt::RightDockWidgetArea, m_dock);
    window->tabifyDockWidget(ui->dock_scale, m_dock);
    m_dock->hide();
}

QPixmap SpectrumDock::besideGraphs(const QPixmap& graphs) const
{
    if (m_dock->isHidden() || !m_panel->isVisible())
        return graphs;
    const QPixmap spectrum = m_panel->grab();
    QPixmap picture(graphs.width() + spectrum.width(),
                    std::max(graphs.height(), spectrum.height()));
    picture.setDevicePixelRatio(graphs.devicePixelRatio());
    picture.fill(m_dock->parentWidget()->palette().color(QPalette::Window)); // the window's
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, graphs);
    painter.drawPixmap(QPointF(graphs.deviceIndependentSize().width(), 0), spectrum);
    return picture;
}

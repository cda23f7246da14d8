// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "scaleview.h"
#include "mainwindowui.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

namespace {

constexpr int Y_SCALE_FACTORS[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};

const QChar PLUS_MINUS(0x00B1);

void applyScale(CLiveGraph* graph, const QDial* zoom, const QDial* shift, QLabel* zoomLabel,
                QLabel* shiftLabel, const char* unitText, double fullScale)
{
    const QString unit = QCoreApplication::translate("MainWindow", unitText);
    const int factorIndex = std::clamp(zoom->value() - 1, 0, int(std::size(Y_SCALE_FACTORS)) - 1);
    const double half = fullScale / Y_SCALE_FACTORS[factorIndex];
    const double offset = shift->value() * fullScale / 100.0;
    graph->setYRange(offset - half, offset + half);
    zoomLabel->setText(PLUS_MINUS + unit.arg(half));
    shiftLabel->setText(unit.arg(offset));
}

} // namespace

void ScaleView::setup()
{
    ui->dial_acc_y->setRange(1, 10);
    ui->dial_gyro_y->setRange(1, 10);
    for (QDial* dial : {ui->dial_acc_move_y, ui->dial_gyro_move_y}) {
        dial->setRange(-100, 100);
        dial->setSingleStep(1);
        dial->setPageStep(10);
        dial->setValue(0);
    }
}

void ScaleView::apply(const SSkarvelParams& ranges)
{
    applyScale(ui->widget_accel, ui->dial_acc_y, ui->dial_acc_move_y, ui->lb_acc_y,
               ui->lb_acc_move_y, QT_TRANSLATE_NOOP("MainWindow", "%1 g"),
               skarvel::accelFullScale(ranges.accelRange));
    applyScale(ui->widget_gyro, ui->dial_gyro_y, ui->dial_gyro_move_y, ui->lb_gyro_y,
               ui->lb_gyro_move_y, QT_TRANSLATE_NOOP("MainWindow", "%1 dps"),
               skarvel::gyroFullScale(ranges.gyroRange));
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "statisticsview.h"
#include "mainwindowui.h"
#include "measurementsession.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QTableWidgetItem>

#include <cstddef>

namespace {

void setPeakCell(QTableWidgetItem* item, double value, int decimals, double fullScale)
{
    item->setText(QString::number(value, 'f', decimals));
    if (MeasurementSession::nearFullScale(value, fullScale))
        item->setForeground(QBrush(Qt::red));
    else
        item->setData(Qt::ForegroundRole, QVariant());
}

void clearCells(QTableWidget* table, int row, int firstColumn)
{
    for (int column = firstColumn; column <= 6; ++column)
        table->item(row, column)->setText(QString());
}

} // namespace

void StatisticsView::setup()
{
    QTableWidget* table = ui->tw_statistics;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString unit = QCoreApplication::translate("MainWindow", row < 3 ? "[g]" : "[dps]");
        const QTableWidgetItem* header = table->verticalHeaderItem(row);
        const QString name = header ? header->text() : QString();
        table->setItem(row, 0, new QTableWidgetItem(name + QLatin1Char(' ') + unit));
        for (int column = 1; column < table->columnCount(); ++column) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, item);
        }
    }
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFixedHeight(table->horizontalHeader()->sizeHint().height() +
                          table->rowCount() * table->verticalHeader()->defaultSectionSize() +
                          2 * table->frameWidth());
}

void StatisticsView::update(const MeasurementSession& session, const SSkarvelParams& ranges)
{
    if (ui->dock_statistics->isHidden())
        return;

    const CLiveGraph* accel = ui->widget_accel;
    const quint64 stored = accel->storedSampleCount();
    const MeasurementSession::SRange range = session.statisticsRange(
        stored, ui->cmb_dataview->currentIndex() == 1, accel->visibleBegin(), accel->visibleEnd());
    const double accelFullScale = skarvel::accelFullScale(ranges.accelRange);
    const double gyroFullScale = skarvel::gyroFullScale(ranges.gyroRange);

    QTableWidget* table = ui->tw_statistics;
    for (int row = 0; row < table->rowCount(); ++row) {
        const bool isAccel = row < 3;
        const CLiveGraph* graph = isAccel ? ui->widget_accel : ui->widget_gyro;
        const int series = isAccel ? row : row - 3;
        const int decimals = isAccel ? 4 : 2;
        const double fullScale = isAccel ? accelFullScale : gyroFullScale;

        if (stored == 0) {
            clearCells(table, row, 1);
            continue;
        }
        table->item(row, 1)->setText(QString::number(session.latestRaw()[std::size_t(row)]));
        table->item(row, 2)->setText(
            QString::number(double(graph->storedSample(series, stored - 1)), 'f', decimals));
        if (range.begin == range.end) {
            clearCells(table, row, 3);
            continue;
        }
        const MeasurementSession::SSeriesStatistics statistics =
            MeasurementSession::seriesStatistics(*graph, series, range, decimals);
        setPeakCell(table->item(row, 3), statistics.minimum, decimals, fullScale);
        setPeakCell(table->item(row, 4), statistics.maximum, decimals, fullScale);
        table->item(row, 5)->setText(
            QString::number(statistics.maximum - statistics.minimum, 'f', decimals));
        table->item(row, 6)->setText(QString::number(statistics.mean, 'f', decimals));
    }
}

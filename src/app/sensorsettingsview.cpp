// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "sensorsettingsview.h"
#include "mainwindowui.h"

#include "sensorsettingstexts.h"

#include <QSignalBlocker>

namespace {

void addChoices(QComboBox* combo, const QList<SensorSettingsTexts::SChoice>& choices)
{
    for (const SensorSettingsTexts::SChoice& choice : choices)
        combo->addItem(choice.text, int(choice.value));
}

uint8_t lowByte(const QVariant& data)
{
    return static_cast<uint8_t>(data.toInt() & 0xFF);
}

} // namespace

void SensorSettingsView::fill()
{
    addChoices(ui->cmb_acc, SensorSettingsTexts::accelRanges());
    addChoices(ui->cmb_gyro, SensorSettingsTexts::gyroRanges());
    addChoices(ui->cmb_acc_filter, SensorSettingsTexts::accelFilters());
    addChoices(ui->cmb_gyro_hp, SensorSettingsTexts::gyroHighPasses());
}

void SensorSettingsView::fillAccelCutoff(int mode)
{
    const QSignalBlocker blocker(ui->cmb_acc_cutoff);
    ui->cmb_acc_cutoff->clear();
    addChoices(ui->cmb_acc_cutoff, SensorSettingsTexts::accelCutoffs(uint8_t(mode)));
    ui->cmb_acc_cutoff->setCurrentIndex(0);
}

SSkarvelParams SensorSettingsView::params(SSkarvelParams base) const
{
    base.accelRange = lowByte(ui->cmb_acc->currentData());
    base.accelFilter = skarvel::encodeAccelFilter({lowByte(ui->cmb_acc_filter->currentData()),
                                                   lowByte(ui->cmb_acc_cutoff->currentData()),
                                                   ui->chk_acc_low_latency->isChecked()});
    base.gyroRange = lowByte(ui->cmb_gyro->currentData());
    base.gyroHighPass = lowByte(ui->cmb_gyro_hp->currentData());
    return base;
}

void SensorSettingsView::show(const SSkarvelParams& params)
{
    const QSignalBlocker blockAcc(ui->cmb_acc);
    const QSignalBlocker blockGyro(ui->cmb_gyro);
    const QSignalBlocker blockFilter(ui->cmb_acc_filter);
    const QSignalBlocker blockCutoff(ui->cmb_acc_cutoff);
    const QSignalBlocker blockLowLatency(ui->chk_acc_low_latency);
    const QSignalBlocker blockHighPass(ui->cmb_gyro_hp);

    ui->cmb_acc->setCurrentIndex(ui->cmb_acc->findData(int(params.accelRange)));
    ui->cmb_gyro->setCurrentIndex(ui->cmb_gyro->findData(int(params.gyroRange)));
    ui->cmb_gyro_hp->setCurrentIndex(ui->cmb_gyro_hp->findData(int(params.gyroHighPass)));

    const skarvel::SAccelFilter filter = skarvel::decodeAccelFilter(params.accelFilter);
    ui->cmb_acc_filter->setCurrentIndex(ui->cmb_acc_filter->findData(int(filter.mode)));
    fillAccelCutoff(filter.mode);
    ui->cmb_acc_cutoff->setCurrentIndex(ui->cmb_acc_cutoff->findData(int(filter.cutoff)));
    ui->chk_acc_low_latency->setChecked(filter.lowLatency);
}

void SensorSettingsView::setConnected(bool connected)
{
    for (QComboBox* combo :
         {ui->cmb_acc, ui->cmb_gyro, ui->cmb_acc_filter, ui->cmb_acc_cutoff, ui->cmb_gyro_hp})
        combo->setEnabled(connected);
    updateLowLatencyEnabled(connected);
}

void SensorSettingsView::updateLowLatencyEnabled(bool connected)
{
    ui->chk_acc_low_latency->setEnabled(
        lowByte(ui->cmb_acc_filter->currentData()) == skarvel::ACCEL_FILTER_LP2 && connected);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "sensorsettingsview.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QSignalBlocker>

#include <cstddef>

namespace {

using skarvel::ACCEL_FILTER_HP;
using skarvel::ACCEL_FILTER_LP1;
using skarvel::ACCEL_FILTER_LP2;

struct SFilterEntry
{
    const char* text; // Latin-1, shown untranslated (also written into CSV files)
    uint8_t value;
};

constexpr SFilterEntry ACCEL_FILTERS[] = {
    {"LP1 only", ACCEL_FILTER_LP1}, {"LP1 + LP2", ACCEL_FILTER_LP2}, {"LP1 + HP", ACCEL_FILTER_HP}};
// The cutoff codes are the filter byte's cutoff bits (LP1: the bandwidth bit).
constexpr SFilterEntry ACCEL_CUTOFFS_LP1[] = {{"208.25 Hz", skarvel::ACCEL_FILTER_LP1_NARROW},
                                              {"416.5 Hz", 0x00}};
constexpr SFilterEntry ACCEL_CUTOFFS_LP2[] = {
    {"2.08 Hz", 0x03}, {"8.33 Hz", 0x01}, {"16.66 Hz", 0x00}, {"92.56 Hz", 0x02}};
constexpr SFilterEntry ACCEL_CUTOFFS_HP[] = {
    {"2.08 Hz", 0x03}, {"8.33 Hz", 0x01}, {"92.56 Hz", 0x02}, {"208.25 Hz", 0x00}};
constexpr SFilterEntry GYRO_HIGH_PASSES[] = {{"Off", 0x00},
                                             {"16 mHz", skarvel::GYRO_HP_ON | 0x00},
                                             {"65 mHz", skarvel::GYRO_HP_ON | 0x01},
                                             {"260 mHz", skarvel::GYRO_HP_ON | 0x02},
                                             {"1.04 Hz", skarvel::GYRO_HP_ON | 0x03}};

const QChar PLUS_MINUS(0x00B1);

template <std::size_t N> void addFilterEntries(QComboBox* combo, const SFilterEntry (&entries)[N])
{
    for (const SFilterEntry& entry : entries)
        combo->addItem(QString::fromLatin1(entry.text), int(entry.value));
}

template <std::size_t N>
void addRanges(QComboBox* combo, const skarvel::SRange (&ranges)[N], const char* unitText)
{
    for (const skarvel::SRange& range : ranges)
        combo->addItem(PLUS_MINUS +
                           QCoreApplication::translate("MainWindow", unitText)
                               .arg(range.fullScale, 0, 'g', QLocale::FloatingPointShortest),
                       int(range.code));
}

uint8_t lowByte(const QVariant& data)
{
    return static_cast<uint8_t>(data.toInt() & 0xFF);
}

template <std::size_t N> int entryValue(const SFilterEntry (&entries)[N], const QString& text)
{
    for (const SFilterEntry& entry : entries) {
        if (text == QLatin1String(entry.text))
            return entry.value;
    }
    return -1;
}

// The cutoff bits a cutoff text stands for in a filter mode; -1 for none.
int accelCutoffValue(int mode, const QString& text)
{
    if (mode == ACCEL_FILTER_LP2)
        return entryValue(ACCEL_CUTOFFS_LP2, text);
    if (mode == ACCEL_FILTER_HP)
        return entryValue(ACCEL_CUTOFFS_HP, text);
    return entryValue(ACCEL_CUTOFFS_LP1, text);
}

} // namespace

void SensorSettingsView::fill()
{
    addRanges(ui->cmb_acc, skarvel::ACCEL_RANGES, QT_TRANSLATE_NOOP("MainWindow", "%1 g"));
    addRanges(ui->cmb_gyro, skarvel::GYRO_RANGES, QT_TRANSLATE_NOOP("MainWindow", "%1 dps"));
    addFilterEntries(ui->cmb_acc_filter, ACCEL_FILTERS);
    addFilterEntries(ui->cmb_gyro_hp, GYRO_HIGH_PASSES);
}

void SensorSettingsView::fillAccelCutoff(int mode)
{
    const QSignalBlocker blocker(ui->cmb_acc_cutoff);
    ui->cmb_acc_cutoff->clear();
    if (mode == ACCEL_FILTER_LP2)
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_LP2);
    else if (mode == ACCEL_FILTER_HP)
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_HP);
    else
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_LP1);
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

QList<QPair<QString, QString>> SensorSettingsView::settingsTexts() const
{
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("MainWindow", text);
    };
    return {{tr("Acceleration range"), ui->cmb_acc->currentText()},
            {tr("Gyro range"), ui->cmb_gyro->currentText()},
            {tr("Accel filter"), ui->cmb_acc_filter->currentText()},
            {tr("Accel cutoff"), ui->cmb_acc_cutoff->currentText()},
            {tr("Accel low latency"), ui->chk_acc_low_latency->isChecked() ? tr("Yes") : tr("No")},
            {tr("Gyro high pass"), ui->cmb_gyro_hp->currentText()}};
}

bool SensorSettingsView::paramsFromTexts(const QList<QPair<QString, QString>>& settings,
                                         SSkarvelParams& params, int& unknown) const
{
    const QList<QPair<QString, QString>> labels = settingsTexts();
    for (unknown = 0; unknown < labels.size(); ++unknown) {
        if (unknown >= settings.size() || settings.at(unknown).first != labels.at(unknown).first)
            return false;
    }
    if (settings.size() != labels.size())
        return false;
    const auto data = [&](int index, const QComboBox* combo) {
        unknown = index;
        const int item = combo->findText(settings.at(index).second);
        return item < 0 ? -1 : int(lowByte(combo->itemData(item)));
    };
    const int accelRange = data(0, ui->cmb_acc);
    const int gyroRange = accelRange < 0 ? -1 : data(1, ui->cmb_gyro);
    const int mode = gyroRange < 0 ? -1 : data(2, ui->cmb_acc_filter);
    if (mode < 0)
        return false;
    unknown = 3;
    const int cutoff = accelCutoffValue(mode, settings.at(3).second);
    if (cutoff < 0)
        return false;
    unknown = 4;
    const QString yes = QCoreApplication::translate("MainWindow", "Yes");
    const QString lowLatency = settings.at(4).second;
    if (lowLatency != yes && lowLatency != QCoreApplication::translate("MainWindow", "No"))
        return false;
    const int highPass = data(5, ui->cmb_gyro_hp);
    if (highPass < 0)
        return false;
    params.accelRange = uint8_t(accelRange);
    params.gyroRange = uint8_t(gyroRange);
    params.accelFilter =
        skarvel::encodeAccelFilter({uint8_t(mode), uint8_t(cutoff), lowLatency == yes});
    params.gyroHighPass = uint8_t(highPass);
    unknown = -1;
    return true;
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
        lowByte(ui->cmb_acc_filter->currentData()) == ACCEL_FILTER_LP2 && connected);
}

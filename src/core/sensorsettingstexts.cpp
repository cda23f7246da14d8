// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "sensorsettingstexts.h"

#include "skarvelprotocol.h"

#include <QCoreApplication>
#include <QLocale>

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

// The settings panel's texts belong to the window's translation context.
QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

template <std::size_t N>
QList<SensorSettingsTexts::SChoice> choices(const SFilterEntry (&entries)[N])
{
    QList<SensorSettingsTexts::SChoice> list;
    for (const SFilterEntry& entry : entries)
        list.append({QString::fromLatin1(entry.text), entry.value});
    return list;
}

template <std::size_t N>
QList<SensorSettingsTexts::SChoice> ranges(const skarvel::SRange (&table)[N], const char* unitText)
{
    QList<SensorSettingsTexts::SChoice> list;
    for (const skarvel::SRange& range : table)
        list.append(
            {PLUS_MINUS + tr(unitText).arg(range.fullScale, 0, 'g', QLocale::FloatingPointShortest),
             range.code});
    return list;
}

// The value of the choice with this text; -1 for none.
int valueOf(const QList<SensorSettingsTexts::SChoice>& list, const QString& text)
{
    for (const SensorSettingsTexts::SChoice& choice : list) {
        if (choice.text == text)
            return choice.value;
    }
    return -1;
}

} // namespace

QList<SensorSettingsTexts::SChoice> SensorSettingsTexts::accelRanges()
{
    return ranges(skarvel::ACCEL_RANGES, QT_TRANSLATE_NOOP("MainWindow", "%1 g"));
}

QList<SensorSettingsTexts::SChoice> SensorSettingsTexts::gyroRanges()
{
    return ranges(skarvel::GYRO_RANGES, QT_TRANSLATE_NOOP("MainWindow", "%1 dps"));
}

QList<SensorSettingsTexts::SChoice> SensorSettingsTexts::accelFilters()
{
    return choices(ACCEL_FILTERS);
}

QList<SensorSettingsTexts::SChoice> SensorSettingsTexts::accelCutoffs(uint8_t mode)
{
    if (mode == ACCEL_FILTER_LP2)
        return choices(ACCEL_CUTOFFS_LP2);
    if (mode == ACCEL_FILTER_HP)
        return choices(ACCEL_CUTOFFS_HP);
    return choices(ACCEL_CUTOFFS_LP1);
}

QList<SensorSettingsTexts::SChoice> SensorSettingsTexts::gyroHighPasses()
{
    return choices(GYRO_HIGH_PASSES);
}

QString SensorSettingsTexts::yes()
{
    return tr("Yes");
}

QString SensorSettingsTexts::no()
{
    return tr("No");
}

QString SensorSettingsTexts::textOf(const QList<SChoice>& choices, uint8_t value)
{
    for (const SChoice& choice : choices) {
        if (choice.value == value)
            return choice.text;
    }
    return QString();
}

QStringList SensorSettingsTexts::labels()
{
    return {tr("Acceleration range"), tr("Gyro range"),        tr("Accel filter"),
            tr("Accel cutoff"),       tr("Accel low latency"), tr("Gyro high pass")};
}

QList<QPair<QString, QString>> SensorSettingsTexts::texts(const SSkarvelParams& params)
{
    const skarvel::SAccelFilter filter = skarvel::decodeAccelFilter(params.accelFilter);
    const QStringList label = labels();
    return {{label[0], textOf(accelRanges(), params.accelRange)},
            {label[1], textOf(gyroRanges(), params.gyroRange)},
            {label[2], textOf(accelFilters(), filter.mode)},
            {label[3], textOf(accelCutoffs(filter.mode), filter.cutoff)},
            {label[4], filter.lowLatency ? yes() : no()},
            {label[5], textOf(gyroHighPasses(), params.gyroHighPass)}};
}

bool SensorSettingsTexts::paramsFromTexts(const QList<QPair<QString, QString>>& settings,
                                          SSkarvelParams& params, int& unknown)
{
    const QStringList label = labels();
    for (unknown = 0; unknown < label.size(); ++unknown) {
        if (unknown >= settings.size() || settings.at(unknown).first != label.at(unknown))
            return false;
    }
    if (settings.size() != label.size())
        return false;
    const auto value = [&](int index, const QList<SChoice>& list) {
        unknown = index;
        return valueOf(list, settings.at(index).second);
    };
    const int accelRange = value(0, accelRanges());
    const int gyroRange = accelRange < 0 ? -1 : value(1, gyroRanges());
    const int mode = gyroRange < 0 ? -1 : value(2, accelFilters());
    const int cutoff = mode < 0 ? -1 : value(3, accelCutoffs(uint8_t(mode)));
    if (cutoff < 0)
        return false;
    unknown = 4;
    const QString lowLatency = settings.at(4).second;
    if (lowLatency != yes() && lowLatency != no())
        return false;
    const int highPass = value(5, gyroHighPasses());
    if (highPass < 0)
        return false;
    params.accelRange = uint8_t(accelRange);
    params.gyroRange = uint8_t(gyroRange);
    params.accelFilter =
        skarvel::encodeAccelFilter({uint8_t(mode), uint8_t(cutoff), lowLatency == yes()});
    params.gyroHighPass = uint8_t(highPass);
    unknown = -1;
    return true;
}

CsvWriter::SHeader SensorSettingsTexts::fileHeader(const QDateTime& date,
                                                   const QString& serialNumber, uint16_t firmware,
                                                   const SSkarvelParams& params)
{
    CsvWriter::SHeader header;
    header.date = date;
    header.serialNumber = serialNumber;
    header.firmware = firmware;
    header.settings = texts(params);
    header.sampleRate = skarvel::SAMPLE_RATE;
    return header;
}

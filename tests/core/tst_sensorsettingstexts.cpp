// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The settings as files and command lines name them: every configuration
// there is survives the way into texts and back, texts that name no choice
// are found, and the header reads as the program's files always have.
#include "csvwriter.h"
#include "sensorsettingstexts.h"
#include "skarvelprotocol.h"

#include <QBuffer>
#include <QTest>

namespace {

using Settings = QList<QPair<QString, QString>>;

Settings defaults()
{
    return SensorSettingsTexts::texts(SSkarvelParams());
}

} // namespace

class tst_SensorSettingsTexts : public QObject
{
    Q_OBJECT

private slots:
    void everyConfigurationRoundTrips();
    void unknownSetting_data();
    void unknownSetting();
    void headerAsWritten();
};

void tst_SensorSettingsTexts::everyConfigurationRoundTrips()
{
    int configurations = 0;
    for (const auto& accel : SensorSettingsTexts::accelRanges())
        for (const auto& gyro : SensorSettingsTexts::gyroRanges())
            for (const auto& mode : SensorSettingsTexts::accelFilters())
                for (const auto& cutoff : SensorSettingsTexts::accelCutoffs(mode.value))
                    for (bool lowLatency : {false, true}) {
                        if (lowLatency && mode.value != skarvel::ACCEL_FILTER_LP2)
                            continue;
                        for (const auto& highPass : SensorSettingsTexts::gyroHighPasses()) {
                            SSkarvelParams params;
                            params.accelRange = accel.value;
                            params.gyroRange = gyro.value;
                            params.accelFilter =
                                skarvel::encodeAccelFilter({mode.value, cutoff.value, lowLatency});
                            params.gyroHighPass = highPass.value;
                            QVERIFY(
                                skarvel::validFilterBytes(params.accelFilter, params.gyroHighPass));
                            const Settings texts = SensorSettingsTexts::texts(params);
                            const QStringList expected = {accel.text,
                                                          gyro.text,
                                                          mode.text,
                                                          cutoff.text,
                                                          lowLatency ? SensorSettingsTexts::yes()
                                                                     : SensorSettingsTexts::no(),
                                                          highPass.text};
                            for (int i = 0; i < texts.size(); ++i)
                                QCOMPARE(texts[i].second, expected[i]);
                            SSkarvelParams back;
                            back.accelRange = 0xEE;
                            int unknown = 0;
                            QVERIFY(SensorSettingsTexts::paramsFromTexts(texts, back, unknown));
                            QCOMPARE(unknown, -1);
                            QCOMPARE(back.accelRange, params.accelRange);
                            QCOMPARE(back.gyroRange, params.gyroRange);
                            QCOMPARE(back.accelFilter, params.accelFilter);
                            QCOMPARE(back.gyroHighPass, params.gyroHighPass);
                            ++configurations;
                        }
                    }
    // 4 x 5 accelerometer and gyro ranges, 2 + 4 x 2 + 4 filters, 5 high passes.
    QCOMPARE(configurations, 4 * 5 * 14 * 5);
}

void tst_SensorSettingsTexts::unknownSetting_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<int>("unknown");

    Settings settings = defaults();
    settings.removeLast();
    QTest::newRow("a line missing") << settings << 5;
    settings = defaults();
    settings.append({QStringLiteral("Gyro filter"), QStringLiteral("Off")});
    QTest::newRow("a line more") << settings << 6;
    settings = defaults();
    settings.swapItemsAt(0, 1);
    QTest::newRow("lines swapped") << settings << 0;
    settings = defaults();
    settings[0].second = QStringLiteral("±3 g");
    QTest::newRow("±3 g") << settings << 0;
    settings = defaults();
    settings[1].second = QStringLiteral("±250 dps");
    QTest::newRow("±250 dps") << settings << 1;
    settings = defaults();
    settings[2].second = QStringLiteral("LP2 only");
    QTest::newRow("LP2 only") << settings << 2;
    settings = defaults();
    settings[3].second = QStringLiteral("2.08 Hz"); // an LP2 and HP cutoff, not LP1's
    QTest::newRow("2.08 Hz with LP1 only") << settings << 3;
    settings = defaults();
    settings[4].second = QStringLiteral("yes");
    QTest::newRow("low latency yes") << settings << 4;
    settings = defaults();
    settings[5].second = QStringLiteral("16 Hz");
    QTest::newRow("16 Hz high pass") << settings << 5;
}

void tst_SensorSettingsTexts::unknownSetting()
{
    QFETCH(Settings, settings);
    QFETCH(int, unknown);

    SSkarvelParams params;
    params.accelRange = 3;
    int found = -1;
    QVERIFY(!SensorSettingsTexts::paramsFromTexts(settings, params, found));
    QCOMPARE(found, unknown);
    QCOMPARE(params.accelRange, uint8_t(3)); // nothing taken from a refused file
}

void tst_SensorSettingsTexts::headerAsWritten()
{
    SSkarvelParams params;
    params.accelRange = 3; // ±8 g
    params.gyroRange = 6;  // ±2000 dps
    params.accelFilter = skarvel::encodeAccelFilter({skarvel::ACCEL_FILTER_LP2, 0x03, true});
    params.gyroHighPass = skarvel::GYRO_HP_ON | 0x01;
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    {
        CsvWriter writer(&buffer);
        writer.writeHeader(
            SensorSettingsTexts::fileHeader(QDateTime(QDate(2026, 12, 6), QTime(19, 30)),
                                            QStringLiteral("SKV-000117"), 0x0102, params));
        QVERIFY(writer.flush());
    }
    QVERIFY(buffer.data().startsWith("\xEF\xBB\xBF"));
    const QStringList written = QString::fromUtf8(buffer.data().mid(3)).split(QLatin1Char('\n'));
    QCOMPARE(written, QStringLiteral("Skarvel Monitor;" SKARVEL_VERSION "\n"
                                     "Date;2026-12-06 19:30:00\n"
                                     "Device SN;SKV-000117\n"
                                     "Firmware;0102\n"
                                     "\n"
                                     "[Settings]\n"
                                     "Acceleration range;±8 g\n"
                                     "Gyro range;±2000 dps\n"
                                     "Accel filter;LP1 + LP2\n"
                                     "Accel cutoff;2.08 Hz\n"
                                     "Accel low latency;Yes\n"
                                     "Gyro high pass;65 mHz\n"
                                     "Sample rate [Hz];833\n"
                                     "\n"
                                     "[Data]\n"
                                     "Time [s];X [g];Y [g];Z [g];rX [dps];rY [dps];rZ [dps]\n")
                          .split(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(tst_SensorSettingsTexts)
#include "tst_sensorsettingstexts.moc"

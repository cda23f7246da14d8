// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "skarvelprotocol.h"

#include <QTest>

class tst_SkarvelProtocol : public QObject
{
    Q_OBJECT

private slots:
    void accelFilter_data();
    void accelFilter();
    void lowLatencyOnlyInLp2();
    void validFilterBytes_data();
    void validFilterBytes();
    void ranges();
};

void tst_SkarvelProtocol::accelFilter_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<bool>("lowLatency");

    QTest::newRow("0x00 LP1 wide") << 0x00 << 0x00 << 0x00 << false;
    QTest::newRow("0x20 LP1 narrow") << 0x20 << 0x00 << 0x20 << false;
    QTest::newRow("0x80 LP2 16.66 Hz") << 0x80 << 0x80 << 0x00 << false;
    QTest::newRow("0x83 LP2 2.08 Hz") << 0x83 << 0x80 << 0x03 << false;
    QTest::newRow("0xA1 LP2 low latency") << 0xA1 << 0x80 << 0x01 << true;
    QTest::newRow("0xC2 HP 92.56 Hz") << 0xC2 << 0xC0 << 0x02 << false;
}

// What the panel shows for a filter byte, and back to the same byte.
void tst_SkarvelProtocol::accelFilter()
{
    QFETCH(int, bits);
    QFETCH(int, mode);
    QFETCH(int, cutoff);
    QFETCH(bool, lowLatency);
    const skarvel::SAccelFilter filter = skarvel::decodeAccelFilter(uint8_t(bits));
    QCOMPARE(int(filter.mode), mode);
    QCOMPARE(int(filter.cutoff), cutoff);
    QCOMPARE(filter.lowLatency, lowLatency);
    QCOMPARE(int(skarvel::encodeAccelFilter(filter)), bits);
}

void tst_SkarvelProtocol::lowLatencyOnlyInLp2()
{
    QCOMPARE(int(skarvel::encodeAccelFilter({skarvel::ACCEL_FILTER_HP, 0x01, true})), 0xC1);
    QCOMPARE(int(skarvel::encodeAccelFilter({skarvel::ACCEL_FILTER_LP1, 0x00, true})), 0x00);
}

void tst_SkarvelProtocol::validFilterBytes_data()
{
    QTest::addColumn<int>("accel");
    QTest::addColumn<int>("gyro");
    QTest::addColumn<bool>("valid");

    QTest::newRow("all zero") << 0x00 << 0x00 << true;
    QTest::newRow("LP2 low latency, HP 1.04 Hz") << 0xA3 << 0x83 << true;
    QTest::newRow("accel reserved bit 2") << 0x04 << 0x00 << false;
    QTest::newRow("accel reserved bit 4") << 0x10 << 0x00 << false;
    QTest::newRow("gyro reserved bit 6") << 0x00 << 0x40 << false;
    QTest::newRow("bandwidth bit beside the high pass") << 0xE0 << 0x00 << false;
    QTest::newRow("high-pass bit alone with bandwidth") << 0x60 << 0x00 << false;
}

void tst_SkarvelProtocol::validFilterBytes()
{
    QFETCH(int, accel);
    QFETCH(int, gyro);
    QFETCH(bool, valid);
    QCOMPARE(skarvel::validFilterBytes(uint8_t(accel), uint8_t(gyro)), valid);
}

// The listed order is the panel's; a code's scale does not depend on it.
void tst_SkarvelProtocol::ranges()
{
    QCOMPARE(skarvel::accelFullScale(1), 16.0);
    QCOMPARE(skarvel::accelSensitivity(1), 0.488);
    QCOMPARE(skarvel::gyroFullScale(0), 245.0);
    QCOMPARE(skarvel::gyroSensitivity(6), 70.0);
    QCOMPARE(skarvel::gyroSensitivity(5), 0.0);
    QCOMPARE(skarvel::accelFullScale(4), 0.0);
    QCOMPARE(skarvel::countToUnits(-32767, skarvel::accelSensitivity(0)), -32767 * 0.061 / 1000.0);
}

QTEST_MAIN(tst_SkarvelProtocol)
#include "tst_skarvelprotocol.moc"

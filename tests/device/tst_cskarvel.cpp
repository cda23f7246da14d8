// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The sensor layer against simulated sensors: parameter rules, unit
// conversions, report decoding, connection by serial number, the two
// commands and the list of attached sensors.
#include "cskarvel.h"
#include "hidsim.h"
#include "skarvelmodel.h"

#include <QtTest>

#include <cmath>

using skarvelsim::SSensorConfig;
using skarvelsim::SSimSensor;

Q_DECLARE_METATYPE(SSkarvelParams)

namespace {

QByteArray bytesOf(const SSkarvelParams& p)
{
    return QByteArray::fromStdString(std::string{char(p.accelRange), char(p.accelFilter),
                                                 char(p.gyroRange), char(p.gyroHighPass)});
}

QByteArray bytesOf(const hidsim::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size()));
}

QString qs(const std::wstring& s)
{
    return QString::fromStdWString(s);
}

SSimSensor addSensor(std::optional<std::wstring> serial, bool hasInterface0 = true)
{
    SSensorConfig config;
    config.serialNumber = std::move(serial);
    config.hasInterface0 = hasInterface0;
    config.pacing = skarvelsim::EPacing::Burst;
    return skarvelsim::addSensor(config);
}

std::vector<uint8_t> reportFrom(std::initializer_list<int> axes, uint8_t extra)
{
    std::vector<uint8_t> report;
    for (int value : axes) {
        report.push_back(uint8_t(value & 0xFF));
        report.push_back(uint8_t(value >> 8));
    }
    report.push_back(extra);
    return report;
}

} // namespace

class tst_CSkarvel : public QObject
{
    Q_OBJECT

private slots:
    void init() { hidsim::reset(); }

    void isValid_data();
    void isValid();
    void toG_data();
    void toG();
    void toDps_data();
    void toDps();
    void unconnectedUsesDefaultScales();

    void parseJoystickReport_data();
    void parseJoystickReport();
    void parseShortReportLeavesSample();

    void connectResetsSensor();
    void connectPicksExactSerial();
    void connectEmptySerial();
    void connectLastMatchWins();
    void connectFailures_data();
    void connectFailures();
    void connectAgainClosesPrevious();

    void setParamsWritesCommand();
    void setParamsInvalidSendsNothing();
    void setParamsWriteFailureKeepsParams();
    void storeParamsBytes();
    void commandsWhileDisconnected_data();
    void commandsWhileDisconnected();

    void readSample();
    void readSampleFailures_data();
    void readSampleFailures();

    void enumerate_data();
    void enumerate();
    void enumerateReplacesContents();
};

void tst_CSkarvel::isValid_data()
{
    QTest::addColumn<SSkarvelParams>("params");
    QTest::addColumn<bool>("valid");

    QTest::newRow("all zero") << SSkarvelParams{} << true;
    QTest::newRow("accel HP cutoff 3 (0xC3)") << SSkarvelParams{0, 0xC3, 0, 0} << true;
    QTest::newRow("accel LP2 low latency (0xA3)") << SSkarvelParams{0, 0xA3, 0, 0} << true;
    QTest::newRow("accel LP1 narrow (0x20)") << SSkarvelParams{0, 0x20, 0, 0} << true;
    QTest::newRow("accel HP with bit 5 (0xE0)") << SSkarvelParams{0, 0xE0, 0, 0} << false;
    QTest::newRow("bits 5 and 6 without 7 (0x60)") << SSkarvelParams{0, 0x60, 0, 0} << false;
    QTest::newRow("accel bit 2 (0x84)") << SSkarvelParams{0, 0x84, 0, 0} << false;
    QTest::newRow("accel bit 4 (0x10)") << SSkarvelParams{0, 0x10, 0, 0} << false;
    QTest::newRow("gyro HP 0x83") << SSkarvelParams{0, 0, 0, 0x83} << true;
    QTest::newRow("gyro HP 0x84") << SSkarvelParams{0, 0, 0, 0x84} << false;
    QTest::newRow("gyro HP bit 6 (0xC0)") << SSkarvelParams{0, 0, 0, 0xC0} << false;
    QTest::newRow("unknown ranges 7 and 3") << SSkarvelParams{7, 0, 3, 0} << true;
    QTest::newRow("range bytes 0xFF") << SSkarvelParams{0xFF, 0, 0xFF, 0} << true;
}

void tst_CSkarvel::isValid()
{
    QFETCH(SSkarvelParams, params);
    QFETCH(bool, valid);
    QCOMPARE(CSkarvel::IsValid(params), valid);
}

void tst_CSkarvel::toG_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("raw");
    QTest::addColumn<double>("g");

    QTest::newRow("code 0, 16393") << 0 << 16393 << 0.999973;
    QTest::newRow("code 1, 16393") << 1 << 16393 << 7.999784;
    QTest::newRow("code 2, 16393") << 2 << 16393 << 1.999946;
    QTest::newRow("code 3, 16393") << 3 << 16393 << 3.999892;
    QTest::newRow("code 0, 32768") << 0 << 32768 << 1.998848;
    QTest::newRow("code 1, -32767") << 1 << -32767 << -15.990296;
    QTest::newRow("code 0, 0") << 0 << 0 << 0.0;
    QTest::newRow("code 3, 0") << 3 << 0 << 0.0;
    QTest::newRow("code 4, 16393") << 4 << 16393 << 0.0;
    QTest::newRow("code 7, -32767") << 7 << -32767 << 0.0;
}

void tst_CSkarvel::toG()
{
    QFETCH(int, code);
    QFETCH(int, raw);
    QFETCH(double, g);

    addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    QVERIFY(sensor.SetParams(SSkarvelParams{uint8_t(code), 0, 0, 0}));
    QVERIFY2(std::abs(sensor.ToG(raw) - g) < 1e-6,
             qPrintable(QString::number(sensor.ToG(raw), 'f', 8)));
}

void tst_CSkarvel::toDps_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("raw");
    QTest::addColumn<double>("dps");

    QTest::newRow("code 0, 1000") << 0 << 1000 << 8.75;
    QTest::newRow("code 1, 1000") << 1 << 1000 << 4.375;
    QTest::newRow("code 2, 1000") << 2 << 1000 << 17.5;
    QTest::newRow("code 3, 1000") << 3 << 1000 << 0.0;
    QTest::newRow("code 4, 1000") << 4 << 1000 << 35.0;
    QTest::newRow("code 5, 1000") << 5 << 1000 << 0.0;
    QTest::newRow("code 6, 1000") << 6 << 1000 << 70.0;
    QTest::newRow("code 6, -32767") << 6 << -32767 << -2293.69;
    QTest::newRow("code 0, 32768") << 0 << 32768 << 286.72;
    QTest::newRow("code 7, 1000") << 7 << 1000 << 0.0;
}

void tst_CSkarvel::toDps()
{
    QFETCH(int, code);
    QFETCH(int, raw);
    QFETCH(double, dps);

    addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    QVERIFY(sensor.SetParams(SSkarvelParams{0, 0, uint8_t(code), 0}));
    QVERIFY2(std::abs(sensor.ToDps(raw) - dps) < 1e-9,
             qPrintable(QString::number(sensor.ToDps(raw), 'f', 8)));
}

void tst_CSkarvel::unconnectedUsesDefaultScales()
{
    CSkarvel sensor;
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    QVERIFY(std::abs(sensor.ToG(16393) - 0.999973) < 1e-6);
    QCOMPARE(sensor.ToDps(1000), 8.75);

    addSensor(std::wstring(L"S"));
    QVERIFY(sensor.Connect(L"S"));
    QVERIFY(sensor.SetParams(SSkarvelParams{1, 0x80, 6, 0x80}));
    QCOMPARE(sensor.ToDps(1000), 70.0);
    sensor.Disconnect();
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    QVERIFY(std::abs(sensor.ToG(16393) - 0.999973) < 1e-6);
    QCOMPARE(sensor.ToDps(1000), 8.75);
    QCOMPARE(sensor.GetFirmware(), uint16_t(0));
    QVERIFY(sensor.GetSerialNumber().empty());
}

void tst_CSkarvel::parseJoystickReport_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QList<int>>("axes");
    QTest::addColumn<int>("extra");

    QTest::newRow("all 0x00") << QByteArray(13, '\x00') << QList<int>(6, -32767) << 0;
    QTest::newRow("all 0xFF") << QByteArray(13, '\xFF') << QList<int>(6, 32768) << 0xFF;
    const auto zero = reportFrom({0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}, 0x5A);
    QTest::newRow("all 0x7FFF") << QByteArray(reinterpret_cast<const char*>(zero.data()),
                                              int(zero.size()))
                                << QList<int>(6, 0) << 0x5A;
    const auto first = reportFrom({0x1234, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}, 0);
    QTest::newRow("0x34 0x12 first")
        << QByteArray(reinterpret_cast<const char*>(first.data()), int(first.size()))
        << QList<int>{-28107, 0, 0, 0, 0, 0} << 0;
    // Distinct values per axis catch swapped axes or swapped byte order.
    const auto distinct = reportFrom({0x8000, 0x7FFD, 0x8100, 0x0001, 0xFFFE, 0x7FFF}, 0x81);
    QTest::newRow("distinct axes")
        << QByteArray(reinterpret_cast<const char*>(distinct.data()), int(distinct.size()))
        << QList<int>{1, -2, 257, -32766, 32767, 0} << 0x81;
    QTest::newRow("15 bytes, tail ignored")
        << QByteArray(13, '\x00') + QByteArray(2, '\x33') << QList<int>(6, -32767) << 0;
}

void tst_CSkarvel::parseJoystickReport()
{
    QFETCH(QByteArray, report);
    QFETCH(QList<int>, axes);
    QFETCH(int, extra);

    const std::vector<uint8_t> bytes(report.begin(), report.end());
    SSkarvelSample sample{1, 2, 3, 4, 5, 6, 7};
    QVERIFY(CSkarvel::ParseJoystickReport(bytes, sample));
    QCOMPARE((QList<int>{sample.accelX, sample.accelY, sample.accelZ, sample.gyroX, sample.gyroY,
                         sample.gyroZ}),
             axes);
    QCOMPARE(int(sample.extraByte), extra);
}

void tst_CSkarvel::parseShortReportLeavesSample()
{
    SSkarvelSample sample{1, 2, 3, 4, 5, 6, 7};
    QVERIFY(!CSkarvel::ParseJoystickReport(std::vector<uint8_t>(12, 0), sample));
    QVERIFY(!CSkarvel::ParseJoystickReport({}, sample));
    QCOMPARE((QList<int>{sample.accelX, sample.accelY, sample.accelZ, sample.gyroX, sample.gyroY,
                         sample.gyroZ, sample.extraByte}),
             (QList<int>{1, 2, 3, 4, 5, 6, 7}));
}

void tst_CSkarvel::connectResetsSensor()
{
    SSensorConfig config;
    config.serialNumber = std::wstring(L"SKV-1");
    config.firmware = 0x0203;
    config.powerOnParams = SSkarvelParams{1, 0x83, 6, 0x82};
    const SSimSensor sim = skarvelsim::addSensor(config);
    QCOMPARE(bytesOf(sim.model->params()), bytesOf(config.powerOnParams));

    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SKV-1"));
    QVERIFY(sensor.IsConnected());
    QCOMPARE(qs(sensor.GetSerialNumber()), QString("SKV-1"));
    QCOMPARE(sensor.GetFirmware(), uint16_t(0x0203));
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    QCOMPARE(bytesOf(sim.model->params()), QByteArray(4, '\0'));

    const auto outputs = hidsim::outputReports(sim.interface0);
    QCOMPARE(outputs.size(), size_t(1));
    QCOMPARE(bytesOf(outputs[0]), QByteArray(9, '\0'));
    // Opened by the path of interface 0, nothing else.
    const auto opens = hidsim::callsTo("hid_open_path");
    QCOMPARE(opens.size(), size_t(1));
    QCOMPARE(opens[0].path, hidsim::pathOf(sim.interface0));
    QVERIFY(hidsim::callsTo("hid_open").empty());
}

void tst_CSkarvel::connectPicksExactSerial()
{
    const SSimSensor lower = addSensor(std::wstring(L"skv-a"));
    const SSimSensor upper = addSensor(std::wstring(L"SKV-A"));

    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SKV-A"));
    QCOMPARE(hidsim::openHandleCount(upper.interface0), 1);
    QCOMPARE(hidsim::openHandleCount(lower.interface0), 0);
    QVERIFY(hidsim::outputReports(lower.interface0).empty());

    QVERIFY(!sensor.Connect(L"Skv-A"));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Device not found"));
    QVERIFY(!sensor.Connect(L"SKV-A "));
    QVERIFY(!sensor.Connect(L"SKV-"));
    QVERIFY(!sensor.IsConnected());
    QCOMPARE(hidsim::openHandleCount(upper.interface0), 0);
}

void tst_CSkarvel::connectEmptySerial()
{
    const SSimSensor named = addSensor(std::wstring(L"X"));
    const SSimSensor unnamed = addSensor(std::nullopt);
    addSensor(std::wstring(L"Y"));

    CSkarvel sensor;
    QVERIFY(sensor.Connect(L""));
    QCOMPARE(hidsim::openHandleCount(unnamed.interface0), 1);
    QCOMPARE(hidsim::openHandleCount(named.interface0), 0);
    QVERIFY(sensor.GetSerialNumber().empty());
}

void tst_CSkarvel::connectLastMatchWins()
{
    const SSimSensor first = addSensor(std::wstring(L"TWIN"));
    const SSimSensor second = addSensor(std::wstring(L"TWIN"));

    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"TWIN"));
    QCOMPARE(hidsim::openHandleCount(first.interface0), 0);
    QCOMPARE(hidsim::openHandleCount(second.interface0), 1);
}

void tst_CSkarvel::connectFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("text");

    QTest::newRow("no such serial") << "unknown serial"
                                    << "Device not found";
    QTest::newRow("interface 0 missing") << "no interface 0"
                                         << "Device not found";
    QTest::newRow("open fails") << "open"
                                << "Permission denied";
    QTest::newRow("reset write fails") << "write"
                                       << "Broken pipe";
    QTest::newRow("reset write short") << "short write"
                                       << "Short write";
}

void tst_CSkarvel::connectFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, text);

    const SSimSensor sim = addSensor(std::wstring(L"S"), fault != "no interface 0");
    const std::wstring serial = fault == "unknown serial" ? L"T" : L"S";
    if (fault == "open")
        hidsim::setOpenFailure(sim.interface0, std::wstring(L"Permission denied"));
    else if (fault == "write")
        hidsim::setWriteResult(sim.interface0, -1, L"Broken pipe");
    else if (fault == "short write")
        hidsim::setWriteResult(sim.interface0, 8, L"Short write");

    // A connection held before fails over to Disconnected, not to the old one.
    addSensor(std::wstring(L"OLD"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"OLD"));

    QVERIFY(!sensor.Connect(serial));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), text);
    QVERIFY(!sensor.IsConnected());
    QVERIFY(sensor.GetSerialNumber().empty());
    QCOMPARE(sensor.GetFirmware(), uint16_t(0));
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    for (hidsim::DeviceId id : sim.interfaces)
        QCOMPARE(hidsim::openHandleCount(id), 0);
}

void tst_CSkarvel::connectAgainClosesPrevious()
{
    const SSimSensor a = addSensor(std::wstring(L"A"));
    const SSimSensor b = addSensor(std::wstring(L"B"));

    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"A"));
    QVERIFY(sensor.SetParams(SSkarvelParams{2, 0, 2, 0}));
    QVERIFY(sensor.StartSensorThread([](const SSkarvelSample&) {}));
    QVERIFY(sensor.Connect(L"B"));
    QVERIFY(!sensor.IsSensorThreadRunning());
    QCOMPARE(hidsim::openHandleCount(a.interface0), 0);
    QCOMPARE(hidsim::openHandleCount(b.interface0), 1);
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    QCOMPARE(qs(sensor.GetSerialNumber()), QString("B"));
}

void tst_CSkarvel::setParamsWritesCommand()
{
    const SSimSensor sim = addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    const SSkarvelParams params{3, 0x82, 4, 0x81};
    QVERIFY(sensor.SetParams(params));
    QCOMPARE(bytesOf(sensor.GetParams()), bytesOf(params));

    const auto outputs = hidsim::outputReports(sim.interface0);
    QCOMPARE(outputs.size(), size_t(2));
    QCOMPARE(bytesOf(outputs[1]), QByteArray::fromHex("000003820481000000"));
    QCOMPARE(bytesOf(sim.model->params()), bytesOf(params));
}

void tst_CSkarvel::setParamsInvalidSendsNothing()
{
    const SSimSensor sim = addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    const SSkarvelParams before{1, 0x80, 2, 0};
    QVERIFY(sensor.SetParams(before));

    QVERIFY(!sensor.SetParams(SSkarvelParams{0, 0xE0, 0, 0}));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Invalid sensor parameters"));
    QCOMPARE(bytesOf(sensor.GetParams()), bytesOf(before));
    QCOMPARE(hidsim::outputReports(sim.interface0).size(), size_t(2));
    // A success afterwards does not clear the text.
    QVERIFY(sensor.SetParams(SSkarvelParams{}));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Invalid sensor parameters"));
}

void tst_CSkarvel::setParamsWriteFailureKeepsParams()
{
    const SSimSensor sim = addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    QVERIFY(sensor.StartSensorThread([](const SSkarvelSample&) {}));

    hidsim::setWriteResult(sim.interface0, 4, L"Short write");
    QVERIFY(!sensor.SetParams(SSkarvelParams{1, 0, 1, 0}));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Short write"));
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    QVERIFY(sensor.IsConnected());
    QVERIFY(sensor.IsSensorThreadRunning());

    hidsim::setWriteResult(sim.interface0, std::nullopt);
    QVERIFY(sensor.SetParams(SSkarvelParams{1, 0, 1, 0}));
    QVERIFY(sensor.IsSensorThreadRunning());
}

void tst_CSkarvel::storeParamsBytes()
{
    const SSimSensor sim = addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    const SSkarvelParams params{2, 0xC1, 1, 0x83};
    QVERIFY(sensor.SetParams(params));
    QVERIFY(sensor.StoreParams());

    const auto outputs = hidsim::outputReports(sim.interface0);
    QCOMPARE(outputs.size(), size_t(3));
    QCOMPARE(bytesOf(outputs[2]), QByteArray::fromHex("000100000000000000"));
    QCOMPARE(bytesOf(sim.model->storedParams()), bytesOf(params));
    QCOMPARE(bytesOf(sensor.GetParams()), bytesOf(params));
}

void tst_CSkarvel::commandsWhileDisconnected_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("SendCommand") << "send";
    QTest::newRow("SetParams") << "set";
    QTest::newRow("StoreParams") << "store";
    QTest::newRow("StartSensorThread") << "start";
}

void tst_CSkarvel::commandsWhileDisconnected()
{
    QFETCH(QString, command);
    CSkarvel sensor;
    bool result = true;
    if (command == "send")
        result = sensor.SendCommand(std::array<uint8_t, 9>{});
    else if (command == "set")
        result = sensor.SetParams(SSkarvelParams{1, 0, 1, 0});
    else if (command == "store")
        result = sensor.StoreParams();
    else
        result = sensor.StartSensorThread([](const SSkarvelSample&) {});
    QVERIFY(!result);
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Device not open"));
    QCOMPARE(bytesOf(sensor.GetParams()), QByteArray(4, '\0'));
    QVERIFY(!sensor.IsSensorThreadRunning());
}

void tst_CSkarvel::readSample()
{
    const SSimSensor sim = addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"S"));
    hidsim::setLogReads(true);

    SSkarvelSample first;
    SSkarvelSample second;
    QVERIFY(sensor.ReadSample(first, 100));
    QVERIFY(sensor.ReadSample(second, 100));
    QCOMPARE(uint8_t(second.extraByte - first.extraByte), uint8_t(1));
    // At rest under ±2 g, gravity reads about 1 g on Z.
    QVERIFY2(sensor.ToG(first.accelZ) > 0.8 && sensor.ToG(first.accelZ) < 1.2,
             qPrintable(QString::number(sensor.ToG(first.accelZ))));

    const auto reads = hidsim::callsTo("hid_read_timeout");
    QCOMPARE(reads.size(), size_t(2));
    QCOMPARE(reads[0].length, size_t(13));
    QCOMPARE(reads[0].timeout, 100);
}

void tst_CSkarvel::readSampleFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("text");

    QTest::newRow("thread running") << "thread"
                                    << "Sensor thread is running";
    QTest::newRow("nothing arrives") << "silent"
                                     << "Timeout";
    QTest::newRow("12-byte report") << "short"
                                    << "Joystick report too short";
    QTest::newRow("unplugged") << "unplug" << QString::fromWCharArray(hidsim::UNPLUGGED_READ_ERROR);
    QTest::newRow("not connected") << "closed"
                                   << "Device not open";
}

void tst_CSkarvel::readSampleFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, text);

    const SSimSensor sim = addSensor(std::wstring(L"S"));
    CSkarvel sensor;
    if (fault != "closed")
        QVERIFY(sensor.Connect(L"S"));
    if (fault == "thread")
        QVERIFY(sensor.StartSensorThread([](const SSkarvelSample&) {}));
    else if (fault == "silent")
        sim.model->setBurst(0);
    else if (fault == "short")
        sim.model->setShortReport(sim.model->nextIndex(), 12);
    else if (fault == "unplug")
        sim.model->unplugAtReport(sim.model->nextIndex());

    SSkarvelSample sample{1, 2, 3, 4, 5, 6, 7};
    QVERIFY(!sensor.ReadSample(sample, 20));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), text);
    QCOMPARE(sample.accelX, 1);
    QCOMPARE(sample.extraByte, uint8_t(7));
    if (fault == "thread")
        QVERIFY(sensor.IsSensorThreadRunning());
}

void tst_CSkarvel::enumerate_data()
{
    QTest::addColumn<QStringList>("attached");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("none") << QStringList{} << QStringList{};
    QTest::newRow("one sensor") << QStringList{"SKV-7"} << QStringList{"SKV-7"};
    QTest::newRow("B2 a1 A10 A1") << QStringList{"B2", "a1", "A10", "A1"}
                                  << QStringList{"A1", "A10", "B2", "a1"};
    QTest::newRow("digits before letters, empty first")
        << QStringList{"b", "B", "9", "", "a"} << QStringList{"", "9", "B", "a", "b"};
    QTest::newRow("prefix first") << QStringList{"AB", "A", "ABC"} << QStringList{"A", "AB", "ABC"};
    QTest::newRow("same serial twice") << QStringList{"Z", "Y", "Z"} << QStringList{"Y", "Z"};
    QTest::newRow("no serial (null)") << QStringList{"X", QString()} << QStringList{"", "X"};
    // UTF-16 order: a character beyond U+FFFF is a surrogate pair (0xD800...)
    // and sorts before U+E000, though its code point is larger.
    QTest::newRow("surrogate pair before U+E000")
        << QStringList{QString(QChar(0xE000)), QString::fromUcs4(U"\U00010000"), "z"}
        << QStringList{"z", QString::fromUcs4(U"\U00010000"), QString(QChar(0xE000))};
    QTest::newRow("above U+7FFF is not negative")
        << QStringList{QString(QChar(0xFF21)), "A"} << QStringList{"A", QString(QChar(0xFF21))};
    QTest::newRow("interface 0 missing") << QStringList{"!noif0:Q"} << QStringList{"Q"};
}

void tst_CSkarvel::enumerate()
{
    QFETCH(QStringList, attached);
    QFETCH(QStringList, listed);

    for (const QString& entry : attached) {
        SSensorConfig config;
        config.serialNumber =
            entry.isNull() ? std::optional<std::wstring>() : std::optional(entry.toStdWString());
        if (entry.startsWith("!noif0:")) {
            config.serialNumber = entry.mid(7).toStdWString();
            config.hasInterface0 = false;
            config.extraInterfaces = 2;
        }
        skarvelsim::addSensor(config);
    }
    // A device of another product must not show up.
    hidsim::DeviceSetup other;
    other.vendorId = SKARVEL_VENDOR_ID;
    other.productId = SKARVEL_PRODUCT_ID + 1;
    other.serialNumber = std::wstring(L"OTHER");
    other.interfaceNumber = 0;
    hidsim::addDevice(other);

    std::vector<std::wstring> serials;
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QStringList found;
    for (const std::wstring& s : serials)
        found << qs(s);
    QCOMPARE(found, listed);
}

void tst_CSkarvel::enumerateReplacesContents()
{
    std::vector<std::wstring> serials{L"stale", L"entries"};
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QVERIFY(serials.empty());

    addSensor(std::wstring(L"N"));
    serials = {L"stale"};
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QCOMPARE(serials.size(), size_t(1));
    QCOMPARE(qs(serials[0]), QString("N"));
}

QTEST_GUILESS_MAIN(tst_CSkarvel)
#include "tst_cskarvel.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// CSimpleHidClass against the simulated hidapi backend: opening and closing,
// reports, strings, failure texts, descriptor geometry and enumeration.
#include "csimplehidclass.h"
#include "hidsim.h"

#include <hidapi.h>

#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

const unsigned short VID = 0x1234;
const unsigned short PID = 0x5678;

hidsim::DeviceSetup makeSpec(const wchar_t* serial = L"SN0001")
{
    hidsim::DeviceSetup setup;
    setup.vendorId = VID;
    setup.productId = PID;
    setup.serialNumber = std::wstring(serial);
    setup.manufacturer = std::wstring(L"Maker");
    setup.product = std::wstring(L"Sensor");
    setup.releaseNumber = 0x0123;
    setup.usagePage = 0xFF00;
    setup.usage = 0x0001;
    setup.interfaceNumber = 0;
    return setup;
}

std::vector<unsigned char> toBytes(const QByteArray& bytes)
{
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

QByteArray fromStd(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The library's current text for the global error, as the class should store it.
QByteArray libraryText(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text).toUtf8() : QByteArray();
}

enum class EOperation
{
    Write,
    SendFeatureReport,
    GetFeatureReport,
    GetIndexedString,
    Read,
    StartReadThread,
    GetDeviceInfo,
    GetReportByteLengths,
    GetReportIdUsage,
};

} // namespace

Q_DECLARE_METATYPE(EOperation)

class TestCSimpleHidClass : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void wideToUtf8_data();
    void wideToUtf8();
    void openMissingPath();
    void openFailureKeepsObjectClosed();
    void openTwice_data();
    void openTwice();
    void openPassesSerial_data();
    void openPassesSerial();
    void closedObjectOperations_data();
    void closedObjectOperations();
    void closeIsHarmlessWhenClosed();
    void failureTextSurvivesSuccess();
    void writeResult_data();
    void writeResult();
    void sendFeatureReportResult_data();
    void sendFeatureReportResult();
    void getFeatureReport();
    void getFeatureReportFailure();
    void getFeatureReportCountBeyondBuffer();
    void getFeatureReportLengthBeyondAnyBuffer();
    void getIndexedString();
    void getIndexedStringLongerThanBuffer();
    void readShortReport();
    void readTimeout_data();
    void readTimeout();
    void readLibraryError();
    void reportGeometry_data();
    void reportGeometry();
    void reportDescriptorUnavailable();
    void enumerateNothing();
    void enumerateTwoInterfaces();
    void enumerateMissingStrings();
    void getDeviceInfo();
    void getDeviceInfoUnavailable();
    void libraryInitOncePerLiveObjects();
};

void TestCSimpleHidClass::init()
{
    hidsim::reset();
}

// The conversion is observed through the text the library gives for a failed
// open, which the class stores after WideToUtf8.
void TestCSimpleHidClass::wideToUtf8_data()
{
    QTest::addColumn<QList<uint>>("units");
    QTest::addColumn<QByteArray>("utf8");

    QTest::newRow("ASCII") << QList<uint>{'O', 'k'} << QByteArray("Ok");
    QTest::newRow("U+00E9") << QList<uint>{0xE9} << QByteArray("\xC3\xA9");
    QTest::newRow("U+07FF") << QList<uint>{0x7FF} << QByteArray("\xDF\xBF");
    QTest::newRow("U+0800") << QList<uint>{0x800} << QByteArray("\xE0\xA0\x80");
    QTest::newRow("U+20AC") << QList<uint>{0x20AC} << QByteArray("\xE2\x82\xAC");
    QTest::newRow("U+FFFF") << QList<uint>{0xFFFF} << QByteArray("\xEF\xBF\xBF");
    QTest::newRow("D83D DE00") << QList<uint>{0xD83D, 0xDE00} << QByteArray("\xF0\x9F\x98\x80");
    QTest::newRow("DBFF DFFF") << QList<uint>{0xDBFF, 0xDFFF} << QByteArray("\xF4\x8F\xBF\xBF");
    QTest::newRow("D800 0041") << QList<uint>{0xD800, 0x41}
                               << QByteArray("\xED\xA0\x80"
                                             "A");
    QTest::newRow("DC00") << QList<uint>{0xDC00} << QByteArray("\xED\xB0\x80");
    QTest::newRow("DC00 D800") << QList<uint>{0xDC00, 0xD800}
                               << QByteArray("\xED\xB0\x80\xED\xA0\x80");
    QTest::newRow("0041 D83D") << QList<uint>{0x41, 0xD83D} << QByteArray("A\xED\xA0\xBD");
    QTest::newRow("D83D D83D DE00")
        << QList<uint>{0xD83D, 0xD83D, 0xDE00} << QByteArray("\xED\xA0\xBD\xF0\x9F\x98\x80");
    if (sizeof(wchar_t) == 4) {
        QTest::newRow("U+1F600") << QList<uint>{0x1F600} << QByteArray("\xF0\x9F\x98\x80");
        QTest::newRow("U+10000") << QList<uint>{0x10000} << QByteArray("\xF0\x90\x80\x80");
        QTest::newRow("U+10FFFF") << QList<uint>{0x10FFFF} << QByteArray("\xF4\x8F\xBF\xBF");
        QTest::newRow("0x110000") << QList<uint>{0x110000, 0x41}
                                  << QByteArray("\xEF\xBF\xBD"
                                                "A");
        QTest::newRow("0xFFFFFFFF") << QList<uint>{0xFFFFFFFF} << QByteArray("\xEF\xBF\xBD");
    }
}

void TestCSimpleHidClass::wideToUtf8()
{
    QFETCH(QList<uint>, units);
    QFETCH(QByteArray, utf8);

    std::wstring text;
    for (uint unit : units)
        text += static_cast<wchar_t>(unit);
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    hidsim::setOpenFailure(id, text);

    CSimpleHidClass hid;
    QVERIFY(!hid.OpenPath(hidsim::pathOf(id)));
    QCOMPARE(fromStd(hid.GetLastError()), utf8);
}

void TestCSimpleHidClass::openMissingPath()
{
    CSimpleHidClass hid;
    QVERIFY(!hid.OpenPath("/no/such/device"));
    QVERIFY(!hid.IsOpen());
    QCOMPARE(fromStd(hid.GetLastError()), libraryText(hid_error(nullptr)));
}

void TestCSimpleHidClass::openFailureKeepsObjectClosed()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    hidsim::setOpenFailure(id, std::wstring(L"Permission denied"));

    CSimpleHidClass hid;
    QVERIFY(!hid.Open(VID, PID, L"SN0001"));
    QCOMPARE(hid.GetLastError(), std::string("Permission denied"));
    QVERIFY(!hid.IsOpen());
    QCOMPARE(hidsim::openHandleCount(id), 0);

    // The failure left nothing half open: the next attempt opens normally.
    hidsim::setOpenFailure(id, std::nullopt);
    QVERIFY(hid.Open(VID, PID, L"SN0001"));
    QVERIFY(hid.IsOpen());
}

void TestCSimpleHidClass::openTwice_data()
{
    QTest::addColumn<bool>("firstByPath");
    QTest::addColumn<bool>("secondByPath");

    QTest::newRow("Open, Open") << false << false;
    QTest::newRow("Open, OpenPath") << false << true;
    QTest::newRow("OpenPath, Open") << true << false;
    QTest::newRow("OpenPath, OpenPath") << true << true;
}

void TestCSimpleHidClass::openTwice()
{
    QFETCH(bool, firstByPath);
    QFETCH(bool, secondByPath);

    const hidsim::DeviceId first = hidsim::addDevice(makeSpec(L"A"));
    const hidsim::DeviceId second = hidsim::addDevice(makeSpec(L"B"));
    CSimpleHidClass hid;
    QVERIFY(firstByPath ? hid.OpenPath(hidsim::pathOf(first)) : hid.Open(VID, PID, L"A"));
    QVERIFY(secondByPath ? !hid.OpenPath(hidsim::pathOf(second)) : !hid.Open(VID, PID, L"B"));
    QCOMPARE(hid.GetLastError(), std::string("Device already open"));

    QCOMPARE(hidsim::openHandleCount(first), 1);
    QCOMPARE(hidsim::openHandleCount(second), 0);
    const std::vector<unsigned char> report{0, 1, 2, 3};
    QVERIFY(hid.Write(report));
    QCOMPARE(hidsim::outputReports(first), std::vector<std::vector<unsigned char>>{report});
}

void TestCSimpleHidClass::openPassesSerial_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("nullSerial");

    QTest::newRow("empty") << QString() << true;
    QTest::newRow("SN0002") << QStringLiteral("SN0002") << false;
}

void TestCSimpleHidClass::openPassesSerial()
{
    QFETCH(QString, serial);
    QFETCH(bool, nullSerial);

    hidsim::addDevice(makeSpec(L"SN0001"));
    const hidsim::DeviceId second = hidsim::addDevice(makeSpec(L"SN0002"));
    CSimpleHidClass hid;
    QVERIFY(hid.Open(VID, PID, serial.toStdWString()));

    const std::vector<hidsim::Call> opens = hidsim::callsTo("hid_open");
    QCOMPARE(opens.size(), std::size_t(1));
    QCOMPARE(opens[0].vendorId, VID);
    QCOMPARE(opens[0].productId, PID);
    QCOMPARE(!opens[0].serialNumber.has_value(), nullSerial);
    if (!nullSerial) {
        QCOMPARE(*opens[0].serialNumber, serial.toStdWString());
        QCOMPARE(hidsim::openHandleCount(second), 1);
    }
}

void TestCSimpleHidClass::closedObjectOperations_data()
{
    QTest::addColumn<EOperation>("operation");

    QTest::newRow("Write") << EOperation::Write;
    QTest::newRow("SendFeatureReport") << EOperation::SendFeatureReport;
    QTest::newRow("GetFeatureReport") << EOperation::GetFeatureReport;
    QTest::newRow("GetIndexedString") << EOperation::GetIndexedString;
    QTest::newRow("Read") << EOperation::Read;
    QTest::newRow("StartReadThread") << EOperation::StartReadThread;
    QTest::newRow("GetDeviceInfo") << EOperation::GetDeviceInfo;
    QTest::newRow("GetReportByteLengths") << EOperation::GetReportByteLengths;
    QTest::newRow("GetReportIdUsage") << EOperation::GetReportIdUsage;
}

void TestCSimpleHidClass::closedObjectOperations()
{
    QFETCH(EOperation, operation);

    // Closed after having been open, so a stale handle would show.
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hid.Close();
    QVERIFY(hid.GetLastError().empty());
    hidsim::clearCalls();

    const std::vector<unsigned char> sentinel{7, 7, 7};
    std::vector<unsigned char> bytes = sentinel;
    std::wstring text = L"untouched";
    SHidDeviceInfo info;
    info.path = "untouched";
    info.interfaceNumber = 3;
    bool result = true;
    switch (operation) {
    case EOperation::Write:
        result = hid.Write(sentinel);
        break;
    case EOperation::SendFeatureReport:
        result = hid.SendFeatureReport(sentinel);
        break;
    case EOperation::GetFeatureReport:
        result = hid.GetFeatureReport(1, bytes, 8);
        QCOMPARE(bytes, sentinel);
        break;
    case EOperation::GetIndexedString:
        result = hid.GetIndexedString(1, text);
        QCOMPARE(text, std::wstring(L"untouched"));
        break;
    case EOperation::Read:
        result = hid.Read(bytes, 13, 0);
        QCOMPARE(bytes, sentinel);
        break;
    case EOperation::StartReadThread:
        result = hid.StartReadThread({}, 13, 10);
        QVERIFY(!hid.IsReadThreadRunning());
        break;
    case EOperation::GetDeviceInfo:
        result = hid.GetDeviceInfo(info);
        QCOMPARE(info.path, std::string("untouched"));
        QCOMPARE(info.interfaceNumber, 3);
        break;
    case EOperation::GetReportByteLengths: {
        unsigned long long in = 1, out = 2, feature = 3;
        result = hid.GetReportByteLengths(in, out, feature);
        QCOMPARE(in, 0ULL);
        QCOMPARE(out, 0ULL);
        QCOMPARE(feature, 0ULL);
        break;
    }
    case EOperation::GetReportIdUsage: {
        bool in = true, out = true, feature = true;
        result = hid.GetReportIdUsage(in, out, feature);
        QVERIFY(!in);
        QVERIFY(!out);
        QVERIFY(!feature);
        break;
    }
    }
    QVERIFY(!result);
    QCOMPARE(hid.GetLastError(), std::string("Device not open"));
    QVERIFY(hidsim::calls().empty());
}

void TestCSimpleHidClass::closeIsHarmlessWhenClosed()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    hid.Close();
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hid.Close();
    hid.Close();
    QVERIFY(!hid.IsOpen());
    QVERIFY(hid.GetLastError().empty());
    QCOMPARE(hidsim::callsTo("hid_close").size(), std::size_t(1));
    QCOMPARE(hidsim::openHandleCount(id), 0);
}

void TestCSimpleHidClass::failureTextSurvivesSuccess()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setWriteResult(id, -1, L"Broken pipe");
    QVERIFY(!hid.Write({0, 1}));
    hidsim::setWriteResult(id, std::nullopt);
    QVERIFY(hid.Write({0, 1}));
    QCOMPARE(hid.GetLastError(), std::string("Broken pipe"));
}

void TestCSimpleHidClass::writeResult_data()
{
    QTest::addColumn<int>("libraryResult");
    QTest::addColumn<bool>("success");

    QTest::newRow("9 of 9") << 9 << true;
    QTest::newRow("8 of 9") << 8 << false;
    QTest::newRow("10 of 9") << 10 << false;
    QTest::newRow("0 of 9") << 0 << false;
    QTest::newRow("-1") << -1 << false;
}

void TestCSimpleHidClass::writeResult()
{
    QFETCH(int, libraryResult);
    QFETCH(bool, success);

    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setWriteResult(id, libraryResult, L"Write failed \u00e9");
    const std::vector<unsigned char> report{0, 1, 2, 3, 4, 5, 6, 7, 8};
    QCOMPARE(hid.Write(report), success);
    QCOMPARE(fromStd(hid.GetLastError()),
             success ? QByteArray() : QByteArray("Write failed \xC3\xA9"));

    const std::vector<hidsim::Call> writes = hidsim::callsTo("hid_write");
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].data, report);
    QCOMPARE(writes[0].length, report.size());
}

void TestCSimpleHidClass::sendFeatureReportResult_data()
{
    QTest::addColumn<int>("libraryResult");
    QTest::addColumn<bool>("success");

    QTest::newRow("5 of 5") << 5 << true;
    QTest::newRow("4 of 5") << 4 << false;
    QTest::newRow("6 of 5") << 6 << false;
    QTest::newRow("-1") << -1 << false;
}

void TestCSimpleHidClass::sendFeatureReportResult()
{
    QFETCH(int, libraryResult);
    QFETCH(bool, success);

    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setFeatureResult(id, libraryResult);
    const std::vector<unsigned char> report{2, 10, 20, 30, 40};
    QCOMPARE(hid.SendFeatureReport(report), success);
    QCOMPARE(hid.GetLastError().empty(), success);

    const std::vector<hidsim::Call> sends = hidsim::callsTo("hid_send_feature_report");
    QCOMPARE(sends.size(), std::size_t(1));
    QCOMPARE(sends[0].data, report);
}

void TestCSimpleHidClass::getFeatureReport()
{
    hidsim::DeviceSetup setup = makeSpec();
    setup.featureReports[5] = {5, 0xA1, 0xA2, 0xA3};
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    std::vector<unsigned char> data{9, 9};
    QVERIFY(hid.GetFeatureReport(5, data, 8));
    const std::vector<hidsim::Call> gets = hidsim::callsTo("hid_get_feature_report");
    QCOMPARE(gets.size(), std::size_t(1));
    QCOMPARE(gets[0].length, std::size_t(9));
    QCOMPARE(data.size(), std::size_t(gets[0].result));
    QVERIFY(!data.empty());
    QCOMPARE(data[0], 5);
    QCOMPARE(data, setup.featureReports[5]);
}

void TestCSimpleHidClass::getFeatureReportFailure()
{
    hidsim::DeviceSetup setup = makeSpec();
    setup.featureReports[5] = {5, 1, 2};
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setFeatureResult(id, -1);

    std::vector<unsigned char> data{9, 9};
    QVERIFY(!hid.GetFeatureReport(5, data, 8));
    QVERIFY(data.empty());
    QVERIFY(!hid.GetLastError().empty());
}

void TestCSimpleHidClass::getFeatureReportCountBeyondBuffer()
{
    // A library count larger than the buffer it was given must not invent bytes.
    hidsim::DeviceSetup setup = makeSpec();
    setup.featureReports[5] = {5, 1, 2};
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setFeatureResult(id, 20);

    std::vector<unsigned char> data;
    QVERIFY(hid.GetFeatureReport(5, data, 8));
    QCOMPARE(data.size(), std::size_t(9));
    QCOMPARE(data[0], 5);
}

void TestCSimpleHidClass::getFeatureReportLengthBeyondAnyBuffer()
{
    // length + 1 wraps around to 0: the buffer for the report ID must not be empty.
    hidsim::DeviceSetup setup = makeSpec();
    setup.featureReports[5] = {5, 1, 2};
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::clearCalls();

    std::vector<unsigned char> data{9, 9};
    QVERIFY_THROWS_EXCEPTION(std::length_error, hid.GetFeatureReport(5, data, ~0ULL));
    QCOMPARE(data, (std::vector<unsigned char>{9, 9}));
    QVERIFY(hidsim::callsTo("hid_get_feature_report").empty());
    // The device mutex was released on the way out.
    QVERIFY(hid.GetFeatureReport(5, data, 8));
    QCOMPARE(data, setup.featureReports[5]);
}

void TestCSimpleHidClass::getIndexedString()
{
    hidsim::DeviceSetup setup = makeSpec();
    setup.indexedStrings[3] = L"Skarvel \u00e9";
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    std::wstring text = L"previous";
    QVERIFY(hid.GetIndexedString(3, text));
    QCOMPARE(text, std::wstring(L"Skarvel \u00e9"));
    const std::vector<hidsim::Call> gets = hidsim::callsTo("hid_get_indexed_string");
    QCOMPARE(gets.size(), std::size_t(1));
    QCOMPARE(gets[0].index, 3);
    QCOMPARE(gets[0].length, std::size_t(256));

    // An index the device does not have fails and keeps the text.
    QVERIFY(!hid.GetIndexedString(4, text));
    QCOMPARE(text, std::wstring(L"Skarvel \u00e9"));
    QVERIFY(!hid.GetLastError().empty());
}

void TestCSimpleHidClass::getIndexedStringLongerThanBuffer()
{
    // Whether or not the library terminates a string that fills its buffer,
    // the text never reaches beyond the 256 characters it was given.
    const std::wstring longText(300, L'x');
    hidsim::DeviceSetup setup = makeSpec();
    setup.indexedStrings[1] = longText;
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    std::wstring text;
    QVERIFY(hid.GetIndexedString(1, text));
    QVERIFY2(text.size() >= 255 && text.size() <= 256, std::to_string(text.size()).c_str());
    QCOMPARE(text, longText.substr(0, text.size()));
}

void TestCSimpleHidClass::readShortReport()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::queueInput(id, {1, 2, 3, 4, 5});

    std::vector<unsigned char> buffer(20, 0xEE);
    QVERIFY(hid.Read(buffer, 13, 100));
    QCOMPARE(buffer, (std::vector<unsigned char>{1, 2, 3, 4, 5}));
}

void TestCSimpleHidClass::readTimeout_data()
{
    QTest::addColumn<int>("timeoutMs");

    QTest::newRow("0 ms") << 0;
    QTest::newRow("10 ms") << 10;
}

void TestCSimpleHidClass::readTimeout()
{
    QFETCH(int, timeoutMs);

    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setLogReads(true);

    std::vector<unsigned char> buffer{1, 2, 3};
    QVERIFY(!hid.Read(buffer, 13, timeoutMs));
    QVERIFY(buffer.empty());
    QCOMPARE(hid.GetLastError(), std::string("Timeout"));
    const std::vector<hidsim::Call> reads = hidsim::callsTo("hid_read_timeout");
    QCOMPARE(reads.size(), std::size_t(1));
    QCOMPARE(reads[0].timeout, timeoutMs);
    QCOMPARE(reads[0].length, std::size_t(13));
}

void TestCSimpleHidClass::readLibraryError()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setReadFailure(id, std::wstring(L"Input/output error"));

    std::vector<unsigned char> buffer{1, 2, 3};
    QVERIFY(!hid.Read(buffer, 13, 100));
    QVERIFY(buffer.empty());
    QCOMPARE(hid.GetLastError(), std::string("Input/output error"));
}

void TestCSimpleHidClass::reportGeometry_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QList<qulonglong>>("lengths"); // input, output, feature
    QTest::addColumn<QList<bool>>("ids");           // input, output, feature

    using L = QList<qulonglong>;
    using F = QList<bool>;
    const F none{false, false, false};

    QTest::newRow("empty") << QByteArray() << L{0, 0, 0} << none;
    QTest::newRow("8x8 input") << QByteArray::fromHex("75089508 8102") << L{8, 0, 0} << none;
    QTest::newRow("8x8 input, 8x8 output")
        << QByteArray::fromHex("75089508 8102 9102") << L{8, 9, 0} << none;
    QTest::newRow("ID 1 3 bytes, ID 2 6 bytes input")
        << QByteArray::fromHex("8501 7508 9503 8102 8502 9506 8102") << L{7, 0, 0}
        << F{true, false, false};
    QTest::newRow("ID 1 2 bytes, ID 2 5 bytes output")
        << QByteArray::fromHex("8501 7508 9502 9102 8502 9505 9102") << L{0, 6, 0}
        << F{false, true, false};
    QTest::newRow("3x1 bits input") << QByteArray::fromHex("7501 9503 8102") << L{1, 0, 0} << none;
    QTest::newRow("3x1 bits input with ID")
        << QByteArray::fromHex("8501 7501 9503 8102") << L{2, 0, 0} << F{true, false, false};
    QTest::newRow("3x1 bits feature")
        << QByteArray::fromHex("7501 9503 b102") << L{0, 0, 2} << none;
    QTest::newRow("16+16+4+4 bits, constant filler")
        << QByteArray::fromHex("7510 9502 8102 7504 9501 8103 8102") << L{5, 0, 0} << none;
    QTest::newRow("feature with ID 3")
        << QByteArray::fromHex("8503 7508 9504 b102") << L{0, 0, 5} << F{false, false, true};
    QTest::newRow("ID after input marks output only")
        << QByteArray::fromHex("7508 9502 8102 8501 9102") << L{2, 3, 0} << F{false, true, false};
    QTest::newRow("usages and collections")
        << QByteArray::fromHex("0501 0902 a101 0901 a100 7508 9503 8106 c0 c0") << L{3, 0, 0}
        << none;
    QTest::newRow("pop on empty stack")
        << QByteArray::fromHex("7508 9502 b4 8102") << L{2, 0, 0} << none;
    QTest::newRow("push, ID 7 count 4, pop")
        << QByteArray::fromHex("7508 9501 a4 8507 9504 8102 b4 8102 8102") << L{5, 0, 0}
        << F{true, false, false};
    QTest::newRow("report ID undone by pop")
        << QByteArray::fromHex("7508 9501 a4 8507 b4 8102") << L{1, 0, 0} << none;
    QTest::newRow("nested push and pop")
        << QByteArray::fromHex("7508 9501 a4 9502 a4 9504 b4 b4 8102") << L{1, 0, 0} << none;
    QTest::newRow("four-byte count")
        << QByteArray::fromHex("7501 9700000100 8102") << L{8192, 0, 0} << none;
    QTest::newRow("four-byte size and ID") << QByteArray::fromHex("7710000000 9501 8702010000 8102")
                                           << L{3, 0, 0} << F{true, false, false};
    QTest::newRow("oversized fields")
        << QByteArray::fromHex("77ffffffff 97ffffffff 8102 8102") << L{1ULL << 61, 0, 0} << none;
    QTest::newRow("cut after prefix of one-byte item")
        << QByteArray::fromHex("7508 9504 8102 81") << L{4, 0, 0} << none;
    QTest::newRow("cut in two-byte item")
        << QByteArray::fromHex("7508 9504 8102 8202") << L{4, 0, 0} << none;
    QTest::newRow("long item") << QByteArray::fromHex("7508 9502 fe0200 8102 8102") << L{2, 0, 0}
                               << none;
    QTest::newRow("long item past end")
        << QByteArray::fromHex("7508 9502 8102 fe0500 8102") << L{2, 0, 0} << none;
    QTest::newRow("long item prefix last")
        << QByteArray::fromHex("7508 9502 8102 fe") << L{2, 0, 0} << none;
}

void TestCSimpleHidClass::reportGeometry()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(QList<qulonglong>, lengths);
    QFETCH(QList<bool>, ids);

    hidsim::DeviceSetup setup = makeSpec();
    setup.reportDescriptor = toBytes(descriptor);
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    unsigned long long in = 99, out = 99, feature = 99;
    QVERIFY(hid.GetReportByteLengths(in, out, feature));
    QCOMPARE(in, lengths[0]);
    QCOMPARE(out, lengths[1]);
    QCOMPARE(feature, lengths[2]);

    bool inId = true, outId = true, featureId = true;
    QVERIFY(hid.GetReportIdUsage(inId, outId, featureId));
    QCOMPARE(inId, ids[0]);
    QCOMPARE(outId, ids[1]);
    QCOMPARE(featureId, ids[2]);
    QVERIFY(hid.GetLastError().empty());
    for (const hidsim::Call& call : hidsim::callsTo("hid_get_report_descriptor"))
        QCOMPARE(call.length, std::size_t(4096));
}

void TestCSimpleHidClass::reportDescriptorUnavailable()
{
    hidsim::DeviceSetup setup = makeSpec();
    setup.reportDescriptor = toBytes(QByteArray::fromHex("8501 7508 9508 8102 9102 b102"));
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setDescriptorAvailable(id, false);

    unsigned long long in = 99, out = 99, feature = 99;
    QVERIFY(!hid.GetReportByteLengths(in, out, feature));
    QCOMPARE(in + out + feature, 0ULL);
    QVERIFY(!hid.GetLastError().empty());

    bool inId = true, outId = true, featureId = true;
    QVERIFY(!hid.GetReportIdUsage(inId, outId, featureId));
    QVERIFY(!inId && !outId && !featureId);
}

void TestCSimpleHidClass::enumerateNothing()
{
    hidsim::addDevice(makeSpec());
    std::vector<SHidDeviceInfo> list(2);
    QVERIFY(CSimpleHidClass::EnumerateDevices(list, VID, PID + 1));
    QVERIFY(list.empty());
}

void TestCSimpleHidClass::enumerateTwoInterfaces()
{
    hidsim::DeviceSetup first = makeSpec(L"SN42");
    first.interfaceNumber = 0;
    hidsim::DeviceSetup second = makeSpec(L"SN42");
    second.interfaceNumber = 1;
    second.usagePage = 0x0001;
    second.usage = 0x0006;
    const hidsim::DeviceId firstId = hidsim::addDevice(first);
    const hidsim::DeviceId secondId = hidsim::addDevice(second);
    hidsim::DeviceSetup other = makeSpec(L"OTHER");
    other.productId = PID + 1;
    hidsim::addDevice(other);

    std::vector<SHidDeviceInfo> list;
    QVERIFY(CSimpleHidClass::EnumerateDevices(list, VID, PID));
    QCOMPARE(list.size(), std::size_t(2));
    QCOMPARE(list[0].path, hidsim::pathOf(firstId));
    QCOMPARE(list[1].path, hidsim::pathOf(secondId));
    QCOMPARE(list[0].interfaceNumber, 0);
    QCOMPARE(list[1].interfaceNumber, 1);
    for (const SHidDeviceInfo& info : list) {
        QCOMPARE(info.serialNumber, std::wstring(L"SN42"));
        QCOMPARE(info.vendorId, VID);
        QCOMPARE(info.productId, PID);
        QCOMPARE(info.manufacturer, std::wstring(L"Maker"));
        QCOMPARE(info.product, std::wstring(L"Sensor"));
        QCOMPARE(info.releaseNumber, 0x0123);
    }
    QCOMPARE(list[0].usagePage, 0xFF00);
    QCOMPARE(list[1].usagePage, 0x0001);
    QCOMPARE(list[1].usage, 0x0006);

    // 0 matches any ID.
    QVERIFY(CSimpleHidClass::EnumerateDevices(list, 0, 0));
    QCOMPARE(list.size(), std::size_t(3));
    QCOMPARE(hidsim::callsTo("hid_free_enumeration").size(), std::size_t(2));
}

void TestCSimpleHidClass::enumerateMissingStrings()
{
    hidsim::DeviceSetup setup = makeSpec();
    setup.serialNumber.reset();
    setup.manufacturer.reset();
    setup.product.reset();
    setup.releaseNumber = 0x0200;
    setup.interfaceNumber = -1;
    const hidsim::DeviceId id = hidsim::addDevice(setup);

    std::vector<SHidDeviceInfo> list;
    QVERIFY(CSimpleHidClass::EnumerateDevices(list, VID, PID));
    QCOMPARE(list.size(), std::size_t(1));
    QVERIFY(list[0].serialNumber.empty());
    QVERIFY(list[0].manufacturer.empty());
    QVERIFY(list[0].product.empty());
    QCOMPARE(list[0].path, hidsim::pathOf(id));
    QCOMPARE(list[0].releaseNumber, 0x0200);
    QCOMPARE(list[0].usagePage, 0xFF00);
    QCOMPARE(list[0].interfaceNumber, -1);
}

void TestCSimpleHidClass::getDeviceInfo()
{
    hidsim::DeviceSetup setup = makeSpec();
    setup.manufacturer.reset();
    setup.interfaceNumber = 2;
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    // A missing string must not leave the previous value behind.
    SHidDeviceInfo info;
    info.manufacturer = L"stale";
    info.path = "stale";
    QVERIFY(hid.GetDeviceInfo(info));
    QCOMPARE(info.path, hidsim::pathOf(id));
    QVERIFY(info.manufacturer.empty());
    QCOMPARE(info.serialNumber, std::wstring(L"SN0001"));
    QCOMPARE(info.product, std::wstring(L"Sensor"));
    QCOMPARE(info.vendorId, VID);
    QCOMPARE(info.productId, PID);
    QCOMPARE(info.releaseNumber, 0x0123);
    QCOMPARE(info.usage, 0x0001);
    QCOMPARE(info.interfaceNumber, 2);
}

void TestCSimpleHidClass::getDeviceInfoUnavailable()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setDeviceInfoAvailable(id, false);

    SHidDeviceInfo info;
    info.path = "untouched";
    QVERIFY(!hid.GetDeviceInfo(info));
    QCOMPARE(info.path, std::string("untouched"));
    QVERIFY(info.serialNumber.empty());
    QVERIFY(!hid.GetLastError().empty());
}

void TestCSimpleHidClass::libraryInitOncePerLiveObjects()
{
    const hidsim::DeviceId id = hidsim::addDevice(makeSpec());
    auto first = std::make_unique<CSimpleHidClass>();
    auto second = std::make_unique<CSimpleHidClass>();
    QCOMPARE(hidsim::initCount(), 1);
    QVERIFY(second->OpenPath(hidsim::pathOf(id)));

    first.reset();
    QCOMPARE(hidsim::exitCount(), 0);
    QVERIFY(second->Write({0, 1}));

    // The last object closes its device before it releases the library.
    second.reset();
    QCOMPARE(hidsim::exitCount(), 1);
    const std::vector<hidsim::Call> log = hidsim::calls();
    const auto close = std::find_if(
        log.begin(), log.end(), [](const hidsim::Call& c) { return c.function == "hid_close"; });
    const auto exit = std::find_if(log.begin(), log.end(),
                                   [](const hidsim::Call& c) { return c.function == "hid_exit"; });
    QVERIFY(close != log.end());
    QVERIFY(exit != log.end());
    QVERIFY(close < exit);

    // A new first object initialises again.
    CSimpleHidClass third;
    QCOMPARE(hidsim::initCount(), 2);
}

QTEST_GUILESS_MAIN(TestCSimpleHidClass)
#include "tst_csimplehidclass.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The program's device layers over the real hidapi hidraw backend, with the
// kernel side of one sensor emulated by umockdev: sysfs and udev records, the
// report-descriptor ioctls, and the hidraw node as a stream whose other end
// this test holds. Must run under umockdev-wrapper.
// glib before Qt: Qt defines "signals" as a macro, which glib uses as a name.
#include <umockdev.h>

#include "csimplehidclass.h"
#include "cskarvel.h"
#include "csvreader.h"
#include "devicedialog.h"
#include "mainwindow_testing.h"
#include "processcounts.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const char* const SERIAL = "SKV-0042";
const char* const HID_SYSPATH = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/"
                                "0003:1209:0001.0007";
const char* const HIDRAW_SYSPATH = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/"
                                   "0003:1209:0001.0007/hidraw/hidraw3";
const char* const HIDRAW_NODE = "/dev/hidraw3";

// The sensor's interface 0 as its firmware describes it: six 16-bit axes and
// one byte in, eight bytes out.
const Bytes DESCRIPTOR = {
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32, 0x09,
    0x33, 0x09, 0x34, 0x09, 0x35, 0x15, 0x00, 0x27, 0xFF, 0xFF, 0x00, 0x00, 0x75,
    0x10, 0x95, 0x06, 0x81, 0x02, 0x06, 0x00, 0xFF, 0x09, 0x01, 0x26, 0xFF, 0x00,
    0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x09, 0x02, 0x95, 0x08, 0x91, 0x02, 0xC0,
};

std::string Hex(const Bytes& bytes)
{
    std::string out;
    char digits[3];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        out += digits;
    }
    return out;
}

// Little-endian 32-bit value as ioctl record data.
Bytes U32(std::uint32_t v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

// hidraw_device -> hid device -> USB interface -> USB device, child first.
std::string DeviceDescription()
{
    const std::string usbDevice = "/devices/pci0000:00/0000:00:14.0/usb1/1-3";
    const std::string usbInterface = usbDevice + "/1-3:1.0";
    const std::string hid = usbInterface + "/0003:1209:0001.0007";
    std::string d;
    d += "P: " + hid +
         "/hidraw/hidraw3\nN: hidraw3\nE: DEVNAME=/dev/hidraw3\n"
         "E: MAJOR=239\nE: MINOR=3\nE: SUBSYSTEM=hidraw\nL: device=../..\n\n";
    d += "P: " + hid +
         "\nE: DRIVER=hid-generic\nE: HID_ID=0003:00001209:00000001\n"
         "E: HID_NAME=Skarvel Skarvel IMU\nE: HID_PHYS=usb-0000:00:14.0-3/input0\n"
         "E: HID_UNIQ=" +
         std::string(SERIAL) +
         "\nE: MODALIAS=hid:b0003g0001v00001209p00000001\n"
         "E: SUBSYSTEM=hid\nH: report_descriptor=" +
         Hex(DESCRIPTOR) + "\n\n";
    d += "P: " + usbInterface +
         "\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n"
         "E: INTERFACE=3/0/0\nE: SUBSYSTEM=usb\nA: bInterfaceClass=03\n"
         "A: bInterfaceNumber=00\nA: bInterfaceProtocol=00\n\n";
    d += "P: " + usbDevice +
         "\nN: bus/usb/001/005\nE: BUSNUM=001\nE: DEVNUM=005\n"
         "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: PRODUCT=1209/1/102\nE: SUBSYSTEM=usb\n"
         "A: bcdDevice=0102\nA: busnum=1\nA: devnum=5\nA: idProduct=0001\nA: idVendor=1209\n"
         "A: manufacturer=Skarvel\nA: product=Skarvel IMU\nA: serial=" +
         std::string(SERIAL) + "\n";
    return d;
}

// HIDIOCGRDESCSIZE (an int) and HIDIOCGRDESC (the kernel's 4100-byte
// struct hidraw_report_descriptor), which hid_open_path and
// hid_get_report_descriptor ask for.
std::string IoctlRecord()
{
    Bytes full = U32(static_cast<std::uint32_t>(DESCRIPTOR.size()));
    Bytes value = DESCRIPTOR;
    value.resize(4096, 0);
    full.insert(full.end(), value.begin(), value.end());
    return std::string("@DEV ") + HIDRAW_NODE + "\nHIDIOCGRDESCSIZE 0 " +
           Hex(U32(static_cast<std::uint32_t>(DESCRIPTOR.size()))) + "\nHIDIOCGRDESC 0 " +
           Hex(full) + "\n";
}

Bytes Report(int ax, int ay, int az, int gx, int gy, int gz, unsigned char extra)
{
    Bytes bytes;
    for (int value : {ax, ay, az, gx, gy, gz}) {
        const int wire = value + 32767;
        bytes.push_back(static_cast<unsigned char>(wire & 0xFF));
        bytes.push_back(static_cast<unsigned char>((wire >> 8) & 0xFF));
    }
    bytes.push_back(extra);
    return bytes;
}

// Collects decoded samples from the read thread.
class SampleSink
{
public:
    SampleCallback callback()
    {
        return [this](const SSkarvelSample& s) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_samples.push_back(s);
        };
    }
    std::vector<SSkarvelSample> samples() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_samples;
    }
    std::size_t count() const { return samples().size(); }

private:
    mutable std::mutex m_mutex;
    std::vector<SSkarvelSample> m_samples; // guarded by m_mutex
};

} // namespace

class TestRealHidapi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void enumeratesTheSensor();
    void deviceDialogListsTheSensor();
    void reportGeometryFromTheKernel();
    void connectWritesTheResetCommand();
    void measurementDecodesScriptedReports();
    void parameterChangeWritesItsCommand();
    void connectStreamStopCycles();
    void unplugFailsReadsWithTheDisconnectText();
    void windowLosesTheUnpluggedSensor();
    void recorderListsTheSensor();
    void recorderRecordsEveryReportUntilUnplugged();

private:
    // Bytes the program wrote to the node, waiting up to timeoutMs for count bytes.
    Bytes readWritten(std::size_t count, int timeoutMs = 2000);
    void sendReport(const Bytes& report);
    void unplug();

    UMockdevTestbed* m_testbed = nullptr;
    int m_deviceEnd = -1; // the node's other end; owned by the testbed
    QTemporaryDir m_dir;
};

void TestRealHidapi::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("LD_PRELOAD").contains(QStringLiteral("umockdev")),
             "run under umockdev-wrapper");
    QVERIFY(m_dir.isValid());
}

void TestRealHidapi::init()
{
    m_testbed = umockdev_testbed_new();
    GError* error = nullptr;
    QVERIFY(umockdev_testbed_add_from_string(m_testbed, DeviceDescription().c_str(), &error));
    const QString ioctlFile = m_dir.filePath(QStringLiteral("hidraw.ioctl"));
    {
        QFile file(ioctlFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(IoctlRecord()));
    }
    if (!umockdev_testbed_load_ioctl(m_testbed, HIDRAW_NODE, ioctlFile.toUtf8().constData(),
                                     &error)) {
        const QString message = QString::fromUtf8(error->message);
        g_error_free(error);
        QFAIL(qPrintable(message));
    }
    m_deviceEnd = umockdev_testbed_get_dev_fd(m_testbed, HIDRAW_NODE);
    QVERIFY(m_deviceEnd >= 0);
    // A hidraw node passes bytes unchanged: no line discipline on the stream.
    termios tio{};
    QCOMPARE(tcgetattr(m_deviceEnd, &tio), 0);
    cfmakeraw(&tio);
    QCOMPARE(tcsetattr(m_deviceEnd, TCSANOW, &tio), 0);
}

void TestRealHidapi::cleanup()
{
    g_clear_object(&m_testbed);
    m_deviceEnd = -1;
}

Bytes TestRealHidapi::readWritten(std::size_t count, int timeoutMs)
{
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_deviceEnd, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0)
            continue;
        unsigned char buffer[64];
        const ssize_t n =
            ::read(m_deviceEnd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

void TestRealHidapi::sendReport(const Bytes& report)
{
    QCOMPARE(::write(m_deviceEnd, report.data(), report.size()), ssize_t(report.size()));
}

void TestRealHidapi::enumeratesTheSensor()
{
    std::vector<SHidDeviceInfo> list;
    QVERIFY(CSimpleHidClass::EnumerateDevices(list, SKARVEL_VENDOR_ID, SKARVEL_PRODUCT_ID));
    QCOMPARE(list.size(), std::size_t(1));
    const SHidDeviceInfo& info = list.front();
    QCOMPARE(info.path, std::string(HIDRAW_NODE));
    QCOMPARE(info.serialNumber, std::wstring(L"SKV-0042"));
    QCOMPARE(info.interfaceNumber, 0);
    QCOMPARE(info.releaseNumber, static_cast<unsigned short>(0x0102));
    QCOMPARE(info.usagePage, static_cast<unsigned short>(0x01));
    QCOMPARE(info.usage, static_cast<unsigned short>(0x04));
    QCOMPARE(info.manufacturer, std::wstring(L"Skarvel"));
    QCOMPARE(info.product, std::wstring(L"Skarvel IMU"));
}

void TestRealHidapi::deviceDialogListsTheSensor()
{
    DeviceDialog dialog;
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("cmb_serial"));
    QVERIFY(combo);
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->itemText(0), QString::fromLatin1(SERIAL));
    QCOMPARE(dialog.selectedSerial(), std::wstring(L"SKV-0042"));
}

void TestRealHidapi::reportGeometryFromTheKernel()
{
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(HIDRAW_NODE));
    unsigned long long input = 0, output = 0, feature = 0;
    QVERIFY2(hid.GetReportByteLengths(input, output, feature), hid.GetLastError().c_str());
    QCOMPARE(input, 13ULL);
    QCOMPARE(output, 9ULL);
    QCOMPARE(feature, 0ULL);
}

void TestRealHidapi::connectWritesTheResetCommand()
{
    CSkarvel sensor;
    QVERIFY2(sensor.Connect(L"SKV-0042"), sensor.GetLastError().c_str());
    QCOMPARE(sensor.GetFirmware(), uint16_t(0x0102));
    QCOMPARE(readWritten(9), Bytes(9, 0x00));
    sensor.Disconnect();
    QVERIFY(!sensor.IsConnected());
}

void TestRealHidapi::measurementDecodesScriptedReports()
{
    CSkarvel sensor;
    QVERIFY2(sensor.Connect(L"SKV-0042"), sensor.GetLastError().c_str());
    QCOMPARE(readWritten(9).size(), std::size_t(9));

    SampleSink sink;
    QVERIFY(sensor.StartSensorThread(sink.callback()));
    // On a schedule, as the sensor streams: 1.2 ms apart, some back to back.
    const int count = 50;
    for (int i = 0; i < count; ++i) {
        sendReport(Report(i, -i, 1000 + i, -32767, 32768, 7 * i, static_cast<unsigned char>(i)));
        if (i % 5 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(1200));
    }
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(count), 5000);
    sensor.StopSensorThread();

    const std::vector<SSkarvelSample> samples = sink.samples();
    for (int i = 0; i < count; ++i) {
        const SSkarvelSample& s = samples[static_cast<std::size_t>(i)];
        QCOMPARE(s.accelX, i);
        QCOMPARE(s.accelY, -i);
        QCOMPARE(s.accelZ, 1000 + i);
        QCOMPARE(s.gyroX, -32767);
        QCOMPARE(s.gyroY, 32768);
        QCOMPARE(s.gyroZ, 7 * i);
        QCOMPARE(s.extraByte, static_cast<uint8_t>(i));
    }
}

void TestRealHidapi::parameterChangeWritesItsCommand()
{
    CSkarvel sensor;
    QVERIFY2(sensor.Connect(L"SKV-0042"), sensor.GetLastError().c_str());
    QCOMPARE(readWritten(9).size(), std::size_t(9));
    SampleSink sink;
    QVERIFY(sensor.StartSensorThread(sink.callback()));

    SSkarvelParams params;
    params.accelRange = 2;
    params.accelFilter = 0x00;
    params.gyroRange = 3;
    params.gyroHighPass = 1;
    QVERIFY2(sensor.SetParams(params), sensor.GetLastError().c_str());
    QCOMPARE(readWritten(9), (Bytes{0x00, 0x00, 2, 0x00, 3, 1, 0, 0, 0}));
    // Streaming goes on after the change.
    sendReport(Report(5, 6, 7, 8, 9, 10, 11));
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), 5000);
    QCOMPARE(sink.samples().front().gyroZ, 10);
}

// The real backend opens the node and udev for every connection: all of it
// must be given back. The first cycle may set up what lives on (the
// emulation's own connections), so the counts are taken after it.
void TestRealHidapi::connectStreamStopCycles()
{
    const int cycles = 100;
    int threadsBefore = 0;
    int filesBefore = 0;
    qint64 slowestStopUs = 0;
    for (int cycle = 0; cycle <= cycles; ++cycle) {
        if (cycle == 1) {
            threadsBefore = testing::threadCount();
            filesBefore = testing::openFileCount();
        }
        CSkarvel sensor;
        QVERIFY2(sensor.Connect(L"SKV-0042"), sensor.GetLastError().c_str());
        QCOMPARE(readWritten(9).size(), std::size_t(9));
        SampleSink sink;
        QVERIFY(sensor.StartSensorThread(sink.callback()));
        for (int i = 0; i < 5; ++i)
            sendReport(Report(cycle, i, 0, 0, 0, 0, 0));
        QDeadlineTimer deadline(5000);
        while (sink.count() < 5 && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        QCOMPARE(sink.count(), std::size_t(5));
        QElapsedTimer clock;
        clock.start();
        sensor.StopSensorThread();
        slowestStopUs = std::max(slowestStopUs, clock.nsecsElapsed() / 1000);
        sensor.Disconnect();
    }
    QCOMPARE(testing::threadCount(), threadsBefore);
    // The emulation's own thread closes its end of a finished ioctl
    // connection when it gets round to it, so one descriptor may come and
    // go; a leak would show once per cycle.
    QVERIFY2(
        std::abs(testing::openFileCount() - filesBefore) <= 1,
        qPrintable(
            QStringLiteral("%1 open, %2 before").arg(testing::openFileCount()).arg(filesBefore)));
    // One read time-out plus the join on an idle machine; a busy one makes
    // it any longer, so the figure is for the log.
    qInfo("%d cycles, slowest stop %lld us", cycles, slowestStopUs);
}

void TestRealHidapi::unplug()
{
    // As the kernel shows a pulled cable: the node's stream ends, the device
    // leaves sysfs and udev announces its removal.
    // The testbed owns the descriptor, but only closing it ends the stream;
    // the test ends before the testbed is released.
    ::close(m_deviceEnd);
    m_deviceEnd = -1;
    umockdev_testbed_uevent(m_testbed, HIDRAW_SYSPATH, "remove");
    umockdev_testbed_remove_device(m_testbed, HIDRAW_SYSPATH);
    umockdev_testbed_remove_device(m_testbed, HID_SYSPATH);
}

void TestRealHidapi::unplugFailsReadsWithTheDisconnectText()
{
    CSkarvel sensor;
    QVERIFY2(sensor.Connect(L"SKV-0042"), sensor.GetLastError().c_str());
    QCOMPARE(readWritten(9).size(), std::size_t(9));
    SampleSink sink;
    QVERIFY(sensor.StartSensorThread(sink.callback()));
    sendReport(Report(1, 2, 3, 4, 5, 6, 7));
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), 5000);

    unplug();
    // The read thread only sees failing reads; samples stop for good.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QVERIFY(sensor.IsSensorThreadRunning());
    QCOMPARE(sink.count(), std::size_t(1));
    sensor.StopSensorThread();
    SSkarvelSample sample;
    QVERIFY(!sensor.ReadSample(sample, 100));
    QVERIFY2(QString::fromStdString(sensor.GetLastError()).contains(QStringLiteral("disconnected")),
             sensor.GetLastError().c_str());

    std::vector<std::wstring> serials;
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QVERIFY(serials.empty());
    sensor.Disconnect();
}

void TestRealHidapi::windowLosesTheUnpluggedSensor()
{
    MainWindow window;
    testing::ModalAnswerer modals;
    testing::WindowParts parts(window);
    testing::connectTo(window, modals, QString::fromLatin1(SERIAL));
    QTRY_VERIFY(parts.connected());
    QCOMPARE(readWritten(9), Bytes(9, 0x00));

    parts.action("actionStart")->trigger();
    QVERIFY(parts.measuring());
    using Clock = std::chrono::steady_clock;
    QString connectionAtMessage;
    Clock::time_point messageAt;
    modals.expect([&](QWidget* box) {
        messageAt = Clock::now();
        connectionAtMessage = parts.label("lb_status_connection")->text();
        static_cast<QDialog*>(box)->accept();
    });

    // The sensor streams until the cable is pulled, report k carrying k.
    std::atomic<bool> pulling{false};
    std::atomic<int> sent{0};
    Clock::time_point lastReport; // the stream's until it is joined
    std::thread stream([&] {
        for (int k = 0; !pulling;) {
            pollfd p{m_deviceEnd, POLLOUT, 0};
            if (poll(&p, 1, 10) <= 0)
                continue; // full while the window is not reading: try again
            const Bytes report = Report(k % 30000, 0, 0, 0, 0, 0, static_cast<unsigned char>(k));
            const Clock::time_point writing = Clock::now();
            if (::write(m_deviceEnd, report.data(), report.size()) != ssize_t(report.size()))
                continue;
            lastReport = writing;
            sent = ++k;
            std::this_thread::sleep_for(std::chrono::microseconds(1200));
        }
    });
    auto endStream = qScopeGuard([&] {
        pulling = true;
        stream.join();
    });
    QTRY_VERIFY_WITH_TIMEOUT(parts.accel()->storedSampleCount() >= 200, 5000);
    endStream.dismiss();
    pulling = true;
    stream.join();
    // The cable goes once the last report is read.
    const int reports = sent;
    QTRY_COMPARE_WITH_TIMEOUT(parts.accel()->storedSampleCount(), quint64(reports - 100), 5000);
    unplug();
    QTRY_COMPARE_WITH_TIMEOUT(modals.unanswered(), 0, 5000);

    QCOMPARE(modals.seen().size(), 2);
    QCOMPARE(
        modals.seen()[1].text,
        QStringLiteral("Connection to the sensor was lost.\nThe measurement has been stopped."));
    // A second of silence after the last sample; how much later the message
    // comes is the machine's to say, so the figure is for the log.
    const qint64 silenceMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(messageAt - lastReport).count();
    qInfo("message %lld ms after the last report", silenceMs);
    QVERIFY2(messageAt - lastReport > std::chrono::milliseconds(999),
             qPrintable(QString::number(silenceMs)));
    QVERIFY(connectionAtMessage.contains(QStringLiteral("No device connected")));
    QVERIFY(!parts.connected());
    // Every report sent reached the history, but the first 100 after the start.
    const quint64 stored = parts.accel()->storedSampleCount();
    QCOMPARE(stored, quint64(reports - 100));
    QCOMPARE(parts.accel()->storedSample(0, 0), float(100 * 0.061 / 1000.0));
    QCOMPARE(parts.accel()->storedSample(0, stored - 1),
             float(double((reports - 1) % 30000) * 0.061 / 1000.0));
    QVERIFY(parts.action("actionSaveCsv")->isEnabled());
    QCOMPARE(modals.unexpected(), 0);
}

// skarvel-record, the installed one over the real backend, in a child
// process that inherits the emulation (the preload library and the testbed).
void TestRealHidapi::recorderListsTheSensor()
{
    QProcess recorder;
    recorder.start(QStringLiteral(SKARVEL_RECORD), {QStringLiteral("--list")});
    QVERIFY(recorder.waitForFinished(30000));
    QCOMPARE(recorder.exitCode(), 0);
    QCOMPARE(recorder.readAllStandardOutput(), QByteArray("SKV-0042\t0102\t/dev/hidraw3\tok\n"));
    QCOMPARE(recorder.readAllStandardError(), QByteArray());
}

void TestRealHidapi::recorderRecordsEveryReportUntilUnplugged()
{
    const QString path = m_dir.filePath(QStringLiteral("recorded.csv"));
    QProcess recorder;
    recorder.start(QStringLiteral(SKARVEL_RECORD),
                   {QStringLiteral("--accel-range"), QStringLiteral("4"), path});
    QVERIFY(recorder.waitForStarted());
    // The reset of the connect, then the range: ±4 g is code 2.
    QCOMPARE(readWritten(9, 30000), Bytes(9, 0x00));
    QCOMPARE(readWritten(9, 30000), (Bytes{0x00, 0x00, 2, 0x00, 0, 0, 0, 0, 0}));

    // Numbered reports, on a schedule as the sensor streams them.
    constexpr int RECORDED = 250;
    const int settling = 100;
    // The silence counts from the last report, which the recorder may read
    // long before the file shows it.
    QElapsedTimer sinceLastReport;
    for (int i = 0; i < settling + RECORDED; ++i) {
        sinceLastReport.start();
        sendReport(Report(i, -i, 0, 0, 0, 0, static_cast<unsigned char>(i)));
        if (i % 5 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(1200));
    }
    const auto recordedSamples = [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return quint64(0);
        CsvReader reader(&file, 1);
        return reader.scan() ? reader.sampleCount() : quint64(0);
    };
    QTRY_COMPARE_WITH_TIMEOUT(recordedSamples(), quint64(RECORDED), 30000);
    unplug();
    QVERIFY(recorder.waitForFinished(30000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recorder.exitCode(), 3);
    QVERIFY2(sinceLastReport.elapsed() >= 999,
             qPrintable(QString::number(sinceLastReport.elapsed())));
    QVERIFY(recorder.readAllStandardError().contains("went silent"));

    // Every report after the settling ones, in order, converted with ±4 g.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    CsvReader reader(&file, 1000);
    QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
    QCOMPARE(reader.loadedCount(), quint64(RECORDED));
    QCOMPARE(reader.header().settings.value(0).second, QStringLiteral("\u00B14 g"));
    for (int k = 0; k < RECORDED; ++k) {
        const double expected = (settling + k) * 0.122 / 1000.0;
        QVERIFY2(std::abs(double(reader.accelFrames()[std::size_t(3 * k)]) - expected) < 6e-6,
                 qPrintable(QString::number(k)));
        QVERIFY(std::abs(double(reader.accelFrames()[std::size_t(3 * k + 1)]) + expected) < 6e-6);
    }
}

QTEST_MAIN(TestRealHidapi)
#include "tst_realhidapi.moc"

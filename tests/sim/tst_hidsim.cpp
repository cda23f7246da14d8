// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The simulated hidapi backend must behave like the library where the program
// relies on it: blocking reads with time-outs, unplugging, enumeration order.
#include "hidsim.h"

#include <hidapi.h>

#include <QtTest>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

hidsim::DeviceSetup setup(unsigned short vid, unsigned short pid,
                          std::optional<std::wstring> serial, int interfaceNumber = 0)
{
    hidsim::DeviceSetup s;
    s.vendorId = vid;
    s.productId = pid;
    s.serialNumber = std::move(serial);
    s.interfaceNumber = interfaceNumber;
    return s;
}

// Delivers report k at start + k * period, each holding k.
class PacedModel : public hidsim::DeviceModel
{
public:
    explicit PacedModel(std::chrono::milliseconds period, int unplugAt = -1)
        : m_period(period), m_unplugAt(unplugAt)
    {}
    Poll pollInput(hidsim::Clock::time_point now, hidsim::Bytes& report,
                   hidsim::Clock::time_point& due) override
    {
        if (m_next == m_unplugAt)
            return Poll::Unplug;
        due = m_start + m_period * m_next;
        if (now < due)
            return Poll::NotYet;
        report = {static_cast<unsigned char>(m_next++)};
        return Poll::Ready;
    }
    void onOpen(hidsim::Clock::time_point now) override { m_start = now; }
    void onOutputReport(const hidsim::Bytes& data) override { lastOutput = data; }

    hidsim::Bytes lastOutput;

private:
    std::chrono::milliseconds m_period;
    int m_unplugAt;
    int m_next = 0;
    hidsim::Clock::time_point m_start;
};

} // namespace

class tst_HidSim : public QObject
{
    Q_OBJECT

private slots:
    void init() { hidsim::reset(); }

    void enumerateFilters_data();
    void enumerateFilters();
    void enumerateCopiesMissingStringsAsNull();
    void openBySerial();
    void openFailures();
    void readTimeouts_data();
    void readTimeouts();
    void readCopiesAtMostLength();
    void blockedReadWakesOnQueueAndUnplug();
    void modelPacesAndUnplugs();
    void writeIsRecordedOrFailsAsScripted();
    void indexedStringFillsWholeBuffer();
    void initAndExitAreCounted();
};

void tst_HidSim::enumerateFilters_data()
{
    QTest::addColumn<int>("vid");
    QTest::addColumn<int>("pid");
    QTest::addColumn<QStringList>("serials");

    QTest::newRow("both ids") << 0x1209 << 0x0001 << QStringList{"A", "C"};
    QTest::newRow("vendor only") << 0x1209 << 0 << QStringList{"A", "B", "C"};
    QTest::newRow("any") << 0 << 0 << QStringList{"A", "B", "C", "D"};
    QTest::newRow("none") << 0x1234 << 0x0001 << QStringList{};
}

void tst_HidSim::enumerateFilters()
{
    QFETCH(int, vid);
    QFETCH(int, pid);
    QFETCH(QStringList, serials);

    hidsim::addDevice(setup(0x1209, 0x0001, L"A"));
    hidsim::addDevice(setup(0x1209, 0x0002, L"B"));
    hidsim::addDevice(setup(0x1209, 0x0001, L"C"));
    hidsim::addDevice(setup(0x4242, 0x0001, L"D"));

    QStringList found;
    hid_device_info* list = hid_enumerate(vid, pid);
    for (hid_device_info* d = list; d; d = d->next)
        found << QString::fromWCharArray(d->serial_number);
    hid_free_enumeration(list);
    QCOMPARE(found, serials);
}

void tst_HidSim::enumerateCopiesMissingStringsAsNull()
{
    hidsim::DeviceSetup s = setup(1, 2, std::nullopt, 3);
    s.product = L"Thing";
    s.releaseNumber = 0x0102;
    s.usagePage = 0xFF00;
    s.usage = 7;
    hidsim::addDevice(s);

    hid_device_info* list = hid_enumerate(1, 2);
    QVERIFY(list);
    QCOMPARE(list->serial_number, nullptr);
    QCOMPARE(list->manufacturer_string, nullptr);
    QCOMPARE(QString::fromWCharArray(list->product_string), QString("Thing"));
    QCOMPARE(list->release_number, 0x0102);
    QCOMPARE(list->usage_page, 0xFF00);
    QCOMPARE(list->usage, 7);
    QCOMPARE(list->interface_number, 3);
    QVERIFY(QByteArray(list->path).size() > 0);
    QCOMPARE(list->next, nullptr);
    hid_free_enumeration(list);
}

void tst_HidSim::openBySerial()
{
    const auto a = hidsim::addDevice(setup(1, 2, L"a"));
    const auto b = hidsim::addDevice(setup(1, 2, L"A"));

    hid_device* first = hid_open(1, 2, nullptr);
    QVERIFY(first);
    QCOMPARE(hidsim::openHandleCount(a), 1);
    hid_device* upper = hid_open(1, 2, L"A");
    QVERIFY(upper);
    QCOMPARE(hidsim::openHandleCount(b), 1);
    QCOMPARE(hid_open(1, 2, L"b"), nullptr);
    QVERIFY(QString::fromWCharArray(hid_error(nullptr)).contains("not found"));

    const auto opens = hidsim::callsTo("hid_open");
    QCOMPARE(opens.size(), size_t(3));
    QVERIFY(!opens[0].serialNumber);
    QCOMPARE(opens[1].serialNumber.value(), std::wstring(L"A"));
    hid_close(first);
    hid_close(upper);
    QCOMPARE(hidsim::openHandleCount(a), 0);
}

void tst_HidSim::openFailures()
{
    const auto id = hidsim::addDevice(setup(1, 2, L"S"));
    QCOMPARE(hid_open_path("/dev/nowhere"), nullptr);
    QCOMPARE(QString::fromWCharArray(hid_error(nullptr)),
             QString("Failed to open a device with path '/dev/nowhere': No such file or "
                     "directory"));

    hidsim::setOpenFailure(id, std::wstring(L"Permission denied"));
    QCOMPARE(hid_open_path(hidsim::pathOf(id).c_str()), nullptr);
    QCOMPARE(QString::fromWCharArray(hid_error(nullptr)), QString("Permission denied"));

    hidsim::setOpenFailure(id, std::nullopt);
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());
    QVERIFY(dev);
    hid_close(dev);
}

void tst_HidSim::readTimeouts_data()
{
    QTest::addColumn<int>("timeout");
    QTest::newRow("no wait") << 0;
    QTest::newRow("60 ms") << 60;
}

void tst_HidSim::readTimeouts()
{
    QFETCH(int, timeout);
    const auto id = hidsim::addDevice(setup(1, 2, L"S"));
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());
    unsigned char buffer[8];
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(hid_read_timeout(dev, buffer, sizeof buffer, timeout), 0);
    QVERIFY(clock.elapsed() >= timeout - 1);
    hid_close(dev);
}

void tst_HidSim::readCopiesAtMostLength()
{
    const auto id = hidsim::addDevice(setup(1, 2, L"S"));
    hidsim::queueInput(id, {1, 2, 3});
    hidsim::queueInput(id, {4, 5, 6, 7, 8, 9});
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());
    unsigned char buffer[4] = {};
    QCOMPARE(hid_read_timeout(dev, buffer, 4, 0), 3);
    QCOMPARE(buffer[2], 3);
    QCOMPARE(hid_read_timeout(dev, buffer, 4, 0), 4);
    QCOMPARE(buffer[3], 7);
    QCOMPARE(hidsim::queuedInputCount(id), size_t(0));
    hid_close(dev);
}

void tst_HidSim::blockedReadWakesOnQueueAndUnplug()
{
    const auto id = hidsim::addDevice(setup(1, 2, L"S"));
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());

    std::atomic<int> first{-2};
    std::atomic<int> second{-2};
    std::thread reader([&] {
        unsigned char buffer[4];
        first = hid_read_timeout(dev, buffer, 4, -1);
        second = hid_read_timeout(dev, buffer, 4, -1);
    });
    std::this_thread::sleep_for(20ms);
    QCOMPARE(first.load(), -2);
    hidsim::queueInput(id, {1, 2});
    QTRY_COMPARE(first.load(), 2);
    hidsim::removeDevice(id);
    reader.join();
    QCOMPARE(second.load(), -1);
    QCOMPARE(QString::fromWCharArray(hid_read_error(dev)),
             QString::fromWCharArray(hidsim::UNPLUGGED_READ_ERROR));

    hid_device_info* list = hid_enumerate(1, 2);
    QCOMPARE(list, nullptr);
    unsigned char command[2] = {0, 1};
    QCOMPARE(hid_write(dev, command, 2), -1);
    hid_close(dev);
}

void tst_HidSim::modelPacesAndUnplugs()
{
    auto model = std::make_shared<PacedModel>(10ms, 5);
    hidsim::DeviceSetup s = setup(1, 2, L"S");
    s.model = model;
    s.physicalDevice = 7;
    const auto id = hidsim::addDevice(s);
    hidsim::DeviceSetup sibling = setup(1, 2, L"S", 1);
    sibling.physicalDevice = 7;
    const auto siblingId = hidsim::addDevice(sibling);
    const auto otherId = hidsim::addDevice(setup(1, 2, L"T"));
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());

    QElapsedTimer clock;
    clock.start();
    unsigned char value = 0xFF;
    for (int k = 0; k < 5; ++k) {
        QCOMPARE(hid_read_timeout(dev, &value, 1, 1000), 1);
        QCOMPARE(int(value), k);
    }
    // Report 4 was due 40 ms after the open.
    QVERIFY(clock.elapsed() >= 39);
    QCOMPARE(hid_read_timeout(dev, &value, 1, 1000), -1);
    QVERIFY(!hidsim::isPresent(id));
    QVERIFY(!hidsim::isPresent(siblingId));
    QVERIFY(hidsim::isPresent(otherId));
    hid_close(dev);
}

void tst_HidSim::writeIsRecordedOrFailsAsScripted()
{
    auto model = std::make_shared<PacedModel>(1000ms);
    hidsim::DeviceSetup s = setup(1, 2, L"S");
    s.model = model;
    const auto id = hidsim::addDevice(s);
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());
    const unsigned char command[9] = {0, 0, 1, 0x80, 2, 0, 0, 0, 0};

    QCOMPARE(hid_write(dev, command, 9), 9);
    QCOMPARE(model->lastOutput, hidsim::Bytes(command, command + 9));
    QCOMPARE(hidsim::outputReports(id).size(), size_t(1));

    hidsim::setWriteResult(id, 5, L"short");
    QCOMPARE(hid_write(dev, command, 9), 5);
    QCOMPARE(QString::fromWCharArray(hid_error(dev)), QString("short"));
    hidsim::setWriteResult(id, std::nullopt);
    QCOMPARE(hid_write(dev, command, 9), 9);
    QCOMPARE(hidsim::outputReports(id).size(), size_t(2));

    const auto writes = hidsim::callsTo("hid_write");
    QCOMPARE(writes.size(), size_t(3));
    QCOMPARE(writes[1].result, 5);
    QCOMPARE(writes[1].data.size(), size_t(9));
    hid_close(dev);
}

void tst_HidSim::indexedStringFillsWholeBuffer()
{
    hidsim::DeviceSetup s = setup(1, 2, L"S");
    s.indexedStrings[3] = std::wstring(10, L'x');
    const auto id = hidsim::addDevice(s);
    hid_device* dev = hid_open_path(hidsim::pathOf(id).c_str());

    wchar_t buffer[12];
    std::fill(std::begin(buffer), std::end(buffer), L'?');
    QCOMPARE(hid_get_indexed_string(dev, 3, buffer, 4), 0);
    QCOMPARE(buffer[3], L'x');
    QCOMPARE(buffer[4], L'?');
    QCOMPARE(hid_get_indexed_string(dev, 3, buffer, 12), 0);
    QCOMPARE(buffer[10], L'\0');
    QCOMPARE(hid_get_indexed_string(dev, 4, buffer, 12), -1);
    hid_close(dev);
}

void tst_HidSim::initAndExitAreCounted()
{
    QCOMPARE(hidsim::initCount(), 0);
    hid_init();
    hid_init();
    hid_exit();
    QCOMPARE(hidsim::initCount(), 2);
    QCOMPARE(hidsim::exitCount(), 1);
    hidsim::reset();
    QCOMPARE(hidsim::initCount(), 0);
}

QTEST_GUILESS_MAIN(tst_HidSim)
#include "tst_hidsim.moc"

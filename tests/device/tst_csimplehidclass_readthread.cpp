// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// CSimpleHidClass's read thread against the simulated hidapi backend:
// delivery, start/stop protocol, failures while streaming, and device calls
// from other threads while the thread blocks in a read.
#include "csimplehidclass.h"
#include "hidsim.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace {

using Bytes = std::vector<unsigned char>;

// Short time-outs keep stops quick; the QTRY_ waits are only upper bounds.
const int READ_TIMEOUT_MS = 10;
const int WAIT_MS = 5000;

hidsim::DeviceId plugDevice()
{
    hidsim::DeviceSetup setup;
    setup.vendorId = 0x1234;
    setup.productId = 0x5678;
    setup.serialNumber = std::wstring(L"SN0001");
    setup.interfaceNumber = 0;
    return hidsim::addDevice(setup);
}

// Collects the reports a read thread delivers, and on which thread.
class CReportSink
{
public:
    ReadCallback callback()
    {
        return [this](const Bytes& report) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_reports.push_back(report);
            m_threads.push_back(std::this_thread::get_id());
        };
    }
    std::size_t count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports.size();
    }
    std::vector<Bytes> reports() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_reports;           // guarded by m_mutex
    std::vector<std::thread::id> m_threads; // guarded by m_mutex
};

} // namespace

class TestCSimpleHidClassReadThread : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void deliversReportsInOrder();
    void startTwiceKeepsFirstThread();
    void stopWithoutThread();
    void emptyCallbackDiscardsReports();
    void stopStartCycles();
    void timeoutsNeverReachCallback();
    void unplugWhileStreaming();
    void failedReadsWaitOutTheTimeout();
    void stopEndsThePauseAfterAFailedRead();
    void spuriousFailureThenData();
    void writeFromOtherThreadWhileReading();
    void writeFromCallback();
    void closeStopsThread();
    void destroyWhileStreaming();
};

void TestCSimpleHidClassReadThread::init()
{
    hidsim::reset();
}

void TestCSimpleHidClassReadThread::deliversReportsInOrder()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    const std::vector<Bytes> sent{{1, 2, 3}, {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {17}};
    for (const Bytes& report : sent)
        hidsim::queueInput(id, report);

    CReportSink sink;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
    QVERIFY(hid.IsReadThreadRunning());
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), sent.size(), WAIT_MS);
    hid.StopReadThread();
    QVERIFY(!hid.IsReadThreadRunning());

    // The library cuts a report longer than the requested length.
    std::vector<Bytes> expected = sent;
    expected[1].resize(13);
    QCOMPARE(sink.reports(), expected);
    for (std::thread::id thread : sink.threads())
        QVERIFY(thread != std::this_thread::get_id());
}

void TestCSimpleHidClassReadThread::startTwiceKeepsFirstThread()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    CReportSink first;
    CReportSink second;
    QVERIFY(hid.StartReadThread(first.callback(), 13, READ_TIMEOUT_MS));
    QVERIFY(!hid.StartReadThread(second.callback(), 13, READ_TIMEOUT_MS));
    QCOMPARE(hid.GetLastError(), std::string("Read thread already running"));
    QVERIFY(hid.IsReadThreadRunning());

    hidsim::queueInput(id, {1});
    hidsim::queueInput(id, {2});
    QTRY_COMPARE_WITH_TIMEOUT(first.count(), std::size_t(2), WAIT_MS);
    hid.StopReadThread();
    QCOMPARE(second.count(), std::size_t(0));
}

void TestCSimpleHidClassReadThread::stopWithoutThread()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    hid.StopReadThread();
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hid.StopReadThread();
    QVERIFY(!hid.IsReadThreadRunning());
    QVERIFY(hid.GetLastError().empty());

    // The stop request left by those stops must not end the next thread.
    CReportSink sink;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
    hidsim::queueInput(id, {1});
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), WAIT_MS);
    QVERIFY(hid.IsReadThreadRunning());
}

void TestCSimpleHidClassReadThread::emptyCallbackDiscardsReports()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    for (unsigned char i = 0; i < 5; ++i)
        hidsim::queueInput(id, {i});

    QVERIFY(hid.StartReadThread(ReadCallback(), 13, READ_TIMEOUT_MS));
    QTRY_COMPARE_WITH_TIMEOUT(hidsim::queuedInputCount(id), std::size_t(0), WAIT_MS);
    QVERIFY(hid.IsReadThreadRunning());
    hid.StopReadThread();
    QVERIFY(!hid.IsReadThreadRunning());
}

void TestCSimpleHidClassReadThread::stopStartCycles()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    CReportSink sink;
    std::vector<Bytes> expected;
    hidsim::queueInput(id, {1});
    for (unsigned char cycle = 1; cycle <= 5; ++cycle) {
        // Queued while stopped: only a freshly started thread can take it.
        QCOMPARE(hidsim::queuedInputCount(id), std::size_t(1));
        QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
        QVERIFY(hid.IsReadThreadRunning());
        expected.push_back({cycle});
        QTRY_COMPARE_WITH_TIMEOUT(sink.count(), expected.size(), WAIT_MS);
        hid.StopReadThread();
        QVERIFY(!hid.IsReadThreadRunning());

        hidsim::queueInput(id, {static_cast<unsigned char>(cycle + 1)});
        QTest::qWait(2 * READ_TIMEOUT_MS);
    }
    QCOMPARE(hidsim::queuedInputCount(id), std::size_t(1));
    QCOMPARE(sink.reports(), expected);
    QVERIFY(hid.IsOpen());
}

void TestCSimpleHidClassReadThread::timeoutsNeverReachCallback()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setLogReads(true);

    CReportSink sink;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, 1));
    // Several timed-out reads in a row: the loop goes on after each.
    QTRY_VERIFY_WITH_TIMEOUT(hidsim::callsTo("hid_read_timeout").size() >= 3, WAIT_MS);
    QCOMPARE(hid.GetLastError(), std::string("Timeout"));
    QVERIFY(hid.IsReadThreadRunning());
    QCOMPARE(sink.count(), std::size_t(0));

    hidsim::queueInput(id, {42});
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), WAIT_MS);
    hid.StopReadThread();
    for (const hidsim::Call& call : hidsim::callsTo("hid_read_timeout")) {
        QCOMPARE(call.timeout, 1);
        QCOMPARE(call.length, std::size_t(13));
    }
}

void TestCSimpleHidClassReadThread::unplugWhileStreaming()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    CReportSink sink;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
    hidsim::queueInput(id, {1, 2, 3});
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), WAIT_MS);

    hidsim::setLogReads(true);
    hidsim::removeDevice(id);
    const std::string unplugged =
        QString::fromWCharArray(hidsim::UNPLUGGED_READ_ERROR).toUtf8().toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(hid.GetLastError(), unplugged, WAIT_MS);
    // The thread keeps retrying without ending itself.
    QTRY_VERIFY_WITH_TIMEOUT(hidsim::callsTo("hid_read_timeout").size() >= 10, WAIT_MS);
    QVERIFY(hid.IsReadThreadRunning());
    QCOMPARE(sink.count(), std::size_t(1));
    QCOMPARE(hid.GetLastError(), unplugged);

    hid.StopReadThread();
    QVERIFY(!hid.IsReadThreadRunning());
    QCOMPARE(sink.count(), std::size_t(1));
    QVERIFY(hid.IsOpen());
    hid.Close();
    QVERIFY(!hid.IsOpen());
}

void TestCSimpleHidClassReadThread::failedReadsWaitOutTheTimeout()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    CReportSink sink;
    const int timeoutMs = 100;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, timeoutMs));

    hidsim::setLogReads(true);
    hidsim::removeDevice(id);
    QTRY_VERIFY_WITH_TIMEOUT(!hidsim::callsTo("hid_read_timeout").empty(), WAIT_MS);
    QElapsedTimer clock;
    clock.start();
    hidsim::clearCalls();
    QTRY_VERIFY_WITH_TIMEOUT(hidsim::callsTo("hid_read_timeout").size() >= 5, WAIT_MS);
    const std::size_t attempts = hidsim::callsTo("hid_read_timeout").size();
    const qint64 elapsed = clock.elapsed();
    hid.StopReadThread();

    // A time-out between attempts, however long the machine took: without the
    // pause these attempts take microseconds.
    QVERIFY2(qint64(attempts) <= elapsed / timeoutMs + 2,
             qPrintable(QStringLiteral("%1 attempts in %2 ms").arg(attempts).arg(elapsed)));
    QCOMPARE(sink.count(), std::size_t(0));
}

void TestCSimpleHidClassReadThread::stopEndsThePauseAfterAFailedRead()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::setLogReads(true);
    hidsim::removeDevice(id);
    // Without limit: only the stop request ends the pause.
    QVERIFY(hid.StartReadThread({}, 13, -1));
    QTRY_VERIFY_WITH_TIMEOUT(hidsim::callsTo("hid_read_timeout").size() >= 2, WAIT_MS);

    hid.StopReadThread();
    QVERIFY(!hid.IsReadThreadRunning());
    // The first failure is retried at once; the second waits for the stop.
    QCOMPARE(hidsim::callsTo("hid_read_timeout").size(), std::size_t(2));
}

void TestCSimpleHidClassReadThread::spuriousFailureThenData()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    hidsim::failNextReads(id, 1);
    hidsim::queueInput(id, {7, 8});
    CReportSink sink;
    // A pause after the failure would hold the report back for a whole minute.
    QVERIFY(hid.StartReadThread(sink.callback(), 13, 60000));

    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), WAIT_MS);
    QCOMPARE(hid.GetLastError(), std::string("Interrupted system call"));
    QCOMPARE(sink.reports().front(), (Bytes{7, 8}));
    hidsim::removeDevice(id); // so that the stop does not wait out the read
    hid.StopReadThread();
}

void TestCSimpleHidClassReadThread::writeFromOtherThreadWhileReading()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    CReportSink sink;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));

    const int writes = 5;
    std::atomic<int> succeeded{0};
    std::thread writer([&] {
        for (int i = 0; i < writes; ++i) {
            const Bytes report{0, static_cast<unsigned char>(i), 0, 0, 0, 0, 0, 0, 0};
            if (hid.Write(report))
                ++succeeded;
            // Reading the failure text never waits for the device mutex.
            (void)hid.GetLastError();
        }
    });
    for (unsigned char i = 0; i < 5; ++i)
        hidsim::queueInput(id, {i});
    writer.join();

    QCOMPARE(succeeded.load(), writes);
    const std::vector<Bytes> outputs = hidsim::outputReports(id);
    QCOMPARE(outputs.size(), std::size_t(writes));
    for (int i = 0; i < writes; ++i) {
        QCOMPARE(outputs[i].size(), std::size_t(9));
        QCOMPARE(int(outputs[i][1]), i);
    }
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(5), WAIT_MS);
    QVERIFY(hid.IsReadThreadRunning());
    hid.StopReadThread();
}

void TestCSimpleHidClassReadThread::writeFromCallback()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));

    std::atomic<int> echoed{0};
    // The callback runs after the read released the device mutex.
    auto echo = [&hid, &echoed](const Bytes& report) {
        Bytes out(report.size() + 1, 0);
        std::copy(report.begin(), report.end(), out.begin() + 1);
        if (hid.Write(out))
            ++echoed;
    };
    QVERIFY(hid.StartReadThread(echo, 13, READ_TIMEOUT_MS));
    hidsim::queueInput(id, {7, 8});
    hidsim::queueInput(id, {9});
    QTRY_COMPARE_WITH_TIMEOUT(echoed.load(), 2, WAIT_MS);
    hid.StopReadThread();
    QCOMPARE(hidsim::outputReports(id), (std::vector<Bytes>{{0, 7, 8}, {0, 9}}));
}

void TestCSimpleHidClassReadThread::closeStopsThread()
{
    const hidsim::DeviceId id = plugDevice();
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    CReportSink sink;
    QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
    hidsim::queueInput(id, {1});
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), WAIT_MS);

    hid.Close();
    QVERIFY(!hid.IsReadThreadRunning());
    QVERIFY(!hid.IsOpen());
    QCOMPARE(hidsim::openHandleCount(id), 0);

    // Reopened, the thread can be started again.
    QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
    QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
    hidsim::queueInput(id, {2});
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(2), WAIT_MS);
}

void TestCSimpleHidClassReadThread::destroyWhileStreaming()
{
    const hidsim::DeviceId id = plugDevice();
    CReportSink sink;
    {
        CSimpleHidClass hid;
        QVERIFY(hid.OpenPath(hidsim::pathOf(id)));
        QVERIFY(hid.StartReadThread(sink.callback(), 13, READ_TIMEOUT_MS));
        hidsim::queueInput(id, {1});
        QTRY_COMPARE_WITH_TIMEOUT(sink.count(), std::size_t(1), WAIT_MS);
    }
    QCOMPARE(hidsim::openHandleCount(id), 0);
    QCOMPARE(hidsim::exitCount(), 1);
    // Joined: nothing reads after destruction.
    hidsim::queueInput(id, {2});
    QTest::qWait(2 * READ_TIMEOUT_MS);
    QCOMPARE(hidsim::queuedInputCount(id), std::size_t(1));
    QCOMPARE(sink.count(), std::size_t(1));
}

QTEST_GUILESS_MAIN(TestCSimpleHidClassReadThread)
#include "tst_csimplehidclass_readthread.moc"

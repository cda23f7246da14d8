// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The simulated sensor must behave like the real one where the program and
// its tests rely on it: interfaces, pacing, the host's bounded buffer, range
// scaling, filters, ignored commands and unplugging.
#include "cskarvel.h"
#include "hidsim.h"
#include "skarvelmodel.h"

#include <QtTest>

#include <cmath>
#include <thread>

using namespace std::chrono_literals;
using skarvelsim::EPacing;
using skarvelsim::SSensorConfig;
using skarvelsim::SSimSensor;

namespace {

SSimSensor addSensor(EPacing pacing, int extraInterfaces = 1)
{
    SSensorConfig config;
    config.serialNumber = std::wstring(L"SIM");
    config.pacing = pacing;
    config.extraInterfaces = extraInterfaces;
    return skarvelsim::addSensor(config);
}

// A sample read, with the reports the host dropped while it was read: a
// reader the machine held up for longer than the host's buffer lasts misses
// the oldest of them.
struct SRead
{
    SSkarvelSample sample;
    uint64_t droppedBefore = 0;
};

bool readOne(CSkarvel& sensor, const SSimSensor& sim, int timeoutMs, SRead& out)
{
    const uint64_t dropped = sim.model->reportsDropped();
    if (!sensor.ReadSample(out.sample, timeoutMs))
        return false;
    out.droppedBefore = sim.model->reportsDropped() - dropped;
    return true;
}

// Reads until a read fails.
std::vector<SRead> drain(CSkarvel& sensor, const SSimSensor& sim, int timeoutMs)
{
    std::vector<SRead> reads;
    SRead next;
    while (readOne(sensor, sim, timeoutMs, next))
        reads.push_back(next);
    return reads;
}

// Each report follows the one before, but for those the host dropped.
bool contiguous(const std::vector<SRead>& reads)
{
    for (std::size_t i = 1; i < reads.size(); ++i) {
        if (uint8_t(reads[i].sample.extraByte - reads[i - 1].sample.extraByte) !=
            uint8_t(1 + reads[i].droppedBefore))
            return false;
    }
    return true;
}

double meanAccelZ(CSkarvel& sensor, int count)
{
    double sum = 0.0;
    SSkarvelSample sample;
    for (int i = 0; i < count; ++i) {
        if (!sensor.ReadSample(sample, 100))
            return NAN;
        sum += sensor.ToG(sample.accelZ);
    }
    return sum / count;
}

} // namespace

class tst_SkarvelSim : public QObject
{
    Q_OBJECT

private slots:
    void init() { hidsim::reset(); }

    void interfacesShareSerialNumber();
    void pacedReadsWaitForDueReports();
    void hostBufferKeepsNewestReports();
    void burstCount();
    void burstThenRealTime();
    void rangeScalesCounts_data();
    void rangeScalesCounts();
    void accelHighPassRemovesGravity();
    void impactsComeEveryPeriod_data();
    void impactsComeEveryPeriod();
    void malformedCommandIgnored_data();
    void malformedCommandIgnored();
    void unplugAtTime();
    void unplugAtTimeWithoutReader();
    void unplugSensorRemovesEveryInterface();
};

void tst_SkarvelSim::interfacesShareSerialNumber()
{
    const SSimSensor sim = addSensor(EPacing::Burst, 2);
    std::vector<SHidDeviceInfo> list;
    QVERIFY(CSimpleHidClass::EnumerateDevices(list, SKARVEL_VENDOR_ID, SKARVEL_PRODUCT_ID));
    QCOMPARE(list.size(), std::size_t(3));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(list[i].interfaceNumber, i);
        QCOMPARE(QString::fromStdWString(list[i].serialNumber), QString("SIM"));
        QCOMPARE(list[i].releaseNumber, 0x0102);
    }
    QCOMPARE(list[0].usagePage, 0x0001);
    QCOMPARE(list[1].usagePage, 0xFF00);

    CSimpleHidClass interface0;
    QVERIFY(interface0.OpenPath(list[0].path));
    unsigned long long input = 0, output = 0, feature = 0;
    QVERIFY(interface0.GetReportByteLengths(input, output, feature));
    QCOMPARE(input, 13ull);
    QCOMPARE(output, 9ull);

    // The other interfaces never stream.
    CSimpleHidClass other;
    QVERIFY(other.OpenPath(list[1].path));
    std::vector<unsigned char> buffer;
    QVERIFY(!other.Read(buffer, 64, 20));
    QCOMPARE(QString::fromStdString(other.GetLastError()), QString("Timeout"));
}

void tst_SkarvelSim::pacedReadsWaitForDueReports()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CSkarvel sensor;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(sensor.Connect(L"SIM"));
    std::vector<SRead> reads(84);
    for (SRead& next : reads)
        QVERIFY2(readOne(sensor, sim, 100, next), sensor.GetLastError().c_str());
    // 83 report periods at 833 per second: about 99.6 ms at least.
    QVERIFY2(clock.nsecsElapsed() >= 83 * 1000000000ll / 833,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(contiguous(reads));

    // Reports sent while nobody had the device open reached nobody.
    sensor.Disconnect();
    const uint64_t atClose = sim.model->nextIndex();
    std::this_thread::sleep_for(60ms);
    QVERIFY(sensor.Connect(L"SIM"));
    SSkarvelSample sample;
    QVERIFY(sensor.ReadSample(sample, 100));
    QVERIFY2(sim.model->nextIndex() - atClose >= 49,
             qPrintable(QString::number(sim.model->nextIndex() - atClose)));
}

void tst_SkarvelSim::hostBufferKeepsNewestReports()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    std::this_thread::sleep_for(200ms);

    QElapsedTimer clock;
    clock.start();
    const std::vector<SRead> reads = drain(sensor, sim, 0);
    const double drainSeconds = clock.nsecsElapsed() / 1e9;
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Timeout"));
    const auto buffered = qint64(skarvelsim::CSkarvelModel::HOST_BUFFER_REPORTS);
    QVERIFY2(qint64(reads.size()) >= buffered, qPrintable(QString::number(reads.size())));
    QVERIFY2(qint64(reads.size()) <= buffered + qint64(drainSeconds * 833) + 2,
             qPrintable(QString::number(reads.size())));
    // At least 200 ms of reports went unread; the oldest were dropped.
    QVERIFY(sim.model->reportsDropped() >= 166 - 64 - 2);
    QVERIFY(contiguous(reads));
}

void tst_SkarvelSim::burstCount()
{
    const SSimSensor sim = addSensor(EPacing::Burst);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    sim.model->setBurst(5);
    const std::vector<SRead> reads = drain(sensor, sim, 10);
    QCOMPARE(reads.size(), std::size_t(5));
    QVERIFY(contiguous(reads));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()), QString("Timeout"));

    sim.model->setRealTime();
    SSkarvelSample sample;
    QVERIFY(sensor.ReadSample(sample, 100));
    QCOMPARE(sample.extraByte, uint8_t(reads.back().sample.extraByte + 1));
}

void tst_SkarvelSim::burstThenRealTime()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    QElapsedTimer clock;
    clock.start();
    sim.model->setBurst(500, skarvelsim::EAfterBurst::RealTime);
    std::vector<SSkarvelSample> samples;
    SSkarvelSample sample;
    // Never silent: after the burst the sensor streams on.
    while (samples.size() < 500 + 84) {
        QVERIFY(sensor.ReadSample(sample, 2000));
        samples.push_back(sample);
    }
    // The report after the burst comes at once; later ones may fall out of
    // the host's buffer when the reader is slow.
    for (std::size_t i = 1; i <= 500; ++i)
        QCOMPARE(uint8_t(samples[i].extraByte - samples[i - 1].extraByte), uint8_t(1));
    // In real time: the last report read was due 83 / 833 s after the first
    // one after the burst at the earliest.
    QVERIFY2(clock.nsecsElapsed() >= 83 * 1000000000LL / 833,
             qPrintable(QString::number(clock.nsecsElapsed())));
}

void tst_SkarvelSim::rangeScalesCounts_data()
{
    QTest::addColumn<int>("accelRange");
    QTest::addColumn<int>("gyroRange");
    QTest::addColumn<int>("countsPerG");

    QTest::newRow("±2 g") << 0 << 0 << 16393;
    QTest::newRow("±16 g") << 1 << 6 << 2049;
    QTest::newRow("±4 g") << 2 << 1 << 8197;
    QTest::newRow("±8 g") << 3 << 4 << 4098;
}

void tst_SkarvelSim::rangeScalesCounts()
{
    QFETCH(int, accelRange);
    QFETCH(int, gyroRange);
    QFETCH(int, countsPerG);

    addSensor(EPacing::Burst);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    QVERIFY(sensor.SetParams(SSkarvelParams{uint8_t(accelRange), 0, uint8_t(gyroRange), 0}));
    SSkarvelSample sample;
    for (int i = 0; i < 200; ++i) {
        QVERIFY(sensor.ReadSample(sample, 100));
        // Z is about 1 g (tilt and vibration keep it within 10 %).
        QVERIFY2(std::abs(sample.accelZ - countsPerG) < countsPerG / 10,
                 qPrintable(QString::number(sample.accelZ)));
        QVERIFY(std::abs(sensor.ToDps(sample.gyroX)) < 20.0);
    }
}

void tst_SkarvelSim::accelHighPassRemovesGravity()
{
    addSensor(EPacing::Burst);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    QVERIFY(std::abs(meanAccelZ(sensor, 100) - 1.0) < 0.1);

    QVERIFY(sensor.SetParams(SSkarvelParams{0, 0xC1, 0, 0})); // high pass at 8.33 Hz
    meanAccelZ(sensor, 833);                                  // settle for one second
    QVERIFY(std::abs(meanAccelZ(sensor, 200)) < 0.05);

    QVERIFY(sensor.SetParams(SSkarvelParams{0, 0x83, 0, 0})); // low pass at 2.08 Hz
    meanAccelZ(sensor, 833);
    QVERIFY(std::abs(meanAccelZ(sensor, 200) - 1.0) < 0.1);
}

void tst_SkarvelSim::impactsComeEveryPeriod_data()
{
    QTest::addColumn<double>("period");
    QTest::addColumn<int>("knocks"); // in 4000 reports

    QTest::newRow("none") << 0.0 << 0;
    QTest::newRow("every second") << 1.0 << 5;
    QTest::newRow("every 2 s") << 2.0 << 2;
}

// A knock lifts |a| well above the resting 1 g, once per period, and is
// over within a quarter second.
void tst_SkarvelSim::impactsComeEveryPeriod()
{
    QFETCH(double, period);
    QFETCH(int, knocks);

    SSensorConfig config;
    config.serialNumber = std::wstring(L"SIM");
    config.pacing = EPacing::Burst;
    config.impactPeriodSeconds = period;
    skarvelsim::addSensor(config);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    std::vector<int> starts;
    int last = -1000000;
    SSkarvelSample sample;
    for (int i = 0; i < 4000; ++i) {
        QVERIFY(sensor.ReadSample(sample, 100));
        const double x = sensor.ToG(sample.accelX);
        const double y = sensor.ToG(sample.accelY);
        const double z = sensor.ToG(sample.accelZ);
        if (std::sqrt(x * x + y * y + z * z) < 1.5)
            continue;
        if (i - last > 208) // a new knock, not the ringing of the last
            starts.push_back(i);
        last = i;
    }
    QCOMPARE(int(starts.size()), knocks);
    for (std::size_t k = 1; k < starts.size(); ++k)
        QVERIFY2(std::abs(starts[k] - starts[k - 1] - int(std::lround(period * 833))) <= 2,
                 qPrintable(QString::number(starts[k] - starts[k - 1])));
}

void tst_SkarvelSim::malformedCommandIgnored_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("valid set") << QByteArray::fromHex("000001830681000000") << true;
    QTest::newRow("8 bytes") << QByteArray::fromHex("0000018306810000") << false;
    QTest::newRow("10 bytes") << QByteArray::fromHex("00000183068100000000") << false;
    QTest::newRow("report ID 1") << QByteArray::fromHex("010001830681000000") << false;
    QTest::newRow("command code 2") << QByteArray::fromHex("000201830681000000") << false;
    QTest::newRow("reserved filter bit") << QByteArray::fromHex("000001840681000000") << false;
    QTest::newRow("high pass with bit 5") << QByteArray::fromHex("000001E00681000000") << false;
    QTest::newRow("unknown gyro range 3") << QByteArray::fromHex("000001830381000000") << false;
    QTest::newRow("unknown accel range 4") << QByteArray::fromHex("000004830681000000") << false;
}

void tst_SkarvelSim::malformedCommandIgnored()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, accepted);

    const SSimSensor sim = addSensor(EPacing::Burst);
    CSimpleHidClass hid;
    QVERIFY(hid.OpenPath(hidsim::pathOf(sim.interface0)));
    QVERIFY(hid.Write(std::vector<unsigned char>(command.begin(), command.end())));
    const SSkarvelParams params = sim.model->params();
    QCOMPARE(params.accelRange == 1 && params.accelFilter == 0x83 && params.gyroRange == 6 &&
                 params.gyroHighPass == 0x81,
             accepted);
    QCOMPARE(sim.model->commandsIgnored(), accepted ? 0 : 1);
}

void tst_SkarvelSim::unplugAtTime()
{
    const SSimSensor sim = addSensor(EPacing::RealTime);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"SIM"));
    QElapsedTimer clock;
    clock.start();
    sim.model->unplugAt(hidsim::Clock::now() + 50ms);
    const std::vector<SRead> reads = drain(sensor, sim, 100);
    QVERIFY(clock.elapsed() >= 49);
    QVERIFY(!reads.empty());
    QVERIFY(contiguous(reads));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()),
             QString::fromWCharArray(hidsim::UNPLUGGED_READ_ERROR));
    QVERIFY(!hidsim::isPresent(sim.interface0));
    // The cable is gone: no interface of the sensor is listed any more.
    std::vector<std::wstring> serials;
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QVERIFY(serials.empty());
}

void tst_SkarvelSim::unplugAtTimeWithoutReader()
{
    // The cable is pulled at its time whether or not anybody reads.
    const SSimSensor idle = addSensor(EPacing::RealTime);
    SSensorConfig config;
    config.serialNumber = std::wstring(L"OPEN");
    const SSimSensor open = skarvelsim::addSensor(config);
    CSkarvel sensor;
    QVERIFY(sensor.Connect(L"OPEN"));

    const hidsim::Clock::time_point pulled = hidsim::Clock::now() + 200ms;
    idle.model->unplugAt(pulled);
    open.model->unplugAt(pulled);
    std::vector<std::wstring> serials;
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    // Listed until then, if this thread got to look before.
    if (hidsim::Clock::now() < pulled)
        QCOMPARE(serials.size(), std::size_t(2));
    std::this_thread::sleep_until(pulled + 20ms);

    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QVERIFY(serials.empty());
    for (hidsim::DeviceId id : idle.interfaces)
        QVERIFY(!hidsim::isPresent(id));
    CSkarvel other;
    QVERIFY(!other.Connect(L"SIM"));
    QCOMPARE(QString::fromStdString(other.GetLastError()), QString("Device not found"));
    QVERIFY(!sensor.SetParams(SSkarvelParams{1, 0, 1, 0}));
    QCOMPARE(QString::fromStdString(sensor.GetLastError()),
             QString::fromWCharArray(hidsim::UNPLUGGED_WRITE_ERROR));
}

void tst_SkarvelSim::unplugSensorRemovesEveryInterface()
{
    const SSimSensor gone = addSensor(EPacing::RealTime, 2);
    SSensorConfig config;
    config.serialNumber = std::wstring(L"STAYS");
    skarvelsim::addSensor(config);

    skarvelsim::unplugSensor(gone);
    std::vector<std::wstring> serials;
    QVERIFY(CSkarvel::EnumerateDevices(serials));
    QCOMPARE(serials.size(), std::size_t(1));
    QCOMPARE(QString::fromStdWString(serials[0]), QString("STAYS"));
}

QTEST_GUILESS_MAIN(tst_SkarvelSim)
#include "tst_skarvelsim.moc"

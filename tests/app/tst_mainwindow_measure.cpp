// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The measurement flow: start and stop with the settling samples dropped, the
// final drain, Single Shot, a lost sensor, and parameter changes.
#include "mainwindow_testing.h"

#include <QScrollBar>
#include <QSpinBox>

#include <cmath>

using namespace testing;

namespace {

// Connected window over one sensor, with its dialogs answered.
struct Fixture
{
    explicit Fixture(const skarvelsim::SSensorConfig& config = skarvelsim::SSensorConfig())
        : sensor(skarvelsim::addSensor(config)), parts(window)
    {
        connectTo(window, modals, QString::fromStdWString(*config.serialNumber));
    }

    skarvelsim::SSimSensor sensor;
    MainWindow window;
    WindowParts parts;
    ModalAnswerer modals;
};

skarvelsim::SSensorConfig burst(uint64_t count)
{
    skarvelsim::SSensorConfig config;
    config.pacing = skarvelsim::EPacing::Burst;
    config.burstCount = count;
    return config;
}

hidsim::Bytes paramsCommand(uint8_t accelRange, uint8_t accelFilter, uint8_t gyroRange,
                            uint8_t gyroHighPass)
{
    return {0x00, 0x00, accelRange, accelFilter, gyroRange, gyroHighPass, 0x00, 0x00, 0x00};
}

} // namespace

class tst_MainWindowMeasure : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void firstSamplesAreDropped_data();
    void firstSamplesAreDropped();
    void batchAcrossTheDiscardBoundary();
    void stopDrainsLateSamples();
    void startWhileMeasuringDoesNothing();
    void samplesConvertedWithTheirRanges();
    void singleShotStopsWhenFull();
    void singleShotChosenWhileMeasuringRefills();
    void lostConnection();
    void settingsSendOneCommandEach_data();
    void settingsSendOneCommandEach();
    void refusedParameterWrite();
    void parameterChangeDropsSettlingSamples();
};

void tst_MainWindowMeasure::init()
{
    hidsim::reset();
}

void tst_MainWindowMeasure::firstSamplesAreDropped_data()
{
    QTest::addColumn<int>("delivered");
    QTest::addColumn<int>("stored");

    QTest::newRow("60") << 60 << 0;
    QTest::newRow("100") << 100 << 0;
    QTest::newRow("101") << 101 << 1;
    QTest::newRow("1000") << 1000 << 900;
}

void tst_MainWindowMeasure::firstSamplesAreDropped()
{
    QFETCH(int, delivered);
    QFETCH(int, stored);
    Fixture f(burst(uint64_t(delivered)));

    f.parts.action("actionStart")->trigger();
    QVERIFY(f.parts.measuring());
    QVERIFY(f.parts.action("actionReset")->isEnabled()); // before any sample
    QTRY_COMPARE(f.sensor.model->reportsSent(), uint64_t(delivered));
    f.parts.action("actionStop")->trigger();

    QCOMPARE(f.parts.accel()->storedSampleCount(), quint64(stored));
    QCOMPARE(f.parts.gyro()->storedSampleCount(), quint64(stored));
    QCOMPARE(f.parts.action("actionSaveCsv")->isEnabled(), stored > 0);
    QCOMPARE(f.parts.action("actionReset")->isEnabled(), stored > 0);
    QVERIFY(f.parts.action("actionStart")->isEnabled());
    QCOMPARE(f.modals.unexpected(), 0);
}

// Reports 1..150 carry accelX = their number: the 101st is the first stored,
// and its time is 0.
void tst_MainWindowMeasure::batchAcrossTheDiscardBoundary()
{
    const hidsim::DeviceId device = addScriptedSensor(L"S1");
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));

    for (int i = 1; i <= 150; ++i)
        hidsim::queueInput(device, report(i));
    parts.action("actionStart")->trigger();
    QVERIFY(waitQueueDrained(device));
    parts.action("actionStop")->trigger();

    CLiveGraph* accel = parts.accel();
    QCOMPARE(accel->storedSampleCount(), quint64(50));
    QCOMPARE(accel->storedSample(0, 0), float(101 * 0.061 / 1000.0));
    QCOMPARE(accel->storedSample(0, 49), float(150 * 0.061 / 1000.0));
    QCOMPARE(accel->storedSampleTime(0), 0.0);
}

void tst_MainWindowMeasure::stopDrainsLateSamples()
{
    const hidsim::DeviceId device = addScriptedSensor(L"S1");
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));

    for (int i = 0; i < 300; ++i)
        hidsim::queueInput(device, report(i));
    parts.action("actionStart")->trigger();
    QTRY_COMPARE(parts.accel()->storedSampleCount(), quint64(200));

    // These reach the pending buffer, but no tick runs before Stop.
    for (int i = 0; i < 37; ++i)
        hidsim::queueInput(device, report(1000 + i));
    QVERIFY(waitQueueDrained(device));
    parts.action("actionStop")->trigger();

    QCOMPARE(parts.accel()->storedSampleCount(), quint64(237));
    QCOMPARE(parts.accel()->storedSample(0, 236), float(1036 * 0.061 / 1000.0));
    // The statistics were refreshed after the drain.
    auto* table = parts.widget<QTableWidget>("tw_statistics");
    QCOMPARE(table->item(0, 1)->text(), QString::number(1036 + 32767));
}

void tst_MainWindowMeasure::startWhileMeasuringDoesNothing()
{
    const hidsim::DeviceId device = addScriptedSensor(L"S1");
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));
    for (int i = 0; i < 150; ++i)
        hidsim::queueInput(device, report(i));
    parts.action("actionStart")->trigger();
    QTRY_COMPARE(parts.accel()->storedSampleCount(), quint64(50));

    // Fired although the action is disabled: the window must still refuse.
    fire(parts.action("actionStart"));
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(50));
    parts.action("actionStop")->trigger();
    QCOMPARE(modals.unexpected(), 0);
}

// A range change during streaming: what arrived before is converted with the
// old range, the next 100 samples are dropped, the rest uses the new range.
void tst_MainWindowMeasure::samplesConvertedWithTheirRanges()
{
    const hidsim::DeviceId device = addScriptedSensor(L"S1");
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));

    for (int i = 0; i < 110; ++i)
        hidsim::queueInput(device, report(1000));
    parts.action("actionStart")->trigger();
    QVERIFY(waitQueueDrained(device));
    // Still pending when the range changes (no tick ran): converted at ±2 g.
    parts.combo("cmb_acc")->setCurrentIndex(3); // ±16 g
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(10));

    for (int i = 0; i < 105; ++i)
        hidsim::queueInput(device, report(1000));
    QVERIFY(waitQueueDrained(device));
    parts.action("actionStop")->trigger();

    CLiveGraph* accel = parts.accel();
    QCOMPARE(accel->storedSampleCount(), quint64(15));
    QCOMPARE(accel->storedSample(0, 9), float(1000 * 0.061 / 1000.0));
    QCOMPARE(accel->storedSample(0, 10), float(1000 * 0.488 / 1000.0));
}

void tst_MainWindowMeasure::singleShotStopsWhenFull()
{
    Fixture f(burst(100 + 4165 + 500));
    f.parts.combo("cmb_display")->setCurrentIndex(CLiveGraph::SingleShot);
    QCOMPARE(f.parts.accel()->mode(), CLiveGraph::SingleShot);
    QCOMPARE(f.parts.gyro()->mode(), CLiveGraph::SingleShot);

    f.parts.action("actionStart")->trigger();
    QVERIFY(!f.parts.widget<QSpinBox>("spin_time")->isEnabled());
    QTRY_VERIFY(!f.parts.measuring());

    QCOMPARE(f.parts.accel()->storedSampleCount(), quint64(4165));
    QCOMPARE(f.parts.gyro()->storedSampleCount(), quint64(4165));
    QVERIFY(f.parts.action("actionSaveCsv")->isEnabled());
    QVERIFY(f.parts.widget<QSpinBox>("spin_time")->isEnabled());
    QVERIFY(f.parts.connected());
    QCOMPARE(f.modals.unexpected(), 0);
}

void tst_MainWindowMeasure::singleShotChosenWhileMeasuringRefills()
{
    addNumberedSensor(L"S1");
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));
    parts.action("actionStart")->trigger();
    QTRY_VERIFY(parts.accel()->storedSampleCount() >= 500);
    const qint64 lastBefore =
        reportNumber(parts.accel()->storedSample(0, parts.accel()->storedSampleCount() - 1), 0.061);

    parts.combo("cmb_display")->setCurrentIndex(CLiveGraph::SingleShot);
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(0));
    QCOMPARE(parts.gyro()->storedSampleCount(), quint64(0));
    QVERIFY(parts.measuring());
    QVERIFY(!parts.widget<QSpinBox>("spin_time")->isEnabled());

    // No settling after a mode change: the window fills from the next sample.
    QTRY_VERIFY_WITH_TIMEOUT(!parts.measuring(), 60000);
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(4165));
    QCOMPARE(parts.accel()->storedSampleTime(0), 0.0);
    for (quint64 i = 0; i < 4165; ++i) {
        const qint64 number = reportNumber(parts.accel()->storedSample(0, i), 0.061);
        const qint64 expected = (lastBefore + 1 + qint64(i)) % qint64(NumberedStream::NUMBERS);
        if (number != expected)
            QCOMPARE(number, expected); // compared only on a mismatch: many samples
    }
    QCOMPARE(modals.unexpected(), 0);
}

void tst_MainWindowMeasure::lostConnection()
{
    Fixture f;
    SentWatch watch(*f.sensor.model);
    watch.look();
    f.parts.action("actionStart")->trigger();
    QTRY_VERIFY((watch.look(), f.parts.accel()->storedSampleCount() > 200));

    struct
    {
        SentWatch::Clock::time_point at;
        bool connectEnabled = false;
        bool measuring = true;
        QString connection;
    } atMessage;
    f.modals.expect([&](QWidget* box) {
        atMessage.at = SentWatch::Clock::now();
        atMessage.connectEnabled = f.parts.action("actionConnect")->isEnabled();
        atMessage.measuring = f.parts.measuring();
        atMessage.connection = f.parts.label("lb_status_connection")->text();
        static_cast<QDialog*>(box)->accept();
    });
    watch.lookUntilNextReport();
    skarvelsim::unplugSensor(f.sensor);
    const quint64 storedAtUnplug = f.parts.accel()->storedSampleCount();
    QTRY_COMPARE_WITH_TIMEOUT(f.modals.unanswered(), 0, 5000);

    QCOMPARE(f.modals.seen().size(), 2);
    QCOMPARE(f.modals.seen()[1].title, QStringLiteral("Device"));
    QCOMPARE(
        f.modals.seen()[1].text,
        QStringLiteral("Connection to the sensor was lost.\nThe measurement has been stopped."));
    // A second without a sample, however late the last one was taken.
    const auto silence = atMessage.at - watch.beforeLastReport();
    QVERIFY2(silence > std::chrono::milliseconds(MeasurementSession::LOST_CONNECTION_IDLE_MS - 1),
             qPrintable(QString::number(
                 std::chrono::duration_cast<std::chrono::milliseconds>(silence).count())));
    QVERIFY(atMessage.connectEnabled);
    QVERIFY(!atMessage.measuring);
    QVERIFY(atMessage.connection.contains(QStringLiteral("No device connected")));

    QVERIFY(f.parts.accel()->storedSampleCount() >= storedAtUnplug);
    QVERIFY(f.parts.action("actionSaveCsv")->isEnabled());
    QVERIFY(!f.parts.connected());
    QCOMPARE(hidsim::openHandleCount(f.sensor.interface0), 0);
}

void tst_MainWindowMeasure::settingsSendOneCommandEach_data()
{
    // Each step: "input=value", where the value is an item text or, for the
    // box, on/off. One command per step, with these accelFilter bytes.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("accelFilters");
    QTest::addColumn<QList<int>>("finalParams"); // accelRange, accelFilter, gyroRange, gyroHighPass
    QTest::addColumn<bool>("lowLatencyEnabled");

    QTest::newRow("LP1 + LP2") << QStringList{QStringLiteral("cmb_acc_filter=LP1 + LP2")}
                               << QList<int>{0x80} << QList<int>{0, 0x80, 0, 0} << true;
    QTest::newRow("LP1 + LP2, low latency")
        << QStringList{QStringLiteral("cmb_acc_filter=LP1 + LP2"),
                       QStringLiteral("chk_acc_low_latency=on")}
        << QList<int>{0x80, 0xA0} << QList<int>{0, 0xA0, 0, 0} << true;
    QTest::newRow("LP1 + LP2, 2.08 Hz, low latency, then LP1 + HP")
        << QStringList{QStringLiteral("cmb_acc_filter=LP1 + LP2"),
                       QStringLiteral("cmb_acc_cutoff=2.08 Hz"),
                       QStringLiteral("chk_acc_low_latency=on"),
                       QStringLiteral("cmb_acc_filter=LP1 + HP")}
        << QList<int>{0x80, 0x83, 0xA3, 0xC0} << QList<int>{0, 0xC0, 0, 0} << false;
    QTest::newRow("LP1 only, 208.25 Hz") << QStringList{QStringLiteral("cmb_acc_cutoff=208.25 Hz")}
                                         << QList<int>{0x20} << QList<int>{0, 0x20, 0, 0} << false;
    QTest::newRow("\u00b116 g") << QStringList{QStringLiteral("cmb_acc=\u00b116 g")}
                                << QList<int>{0} << QList<int>{1, 0, 0, 0} << false;
    QTest::newRow("\u00b1125 dps") << QStringList{QStringLiteral("cmb_gyro=\u00b1125 dps")}
                                   << QList<int>{0} << QList<int>{0, 0, 1, 0} << false;
    QTest::newRow("1.04 Hz") << QStringList{QStringLiteral("cmb_gyro_hp=1.04 Hz")} << QList<int>{0}
                             << QList<int>{0, 0, 0, 0x83} << false;
}

void tst_MainWindowMeasure::settingsSendOneCommandEach()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, accelFilters);
    QFETCH(QList<int>, finalParams);
    QFETCH(bool, lowLatencyEnabled);
    Fixture f;
    const std::size_t before = hidsim::outputReports(f.sensor.interface0).size();

    for (int i = 0; i < steps.size(); ++i) {
        const QString name = steps[i].section('=', 0, 0);
        const QString value = steps[i].section('=', 1);
        if (name.startsWith(QLatin1String("chk_"))) {
            f.parts.widget<QCheckBox>(qPrintable(name))->setChecked(value == QLatin1String("on"));
        } else {
            QComboBox* combo = f.parts.combo(qPrintable(name));
            QVERIFY2(combo->findText(value) >= 0, qPrintable(steps[i]));
            combo->setCurrentIndex(combo->findText(value));
        }
        const std::vector<hidsim::Bytes> sent = hidsim::outputReports(f.sensor.interface0);
        QCOMPARE(sent.size(), before + std::size_t(i) + 1);
        QCOMPARE(int(sent.back()[3]), accelFilters[i]);
    }

    const hidsim::Bytes last = hidsim::outputReports(f.sensor.interface0).back();
    QCOMPARE(last, paramsCommand(uint8_t(finalParams[0]), uint8_t(finalParams[1]),
                                 uint8_t(finalParams[2]), uint8_t(finalParams[3])));
    const SSkarvelParams held = f.sensor.model->params();
    QCOMPARE(int(held.accelFilter), finalParams[1]);
    QCOMPARE(f.parts.widget<QCheckBox>("chk_acc_low_latency")->isEnabled(), lowLatencyEnabled);
    if (!lowLatencyEnabled)
        QVERIFY(!f.parts.widget<QCheckBox>("chk_acc_low_latency")->isChecked());
}

void tst_MainWindowMeasure::refusedParameterWrite()
{
    Fixture f;
    f.parts.combo("cmb_acc")->setCurrentIndex(2); // ±8 g, accepted
    hidsim::setWriteResult(f.sensor.interface0, -1, L"Broken pipe");

    f.parts.combo("cmb_acc")->setCurrentIndex(3); // ±16 g, refused

    QCOMPARE(f.window.statusBar()->currentMessage(),
             QStringLiteral("Setting sensor parameters failed: Broken pipe"));
    QCOMPARE(f.parts.combo("cmb_acc")->currentText(), QStringLiteral("\u00b18 g"));
    QCOMPARE(f.sensor.model->params().accelRange, uint8_t(3));
    QVERIFY(f.parts.connected());
    QCOMPARE(f.modals.unexpected(), 0);
}

void tst_MainWindowMeasure::parameterChangeDropsSettlingSamples()
{
    // While disconnected nothing is sent and nothing pending is touched.
    MainWindow idle;
    WindowParts(idle).combo("cmb_acc")->setCurrentIndex(2);
    QVERIFY(hidsim::callsTo("hid_write").empty());

    const std::shared_ptr<NumberedStream> sensor = addNumberedSensor(L"S1");
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));
    parts.action("actionStart")->trigger();
    QTRY_VERIFY(parts.accel()->storedSampleCount() >= 200);

    // What arrived before the change is stored with the old range; what the
    // sensor sent until the command is dropped with the pending samples.
    sensor->pauseAtNextCommand();
    parts.combo("cmb_gyro")->setCurrentIndex(4); // ±2000 dps; restarts the read thread
    const quint64 storedBefore = parts.accel()->storedSampleCount();
    const qint64 firstAfter = qint64(sensor->sent());
    sensor->resume();
    QTRY_VERIFY(parts.accel()->storedSampleCount() >= storedBefore + 150);
    parts.action("actionStop")->trigger();

    // The first 100 after the start and after the change are dropped; the
    // gyroscope's values follow its range.
    const quint64 stored = parts.accel()->storedSampleCount();
    for (quint64 i = 0; i < stored; ++i) {
        const bool after = i >= storedBefore;
        const qint64 expected =
            (after ? firstAfter + 100 + qint64(i - storedBefore) : 100 + qint64(i)) %
            qint64(NumberedStream::NUMBERS);
        const qint64 number = reportNumber(parts.accel()->storedSample(0, i), 0.061);
        const float gyro = parts.gyro()->storedSample(0, i);
        const float expectedGyro = float(double(expected) * (after ? 70.0 : 8.75) / 1000.0);
        if (number != expected || gyro != expectedGyro) {
            QFAIL(qPrintable(QStringLiteral("sample %1 of %2 stored before the change: report "
                                            "%3, %4 dps; expected report %5, %6 dps")
                                 .arg(i)
                                 .arg(storedBefore)
                                 .arg(number)
                                 .arg(double(gyro))
                                 .arg(expected)
                                 .arg(double(expectedGyro))));
        }
    }
    QCOMPARE(modals.unexpected(), 0);
}

QTEST_MAIN(tst_MainWindowMeasure)
#include "tst_mainwindow_measure.moc"

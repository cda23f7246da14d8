// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What the window shows about a measurement: statistics, Y scaling labels,
// the time scroll bar and the status bar.
#include "mainwindow_testing.h"

#include <QDial>
#include <QLocale>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>

using namespace testing;

namespace {

constexpr double G_PER_COUNT = 0.061 / 1000.0; // ±2 g

// A connected window over a sensor that sends only what the test queues.
struct ScriptedFixture
{
    ScriptedFixture() : device(addScriptedSensor(L"S1", 0x001A)), parts(window)
    {
        connectTo(window, modals, QStringLiteral("S1"));
    }

    // The first 100 after a start are dropped; these are zero.
    void queueSettling()
    {
        for (int i = 0; i < 100; ++i)
            hidsim::queueInput(device, report(0));
    }
    QString cell(int row, int column) const
    {
        return parts.widget<QTableWidget>("tw_statistics")->item(row, column)->text();
    }
    bool isRed(int row, int column) const
    {
        const QVariant brush = parts.widget<QTableWidget>("tw_statistics")
                                   ->item(row, column)
                                   ->data(Qt::ForegroundRole);
        return brush.isValid() && brush.value<QBrush>().color() == QColor(Qt::red);
    }
    void refreshStatistics()
    {
        QComboBox* view = parts.combo("cmb_dataview");
        const int index = view->currentIndex();
        view->setCurrentIndex(1 - index);
        view->setCurrentIndex(index);
    }

    hidsim::DeviceId device;
    MainWindow window;
    WindowParts parts;
    ModalAnswerer modals;
};

} // namespace

class tst_MainWindowViews : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void statisticsEmptyWithoutSamples();
    void statisticsRawColumn_data();
    void statisticsRawColumn();
    void statisticsReset();
    void statisticsClipping_data();
    void statisticsClipping();
    void statisticsClippingClears();
    void statisticsVisibleDataAfterReset();
    void statisticsNotComputedWhileHidden();
    void yScaleLabels_data();
    void yScaleLabels();
    void yScaleFollowsSensorRange();
    void timeScrollBar();
    void timeScrollBarSingleShot();
    void timeScrollBarDisabled();
    void durationText_data();
    void durationText();
    void statusBarMeasurementSection();
};

void tst_MainWindowViews::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_MainWindowViews::init()
{
    hidsim::reset();
}

void tst_MainWindowViews::statisticsEmptyWithoutSamples()
{
    MainWindow window;
    auto* table = WindowParts(window).widget<QTableWidget>("tw_statistics");
    const QStringList names = {QStringLiteral("Acc X [g]"),    QStringLiteral("Acc Y [g]"),
                               QStringLiteral("Acc Z [g]"),    QStringLiteral("Gyro X [dps]"),
                               QStringLiteral("Gyro Y [dps]"), QStringLiteral("Gyro Z [dps]")};
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(table->columnCount(), 7);
    for (int row = 0; row < 6; ++row) {
        QCOMPARE(table->item(row, 0)->text(), names[row]);
        for (int column = 1; column < 7; ++column)
            QVERIFY(table->item(row, column)->text().isEmpty());
    }
}

void tst_MainWindowViews::statisticsRawColumn_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("raw");

    QTest::newRow("-32767") << -32767 << QStringLiteral("0");
    QTest::newRow("0") << 0 << QStringLiteral("32767");
    QTest::newRow("32768") << 32768 << QStringLiteral("65535");
}

void tst_MainWindowViews::statisticsRawColumn()
{
    QFETCH(int, count);
    QFETCH(QString, raw);
    ScriptedFixture f;
    f.queueSettling();
    hidsim::queueInput(f.device, report(count, count, count, count, count, count));
    f.parts.action("actionStart")->trigger();
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();

    for (int row = 0; row < 6; ++row)
        QCOMPARE(f.cell(row, 1), raw);
}

void tst_MainWindowViews::statisticsReset()
{
    ScriptedFixture f;
    f.queueSettling();
    for (int i = 0; i < 20; ++i)
        hidsim::queueInput(f.device, report(1000 * i, 0, 0, 100 * i));
    f.parts.action("actionStart")->trigger();
    QTRY_COMPARE(f.parts.accel()->storedSampleCount(), quint64(20));
    f.refreshStatistics();
    QCOMPARE(f.cell(0, 3), QStringLiteral("0.0000"));
    QCOMPARE(f.cell(0, 4), QString::number(19000 * G_PER_COUNT, 'f', 4));

    f.parts.action("actionReset")->trigger();
    QCOMPARE(f.cell(0, 1), QString::number(19000 + 32767));
    QCOMPARE(f.cell(0, 2), QString::number(double(float(19000 * G_PER_COUNT)), 'f', 4));
    for (int row = 0; row < 6; ++row) {
        for (int column = 3; column < 7; ++column)
            QVERIFY(f.cell(row, column).isEmpty());
    }

    hidsim::queueInput(f.device, report(5000, 0, 0, 400));
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();
    QCOMPARE(f.cell(0, 3), QStringLiteral("0.3050"));
    QCOMPARE(f.cell(0, 4), QStringLiteral("0.3050"));
    QCOMPARE(f.cell(0, 5), QStringLiteral("0.0000"));
    QCOMPARE(f.cell(0, 6), QStringLiteral("0.3050"));
    QCOMPARE(f.cell(3, 5), QStringLiteral("0.00"));
    QCOMPARE(f.cell(3, 6), QStringLiteral("3.50")); // 400 × 8.75 mdps
}

void tst_MainWindowViews::statisticsClipping_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("red");

    // ±2 g flags from 1.98 g on, ±245 dps from 242.55 dps on.
    QTest::newRow("min -1.99 g") << 0 << -32623 << 3 << true;
    QTest::newRow("min -1.97 g") << 0 << -32295 << 3 << false;
    QTest::newRow("max 1.99 g") << 1 << 32623 << 4 << true;
    QTest::newRow("max 1.97 g") << 2 << 32295 << 4 << false;
    QTest::newRow("max 242.6 dps") << 3 << 27726 << 4 << true;
    QTest::newRow("min -242.5 dps") << 5 << -27714 << 3 << false;
}

void tst_MainWindowViews::statisticsClipping()
{
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(int, column);
    QFETCH(bool, red);
    ScriptedFixture f;
    f.queueSettling();
    int axes[6] = {};
    axes[row] = count;
    hidsim::queueInput(f.device, report(axes[0], axes[1], axes[2], axes[3], axes[4], axes[5]));
    hidsim::queueInput(f.device, report(0));
    f.parts.action("actionStart")->trigger();
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();

    QCOMPARE(f.isRed(row, column), red);
    QVERIFY(!f.isRed(row, column == 3 ? 4 : 3)); // the other end is 0
}

void tst_MainWindowViews::statisticsClippingClears()
{
    ScriptedFixture f;
    f.queueSettling();
    hidsim::queueInput(f.device, report(-32623));
    f.parts.action("actionStart")->trigger();
    QTRY_COMPARE(f.parts.accel()->storedSampleCount(), quint64(1));
    f.refreshStatistics();
    QVERIFY(f.isRed(0, 3));

    f.parts.action("actionReset")->trigger();
    hidsim::queueInput(f.device, report(-1000));
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();
    QCOMPARE(f.cell(0, 3), QStringLiteral("-0.0610"));
    QVERIFY(!f.isRed(0, 3));
}

// 10 s stored, the statistics reset after 6 s: the visible window counts
// only from the reset on.
void tst_MainWindowViews::statisticsVisibleDataAfterReset()
{
    ScriptedFixture f;
    f.queueSettling();
    for (int k = 0; k < 5000; ++k)
        hidsim::queueInput(f.device, report(k));
    f.parts.action("actionStart")->trigger();
    QTRY_COMPARE(f.parts.accel()->storedSampleCount(), quint64(5000));
    f.parts.action("actionReset")->trigger();
    for (int k = 5000; k < 8330; ++k)
        hidsim::queueInput(f.device, report(k));
    QTRY_COMPARE(f.parts.accel()->storedSampleCount(), quint64(8330));
    f.parts.action("actionStop")->trigger();

    f.parts.combo("cmb_dataview")->setCurrentIndex(1); // Visible Data
    auto* scroll = f.parts.widget<QScrollBar>("scroll_horz_graph");
    scroll->setValue(3000); // view 3000 … 7164, reset at 5000
    QCOMPARE(f.parts.accel()->visibleBegin(), quint64(3000));
    const auto g = [](int k) { return double(float(k * G_PER_COUNT)); };
    QCOMPARE(f.cell(0, 3), QString::number(g(5000), 'f', 4));
    QCOMPARE(f.cell(0, 4), QString::number(g(7164), 'f', 4));
    QCOMPARE(f.cell(0, 5), QString::number(g(7164) - g(5000), 'f', 4));
    QCOMPARE(f.cell(0, 6), QStringLiteral("0.3710")); // mean of 5000 … 7164 is 6082

    scroll->setValue(0); // the whole view lies before the reset
    for (int column = 3; column < 7; ++column)
        QVERIFY(f.cell(0, column).isEmpty());
    QCOMPARE(f.cell(0, 1), QString::number(8329 + 32767));

    f.parts.combo("cmb_dataview")->setCurrentIndex(0); // All Data: from the reset on
    QCOMPARE(f.cell(0, 3), QString::number(g(5000), 'f', 4));
    QCOMPARE(f.cell(0, 4), QString::number(g(8329), 'f', 4));
}

void tst_MainWindowViews::statisticsNotComputedWhileHidden()
{
    ScriptedFixture f;
    f.parts.action("actionTableShow")->trigger(); // hide
    f.queueSettling();
    hidsim::queueInput(f.device, report(1234));
    f.parts.action("actionStart")->trigger();
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();
    QVERIFY(f.cell(0, 1).isEmpty());

    f.parts.action("actionTableShow")->trigger(); // shown again: filled at once
    QCOMPARE(f.cell(0, 1), QString::number(1234 + 32767));
}

void tst_MainWindowViews::yScaleLabels_data()
{
    QTest::addColumn<QString>("dial");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");

    QTest::newRow("accel zoom 10")
        << "dial_acc_y" << 10 << "lb_acc_y" << QStringLiteral("\u00b10.002 g");
    QTest::newRow("accel zoom 1") << "dial_acc_y" << 1 << "lb_acc_y" << QStringLiteral("\u00b12 g");
    QTest::newRow("accel shift -100")
        << "dial_acc_move_y" << -100 << "lb_acc_move_y" << QStringLiteral("-2 g");
    QTest::newRow("accel shift 0")
        << "dial_acc_move_y" << 0 << "lb_acc_move_y" << QStringLiteral("0 g");
    QTest::newRow("gyro zoom 5") << "dial_gyro_y" << 5 << "lb_gyro_y"
                                 << QStringLiteral("\u00b112.25 dps");
    QTest::newRow("gyro shift 50")
        << "dial_gyro_move_y" << 50 << "lb_gyro_move_y" << QStringLiteral("122.5 dps");
}

void tst_MainWindowViews::yScaleLabels()
{
    QFETCH(QString, dial);
    QFETCH(int, value);
    QFETCH(QString, label);
    QFETCH(QString, text);
    MainWindow window;
    WindowParts parts(window);
    auto* input = parts.widget<QDial>(qPrintable(dial));
    input->setValue(value == 0 ? 1 : 0); // make sure the value below is a change
    input->setValue(value);
    QCOMPARE(parts.label(qPrintable(label))->text(), text);
}

void tst_MainWindowViews::yScaleFollowsSensorRange()
{
    ScriptedFixture f;
    f.parts.widget<QDial>("dial_acc_y")->setValue(2);
    QCOMPARE(f.parts.label("lb_acc_y")->text(), QStringLiteral("\u00b11 g"));
    f.parts.combo("cmb_acc")->setCurrentIndex(3); // ±16 g
    QCOMPARE(f.parts.label("lb_acc_y")->text(), QStringLiteral("\u00b18 g"));
    f.parts.combo("cmb_gyro")->setCurrentIndex(4); // ±2000 dps
    QCOMPARE(f.parts.label("lb_gyro_y")->text(), QStringLiteral("\u00b12000 dps"));
}

void tst_MainWindowViews::timeScrollBar()
{
    const skarvelsim::SSimSensor sensor = [] {
        skarvelsim::SSensorConfig config;
        config.pacing = skarvelsim::EPacing::Burst;
        config.burstCount = 100 + 8330;
        return skarvelsim::addSensor(config);
    }();
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    parts.action("actionStart")->trigger();
    QTRY_COMPARE(parts.accel()->storedSampleCount(), quint64(8330));
    parts.action("actionStop")->trigger();

    auto* scroll = parts.widget<QScrollBar>("scroll_horz_graph");
    QVERIFY(scroll->isEnabled());
    QCOMPARE(scroll->minimum(), 0);
    QCOMPARE(scroll->maximum(), 4165);
    QCOMPARE(scroll->pageStep(), 4165);
    QCOMPARE(scroll->singleStep(), 416);
    QCOMPARE(scroll->value(), 4165);
    QCOMPARE(parts.accel()->visibleBegin(), quint64(4165));

    scroll->setValue(1000);
    QCOMPARE(parts.accel()->visibleBegin(), quint64(1000));
    QCOMPARE(parts.gyro()->visibleBegin(), quint64(1000));
    QCOMPARE(parts.accel()->visibleEnd(), quint64(5165));

    // Elsewhere than the end, a new time window keeps the position.
    auto* time = parts.widget<QSpinBox>("spin_time");
    time->setValue(3);
    QCOMPARE(scroll->maximum(), 8330 - 2499);
    QCOMPARE(scroll->value(), 1000);
    QCOMPARE(parts.accel()->visibleEnd(), quint64(3499));

    // At the end it stays at the (new) end.
    scroll->setValue(scroll->maximum());
    time->setValue(2);
    QCOMPARE(scroll->maximum(), 8330 - 1666);
    QCOMPARE(scroll->value(), 8330 - 1666);
    QCOMPARE(parts.accel()->visibleEnd(), quint64(8330));
}

void tst_MainWindowViews::timeScrollBarSingleShot()
{
    skarvelsim::SSensorConfig config;
    config.pacing = skarvelsim::EPacing::Burst;
    config.burstCount = 100 + 8330;
    skarvelsim::addSensor(config);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    parts.action("actionStart")->trigger();
    QTRY_COMPARE(parts.accel()->storedSampleCount(), quint64(8330));
    parts.action("actionStop")->trigger();

    // Not measuring: the data stay, the view snaps to the first sample.
    parts.combo("cmb_display")->setCurrentIndex(CLiveGraph::SingleShot);
    auto* scroll = parts.widget<QScrollBar>("scroll_horz_graph");
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(8330));
    QCOMPARE(scroll->value(), 0);
    QCOMPARE(parts.accel()->visibleBegin(), quint64(0));
    scroll->setValue(2000);
    QCOMPARE(parts.accel()->visibleBegin(), quint64(2000));
    scroll->setValue(scroll->maximum());
    QCOMPARE(parts.accel()->visibleBegin(), quint64(4165));
    scroll->setValue(0);
    QCOMPARE(parts.accel()->visibleBegin(), quint64(0));

    parts.combo("cmb_display")->setCurrentIndex(CLiveGraph::Continue);
    QCOMPARE(scroll->value(), 4165);
    QCOMPARE(parts.accel()->visibleBegin(), quint64(4165));
}

void tst_MainWindowViews::timeScrollBarDisabled()
{
    ScriptedFixture f;
    auto* scroll = f.parts.widget<QScrollBar>("scroll_horz_graph");
    QVERIFY(!scroll->isEnabled());
    QCOMPARE(scroll->maximum(), 0);

    // Fewer samples than the window.
    f.queueSettling();
    for (int i = 0; i < 4000; ++i)
        hidsim::queueInput(f.device, report(i));
    f.parts.action("actionStart")->trigger();
    QVERIFY(!scroll->isEnabled());
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();
    QVERIFY(!scroll->isEnabled());
    QCOMPARE(scroll->value(), 0);

    // More than the window, but measuring.
    f.parts.widget<QSpinBox>("spin_time")->setValue(1);
    QVERIFY(scroll->isEnabled());
    f.queueSettling();
    for (int i = 0; i < 1000; ++i)
        hidsim::queueInput(f.device, report(i));
    f.parts.action("actionStart")->trigger();
    QTRY_COMPARE(f.parts.accel()->storedSampleCount(), quint64(1000));
    QVERIFY(!scroll->isEnabled());
    f.parts.action("actionStop")->trigger();
    QVERIFY(scroll->isEnabled());
    QCOMPARE(scroll->maximum(), 1000 - 833);
}

void tst_MainWindowViews::durationText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << qint64(0) << QStringLiteral("00:00:00");
    QTest::newRow("59.999 s") << qint64(59999) << QStringLiteral("00:00:59");
    QTest::newRow("1 h 2 min 3.9 s") << qint64(3723900) << QStringLiteral("01:02:03");
    QTest::newRow("100 h") << qint64(360000000) << QStringLiteral("100:00:00");
}

void tst_MainWindowViews::durationText()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(MainWindow::durationText(ms), text);
}

void tst_MainWindowViews::statusBarMeasurementSection()
{
    ScriptedFixture f;
    auto* section = f.parts.widget<QWidget>("widget_status_measurement");
    QVERIFY(section->isHidden());

    // Measuring with nothing stored yet: already shown.
    f.parts.action("actionStart")->trigger();
    QVERIFY(!section->isHidden());
    QCOMPARE(f.parts.label("lb_status_state")->text(),
             stateText(QStringLiteral("Measuring"), MaterialColor::Green.darker(120)));
    QCOMPARE(f.parts.label("lb_status_samples")->text(), QStringLiteral("0 / 249,900 samples"));
    f.parts.action("actionStop")->trigger();
    QVERIFY(section->isHidden());

    f.queueSettling();
    for (int i = 0; i < 12345; ++i)
        hidsim::queueInput(f.device, report(0));
    f.parts.action("actionStart")->trigger();
    QVERIFY(waitQueueDrained(f.device));
    f.parts.action("actionStop")->trigger();
    QVERIFY(!section->isHidden());
    QCOMPARE(f.parts.label("lb_status_state")->text(),
             stateText(QStringLiteral("Stopped"), QColor(0x60, 0x7D, 0x8B)));
    QCOMPARE(f.parts.label("lb_status_samples")->text(),
             QStringLiteral("12,345 / 249,900 samples"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                .match(f.parts.label("lb_status_time")->text())
                .hasMatch());

    f.parts.widget<QSpinBox>("spin_time")->setValue(10);
    f.parts.combo("cmb_display")->setCurrentIndex(CLiveGraph::SingleShot);
    QCOMPARE(f.parts.label("lb_status_samples")->text(), QStringLiteral("12,345 / 8,330 samples"));
}

QTEST_MAIN(tst_MainWindowViews)
#include "tst_mainwindow_views.moc"

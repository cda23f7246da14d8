// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Connecting and disconnecting through the device dialog, the window's
// start-up state, and tearing the window down in every state.
#include "devicedialog.h"
#include "mainwindow_testing.h"

#include <QDialogButtonBox>
#include <QDockWidget>
#include <QPushButton>
#include <QSpinBox>

#include <memory>

using namespace testing;

class tst_MainWindowConnect : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startupState();
    void deviceDialogListsSorted_data();
    void deviceDialogListsSorted();
    void deviceDialogRefreshKeepsSelection();
    void deviceDialogRefreshAfterUnplug();
    void connectThroughDialog();
    void connectCancelledDoesNothing();
    void connectFailureShowsMessage_data();
    void connectFailureShowsMessage();
    void disconnect();
    void dockTogglesSwitchIcons();
    void destroyShownWindow_data();
    void destroyShownWindow();
    void closeWhileMeasuring();
};

void tst_MainWindowConnect::init()
{
    hidsim::reset();
}

void tst_MainWindowConnect::startupState()
{
    MainWindow window;
    WindowParts parts(window);

    QCOMPARE(window.windowTitle(), QStringLiteral("Skarvel Monitor"));
    QVERIFY(parts.action("actionConnect")->isEnabled());
    for (const char* name :
         {"actionDisconnect", "actionStart", "actionStop", "actionReset", "actionSaveCsv"})
        QVERIFY2(!parts.action(name)->isEnabled(), name);
    for (const char* name : {"actionScreenshot", "actionExit", "actionAbout", "actionSettings",
                             "actionShowAcc", "actionShowGyro", "actionTableShow", "actionScale"})
        QVERIFY2(parts.action(name)->isEnabled(), name);
    for (const char* name :
         {"cmb_acc", "cmb_gyro", "cmb_acc_filter", "cmb_acc_cutoff", "cmb_gyro_hp"})
        QVERIFY2(!parts.combo(name)->isEnabled(), name);
    QVERIFY(!parts.widget<QCheckBox>("chk_acc_low_latency")->isEnabled());
    QVERIFY(parts.widget<QSpinBox>("spin_time")->isEnabled());

    // The all-zero parameters of a sensor that is not connected.
    QCOMPARE(parts.combo("cmb_acc")->currentText(), QStringLiteral("\u00b12 g"));
    QCOMPARE(parts.combo("cmb_gyro")->currentText(), QStringLiteral("\u00b1245 dps"));
    QCOMPARE(parts.combo("cmb_acc_filter")->currentText(), QStringLiteral("LP1 only"));
    QCOMPARE(parts.combo("cmb_acc_cutoff")->currentText(), QStringLiteral("416.5 Hz"));
    QCOMPARE(parts.combo("cmb_gyro_hp")->currentText(), QStringLiteral("Off"));
    QVERIFY(!parts.widget<QCheckBox>("chk_acc_low_latency")->isChecked());

    QCOMPARE(parts.label("lb_status_connection")->text(),
             stateText(QStringLiteral("No device connected"), QColor(0x60, 0x7D, 0x8B)));
    QVERIFY(parts.widget<QWidget>("widget_status_device")->isHidden());
    QVERIFY(parts.widget<QWidget>("widget_status_measurement")->isHidden());

    const QImage grey =
        QIcon(QStringLiteral(":/icons/res/png/usb_grey_32px.png")).pixmap(32).toImage();
    QVERIFY(!grey.isNull());
    QCOMPARE(parts.action("actionConnect")->icon().pixmap(32).toImage(), grey);
}

void tst_MainWindowConnect::deviceDialogListsSorted_data()
{
    QTest::addColumn<QStringList>("attached");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("none") << QStringList() << QStringList();
    QTest::newRow("one") << QStringList{QStringLiteral("SKV-1")}
                         << QStringList{QStringLiteral("SKV-1")};
    QTest::newRow("C, A, B") << QStringList{QStringLiteral("C"), QStringLiteral("A"),
                                            QStringLiteral("B")}
                             << QStringList{QStringLiteral("A"), QStringLiteral("B"),
                                            QStringLiteral("C")};
}

void tst_MainWindowConnect::deviceDialogListsSorted()
{
    QFETCH(QStringList, attached);
    QFETCH(QStringList, listed);
    for (const QString& serial : attached) {
        skarvelsim::SSensorConfig config;
        config.serialNumber = serial.toStdWString();
        skarvelsim::addSensor(config);
    }

    DeviceDialog dialog;
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("cmb_serial"));
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, listed);
    QCOMPARE(combo->isEnabled(), !listed.isEmpty());
    QCOMPARE(ok->isEnabled(), !listed.isEmpty());
    if (listed.isEmpty()) {
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->placeholderText(), QStringLiteral("No device found"));
        QCOMPARE(dialog.selectedSerial(), std::wstring());
    } else {
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(QString::fromStdWString(dialog.selectedSerial()), listed.first());
    }
}

void tst_MainWindowConnect::deviceDialogRefreshKeepsSelection()
{
    skarvelsim::SSensorConfig config;
    config.serialNumber = L"B";
    skarvelsim::addSensor(config);
    config.serialNumber = L"C";
    skarvelsim::addSensor(config);

    DeviceDialog dialog;
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("cmb_serial"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("C")));

    // Sensors that sort before the chosen one are plugged in.
    config.serialNumber = L"A";
    skarvelsim::addSensor(config);
    config.serialNumber = L"0";
    skarvelsim::addSensor(config);
    dialog.findChild<QPushButton*>(QStringLiteral("btn_refresh"))->click();

    QCOMPARE(combo->count(), 4);
    QCOMPARE(combo->currentText(), QStringLiteral("C"));
    QCOMPARE(dialog.selectedSerial(), std::wstring(L"C"));
}

void tst_MainWindowConnect::deviceDialogRefreshAfterUnplug()
{
    skarvelsim::SSensorConfig config;
    config.serialNumber = L"A";
    const skarvelsim::SSimSensor a = skarvelsim::addSensor(config);
    config.serialNumber = L"B";
    const skarvelsim::SSimSensor b = skarvelsim::addSensor(config);

    DeviceDialog dialog;
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("cmb_serial"));
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    auto* refresh = dialog.findChild<QPushButton*>(QStringLiteral("btn_refresh"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("B")));

    // The chosen one goes, another stays: something real is chosen, never nothing.
    skarvelsim::unplugSensor(b);
    refresh->click();
    QCOMPARE(combo->count(), 1);
    QCOMPARE(dialog.selectedSerial(), std::wstring(L"A"));
    QVERIFY(ok->isEnabled());

    skarvelsim::unplugSensor(a);
    refresh->click();
    QCOMPARE(combo->count(), 0);
    QVERIFY(!combo->isEnabled());
    QVERIFY(!ok->isEnabled());
    QCOMPARE(combo->placeholderText(), QStringLiteral("No device found"));
    QCOMPARE(dialog.selectedSerial(), std::wstring());
}

void tst_MainWindowConnect::connectThroughDialog()
{
    skarvelsim::SSensorConfig config;
    config.serialNumber = L"SKV-2";
    config.firmware = 0x001A;
    config.powerOnParams.accelRange = 1; // Connect resets it
    const skarvelsim::SSimSensor second = skarvelsim::addSensor(config);
    config.serialNumber = L"SKV-1";
    config.firmware = 0x0102;
    const skarvelsim::SSimSensor first = skarvelsim::addSensor(config);

    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-2"));

    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 1);
    QCOMPARE(modals.seen().first().title, QStringLiteral("Select device"));
    QVERIFY(parts.connected());
    QCOMPARE(hidsim::openHandleCount(second.interface0), 1);
    QCOMPARE(hidsim::openHandleCount(first.interface0), 0);
    QCOMPARE(second.model->params().accelRange, uint8_t(0));

    QVERIFY(!parts.action("actionConnect")->isEnabled());
    QVERIFY(parts.action("actionStart")->isEnabled());
    QVERIFY(!parts.action("actionStop")->isEnabled());
    for (const char* name :
         {"cmb_acc", "cmb_gyro", "cmb_acc_filter", "cmb_acc_cutoff", "cmb_gyro_hp"})
        QVERIFY2(parts.combo(name)->isEnabled(), name);
    QCOMPARE(parts.label("lb_status_connection")->text(),
             stateText(QStringLiteral("Connected"), MaterialColor::Green.darker(120)));
    QVERIFY(!parts.widget<QWidget>("widget_status_device")->isHidden());
    QCOMPARE(parts.label("lb_status_serial")->text(), QStringLiteral("SN SKV-2"));
    QCOMPARE(parts.label("lb_status_firmware")->text(), QStringLiteral("FW 001a"));
    QCOMPARE(parts.action("actionConnect")->icon().pixmap(32).toImage(),
             QIcon(QStringLiteral(":/icons/res/png/usb_green_32px.png")).pixmap(32).toImage());
}

void tst_MainWindowConnect::connectCancelledDoesNothing()
{
    skarvelsim::addSensor();
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    modals.expect([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    hidsim::clearCalls();

    parts.action("actionConnect")->trigger();

    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    QVERIFY(hidsim::callsTo("hid_open_path").empty());
    QVERIFY(!parts.connected());
}

void tst_MainWindowConnect::connectFailureShowsMessage_data()
{
    QTest::addColumn<bool>("hasInterface0");
    QTest::addColumn<QString>("openFailure");
    QTest::addColumn<QString>("text");

    QTest::newRow("no interface 0")
        << false << QString() << QStringLiteral("Connect failed:\nDevice not found");
    QTest::newRow("open refused") << true << QStringLiteral("Permission denied")
                                  << QStringLiteral("Connect failed:\nPermission denied");
}

void tst_MainWindowConnect::connectFailureShowsMessage()
{
    QFETCH(bool, hasInterface0);
    QFETCH(QString, openFailure);
    QFETCH(QString, text);
    skarvelsim::SSensorConfig config;
    config.hasInterface0 = hasInterface0;
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor(config);
    if (!openFailure.isEmpty())
        hidsim::setOpenFailure(sensor.interface0, openFailure.toStdWString());

    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    modals.expect(chooseDevice(QStringLiteral("SKV-000001")));
    modals.expectMessage();
    parts.action("actionConnect")->trigger();

    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 2);
    QCOMPARE(modals.seen()[1].className, QStringLiteral("QMessageBox"));
    QCOMPARE(modals.seen()[1].title, QStringLiteral("Device"));
    QCOMPARE(modals.seen()[1].text, text);
    QVERIFY(!parts.connected());
    QVERIFY(parts.action("actionConnect")->isEnabled());
}

void tst_MainWindowConnect::disconnect()
{
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor();
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    QVERIFY(parts.connected());
    parts.combo("cmb_acc")->setCurrentIndex(3);

    parts.action("actionDisconnect")->trigger();

    QCOMPARE(hidsim::openHandleCount(sensor.interface0), 0);
    QVERIFY(parts.action("actionConnect")->isEnabled());
    QVERIFY(!parts.action("actionDisconnect")->isEnabled());
    QVERIFY(!parts.action("actionStart")->isEnabled());
    QVERIFY(!parts.combo("cmb_acc")->isEnabled());
    QCOMPARE(parts.combo("cmb_acc")->currentText(), QStringLiteral("\u00b116 g")); // last shown
    QVERIFY(parts.widget<QWidget>("widget_status_device")->isHidden());
    QCOMPARE(parts.label("lb_status_connection")->text(),
             stateText(QStringLiteral("No device connected"), QColor(0x60, 0x7D, 0x8B)));
}

void tst_MainWindowConnect::dockTogglesSwitchIcons()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    WindowParts parts(window);
    const auto iconOf = [&](const char* action) {
        return parts.action(action)->icon().pixmap(32).toImage();
    };
    const auto picture = [](const char* file) {
        return QIcon(QStringLiteral(":/icons/res/png/") + QLatin1String(file)).pixmap(32).toImage();
    };

    auto* settings = parts.widget<QDockWidget>("dock_settings");
    QCOMPARE(iconOf("actionSettings"), picture("settings-filled_32px.png"));
    settings->close(); // its title-bar button
    QVERIFY(settings->isHidden());
    QCOMPARE(iconOf("actionSettings"), picture("settings_off_32px.png"));
    parts.action("actionSettings")->trigger();
    QVERIFY(!settings->isHidden());
    QCOMPARE(iconOf("actionSettings"), picture("settings-filled_32px.png"));

    auto* statistics = parts.widget<QDockWidget>("dock_statistics");
    parts.action("actionTableShow")->trigger();
    QVERIFY(statistics->isHidden());
    QCOMPARE(iconOf("actionTableShow"), picture("view-timeline_32px.png"));
    parts.action("actionTableShow")->trigger();
    QCOMPARE(iconOf("actionTableShow"), picture("view-timeline-filled_32px.png"));

    auto* scale = parts.widget<QDockWidget>("dock_scale");
    parts.action("actionScale")->trigger();
    QVERIFY(scale->isHidden());
    QCOMPARE(iconOf("actionScale"), picture("pageview_32px.png"));
    parts.action("actionScale")->trigger();
    QVERIFY(!scale->isHidden());
    QCOMPARE(iconOf("actionScale"), picture("pageview-filled_32px.png"));

    parts.action("actionShowAcc")->trigger();
    QVERIFY(parts.accel()->isHidden());
    QCOMPARE(iconOf("actionShowAcc"), picture("acc_off_32px.png"));
    parts.action("actionShowAcc")->trigger();
    QVERIFY(!parts.accel()->isHidden());
    QCOMPARE(iconOf("actionShowAcc"), picture("acc_on_32px.png"));
    parts.action("actionShowGyro")->trigger();
    QCOMPARE(iconOf("actionShowGyro"), picture("gyro_off_32px.png"));

    // Floating: sized to its hint once the event loop has run.
    settings->setFloating(true);
    settings->resize(settings->sizeHint() + QSize(300, 300));
    QTRY_COMPARE(settings->size(), settings->sizeHint());
}

void tst_MainWindowConnect::destroyShownWindow_data()
{
    QTest::addColumn<bool>("connect");
    QTest::addColumn<bool>("measure");

    QTest::newRow("idle") << false << false;
    QTest::newRow("connected") << true << false;
    QTest::newRow("measuring") << true << true;
}

// Destroyed while still shown, as when the event loop is left by quit():
// the docks report their hiding from inside the base class destructor.
void tst_MainWindowConnect::destroyShownWindow()
{
    QFETCH(bool, connect);
    QFETCH(bool, measure);
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor();
    ModalAnswerer modals;

    auto window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    WindowParts parts(*window);
    if (connect)
        connectTo(*window, modals, QStringLiteral("SKV-000001"));
    if (measure) {
        parts.action("actionStart")->trigger();
        QTRY_VERIFY(parts.accel()->storedSampleCount() > 0);
    }

    window.reset();

    QCOMPARE(hidsim::openHandleCount(sensor.interface0), 0);
    QCOMPARE(modals.unexpected(), 0);
}

void tst_MainWindowConnect::closeWhileMeasuring()
{
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor();
    ModalAnswerer modals;
    auto window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    WindowParts parts(*window);
    connectTo(*window, modals, QStringLiteral("SKV-000001"));
    parts.action("actionStart")->trigger();
    QTRY_VERIFY(parts.accel()->storedSampleCount() > 0);

    parts.action("actionExit")->trigger();
    QVERIFY(!window->isVisible());
    window.reset();

    QCOMPARE(hidsim::openHandleCount(sensor.interface0), 0);
    const uint64_t sent = sensor.model->reportsSent();
    QTest::qWait(100);
    QCOMPARE(sensor.model->reportsSent(), sent); // nothing reads any more
    QCOMPARE(modals.seen().size(), 1);           // the device dialog, no message
}

QTEST_MAIN(tst_MainWindowConnect)
#include "tst_mainwindow_connect.moc"

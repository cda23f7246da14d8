// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The device dialog's access guidance. Tests run as root, so the access check
// is replaced: it denies the paths a test names.
#include "deviceaccess.h"
#include "devicedialog.h"
#include "mainwindow_testing.h"

#include <QFileInfo>
#include <QLabel>
#include <QTemporaryFile>

#include <set>

using namespace testing;

namespace {

hidsim::DeviceId addInterface(const std::wstring& serial, int interfaceNumber,
                              const std::string& path)
{
    hidsim::DeviceSetup setup;
    setup.vendorId = SKARVEL_VENDOR_ID;
    setup.productId = SKARVEL_PRODUCT_ID;
    setup.serialNumber = serial;
    setup.interfaceNumber = interfaceNumber;
    setup.path = path;
    return hidsim::addDevice(setup);
}

} // namespace

class tst_DeviceDialogAccess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hintFollowsSelection_data();
    void hintFollowsSelection();
    void hintGoesOnceAccessIsGranted();
    void realCheckAcceptsWhatIsNoFile();

private:
    std::set<std::string> m_denied;
};

void tst_DeviceDialogAccess::init()
{
    hidsim::reset();
    m_denied.clear();
    DeviceAccess::setCheck([this](const std::string& path) { return m_denied.count(path) == 0; });
    addInterface(L"A1", 0, "/dev/hidraw10");
    addInterface(L"A1", 1, "/dev/hidraw11");
    addInterface(L"B2", 0, "/dev/hidraw20");
    addInterface(L"B2", 1, "/dev/hidraw21");
}

void tst_DeviceDialogAccess::cleanup()
{
    DeviceAccess::setCheck(nullptr);
    hidsim::reset();
}

void tst_DeviceDialogAccess::hintFollowsSelection_data()
{
    QTest::addColumn<QStringList>("denied");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("shownPath"); // empty: no hint

    QTest::newRow("nothing denied") << QStringList() << "A1" << QString();
    QTest::newRow("selected sensor denied") << QStringList{"/dev/hidraw10"} << "A1"
                                            << "/dev/hidraw10";
    QTest::newRow("other sensor denied") << QStringList{"/dev/hidraw20"} << "A1" << QString();
    QTest::newRow("switched to the denied sensor") << QStringList{"/dev/hidraw20"} << "B2"
                                                   << "/dev/hidraw20";
    // Connect opens interface 0 only.
    QTest::newRow("only interface 1 denied") << QStringList{"/dev/hidraw11"} << "A1" << QString();
}

void tst_DeviceDialogAccess::hintFollowsSelection()
{
    QFETCH(QStringList, denied);
    QFETCH(QString, select);
    QFETCH(QString, shownPath);
    for (const QString& path : denied)
        m_denied.insert(path.toStdString());

    DeviceDialog dialog;
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("cmb_serial"));
    auto* hint = dialog.findChild<QLabel*>(QStringLiteral("lbl_access_hint"));
    QVERIFY(combo && hint);
    combo->setCurrentIndex(combo->findText(select));
    QCOMPARE(QString::fromStdWString(dialog.selectedSerial()), select);

    QCOMPARE(hint->isHidden(), shownPath.isEmpty());
    if (!shownPath.isEmpty()) {
        QVERIFY2(hint->text().contains(shownPath), qPrintable(hint->text()));
        QVERIFY(hint->text().contains(QLatin1String("70-skarvel.rules")));
        QVERIFY(hint->text().contains(
            QLatin1String("sudo udevadm control --reload && sudo udevadm trigger")));
    }
}

void tst_DeviceDialogAccess::hintGoesOnceAccessIsGranted()
{
    m_denied.insert("/dev/hidraw10");
    DeviceDialog dialog;
    auto* hint = dialog.findChild<QLabel*>(QStringLiteral("lbl_access_hint"));
    QVERIFY(!hint->isHidden());

    m_denied.clear(); // the rule was loaded and the sensor re-plugged
    dialog.refresh();
    QVERIFY(hint->isHidden());

    hidsim::reset(); // unplugged: nothing selected, nothing to advise
    m_denied.insert("/dev/hidraw10");
    dialog.refresh();
    QVERIFY(hint->isHidden());
}

void tst_DeviceDialogAccess::realCheckAcceptsWhatIsNoFile()
{
    // Simulated sensors and other platforms' paths are no files: no advice.
    DeviceAccess::setCheck(nullptr);
    QVERIFY(DeviceAccess::canReadWrite("sim:0"));
    QVERIFY(DeviceAccess::canReadWrite("/dev/hidraw-nonexistent"));
    QTemporaryFile file;
    QVERIFY(file.open());
    QVERIFY(DeviceAccess::canReadWrite(file.fileName().toStdString()));
    file.setPermissions(QFileDevice::ReadOwner);
    // Root may write anything; everybody else is refused.
    QCOMPARE(DeviceAccess::canReadWrite(file.fileName().toStdString()),
             QFileInfo(QStringLiteral("/root")).isWritable());
}

QTEST_MAIN(tst_DeviceDialogAccess)
#include "tst_devicedialog_access.moc"

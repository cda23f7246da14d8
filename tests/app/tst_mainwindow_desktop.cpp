// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What the window remembers between runs, through the program's start-up with
// settings in a temporary folder: the round trip, the defaults when told to
// reset or when the file is damaged, a window made on its own, Reset Layout,
// and the keyboard shortcuts.
#include "mainwindow_testing.h"

#include "cspectrumview.h"
#include "recentfiles.h"
#include "settingsstore.h"
#include "startup.h"

#include <QDir>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QToolBar>

#include <unistd.h>

using namespace testing;

namespace {

using View = QMap<QString, QString>;

// Which of its two icons a toggle action shows.
QString iconName(const QAction* action, const char* on, const char* off)
{
    const QImage shown = action->icon().pixmap(32).toImage();
    for (const char* name : {on, off}) {
        if (QIcon(QStringLiteral(":/icons/res/png/%1_32px.png").arg(QLatin1String(name)))
                .pixmap(32)
                .toImage() == shown)
            return QLatin1String(name);
    }
    return QStringLiteral("?");
}

template <typename Graph> QString seriesShown(const Graph& graph)
{
    QString shown;
    for (int i = 0; i < graph.seriesCount(); ++i)
        shown += graph.isSeriesVisible(i) ? QLatin1Char('1') : QLatin1Char('0');
    return shown;
}

// Everything the settings hold, as the user sees it.
View viewOf(MainWindow& window)
{
    WindowParts parts(window);
    View view;
    view[QStringLiteral("size")] = QStringLiteral("%1x%2").arg(window.width()).arg(window.height());
    for (QDockWidget* dock : window.findChildren<QDockWidget*>())
        view[QStringLiteral("dock ") + dock->objectName()] =
            QStringLiteral("hidden %1 floating %2 area %3")
                .arg(dock->isHidden())
                .arg(dock->isFloating())
                .arg(window.dockWidgetArea(dock));
    view[QStringLiteral("tool bar")] =
        QString::number(window.toolBarArea(parts.widget<QToolBar>("toolBar")));
    view[QStringLiteral("mode")] = parts.combo("cmb_display")->currentText();
    view[QStringLiteral("time")] = QString::number(parts.widget<QSpinBox>("spin_time")->value());
    view[QStringLiteral("data view")] = parts.combo("cmb_dataview")->currentText();
    view[QStringLiteral("accel shown")] = QString::number(!parts.accel()->isHidden());
    view[QStringLiteral("gyro shown")] = QString::number(!parts.gyro()->isHidden());
    view[QStringLiteral("accel series")] = seriesShown(*parts.accel());
    view[QStringLiteral("gyro series")] = seriesShown(*parts.gyro());
    view[QStringLiteral("spectrum accel series")] =
        seriesShown(*parts.widget<CSpectrumView>("spectrum_accel"));
    view[QStringLiteral("spectrum gyro series")] =
        seriesShown(*parts.widget<CSpectrumView>("spectrum_gyro"));
    view[QStringLiteral("log")] =
        QString::number(parts.widget<QCheckBox>("chk_spectrum_log")->isChecked());
    view[QStringLiteral("dB")] =
        QString::number(parts.widget<QCheckBox>("chk_spectrum_db")->isChecked());
    view[QStringLiteral("icon settings")] =
        iconName(parts.action("actionSettings"), "settings-filled", "settings_off");
    view[QStringLiteral("icon statistics")] =
        iconName(parts.action("actionTableShow"), "view-timeline-filled", "view-timeline");
    view[QStringLiteral("icon scale")] =
        iconName(parts.action("actionScale"), "pageview-filled", "pageview");
    view[QStringLiteral("icon spectrum")] =
        iconName(parts.action("actionSpectrum"), "spectrum_on", "spectrum_off");
    view[QStringLiteral("icon accel")] =
        iconName(parts.action("actionShowAcc"), "acc_on", "acc_off");
    view[QStringLiteral("icon gyro")] =
        iconName(parts.action("actionShowGyro"), "gyro_on", "gyro_off");
    view[QStringLiteral("recent")] = window.recentFiles().files().join(QLatin1Char('|'));
    view[QStringLiteral("last serial")] = window.lastSerial();
    for (int d = 0; d < DialogFolders::DIALOG_COUNT; ++d) {
        const auto dialog = DialogFolders::EDialog(d);
        view[QStringLiteral("folder ") + DialogFolders::key(dialog)] =
            window.dialogFolders().folder(dialog);
    }
    return view;
}

// Compares key by key, so that a failure names the setting.
bool sameView(const View& actual, const View& expected)
{
    bool same = actual.keys() == expected.keys();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (actual.value(it.key()) != it.value()) {
            qWarning("%s: %s, expected %s", qPrintable(it.key()),
                     qPrintable(actual.value(it.key())), qPrintable(it.value()));
            same = false;
        }
    }
    return same;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the program prints to stderr (file descriptor 2) while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        if (m_file.open()) {
            std::fflush(stderr);
            m_saved = dup(STDERR_FILENO);
            dup2(m_file.handle(), STDERR_FILENO);
        }
    }
    ~StderrCapture() { text(); }
    QString text()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
            m_file.seek(0);
            m_text = QString::fromLocal8Bit(m_file.readAll());
        }
        return m_text;
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
    QString m_text;
};

} // namespace

class tst_MainWindowDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void settingsRoundTrip();
    void startsFromDefaults_data();
    void startsFromDefaults();
    void windowOnItsOwnIgnoresSettings();
    void resetLayoutRestoresDocks();
    void shortcutsDoNotClash();
    void shortcutsTrigger_data();
    void shortcutsTrigger();

private:
    // Settings that differ from the defaults in everything but the layout.
    void writeChangedSettings();

    QTemporaryDir m_config;
    QTemporaryDir m_files;
    View m_defaults;
    QString m_settingsFile;
};

void tst_MainWindowDesktop::initTestCase()
{
    QVERIFY(m_config.isValid() && m_files.isValid());
    // Never the user's own settings, also for the file dialogs' own.
    QStandardPaths::setTestModeEnabled(true);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, m_config.path());
    m_settingsFile = SettingsStore::fileName();
    QVERIFY2(m_settingsFile.startsWith(m_config.path()), qPrintable(m_settingsFile));
    QVERIFY(!QFile::exists(m_settingsFile));

    MainWindow window;
    window.show();
    m_defaults = viewOf(window);
}

void tst_MainWindowDesktop::init()
{
    hidsim::reset();
    QFile::remove(m_settingsFile);
    QDir(m_settingsFile).removeRecursively();
}

void tst_MainWindowDesktop::cleanup()
{
    QFile::setPermissions(m_settingsFile, QFile::ReadOwner | QFile::WriteOwner);
}

void tst_MainWindowDesktop::settingsRoundTrip()
{
    for (const char* serial : {"SKV-A", "SKV-B"}) {
        skarvelsim::SSensorConfig config;
        config.serialNumber = QString::fromLatin1(serial).toStdWString();
        skarvelsim::addSensor(config);
    }
    QStringList folders;
    for (int d = 0; d < DialogFolders::DIALOG_COUNT; ++d) {
        folders << m_files.filePath(QStringLiteral("folder%1").arg(d));
        QVERIFY(QDir().mkpath(folders.last()));
    }

    View changed;
    {
        ModalAnswerer modals;
        const std::unique_ptr<MainWindow> window = StartUp::openWindow({});
        WindowParts parts(*window);
        QVERIFY(sameView(viewOf(*window), m_defaults));

        window->resize(1100, 760);
        parts.action("actionSettings")->trigger();
        parts.widget<QDockWidget>("dock_statistics")->setFloating(true);
        window->addDockWidget(Qt::LeftDockWidgetArea, parts.widget<QDockWidget>("dock_scale"));
        parts.action("actionSpectrum")->trigger();
        window->addToolBar(Qt::LeftToolBarArea, parts.widget<QToolBar>("toolBar"));
        parts.combo("cmb_display")->setCurrentIndex(1);
        parts.widget<QSpinBox>("spin_time")->setValue(12);
        parts.combo("cmb_dataview")->setCurrentIndex(1);
        parts.action("actionShowGyro")->trigger();
        parts.accel()->setSeriesVisible(1, false);
        parts.widget<CSpectrumView>("spectrum_gyro")->setSeriesVisible(2, false);
        parts.widget<QCheckBox>("chk_spectrum_log")->setChecked(true);
        parts.widget<QCheckBox>("chk_spectrum_db")->setChecked(true);
        for (int d = 0; d < DialogFolders::DIALOG_COUNT; ++d)
            window->dialogFolders().chose(DialogFolders::EDialog(d),
                                          folders.at(d) + QStringLiteral("/x.csv"));
        for (const char* name : {"c.csv", "b.csv", "a.csv"})
            window->recentFiles().add(m_files.filePath(QLatin1String(name)));
        connectTo(*window, modals, QStringLiteral("SKV-B"));
        QVERIFY(parts.connected());
        parts.combo("cmb_acc")->setCurrentIndex(3); // the sensor's: not remembered

        changed = viewOf(*window);
        for (const QString& key : {QStringLiteral("size"), QStringLiteral("dock dock_settings"),
                                   QStringLiteral("dock dock_statistics"),
                                   QStringLiteral("dock dock_scale"), QStringLiteral("tool bar"),
                                   QStringLiteral("icon settings"), QStringLiteral("icon gyro")})
            QVERIFY2(changed.value(key) != m_defaults.value(key), qPrintable(key));
        QVERIFY(window->close());
        QCOMPARE(modals.unexpected(), 0);
    }
    QVERIFY(QFile::exists(m_settingsFile));

    ModalAnswerer modals;
    const std::unique_ptr<MainWindow> window = StartUp::openWindow({});
    WindowParts parts(*window);
    QVERIFY(sameView(viewOf(*window), changed));
    QCOMPARE(window->recentFiles().files().first(), m_files.filePath(QStringLiteral("a.csv")));
    QCOMPARE(parts.combo("cmb_acc")->currentIndex(), 0);

    // The device dialog offers the sensor connected last, though it is listed second.
    QString offered;
    modals.expect([&](QWidget* dialog) {
        offered = dialog->findChild<QComboBox*>(QStringLiteral("cmb_serial"))->currentText();
        static_cast<QDialog*>(dialog)->reject();
    });
    parts.action("actionConnect")->trigger();
    QCOMPARE(offered, QStringLiteral("SKV-B"));
    QVERIFY(!parts.connected());
}

void tst_MainWindowDesktop::writeChangedSettings()
{
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.setValue(QStringLiteral("graphs/mode"), 2);
    settings.setValue(QStringLiteral("graphs/timeWindow"), 30);
    settings.setValue(QStringLiteral("graphs/accelShown"), false);
    settings.setValue(QStringLiteral("graphs/accelSeries"), QStringLiteral("010"));
    settings.setValue(QStringLiteral("spectrum/logFrequency"), true);
    settings.setValue(QStringLiteral("statistics/dataView"), 1);
    settings.setValue(QStringLiteral("folders/open"), m_files.path());
    settings.setValue(QStringLiteral("sensor/lastSerial"), QStringLiteral("SKV-B"));
    settings.beginWriteArray(QStringLiteral("recentFiles"), 1);
    settings.setArrayIndex(0);
    settings.setValue(QStringLiteral("path"), m_files.filePath(QStringLiteral("a.csv")));
    settings.endArray();
}

void tst_MainWindowDesktop::startsFromDefaults_data()
{
    QTest::addColumn<QByteArray>("contents"); // "<changed>": writeChangedSettings()
    QTest::addColumn<bool>("reset");
    QTest::addColumn<QString>("warning"); // a pattern for stderr

    QTest::newRow("--reset-settings") << QByteArray("<changed>") << true << "^$";
    // A damaged file is the installed program's test: Qt keeps what it read of
    // a file for the process, so only a first reading sees the damage.
    QTest::newRow("values that make no sense")
        << QByteArray("[graphs]\nmode=7\ntimeWindow=abc\naccelShown=maybe\naccelSeries=1x1\n"
                      "gyroSeries=1111\n[spectrum]\nlogFrequency=2\n[statistics]\ndataView=-1\n"
                      "[window]\ngeometry=@ByteArray(xyz)\nstate=@ByteArray(\\0\\x1)\n")
        << false
        << "ignoring the setting window/geometry .*\n.*window/state .*\n.*graphs/mode .*\n"
           ".*graphs/timeWindow .*\n.*statistics/dataView .*\n.*graphs/accelShown .*\n"
           ".*graphs/accelSeries .*\n.*graphs/gyroSeries .*\n.*spectrum/logFrequency .*\n$";
    // Last: Qt keeps the settings it could not write for the file's next reader.
    QTest::newRow("a folder in its place")
        << QByteArray("<folder>") << false << "ignoring the settings file .*: it cannot be read";
}

void tst_MainWindowDesktop::startsFromDefaults()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, reset);
    QFETCH(QString, warning);

    if (contents == "<changed>") {
        writeChangedSettings();
    } else if (contents == "<folder>") {
        QVERIFY(QDir().mkpath(m_settingsFile));
    } else {
        QFile file(m_settingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    StderrCapture stderrText;
    CommandLine::SOptions options;
    options.resetSettings = reset;
    std::unique_ptr<MainWindow> window = StartUp::openWindow(options);
    const QString printed = stderrText.text();
    QVERIFY2(QRegularExpression(warning).match(printed).hasMatch(), qPrintable(printed));
    QVERIFY(sameView(viewOf(*window), m_defaults));

    // Closing saves the defaults in place of what was there, where it can.
    WindowParts(*window).widget<QSpinBox>("spin_time")->setValue(9);
    StderrCapture closing;
    QVERIFY(window->close());
    window.reset();
    if (contents == "<folder>") {
        QVERIFY2(closing.text().contains(QLatin1String("could not be saved")),
                 qPrintable(closing.text()));
        return;
    }
    QCOMPARE(closing.text(), QString());
    window = StartUp::openWindow({});
    View expected = m_defaults;
    expected[QStringLiteral("time")] = QStringLiteral("9");
    QVERIFY(sameView(viewOf(*window), expected));
}

void tst_MainWindowDesktop::windowOnItsOwnIgnoresSettings()
{
    writeChangedSettings();
    const QByteArray before = readAll(m_settingsFile);
    QVERIFY(!before.isEmpty());
    {
        MainWindow window;
        window.show();
        QVERIFY(sameView(viewOf(window), m_defaults));
        WindowParts(window).widget<QSpinBox>("spin_time")->setValue(17);
        QVERIFY(window.close());
    }
    QCOMPARE(readAll(m_settingsFile), before);
}

void tst_MainWindowDesktop::resetLayoutRestoresDocks()
{
    writeChangedSettings();
    const std::unique_ptr<MainWindow> window = StartUp::openWindow({});
    WindowParts parts(*window);
    parts.action("actionSettings")->trigger();
    parts.widget<QDockWidget>("dock_statistics")->setFloating(true);
    window->addDockWidget(Qt::LeftDockWidgetArea, parts.widget<QDockWidget>("dock_scale"));
    parts.action("actionSpectrum")->trigger();
    window->addToolBar(Qt::BottomToolBarArea, parts.widget<QToolBar>("toolBar"));
    QAction* reset = parts.action("actionResetLayout");
    QCOMPARE(reset->text(), QStringLiteral("Reset Layout"));
    QVERIFY(parts.widget<QMenu>("menuView")->actions().contains(reset));
    reset->trigger();

    // The docks as at the first start; the views keep what the settings said.
    View expected = viewOf(*window);
    for (auto it = m_defaults.begin(); it != m_defaults.end(); ++it) {
        if (it.key().startsWith(QLatin1String("dock ")) ||
            it.key().startsWith(QLatin1String("icon ")) || it.key() == QLatin1String("tool bar"))
            expected[it.key()] = it.value();
    }
    expected[QStringLiteral("icon accel")] = QStringLiteral("acc_off"); // hidden by the settings
    QVERIFY(sameView(viewOf(*window), expected));
    QCOMPARE(parts.combo("cmb_display")->currentIndex(), 2);
    // Not squeezed: Qt keeps the areas' current widths when the window is shown.
    QTRY_VERIFY(parts.widget<QDockWidget>("dock_settings")->isVisible());
    for (QDockWidget* dock : window->findChildren<QDockWidget*>()) {
        if (dock->isHidden())
            continue;
        const QSize least = dock->minimumSizeHint();
        QVERIFY2(dock->width() >= least.width() && dock->height() >= least.height() &&
                     (window->dockWidgetArea(dock) == Qt::BottomDockWidgetArea ||
                      dock->width() < window->width() / 2),
                 qPrintable(QStringLiteral("%1 %2x%3 least %4x%5 window %6")
                                .arg(dock->objectName())
                                .arg(dock->width())
                                .arg(dock->height())
                                .arg(least.width())
                                .arg(least.height())
                                .arg(window->width())));
    }
}

void tst_MainWindowDesktop::shortcutsDoNotClash()
{
    MainWindow window;
    QMap<QString, QString> owner; // key -> action
    const QList<QAction*> actions = window.findChildren<QAction*>();
    for (const QAction* action : actions) {
        for (const QKeySequence& key : action->shortcuts()) {
            const QString text = key.toString(QKeySequence::PortableText);
            QVERIFY2(!owner.contains(text),
                     qPrintable(QStringLiteral("%1: %2 and %3")
                                    .arg(text, owner.value(text), action->objectName())));
            owner[text] = action->objectName();
        }
    }
    // The platform's standard keys, where there is one.
    const struct
    {
        const char* action;
        QKeySequence::StandardKey key;
    } standard[] = {{"actionOpenMeasurement", QKeySequence::Open},
                    {"actionSaveCsv", QKeySequence::Save},
                    {"actionExit", QKeySequence::Quit},
                    {"actionAbout", QKeySequence::HelpContents}};
    WindowParts parts(window);
    for (const auto& entry : standard)
        QCOMPARE(parts.action(entry.action)->shortcut(), QKeySequence(entry.key));
    for (const char* name : {"actionConnect", "actionDisconnect", "actionStart", "actionStop",
                             "actionRecord", "actionScreenshot", "actionSettings", "actionShowAcc",
                             "actionShowGyro", "actionTableShow", "actionScale", "actionSpectrum",
                             "actionTrigger"})
        QVERIFY2(!parts.action(name)->shortcut().isEmpty(), name);
    QCOMPARE(owner.value(QStringLiteral("M")), QStringLiteral("actionMeasure"));
    // Left free for the graphs' cursors.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Left),
                                    QKeySequence(Qt::Key_Right)})
        QVERIFY2(!owner.contains(key.toString(QKeySequence::PortableText)),
                 qPrintable(key.toString()));

    // Every key shows in a menu.
    QList<QAction*> inMenus;
    const std::function<void(QMenu*)> collect = [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            inMenus << action;
            if (action->menu() != nullptr)
                collect(action->menu());
        }
    };
    for (QAction* action : window.menuBar()->actions())
        collect(action->menu());
    for (QAction* action : actions) {
        if (!action->shortcut().isEmpty())
            QVERIFY2(inMenus.contains(action), qPrintable(action->objectName()));
    }
}

void tst_MainWindowDesktop::shortcutsTrigger_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("dock");
    QTest::newRow("Ctrl+1") << QKeySequence(Qt::CTRL | Qt::Key_1) << "dock_settings";
    QTest::newRow("Ctrl+4") << QKeySequence(Qt::CTRL | Qt::Key_4) << "dock_statistics";
    QTest::newRow("Ctrl+6") << QKeySequence(Qt::CTRL | Qt::Key_6) << "dock_spectrum";
}

void tst_MainWindowDesktop::shortcutsTrigger()
{
    QFETCH(QKeySequence, key);
    QFETCH(QString, dock);
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* target = window.findChild<QDockWidget*>(dock);
    const bool hidden = target->isHidden();
    QTest::keySequence(&window, key);
    QCOMPARE(target->isHidden(), !hidden);
    QTest::keySequence(&window, key);
    QCOMPARE(target->isHidden(), hidden);
}

QTEST_MAIN(tst_MainWindowDesktop)
#include "tst_mainwindow_desktop.moc"

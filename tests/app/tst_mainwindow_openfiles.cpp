// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Opening measurement files the ways people expect: named on the command
// line, dropped on the window, from the recent files; refused while
// measuring. The title names the shown file, and the spectrum follows it.
#include "mainwindow_testing.h"

#include "commandline.h"
#include "cspectrumview.h"
#include "csvwriter.h"
#include "recentfiles.h"
#include "spectrumpanel.h"
#include "startup.h"

#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>

using namespace testing;

namespace {

constexpr double PI = 3.14159265358979323846;
const QString TITLE = QStringLiteral("Skarvel Monitor");

// A measurement file as the program writes it: `count` samples of a sine of
// `frequency` Hz on X.
bool writeMeasurement(const QString& path, quint64 count, double frequency = 10.0)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    CsvWriter csv(&file);
    CsvWriter::SHeader header;
    header.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
    header.serialNumber = QStringLiteral("SKV-000003");
    header.firmware = 0x0102;
    const QString plusMinus(QChar(0xB1));
    header.settings = {{"Acceleration range", plusMinus + "2 g"},
                       {"Gyro range", plusMinus + "245 dps"},
                       {"Accel filter", "LP1 only"},
                       {"Accel cutoff", "416.5 Hz"},
                       {"Accel low latency", "No"},
                       {"Gyro high pass", "Off"}};
    header.sampleRate = 833.0;
    csv.writeHeader(header);
    std::vector<float> accel;
    std::vector<float> gyro(std::size_t(3 * count), 0.0f);
    for (quint64 i = 0; i < count; ++i)
        accel.insert(accel.end(),
                     {float(0.5 * std::sin(2.0 * PI * frequency * double(i) / 833.0)), 0.0f, 1.0f});
    csv.writeFrames(accel, gyro, 0, 833.0);
    return csv.flush();
}

// A drag carrying these URLs, as a file manager sends it.
QMimeData* urlData(const QList<QUrl>& urls)
{
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// Drags the data over the window and drops it; whether the window took the drag.
bool dragAndDrop(QWidget& window, const QList<QUrl>& urls)
{
    const std::unique_ptr<QMimeData> data(urlData(urls));
    const QPoint at = window.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

// The strongest peak of the acceleration spectrum's X.
double peakFrequency(MainWindow& window)
{
    return window.findChild<SpectrumPanel*>()->accelView()->spectrum(0).peak.frequency;
}

} // namespace

class tst_MainWindowOpenFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void commandLineOptions_data();
    void commandLineOptions();
    void commandLineFileOpens_data();
    void commandLineFileOpens();
    void dropOpensCsv_data();
    void dropOpensCsv();
    void refusedWhileMeasuring();
    void recentFiles();
    void savedAndRecordedFilesAreRecent();
    void titleNamesOpenedFile();
    void spectrumFollowsOpenedFile();

private:
    QString path(const char* name) const { return m_dir->filePath(QLatin1String(name)); }

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_MainWindowOpenFiles::initTestCase()
{
    QVERIFY(m_config.isValid());
    QStandardPaths::setTestModeEnabled(true);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, m_config.path());
}

void tst_MainWindowOpenFiles::init()
{
    hidsim::reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_MainWindowOpenFiles::commandLineOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("reset");

    QTest::newRow("nothing") << QStringList() << QString() << false;
    QTest::newRow("a.csv") << QStringList{"a.csv"} << "a.csv" << false;
    QTest::newRow("--reset-settings") << QStringList{"--reset-settings"} << QString() << true;
    QTest::newRow("-platform offscreen --reset-settings /tmp/b.csv")
        << QStringList{"-platform", "offscreen", "--reset-settings", "/tmp/b.csv"} << "/tmp/b.csv"
        << true;
    QTest::newRow("file with spaces -style Fusion")
        << QStringList{"my file.csv", "-style", "Fusion"} << "my file.csv" << false;
}

void tst_MainWindowOpenFiles::commandLineOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(bool, reset);
    arguments.prepend(QStringLiteral("skarvel-monitor"));
    std::vector<QByteArray> bytes;
    std::vector<char*> argv;
    for (const QString& argument : arguments)
        bytes.push_back(argument.toLocal8Bit());
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    CommandLine::SOptions options;
    QVERIFY(!CommandLine::handle(int(bytes.size()), argv.data(), &options).has_value());
    QCOMPARE(options.file, file);
    QCOMPARE(options.resetSettings, reset);
}

void tst_MainWindowOpenFiles::commandLineFileOpens_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<bool>("exists");
    QTest::newRow("absolute") << "a.csv" << false << true;
    QTest::newRow("relative") << "b.csv" << true << true;
    QTest::newRow("missing") << "gone.csv" << false << false;
}

void tst_MainWindowOpenFiles::commandLineFileOpens()
{
    QFETCH(QString, name);
    QFETCH(bool, relative);
    QFETCH(bool, exists);
    const QString absolute = m_dir->filePath(name);
    if (exists)
        QVERIFY(writeMeasurement(absolute, 1000));
    const QString previous = QDir::currentPath();
    auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
    QVERIFY(QDir::setCurrent(m_dir->path()));

    ModalAnswerer modals;
    if (!exists)
        modals.expectMessage();
    CommandLine::SOptions options;
    options.file = relative ? name : absolute;
    options.resetSettings = true;
    const std::unique_ptr<MainWindow> window = StartUp::openWindow(options);
    WindowParts parts(*window);
    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    if (!exists) {
        QCOMPARE(modals.seen().last().title, QStringLiteral("Open"));
        QVERIFY(modals.seen().last().text.startsWith(
            QStringLiteral("Opening %1 failed:\n").arg(absolute)));
        QCOMPARE(window->windowTitle(), TITLE);
        QCOMPARE(window->recentFiles().files(), QStringList());
        return;
    }
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(1000));
    QCOMPARE(window->windowTitle(), QStringLiteral("%1 \u2013 Skarvel Monitor").arg(name));
    QCOMPARE(window->recentFiles().files(), QStringList{absolute});
}

void tst_MainWindowOpenFiles::dropOpensCsv_data()
{
    QTest::addColumn<QStringList>("urls"); // file names in the folder, or URLs with a scheme
    QTest::addColumn<QString>("opened");   // empty: the drag is refused

    QTest::newRow("a.csv") << QStringList{"a.csv"} << "a.csv";
    QTest::newRow("UPPER.CSV") << QStringList{"UPPER.CSV"} << "UPPER.CSV";
    QTest::newRow("notes.txt, then a.csv") << QStringList{"notes.txt", "a.csv"} << "a.csv";
    QTest::newRow("notes.txt") << QStringList{"notes.txt"} << QString();
    QTest::newRow("remote a.csv") << QStringList{"https://example.org/a.csv"} << QString();
}

void tst_MainWindowOpenFiles::dropOpensCsv()
{
    QFETCH(QStringList, urls);
    QFETCH(QString, opened);
    QList<QUrl> list;
    for (const QString& url : urls) {
        if (url.contains(QLatin1String("://"))) {
            list << QUrl(url);
            continue;
        }
        QVERIFY(writeMeasurement(m_dir->filePath(url), 500));
        list << QUrl::fromLocalFile(m_dir->filePath(url));
    }
    MainWindow window;
    window.show();
    ModalAnswerer modals;
    QCOMPARE(dragAndDrop(window, list), !opened.isEmpty());
    if (opened.isEmpty()) {
        QTest::qWait(50); // a refused drop opens nothing later either
        QCOMPARE(WindowParts(window).accel()->storedSampleCount(), quint64(0));
        return;
    }
    QTRY_COMPARE(WindowParts(window).accel()->storedSampleCount(), quint64(500));
    QCOMPARE(window.windowTitle(), QStringLiteral("%1 \u2013 Skarvel Monitor").arg(opened));
    QCOMPARE(modals.seen().size(), 0);
}

void tst_MainWindowOpenFiles::refusedWhileMeasuring()
{
    skarvelsim::addSensor(); // streams in real time until stopped
    const QString file = path("a.csv");
    QVERIFY(writeMeasurement(file, 500));
    MainWindow window;
    window.show();
    WindowParts parts(window);
    ModalAnswerer modals;
    window.recentFiles().add(file);
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    parts.action("actionStart")->trigger();
    QVERIFY(parts.measuring());
    QVERIFY(!parts.action("actionOpenMeasurement")->isEnabled());
    QVERIFY(!window.recentFiles().menu()->isEnabled());

    // The drop, the recent entry and a stale Open all say why, and change nothing.
    const QString why = QStringLiteral("Stop the measurement before opening a measurement file.");
    modals.expectMessage();
    QVERIFY(dragAndDrop(window, {QUrl::fromLocalFile(file)}));
    QTRY_COMPARE(modals.unanswered(), 0);
    modals.expectMessage();
    fire(window.recentFiles().menu()->actions().first());
    QTRY_COMPARE(modals.unanswered(), 0);
    modals.expectMessage();
    fire(parts.action("actionOpenMeasurement"));
    QTRY_COMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.seen().size(), 4); // the device dialog first
    for (int i = 1; i < 4; ++i) {
        QCOMPARE(modals.seen().at(i).title, QStringLiteral("Open"));
        QCOMPARE(modals.seen().at(i).text, why);
    }
    QVERIFY(parts.measuring());
    QCOMPARE(window.windowTitle(), TITLE);
    parts.action("actionStop")->trigger();
    QVERIFY(window.recentFiles().menu()->isEnabled());
    QCOMPARE(modals.unexpected(), 0);
}

void tst_MainWindowOpenFiles::recentFiles()
{
    MainWindow window;
    window.show();
    WindowParts parts(window);
    ModalAnswerer modals;
    QMenu* menu = window.recentFiles().menu();
    QCOMPARE(menu->title(), QStringLiteral("Open Recent"));
    QVERIFY(parts.widget<QMenu>("menuFile")->actions().contains(menu->menuAction()));
    QVERIFY(!menu->isEnabled()); // nothing yet

    QStringList opened;
    for (int i = 1; i <= 12; ++i) {
        opened.prepend(m_dir->filePath(QStringLiteral("m%1.csv").arg(i)));
        QVERIFY(writeMeasurement(opened.first(), 100 + quint64(i)));
        QVERIFY(window.openMeasurement(opened.first()));
    }
    // The ten newest first; opening one again moves it to the front.
    QCOMPARE(window.recentFiles().files(), opened.mid(0, 10));
    QVERIFY(window.openMeasurement(opened.at(4)));
    opened.move(4, 0);
    QCOMPARE(window.recentFiles().files(), opened.mid(0, 10));
    QTRY_COMPARE(menu->actions().size(), 12); // ten entries, a separator, Clear List
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("&1  m8.csv"));
    QCOMPARE(menu->actions().at(9)->text(), QStringLiteral("10  m3.csv"));
    QCOMPARE(menu->actions().at(0)->toolTip(), opened.at(0));

    // An entry opens its file.
    menu->actions().at(2)->trigger();
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(100 + 11));
    QCOMPARE(window.windowTitle(), QStringLiteral("m11.csv \u2013 Skarvel Monitor"));
    opened.move(2, 0);
    QCOMPARE(window.recentFiles().files(), opened.mid(0, 10));

    // One whose file is gone is removed, with a message; the shown file stays.
    QVERIFY(QFile::remove(opened.at(3)));
    modals.expectMessage();
    QTRY_COMPARE(menu->actions().size(), 12);
    menu->actions().at(3)->trigger();
    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.seen().last().title, QStringLiteral("Open Recent"));
    QCOMPARE(modals.seen().last().text,
             QStringLiteral("%1 no longer exists. It has been removed from the list.")
                 .arg(opened.at(3)));
    QVERIFY(!window.recentFiles().files().contains(opened.at(3)));
    QCOMPARE(window.recentFiles().files().size(), 9);
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(100 + 11));

    // Clear List empties it.
    QTRY_COMPARE(menu->actions().size(), 11);
    QAction* clear = menu->actions().last();
    QCOMPARE(clear->text(), QStringLiteral("Clear List"));
    clear->trigger();
    QCOMPARE(window.recentFiles().files(), QStringList());
    QVERIFY(!menu->isEnabled());
    QCOMPARE(modals.unexpected(), 0);
}

void tst_MainWindowOpenFiles::savedAndRecordedFilesAreRecent()
{
    skarvelsim::addSensor();
    const QString source = path("source.csv");
    QVERIFY(writeMeasurement(source, 300));
    MainWindow window;
    window.show();
    WindowParts parts(window);
    ModalAnswerer modals;
    QVERIFY(window.openMeasurement(source));

    // Saved, then saved again: the second dialog starts in the first one's folder.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("saves")));
    const QString saved = path("saves/saved.csv");
    modals.expect(saveAs(saved, QStringLiteral("Save measurement"),
                         QStringLiteral("CSV file (*.csv)"),
                         QStringLiteral("^skarvel_\\d{8}_\\d{6}\\.csv$")));
    parts.action("actionSaveCsv")->trigger();
    QTRY_COMPARE(modals.unanswered(), 0);
    QCOMPARE(window.recentFiles().files(), QStringList({saved, source}));
    QString startedIn;
    modals.expect([&](QWidget* dialog) {
        startedIn = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
        static_cast<QDialog*>(dialog)->reject();
    });
    parts.action("actionSaveCsv")->trigger();
    QTRY_COMPARE(modals.unanswered(), 0);
    QCOMPARE(startedIn, m_dir->filePath(QStringLiteral("saves")));

    const QString recorded = path("recorded.csv");
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    modals.expect(saveAs(recorded, QStringLiteral("Record measurement"),
                         QStringLiteral("CSV file (*.csv)"),
                         QStringLiteral("^skarvel_\\d{8}_\\d{6}\\.csv$")));
    parts.action("actionRecord")->trigger();
    QTRY_COMPARE(modals.unanswered(), 0);
    QVERIFY(parts.action("actionRecord")->isChecked());
    parts.action("actionRecord")->trigger();
    QCOMPARE(window.recentFiles().files(), QStringList({recorded, saved, source}));
    QCOMPARE(modals.unexpected(), 0);
}

void tst_MainWindowOpenFiles::titleNamesOpenedFile()
{
    skarvelsim::addSensor();
    const QString file = path("walk.csv");
    QVERIFY(writeMeasurement(file, 300));
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    QCOMPARE(window.windowTitle(), TITLE);
    QVERIFY(window.openMeasurement(file));
    QCOMPARE(window.windowTitle(), QStringLiteral("walk.csv \u2013 Skarvel Monitor"));
    // Connecting gives the window to the sensor; a file opened then stays
    // until a measurement starts.
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    QCOMPARE(window.windowTitle(), TITLE);
    QVERIFY(window.openMeasurement(file));
    QCOMPARE(window.windowTitle(), QStringLiteral("walk.csv \u2013 Skarvel Monitor"));
    parts.action("actionStart")->trigger();
    QCOMPARE(window.windowTitle(), TITLE);
    parts.action("actionStop")->trigger();
    QCOMPARE(window.windowTitle(), TITLE);
}

void tst_MainWindowOpenFiles::spectrumFollowsOpenedFile()
{
    // Two measurements of the same length and view: 20 Hz, saved, then 50 Hz.
    // Single Shot stops each at the same count however the ticks fall.
    const hidsim::DeviceId device = addScriptedSensor(L"S1");
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("S1"));
    parts.action("actionSpectrum")->trigger();
    parts.combo("cmb_display")->setCurrentIndex(2);
    parts.widget<QSpinBox>("spin_time")->setValue(6);
    const quint64 stored = 6 * 833;
    const auto measure = [&](double frequency) {
        // The settling samples, then the window: the last one stops it.
        for (quint64 i = 0; i < 100 + stored; ++i)
            hidsim::queueInput(device,
                               report(int(std::lround(
                                   8000.0 * std::sin(2.0 * PI * frequency * double(i) / 833.0)))));
        parts.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!parts.measuring(), 20000);
        QCOMPARE(parts.accel()->storedSampleCount(), stored);
        QVERIFY(waitQueueDrained(device));
    };
    measure(20.0);
    QTRY_VERIFY(std::fabs(peakFrequency(window) - 20.0) < 0.5);
    const QString first = path("first.csv");
    QVERIFY(window.writeCsv(first));
    measure(50.0);
    QTRY_VERIFY(std::fabs(peakFrequency(window) - 50.0) < 0.5);

    QVERIFY(window.openMeasurement(first));
    QCOMPARE(parts.accel()->storedSampleCount(), stored);
    QTRY_VERIFY2(std::fabs(peakFrequency(window) - 20.0) < 0.5,
                 qPrintable(QString::number(peakFrequency(window))));
    QCOMPARE(modals.unexpected(), 0);
}

QTEST_MAIN(tst_MainWindowOpenFiles)
#include "tst_mainwindow_openfiles.moc"

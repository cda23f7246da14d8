// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The trigger in the window, over a scripted sensor that streams numbered
// reports with knocks at chosen reports: the capture shown and its marker,
// Single stopping the measurement, Repeat saving one file per event, and a
// capture saved and opened again with its [Trigger] section.
#include "mainwindow_testing.h"

#include "csvreader.h"
#include "trigger.h"

#include <QBuffer>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QSpinBox>
#include <QTemporaryDir>

#include <set>

using namespace testing;

namespace {

constexpr quint64 SETTLING = 100;
constexpr quint64 WINDOW = 833; // the time window of 1 s
constexpr double ACCEL_MG = 0.061;
constexpr double GYRO_MDPS = 8.75;
constexpr int CODE_MODULUS = 16000;

// Which channel a source's knock goes into, and which carries the report's
// number: one the source does not look at.
struct SChannels
{
    int knock;
    int code;
};

SChannels channelsOf(Trigger::ESource source)
{
    switch (source) {
    case Trigger::ESource::X:
        return {0, 4};
    case Trigger::ESource::AccelMagnitude:
        return {2, 4};
    case Trigger::ESource::RZ:
        return {5, 1};
    case Trigger::ESource::RateMagnitude:
        return {3, 1};
    default:
        return {int(source), int(source) < 3 ? 4 : 1};
    }
}

// The value the window stores for report k's number channel.
float codeValue(Trigger::ESource source, quint64 report)
{
    const int channel = channelsOf(source).code;
    const double sensitivity = channel < 3 ? ACCEL_MG : GYRO_MDPS;
    return float(double(report % CODE_MODULUS) * sensitivity / 1000.0);
}

// Keeps a scripted sensor streaming, as a real one does: report k has a
// knock (1.83 g or 175 dps for 5 reports) at each of `knocks` and its number
// in the code channel. Stops queueing when the queue is full.
class ScriptedStream : public QObject
{
public:
    ScriptedStream(hidsim::DeviceId device, Trigger::ESource source, std::set<quint64> knocks)
        : m_device(device), m_channels(channelsOf(source)), m_knocks(std::move(knocks))
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &ScriptedStream::top);
        m_timer.start();
        top();
    }

    quint64 queued() const { return m_next; }

private:
    void top()
    {
        while (hidsim::queuedInputCount(m_device) < 400) {
            int values[6] = {0, 0, 0, 0, 0, 0};
            values[m_channels.code] = int(m_next % CODE_MODULUS);
            for (quint64 knock : m_knocks) {
                if (m_next >= knock && m_next < knock + 5)
                    values[m_channels.knock] = m_channels.knock < 3 ? 30000 : 20000;
            }
            hidsim::queueInput(
                m_device, report(values[0], values[1], values[2], values[3], values[4], values[5]));
            ++m_next;
        }
    }

    hidsim::DeviceId m_device;
    SChannels m_channels;
    std::set<quint64> m_knocks;
    quint64 m_next = 0;
    QTimer m_timer;
};

struct Fixture
{
    Fixture() : device(addScriptedSensor(L"T1")), parts(window)
    {
        connectTo(window, modals, QStringLiteral("T1"));
        parts.widget<QSpinBox>("spin_time")->setValue(1);
    }

    void setTrigger(Trigger::ESource source, int percent, bool repeat)
    {
        parts.combo("cmb_trigger_source")->setCurrentIndex(int(source));
        parts.combo("cmb_trigger_slope")->setCurrentIndex(int(Trigger::ESlope::Rising));
        parts.widget<QDoubleSpinBox>("spin_trigger_level")
            ->setValue(Trigger::isGyroSource(source) ? 100.0 : 1.0);
        parts.widget<QSpinBox>("spin_trigger_pre")->setValue(percent);
        parts.combo("cmb_trigger_mode")->setCurrentIndex(repeat ? 1 : 0);
        parts.widget<QCheckBox>("chk_trigger")->setChecked(true);
    }

    void saveInto(const QString& folder)
    {
        auto* edit = parts.widget<QLineEdit>("edit_trigger_folder");
        edit->setText(folder);
        emit edit->editingFinished();
        parts.widget<QCheckBox>("chk_trigger_save")->setChecked(true);
    }

    hidsim::DeviceId device;
    MainWindow window;
    WindowParts parts;
    ModalAnswerer modals;
};

// The stored samples hold reports [first, first + count) of the stream, in order.
void checkStoredReports(const WindowParts& parts, Trigger::ESource source, quint64 firstReport,
                        quint64 count)
{
    const int channel = channelsOf(source).code;
    const CLiveGraph* graph = channel < 3 ? parts.accel() : parts.gyro();
    QCOMPARE(graph->storedSampleCount(), count);
    for (quint64 i = 0; i < count; ++i) {
        if (graph->storedSample(channel % 3, i) != codeValue(source, firstReport + i))
            QFAIL(qPrintable(
                QStringLiteral("stored sample %1 is not report %2").arg(i).arg(firstReport + i)));
    }
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_MainWindowTrigger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void singleCaptureShowsTheWindowAroundTheKnock_data();
    void singleCaptureShowsTheWindowAroundTheKnock();
    void repeatSavesOneFilePerEvent();
    void capturedFileRoundTrip();
    void failedCaptureFileIsNamedAndMeasuringGoesOn();
    void malformedTriggerSectionChangesNothing_data();
    void malformedTriggerSectionChangesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_MainWindowTrigger::init()
{
    hidsim::reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_MainWindowTrigger::singleCaptureShowsTheWindowAroundTheKnock_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("percent");
    QTest::addColumn<quint64>("knock"); // stored index
    QTest::addColumn<quint64>("first"); // stored index of the capture's first sample
    QTest::addColumn<quint64>("count");

    for (Trigger::ESource source : {Trigger::ESource::X, Trigger::ESource::AccelMagnitude,
                                    Trigger::ESource::RZ, Trigger::ESource::RateMagnitude}) {
        for (const auto& [percent, pre] : {std::pair<int, quint64>{0, 0}, {20, 167}, {100, 832}}) {
            QTest::addRow("%s %d %%", qPrintable(Trigger::sourceText(source)), percent)
                << int(source) << percent << quint64(2000) << 2000 - pre << WINDOW;
        }
    }
    // Younger than the pre-trigger part: what there is comes first.
    QTest::newRow("X 20 %, knock at 50")
        << int(Trigger::ESource::X) << 20 << quint64(50) << quint64(0) << quint64(50 + 1 + 665);
}

void tst_MainWindowTrigger::singleCaptureShowsTheWindowAroundTheKnock()
{
    QFETCH(int, source);
    QFETCH(int, percent);
    QFETCH(quint64, knock);
    QFETCH(quint64, first);
    QFETCH(quint64, count);

    const auto src = Trigger::ESource(source);
    Fixture f;
    f.setTrigger(src, percent, false);
    QCOMPARE(f.parts.combo("cmb_display")->currentIndex(), 0);
    QVERIFY(!f.parts.combo("cmb_display")->isEnabled());
    ScriptedStream stream(f.device, src, {SETTLING + knock});
    f.parts.action("actionStart")->trigger();
    QVERIFY(f.parts.measuring());
    QVERIFY(!f.parts.label("lb_status_trigger")->isHidden());

    // Single: the measurement stops by itself once the capture is complete.
    QTRY_VERIFY_WITH_TIMEOUT(!f.parts.measuring(), 30000);
    QVERIFY(f.parts.label("lb_status_trigger")->isHidden());
    checkStoredReports(f.parts, src, SETTLING + first, count);
    QCOMPARE(f.parts.accel()->storedSampleTime(0), double(first) / 833.0);
    QVERIFY(f.parts.accel()->hasTriggerMarker());
    QCOMPARE(f.parts.accel()->triggerMarkerIndex(), knock);
    QCOMPARE(f.parts.gyro()->triggerMarkerIndex(), knock);
    // The level is drawn in the source's graph only.
    QCOMPARE(f.parts.gyro()->triggerLevelShown(), Trigger::isGyroSource(src));
    QCOMPARE(f.parts.accel()->triggerLevelShown(), !Trigger::isGyroSource(src));
    QCOMPARE(f.parts.label("lb_trigger_count")->text(), QStringLiteral("1"));
    const QString readout = f.parts.label("lb_trigger_readout")->text();
    QVERIFY2(readout.contains(CsvWriter::number(double(knock) / 833.0, 4)), qPrintable(readout));
    QVERIFY2(readout.contains(Trigger::sourceText(src)), qPrintable(readout));
    QVERIFY(f.parts.action("actionSaveCsv")->isEnabled());
    QCOMPARE(f.modals.unexpected(), 0);
}

void tst_MainWindowTrigger::repeatSavesOneFilePerEvent()
{
    Fixture f;
    f.setTrigger(Trigger::ESource::X, 20, true);
    const QString folder = m_dir->path();
    // Someone's file under the second number: it stays, the capture takes the next.
    {
        QFile taken(QDir(folder).filePath(QStringLiteral("capture_0002.csv")));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("not ours\n");
    }
    f.saveInto(folder);
    // Three knocks apart; the one at 2300 falls inside the capture of 2000.
    const std::vector<quint64> knocks{1000, 2000, 2300, 4000};
    const std::vector<quint64> triggers{1000, 2000, 4000};
    std::set<quint64> reports;
    for (quint64 knock : knocks)
        reports.insert(SETTLING + knock);
    ScriptedStream stream(f.device, Trigger::ESource::X, reports);
    f.parts.action("actionStart")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(f.parts.label("lb_trigger_count")->text(), QStringLiteral("3"),
                              30000);
    // Repeat goes on measuring with the last capture on screen.
    QVERIFY(f.parts.measuring());
    QCOMPARE(f.parts.accel()->triggerMarkerIndex(), quint64(4000));
    QTRY_VERIFY(!f.parts.label("lb_status_trigger")->isHidden()); // armed again
    f.parts.action("actionStop")->trigger();
    QCOMPARE(f.parts.label("lb_trigger_count")->text(), QStringLiteral("3"));

    QCOMPARE(readAll(QDir(folder).filePath(QStringLiteral("capture_0002.csv"))),
             QByteArray("not ours\n"));
    const QStringList names{QStringLiteral("capture_0001.csv"), QStringLiteral("capture_0003.csv"),
                            QStringLiteral("capture_0004.csv")};
    QCOMPARE(QDir(folder).entryList({QStringLiteral("capture_*.csv")}, QDir::Files, QDir::Name),
             QStringList({names[0], QStringLiteral("capture_0002.csv"), names[1], names[2]}));
    for (int n = 0; n < 3; ++n) {
        QFile file(QDir(folder).filePath(names[n]));
        QVERIFY(file.open(QIODevice::ReadOnly));
        CsvReader reader(&file, 1000000);
        QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
        QCOMPARE(reader.sampleCount(), WINDOW);
        QCOMPARE(reader.firstSampleIndex(), triggers[std::size_t(n)] - 167);
        Trigger::SMarker marker;
        int bad = 0;
        QString why;
        QVERIFY2(Trigger::fromSectionTexts(reader.header().trigger, 833.0, marker, bad, why),
                 qPrintable(why));
        QCOMPARE(marker.triggerIndex, triggers[std::size_t(n)]);
        QCOMPARE(marker.settings.preTriggerPercent, 20);
        // Every sample, none lost or repeated: the number channel counts on.
        for (quint64 k = 0; k < WINDOW; ++k) {
            const quint64 report = SETTLING + reader.firstSampleIndex() + k;
            // The file holds the values to its decimals.
            if (CsvWriter::number(double(reader.gyroFrames()[3 * k + 1]), 3) !=
                CsvWriter::number(double(codeValue(Trigger::ESource::X, report)), 3))
                QFAIL(qPrintable(QStringLiteral("%1: sample %2 is not report %3")
                                     .arg(names[n])
                                     .arg(k)
                                     .arg(report)));
        }
    }
    QCOMPARE(f.modals.unexpected(), 0);
}

void tst_MainWindowTrigger::capturedFileRoundTrip()
{
    Fixture f;
    f.setTrigger(Trigger::ESource::RZ, 20, false);
    f.saveInto(m_dir->path());
    ScriptedStream stream(f.device, Trigger::ESource::RZ, {SETTLING + 1500});
    f.parts.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!f.parts.measuring(), 30000);
    const QString captured = QDir(m_dir->path()).filePath(QStringLiteral("capture_0001.csv"));
    QVERIFY(QFile::exists(captured));

    // Save CSV of the capture on screen writes what the capture's file holds.
    const QString saved = m_dir->filePath(QStringLiteral("saved.csv"));
    QVERIFY(f.window.writeCsv(saved));
    const auto afterDate = [](const QByteArray& bytes) {
        return bytes.mid(bytes.indexOf("Device SN"));
    };
    const QByteArray savedBytes = readAll(saved);
    QVERIFY(savedBytes.contains("\n\n[Trigger]\nSource;rZ\nSlope;Rising\nLevel [dps];100,000\n"
                                "Pre-trigger [%];20\nTrigger time [s];1,8007\n\n[Data]\n"));
    QCOMPARE(afterDate(savedBytes), afterDate(readAll(captured)));

    // A plain measurement file opens without a marker...
    f.parts.widget<QCheckBox>("chk_trigger")->setChecked(false);
    QVERIFY(f.parts.combo("cmb_display")->isEnabled());
    const QString plain = m_dir->filePath(QStringLiteral("plain.csv"));
    {
        QByteArray bytes = savedBytes;
        const qsizetype from = bytes.indexOf("[Trigger]");
        bytes.remove(from, bytes.indexOf("[Data]") - from);
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QVERIFY(f.window.openMeasurement(plain));
    QVERIFY(!f.parts.accel()->hasTriggerMarker());
    QVERIFY(f.parts.label("lb_trigger_readout")->text().isEmpty());
    QCOMPARE(f.parts.accel()->storedSampleCount(), WINDOW);

    // ... the capture with it, and saving it again gives the same bytes.
    QVERIFY(f.window.openMeasurement(captured));
    QVERIFY(f.parts.accel()->hasTriggerMarker());
    QCOMPARE(f.parts.accel()->triggerMarkerIndex(), quint64(1500));
    QVERIFY(f.parts.gyro()->triggerLevelShown());
    QVERIFY(f.parts.label("lb_trigger_readout")->text().contains(QStringLiteral("1,8007")));
    const QString again = m_dir->filePath(QStringLiteral("again.csv"));
    QVERIFY(f.window.writeCsv(again));
    QCOMPARE(readAll(again), readAll(captured));
    QCOMPARE(f.modals.unexpected(), 0);
}

void tst_MainWindowTrigger::failedCaptureFileIsNamedAndMeasuringGoesOn()
{
    Fixture f;
    f.setTrigger(Trigger::ESource::X, 20, true);
    const QString gone = m_dir->filePath(QStringLiteral("gone"));
    f.saveInto(gone);
    // One message per failure, or one updated while it is still open.
    f.modals.expectMessage();
    f.modals.expectMessage();
    ScriptedStream stream(f.device, Trigger::ESource::X, {SETTLING + 1000, SETTLING + 3000});
    f.parts.action("actionStart")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(f.parts.label("lb_trigger_count")->text(), QStringLiteral("2"),
                              30000);
    QVERIFY(f.parts.measuring());
    // After the device dialog of the connect.
    QTRY_VERIFY(f.modals.seen().size() > 1);
    for (const ModalAnswerer::SSeen& seen : f.modals.seen().mid(1)) {
        QCOMPARE(seen.className, QStringLiteral("QMessageBox"));
        QCOMPARE(seen.title, QStringLiteral("Trigger"));
        QVERIFY2(seen.text.contains(QDir::toNativeSeparators(gone)), qPrintable(seen.text));
        QVERIFY2(seen.text.contains(QStringLiteral("does not exist")), qPrintable(seen.text));
    }
    // The second capture is still shown and saved nowhere.
    QCOMPARE(f.parts.accel()->triggerMarkerIndex(), quint64(3000));
    QVERIFY(!QFileInfo::exists(gone));
    f.parts.action("actionStop")->trigger();
    QCOMPARE(f.modals.unexpected(), 0);
}

void tst_MainWindowTrigger::malformedTriggerSectionChangesNothing_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown source") << QByteArray("Source;X") << QByteArray("Source;W")
                                    << "Line 16: \"W\" is not a trigger source";
    QTest::newRow("level in dps for X")
        << QByteArray("Level [g]") << QByteArray("Level [dps]") << "Line 18: expected \"Level [g];";
    QTest::newRow("time outside the file")
        << QByteArray("Trigger time [s];0,0000") << QByteArray("Trigger time [s];9,0000")
        << "Line 20: the trigger time is not the time of a sample in the file";
}

void tst_MainWindowTrigger::malformedTriggerSectionChangesNothing()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, message);

    // A capture of ten samples, as a file the program wrote.
    Trigger::SSettings settings;
    settings.level = 1.0;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        CsvWriter writer(&buffer);
        CsvWriter::SHeader header;
        header.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
        header.serialNumber = QStringLiteral("T1");
        header.firmware = 0x0102;
        header.settings = {{"Acceleration range", QString(QChar(0xB1)) + "2 g"},
                           {"Gyro range", QString(QChar(0xB1)) + "245 dps"},
                           {"Accel filter", "LP1 only"},
                           {"Accel cutoff", "416.5 Hz"},
                           {"Accel low latency", "No"},
                           {"Gyro high pass", "Off"}};
        header.sampleRate = 833.0;
        header.trigger = Trigger::sectionTexts(settings, 0, 833.0);
        writer.writeHeader(header);
        const std::vector<float> frames(30, 0.25f);
        writer.writeFrames(frames, frames, 0, 833.0);
        QVERIFY(writer.flush());
    }
    const QString good = m_dir->filePath(QStringLiteral("good.csv"));
    const QString bad = m_dir->filePath(QStringLiteral("bad.csv"));
    for (const auto& [path, content] : {std::pair<QString, QByteArray>{good, bytes},
                                        {bad, QByteArray(bytes).replace(from, to)}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    QVERIFY(window.openMeasurement(good));
    QVERIFY(parts.accel()->hasTriggerMarker());
    modals.expectMessage();
    QVERIFY(!window.openMeasurement(bad));
    QTRY_COMPARE(modals.seen().size(), 1);
    QVERIFY2(modals.seen().front().text.contains(message), qPrintable(modals.seen().front().text));
    // The good file is still shown, with its marker.
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(10));
    QVERIFY(parts.accel()->hasTriggerMarker());
}

QTEST_MAIN(tst_MainWindowTrigger)
#include "tst_mainwindow_trigger.moc"

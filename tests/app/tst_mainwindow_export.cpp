// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Saving a measurement as CSV and the graph area as a JPEG picture: the file
// dialogs, the file format as a spreadsheet and pandas read it, and what a
// failed save leaves behind.
#include "mainwindow_testing.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>

#include <sys/mount.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace testing;

namespace {

const QString CSV_FILTER = QStringLiteral("CSV file (*.csv)");
const QString JPEG_FILTER = QStringLiteral("JPEG image (*.jpg *.jpeg)");
const QString CSV_DEFAULT = QStringLiteral("^skarvel_\\d{8}_\\d{6}\\.csv$");
const QString JPEG_DEFAULT = QStringLiteral("^skarvel_\\d{8}_\\d{6}\\.jpg$");
constexpr int HEADER_LINES = 16;
constexpr qint64 SMALL_DISK_BYTES = 16 * 1024;

// What the numbers of a data line look like, built independently of the
// window's own formatting.
QString referenceNumber(double value, int decimals)
{
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

QByteArray referenceDataLine(const CLiveGraph* accel, const CLiveGraph* gyro, quint64 i)
{
    QStringList fields{referenceNumber(accel->storedSampleTime(i), 4)};
    for (int series = 0; series < 3; ++series)
        fields << referenceNumber(double(accel->storedSample(series, i)), 5);
    for (int series = 0; series < 3; ++series)
        fields << referenceNumber(double(gyro->storedSample(series, i)), 3);
    return fields.join(QLatin1Char(';')).toUtf8();
}

ModalAnswerer::Answer cancelDialog()
{
    return [](QWidget* widget) {
        QVERIFY2(qobject_cast<QFileDialog*>(widget), "not a file dialog");
        static_cast<QDialog*>(widget)->reject();
    };
}

// The file dialog's "already exists, replace it?" question: Yes.
ModalAnswerer::Answer confirmReplace()
{
    return [](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        QVERIFY2(box, "not a message box");
        box->button(QMessageBox::Yes)->click();
    };
}

// A sensor that sends its reports as fast as they are read.
skarvelsim::SSimSensor addFastSensor(const std::wstring& serial, unsigned short firmware)
{
    skarvelsim::SSensorConfig config;
    config.serialNumber = serial;
    config.firmware = firmware;
    config.pacing = skarvelsim::EPacing::Burst;
    return skarvelsim::addSensor(config);
}

// Connects to `serial` and records a Single Shot of `seconds`.
void measureSingleShot(MainWindow& window, ModalAnswerer& modals, const QString& serial,
                       int seconds)
{
    WindowParts parts(window);
    parts.combo("cmb_display")->setCurrentIndex(CLiveGraph::SingleShot);
    parts.widget<QSpinBox>("spin_time")->setValue(seconds);
    connectTo(window, modals, serial);
    QVERIFY(parts.connected());
    parts.action("actionStart")->trigger();
    QVERIFY(parts.measuring());
    QTRY_VERIFY_WITH_TIMEOUT(!parts.measuring(), 10000);
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(seconds) * 833);
}

// Appends `frames` frames straight to both graphs; frame k holds values
// k, k + 1 and k + 2 of the cycle, so that each series goes through all of it.
void appendFrames(WindowParts& parts, quint64 frames, const std::vector<float>& values)
{
    std::vector<float> data;
    data.reserve(std::size_t(3 * frames));
    for (quint64 frame = 0; frame < frames; ++frame) {
        for (quint64 series = 0; series < 3; ++series)
            data.push_back(values[std::size_t((frame + series) % values.size())]);
    }
    parts.accel()->appendSamples(data);
    parts.gyro()->appendSamples(data);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The file's lines after the byte-order mark, without the final line end.
QList<QByteArray> csvLines(const QByteArray& content)
{
    QList<QByteArray> lines = content.mid(3).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// One row per export: its slot, how its dialog opens and its message's title.
void addExportRows()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<QString>("title");

    QTest::newRow("csv") << QByteArray("actionSaveCsv") << QStringLiteral("Save measurement")
                         << CSV_FILTER << CSV_DEFAULT << QStringLiteral("Save");
    QTest::newRow("screenshot") << QByteArray("actionScreenshot")
                                << QStringLiteral("Save screenshot") << JPEG_FILTER << JPEG_DEFAULT
                                << QStringLiteral("Screenshot");
}

// A small tmpfs that the test fills up; unmounted when it goes.
class CSmallDisk
{
public:
    explicit CSmallDisk(const QString& path) : m_path(QFile::encodeName(path))
    {
        m_mounted =
            ::mount("tmpfs", m_path.constData(), "tmpfs", 0,
                    QByteArray("size=" + QByteArray::number(SMALL_DISK_BYTES)).constData()) == 0;
        if (!m_mounted)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~CSmallDisk()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    CSmallDisk(const CSmallDisk&) = delete;
    CSmallDisk& operator=(const CSmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }

private:
    QByteArray m_path;
    bool m_mounted = false;
    QString m_error;
};

} // namespace

class tst_MainWindowExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void singleShotFile();
    void settingsLines_data();
    void settingsLines();
    void identityOfMeasuredSensor_data();
    void identityOfMeasuredSensor();
    void droppedHistoryStartsLater();
    void dataLinesMatchReference_data();
    void dataLinesMatchReference();
    void textFieldsQuoted_data();
    void textFieldsQuoted();
    void pandasReadsSameNumbers();
    void missingFolderShowsMessage_data();
    void missingFolderShowsMessage();
    void fullDiskKeepsExistingFile_data();
    void fullDiskKeepsExistingFile();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void screenshotIsJpegOfGraphArea_data();
    void screenshotIsJpegOfGraphArea();

private:
    QTemporaryDir* m_dir = nullptr;
    QString m_oldCurrent;
};

void tst_MainWindowExport::init()
{
    hidsim::reset();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    // The dialogs start in the working directory: a file written by mistake lands here.
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
}

void tst_MainWindowExport::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void tst_MainWindowExport::singleShotFile()
{
    addFastSensor(L"SKV-7", 0x001A);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    measureSingleShot(window, modals, QStringLiteral("SKV-7"), 5);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(parts.action("actionSaveCsv")->isEnabled());

    const QString path = m_dir->filePath(QStringLiteral("single shot.csv"));
    modals.expect(saveAs(path, QStringLiteral("Save measurement"), CSV_FILTER, CSV_DEFAULT));
    const QDateTime before = QDateTime::currentDateTime();
    parts.action("actionSaveCsv")->trigger();
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 2); // device and file dialogs, no message

    const QByteArray content = readAll(path);
    QVERIFY(content.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!content.contains('\r'));
    QVERIFY(content.endsWith('\n'));
    const QList<QByteArray> lines = csvLines(content);
    QCOMPARE(lines.size(), HEADER_LINES + 4165);

    const QList<QByteArray> header = lines.mid(0, HEADER_LINES);
    QCOMPARE(header[0], QByteArray("Skarvel Monitor;1.0.0"));
    QVERIFY2(header[1].startsWith("Date;"), header[1].constData());
    const QDateTime stamp = QDateTime::fromString(QString::fromUtf8(header[1].mid(5)),
                                                  QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(stamp.isValid(), header[1].constData());
    QVERIFY(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after);
    const QList<QByteArray> expected{"Device SN;SKV-7",
                                     "Firmware;001a",
                                     "",
                                     "[Settings]",
                                     "Acceleration range;\xC2\xB1"
                                     "2 g",
                                     "Gyro range;\xC2\xB1"
                                     "245 dps",
                                     "Accel filter;LP1 only",
                                     "Accel cutoff;416.5 Hz",
                                     "Accel low latency;No",
                                     "Gyro high pass;Off",
                                     "Sample rate [Hz];833",
                                     "",
                                     "[Data]",
                                     "Time [s];X [g];Y [g];Z [g];rX [dps];rY [dps];rZ [dps]"};
    QCOMPARE(header.mid(2), expected);

    QVERIFY(lines[HEADER_LINES].startsWith("0,0000;"));
    QVERIFY(lines[HEADER_LINES + 1].startsWith("0,0012;"));
    QVERIFY(lines.last().startsWith("4,9988;")); // 4164 / 833
    for (int i = 0; i < 4165; ++i) {
        const QByteArray& line = lines[HEADER_LINES + i];
        QCOMPARE(line.count(';'), 6);
        QCOMPARE(line, referenceDataLine(parts.accel(), parts.gyro(), quint64(i)));
    }
}

void tst_MainWindowExport::settingsLines_data()
{
    QTest::addColumn<int>("accelRange");
    QTest::addColumn<int>("gyroRange");
    QTest::addColumn<int>("accelFilter");
    QTest::addColumn<QString>("cutoff"); // empty: the one the filter comes with
    QTest::addColumn<bool>("lowLatency");
    QTest::addColumn<int>("gyroHighPass");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("defaults") << 0 << 1 << 0 << QString() << false << 0
                              << QStringList{QStringLiteral("Acceleration range;\u00b12 g"),
                                             QStringLiteral("Gyro range;\u00b1245 dps"),
                                             QStringLiteral("Accel filter;LP1 only"),
                                             QStringLiteral("Accel cutoff;416.5 Hz"),
                                             QStringLiteral("Accel low latency;No"),
                                             QStringLiteral("Gyro high pass;Off")};
    QTest::newRow("16 g, 2000 dps, LP1 + LP2 low latency, 1.04 Hz")
        << 3 << 4 << 1 << QString() << true << 4
        << QStringList{QStringLiteral("Acceleration range;\u00b116 g"),
                       QStringLiteral("Gyro range;\u00b12000 dps"),
                       QStringLiteral("Accel filter;LP1 + LP2"),
                       QStringLiteral("Accel cutoff;16.66 Hz"),
                       QStringLiteral("Accel low latency;Yes"),
                       QStringLiteral("Gyro high pass;1.04 Hz")};
    QTest::newRow("4 g, 125 dps, LP1 + HP 2.08 Hz")
        << 1 << 0 << 2 << QStringLiteral("2.08 Hz") << false << 2
        << QStringList{QStringLiteral("Acceleration range;\u00b14 g"),
                       QStringLiteral("Gyro range;\u00b1125 dps"),
                       QStringLiteral("Accel filter;LP1 + HP"),
                       QStringLiteral("Accel cutoff;2.08 Hz"),
                       QStringLiteral("Accel low latency;No"),
                       QStringLiteral("Gyro high pass;65 mHz")};
}

// The inputs as they are when saving, applied to the sensor in between.
void tst_MainWindowExport::settingsLines()
{
    QFETCH(int, accelRange);
    QFETCH(int, gyroRange);
    QFETCH(int, accelFilter);
    QFETCH(QString, cutoff);
    QFETCH(bool, lowLatency);
    QFETCH(int, gyroHighPass);
    QFETCH(QStringList, lines);

    addFastSensor(L"SKV-1", 0x0102);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-1"));
    QVERIFY(parts.connected());
    parts.combo("cmb_acc")->setCurrentIndex(accelRange);
    parts.combo("cmb_gyro")->setCurrentIndex(gyroRange);
    parts.combo("cmb_acc_filter")->setCurrentIndex(accelFilter);
    if (!cutoff.isEmpty())
        parts.combo("cmb_acc_cutoff")
            ->setCurrentIndex(parts.combo("cmb_acc_cutoff")->findText(cutoff));
    if (lowLatency)
        parts.widget<QCheckBox>("chk_acc_low_latency")->setChecked(true);
    parts.combo("cmb_gyro_hp")->setCurrentIndex(gyroHighPass);

    const QString path = m_dir->filePath(QStringLiteral("settings.csv"));
    QVERIFY(window.writeCsv(path));
    const QList<QByteArray> header = csvLines(readAll(path));
    QCOMPARE(header.size(), HEADER_LINES);
    QStringList settings;
    for (int i = 6; i < 12; ++i)
        settings << QString::fromUtf8(header[i]);
    QCOMPARE(settings, lines);
    QCOMPARE(header[5], QByteArray("[Settings]"));
    QCOMPARE(header[12], QByteArray("Sample rate [Hz];833"));
}

void tst_MainWindowExport::identityOfMeasuredSensor_data()
{
    QTest::addColumn<unsigned short>("firmware");
    QTest::addColumn<QByteArray>("firmwareText");

    QTest::newRow("0x0001") << (unsigned short)0x0001 << QByteArray("0001");
    QTest::newRow("0xBEEF") << (unsigned short)0xBEEF << QByteArray("beef");
}

// The sensor of the last measurement, even once another one is connected.
void tst_MainWindowExport::identityOfMeasuredSensor()
{
    QFETCH(unsigned short, firmware);
    QFETCH(QByteArray, firmwareText);
    addFastSensor(L"SKV-MEASURED", firmware);
    addFastSensor(L"SKV-OTHER", 0x0999);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    measureSingleShot(window, modals, QStringLiteral("SKV-MEASURED"), 1);
    if (QTest::currentTestFailed())
        return;
    parts.action("actionDisconnect")->trigger();
    QVERIFY(!parts.connected());

    const QString afterDisconnect = m_dir->filePath(QStringLiteral("disconnected.csv"));
    modals.expect(
        saveAs(afterDisconnect, QStringLiteral("Save measurement"), CSV_FILTER, CSV_DEFAULT));
    parts.action("actionSaveCsv")->trigger();
    QList<QByteArray> lines = csvLines(readAll(afterDisconnect));
    QCOMPARE(lines.size(), HEADER_LINES + 833);
    QCOMPARE(lines[2], QByteArray("Device SN;SKV-MEASURED"));
    QCOMPARE(lines[3], "Firmware;" + firmwareText);

    connectTo(window, modals, QStringLiteral("SKV-OTHER"));
    QVERIFY(parts.connected());
    const QString otherConnected = m_dir->filePath(QStringLiteral("other.csv"));
    modals.expect(
        saveAs(otherConnected, QStringLiteral("Save measurement"), CSV_FILTER, CSV_DEFAULT));
    parts.action("actionSaveCsv")->trigger();
    lines = csvLines(readAll(otherConnected));
    QCOMPARE(lines.size(), HEADER_LINES + 833);
    QCOMPARE(lines[2], QByteArray("Device SN;SKV-MEASURED"));
    QCOMPARE(lines[3], "Firmware;" + firmwareText);
    QCOMPARE(modals.unexpected(), 0);
}

// More than 300 s: the oldest samples are gone and the time column says so.
void tst_MainWindowExport::droppedHistoryStartsLater()
{
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    constexpr quint64 HISTORY = 249900;
    constexpr quint64 DROPPED = 1234;
    appendFrames(parts, HISTORY + DROPPED, {0.25f, -0.5f, 1.0f, 0.125f});
    QCOMPARE(parts.accel()->storedSampleCount(), HISTORY);

    const QString path = m_dir->filePath(QStringLiteral("long.csv"));
    modals.expect(saveAs(path, QStringLiteral("Save measurement"), CSV_FILTER, CSV_DEFAULT));
    fire(parts.action("actionSaveCsv"));
    QCOMPARE(modals.unexpected(), 0);

    const QList<QByteArray> lines = csvLines(readAll(path));
    QCOMPARE(quint64(lines.size()), HEADER_LINES + HISTORY);
    // 1234 / 833 = 1.48139..., 1235 / 833 = 1.48259..., 251133 / 833 = 301.48019...
    QVERIFY2(lines[HEADER_LINES].startsWith("1,4814;"), lines[HEADER_LINES].constData());
    QVERIFY2(lines[HEADER_LINES + 1].startsWith("1,4826;"), lines[HEADER_LINES + 1].constData());
    QVERIFY2(lines.last().startsWith("301,4802;"), lines.last().constData());
    // Frame 1234 is the oldest one kept; its values start at 1234 % 4 in the cycle.
    QCOMPARE(lines[HEADER_LINES], QByteArray("1,4814;1,00000;0,12500;0,25000;1,000;0,125;0,250"));
}

void tst_MainWindowExport::dataLinesMatchReference_data()
{
    QTest::addColumn<std::vector<float>>("values");

    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("zero and negative zero") << std::vector<float>{0.0f, -0.0f, 0.0f};
    QTest::newRow("tiny negatives") << std::vector<float>{-1e-9f, -0.0004f, -0.000004f, -1e-30f};
    // Values that lie exactly half-way between two written values.
    QTest::newRow("exact ties") << std::vector<float>{
        0.015625f, -0.015625f,    0.0625f,     -0.0625f,         0.5f,
        2.5f,      1.0009765625f, -7.8125e-3f, 0.0001220703125f, 231696.140625f};
    QTest::newRow("nines carrying over")
        << std::vector<float>{9.999995f, -9.999995f, 99.9995f, -999.9995f, 0.9999999f};
    QTest::newRow("full scale") << std::vector<float>{2.0f,    -2.0f,    15.99951f, -16.0f,
                                                      2000.0f, -2000.0f, 1999.939f, -245.0f};
    QTest::newRow("huge and not finite") << std::vector<float>{
        3.4e38f, -3.4e38f, 1e15f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};

    std::vector<float> counts; // every 97th count of every range, as the sensor delivers them
    for (double fullScale : {2.0, 4.0, 8.0, 16.0, 125.0, 245.0, 500.0, 1000.0, 2000.0}) {
        for (int count = -32768; count < 32768; count += 97)
            counts.push_back(float(count * fullScale / 32768.0));
    }
    QTest::newRow("sensor counts") << counts;
}

// Every data line holds exactly the characters that QString::number gives
// with a decimal comma.
void tst_MainWindowExport::dataLinesMatchReference()
{
    QFETCH(std::vector<float>, values);
    MainWindow window;
    WindowParts parts(window);
    const quint64 frames = values.size();
    appendFrames(parts, frames, values);

    const QString path = m_dir->filePath(QStringLiteral("reference.csv"));
    QVERIFY(window.writeCsv(path));
    const QList<QByteArray> lines = csvLines(readAll(path));
    QCOMPARE(quint64(lines.size()), HEADER_LINES + frames);
    for (quint64 i = 0; i < frames; ++i)
        QCOMPARE(lines[int(HEADER_LINES + i)], referenceDataLine(parts.accel(), parts.gyro(), i));
}

void tst_MainWindowExport::textFieldsQuoted_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("plain") << QStringLiteral("SKV-1") << QByteArray("Device SN;SKV-1");
    QTest::newRow("separator") << QStringLiteral("SKV;1") << QByteArray("Device SN;\"SKV;1\"");
    QTest::newRow("quote") << QStringLiteral("SKV\"1\"")
                           << QByteArray("Device SN;\"SKV\"\"1\"\"\"");
    QTest::newRow("line feed") << QStringLiteral("SKV\n1") << QByteArray("Device SN;\"SKV\n1\"");
    QTest::newRow("carriage return")
        << QStringLiteral("SKV\r1") << QByteArray("Device SN;\"SKV\r1\"");
}

// A serial number that would break the line structure stays one field, read
// back intact by an independent CSV reader.
void tst_MainWindowExport::textFieldsQuoted()
{
    QFETCH(QString, serial);
    QFETCH(QByteArray, line);
    addFastSensor(serial.toStdWString(), 0x0102);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    measureSingleShot(window, modals, serial, 1);
    if (QTest::currentTestFailed())
        return;

    const QString path = m_dir->filePath(QStringLiteral("serial.csv"));
    QVERIFY(window.writeCsv(path));
    const QByteArray content = readAll(path);
    QVERIFY(content.contains("\nDate;"));
    QVERIFY(content.contains('\n' + line + "\nFirmware;0102\n\n[Settings]\n"));

    QJsonObject read;
    const QString status =
        runPython(QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                 "    rows = list(csv.reader(f, delimiter=';'))\n"
                                 "json.dump({'rows': len(rows), 'device': rows[2],\n"
                                 "           'widths': sorted({len(r) for r in rows[16:]})},\n"
                                 "          sys.stdout)\n"),
                  {path}, &read);
    if (QTest::currentTestFailed())
        return;
    if (!status.isEmpty())
        QSKIP(qPrintable(status));
    QCOMPARE(read.value(QStringLiteral("rows")).toInt(), HEADER_LINES + 833);
    QCOMPARE(read.value(QStringLiteral("device")).toArray(),
             QJsonArray({QStringLiteral("Device SN"), serial}));
    QCOMPARE(read.value(QStringLiteral("widths")).toArray(), QJsonArray({7}));
}

// pandas, told only the separator, the decimal mark and where the table
// starts, reads the numbers the graphs hold.
void tst_MainWindowExport::pandasReadsSameNumbers()
{
    addFastSensor(L"SKV-P", 0x0102);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    measureSingleShot(window, modals, QStringLiteral("SKV-P"), 5);
    if (QTest::currentTestFailed())
        return;
    const QString path = m_dir->filePath(QStringLiteral("pandas.csv"));
    const QString numbersPath = m_dir->filePath(QStringLiteral("numbers.bin"));
    QVERIFY(window.writeCsv(path));

    QJsonObject read;
    const QString status = runPython(
        QStringLiteral(
            "import json, sys\n"
            "try:\n"
            "    import pandas as pd\n"
            "except ImportError:\n"
            "    sys.exit(3)\n"
            "frame = pd.read_csv(sys.argv[1], sep=';', decimal=',', skiprows=15,\n"
            "                    encoding='utf-8-sig')\n"
            "frame.to_numpy(dtype='float64').tofile(sys.argv[2])\n"
            "json.dump({'columns': list(frame.columns), 'rows': len(frame.index),\n"
            "           'dtypes': sorted({str(t) for t in frame.dtypes})}, sys.stdout)\n"),
        {path, numbersPath}, &read);
    if (QTest::currentTestFailed())
        return;
    if (!status.isEmpty())
        QSKIP(qPrintable(status));

    QCOMPARE(
        read.value(QStringLiteral("columns")).toArray(),
        QJsonArray({QStringLiteral("Time [s]"), QStringLiteral("X [g]"), QStringLiteral("Y [g]"),
                    QStringLiteral("Z [g]"), QStringLiteral("rX [dps]"), QStringLiteral("rY [dps]"),
                    QStringLiteral("rZ [dps]")}));
    QCOMPARE(read.value(QStringLiteral("rows")).toInt(), 4165);
    QCOMPARE(read.value(QStringLiteral("dtypes")).toArray(),
             QJsonArray({QStringLiteral("float64")}));

    const QByteArray numbers = readAll(numbersPath);
    QCOMPARE(numbers.size(), qsizetype(4165 * 7 * sizeof(double)));
    const auto* parsed = reinterpret_cast<const double*>(numbers.constData());
    const CLiveGraph* accel = parts.accel();
    const CLiveGraph* gyro = parts.gyro();
    for (quint64 i = 0; i < 4165; ++i) {
        for (int column = 0; column < 7; ++column) {
            const double held = column == 0  ? accel->storedSampleTime(i)
                                : column < 4 ? double(accel->storedSample(column - 1, i))
                                             : double(gyro->storedSample(column - 4, i));
            const int decimals = column == 0 ? 4 : column < 4 ? 5 : 3;
            const double value = parsed[i * 7 + quint64(column)];
            const double halfStep = 0.5 * std::pow(10.0, -decimals);
            if (!(std::fabs(value - held) <= halfStep * (1.0 + 1e-9)))
                QFAIL(qPrintable(QStringLiteral("row %1, column %2: read %3, graph holds %4")
                                     .arg(i)
                                     .arg(column)
                                     .arg(value, 0, 'g', 17)
                                     .arg(held, 0, 'g', 17)));
        }
    }
}

void tst_MainWindowExport::missingFolderShowsMessage_data()
{
    addExportRows();
}

void tst_MainWindowExport::missingFolderShowsMessage()
{
    QFETCH(QByteArray, action);
    QFETCH(QString, caption);
    QFETCH(QString, filter);
    QFETCH(QString, defaultName);
    QFETCH(QString, title);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    appendFrames(parts, 100, {0.5f, -0.25f});

    const QString path = m_dir->filePath(QStringLiteral("missing/export.file"));
    modals.expect(saveAs(path, caption, filter, defaultName));
    modals.expectMessage();
    fire(parts.action(action.constData()));

    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 2);
    QCOMPARE(modals.seen()[1].className, QStringLiteral("QMessageBox"));
    QCOMPARE(modals.seen()[1].title, title);
    QCOMPARE(modals.seen()[1].text, QStringLiteral("Saving %1 failed.").arg(path));
    QCOMPARE(entriesOf(m_dir->path()), QStringList());
}

void tst_MainWindowExport::fullDiskKeepsExistingFile_data()
{
    addExportRows();
}

// The disk fills up after the file was opened: the message shows, and the
// file that was there before is still there, unchanged and alone.
void tst_MainWindowExport::fullDiskKeepsExistingFile()
{
    QFETCH(QByteArray, action);
    QFETCH(QString, caption);
    QFETCH(QString, filter);
    QFETCH(QString, defaultName);
    QFETCH(QString, title);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    std::vector<float> values;
    for (int i = 0; i < 997; ++i)
        values.push_back(float(std::sin(i * 0.37) * 0.9));
    appendFrames(parts, 5000, values);

    // Either export needs more room than the disk has.
    QVERIFY(window.writeCsv(m_dir->filePath(QStringLiteral("size.csv"))));
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("size.csv"))).size() > SMALL_DISK_BYTES);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(parts.widget<QWidget>("centralwidget")->grab().save(&buffer, "JPG", 100));
    QVERIFY(jpeg.size() > SMALL_DISK_BYTES);

    const QString diskPath = m_dir->filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkdir(diskPath));
    const CSmallDisk disk(diskPath);
    if (!disk.mounted())
        QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs to fill up (%1); "
                                        "this case needs root")
                             .arg(disk.error())));
    const QString path = diskPath + QStringLiteral("/export.file");
    QByteArray before;
    for (int i = 0; i < 100; ++i)
        before += "the file that was there before\n";
    {
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        QCOMPARE(existing.write(before), qint64(before.size()));
    }

    modals.expect(saveAs(path, caption, filter, defaultName));
    modals.expect(confirmReplace());
    modals.expectMessage();
    fire(parts.action(action.constData()));

    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 3);
    QCOMPARE(modals.seen()[2].title, title);
    QCOMPARE(modals.seen()[2].text, QStringLiteral("Saving %1 failed.").arg(path));
    QCOMPARE(readAll(path), before);
    QCOMPARE(entriesOf(diskPath), QStringList{QStringLiteral("export.file")});
}

void tst_MainWindowExport::cancelWritesNothing_data()
{
    addExportRows();
}

void tst_MainWindowExport::cancelWritesNothing()
{
    QFETCH(QByteArray, action);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    appendFrames(parts, 100, {0.5f, -0.25f});

    modals.expect(cancelDialog());
    fire(parts.action(action.constData()));

    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 1); // no message
    QCOMPARE(entriesOf(m_dir->path()), QStringList());
}

void tst_MainWindowExport::screenshotIsJpegOfGraphArea_data()
{
    QTest::addColumn<bool>("settingsFloating");
    QTest::addColumn<bool>("statisticsHidden");
    QTest::addColumn<bool>("scaleHidden");

    QTest::newRow("docked") << false << false << false;
    QTest::newRow("settings floating") << true << false << false;
    QTest::newRow("statistics and scaling hidden") << false << true << true;
}

// Only the central widget, whatever the docks do, as JPEG at quality 100
// even under a name that says PNG.
void tst_MainWindowExport::screenshotIsJpegOfGraphArea()
{
    QFETCH(bool, settingsFloating);
    QFETCH(bool, statisticsHidden);
    QFETCH(bool, scaleHidden);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    appendFrames(parts, 3000, {0.5f, -0.25f, 0.75f, 0.1f});
    auto* settings = parts.widget<QDockWidget>("dock_settings");
    settings->setFloating(settingsFloating);
    parts.widget<QDockWidget>("dock_statistics")->setHidden(statisticsHidden);
    parts.widget<QDockWidget>("dock_scale")->setHidden(scaleHidden);
    if (settingsFloating)
        QTRY_COMPARE(settings->size(), settings->sizeHint());
    QTest::qWait(20);

    auto* central = parts.widget<QWidget>("centralwidget");
    const QString path = m_dir->filePath(QStringLiteral("screenshot.png"));
    modals.expect(saveAs(path, QStringLiteral("Save screenshot"), JPEG_FILTER, JPEG_DEFAULT));
    parts.action("actionScreenshot")->trigger();
    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(modals.seen().size(), 1);

    const QByteArray written = readAll(path);
    QVERIFY(written.startsWith("\xFF\xD8\xFF"));
    QImage image;
    QVERIFY(image.loadFromData(written, "JPG"));
    QCOMPARE(image.size(), central->size());
    // The same picture the central widget gives, encoded the same way.
    QByteArray expected;
    QBuffer buffer(&expected);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(central->grab().save(&buffer, "JPG", 100));
    QVERIFY(written == expected);
}

QTEST_MAIN(tst_MainWindowExport)
#include "tst_mainwindow_export.moc"

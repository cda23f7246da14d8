// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// skarvel-record as its users run it: the simulated program as a child
// process, its sensors chosen through SKARVEL_SIM_SENSORS, its files read
// back with the window's reader and set against the window's own recording
// of the same stream.
#include "mainwindow_testing.h"

#include "csvreader.h"
#include "deviceaccess.h"
#include "headlessrecorder.h"
#include "recordoptions.h"

#include <QBuffer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

using namespace testing;

namespace {

const QString RECORDER = QStringLiteral(SKARVEL_RECORD_SIM);
const QString SERIAL = QStringLiteral("SKV-000001");

struct SRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

QProcessEnvironment sensorsEnvironment(const QString& sensors)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SKARVEL_SIM_SENSORS"), sensors);
    return environment;
}

void prepare(QProcess& process, const QString& sensors)
{
    process.setProcessEnvironment(sensorsEnvironment(sensors));
    process.setProgram(RECORDER);
}

SRun finished(QProcess& process)
{
    SRun result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

SRun record(const QString& sensors, const QStringList& arguments)
{
    QProcess process;
    prepare(process, sensors);
    process.setArguments(arguments);
    process.start();
    return finished(process);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray afterDate(const QByteArray& bytes)
{
    return bytes.mid(bytes.indexOf("Device SN"));
}

// The file's samples as the window's reader finds them; -1 when it refuses the file.
qint64 samplesIn(const QByteArray& bytes, CsvWriter::SHeader* header = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(&buffer, 1);
    if (!reader.scan()) {
        qWarning("%s", qPrintable(reader.errorString()));
        return -1;
    }
    if (header)
        *header = reader.header();
    return qint64(reader.sampleCount());
}

} // namespace

class tst_SkarvelRecord : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void badOptions_data();
    void badOptions();
    void optionTexts_data();
    void optionTexts();
    void missingSensor_data();
    void missingSensor();
    void listsTheSensors_data();
    void listsTheSensors();
    void accessDeniedGivesGuidance();
    void equalsTheWindowsRecording_data();
    void equalsTheWindowsRecording();
    void durationEndsTheRecording_data();
    void durationEndsTheRecording();
    void stopSignalLeavesACompleteFile_data();
    void stopSignalLeavesACompleteFile();
    void unplugGivesStatus3();
    void writeFailureGivesStatus4_data();
    void writeFailureGivesStatus4();
    void statusLineOnlyOnATerminal();

private:
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_SkarvelRecord::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    hidsim::reset();
}

void tst_SkarvelRecord::cleanup()
{
    DeviceAccess::setCheck({});
    hidsim::reset();
}

void tst_SkarvelRecord::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // a pattern for stderr

    const QString hint = QStringLiteral("\nTry 'skarvel-record-sim --help' for more information");
    QTest::newRow("--accel-range 3")
        << QStringList{"--accel-range", "3", "f.csv"}
        << "--accel-range: '3' is not a choice; choose one of 2, 4, 8, 16\\." + hint;
    QTest::newRow("--gyro-range 250")
        << QStringList{"--gyro-range", "250", "f.csv"}
        << "'250' is not a choice; choose one of 125, 245, 500, 1000, 2000\\.";
    QTest::newRow("--accel-filter LP2")
        << QStringList{"--accel-filter", "LP2", "f.csv"}
        << "choose one of \"LP1 only\", \"LP1 \\+ LP2\", \"LP1 \\+ HP\"\\.";
    QTest::newRow("--accel-cutoff 416.5 Hz with LP1 + LP2")
        << QStringList{"--accel-filter", "LP1 + LP2", "--accel-cutoff", "416.5 Hz", "f.csv"}
        << "--accel-cutoff: '416.5 Hz' is not a choice; choose one of \"2.08 Hz\", \"8.33 Hz\", "
           "\"16.66 Hz\", \"92.56 Hz\"\\.";
    QTest::newRow("--gyro-high-pass 16 Hz")
        << QStringList{"--gyro-high-pass", "16 Hz", "f.csv"}
        << "choose one of \"Off\", \"16 mHz\", \"65 mHz\", \"260 mHz\", \"1.04 Hz\"\\.";
    QTest::newRow("--accel-low-latency with LP1 only")
        << QStringList{"--accel-low-latency", "f.csv"}
        << "--accel-low-latency: only with --accel-filter \"LP1 \\+ LP2\"\\.";
    QTest::newRow("--duration 0s")
        << QStringList{"--duration", "0s", "f.csv"} << "--duration: '0s' is no duration";
    QTest::newRow("--duration 10x")
        << QStringList{"--duration", "10x", "f.csv"} << "--duration: '10x' is no duration";
    QTest::newRow("--duration 1h30m")
        << QStringList{"--duration", "1h30m", "f.csv"} << "is no duration";
    QTest::newRow("no file") << QStringList{"--accel-range", "4"} << "No file to record to";
    QTest::newRow("two files") << QStringList{"f.csv", "g.csv"}
                               << "Unexpected argument 'g.csv': one file only\\." + hint;
    QTest::newRow("--bogus") << QStringList{"--bogus", "f.csv"} << "Unknown option 'bogus'\\.";
    QTest::newRow("--list f.csv") << QStringList{"--list", "f.csv"} << "--list takes no file";
    QTest::newRow("--serial without value") << QStringList{"--serial"} << "Missing value";
}

void tst_SkarvelRecord::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    QProcess process;
    prepare(process, SERIAL);
    process.setWorkingDirectory(m_dir->path());
    process.setArguments(arguments);
    process.start();
    const SRun run = finished(process);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QLatin1String("skarvel-record-sim: ")), qPrintable(run.err));
    QVERIFY2(QRegularExpression(message).match(run.err).hasMatch(), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    QVERIFY(QDir(m_dir->path()).isEmpty());
}

void tst_SkarvelRecord::optionTexts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("settings"); // the file's [Settings] values

    QTest::newRow("none") << QStringList()
                          << QStringList{"±2 g", "±245 dps", "LP1 only", "416.5 Hz", "No", "Off"};
    QTest::newRow("bare numbers, filter with its default cutoff")
        << QStringList{"--accel-range", "16", "--gyro-range", "2000", "--accel-filter", "LP1 + HP"}
        << QStringList{"±16 g", "±2000 dps", "LP1 + HP", "208.25 Hz", "No", "Off"};
    QTest::newRow("window texts") << QStringList{"--accel-range",    "±4 g",
                                                 "--gyro-range",     "±125 dps",
                                                 "--accel-filter",   "LP1 only",
                                                 "--accel-cutoff",   "208.25 Hz",
                                                 "--gyro-high-pass", "1.04 Hz"}
                                  << QStringList{"±4 g",      "±125 dps", "LP1 only",
                                                 "208.25 Hz", "No",       "1.04 Hz"};
    QTest::newRow("case and spaces aside, low latency")
        << QStringList{"--accel-range",  "8 G",    "--accel-filter",      "lp1+lp2",
                       "--accel-cutoff", "2.08hz", "--accel-low-latency", "--gyro-high-pass",
                       "65MHZ"}
        << QStringList{"±8 g", "±245 dps", "LP1 + LP2", "2.08 Hz", "Yes", "65 mHz"};
}

void tst_SkarvelRecord::optionTexts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, settings);

    const QString file = path("options.csv");
    const SRun run = record(SERIAL + QStringLiteral(":burst"),
                            arguments + QStringList{"--duration", "0.1s", file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    CsvWriter::SHeader header;
    QCOMPARE(samplesIn(readAll(file), &header), qint64(83));
    QStringList values;
    for (const auto& line : header.settings)
        values.append(line.second);
    QCOMPARE(values, settings);
}

void tst_SkarvelRecord::missingSensor_data()
{
    QTest::addColumn<QString>("sensors");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("none") << "" << QStringList() << 5 << "No Skarvel sensor is attached.\n";
    QTest::newRow("without interface 0")
        << "C3:noif0" << QStringList() << 5 << "No Skarvel sensor is attached.\n";
    QTest::newRow("another serial")
        << "A1" << QStringList{"--serial", "B2"} << 5
        << "No Skarvel sensor with the serial number B2 is attached; attached: A1.\n";
    QTest::newRow("two without --serial")
        << "A1,B2" << QStringList() << 2
        << "2 sensors are attached (A1, B2): choose one with --serial.\n";
}

void tst_SkarvelRecord::missingSensor()
{
    QFETCH(QString, sensors);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const QString file = path("missing.csv");
    const SRun run = record(sensors, arguments << file);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err, QStringLiteral("skarvel-record-sim: ") + message);
    QVERIFY(!QFile::exists(file));
}

void tst_SkarvelRecord::listsTheSensors_data()
{
    QTest::addColumn<QString>("sensors");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // a pattern
    QTest::addColumn<QString>("err");

    QTest::newRow("two") << "B2:fw=0200,A1" << 0
                         << "^A1\t0102\t/dev/\\S+\tok\nB2\t0200\t/dev/\\S+\tok\n$"
                         << "";
    QTest::newRow("only other interfaces")
        << "C3:noif0" << 5 << "^$"
        << "skarvel-record-sim: No Skarvel sensor is attached.\n";
}

void tst_SkarvelRecord::listsTheSensors()
{
    QFETCH(QString, sensors);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const SRun run = record(sensors, {QStringLiteral("--list")});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QRegularExpression(out).match(run.out).hasMatch(), qPrintable(run.out));
    QCOMPARE(run.err, err);
}

// Run in this process: the tests run as root, so only the replaced check can refuse.
void tst_SkarvelRecord::accessDeniedGivesGuidance()
{
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor();
    const QString node = QString::fromStdString(hidsim::pathOf(sensor.interface0));
    DeviceAccess::setCheck([](const std::string&) { return false; });

    const auto text = [](std::FILE* file) {
        std::rewind(file);
        QByteArray bytes(4096, '\0');
        bytes.resize(qsizetype(std::fread(bytes.data(), 1, std::size_t(bytes.size()), file)));
        std::fclose(file);
        return QString::fromLocal8Bit(bytes);
    };
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    QVERIFY(out && err);
    QCOMPARE(HeadlessRecorder::list(out, err), recordstatus::OK);
    QCOMPARE(text(out), QStringLiteral("%1\t0102\t%2\tno access\n").arg(SERIAL, node));
    const QString listed = text(err);
    QVERIFY2(listed.contains(QStringLiteral("may not read and write %1.").arg(node)) &&
                 listed.contains(QLatin1String("70-skarvel.rules")) &&
                 listed.contains(QLatin1String("sudo adduser USER plugdev")),
             qPrintable(listed));

    RecordOptions options;
    const QString file = path("denied.csv");
    QVERIFY(options.parse({QStringLiteral("skarvel-record"), file}));
    std::FILE* messages = std::tmpfile();
    QVERIFY(messages);
    HeadlessRecorder recorder(options, messages);
    QCOMPARE(recorder.exec(), recordstatus::NO_SENSOR);
    QCOMPARE(text(messages), listed);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(hidsim::openHandleCount(sensor.interface0), 0);
}

void tst_SkarvelRecord::equalsTheWindowsRecording_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("inputs"); // object name=text, set in this order

    QTest::newRow("as connected") << QStringList() << QStringList();
    QTest::newRow("ranges and filters")
        << QStringList{"--accel-range",
                       "8",
                       "--gyro-range",
                       "2000",
                       "--accel-filter",
                       "LP1 + LP2",
                       "--accel-cutoff",
                       "2.08 Hz",
                       "--accel-low-latency",
                       "--gyro-high-pass",
                       "65 mHz"}
        << QStringList{
               "cmb_acc=±8 g",           "cmb_gyro=±2000 dps",      "cmb_acc_filter=LP1 + LP2",
               "cmb_acc_cutoff=2.08 Hz", "chk_acc_low_latency=Yes", "cmb_gyro_hp=65 mHz"};
}

// The same N reports, sent as fast as they are read and then no more, as the
// window records them and as the recorder does: byte for byte the same file
// apart from the date, every sample after the settling ones in it.
void tst_SkarvelRecord::equalsTheWindowsRecording()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, inputs);
    constexpr quint64 RECORDED = 3000;
    const quint64 sent = RECORDED + MeasurementSession::SETTLING_SAMPLES;

#ifdef TESTING_UNDER_TSAN
    // The sanitizer refuses the window's threads in a process that has forked.
    QSKIP("no window after a child process under ThreadSanitizer");
#endif
    const QString recorded = path("recorder.csv");
    QProcess process;
    prepare(process, QStringLiteral("%1:burst=%2").arg(SERIAL).arg(sent));
    process.setArguments(arguments << recorded);
    process.start();
    const SRun run = finished(process);

    skarvelsim::SSensorConfig config;
    config.serialNumber = SERIAL.toStdWString();
    config.pacing = skarvelsim::EPacing::Burst;
    config.burstCount = sent;
    skarvelsim::addSensor(config);
    const QString windowFile = path("window.csv");
    {
        MainWindow window;
        WindowParts parts(window);
        ModalAnswerer modals;
        connectTo(window, modals, SERIAL);
        QTRY_VERIFY(parts.connected());
        for (const QString& input : inputs) {
            const QString name = input.section(QLatin1Char('='), 0, 0);
            const QString text = input.section(QLatin1Char('='), 1);
            if (auto* box = window.findChild<QCheckBox*>(name)) {
                box->setChecked(text == QLatin1String("Yes"));
            } else {
                QComboBox* combo = parts.combo(qPrintable(name));
                QVERIFY2(combo->findText(text) >= 0, qPrintable(input));
                combo->setCurrentIndex(combo->findText(text));
            }
        }
        QVERIFY(window.startRecording(windowFile));
        parts.action("actionStart")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(parts.accel()->totalSampleCount(), RECORDED, 60000);
        if (parts.measuring())
            parts.action("actionStop")->trigger();
        QVERIFY(!parts.action("actionRecord")->isChecked());
    }

    // The burst's end is a sensor gone silent.
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.err,
             QStringLiteral("skarvel-record-sim: The sensor %1 went silent (unplugged?): no sample "
                            "for a second. %2 samples were recorded to %3.\n")
                 .arg(SERIAL)
                 .arg(RECORDED)
                 .arg(recorded));
    const QByteArray bytes = readAll(recorded);
    QCOMPARE(samplesIn(bytes), qint64(RECORDED));
    const QByteArray windowBytes = readAll(windowFile);
    QCOMPARE(samplesIn(windowBytes), qint64(RECORDED));
    QVERIFY(bytes.startsWith("\xEF\xBB\xBFSkarvel Monitor;"));
    QVERIFY(bytes.contains("\nDate;"));
    QCOMPARE(afterDate(bytes), afterDate(windowBytes));
    QCOMPARE(bytes.left(bytes.indexOf("\nDate;")),
             windowBytes.left(windowBytes.indexOf("\nDate;")));
}

void tst_SkarvelRecord::durationEndsTheRecording_data()
{
    QTest::addColumn<QString>("duration");
    QTest::addColumn<bool>("toStdout");
    QTest::addColumn<qint64>("samples");

    QTest::newRow("1.5s to a file") << "1.5s" << false << qint64(1250);
    QTest::newRow("0.05m to standard output") << "0.05m" << true << qint64(2499);
    QTest::newRow("2 (seconds) to a file") << "2" << false << qint64(1666);
}

void tst_SkarvelRecord::durationEndsTheRecording()
{
    QFETCH(QString, duration);
    QFETCH(bool, toStdout);
    QFETCH(qint64, samples);

    const QString file = path("duration.csv");
    const SRun run = record(
        SERIAL + QStringLiteral(":burst"),
        {QStringLiteral("--duration"), duration, toStdout ? RecordOptions::STANDARD_OUTPUT : file});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    QCOMPARE(samplesIn(toStdout ? run.out.toUtf8() : readAll(file)), samples);
    QCOMPARE(toStdout, run.out.size() > 0);
}

void tst_SkarvelRecord::stopSignalLeavesACompleteFile_data()
{
    QTest::addColumn<int>("signalNumber");

    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void tst_SkarvelRecord::stopSignalLeavesACompleteFile()
{
    QFETCH(int, signalNumber);

    const QString file = path("signal.csv");
    QProcess process;
    prepare(process, SERIAL);
    process.setArguments({file});
    process.start();
    QVERIFY(process.waitForStarted());
    // Samples are in the file: the recording runs.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > 4000, 60000);
    QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
    const SRun run = finished(process);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    const QByteArray bytes = readAll(file);
    QVERIFY(bytes.endsWith('\n'));
    QVERIFY(samplesIn(bytes) > 20);
}

void tst_SkarvelRecord::unplugGivesStatus3()
{
    const QString file = path("unplug.csv");
    const SRun run = record(SERIAL + QStringLiteral(":unplug=1"), {file});
    QCOMPARE(run.exitCode, 3);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^skarvel-record-sim: The sensor SKV-000001 went silent "
                                          "\\(unplugged\\?\\): no sample for a second\\. (\\d+) "
                                          "samples were recorded to (.*)\\.\n$"))
            .match(run.err);
    QVERIFY2(match.hasMatch(), qPrintable(run.err));
    QCOMPARE(match.captured(2), file);
    const QByteArray bytes = readAll(file);
    QVERIFY(bytes.endsWith('\n'));
    // Every sample the recorder took is in the file.
    QCOMPARE(samplesIn(bytes), match.captured(1).toLongLong());
    QVERIFY(samplesIn(bytes) > 0);
}

void tst_SkarvelRecord::writeFailureGivesStatus4_data()
{
    QTest::addColumn<bool>("toStdout");
    QTest::addColumn<QString>("message");

    QTest::newRow("file size limit") << false << "File too large";
    QTest::newRow("standard output on a full device") << true << "No space left on device";
}

void tst_SkarvelRecord::writeFailureGivesStatus4()
{
    QFETCH(bool, toStdout);
    QFETCH(QString, message);
    constexpr rlim_t FILE_LIMIT = 60000;

    const QString file = path("full.csv");
    QProcess process;
    prepare(process, SERIAL + QStringLiteral(":burst"));
    process.setArguments({toStdout ? RecordOptions::STANDARD_OUTPUT : file});
    if (toStdout)
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    // A file size limit, which the child inherits, fails the write part-way
    // as a full disk does.
    rlimit unlimited{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    rlimit limited = unlimited;
    limited.rlim_cur = FILE_LIMIT;
    if (!toStdout)
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    process.start();
    const bool started = process.waitForStarted();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    QVERIFY(started);
    const SRun run = finished(process);
    QCOMPARE(run.exitCode, 4);
    const QString name = toStdout ? QStringLiteral("standard output") : file;
    QCOMPARE(
        run.err,
        QStringLiteral("skarvel-record-sim: Recording to %1 failed:\n%2\n").arg(name, message));
    if (!toStdout) {
        const QByteArray bytes = readAll(file);
        QVERIFY(bytes.size() <= qsizetype(FILE_LIMIT) && bytes.size() > qsizetype(FILE_LIMIT) / 2);
        QVERIFY(bytes.endsWith('\n'));
        QVERIFY(samplesIn(bytes) > 0);
    }
}

// Once a second on a terminal, with the reports the host buffer lost while
// the recorder was stopped; nothing when stderr is a pipe.
void tst_SkarvelRecord::statusLineOnlyOnATerminal()
{
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0);
    const auto closeTerminal = qScopeGuard([terminal] { ::close(terminal); });
    QVERIFY(::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    QCOMPARE(::fcntl(terminal, F_SETFL, O_NONBLOCK), 0);
    QString shown;
    const auto readTerminal = [&] {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(terminal, buffer, sizeof buffer)) > 0)
            shown += QString::fromUtf8(buffer, int(n));
    };

    const QString file = path("status.csv");
    QProcess process;
    prepare(process, SERIAL);
    process.setArguments({QStringLiteral("--duration"), QStringLiteral("4s"), file});
    process.setStandardErrorFile(QString::fromLocal8Bit(::ptsname(terminal)));
    process.start();
    QVERIFY(process.waitForStarted());
    const QRegularExpression status(QStringLiteral(
        "\r0:00:0\\d  (\\d+) samples  \\d+(\\.\\d)? (bytes|kB|MB)( {2}(\\d+) lost in the host "
        "buffer)?\x1b\\[K"));
    QTRY_VERIFY_WITH_TIMEOUT(
        (readTerminal(), status.match(shown).hasMatch() && QFileInfo(file).size() > 4000), 60000);
    // Stopped for longer than the host buffer lasts: reports are lost.
    ::kill(pid_t(process.processId()), SIGSTOP);
    QTest::qWait(250);
    ::kill(pid_t(process.processId()), SIGCONT);
    while (process.state() != QProcess::NotRunning) {
        process.waitForFinished(50);
        readTerminal();
    }
    readTerminal();
    QCOMPARE(process.exitCode(), 0);

    QList<QRegularExpressionMatch> lines;
    for (auto it = status.globalMatch(shown); it.hasNext();)
        lines.append(it.next());
    // The first at the start, then every second, the last at the end.
    QVERIFY2(lines.size() >= 4, qPrintable(shown));
    QCOMPARE(lines.constLast().captured(1), QStringLiteral("3332"));
    QVERIFY2(lines.constLast().captured(5).toInt() > 0, qPrintable(shown));
    QVERIFY(shown.endsWith(QLatin1String("\x1b[K\r\n")));

    const SRun quiet = record(SERIAL, {QStringLiteral("--duration"), QStringLiteral("0.5s"), file});
    QCOMPARE(quiet.exitCode, 0);
    QCOMPARE(quiet.err, QString());
}

QTEST_MAIN(tst_SkarvelRecord)
#include "tst_skarvelrecord.moc"

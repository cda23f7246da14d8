// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Recording to files: order and completeness, numbered follow-up files, and
// what a full disk, a slow disk or a killed process leave behind.
#include "csvreader.h"
#include "csvrecorder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const CHILD_ENV = "SKARVEL_RECORDER_CHILD";
constexpr int SAMPLES_PER_TICK = 42; // 50 ms at 833 samples/s

QByteArray line(quint64 i)
{
    return QByteArray::number(i) + ";0,00100;-0,00200;1,00000;0,175;-0,350;0,000\n";
}

QByteArray lines(quint64 from, quint64 count)
{
    QByteArray bytes;
    for (quint64 i = from; i < from + count; ++i)
        bytes += line(i);
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A measurement's header as a recording starts with it.
CsvWriter::SHeader measurementHeader()
{
    CsvWriter::SHeader header;
    header.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
    header.serialNumber = QStringLiteral("SKV-000001");
    header.firmware = 0x0102;
    header.settings = {{QStringLiteral("Acceleration range"), QStringLiteral("2 g")}};
    header.sampleRate = 833.0;
    return header;
}

// Frames [from, from + count) of a made-up measurement.
void frames(quint64 from, quint64 count, std::vector<float>& accel, std::vector<float>& gyro)
{
    accel.clear();
    gyro.clear();
    for (quint64 i = from; i < from + count; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            accel.push_back(float(int(i % 1000) - 500 + axis) * 0.001f);
            gyro.push_back(float(int(i % 997) - 400 - axis) * 0.25f);
        }
    }
}

// A file of the measurement's first `count` samples, as written at one go.
QByteArray measurementFile(quint64 count)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CsvWriter csv(&buffer);
    csv.writeHeader(measurementHeader());
    std::vector<float> accel;
    std::vector<float> gyro;
    frames(0, count, accel, gyro);
    csv.writeFrames(accel, gyro, 0, 833.0);
    csv.flush();
    return bytes;
}

// Records the measurement in ticks in real time until killed, telling the
// parent after each tick how many samples it has handed over.
int recordUntilKilled(const QString& path)
{
    CsvRecorder recorder;
    if (!recorder.start(path, measurementHeader()))
        return 1;
    QFile out;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    std::vector<float> accel;
    std::vector<float> gyro;
    for (quint64 i = 0;; i += SAMPLES_PER_TICK) {
        frames(i, SAMPLES_PER_TICK, accel, gyro);
        if (!recorder.appendFrames(accel, gyro, i, 833.0))
            return 1;
        out.write(QByteArray::number(i + SAMPLES_PER_TICK) + '\n');
        QThread::msleep(50);
    }
}

} // namespace

class TestCsvRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void numberedFileName_data();
    void numberedFileName();
    void writesEveryLineInOrder();
    void flushesWhileRecording();
    void continuesInNumberedFiles();
    void framesFollowTheirHeaders();
    void failsToStart();
    void writeFailureLeavesWholeLines();
    void slowDiskEndsTheRecording();
    void killLeavesAPrefix();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCsvRecorder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestCsvRecorder::numberedFileName_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("third");
    QTest::newRow("csv") << "/a/skarvel.csv"
                         << "/a/skarvel_3.csv";
    QTest::newRow("no suffix") << "/a.b/skarvel"
                               << "/a.b/skarvel_3";
    QTest::newRow("two dots") << "/a/run.1.txt"
                              << "/a/run.1_3.txt";
}

void TestCsvRecorder::numberedFileName()
{
    QFETCH(QString, first);
    QFETCH(QString, third);
    QCOMPARE(CsvRecorder::numberedFileName(first, 3), third);
}

void TestCsvRecorder::writesEveryLineInOrder()
{
    // Six minutes at 833 samples/s in ticks of 50 ms, handed over as fast as
    // it goes; the queue holds them all should the disk lag behind.
    constexpr quint64 SAMPLES = 300000;
    const QString path = m_dir->filePath(QStringLiteral("r.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.start(path, "head\n"));
    for (quint64 i = 0; i < SAMPLES; i += SAMPLES_PER_TICK) {
        const quint64 n = std::min<quint64>(SAMPLES_PER_TICK, SAMPLES - i);
        QVERIFY(recorder.append(lines(i, n), n));
    }
    QCOMPARE(recorder.recordedSamples(), SAMPLES);
    QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readLine(), QByteArray("head\n"));
    for (quint64 i = 0; i < SAMPLES; ++i) {
        const QByteArray text = file.readLine();
        if (text != line(i))
            QCOMPARE(text, line(i)); // compared only on a mismatch: many lines
    }
    QVERIFY(file.atEnd());
}

void TestCsvRecorder::flushesWhileRecording()
{
    const QString path = m_dir->filePath(QStringLiteral("r.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.start(path, "head\n"));
    QVERIFY(recorder.append(lines(0, 10), 10));
    // Without a stop: the writer puts it out on its own.
    QTRY_COMPARE(readAll(path), "head\n" + lines(0, 10));
    QVERIFY(recorder.stop());
}

void TestCsvRecorder::continuesInNumberedFiles()
{
    const QString first = m_dir->filePath(QStringLiteral("r.csv"));
    const QString taken = m_dir->filePath(QStringLiteral("r_2.csv"));
    {
        QFile file(taken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("an earlier recording\n");
    }
    CsvRecorder recorder;
    QVERIFY(recorder.start(first, "h1\n"));
    QVERIFY(recorder.append(lines(0, 5), 5));
    recorder.nextFile("h2\n");
    QVERIFY(recorder.append(lines(5, 7), 7));
    recorder.nextFile("h3\n");
    recorder.nextFile("h4\n"); // a file with a header only
    QVERIFY(recorder.append(lines(12, 3), 3));
    QVERIFY(recorder.stop());

    QCOMPARE(readAll(first), "h1\n" + lines(0, 5));
    QCOMPARE(readAll(taken), QByteArray("an earlier recording\n"));
    QCOMPARE(readAll(m_dir->filePath(QStringLiteral("r_3.csv"))), "h2\n" + lines(5, 7));
    QCOMPARE(readAll(m_dir->filePath(QStringLiteral("r_4.csv"))), QByteArray("h3\n"));
    QCOMPARE(readAll(m_dir->filePath(QStringLiteral("r_5.csv"))), "h4\n" + lines(12, 3));
    QCOMPARE(recorder.fileName(), m_dir->filePath(QStringLiteral("r_5.csv")));
}

void TestCsvRecorder::framesFollowTheirHeaders()
{
    const auto header = [](const QString& range) {
        CsvWriter::SHeader h;
        h.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
        h.serialNumber = QStringLiteral("SKV-000001");
        h.firmware = 0x0102;
        h.settings = {{QStringLiteral("Acceleration range"), range}};
        h.sampleRate = 833.0;
        return h;
    };
    const auto frames = [](quint64 count, float base) {
        std::vector<float> values;
        for (quint64 i = 0; i < 3 * count; ++i)
            values.push_back(base + float(i) * 0.01f);
        return values;
    };
    const QString first = m_dir->filePath(QStringLiteral("f.csv"));
    CsvRecorder recorder;
    QVERIFY(recorder.start(first, header(QStringLiteral("2 g"))));
    recorder.setHeader(header(QStringLiteral("4 g"))); // before any sample: replaces it
    QVERIFY(recorder.appendFrames(frames(100, 0.0f), frames(100, 1.0f), 4321, 833.0));
    recorder.setHeader(header(QStringLiteral("4 g"))); // the same settings go on
    QVERIFY(recorder.appendFrames(frames(50, 2.0f), frames(50, 3.0f), 4421, 833.0));
    recorder.setHeader(header(QStringLiteral("8 g")));
    QVERIFY(recorder.appendFrames(frames(20, 4.0f), frames(20, 5.0f), 4471, 833.0));
    QVERIFY(recorder.appendFrames(frames(10, 6.0f), frames(10, 7.0f), 0, 833.0)); // cleared
    recorder.setHeader(header(QStringLiteral("16 g")));
    QVERIFY(recorder.stop());

    struct SExpected
    {
        QString name;
        QString range;
        quint64 firstIndex;
        quint64 samples;
        float firstAccel;
    };
    const SExpected files[] = {{QStringLiteral("f.csv"), QStringLiteral("4 g"), 4321, 150, 0.0f},
                               {QStringLiteral("f_2.csv"), QStringLiteral("8 g"), 4471, 20, 4.0f},
                               {QStringLiteral("f_3.csv"), QStringLiteral("8 g"), 0, 10, 6.0f},
                               {QStringLiteral("f_4.csv"), QStringLiteral("16 g"), 0, 0, 0.0f}};
    for (const SExpected& expected : files) {
        QFile file(m_dir->filePath(expected.name));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(expected.name));
        CsvReader reader(&file, 1000);
        QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
        QCOMPARE(reader.header().settings.value(0).second, expected.range);
        QCOMPARE(reader.sampleCount(), expected.samples);
        if (expected.samples > 0) {
            QCOMPARE(reader.firstSampleIndex(), expected.firstIndex);
            QCOMPARE(reader.accelFrames().front(), expected.firstAccel);
        }
    }
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("f_5.csv"))));
}

void TestCsvRecorder::failsToStart()
{
    const QString path = m_dir->filePath(QStringLiteral("missing/r.csv"));
    CsvRecorder recorder;
    QVERIFY(!recorder.start(path, "head\n"));
    QVERIFY(!recorder.isRecording());
    QVERIFY(recorder.hasFailed());
    QVERIFY2(recorder.errorString().contains(path), qPrintable(recorder.errorString()));
    QVERIFY(!recorder.append(line(0), 1));
}

void TestCsvRecorder::writeFailureLeavesWholeLines()
{
    // A file size limit fails the write part-way, like a full disk does.
    constexpr rlim_t LIMIT = 20000;
    const QString path = m_dir->filePath(QStringLiteral("r.csv"));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = LIMIT;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    CsvRecorder recorder;
    bool started = recorder.start(path, "head\n");
    quint64 handed = 0;
    while (started && recorder.append(lines(handed, SAMPLES_PER_TICK), SAMPLES_PER_TICK) &&
           handed < 100000) {
        handed += SAMPLES_PER_TICK;
        QThread::msleep(1);
    }
    const bool stopped = recorder.stop();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(started);
    QVERIFY(!stopped);
    QVERIFY(recorder.hasFailed());
    QVERIFY2(recorder.errorString().contains(path), qPrintable(recorder.errorString()));
    QVERIFY2(recorder.errorString().contains(QStringLiteral("large")),
             qPrintable(recorder.errorString()));
    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.size() <= qsizetype(LIMIT));
    QVERIFY(bytes.size() > qsizetype(LIMIT) - line(handed).size());
    QVERIFY(bytes.endsWith('\n'));
    QCOMPARE(bytes, ("head\n" + lines(0, handed)).left(bytes.size()));
}

void TestCsvRecorder::slowDiskEndsTheRecording()
{
    // A pipe nobody reads stands for a disk that has stopped keeping up.
    const QByteArray path = m_dir->filePath(QStringLiteral("fifo")).toLocal8Bit();
    QCOMPARE(mkfifo(path.constData(), 0600), 0);
    const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);

    CsvRecorder recorder;
    // Should a check fail, closing the pipe releases the writer with an error.
    std::signal(SIGPIPE, SIG_IGN);
    bool drained = false;
    auto closePipe = qScopeGuard([&] {
        if (!drained)
            ::close(reader);
    });
    QVERIFY(recorder.start(QString::fromLocal8Bit(path), "head\n"));
    const QByteArray tick = lines(0, SAMPLES_PER_TICK);
    qint64 handed = 0;
    while (recorder.append(tick, SAMPLES_PER_TICK))
        handed += tick.size();
    // The queue, plus what the writer took out before the pipe filled up.
    QVERIFY(handed > CsvRecorder::QUEUE_LIMIT_BYTES - 2 * 1024 * 1024);
    QVERIFY(handed <= 2 * CsvRecorder::QUEUE_LIMIT_BYTES + 1024 * 1024);
    QVERIFY2(recorder.errorString().contains(QStringLiteral("does not keep up")),
             qPrintable(recorder.errorString()));

    // What was accepted is still written out once the reader drains the pipe.
    qint64 received = 0;
    std::thread drain([&] {
        ::fcntl(reader, F_SETFL, 0);
        char buffer[65536];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            received += n;
    });
    QVERIFY(!recorder.stop());
    drain.join();
    drained = true;
    ::close(reader);
    QCOMPARE(received, qint64(5) + handed);
}

void TestCsvRecorder::killLeavesAPrefix()
{
    const auto headerLines = qsizetype(measurementFile(0).count('\n'));
    const auto samplesIn = [headerLines](const QByteArray& bytes) {
        return quint64(std::max<qsizetype>(bytes.count('\n') - headerLines, 0));
    };
    QRandomGenerator random(QRandomGenerator::global()->generate());
    for (int round = 0; round < 3; ++round) {
        const QString path = m_dir->filePath(QStringLiteral("k%1.csv").arg(round));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(CHILD_ENV), path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray reports;
        const auto handed = [&] {
            reports += child.readAllStandardOutput();
            return reports.trimmed().split('\n').last().toULongLong();
        };

        // A second of samples handed over and written: from then on the kill
        // may come at any point of the writer's work.
        QTRY_VERIFY_WITH_TIMEOUT(handed() >= 833, 60000);
        const quint64 handedBefore = handed();
        QTRY_VERIFY_WITH_TIMEOUT(samplesIn(readAll(path)) >= handedBefore, 60000);
        QThread::msleep(random.bounded(300));
        child.kill();
        QVERIFY(child.waitForFinished());

        // The child's last report before the kill: handed over by then, and
        // at most the tick after it besides.
        const quint64 handedAtKill = handed();
        const QByteArray bytes = readAll(path);
        const QByteArray expected = measurementFile(handedAtKill + SAMPLES_PER_TICK);
        QCOMPARE(bytes, expected.left(bytes.size()));
        // A write cut short by the kill may leave part of a line at the end;
        // the reader leaves it out.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        CsvReader reader(&file, 1000000);
        QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
        QCOMPARE(reader.sampleCount(), samplesIn(bytes));
        QCOMPARE(reader.firstSampleIndex(), quint64(0));
        // What was in the file before the kill stays.
        QVERIFY2(
            reader.sampleCount() >= handedBefore,
            qPrintable(
                QStringLiteral("%1 of %2 samples").arg(reader.sampleCount()).arg(handedBefore)));
    }
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(CHILD_ENV))
        return recordUntilKilled(qEnvironmentVariable(CHILD_ENV));
    QCoreApplication app(argc, argv);
    TestCsvRecorder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_csvrecorder.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What a recording leaves when the disk fills or the program is killed, with
// the window and the simulated sensor in a child process: this executable
// started again with SKARVEL_RECORD_CHILD naming what to do.
#include "mainwindow_testing.h"

#include "csvreader.h"
#include "csvwriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace testing;

namespace {

const char* const CHILD_ENV = "SKARVEL_RECORD_CHILD";
const QString SERIAL = QStringLiteral("SKV-000001");
constexpr rlim_t FILE_LIMIT = 60000; // about a thousand samples after the header

QByteArray afterDate(const QByteArray& bytes)
{
    return bytes.mid(bytes.indexOf("Device SN"));
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The whole sample lines of a recording's file so far.
quint64 samplesIn(const QByteArray& bytes)
{
    const QByteArray titles = CsvWriter::columnTitles().join(CsvWriter::SEPARATOR).toUtf8();
    const qsizetype at = bytes.indexOf(titles);
    const qsizetype data = at < 0 ? -1 : bytes.indexOf('\n', at);
    return data < 0 ? 0 : quint64(QByteArrayView(bytes).sliced(data + 1).count('\n'));
}

// Child: records in real time until a file size limit fails the write, then
// saves the measurement to `saved` and prints what the window showed.
int recordIntoLimit(const QString& path, const QString& saved)
{
    skarvelsim::addSensor();
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    modals.expect(chooseDevice(SERIAL));
    modals.expect([](QWidget* box) { static_cast<QDialog*>(box)->accept(); });
    parts.action("actionConnect")->trigger();

    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = unlimited;
    limited.rlim_cur = FILE_LIMIT;
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0 || !window.startRecording(path))
        return 2;
    parts.action("actionStart")->trigger();
    const bool ended =
        QTest::qWaitFor([&] { return !parts.action("actionRecord")->isChecked(); }, 60000);
    const quint64 atEnd = parts.accel()->totalSampleCount();
    const bool wentOn =
        QTest::qWaitFor([&] { return parts.accel()->totalSampleCount() > atEnd + 200; }, 10000);
    const bool measuring = parts.measuring();
    setrlimit(RLIMIT_FSIZE, &unlimited);
    parts.action("actionStop")->trigger();
    QJsonObject result{{QStringLiteral("ended"), ended},
                       {QStringLiteral("wentOn"), wentOn},
                       {QStringLiteral("measuring"), measuring},
                       {QStringLiteral("saved"), window.writeCsv(saved)}};
    if (modals.seen().size() > 1) {
        result.insert(QStringLiteral("title"), modals.seen().at(1).title);
        result.insert(QStringLiteral("text"), modals.seen().at(1).text);
    }
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

// Child: records until killed, printing now and then the samples the history
// has received and the newest one's fields as the file writes them.
int recordUntilKilled(const QString& path, bool burst)
{
    skarvelsim::SSensorConfig config;
    if (burst)
        config.pacing = skarvelsim::EPacing::Burst;
    skarvelsim::addSensor(config);
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, SERIAL);
    if (!window.startRecording(path))
        return 2;
    parts.action("actionStart")->trigger();
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const quint64 total = parts.accel()->totalSampleCount();
        QByteArray line = QByteArray::number(total);
        if (total > 0) {
            const quint64 newest = parts.accel()->storedSampleCount() - 1;
            for (CLiveGraph* graph : {parts.accel(), parts.gyro()}) {
                const int decimals =
                    graph == parts.accel() ? CsvWriter::ACCEL_DECIMALS : CsvWriter::GYRO_DECIMALS;
                for (int axis = 0; axis < 3; ++axis)
                    line +=
                        ' ' + CsvWriter::number(double(graph->storedSample(axis, newest)), decimals)
                                  .toUtf8();
            }
        }
        std::fputs((line + '\n').constData(), stdout);
        std::fflush(stdout);
    });
    report.start(20);
    return QApplication::exec();
}

struct SReport
{
    quint64 total;
    QList<QByteArray> fields; // of sample total - 1
};

} // namespace

class tst_MainWindowRecordChild : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void writeFailureEndsTheRecordingOnly();
    void killLeavesAPrefix_data();
    void killLeavesAPrefix();

private:
    QProcess* startChild(const QString& what);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_child;
};

void tst_MainWindowRecordChild::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QProcess* tst_MainWindowRecordChild::startChild(const QString& what)
{
    m_child = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(CHILD_ENV), what);
    m_child->setProcessEnvironment(env);
    m_child->start(QCoreApplication::applicationFilePath(), {});
    return m_child.get();
}

void tst_MainWindowRecordChild::writeFailureEndsTheRecordingOnly()
{
    // A file size limit fails the write part-way, as a full disk does.
    const QString path = m_dir->filePath(QStringLiteral("rec.csv"));
    const QString saved = m_dir->filePath(QStringLiteral("saved.csv"));
    QProcess* child = startChild(QStringLiteral("limit\n%1\n%2").arg(path, saved));
    QVERIFY(child->waitForFinished(120000));
    QVERIFY2(child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0,
             child->readAllStandardError().constData());
    const QJsonObject result = QJsonDocument::fromJson(child->readAllStandardOutput()).object();

    QVERIFY(result.value(QStringLiteral("ended")).toBool());
    QCOMPARE(result.value(QStringLiteral("title")).toString(), QStringLiteral("Record"));
    const QString text = result.value(QStringLiteral("text")).toString();
    QVERIFY2(text.contains(path) && text.contains(QStringLiteral("large")), qPrintable(text));
    QVERIFY(result.value(QStringLiteral("wentOn")).toBool());
    QVERIFY(result.value(QStringLiteral("measuring")).toBool());
    QVERIFY(result.value(QStringLiteral("saved")).toBool());

    // Whole lines only, and those the measurement's own.
    const QByteArray recorded = readAll(path);
    QVERIFY(recorded.size() <= qsizetype(FILE_LIMIT));
    QVERIFY(recorded.size() > qsizetype(FILE_LIMIT) / 2);
    QVERIFY(recorded.endsWith('\n'));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    CsvReader reader(&file, 1000000);
    QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
    QVERIFY(reader.sampleCount() > 0);
    QVERIFY(afterDate(readAll(saved)).startsWith(afterDate(recorded)));
}

void tst_MainWindowRecordChild::killLeavesAPrefix_data()
{
    QTest::addColumn<bool>("burst");
    QTest::addColumn<int>("rounds");

    QTest::newRow("real time") << false << 2;
    QTest::newRow("burst") << true << 3;
}

void tst_MainWindowRecordChild::killLeavesAPrefix()
{
    QFETCH(bool, burst);
    QFETCH(int, rounds);

    QRandomGenerator random(QRandomGenerator::global()->generate());
    for (int round = 0; round < rounds; ++round) {
        const QString path = m_dir->filePath(QStringLiteral("k%1.csv").arg(round));
        QProcess* child = startChild(
            QStringLiteral("kill\n%1\n%2").arg(path, burst ? QStringLiteral("burst") : QString()));
        QVERIFY(child->waitForStarted());
        QByteArray output;
        std::vector<SReport> reports;
        const auto readReports = [&] {
            output += child->readAllStandardOutput();
            const qsizetype complete = output.lastIndexOf('\n') + 1;
            for (const QByteArray& line : output.left(complete).split('\n')) {
                const QList<QByteArray> fields = line.split(' ');
                if (fields.size() == 7)
                    reports.push_back({fields[0].toULongLong(), fields.mid(1)});
            }
            output.remove(0, complete);
            return reports.empty() ? quint64(0) : reports.back().total;
        };
        // Samples in the history and written, however long the machine
        // takes: from then on, the kill comes at any point.
        QVERIFY(QTest::qWaitFor([&] { return readReports() > 0; }, 60000));
        const quint64 historyBefore = readReports();
        QVERIFY(QTest::qWaitFor([&] { return samplesIn(readAll(path)) >= historyBefore; }, 60000));
        QTest::qWait(int(random.bounded(burst ? 1000 : 2500)));
        child->kill();
        QVERIFY(child->waitForFinished());
        readReports();

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        quint64 written = 0;
        {
            CsvReader reader(&file, 1);
            QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
            QCOMPARE(reader.firstSampleIndex(), quint64(0));
            QCOMPARE(reader.header().serialNumber, SERIAL);
            written = reader.sampleCount();
        }
        // What the file held before the kill stays.
        QVERIFY2(
            written >= historyBefore,
            qPrintable(QStringLiteral("%1 written, %2 before").arg(written).arg(historyBefore)));
        QCOMPARE(written, samplesIn(readAll(path)));

        // The file's lines are the history's samples: every reported one it holds.
        QVERIFY(file.seek(0));
        const QByteArray titles = CsvWriter::columnTitles().join(CsvWriter::SEPARATOR).toUtf8();
        while (!file.atEnd() && !file.readLine().startsWith(titles)) {
        }
        auto next = reports.cbegin();
        int compared = 0;
        for (quint64 index = 0; index < written; ++index) {
            const QByteArray line = file.readLine();
            for (; next != reports.cend() && next->total <= index; ++next) {
            }
            if (next != reports.cend() && next->total == index + 1 && !next->fields.isEmpty()) {
                QCOMPARE(line.trimmed().split(';').mid(1), next->fields);
                ++compared;
            }
        }
        const bool anyInFile = std::any_of(reports.cbegin(), reports.cend(), [&](const SReport& r) {
            return r.total > 0 && r.total <= written;
        });
        QCOMPARE(compared > 0, anyInFile);
    }
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(CHILD_ENV)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        hidsim::reset();
        const QStringList what = qEnvironmentVariable(CHILD_ENV).split('\n');
        if (what.value(0) == QLatin1String("limit"))
            return recordIntoLimit(what.value(1), what.value(2));
        return recordUntilKilled(what.value(1), what.value(2) == QLatin1String("burst"));
    }
    QApplication app(argc, argv);
    tst_MainWindowRecordChild test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow_record_child.moc"

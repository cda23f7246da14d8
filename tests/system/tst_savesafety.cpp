// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Saves that fail or die part-way never break the file already there: a
// CSV or screenshot save in a child process is cut short by a file-size
// limit (which binds even root) or killed at random moments. The child is
// this program started again with SKARVEL_SAVE_CHILD set: a forked copy of a
// running Qt test cannot be relied on to run its event loop.
#include "mainwindow_testing.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace testing;

namespace {

const QByteArray OLD_CONTENT = QByteArray("the file that was there before\n").repeated(200);

int envCount(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

void appendFrames(WindowParts& parts, quint64 frames)
{
    std::vector<float> data;
    data.reserve(std::size_t(3 * frames));
    for (quint64 i = 0; i < 3 * frames; ++i)
        data.push_back(float(i % 977) / 97.0f - 5.0f);
    parts.accel()->appendSamples(data);
    parts.gyro()->appendSamples(data);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The CSV's second line holds the time of saving; two saves differ only there.
QByteArray withoutSaveTime(QByteArray csv)
{
    const qsizetype first = csv.indexOf('\n');
    const qsizetype second = csv.indexOf('\n', first + 1);
    if (first < 0 || second < 0)
        return csv;
    return csv.remove(first + 1, second - first);
}

// In the child: a save whose writes fail beyond `limit` bytes with EFBIG
// instead of a signal.
void limitFileSize(rlim_t limit)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
}

// Takes a screenshot to `path` through the window's action and its save
// dialog, replacing an existing file. 0 when no failure message was shown.
int screenshotThroughDialog(MainWindow& window, const QString& path)
{
    ModalAnswerer modals;
    modals.expect([path](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        auto* edit =
            dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!edit)
            ::_exit(100);
        edit->setText(path);
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
    });
    modals.expect([](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->button(QMessageBox::Yes))
            ::_exit(101); // the failure message instead of the replace question
        box->button(QMessageBox::Yes)->click();
    });
    WindowParts(window).action("actionScreenshot")->trigger();
    return modals.unanswered() == 0 && modals.unexpected() == 0 ? 0 : 1;
}

enum class ESave
{
    Csv,
    Screenshot
};

int save(ESave kind, MainWindow& window, const QString& path)
{
    if (kind == ESave::Csv)
        return window.writeCsv(path) ? 0 : 1;
    return screenshotThroughDialog(window, path);
}

const char* const CHILD_ENV = "SKARVEL_SAVE_CHILD";

// The child: builds a window holding `frames` frames, then saves to `path`,
// with file writes limited to `limit` bytes when it is not negative. Says
// "saving" on standard output right before the save starts.
int childMain(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = qEnvironmentVariable(CHILD_ENV).split(QLatin1Char('\n'));
    if (args.size() != 4)
        return 10;
    const ESave kind = args[0] == QLatin1String("csv") ? ESave::Csv : ESave::Screenshot;
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 11;
    WindowParts parts(window);
    appendFrames(parts, args[2].toULongLong());
    if (args[3].toLongLong() >= 0)
        limitFileSize(rlim_t(args[3].toLongLong()));
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    return save(kind, window, args[1]);
}

// A child process saving `frames` frames to `path`; started, not waited for.
std::unique_ptr<QProcess> startSave(ESave kind, const QString& path, quint64 frames,
                                    qint64 limit = -1)
{
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(CHILD_ENV),
               QStringList{kind == ESave::Csv ? QStringLiteral("csv") : QStringLiteral("jpg"), path,
                           QString::number(frames), QString::number(limit)}
                   .join(QLatin1Char('\n')));
    child->setProcessEnvironment(env);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), {});
    return child;
}

// Exit code of a child that ended by itself; -1 when it crashed or hung.
int finish(QProcess& child)
{
    if (!child.waitForFinished(120000))
        return -1;
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

} // namespace

Q_DECLARE_METATYPE(ESave)

class tst_SaveSafety : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void failedSaveLeavesFileUntouched_data();
    void failedSaveLeavesFileUntouched();
    void killedSaveLeavesOldOrNewFile_data();
    void killedSaveLeavesOldOrNewFile();

private:
    // The complete file a save of `frames` frames writes.
    QByteArray referenceSave(ESave kind, quint64 frames);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_SaveSafety::init()
{
    hidsim::reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QByteArray tst_SaveSafety::referenceSave(ESave kind, quint64 frames)
{
    const QString path = m_dir->filePath(QStringLiteral("reference"));
    writeAll(path, "placeholder");
    auto child = startSave(kind, path, frames);
    if (finish(*child) != 0)
        return QByteArray();
    const QByteArray bytes = readAll(path);
    QFile::remove(path);
    return bytes;
}

void tst_SaveSafety::failedSaveLeavesFileUntouched_data()
{
    QTest::addColumn<ESave>("kind");
    QTest::addColumn<double>("fraction"); // of the complete file that may be written

    for (const auto& [name, kind] :
         {std::pair{"csv", ESave::Csv}, {"screenshot", ESave::Screenshot}}) {
        QTest::addRow("%s nothing", name) << kind << 0.0;
        QTest::addRow("%s one tenth", name) << kind << 0.1;
        QTest::addRow("%s half", name) << kind << 0.5;
        QTest::addRow("%s all but the last byte", name) << kind << -1.0;
    }
}

void tst_SaveSafety::failedSaveLeavesFileUntouched()
{
    QFETCH(ESave, kind);
    QFETCH(double, fraction);
    const quint64 frames = 3000;
    const QByteArray complete = referenceSave(kind, frames);
    QVERIFY(complete.size() > 1000);

    const QString path = m_dir->filePath(QStringLiteral("measurement.out"));
    QVERIFY(writeAll(path, OLD_CONTENT));
    const auto limit =
        rlim_t(fraction < 0 ? complete.size() - 1 : qint64(double(complete.size()) * fraction));
    auto child = startSave(kind, path, frames, qint64(limit));

    QCOMPARE(finish(*child), 1); // reported as failed, without dying of the limit
    QVERIFY(readAll(path) == OLD_CONTENT);
    // No temporary file left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             QStringList{QStringLiteral("measurement.out")});
}

void tst_SaveSafety::killedSaveLeavesOldOrNewFile_data()
{
    QTest::addColumn<ESave>("kind");
    QTest::addColumn<quint64>("frames");

    QTest::newRow("csv") << ESave::Csv << quint64(100000);
    QTest::newRow("screenshot") << ESave::Screenshot << quint64(3000);
}

void tst_SaveSafety::killedSaveLeavesOldOrNewFile()
{
    QFETCH(ESave, kind);
    QFETCH(quint64, frames);
    const int runs = envCount("SKARVEL_KILLED_SAVE_RUNS", 50);
    const QByteArray complete = referenceSave(kind, frames);
    QVERIFY(!complete.isEmpty());

    // How long a whole save takes, from its start to the child's end.
    const QString path = m_dir->filePath(QStringLiteral("measurement.out"));
    QVERIFY(writeAll(path, OLD_CONTENT));
    QElapsedTimer clock;
    {
        auto child = startSave(kind, path, frames);
        QVERIFY(child->waitForReadyRead(60000));
        clock.start();
        QCOMPARE(finish(*child), 0);
    }
    const qint64 saveUs = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);

    int old = 0;
    int replaced = 0;
    for (int run = 0; run < runs; ++run) {
        QVERIFY(writeAll(path, OLD_CONTENT));
        const auto killAfterUs = QRandomGenerator::global()->bounded(saveUs);
        auto child = startSave(kind, path, frames);
        QVERIFY(child->waitForReadyRead(60000));
        ::usleep(useconds_t(killAfterUs));
        child->kill();
        QVERIFY(child->waitForFinished(60000));
        const QByteArray now = readAll(path);
        if (now == OLD_CONTENT) {
            ++old;
        } else {
            const bool same = kind == ESave::Csv ? withoutSaveTime(now) == withoutSaveTime(complete)
                                                 : now == complete;
            QVERIFY2(same,
                     qPrintable(QStringLiteral("run %1 after %2 us: %3 bytes, neither old nor new")
                                    .arg(run)
                                    .arg(killAfterUs)
                                    .arg(now.size())));
            ++replaced;
        }
        // A killed save may leave its temporary file; it never takes the name.
        for (const QString& name : QDir(m_dir->path()).entryList(QDir::Files)) {
            if (name != QLatin1String("measurement.out"))
                QFile::remove(m_dir->filePath(name));
        }
    }
    qInfo("%d killed saves (a whole save takes %lld us): %d left the old file, %d the new one",
          runs, saveUs, old, replaced);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(CHILD_ENV))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    tst_SaveSafety test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_savesafety.moc"

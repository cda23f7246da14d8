// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Capture files: numbered without overwriting, read back with their
// [Trigger] section, and a failure that names the file and leaves none.
#include "capturewriter.h"
#include "csvreader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

CsvWriter::SHeader plainHeader()
{
    CsvWriter::SHeader header;
    header.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
    header.serialNumber = QStringLiteral("SKV-1");
    header.firmware = 0x0102;
    header.settings = {{QStringLiteral("Acceleration range"), QStringLiteral("2 g")}};
    header.sampleRate = 833.0;
    return header;
}

Trigger::SCapture capture(quint64 first, quint64 count, quint64 trigger)
{
    Trigger::SCapture c;
    c.settings.source = Trigger::ESource::RY;
    c.settings.slope = Trigger::ESlope::Falling;
    c.settings.level = -40.0;
    c.settings.preTriggerPercent = 35;
    c.firstIndex = first;
    c.triggerIndex = trigger;
    for (quint64 k = 0; k < count; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
            c.accel.push_back(float(k) * 0.001f + float(axis));
            c.gyro.push_back(-float(k) * 0.5f - float(axis));
        }
    }
    return c;
}

} // namespace

class TestCaptureWriter : public QObject
{
    Q_OBJECT

private slots:
    void numbersSkipExistingFiles_data();
    void numbersSkipExistingFiles();
    void fileReadsBackWithItsSection();
    void failureNamesTheFile();
};

void TestCaptureWriter::numbersSkipExistingFiles_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("written");

    QTest::newRow("empty folder") << QStringList{}
                                  << QStringList{"capture_0001.csv", "capture_0002.csv",
                                                 "capture_0003.csv"};
    QTest::newRow("first taken") << QStringList{"capture_0001.csv"}
                                 << QStringList{"capture_0002.csv", "capture_0003.csv",
                                                "capture_0004.csv"};
    QTest::newRow("gap") << QStringList{"capture_0002.csv", "capture_0003.csv"}
                         << QStringList{"capture_0001.csv", "capture_0004.csv", "capture_0005.csv"};
    QTest::newRow("a folder of that name")
        << QStringList{"capture_0001.csv/"}
        << QStringList{"capture_0002.csv", "capture_0003.csv", "capture_0004.csv"};
}

void TestCaptureWriter::numbersSkipExistingFiles()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, written);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& name : existing) {
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(dir.path()).mkdir(name.chopped(1)));
            continue;
        }
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("someone else's\n");
    }
    CaptureWriter writer(dir.path());
    for (const QString& name : written) {
        QVERIFY2(writer.write(plainHeader(), capture(0, 3, 1), 833.0),
                 qPrintable(writer.errorString()));
        QCOMPARE(writer.fileName(), dir.filePath(name));
    }
    for (const QString& name : existing) {
        if (!name.endsWith(QLatin1Char('/'))) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("someone else's\n"));
        }
    }
}

void TestCaptureWriter::fileReadsBackWithItsSection()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CaptureWriter writer(dir.path());
    const Trigger::SCapture written = capture(9000, 500, 9175);
    QVERIFY2(writer.write(plainHeader(), written, 833.0), qPrintable(writer.errorString()));

    QFile file(writer.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("Sample rate [Hz];833\n\n[Trigger]\nSource;rY\nSlope;Falling\n"
                           "Level [dps];-40,000\nPre-trigger [%];35\nTrigger time [s];11,0144\n"
                           "\n[Data]\nTime [s];"));
    QVERIFY(file.seek(0));
    CsvReader reader(&file, 100000);
    QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
    QCOMPARE(reader.firstSampleIndex(), quint64(9000));
    QCOMPARE(reader.sampleCount(), quint64(500));
    Trigger::SMarker marker;
    int bad = -1;
    QString why;
    QVERIFY2(Trigger::fromSectionTexts(reader.header().trigger, 833.0, marker, bad, why),
             qPrintable(why));
    QCOMPARE(marker.triggerIndex, quint64(9175));
    QCOMPARE(marker.settings.source, Trigger::ESource::RY);
    QCOMPARE(marker.settings.slope, Trigger::ESlope::Falling);
    QCOMPARE(marker.settings.level, -40.0);
    QCOMPARE(marker.settings.preTriggerPercent, 35);
    QCOMPARE(reader.gyroFrames()[3 * 499 + 2], -249.5f - 2.0f);

    // Without the section the header is written as it always was.
    QBuffer plain;
    QVERIFY(plain.open(QIODevice::WriteOnly));
    CsvWriter csv(&plain);
    csv.writeHeader(plainHeader());
    QVERIFY(csv.flush());
    QVERIFY(plain.data().endsWith("Sample rate [Hz];833\n\n[Data]\nTime [s];X [g];Y [g];Z [g];"
                                  "rX [dps];rY [dps];rZ [dps]\n"));
}

void TestCaptureWriter::failureNamesTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CaptureWriter missing(dir.filePath(QStringLiteral("gone")));
    QVERIFY(!missing.write(plainHeader(), capture(0, 3, 1), 833.0));
    QVERIFY2(missing.errorString().contains(QStringLiteral("gone")),
             qPrintable(missing.errorString()));

    if (::geteuid() == 0)
        QSKIP("root writes into a read-only folder");
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    CaptureWriter writer(locked);
    QVERIFY(!writer.write(plainHeader(), capture(0, 3, 1), 833.0));
    const QString expected = QDir::toNativeSeparators(QDir(locked).filePath("capture_0001.csv"));
    QVERIFY2(writer.errorString().contains(expected), qPrintable(writer.errorString()));
    QVERIFY2(writer.errorString().contains(QStringLiteral("ermission")),
             qPrintable(writer.errorString()));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir(locked).entryList(QDir::Files).isEmpty());
}

QTEST_APPLESS_MAIN(TestCaptureWriter)
#include "tst_capturewriter.moc"

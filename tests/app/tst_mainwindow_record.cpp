// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Recording a measurement to files and opening saved measurements again, over
// the simulated sensor: what the files hold, how settings split them, the
// round trip of Save CSV, and malformed files that change nothing.
#include "mainwindow_testing.h"

#include "csvreader.h"
#include "csvwriter.h"
#include "openrangedialog.h"

#include <QBuffer>
#include <QFile>
#include <QJsonObject>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace testing;

namespace {

constexpr quint64 SETTLING = 100;

skarvelsim::SSensorConfig burst(uint64_t count)
{
    skarvelsim::SSensorConfig config;
    config.pacing = skarvelsim::EPacing::Burst;
    config.burstCount = count;
    return config;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Reads a whole file that must be well-formed.
std::unique_ptr<CsvReader> readBack(QFile& file)
{
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto reader = std::make_unique<CsvReader>(&file, 1000000);
    if (!reader->scan()) {
        qWarning("%s: %s", qPrintable(file.fileName()), qPrintable(reader->errorString()));
        return nullptr;
    }
    return reader;
}

// A stored sample of the history reads as sample k of what a reader kept,
// to the file's decimals.
bool sameSample(const WindowParts& parts, quint64 stored, const CsvReader& reader, quint64 k)
{
    const auto same = [](float a, float b, int decimals) {
        return CsvWriter::number(double(a), decimals) == CsvWriter::number(double(b), decimals);
    };
    for (int axis = 0; axis < 3; ++axis) {
        if (!same(parts.accel()->storedSample(axis, stored), reader.accelFrames()[3 * k + axis],
                  CsvWriter::ACCEL_DECIMALS) ||
            !same(parts.gyro()->storedSample(axis, stored), reader.gyroFrames()[3 * k + axis],
                  CsvWriter::GYRO_DECIMALS))
            return false;
    }
    return true;
}

} // namespace

class tst_MainWindowRecord : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void recordingHoldsTheStoredSamples();
    void settingsChangeSplitsTheRecording();
    void openedFileSavesTheSameBytes();
    void longFileShowsTheChosenStretch();
    void malformedFileChangesNothing_data();
    void malformedFileChangesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_MainWindowRecord::init()
{
    hidsim::reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_MainWindowRecord::recordingHoldsTheStoredSamples()
{
    // Two minutes of samples, as fast as the pipeline takes them.
    constexpr quint64 SAMPLES = 100000;
    skarvelsim::addSensor(burst(SETTLING + SAMPLES));
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    const QString path = m_dir->filePath(QStringLiteral("rec.csv"));
    QVERIFY(window.startRecording(path));
    QVERIFY(parts.action("actionRecord")->isChecked());
    parts.action("actionStart")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(parts.accel()->storedSampleCount(), SAMPLES, 60000);
    QTRY_VERIFY(parts.label("lb_status_recording")->text().contains(QStringLiteral("rec.csv")));
    parts.action("actionStop")->trigger();
    QVERIFY(!parts.action("actionRecord")->isChecked());
    QVERIFY(!parts.label("lb_status_recording")->isVisibleTo(&window));

    QFile file(path);
    const auto reader = readBack(file);
    QVERIFY(reader);
    QCOMPARE(reader->sampleCount(), SAMPLES);
    QCOMPARE(reader->firstSampleIndex(), quint64(0));
    QCOMPARE(reader->header().serialNumber, QStringLiteral("SKV-000001"));
    for (quint64 i = 0; i < SAMPLES; ++i) {
        if (!sameSample(parts, i, *reader, i))
            QFAIL(qPrintable(QStringLiteral("sample %1 differs").arg(i)));
    }

    // Beyond the header's date, the recording is what Save CSV writes.
    const QString saved = m_dir->filePath(QStringLiteral("saved.csv"));
    QVERIFY(window.writeCsv(saved));
    const QByteArray recorded = readAll(path);
    const QByteArray written = readAll(saved);
    const auto afterDate = [](const QByteArray& bytes) {
        return bytes.mid(bytes.indexOf("Device SN"));
    };
    QCOMPARE(afterDate(recorded), afterDate(written));

    QJsonObject table;
    const QString skipped = readWithPandas(path, &table);
    if (!skipped.isEmpty())
        QSKIP(qPrintable(skipped));
    QCOMPARE(table.value(QStringLiteral("rows")).toInteger(), qint64(SAMPLES));
    QVERIFY(table.value(QStringLiteral("numbers")).toBool());
}

void tst_MainWindowRecord::settingsChangeSplitsTheRecording()
{
    skarvelsim::addSensor();
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    const QString path = m_dir->filePath(QStringLiteral("split.csv"));
    QVERIFY(window.startRecording(path));
    parts.action("actionStart")->trigger();
    QTRY_VERIFY(parts.accel()->storedSampleCount() > 500);
    const QString firstRange = parts.combo("cmb_acc")->currentText();
    parts.combo("cmb_acc")->setCurrentIndex(2);
    const quint64 before = parts.accel()->storedSampleCount();
    QTRY_VERIFY(parts.accel()->storedSampleCount() > before + 500);
    parts.action("actionStop")->trigger();

    QFile first(path);
    QFile second(m_dir->filePath(QStringLiteral("split_2.csv")));
    const auto one = readBack(first);
    const auto two = readBack(second);
    QVERIFY(one && two);
    QCOMPARE(one->header().settings.value(0).second, firstRange);
    QCOMPARE(two->header().settings.value(0).second, parts.combo("cmb_acc")->itemText(2));
    // The second file's times go on where the first's end; together they are the history.
    QCOMPARE(two->firstSampleIndex(), one->sampleCount());
    QCOMPARE(one->sampleCount() + two->sampleCount(), parts.accel()->storedSampleCount());
    QVERIFY(sameSample(parts, 0, *one, 0));
    QVERIFY(sameSample(parts, one->sampleCount(), *two, 0));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("split_3.csv"))));
}

void tst_MainWindowRecord::openedFileSavesTheSameBytes()
{
    skarvelsim::addSensor(burst(SETTLING + 5000));
    const QString saved = m_dir->filePath(QStringLiteral("a.csv"));
    QStringList scaleTexts;
    {
        MainWindow window;
        WindowParts parts(window);
        ModalAnswerer modals;
        connectTo(window, modals, QStringLiteral("SKV-000001"));
        parts.combo("cmb_gyro")->setCurrentIndex(3);
        parts.action("actionStart")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(parts.accel()->storedSampleCount(), quint64(5000), 20000);
        parts.action("actionStop")->trigger();
        QVERIFY(window.writeCsv(saved));
        scaleTexts = {parts.label("lb_acc_y")->text(), parts.label("lb_gyro_y")->text()};
    }
    // A fresh window, never connected, shows the file as it was measured.
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    QVERIFY(window.openMeasurement(saved));
    QCOMPARE(parts.accel()->storedSampleCount(), quint64(5000));
    QCOMPARE(parts.combo("cmb_gyro")->currentIndex(), 3);
    // The scales span the file's ranges, not the absent sensor's.
    QCOMPARE(QStringList({parts.label("lb_acc_y")->text(), parts.label("lb_gyro_y")->text()}),
             scaleTexts);
    QCOMPARE(parts.label("lb_status_serial")->text(), QStringLiteral("SN SKV-000001 (file)"));
    QVERIFY(parts.action("actionSaveCsv")->isEnabled());
    const QString again = m_dir->filePath(QStringLiteral("b.csv"));
    QVERIFY(window.writeCsv(again));
    QCOMPARE(readAll(again), readAll(saved));
    QCOMPARE(modals.seen().size(), 0);
}

void tst_MainWindowRecord::longFileShowsTheChosenStretch()
{
    // Six minutes, written as a recording would write them.
    constexpr quint64 SAMPLES = 300000;
    const QString path = m_dir->filePath(QStringLiteral("long.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        CsvWriter csv(&file);
        CsvWriter::SHeader header;
        header.date = QDateTime(QDate(2026, 12, 6), QTime(19, 30));
        header.serialNumber = QStringLiteral("SKV-000002");
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
        std::vector<float> gyro;
        for (quint64 i = 0; i < SAMPLES; ++i) {
            for (int axis = 0; axis < 3; ++axis) {
                accel.push_back(float(int(i % 1000) - 500 + axis) * 0.001f);
                gyro.push_back(float(int(i % 997) - 400 - axis) * 0.25f);
            }
        }
        csv.writeFrames(accel, gyro, 0, 833.0);
        QVERIFY(csv.flush());
    }

    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    // On a slow build the reading's progress shows first; it is let be.
    ModalAnswerer::Answer chooseStart = [&](QWidget* widget) {
        if (qobject_cast<QProgressDialog*>(widget)) {
            modals.expect(chooseStart);
            return;
        }
        auto* dialog = qobject_cast<OpenRangeDialog*>(widget);
        QVERIFY2(dialog, "not the range dialog");
        dialog->findChild<QSpinBox*>(QStringLiteral("spin_start"))->setValue(10);
        dialog->accept();
    };
    modals.expect(chooseStart);
    QVERIFY(window.openMeasurement(path));
    QCOMPARE(parts.accel()->storedSampleCount(), parts.accel()->maxSampleCount());
    QCOMPARE(parts.accel()->storedSampleTime(0), 8330 / 833.0);
    QCOMPARE(parts.accel()->storedSample(1, 0), float(int(8330 % 1000) - 500 + 1) * 0.001f);
    QCOMPARE(parts.gyro()->storedSample(2, 100), float(int(8430 % 997) - 400 - 2) * 0.25f);
    QCOMPARE(modals.unanswered(), 0);
}

void tst_MainWindowRecord::malformedFileChangesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty") << QByteArray() << "empty";
    QTest::newRow("other text") << QByteArray("hello\n") << "Line 1:";
    QTest::newRow("unknown range") << QByteArray("<range>") << "Line 7: \"\u00b13 g\"";
    QTest::newRow("settings cut short") << QByteArray("<cut>") << "Line 12: expected the setting";
}

void tst_MainWindowRecord::malformedFileChangesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    skarvelsim::addSensor(burst(SETTLING + 300));
    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    parts.action("actionStart")->trigger();
    QTRY_COMPARE(parts.accel()->storedSampleCount(), quint64(300));
    parts.action("actionStop")->trigger();
    const QString good = m_dir->filePath(QStringLiteral("good.csv"));
    QVERIFY(window.writeCsv(good));
    const QByteArray saved = readAll(good);
    const QString plusMinus2g = QString(QChar(0xB1)) + QStringLiteral("2 g");
    if (bytes == "<range>")
        bytes =
            QString::fromUtf8(saved).replace(plusMinus2g, QString(QChar(0xB1)) + "3 g").toUtf8();
    if (bytes == "<cut>")
        bytes = QByteArray(saved).replace("Gyro high pass;Off\n", "");

    const QString path = m_dir->filePath(QStringLiteral("bad.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    modals.expectMessage();
    QVERIFY(!window.openMeasurement(path));
    QCOMPARE(modals.seen().last().title, QStringLiteral("Open"));
    QVERIFY2(modals.seen().last().text.contains(path) && modals.seen().last().text.contains(reason),
             qPrintable(modals.seen().last().text));

    const QString after = m_dir->filePath(QStringLiteral("after.csv"));
    QVERIFY(window.writeCsv(after));
    const auto afterDate = [](const QByteArray& b) { return b.mid(b.indexOf("Device SN")); };
    QCOMPARE(afterDate(readAll(after)), afterDate(saved));
}

QTEST_MAIN(tst_MainWindowRecord)
#include "tst_mainwindow_record.moc"

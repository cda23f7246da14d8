// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Reading measurement files back: what a well-formed file yields, choosing
// the stretch of a long file, and a message with line and reason for every
// kind of malformed input.
#include "csvreader.h"

#include <QBuffer>
#include <QDateTime>
#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr quint64 RATE = 833;

QByteArray number(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals).replace('.', ',');
}

// What the program writes for sample `index`, from values built independently.
QByteArray dataLine(quint64 index)
{
    const auto accel = [&](int axis) {
        return double(
            float(double(int((index * 7919 + axis * 104729) % 65536) - 32768) * 0.000061));
    };
    const auto gyro = [&](int axis) {
        return double(float(double(int((index * 6271 + axis * 7907) % 65536) - 32768) * 0.0175));
    };
    return number(double(index) / 833.0, 4) + ';' + number(accel(0), 5) + ';' +
           number(accel(1), 5) + ';' + number(accel(2), 5) + ';' + number(gyro(0), 3) + ';' +
           number(gyro(1), 3) + ';' + number(gyro(2), 3);
}

QByteArray header(const QByteArray& serial = "SKV-000001")
{
    return "\xEF\xBB\xBFSkarvel Monitor;1.0.0\nDate;2026-12-06 19:30:00\nDevice SN;" + serial +
           "\nFirmware;0102\n\n[Settings]\nAcceleration range;\xC2\xB1"
           "2 g\nGyro range;\xC2\xB1"
           "245 dps\nAccel filter;LP1 + LP2\nAccel cutoff;8.33 Hz\nAccel low latency;No\n"
           "Gyro high pass;65 mHz\nSample rate [Hz];833\n\n[Data]\n"
           "Time [s];X [g];Y [g];Z [g];rX [dps];rY [dps];rZ [dps]\n";
}
constexpr qint64 HEADER_LINES = 16;

const QByteArray TRIGGER_SECTION = "[Trigger]\nSource;|a|\nSlope;Rising\nLevel [g];1,50000\n"
                                   "Pre-trigger [%];20\nTrigger time [s];0,0120\n\n";

// A capture's header: the [Trigger] section (or what stands in its place) before [Data].
QByteArray captureHeader(const QByteArray& section = TRIGGER_SECTION)
{
    QByteArray bytes = header();
    return bytes.replace("[Data]\n", section + "[Data]\n");
}

QByteArray file(quint64 first, quint64 count, const QByteArray& head = header())
{
    QByteArray bytes = head;
    for (quint64 i = first; i < first + count; ++i)
        bytes += dataLine(i) + '\n';
    return bytes;
}

// The data line the kept sample `k` gives when written again.
QByteArray rewritten(const CsvReader& reader, quint64 k)
{
    const quint64 index = reader.firstSampleIndex() + reader.loadedStart() + k;
    QByteArray line = number(double(index) / 833.0, 4);
    for (int axis = 0; axis < 3; ++axis)
        line += ';' + number(double(reader.accelFrames()[3 * k + axis]), 5);
    for (int axis = 0; axis < 3; ++axis)
        line += ';' + number(double(reader.gyroFrames()[3 * k + axis]), 3);
    return line;
}

} // namespace

class TestCsvReader : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatTheProgramWrites_data();
    void readsWhatTheProgramWrites();
    void loadsTheChosenStretch();
    void reportsProgressAndCancels();
    void rejectsMalformedInput_data();
    void rejectsMalformedInput();
    void survivesRandomDamage();
};

void TestCsvReader::readsWhatTheProgramWrites_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("count");
    QTest::addColumn<QString>("serial");

    QTest::newRow("from 0") << file(0, 4165) << quint64(0) << quint64(4165)
                            << QStringLiteral("SKV-000001");
    // A history that dropped its oldest samples, or a recording's later file.
    QTest::newRow("from 4321") << file(4321, 500) << quint64(4321) << quint64(500)
                               << QStringLiteral("SKV-000001");
    QTest::newRow("no samples") << header() << quint64(0) << quint64(0)
                                << QStringLiteral("SKV-000001");
    QTest::newRow("CR LF") << file(0, 100).replace("\n", "\r\n") << quint64(0) << quint64(100)
                           << QStringLiteral("SKV-000001");
    QTest::newRow("quoted serial") << file(0, 10, header("\"A;\"\"B\"\"\nC\"")) << quint64(0)
                                   << quint64(10) << QStringLiteral("A;\"B\"\nC");
    // A killed recording: the unfinished last line is not a sample.
    QTest::newRow("last line cut off")
        << file(0, 20).chopped(10) << quint64(0) << quint64(19) << QStringLiteral("SKV-000001");
    QTest::newRow("last line end cut off")
        << file(0, 20).chopped(1) << quint64(0) << quint64(19) << QStringLiteral("SKV-000001");
    // Left by editors and scripts after the last sample.
    QTest::newRow("empty lines at the end")
        << file(0, 20) + "\n\n\n"
        << quint64(0) << quint64(20) << QStringLiteral("SKV-000001");
    QTest::newRow("CR LF empty lines at the end")
        << QByteArray(file(0, 20) + "\n\n").replace("\n", "\r\n") << quint64(0) << quint64(20)
        << QStringLiteral("SKV-000001");
    QTest::newRow("empty line after the column names")
        << header() + "\n"
        << quint64(0) << quint64(0) << QStringLiteral("SKV-000001");
    QByteArray negativeZero = file(0, 1);
    negativeZero.replace(dataLine(0), "0,0000;-0,00000;1,00000;0,00000;-0,000;2,000;0,000");
    QTest::newRow("negative zero")
        << negativeZero << quint64(0) << quint64(1) << QStringLiteral("SKV-000001");
    QTest::newRow("capture") << file(5, 30, captureHeader()) << quint64(5) << quint64(30)
                             << QStringLiteral("SKV-000001");
}

void TestCsvReader::readsWhatTheProgramWrites()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint64, first);
    QFETCH(quint64, count);
    QFETCH(QString, serial);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CsvReader reader(&buffer, 249900);
    QVERIFY2(reader.scan(), qPrintable(reader.errorString()));

    const CsvWriter::SHeader& head = reader.header();
    QCOMPARE(reader.version(), QStringLiteral("1.0.0"));
    QCOMPARE(head.date, QDateTime(QDate(2026, 12, 6), QTime(19, 30)));
    QCOMPARE(head.serialNumber, serial);
    QCOMPARE(head.firmware, quint16(0x0102));
    const QString plusMinus(QChar(0xB1));
    const QList<QPair<QString, QString>> settings{{"Acceleration range", plusMinus + "2 g"},
                                                  {"Gyro range", plusMinus + "245 dps"},
                                                  {"Accel filter", "LP1 + LP2"},
                                                  {"Accel cutoff", "8.33 Hz"},
                                                  {"Accel low latency", "No"},
                                                  {"Gyro high pass", "65 mHz"}};
    QCOMPARE(head.settings, settings);
    QCOMPARE(head.sampleRate, 833.0);
    QCOMPARE(reader.settingsLine(), qint64(7 + serial.count(QLatin1Char('\n'))));
    QCOMPARE(reader.firstSampleIndex(), first);
    QCOMPARE(reader.sampleCount(), count);
    QCOMPARE(reader.loadedCount(), count);
    if (bytes.contains("[Trigger]")) {
        const QList<QPair<QString, QString>> trigger{{"Source", "|a|"},
                                                     {"Slope", "Rising"},
                                                     {"Level [g]", "1,50000"},
                                                     {"Pre-trigger [%]", "20"},
                                                     {"Trigger time [s]", "0,0120"}};
        QCOMPARE(head.trigger, trigger);
        QCOMPARE(reader.triggerLine(), qint64(16));
    } else {
        QVERIFY(head.trigger.isEmpty());
        QCOMPARE(reader.triggerLine(), qint64(0));
    }

    // Every kept value is written again as it was read.
    bytes.replace("\r\n", "\n");
    const QByteArray columns = "rZ [dps]\n";
    const QList<QByteArray> lines = bytes.mid(bytes.indexOf(columns) + columns.size()).split('\n');
    for (quint64 k = 0; k < count; ++k)
        QCOMPARE(rewritten(reader, k), lines.at(qsizetype(k)));
}

void TestCsvReader::loadsTheChosenStretch()
{
    // Long enough for several checkpoints, each starting a skip.
    constexpr quint64 SAMPLES = 30000;
    constexpr quint64 CAPACITY = 2500;
    QByteArray bytes = file(100, SAMPLES);
    const QList<QByteArray> lines = bytes.split('\n');
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CsvReader reader(&buffer, CAPACITY);
    QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
    QCOMPARE(reader.sampleCount(), SAMPLES);
    QCOMPARE(reader.loadedCount(), CAPACITY);
    QCOMPARE(rewritten(reader, 0), lines.at(HEADER_LINES));

    for (const quint64 start :
         {quint64(12345), quint64(8192), quint64(0), SAMPLES - CAPACITY, SAMPLES + 5}) {
        QVERIFY2(reader.load(start), qPrintable(reader.errorString()));
        const quint64 expected = std::min(start, SAMPLES - CAPACITY);
        QCOMPARE(reader.loadedStart(), expected);
        QCOMPARE(reader.loadedCount(), CAPACITY);
        for (const quint64 k : {quint64(0), CAPACITY / 2, CAPACITY - 1})
            QCOMPARE(rewritten(reader, k), lines.at(qsizetype(HEADER_LINES + expected + k)));
    }
}

void TestCsvReader::reportsProgressAndCancels()
{
    QByteArray bytes = file(0, 200000); // about 11 MB: several progress steps
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CsvReader reader(&buffer, 1000);
    qint64 last = -1;
    int calls = 0;
    QVERIFY(reader.scan([&](qint64 done, qint64 total) {
        ++calls;
        [&] {
            QVERIFY(done > last);
            QCOMPARE(total, qint64(bytes.size()));
        }();
        last = done;
        return true;
    }));
    QVERIFY(calls > 1);
    QCOMPARE(last, qint64(bytes.size()));

    QVERIFY(!reader.scan([](qint64, qint64) { return false; }));
    QVERIFY(reader.cancelled());
    QVERIFY(!reader.errorString().isEmpty());
}

void TestCsvReader::rejectsMalformedInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("reason");

    const QByteArray good = file(0, 20);
    const auto replaced = [&](const QByteArray& from, const QByteArray& to) {
        QByteArray bytes = good;
        return bytes.replace(from, to);
    };
    const auto withTime = [&](quint64 index, const QByteArray& time) {
        return replaced(dataLine(index), time + dataLine(index).mid(6));
    };
    const qint64 data = HEADER_LINES + 1;

    QTest::newRow("empty") << QByteArray() << qint64(0) << "empty";
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << qint64(0) << "empty";
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFES\0k\0", 6) << qint64(0) << "UTF-16";
    QTest::newRow("other CSV") << QByteArray("a,b,c\n1,2,3\n") << qint64(1) << "not a Skarvel";
    QTest::newRow("Latin-1") << replaced("\xC2\xB1", "\xB1") << qint64(7) << "not UTF-8";
    QTest::newRow("NUL bytes") << replaced("LP1 + LP2", QByteArray("L\0P", 3)) << qint64(9)
                               << "not UTF-8";
    QTest::newRow("header cut off") << header().left(120) << qint64(7) << "cut off";
    QTest::newRow("header ends") << header().left(header().indexOf("[Settings]")) << qint64(6)
                                 << "ends within the header";
    QTest::newRow("bad date") << replaced("2026-12-06", "2026-13-06") << qint64(2) << "date";
    QTest::newRow("bad firmware") << replaced("Firmware;0102", "Firmware;01x2") << qint64(4)
                                  << "firmware";
    QTest::newRow("missing line") << replaced("Firmware;0102\n", "") << qint64(4) << "Firmware";
    QTest::newRow("setting without text")
        << replaced("latency;No", "latency") << qint64(11) << "label;setting";
    QTest::newRow("sample rate") << replaced("[Hz];833", "[Hz];1000") << qint64(13) << "833 Hz";
    QTest::newRow("columns") << replaced("rZ [dps]\n", "rZ\n") << qint64(16) << "column names";
    QTest::newRow("unclosed quote") << file(0, 2, header("\"SKV")) << qint64(-1) << "quote";
    QTest::newRow("too few fields")
        << replaced(dataLine(3), "0,0036;0,1;0,2") << data + 3 << "3 fields instead of 7";
    QTest::newRow("too many fields")
        << replaced(dataLine(3), dataLine(3) + ";1,000") << data + 3 << "more than 7 fields";
    QTest::newRow("text for a number") << replaced(dataLine(5), "0,0060;abc;0,0;0,0;0,0;0,0;0,0")
                                       << data + 5 << "X [g] is not a number";
    QTest::newRow("decimal point")
        << withTime(2, "0.0024") << data + 2 << "Time [s] is not a number";
    QTest::newRow("empty line") << replaced(dataLine(4) + '\n', "\n") << data + 4 << "empty line";
    QTest::newRow("empty lines before the last sample")
        << replaced('\n' + dataLine(19), "\n\n\n" + dataLine(19)) << data + 19 << "empty line";
    QTest::newRow("empty line before a cut-off line")
        << QByteArray(good + "\n0,02") << data + 20 << "empty line";
    QTest::newRow("time gap") << replaced(dataLine(6) + '\n', "") << data + 6 << "does not follow";
    QTest::newRow("not a sample time") << withTime(0, "0,0005") << data << "not a sample time";
    QTest::newRow("out of range") << replaced(dataLine(1),
                                              "0,0012;99,00000;0,00000;0,00000;0,000;0,000;0,000")
                                  << data + 1 << "out of range";
    const qint64 trigger = HEADER_LINES - 1; // the line of "[Trigger]"
    const QByteArray capture = file(0, 20, captureHeader());
    const auto section = [&](const QByteArray& from, const QByteArray& to) {
        QByteArray bytes = capture;
        return bytes.replace(from, to);
    };
    QTest::newRow("other section") << section("[Trigger]", "[Extra]") << trigger << "[Data]";
    QTest::newRow("trigger line without text")
        << section("Slope;Rising", "Slope") << trigger + 2 << "label;setting";
    QTest::newRow("trigger line with three fields")
        << section("Slope;Rising", "Slope;Rising;Falling") << trigger + 2 << "label;setting";
    QTest::newRow("trigger line without label")
        << section("Slope;Rising", ";Rising") << trigger + 2 << "label;setting";
    QTest::newRow("empty trigger section")
        << file(0, 2, captureHeader("[Trigger]\n\n")) << trigger + 1 << "section is empty";
    QTest::newRow("trigger section without end")
        << section("Trigger time [s];0,0120\n\n", "Trigger time [s];0,0120\n") << trigger + 6
        << "label;setting";
    QTest::newRow("endless trigger section")
        << file(0, 2, captureHeader("[Trigger]\n" + QByteArray("a;b\n").repeated(40) + "\n"))
        << trigger + 33 << "empty line after the trigger section";
    QTest::newRow("trigger section, no data")
        << captureHeader().left(captureHeader().indexOf("[Data]")) << trigger + 7
        << "ends within the header";
    QTest::newRow("two trigger sections")
        << file(0, 2, captureHeader(TRIGGER_SECTION + TRIGGER_SECTION)) << trigger + 7 << "[Data]";
    QTest::newRow("one long line") << QByteArray(1 << 20, 'x') << qint64(1) << "longer than";
    QTest::newRow("long data line")
        << QByteArray(good + QByteArray(8000, '1') + '\n') << data + 20 << "longer than";
    QByteArray garbage(1 << 20, '\0');
    QRandomGenerator random(42);
    random.fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
    QTest::newRow("random bytes") << garbage << qint64(-1) << "";
    QTest::newRow("garbage after the data") << QByteArray(good + garbage) << data + 20 << "";
}

void TestCsvReader::rejectsMalformedInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, line);
    QFETCH(QString, reason);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CsvReader reader(&buffer, 249900);
    QVERIFY(!reader.scan());
    QVERIFY(!reader.cancelled());
    if (line >= 0)
        QCOMPARE(reader.errorLine(), line);
    if (reader.errorLine() > 0)
        QVERIFY2(
            reader.errorString().startsWith(QStringLiteral("Line %1: ").arg(reader.errorLine())),
            qPrintable(reader.errorString()));
    QVERIFY2(reader.errorString().contains(reason), qPrintable(reader.errorString()));
}

void TestCsvReader::survivesRandomDamage()
{
    // Flipped bytes anywhere must give a result or a message, never more than
    // the capacity's samples; the sanitizer builds watch for the rest.
    const QByteArray good = file(0, 300);
    QRandomGenerator random(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes = good;
        for (int flips = 1 + random.bounded(4); flips > 0; --flips)
            bytes[random.bounded(bytes.size())] = char(random.bounded(256));
        bytes.truncate(random.bounded(bytes.size() + 1));
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        CsvReader reader(&buffer, 100);
        if (reader.scan()) {
            QVERIFY(reader.loadedCount() <= 100);
            QVERIFY(reader.load(reader.sampleCount() / 2) || !reader.errorString().isEmpty());
            QVERIFY(reader.loadedCount() <= 100);
        } else {
            QVERIFY(!reader.errorString().isEmpty());
        }
    }
}

QTEST_APPLESS_MAIN(TestCsvReader)
#include "tst_csvreader.moc"

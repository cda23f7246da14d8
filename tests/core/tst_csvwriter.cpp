// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "csvwriter.h"

#include <QBuffer>
#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

class tst_CsvWriter : public QObject
{
    Q_OBJECT

private slots:
    void putNumberMatchesNumber_data();
    void putNumberMatchesNumber();
    void number_data();
    void number();
    void field_data();
    void field();
    void wholeFile();
    void batchesEqualOneBatch();
    void failedDeviceReported();
};

namespace {

CsvWriter::SHeader sampleHeader()
{
    CsvWriter::SHeader header;
    header.date = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    header.serialNumber = QStringLiteral("S;1");
    header.firmware = 0x0a1;
    header.settings = {{QStringLiteral("Gyro range"), QStringLiteral("\u00b1245 dps")}};
    header.sampleRate = 833.0;
    return header;
}

QByteArray framesCsv(const std::vector<std::vector<float>>& batches)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CsvWriter csv(&buffer);
    csv.writeHeader(sampleHeader());
    uint64_t first = 0;
    for (const std::vector<float>& batch : batches) {
        csv.writeFrames(batch, batch, first, 4.0);
        first += batch.size() / 3;
    }
    csv.flush();
    return buffer.data();
}

} // namespace

void tst_CsvWriter::putNumberMatchesNumber_data()
{
    QTest::addColumn<double>("value");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative zero") << -0.0;
    QTest::newRow("tiny negative") << -1e-12;
    QTest::newRow("tie 0.5") << 0.5;
    QTest::newRow("tie -0.015625") << -0.015625;
    QTest::newRow("tie 2.5") << 2.5;
    QTest::newRow("tie 1.0009765625") << 1.0009765625;
    QTest::newRow("float 0.1") << double(0.1f);
    QTest::newRow("nines 9.999995") << double(9.999995f);
    QTest::newRow("nines -999.9995") << double(-999.9995f);
    QTest::newRow("sensor count") << 12345 * 0.061 / 1000.0;
    QTest::newRow("2^52 boundary") << 4503599627370496.0;
    QTest::newRow("huge") << 3.4e38;
    QTest::newRow("infinity") << inf;
    QTest::newRow("minus infinity") << -inf;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
}

// The fast path writes exactly what the QString path gives, for every decimal count.
void tst_CsvWriter::putNumberMatchesNumber()
{
    QFETCH(double, value);
    for (int decimals = 1; decimals <= CsvWriter::MAX_DECIMALS; ++decimals) {
        char text[CsvWriter::NUMBER_MAX_CHARS];
        const char* end = CsvWriter::putNumber(text, value, decimals);
        QCOMPARE(QString::fromLatin1(text, end - text), CsvWriter::number(value, decimals));
    }
}

void tst_CsvWriter::number_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");

    QTest::newRow("decimal comma") << 1.5 << 3 << QStringLiteral("1,500");
    QTest::newRow("no group separator") << 1234567.0 << 1 << QStringLiteral("1234567,0");
    QTest::newRow("no decimals") << 833.0 << 0 << QStringLiteral("833");
    QTest::newRow("negative zero unsigned") << -0.0 << 2 << QStringLiteral("0,00");
}

void tst_CsvWriter::number()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(CsvWriter::number(value, decimals), text);
}

void tst_CsvWriter::field_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");

    QTest::newRow("plain") << QStringLiteral("SKV-1") << QStringLiteral("SKV-1");
    QTest::newRow("separator") << QStringLiteral("a;b") << QStringLiteral("\"a;b\"");
    QTest::newRow("quote") << QStringLiteral("a\"b") << QStringLiteral("\"a\"\"b\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QStringLiteral("\"a\rb\"");
}

void tst_CsvWriter::field()
{
    QFETCH(QString, text);
    QFETCH(QString, written);
    QCOMPARE(CsvWriter::field(text), written);
}

void tst_CsvWriter::wholeFile()
{
    const float accel[3] = {0.5f, -0.25f, 1.0f};
    const float gyro[3] = {245.0f, -0.0f, 0.125f};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CsvWriter csv(&buffer);
    csv.writeHeader(sampleHeader());
    csv.writeSample(1.25, accel, gyro);
    QVERIFY(csv.flush());

    const QByteArray expected = "\xEF\xBB\xBF"
                                "Skarvel Monitor;" SKARVEL_VERSION "\n"
                                "Date;2026-03-04 05:06:07\n"
                                "Device SN;\"S;1\"\n"
                                "Firmware;00a1\n"
                                "\n"
                                "[Settings]\n"
                                "Gyro range;\xC2\xB1"
                                "245 dps\n"
                                "Sample rate [Hz];833\n"
                                "\n"
                                "[Data]\n"
                                "Time [s];X [g];Y [g];Z [g];rX [dps];rY [dps];rZ [dps]\n"
                                "1,2500;0,50000;-0,25000;1,00000;245,000;0,000;0,125\n";
    QCOMPARE(buffer.data(), expected);
}

// A recording appends batch after batch: the same file as one batch, one mark
// at the start, times continuing across batches. Enough lines to pass a chunk.
void tst_CsvWriter::batchesEqualOneBatch()
{
    std::vector<float> all;
    for (int i = 0; i < 3 * 5000; ++i)
        all.push_back(float(i) / 7.0f);
    const std::vector<float> head(all.begin(), all.begin() + 3 * 1234);
    const std::vector<float> tail(all.begin() + 3 * 1234, all.end());

    const QByteArray whole = framesCsv({all});
    QCOMPARE(framesCsv({head, {}, tail}), whole);
    QCOMPARE(whole.count("\xEF\xBB\xBF"), 1);
    QVERIFY(whole.contains("\n1249,7500;")); // frame 4999 at 4 frames per second
}

void tst_CsvWriter::failedDeviceReported()
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadOnly);
    CsvWriter csv(&buffer);
    csv.writeHeader(sampleHeader());
    QVERIFY(!csv.flush());
}

QTEST_MAIN(tst_CsvWriter)
#include "tst_csvwriter.moc"

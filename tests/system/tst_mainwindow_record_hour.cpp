// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// An hour's recording over the simulated sensor in bursts: the file holds
// every sample the history received, in order, pandas reads it, and the
// program's memory stays bounded by the history, not by the recording.
#include "mainwindow_testing.h"

#include "csvreader.h"
#include "csvrecorder.h"
#include "csvwriter.h"

#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cmath>

using namespace testing;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESTING_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TESTING_UNDER_SANITIZER 1
#endif
#endif

// An hour at 833 samples/s; sanitizer builds record a tenth.
// SKARVEL_RECORD_SAMPLES sets the count outright.
#ifdef TESTING_UNDER_SANITIZER
constexpr quint64 DEFAULT_SAMPLES = 300000;
#else
constexpr quint64 DEFAULT_SAMPLES = 3000000;
#endif

quint64 sampleCount()
{
    bool ok = false;
    const qlonglong n = qEnvironmentVariableIntValue("SKARVEL_RECORD_SAMPLES", &ok);
    return ok && n > 0 ? quint64(n) : DEFAULT_SAMPLES;
}

constexpr quint64 SETTLING = 100;
// The sensor runs at most this many samples ahead of the history. A burst
// that is not held back runs ahead by a million samples in a second that the
// GUI thread is kept from running, and the recorder rightly refuses lines it
// would have to hold beyond its queue's limit; a real sensor is 833 ahead.
constexpr quint64 AHEAD = 100000;
// Samples the file is read back in at a time.
constexpr quint64 CHUNK = 500000;

// Bytes from /proc/self/status ("VmRSS", "VmHWM"); -1 when not there.
qint64 statusBytes(const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Samples taken from the history while it ran. A batch can be longer than
// the history keeps, so some of every batch is looked at, and at the end
// all that the history holds.
class HistoryWatch
{
public:
    struct SSample
    {
        quint64 index;
        std::array<float, 6> values; // accel X, Y, Z, gyro X, Y, Z
    };

    HistoryWatch(CLiveGraph* accel, CLiveGraph* gyro) : m_accel(accel), m_gyro(gyro) {}

    // A few of the samples stored since the last look.
    void look()
    {
        const quint64 total = m_accel->totalSampleCount();
        const quint64 stored = m_accel->storedSampleCount();
        const quint64 first = std::max(m_seen, total - stored);
        constexpr quint64 PER_LOOK = 64;
        for (quint64 index = first; index < total;
             index += std::max<quint64>(1, (total - first) / PER_LOOK))
            m_samples.push_back(take(stored - (total - index), index));
        if (total > first)
            m_samples.push_back(take(stored - 1, total - 1));
        m_seen = total;
    }
    // All that the history holds.
    void lookAtAll()
    {
        const quint64 total = m_accel->totalSampleCount();
        const quint64 stored = m_accel->storedSampleCount();
        for (quint64 i = 0; i < stored; ++i)
            m_samples.push_back(take(i, total - stored + i));
    }
    const std::vector<SSample>& samples() const { return m_samples; }

private:
    SSample take(quint64 stored, quint64 index) const
    {
        SSample sample{index, {}};
        for (int axis = 0; axis < 3; ++axis) {
            sample.values[axis] = m_accel->storedSample(axis, stored);
            sample.values[3 + axis] = m_gyro->storedSample(axis, stored);
        }
        return sample;
    }

    CLiveGraph* m_accel;
    CLiveGraph* m_gyro;
    quint64 m_seen = 0;
    std::vector<SSample> m_samples;
};

// Sample k of a reader's kept samples reads as the history's, to the file's decimals.
bool sameAsWritten(const HistoryWatch::SSample& sample, const CsvReader& reader, quint64 k)
{
    for (int axis = 0; axis < 3; ++axis) {
        const auto same = [](float a, float b, int decimals) {
            return CsvWriter::number(double(a), decimals) == CsvWriter::number(double(b), decimals);
        };
        if (!same(sample.values[axis], reader.accelFrames()[3 * k + axis],
                  CsvWriter::ACCEL_DECIMALS) ||
            !same(sample.values[3 + axis], reader.gyroFrames()[3 * k + axis],
                  CsvWriter::GYRO_DECIMALS))
            return false;
    }
    return true;
}

} // namespace

class tst_MainWindowRecordHour : public QObject
{
    Q_OBJECT

private slots:
    void hourInBurstHoldsTheHistory();
};

void tst_MainWindowRecordHour::hourInBurstHoldsTheHistory()
{
    const quint64 samples = sampleCount();
    hidsim::reset();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor();

    MainWindow window;
    WindowParts parts(window);
    ModalAnswerer modals;
    connectTo(window, modals, QStringLiteral("SKV-000001"));
    const QString path = dir.filePath(QStringLiteral("hour.csv"));
    QVERIFY(window.startRecording(path));

    // Against what the window holds now; the peak is for the log.
    {
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        QVERIFY(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1);
    }
    const qint64 rssBefore = statusBytes("VmRSS");
    QVERIFY(rssBefore > 0);

    // Bursts as the history takes the samples in; between them and after the
    // last one the sensor streams in real time, as a real one never falls silent.
    const auto release = [&] {
        const quint64 sent = sensor.model->reportsSent();
        const quint64 until =
            std::min(SETTLING + samples, SETTLING + parts.accel()->totalSampleCount() + AHEAD);
        if (sent < until)
            sensor.model->setBurst(until - sent, skarvelsim::EAfterBurst::RealTime);
    };
    HistoryWatch history(parts.accel(), parts.gyro());
    QTimer watch;
    connect(&watch, &QTimer::timeout, &window, [&] {
        history.look();
        release();
    });
    release();
    watch.start(0);
    parts.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(parts.accel()->totalSampleCount() >= samples ||
                                 !parts.action("actionRecord")->isChecked(),
                             600000);
    watch.stop();
    QVERIFY2(parts.action("actionRecord")->isChecked(), qPrintable(modals.seen().value(1).text));
    parts.action("actionStop")->trigger();
    history.look();
    const quint64 total = parts.accel()->totalSampleCount();
    QVERIFY(total >= samples);
    const qint64 peak = statusBytes("VmHWM");
    malloc_trim(0); // what was freed is not the program's
    const qint64 rssAfter = statusBytes("VmRSS");
    history.lookAtAll();
    QCOMPARE(modals.seen().size(), 1); // the device dialog only

    // The header, and the lines after it: the history's, in order.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    {
        CsvReader reader(&file, 1000);
        QVERIFY2(reader.scan(), qPrintable(reader.errorString()));
        QCOMPARE(reader.sampleCount(), total);
        QCOMPARE(reader.firstSampleIndex(), quint64(0));
        QCOMPARE(reader.header().serialNumber, QStringLiteral("SKV-000001"));
        QCOMPARE(reader.header().sampleRate, double(skarvel::SAMPLE_RATE));
        QCOMPARE(reader.header().settings.value(0).second, parts.combo("cmb_acc")->currentText());
        QCOMPARE(reader.header().settings.value(1).second, parts.combo("cmb_gyro")->currentText());
    }
    // Every sample looked at, read back in stretches of the file.
    std::vector<HistoryWatch::SSample> looked = history.samples();
    std::sort(looked.begin(), looked.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    QVERIFY(looked.size() > std::size_t(parts.accel()->maxSampleCount()));
    auto next = looked.cbegin();
    for (quint64 start = 0; start < total;) {
        CsvReader reader(&file, CHUNK);
        QVERIFY(file.seek(0));
        QVERIFY2(reader.scan() && (start == 0 || reader.load(start)),
                 qPrintable(reader.errorString()));
        // The file's last stretch is loaded whole, from before `start`.
        QVERIFY(reader.loadedStart() <= start);
        QVERIFY(reader.loadedStart() + reader.loadedCount() > start);
        start = reader.loadedStart() + reader.loadedCount();
        for (; next != looked.cend() && next->index < start; ++next) {
            if (!sameAsWritten(*next, reader, next->index - reader.loadedStart()))
                QFAIL(qPrintable(QStringLiteral("sample %1 differs").arg(next->index)));
        }
    }
    QVERIFY(next == looked.cend());
    const qint64 fileSize = file.size();
    file.close();

#ifndef TESTING_UNDER_SANITIZER
    // The history's frames, twice for the graphs' summaries, and the
    // recorder's queue with the batch being written. The recording itself is
    // more. The peak is left unchecked: in burst mode a busy machine lets the
    // read thread's batches grow beyond any real sensor's.
    const qint64 historyBytes =
        2 * 6 * qint64(parts.accel()->maxSampleCount()) * qint64(sizeof(float));
    const qint64 bound = 2 * historyBytes + 2 * CsvRecorder::QUEUE_LIMIT_BYTES;
    QVERIFY2(rssAfter - rssBefore <= bound, qPrintable(QStringLiteral("grew %1 MB of %2 MB allowed")
                                                           .arg((rssAfter - rssBefore) >> 20)
                                                           .arg(bound >> 20)));
    QVERIFY(fileSize > bound);
    qInfo("grew %lld MB (at the peak %lld MB) of %lld MB allowed; the file has %lld MB",
          (rssAfter - rssBefore) >> 20, (peak - rssBefore) >> 20, bound >> 20, fileSize >> 20);
#else
    Q_UNUSED(peak);
    Q_UNUSED(rssAfter);
    Q_UNUSED(fileSize);
#endif

    QJsonObject table;
    const QString skipped = readWithPandas(path, &table);
    if (!skipped.isEmpty())
        QSKIP(qPrintable(skipped));
    QCOMPARE(table.value(QStringLiteral("rows")).toInteger(), qint64(total));
    QVERIFY(table.value(QStringLiteral("numbers")).toBool());
    QCOMPARE(table.value(QStringLiteral("last")).toDouble(),
             std::round(double(total - 1) / skarvel::SAMPLE_RATE * 1e4) / 1e4);
}

QTEST_MAIN(tst_MainWindowRecordHour)
#include "tst_mainwindow_record_hour.moc"

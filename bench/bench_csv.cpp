// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Time to save a full 300 s history as CSV, beside the time pandas needs to
// write the same table in the same format on this machine; then the time to
// read that file back, beside pandas reading the same file.
//
//   bench_csv [runs]      (default 7; prints medians)
//
// pandas is run under Debian's /usr/bin/python3; without it only the
// program's own figure is printed.
#include "clivegraph.h"
#include "csvreader.h"
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr quint64 HISTORY_FRAMES = 249900; // 300 s at 833 samples/s
constexpr quint64 DROPPED_FRAMES = 4321;   // so that the time column starts above 0
constexpr double ACCEL_FULL_SCALE = 2.0;
constexpr double GYRO_FULL_SCALE = 245.0;

const char* const PANDAS_SCRIPT = R"(
import sys, time, statistics
try:
    import numpy as np
    import pandas as pd
except ImportError:
    sys.exit(3)
data_path, out_path, dropped, runs = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
saved_path = sys.argv[5]
values = np.fromfile(data_path, dtype='<f4').reshape(-1, 6).astype('float64')
frame = pd.DataFrame({
    'Time [s]': (np.arange(len(values)) + dropped) / 833.0,
    'X [g]': values[:, 0], 'Y [g]': values[:, 1], 'Z [g]': values[:, 2],
    'rX [dps]': values[:, 3], 'rY [dps]': values[:, 4], 'rZ [dps]': values[:, 5],
})
header = ('Skarvel Monitor;1.0.0\nDate;2000-01-01 00:00:00\nDevice SN;SKV-000001\n'
          'Firmware;0102\n\n[Settings]\nAcceleration range;\u00b12 g\nGyro range;\u00b1245 dps\n'
          'Accel filter;LP1 only\nAccel cutoff;416.5 Hz\nAccel low latency;No\n'
          'Gyro high pass;Off\nSample rate [Hz];833\n\n[Data]\n')
decimals = {'Time [s]': 4, 'X [g]': 5, 'Y [g]': 5, 'Z [g]': 5,
            'rX [dps]': 3, 'rY [dps]': 3, 'rZ [dps]': 3}

def one_format():
    with open(out_path, 'w', encoding='utf-8-sig', newline='\n') as f:
        f.write(header)
        frame.to_csv(f, sep=';', decimal=',', float_format='%.5f', index=False)

def per_column():
    formatted = pd.DataFrame({
        name: frame[name].map(('{:.%df}' % d).format).str.replace('.', ',', regex=False)
        for name, d in decimals.items()})
    with open(out_path, 'w', encoding='utf-8-sig', newline='\n') as f:
        f.write(header)
        formatted.to_csv(f, sep=';', index=False)

print('version', pd.__version__)
for name, write in (('one', one_format), ('per_column', per_column)):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        write()
        times.append(time.perf_counter() - start)
    print(name, statistics.median(times) * 1000.0, min(times) * 1000.0, max(times) * 1000.0)

times = []
for _ in range(runs):
    start = time.perf_counter()
    table = pd.read_csv(saved_path, sep=';', decimal=',', skiprows=15, encoding='utf-8-sig')
    times.append(time.perf_counter() - start)
assert table.shape == (len(values), 7)
print('read', statistics.median(times) * 1000.0, min(times) * 1000.0, max(times) * 1000.0)
)";

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;

    MainWindow window;
    auto* accel = window.findChild<CLiveGraph*>(QStringLiteral("widget_accel"));
    auto* gyro = window.findChild<CLiveGraph*>(QStringLiteral("widget_gyro"));
    if (!accel || !gyro) {
        std::fprintf(stderr, "graphs not found\n");
        return 1;
    }

    // Sensor counts as the window converts them: noise around a slow motion.
    const quint64 frames = HISTORY_FRAMES + DROPPED_FRAMES;
    std::mt19937 random(833);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<float> accelValues;
    std::vector<float> gyroValues;
    accelValues.reserve(3 * frames);
    gyroValues.reserve(3 * frames);
    for (quint64 i = 0; i < frames; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            const double motion = 8000.0 * std::sin(double(i) * 0.002 * (axis + 1));
            const auto count = [&](double base) {
                return std::clamp(int(base + noise(random)), -32768, 32767);
            };
            accelValues.push_back(float(count(motion) * ACCEL_FULL_SCALE / 32768.0));
            gyroValues.push_back(float(count(-motion) * GYRO_FULL_SCALE / 32768.0));
        }
    }
    accel->appendSamples(accelValues);
    gyro->appendSamples(gyroValues);
    if (accel->storedSampleCount() != HISTORY_FRAMES) {
        std::fprintf(stderr, "expected a full history\n");
        return 1;
    }

    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("history.csv"));
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!window.writeCsv(csvPath)) {
            std::fprintf(stderr, "writeCsv failed\n");
            return 1;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("writeCsv: %llu data lines, %.1f MB: median %.1f ms (min %.1f, max %.1f) over %d "
                "runs\n",
                static_cast<unsigned long long>(HISTORY_FRAMES),
                double(QFileInfo(csvPath).size()) / 1e6, median(times),
                *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), runs);

    times.clear();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QFile file(csvPath);
        CsvReader reader(&file, HISTORY_FRAMES);
        if (!file.open(QIODevice::ReadOnly) || !reader.scan() ||
            reader.loadedCount() != HISTORY_FRAMES) {
            std::fprintf(stderr, "reading failed: %s\n", qPrintable(reader.errorString()));
            return 1;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("CsvReader (checks every line, keeps the samples): median %.1f ms (min %.1f, max "
                "%.1f) over %d runs\n",
                median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), runs);

    // The same stored values for pandas: six float32 per frame, oldest first.
    const QString dataPath = dir.filePath(QStringLiteral("history.f32"));
    {
        QFile data(dataPath);
        if (!data.open(QIODevice::WriteOnly))
            return 1;
        for (quint64 i = 0; i < HISTORY_FRAMES; ++i) {
            float frame[6];
            for (int series = 0; series < 3; ++series) {
                frame[series] = accel->storedSample(series, i);
                frame[3 + series] = gyro->storedSample(series, i);
            }
            data.write(reinterpret_cast<const char*>(frame), sizeof frame);
        }
    }

    const QString python = QStringLiteral("/usr/bin/python3");
    QProcess pandas;
    pandas.start(python, {QStringLiteral("-c"), QString::fromUtf8(PANDAS_SCRIPT), dataPath,
                          dir.filePath(QStringLiteral("pandas.csv")),
                          QString::number(DROPPED_FRAMES), QString::number(runs), csvPath});
    if (!pandas.waitForFinished(-1) || pandas.exitStatus() != QProcess::NormalExit) {
        std::printf("pandas: %s could not be run\n", qPrintable(python));
        return 0;
    }
    if (pandas.exitCode() == 3) {
        std::printf("pandas: not installed for %s\n", qPrintable(python));
        return 0;
    }
    if (pandas.exitCode() != 0) {
        std::printf("pandas failed:\n%s\n", pandas.readAllStandardError().constData());
        return 1;
    }
    QString version;
    for (const QByteArray& line : pandas.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2 && fields[0] == "version")
            version = QString::fromUtf8(fields[1]);
        if (fields.size() != 4)
            continue;
        const char* label =
            fields[0] == "one"
                ? "to_csv(sep=';', decimal=',', float_format='%.5f'), one format for all columns"
            : fields[0] == "read" ? "read_csv(sep=';', decimal=',') of the saved file"
                                  : "per-column decimals 4/5/3 (Series.map + to_csv(sep=';'))";
        std::printf("pandas %s, %s: median %.1f ms (min %.1f, max %.1f) over %d runs\n",
                    qPrintable(version.isEmpty() ? QStringLiteral("?") : version), label,
                    fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble(), runs);
    }
    return 0;
}

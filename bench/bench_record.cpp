// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What skarvel-record costs while it records a real-time simulated sensor:
// CPU time of the process per second of recording, against the same sensor
// only read by the read thread, which is what the simulated sensor and the
// transport cost without any recording.
//   bench_record [--seconds N] [FILE]   (default 30 s, a temporary file)
#include "cskarvel.h"
#include "headlessrecorder.h"
#include "recordoptions.h"
#include "skarvelmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct SMeasure
{
    double cpu = 0.0;
    double wall = 0.0;
    double percent() const { return wall > 0.0 ? 100.0 * cpu / wall : 0.0; }
};

// The read thread alone, counting samples.
SMeasure readOnly(int seconds, quint64& samples)
{
    std::atomic<quint64> count{0};
    CSkarvel sensor;
    if (!sensor.Connect(L"SKV-000001"))
        return {};
    QElapsedTimer wall;
    const double cpu = cpuSeconds();
    wall.start();
    sensor.StartSensorThread([&count](const SSkarvelSample&) { count.fetch_add(1); });
    QThread::sleep(unsigned(seconds));
    sensor.StopSensorThread();
    const SMeasure measure{cpuSeconds() - cpu, double(wall.nsecsElapsed()) / 1e9};
    sensor.Disconnect();
    samples = count.load();
    return measure;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    QString file;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--seconds") && i + 1 < arguments.size())
            seconds = arguments[++i].toInt();
        else
            file = arguments[i];
    }
    QTemporaryDir dir;
    if (file.isEmpty())
        file = dir.filePath(QStringLiteral("bench_record.csv"));
    if (seconds < 1)
        return 2;

    skarvelsim::addSensor();
    quint64 read = 0;
    const SMeasure baseline = readOnly(seconds, read);

    RecordOptions options;
    if (!options.parse({QStringLiteral("bench_record"), QStringLiteral("--duration"),
                        QStringLiteral("%1s").arg(seconds), file}))
        return 2;
    HeadlessRecorder recorder(options, stderr);
    QElapsedTimer wall;
    const double cpu = cpuSeconds();
    wall.start();
    const int status = recorder.exec();
    const SMeasure recording{cpuSeconds() - cpu, double(wall.nsecsElapsed()) / 1e9};
    if (status != recordstatus::OK)
        return status;

    std::printf("recording %d s at 833 samples/s to %s (%lld bytes)\n", seconds, qPrintable(file),
                QFileInfo(file).size());
    std::printf("  whole process:                 %6.2f %% of a core (%.2f s CPU in %.1f s)\n",
                recording.percent(), recording.cpu, recording.wall);
    std::printf("  simulated sensor + read thread: %5.2f %% of a core (%llu samples read)\n",
                baseline.percent(), static_cast<unsigned long long>(read));
    std::printf("  the recording itself:          %6.2f %% of a core\n",
                recording.percent() - baseline.percent());
    return 0;
}

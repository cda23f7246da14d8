// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What one spectrum update of both graphs costs (six axes: copy out of the
// graph's history, window, FFT, amplitudes, peak) at every FFT length, and the
// share of a core that costs at the spectrum's update rate of 5 per second.
//
//   bench_spectrum [--repeat N]
#include "clivegraph.h"
#include "spectrumanalyzer.h"

#include <QApplication>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

namespace {

// CPU time of this thread: the machine may be shared, and waiting is no cost.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int repeat = 50;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--repeat"));
    if (at >= 0 && at + 1 < args.size())
        repeat = std::max(1, args[at + 1].toInt());

    constexpr double RATE = 833.0;
    CLiveGraph graph;
    for (const char* name : {"X", "Y", "Z"})
        graph.addSeries(QString::fromLatin1(name), Qt::red);
    graph.setSampleRate(RATE);
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    std::vector<float> frames;
    const quint64 total = graph.maxSampleCount();
    frames.reserve(std::size_t(total) * 3);
    for (quint64 i = 0; i < total; ++i)
        for (int s = 0; s < 3; ++s)
            frames.push_back(
                float(0.05 * std::sin(2.0 * 3.14159265358979 * 6.5 * double(i) / RATE)) +
                noise(rng));
    graph.appendSamples(frames);

    SpectrumAnalyzer analyzer(RATE);
    std::vector<SpectrumAnalyzer::SSpectrum> spectra(3);
    std::printf("%-8s %14s %14s\n", "length", "CPU ms/update", "core at 5 Hz");
    for (std::size_t length = 1024; length <= SpectrumAnalyzer::MAX_LENGTH; length *= 2) {
        const quint64 first = total - length;
        double start = 0.0;
        for (int r = -1; r < repeat; ++r) { // the first round makes the plan
            if (r == 0)
                start = cpuMs();
            for (int graphs = 0; graphs < 2; ++graphs) { // acceleration and angular rate
                for (int s = 0; s < 3; ++s) {
                    graph.copyStoredSamples(s, first, total, analyzer.input(length));
                    analyzer.transform(spectra[std::size_t(s)]);
                }
            }
        }
        const double ms = (cpuMs() - start) / repeat;
        std::printf("%-8zu %14.3f %13.2f%%\n", length, ms, ms * 5.0 / 10.0);
    }
    return 0;
}

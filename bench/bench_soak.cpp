// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The long soak: bench_soak [reports] [changes] (10,000,000 and 1,000 unless
// given) through the read thread, decoding, the measurement session, the
// update ticks and the graphs; prints what was streamed, stored, dropped by
// design and lost, and the memory.
#include "soakrun.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const uint64_t reports = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;
    const int changes = argc > 2 ? std::atoi(argv[2]) : 1000;

    const soak::SResult r = soak::run(reports, changes);
    if (!r.error.empty()) {
        std::fprintf(stderr, "bench_soak: %s\n", r.error.c_str());
        return 1;
    }
    std::printf("reports streamed      %llu in %.1f s (%.0f per second)\n",
                (unsigned long long)r.reports, r.seconds, double(r.decoded) / r.seconds);
    std::printf("decoded               %llu (%llu out of sequence)\n",
                (unsigned long long)r.decoded, (unsigned long long)r.decodeFaults);
    std::printf("stored                %llu\n", (unsigned long long)r.stored);
    std::printf("dropped by design     %llu after %d starts and changes (%d failed)\n",
                (unsigned long long)r.designedDiscards, r.parameterChanges + 1, r.failedChanges);
    std::printf("lost                  %llu\n", (unsigned long long)r.lost);
    std::printf("repeated or reordered %llu\n", (unsigned long long)r.repeatedOrReordered);
    std::printf("lost connections      %d\n", r.lostConnections);
    std::printf("graphs                %llu stored of %llu history, %llu faults\n",
                (unsigned long long)r.storedInGraphs, (unsigned long long)r.historyLimit,
                (unsigned long long)r.graphFaults);
    std::printf("resident memory       %ld kB with the history full, peak %ld kB after\n",
                r.rssAtFullHistoryKb, r.peakRssAfterFullKb);
    const bool clean = r.decodeFaults == 0 && r.lost == 0 && r.repeatedOrReordered == 0 &&
                       r.graphFaults == 0 && r.lostConnections == 0 &&
                       r.stored + r.designedDiscards == r.reports;
    return clean ? 0 : 2;
}

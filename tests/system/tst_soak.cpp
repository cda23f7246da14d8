// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A bounded soak: SKARVEL_SOAK_REPORTS numbered reports (1,000,000 unless
// set) in burst mode through the whole pipeline, one parameter change per
// 10,000 reports. Nothing may be lost, repeated or reordered beyond the
// settling samples dropped after each start and change, and memory stays
// bounded once the graphs' history is full. bench_soak runs the long one.
#include "soakrun.h"

#include <QApplication>
#include <QtTest>

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void numberedReportsArriveOnceInOrder();
};

void tst_Soak::numberedReportsArriveOnceInOrder()
{
    bool ok = false;
    const qlonglong fromEnv = qEnvironmentVariable("SKARVEL_SOAK_REPORTS").toLongLong(&ok);
    const uint64_t reports = ok && fromEnv > 0 ? uint64_t(fromEnv) : 1000000;
    const int changes = int(reports / 10000);

    const soak::SResult r = soak::run(reports, changes);
    QVERIFY2(r.error.empty(), r.error.c_str());
    qInfo("%llu reports in %.1f s: %llu stored, %llu dropped by design after %d changes; "
          "%llu lost, %llu repeated or reordered",
          (unsigned long long)r.reports, r.seconds, (unsigned long long)r.stored,
          (unsigned long long)r.designedDiscards, r.parameterChanges, (unsigned long long)r.lost,
          (unsigned long long)r.repeatedOrReordered);

    QCOMPARE(r.decoded, reports);
    QCOMPARE(r.decodeFaults, uint64_t(0));
    QCOMPARE(r.lost, uint64_t(0));
    QCOMPARE(r.repeatedOrReordered, uint64_t(0));
    QCOMPARE(r.parameterChanges, changes);
    QCOMPARE(r.failedChanges, 0);
    QCOMPARE(r.lostConnections, 0);
    // Every number is either stored or one of the designed drops.
    QCOMPARE(r.stored + r.designedDiscards, reports);
    QVERIFY(r.designedDiscards >= uint64_t(changes + 1) * MeasurementSession::SETTLING_SAMPLES);
    QCOMPARE(r.graphFaults, uint64_t(0));
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps freed blocks resident in its quarantine.
    const bool residentMeaningful = false;
#else
    const bool residentMeaningful = true;
#endif
    if (residentMeaningful && r.rssAtFullHistoryKb >= 0) {
        // Past the full history only the graphs' block churn and one tick's
        // batch come and go.
        const long growthKb = r.peakRssAfterFullKb - r.rssAtFullHistoryKb;
        qInfo("resident %ld kB with the history full, at most %ld kB more after it",
              r.rssAtFullHistoryKb, growthKb);
        QVERIFY2(growthKb < 64 * 1024, qPrintable(QString::number(growthKb)));
    }
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"

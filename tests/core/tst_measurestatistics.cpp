// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The cursors' statistics against a plain computation over the same values,
// NaN and infinities included, and the nearest-sample rule.
#include "measurestatistics.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

Q_DECLARE_METATYPE(std::vector<float>)

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();

std::vector<float> ramp(int count, float start, float step)
{
    std::vector<float> values;
    for (int i = 0; i < count; ++i)
        values.push_back(start + float(i) * step);
    return values;
}

} // namespace

class tst_MeasureStatistics : public QObject
{
    Q_OBJECT

private slots:
    void compute_data();
    void compute();
    void nearestIndex_data();
    void nearestIndex();
};

void tst_MeasureStatistics::compute_data()
{
    QTest::addColumn<std::vector<float>>("values");
    QTest::addColumn<quint64>("nonFinite");

    QTest::newRow("one value") << std::vector<float>{0.25f} << quint64(0);
    QTest::newRow("ramp 0..9") << ramp(10, 0.0f, 1.0f) << quint64(0);
    QTest::newRow("falling negative ramp") << ramp(1001, 2.0f, -0.004f) << quint64(0);
    QTest::newRow("a sensor's full history") << ramp(249900, -1.0f, 0.00001f) << quint64(0);
    QTest::newRow("NaN first") << std::vector<float>{NaN, 1.0f, -2.0f, 3.0f} << quint64(1);
    QTest::newRow("NaN in the middle") << std::vector<float>{1.0f, NaN, -2.0f, 3.0f} << quint64(1);
    QTest::newRow("NaN last") << std::vector<float>{1.0f, -2.0f, 3.0f, NaN} << quint64(1);
    QTest::newRow("+inf") << std::vector<float>{1.0f, INF, -2.0f} << quint64(1);
    QTest::newRow("-inf first") << std::vector<float>{-INF, 1.0f, -2.0f} << quint64(1);
    QTest::newRow("NaN and both infinities")
        << std::vector<float>{INF, 0.5f, NaN, -INF, 0.75f, NaN} << quint64(4);
    QTest::newRow("only NaN") << std::vector<float>{NaN, NaN} << quint64(2);
    QTest::newRow("only infinities") << std::vector<float>{INF, -INF} << quint64(2);
    QTest::newRow("none") << std::vector<float>{} << quint64(0);
}

void tst_MeasureStatistics::compute()
{
    QFETCH(std::vector<float>, values);
    QFETCH(quint64, nonFinite);

    // The plain way: keep the finite values, then the textbook formulas.
    std::vector<double> finite;
    for (float v : values) {
        if (std::isfinite(v))
            finite.push_back(double(v));
    }

    const MeasureStatistics::SStatistics statistics =
        MeasureStatistics::compute(values.data(), values.size());
    QCOMPARE(statistics.count, quint64(values.size()));
    QCOMPARE(statistics.nonFinite, nonFinite);
    QCOMPARE(statistics.valid(), !finite.empty());
    if (finite.empty())
        return;
    const double lo = *std::min_element(finite.begin(), finite.end());
    const double hi = *std::max_element(finite.begin(), finite.end());
    const double n = double(finite.size());
    const double mean = std::accumulate(finite.begin(), finite.end(), 0.0) / n;
    const double rms =
        std::sqrt(std::inner_product(finite.begin(), finite.end(), finite.begin(), 0.0) / n);
    QCOMPARE(statistics.minimum, lo);
    QCOMPARE(statistics.maximum, hi);
    QCOMPARE(statistics.peakToPeak, hi - lo);
    QCOMPARE(statistics.mean, mean);
    QCOMPARE(statistics.rms, rms);
    QVERIFY(std::isfinite(statistics.mean) && std::isfinite(statistics.rms));
}

void tst_MeasureStatistics::nearestIndex_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("end");
    QTest::addColumn<quint64>("expected");

    QTest::newRow("on a sample") << 12.0 << quint64(10) << quint64(20) << quint64(12);
    QTest::newRow("below the middle") << 12.49 << quint64(10) << quint64(20) << quint64(12);
    QTest::newRow("tie goes later") << 12.5 << quint64(10) << quint64(20) << quint64(13);
    QTest::newRow("above the middle") << 12.51 << quint64(10) << quint64(20) << quint64(13);
    QTest::newRow("before the first") << 3.0 << quint64(10) << quint64(20) << quint64(10);
    QTest::newRow("negative") << -5.0 << quint64(0) << quint64(20) << quint64(0);
    QTest::newRow("last") << 19.4 << quint64(10) << quint64(20) << quint64(19);
    QTest::newRow("past the last") << 1e30 << quint64(10) << quint64(20) << quint64(19);
    QTest::newRow("NaN") << qQNaN() << quint64(10) << quint64(20) << quint64(10);
    QTest::newRow("one sample") << 7.0 << quint64(5) << quint64(6) << quint64(5);
}

void tst_MeasureStatistics::nearestIndex()
{
    QFETCH(double, position);
    QFETCH(quint64, first);
    QFETCH(quint64, end);
    QFETCH(quint64, expected);
    QCOMPARE(MeasureStatistics::nearestIndex(position, first, end), expected);
}

QTEST_MAIN(tst_MeasureStatistics)
#include "tst_measurestatistics.moc"

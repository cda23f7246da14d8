// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Amplitude spectra of synthetic signals: sine peaks read back within 1 % in
// frequency and amplitude wherever they fall between bins, white noise lands on
// the Hann window's floor, and bad or short input leaves no false spectrum.
#include "spectrumanalyzer.h"

#include <QtTest>

#include <cmath>
#include <random>
#include <thread>

namespace {

constexpr double RATE = 833.0;
constexpr double PI = 3.14159265358979323846;

struct STone
{
    double frequency;
    double amplitude;
};

std::vector<float> tones(std::size_t count, const std::vector<STone>& parts, double offset = 0.0)
{
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        double v = offset;
        for (const STone& t : parts)
            v += t.amplitude * std::sin(2.0 * PI * t.frequency * double(i) / RATE + 0.3);
        samples[i] = float(v);
    }
    return samples;
}

// The interpolated peak of the strongest bin within `bins` bins of a frequency.
SpectrumAnalyzer::SPeak peakNear(const SpectrumAnalyzer::SSpectrum& s, double frequency,
                                 double binWidth, std::size_t bins = 3)
{
    const auto centre = std::size_t(std::lround(frequency / binWidth));
    std::size_t best = std::max<std::size_t>(1, centre - std::min(centre, bins));
    for (std::size_t k = best; k <= std::min(centre + bins, s.amplitude.size() - 1); ++k)
        if (s.amplitude[k] > s.amplitude[best])
            best = k;
    return SpectrumAnalyzer::interpolatePeak(s.amplitude, best, binWidth);
}

} // namespace

class TestSpectrumAnalyzer : public QObject
{
    Q_OBJECT

private slots:
    void fftLength_data();
    void fftLength();
    void sinePeak_data();
    void sinePeak();
    void severalTones();
    void slowDriftIsNoPeak();
    void whiteNoiseFloor();
    void badInput_data();
    void badInput();
    void analyzersOnSeveralThreads();
};

void TestSpectrumAnalyzer::fftLength_data()
{
    QTest::addColumn<qulonglong>("count");
    QTest::addColumn<qulonglong>("length");
    QTest::newRow("15") << 15ull << 0ull;
    QTest::newRow("16") << 16ull << 16ull;
    QTest::newRow("4165 (5 s)") << 4165ull << 4096ull;
    QTest::newRow("65536") << 65536ull << 65536ull;
    QTest::newRow("249900 (300 s)") << 249900ull << 65536ull;
}

void TestSpectrumAnalyzer::fftLength()
{
    QFETCH(qulonglong, count);
    QFETCH(qulonglong, length);
    QCOMPARE(qulonglong(SpectrumAnalyzer::fftLength(count)), length);
}

void TestSpectrumAnalyzer::sinePeak_data()
{
    QTest::addColumn<qulonglong>("count");
    QTest::addColumn<double>("bin"); // the tone's position in bins
    QTest::addColumn<double>("amplitude");
    // 4096 points: 0.2034 Hz per bin; 1024 points: 0.8135 Hz per bin.
    for (double offset : {0.0, 0.1, 0.25, 0.4, 0.5}) {
        const QByteArray off = QByteArray::number(offset);
        QTest::newRow("4096, bin 32+" + off) << 4096ull << 32.0 + offset << 1.0;
        QTest::newRow("1024, bin 200+" + off) << 1024ull << 200.0 + offset << 0.02;
    }
    QTest::newRow("near 0 Hz, bin 3.5") << 4096ull << 3.5 << 0.5;
    QTest::newRow("near 0 Hz, bin 5.25 of 1024") << 1024ull << 5.25 << 3.0;
    QTest::newRow("near 416.5 Hz, bin 2044.5") << 4096ull << 2044.5 << 1.0;
    QTest::newRow("near 416.5 Hz, bin 508.3 of 1024") << 1024ull << 508.3 << 250.0;
    QTest::newRow("65536, bin 511.7 (6.5 Hz)") << 65536ull << 6.5 / (RATE / 65536) << 0.05;
}

void TestSpectrumAnalyzer::sinePeak()
{
    QFETCH(qulonglong, count);
    QFETCH(double, bin);
    QFETCH(double, amplitude);
    const double frequency = bin * RATE / double(count);
    // An offset the mean removal has to take away.
    const std::vector<float> samples = tones(count, {{frequency, amplitude}}, 1.5);

    SpectrumAnalyzer analyzer(RATE);
    SpectrumAnalyzer::SSpectrum s;
    analyzer.analyze(samples.data(), samples.size(), s);
    QVERIFY(s.valid);
    QCOMPARE(s.amplitude.size(), std::size_t(count / 2 + 1));
    QVERIFY2(std::fabs(s.peak.frequency - frequency) <= 0.01 * frequency,
             qPrintable(QStringLiteral("%1 Hz for %2 Hz").arg(s.peak.frequency).arg(frequency)));
    QVERIFY2(std::fabs(s.peak.amplitude - amplitude) <= 0.01 * amplitude,
             qPrintable(QStringLiteral("%1 for %2").arg(s.peak.amplitude).arg(amplitude)));
    // Far from the tone the window's side lobes have fallen below -80 dB.
    const auto far =
        std::size_t(bin) > s.amplitude.size() / 2 ? std::size_t(bin) / 2 : std::size_t(bin) + 100;
    if (far < s.amplitude.size())
        QVERIFY(s.amplitude[far] < 1e-4 * amplitude);
}

void TestSpectrumAnalyzer::severalTones()
{
    const std::vector<STone> parts = {{6.5, 0.05}, {50.3, 0.2}, {123.45, 0.01}, {400.0, 0.1}};
    const std::vector<float> samples = tones(16384, parts);
    SpectrumAnalyzer analyzer(RATE);
    SpectrumAnalyzer::SSpectrum s;
    analyzer.analyze(samples.data(), samples.size(), s);
    QVERIFY(s.valid);
    const double bw = analyzer.binWidth(16384);
    QCOMPARE(s.peak.frequency > 50.0 && s.peak.frequency < 50.6, true); // the strongest
    for (const STone& t : parts) {
        const SpectrumAnalyzer::SPeak p = peakNear(s, t.frequency, bw);
        QVERIFY2(std::fabs(p.frequency - t.frequency) <= 0.01 * t.frequency,
                 qPrintable(QString::number(p.frequency)));
        QVERIFY2(std::fabs(p.amplitude - t.amplitude) <= 0.01 * t.amplitude,
                 qPrintable(QStringLiteral("%1 at %2 Hz").arg(p.amplitude).arg(t.frequency)));
    }
}

void TestSpectrumAnalyzer::slowDriftIsNoPeak()
{
    // A slow tilt, a third of a period in the block, six times stronger than the
    // vibration: the mean removal leaves most of it in bin 1.
    constexpr std::size_t N = 4096;
    const double bin = RATE / N;
    const std::vector<float> samples = tones(N, {{0.3 * bin, 0.3}, {40.3 * bin, 0.05}});
    SpectrumAnalyzer analyzer(RATE);
    SpectrumAnalyzer::SSpectrum s;
    analyzer.analyze(samples.data(), samples.size(), s);
    QVERIFY(s.amplitude[1] > 0.05f);
    QVERIFY(std::fabs(s.peak.frequency - 40.3 * bin) < 0.01 * 40.3 * bin);
    QVERIFY(std::fabs(s.peak.amplitude - 0.05) < 0.0005);
}

void TestSpectrumAnalyzer::whiteNoiseFloor()
{
    // Zero-mean noise of standard deviation sigma: each Hann-windowed bin's
    // mean squared amplitude is 4 sigma^2 sum(w^2) / sum(w)^2 = 6 sigma^2 / N.
    constexpr std::size_t N = 65536;
    constexpr double SIGMA = 0.3;
    std::mt19937 rng(42);
    std::normal_distribution<float> noise(0.0f, float(SIGMA));
    std::vector<float> samples(N);
    for (float& v : samples)
        v = noise(rng);
    SpectrumAnalyzer analyzer(RATE);
    SpectrumAnalyzer::SSpectrum s;
    analyzer.analyze(samples.data(), samples.size(), s);
    QVERIFY(s.valid);
    double meanSquare = 0.0;
    for (std::size_t k = 1; k + 1 < s.amplitude.size(); ++k)
        meanSquare += double(s.amplitude[k]) * s.amplitude[k];
    meanSquare /= double(s.amplitude.size() - 2);
    const double expected = 6.0 * SIGMA * SIGMA / double(N);
    QVERIFY2(std::fabs(meanSquare / expected - 1.0) < 0.03,
             qPrintable(QStringLiteral("%1 vs %2").arg(meanSquare).arg(expected)));
}

void TestSpectrumAnalyzer::badInput_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("badEvery"); // every n-th sample is bad; 0: none
    QTest::addColumn<float>("bad");
    QTest::addColumn<bool>("valid");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("one NaN in 1024") << 4096 << 1024 << nan << true;
    QTest::newRow("infinity every 64th")
        << 4096 << 64 << std::numeric_limits<float>::infinity() << true;
    QTest::newRow("all NaN") << 4096 << 1 << nan << false;
    QTest::newRow("15 samples") << 15 << 0 << 0.0f << false;
    QTest::newRow("none") << 0 << 0 << 0.0f << false;
}

void TestSpectrumAnalyzer::badInput()
{
    QFETCH(int, count);
    QFETCH(int, badEvery);
    QFETCH(float, bad);
    QFETCH(bool, valid);
    std::vector<float> samples = tones(std::size_t(count), {{100.0, 1.0}}, 2.0);
    for (std::size_t i = 0; badEvery > 0 && i < samples.size(); i += std::size_t(badEvery))
        samples[i] = bad;
    SpectrumAnalyzer analyzer(RATE);
    SpectrumAnalyzer::SSpectrum s;
    // A previous result must not survive.
    const std::vector<float> earlier = tones(64, {{10.0, 1.0}});
    analyzer.analyze(earlier.data(), earlier.size(), s);
    QVERIFY(s.valid);
    analyzer.analyze(samples.data(), samples.size(), s);
    QCOMPARE(s.valid, valid);
    if (!valid) {
        QVERIFY(s.amplitude.empty());
        QCOMPARE(s.peak.amplitude, 0.0);
        return;
    }
    for (float a : s.amplitude)
        QVERIFY(std::isfinite(a));
    // A bad sample takes its share of the signal away, nothing more.
    QVERIFY(std::fabs(s.peak.frequency - 100.0) < 0.1);
    QVERIFY(std::fabs(s.peak.amplitude - 1.0) < 3.0 / badEvery);
}

void TestSpectrumAnalyzer::analyzersOnSeveralThreads()
{
    // Every thread asks for lengths no plan exists for yet, so plans are made
    // concurrently; the sanitizer builds watch the planner's guard.
    std::vector<std::thread> threads;
    std::vector<double> found(4, 0.0);
    for (std::size_t t = 0; t < found.size(); ++t) {
        threads.emplace_back([t, &found] {
            SpectrumAnalyzer analyzer(RATE);
            SpectrumAnalyzer::SSpectrum s;
            for (std::size_t length = 32; length <= 8192; length *= 2) {
                const std::vector<float> samples = tones(length, {{50.0 + double(t), 1.0}});
                analyzer.analyze(samples.data(), samples.size(), s);
            }
            found[t] = s.peak.frequency;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 0; t < found.size(); ++t)
        QVERIFY(std::fabs(found[t] - (50.0 + double(t))) < 0.05);
}

QTEST_APPLESS_MAIN(TestSpectrumAnalyzer)
#include "tst_spectrumanalyzer.moc"

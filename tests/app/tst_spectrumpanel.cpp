// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The spectrum panel over two live graphs: it analyses the samples the graphs
// show, and recomputes only when they change (and not at all while hidden).
#include "clivegraph.h"
#include "cspectrumview.h"
#include "spectrumpanel.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr double RATE = 833.0;
constexpr double PI = 3.14159265358979323846;

// Appends count frames of three sines (X at f, Y at 2f, Z at 3f, amplitude a).
void appendTones(CLiveGraph& graph, quint64 first, quint64 count, double f, double a)
{
    std::vector<float> frames;
    frames.reserve(std::size_t(count) * 3);
    for (quint64 i = first; i < first + count; ++i)
        for (int s = 1; s <= 3; ++s)
            frames.push_back(float(a * std::sin(2.0 * PI * s * f * double(i) / RATE)));
    graph.appendSamples(frames);
}

} // namespace

class TestSpectrumPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void analysesVisibleSamples_data();
    void analysesVisibleSamples();
    void recomputesOnlyOnChange();
    void recomputesForOtherDataOfSameLength_data();
    void recomputesForOtherDataOfSameLength();
    void hiddenCostsNothing();

private:
    CLiveGraph* m_accel = nullptr;
    CLiveGraph* m_gyro = nullptr;
    SpectrumPanel* m_panel = nullptr;
};

void TestSpectrumPanel::init()
{
    m_accel = new CLiveGraph;
    m_gyro = new CLiveGraph;
    for (CLiveGraph* graph : {m_accel, m_gyro}) {
        for (const char* name : {"X", "Y", "Z"})
            graph->addSeries(QString::fromLatin1(name), Qt::red);
        graph->setSampleRate(RATE);
        graph->setTimeWindow(5.0);
    }
    m_panel = new SpectrumPanel(m_accel, m_gyro, RATE);
}

void TestSpectrumPanel::cleanup()
{
    delete m_panel;
    delete m_accel;
    delete m_gyro;
}

void TestSpectrumPanel::analysesVisibleSamples_data()
{
    QTest::addColumn<quint64>("stored");
    QTest::addColumn<qint64>("viewStart"); // -1: follow the newest samples
    QTest::addColumn<quint64>("length");
    QTest::newRow("newest of 20 s") << quint64(20 * 833) << qint64(-1) << quint64(4096);
    QTest::newRow("scrolled back") << quint64(20 * 833) << qint64(500) << quint64(4096);
    QTest::newRow("shorter than the window") << quint64(1000) << qint64(-1) << quint64(512);
    QTest::newRow("too few") << quint64(10) << qint64(-1) << quint64(0);
}

void TestSpectrumPanel::analysesVisibleSamples()
{
    QFETCH(quint64, stored);
    QFETCH(qint64, viewStart);
    QFETCH(quint64, length);
    // 12 Hz in the first 5000 frames, 40 Hz after them: which one shows says
    // which samples were analysed.
    const quint64 switchAt = std::min<quint64>(5000, stored);
    appendTones(*m_accel, 0, switchAt, 12.0, 0.5);
    appendTones(*m_accel, switchAt, stored - switchAt, 40.0, 0.5);
    appendTones(*m_gyro, 0, stored, 20.0, 100.0);
    if (viewStart >= 0) {
        m_accel->setViewStart(quint64(viewStart));
        m_gyro->setViewStart(quint64(viewStart));
    }
    QVERIFY(m_panel->refresh(true));

    const SpectrumAnalyzer::SSpectrum& x = m_panel->accelView()->spectrum(0);
    QCOMPARE(x.valid, length > 0);
    if (length == 0) {
        QVERIFY(!m_panel->gyroView()->hasSpectrum());
        return;
    }
    QCOMPARE(quint64(x.amplitude.size()), length / 2 + 1);
    QCOMPARE(m_panel->accelView()->binWidth(), RATE / double(length));
    const quint64 end = m_accel->visibleEnd();
    const double expected = end - length >= switchAt ? 40.0 : end <= switchAt ? 12.0 : -1.0;
    QVERIFY(expected > 0.0); // the rows keep the analysed block on one side of the switch
    QVERIFY2(std::fabs(x.peak.frequency - expected) < 0.01 * expected,
             qPrintable(QString::number(x.peak.frequency)));
    const SpectrumAnalyzer::SSpectrum& rz = m_panel->gyroView()->spectrum(2);
    QVERIFY(std::fabs(rz.peak.frequency - 60.0) < 0.6);
    QVERIFY(std::fabs(rz.peak.amplitude - 100.0) < 1.0);
}

void TestSpectrumPanel::recomputesOnlyOnChange()
{
    appendTones(*m_accel, 0, 10000, 10.0, 1.0);
    appendTones(*m_gyro, 0, 10000, 10.0, 1.0);
    QVERIFY(m_panel->refresh());
    QVERIFY(!m_panel->refresh()); // nothing changed

    // Following the data: 4096-point blocks wait for 64 new samples, unless
    // the data then stand still.
    appendTones(*m_accel, 10000, 30, 10.0, 1.0);
    appendTones(*m_gyro, 10000, 30, 10.0, 1.0);
    QVERIFY(!m_panel->refresh());
    QVERIFY(m_panel->refresh()); // settled
    appendTones(*m_accel, 10030, 64, 10.0, 1.0);
    appendTones(*m_gyro, 10030, 64, 10.0, 1.0);
    QVERIFY(m_panel->refresh());

    // Another view or a cleared graph shows at once.
    m_accel->setViewStart(0);
    QVERIFY(m_panel->refresh());
    m_accel->clear();
    QVERIFY(m_panel->refresh());
    QVERIFY(!m_panel->accelView()->hasSpectrum());
    QVERIFY(m_panel->gyroView()->hasSpectrum());
}

void TestSpectrumPanel::recomputesForOtherDataOfSameLength_data()
{
    QTest::addColumn<bool>("following"); // the graphs show the newest samples
    QTest::newRow("newest shown") << true;
    QTest::newRow("scrolled back") << false;
}

void TestSpectrumPanel::recomputesForOtherDataOfSameLength()
{
    QFETCH(bool, following);
    // Another measurement, or an opened file, of the same length replaces the
    // samples between two checks: the shown range alone looks the same.
    const auto measure = [&](double f) {
        for (CLiveGraph* graph : {m_accel, m_gyro}) {
            graph->clear();
            appendTones(*graph, 0, 5000, f, 1.0);
            if (!following)
                graph->setViewStart(100);
        }
    };
    measure(10.0);
    QVERIFY(m_panel->refresh());
    QVERIFY(std::fabs(m_panel->accelView()->spectrum(0).peak.frequency - 10.0) < 0.2);
    QVERIFY(!m_panel->refresh());
    measure(30.0);
    QVERIFY(m_panel->refresh());
    QVERIFY(std::fabs(m_panel->accelView()->spectrum(0).peak.frequency - 30.0) < 0.3);
    QVERIFY(!m_panel->refresh());
}

void TestSpectrumPanel::hiddenCostsNothing()
{
    appendTones(*m_accel, 0, 5000, 10.0, 1.0);
    appendTones(*m_gyro, 0, 5000, 10.0, 1.0);
    m_panel->show();
    QTRY_COMPARE(m_panel->computeCount(), quint64(1)); // on showing
    m_panel->hide();
    for (quint64 first = 5000; first < 7000; first += 200) {
        appendTones(*m_accel, first, 200, 10.0, 1.0);
        appendTones(*m_gyro, first, 200, 10.0, 1.0);
        QTest::qWait(SpectrumPanel::UPDATE_INTERVAL_MS / 2);
    }
    QCOMPARE(m_panel->computeCount(), quint64(1));
    m_panel->show(); // catches up
    QCOMPARE(m_panel->computeCount(), quint64(2));
    QTest::qWait(3 * SpectrumPanel::UPDATE_INTERVAL_MS);
    QCOMPARE(m_panel->computeCount(), quint64(2)); // shown but idle
}

QTEST_MAIN(TestSpectrumPanel)
#include "tst_spectrumpanel.moc"

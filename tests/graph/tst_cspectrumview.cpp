// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The spectrum view read back from rendered images: each tone's peak stands
// where the frequency and amplitude scales put it, legend clicks hide and show
// curves, a view without spectra draws no curve, and in measure mode the
// readout under the mouse shows the nearest bin's values.
#include "cspectrumview.h"

#include <QMouseEvent>
#include <QtTest>

#include <cmath>

namespace {

constexpr double RATE = 833.0;
constexpr double PI = 3.14159265358979323846;
const QColor RED(0xF4, 0x43, 0x36);
const QColor GREEN(0x4C, 0xAF, 0x50);

struct STone
{
    double frequency;
    double amplitude;
};
const STone TONES[2] = {{50.0, 0.5}, {200.0, 0.2}};

std::vector<SpectrumAnalyzer::SSpectrum> spectraOfTones(std::size_t length, double& binWidth)
{
    SpectrumAnalyzer analyzer(RATE);
    std::vector<SpectrumAnalyzer::SSpectrum> spectra(2);
    for (std::size_t s = 0; s < 2; ++s) {
        std::vector<float> samples(length);
        for (std::size_t i = 0; i < length; ++i)
            samples[i] = float(TONES[s].amplitude *
                               std::sin(2.0 * PI * TONES[s].frequency * double(i) / RATE));
        analyzer.analyze(samples.data(), samples.size(), spectra[s]);
    }
    binWidth = analyzer.binWidth(length);
    return spectra;
}

// The topmost pixel of a colour inside the area; (-1, -1) when there is none.
QPoint topmost(const QImage& image, const QRect& area, const QColor& color)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == color)
                return QPoint(x, y);
    return QPoint(-1, -1);
}

// Bins 0 ... 512 of a 1024-point block: X rising, Y falling, every bin its own value.
constexpr std::size_t BINS = 513;
constexpr double BIN_WIDTH = RATE / 1024.0;
float rampX(std::size_t k)
{
    return float(0.001 * double(k) + 0.0005);
}
float rampY(std::size_t k)
{
    return float(0.002 * double(BINS - 1 - k) + 0.001);
}

void setRampSpectra(CSpectrumView& view)
{
    std::vector<SpectrumAnalyzer::SSpectrum> spectra(2);
    for (std::size_t k = 0; k < BINS; ++k) {
        spectra[0].amplitude.push_back(rampX(k));
        spectra[1].amplitude.push_back(rampY(k));
    }
    spectra[0].peak = {BIN_WIDTH * double(BINS - 1), double(rampX(BINS - 1))};
    spectra[1].peak = {BIN_WIDTH, double(rampY(1))};
    spectra[0].valid = spectra[1].valid = true;
    view.setSpectra(BIN_WIDTH, spectra);
}

void moveMouse(QWidget* widget, QPointF pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// The bin whose column lies nearest x, by trying them all.
std::size_t nearestBin(const CSpectrumView& view, double x)
{
    std::size_t best = view.logFrequency() ? 1 : 0;
    for (std::size_t k = best; k < BINS; ++k) {
        if (std::fabs(view.frequencyToX(double(k) * BIN_WIDTH) - x) <
            std::fabs(view.frequencyToX(double(best) * BIN_WIDTH) - x))
            best = k;
    }
    return best;
}

} // namespace

class TestCSpectrumView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void peakPlacement_data();
    void peakPlacement();
    void legendClicks_data();
    void legendClicks();
    void withoutSpectra_data();
    void withoutSpectra();
    void measureReadout_data();
    void measureReadout();
    void measureLeavesNoTrace_data();
    void measureLeavesNoTrace();

private:
    CSpectrumView* m_view = nullptr;
};

void TestCSpectrumView::init()
{
    m_view = new CSpectrumView;
    m_view->setTitle(QStringLiteral("Acceleration spectrum"));
    m_view->setUnit(QStringLiteral("g"));
    m_view->addSeries(QStringLiteral("X"), RED);
    m_view->addSeries(QStringLiteral("Y"), GREEN);
    m_view->resize(700, 320);
    double binWidth = 0.0;
    const auto spectra = spectraOfTones(8192, binWidth);
    m_view->setSpectra(binWidth, spectra);
}

void TestCSpectrumView::cleanup()
{
    delete m_view;
    m_view = nullptr;
}

void TestCSpectrumView::peakPlacement_data()
{
    QTest::addColumn<bool>("logFrequency");
    QTest::addColumn<bool>("decibel");
    QTest::newRow("linear, linear") << false << false;
    QTest::newRow("log frequency") << true << false;
    QTest::newRow("dB") << false << true;
    QTest::newRow("log frequency, dB") << true << true;
}

void TestCSpectrumView::peakPlacement()
{
    QFETCH(bool, logFrequency);
    QFETCH(bool, decibel);
    m_view->setLogFrequency(logFrequency);
    m_view->setDecibel(decibel);
    const QImage image = m_view->grab().toImage();
    const QRect area = m_view->plotArea();
    QVERIFY(area.width() > 500);

    // The scales' ends: 416.5 Hz at the right; 0 Hz or the decade below one
    // bin (0.1017 Hz) at the left, the geometric middle in the middle on a log axis.
    QCOMPARE(m_view->maxFrequency(), RATE / 2.0);
    QCOMPARE(m_view->frequencyToX(RATE / 2.0), double(area.right()));
    QCOMPARE(m_view->minFrequency(), logFrequency ? 0.1 : 0.0);
    QCOMPARE(m_view->frequencyToX(m_view->minFrequency()), double(area.left()));
    if (logFrequency)
        QCOMPARE(m_view->frequencyToX(std::sqrt(0.1 * RATE / 2.0)),
                 (area.left() + area.right()) / 2.0);

    const QColor colors[2] = {RED, GREEN};
    for (int s = 0; s < 2; ++s) {
        const QPoint top = topmost(image, area, colors[s]);
        QVERIFY2(top.x() >= 0, "curve not drawn");
        QVERIFY2(std::fabs(top.x() - m_view->frequencyToX(TONES[s].frequency)) <= 2.0,
                 qPrintable(QStringLiteral("series %1 peak at x %2").arg(s).arg(top.x())));
        // The curve's top is the peak bin, a little below the interpolated peak.
        const double peakY = m_view->amplitudeToY(TONES[s].amplitude);
        QVERIFY2(top.y() >= peakY - 2.0 && top.y() <= peakY + 0.2 * area.height(),
                 qPrintable(QStringLiteral("series %1 peak at y %2, expected %3")
                                .arg(s)
                                .arg(top.y())
                                .arg(peakY)));
    }
    // On a dB axis 20 dB are a factor of ten; the strongest peak (-6 dB) sits
    // below the axis' top at 0 dB, the weaker one 8 dB further down.
    if (decibel) {
        const double perDecade = m_view->amplitudeToY(0.01) - m_view->amplitudeToY(0.1);
        QVERIFY(std::fabs(m_view->amplitudeToY(0.05) - m_view->amplitudeToY(0.5) - perDecade) <
                1e-6);
        QCOMPARE(m_view->amplitudeToY(1.0), double(area.top()));
    } else {
        QCOMPARE(m_view->amplitudeToY(0.0), double(area.bottom()));
    }
}

void TestCSpectrumView::legendClicks_data()
{
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("left click on X") << 0 << int(Qt::LeftButton) << true;
    QTest::newRow("left click on Y") << 1 << int(Qt::LeftButton) << true;
    QTest::newRow("right click on Y") << 1 << int(Qt::RightButton) << false;
}

void TestCSpectrumView::legendClicks()
{
    QFETCH(int, series);
    QFETCH(int, button);
    QFETCH(bool, toggles);
    const QColor colors[2] = {RED, GREEN};
    m_view->grab(); // lays out the legend
    const QRect box = m_view->legendEntryRect(series);
    QVERIFY(!box.isEmpty());

    QTest::mouseClick(m_view, Qt::MouseButton(button), Qt::NoModifier, box.center());
    QCOMPARE(m_view->isSeriesVisible(series), !toggles);
    QCOMPARE(m_view->isSeriesVisible(1 - series), true);
    QImage image = m_view->grab().toImage();
    QCOMPARE(topmost(image, m_view->plotArea(), colors[series]).x() >= 0, !toggles);
    QVERIFY(topmost(image, m_view->plotArea(), colors[1 - series]).x() >= 0);

    // A second click brings the curve back.
    QTest::mouseClick(m_view, Qt::MouseButton(button), Qt::NoModifier, box.center());
    QCOMPARE(m_view->isSeriesVisible(series), true);
    image = m_view->grab().toImage();
    QVERIFY(topmost(image, m_view->plotArea(), colors[series]).x() >= 0);
}

void TestCSpectrumView::withoutSpectra_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("cleared") << 0;
    QTest::newRow("sample rate changed") << 1;
    QTest::newRow("series added") << 2;
    QTest::newRow("too few samples") << 3;
}

void TestCSpectrumView::withoutSpectra()
{
    QFETCH(int, how);
    if (how == 0) {
        m_view->clearSpectra();
    } else if (how == 1) {
        m_view->setSampleRate(RATE);
    } else if (how == 2) {
        m_view->addSeries(QStringLiteral("Z"), Qt::blue);
    } else {
        double binWidth = 0.0;
        m_view->setSpectra(binWidth, spectraOfTones(10, binWidth));
    }
    QVERIFY(!m_view->hasSpectrum());
    QVERIFY(!m_view->spectrum(0).valid);
    QVERIFY(m_view->spectrum(5).amplitude.empty());
    m_view->setLogFrequency(true);
    m_view->setDecibel(true);
    const QImage image = m_view->grab().toImage();
    QCOMPARE(topmost(image, m_view->plotArea(), RED), QPoint(-1, -1));
    QCOMPARE(topmost(image, m_view->plotArea(), GREEN), QPoint(-1, -1));
}

void TestCSpectrumView::measureReadout_data()
{
    QTest::addColumn<double>("share"); // across the plot area, 0 at its left column
    QTest::addColumn<bool>("logFrequency");
    QTest::addColumn<bool>("decibel");
    QTest::addColumn<bool>("yShown");
    QTest::addColumn<QStringList>("lines"); // empty: not checked as text

    QTest::newRow("left end") << 0.0 << false << false << true
                              << QStringList{QStringLiteral("0.00 Hz"),
                                             QStringLiteral("X: 0.0005000 g"),
                                             QStringLiteral("Y: 1.025 g")};
    QTest::newRow("left end, log frequency")
        << 0.0 << true << false << true
        << QStringList{QStringLiteral("0.81 Hz"), QStringLiteral("X: 0.001500 g"),
                       QStringLiteral("Y: 1.023 g")};
    QTest::newRow("right end") << 1.0 << false << false << true
                               << QStringList{QStringLiteral("416.50 Hz"),
                                              QStringLiteral("X: 0.5125 g"),
                                              QStringLiteral("Y: 0.001000 g")};
    QTest::newRow("right end, dB")
        << 1.0 << false << true << true
        << QStringList{QStringLiteral("416.50 Hz"), QStringLiteral("X: -5.8 dB"),
                       QStringLiteral("Y: -60.0 dB")};
    QTest::newRow("middle") << 0.5 << false << false << true << QStringList();
    QTest::newRow("middle, log frequency") << 0.5 << true << false << true << QStringList();
    QTest::newRow("a third, Y hidden") << 0.33 << false << false << false << QStringList();
    QTest::newRow("right end, log frequency, Y hidden")
        << 1.0 << true << false << false
        << QStringList{QStringLiteral("416.50 Hz"), QStringLiteral("X: 0.5125 g")};
}

void TestCSpectrumView::measureReadout()
{
    QFETCH(double, share);
    QFETCH(bool, logFrequency);
    QFETCH(bool, decibel);
    QFETCH(bool, yShown);
    QFETCH(QStringList, lines);
    setRampSpectra(*m_view);
    m_view->setLogFrequency(logFrequency);
    m_view->setDecibel(decibel);
    m_view->setSeriesVisible(1, yShown);
    m_view->setMeasureMode(true);
    m_view->grab(); // lays out the plot
    const QRect area = m_view->plotArea();
    const QPointF pos(area.left() + share * (area.right() - area.left()), area.center().y());

    moveMouse(m_view, pos);
    const QImage image = m_view->grab().toImage();
    const CSpectrumView::SMeasure& measure = m_view->hoverMeasure();
    QVERIFY(measure.valid);
    const std::size_t bin = nearestBin(*m_view, pos.x());
    QCOMPARE(measure.bin, bin);
    QCOMPARE(measure.frequency, double(bin) * BIN_WIDTH);
    QCOMPARE(measure.x, m_view->frequencyToX(measure.frequency));
    QCOMPARE(int(measure.values.size()), yShown ? 2 : 1);
    QCOMPARE(measure.values[0].series, 0);
    QCOMPARE(measure.values[0].amplitude, double(rampX(bin)));
    if (yShown) {
        QCOMPARE(measure.values[1].series, 1);
        QCOMPARE(measure.values[1].amplitude, double(rampY(bin)));
    }
    QCOMPARE(measure.lines.size(), qsizetype(measure.values.size() + 1));
    if (!lines.isEmpty())
        QCOMPARE(measure.lines, lines);

    // The line stands in the bin's column down to the plot's bottom, below
    // the readout at the top.
    const int column = measure.column;
    const QColor text = m_view->palette().color(QPalette::WindowText);
    for (int y = area.bottom() - 20; y <= area.bottom(); ++y)
        QCOMPARE(image.pixelColor(column, y), text);
}

void TestCSpectrumView::measureLeavesNoTrace_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("mouse left of the plot") << 0;
    QTest::newRow("mouse below the plot") << 1;
    QTest::newRow("mouse left the view") << 2;
    QTest::newRow("measure mode off") << 3;
}

// Without a readout shown, the picture is the one measure mode never touched.
void TestCSpectrumView::measureLeavesNoTrace()
{
    QFETCH(int, how);
    setRampSpectra(*m_view);
    const QImage plain = m_view->grab().toImage();
    const QRect area = m_view->plotArea();

    m_view->setMeasureMode(true);
    moveMouse(m_view, area.center());
    QVERIFY(m_view->grab().toImage() != plain);
    QVERIFY(m_view->hoverMeasure().valid);
    if (how == 0) {
        moveMouse(m_view, QPointF(area.left() - 1, area.center().y()));
    } else if (how == 1) {
        moveMouse(m_view, QPointF(area.center().x(), area.bottom() + 1));
    } else if (how == 2) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(m_view, &leave);
    } else {
        m_view->setMeasureMode(false);
    }
    QCOMPARE(m_view->grab().toImage(), plain);
    QVERIFY(!m_view->hoverMeasure().valid);
}

QTEST_MAIN(TestCSpectrumView)
#include "tst_cspectrumview.moc"

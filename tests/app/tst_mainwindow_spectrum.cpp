// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The spectrum dock of the main window over the simulated sensor: its action
// and icon, the sensor's 6.5 Hz vibration as the strongest peak, a lower
// cutoff taking the high frequencies away, the spectrum CSV as pandas reads
// it, and the screenshot with the dock shown.
#include "cspectrumview.h"
#include "mainwindow_testing.h"
#include "spectrumpanel.h"

#include <QDockWidget>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolBar>

#include <cmath>

using namespace testing;

namespace {

const QString SERIAL = QStringLiteral("SKV-000614");

bool sameIcon(const QIcon& icon, const char* name)
{
    const QIcon expected(QStringLiteral(":/icons/res/png/%1_32px.png").arg(QLatin1String(name)));
    return icon.pixmap(32).toImage() == expected.pixmap(32).toImage();
}

// Sum of squared amplitudes from `from` Hz up: the energy in that band.
double bandEnergy(const SpectrumAnalyzer::SSpectrum& s, double binWidth, double from)
{
    double sum = 0.0;
    for (std::size_t k = std::size_t(std::ceil(from / binWidth)); k < s.amplitude.size(); ++k)
        sum += double(s.amplitude[k]) * s.amplitude[k];
    return sum;
}

} // namespace

class TestMainWindowSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void actionTogglesDock();
    void vibrationIsStrongestPeak();
    void lowerCutoffRemovesHighFrequencies();
    void saveSpectrumCsv_data();
    void saveSpectrumCsv();
    void screenshotShowsSpectrum_data();
    void screenshotShowsSpectrum();

private:
    // Records `seconds` of the fast sensor and stops; the graphs then show
    // its newest 5 s.
    void measure(double seconds);
    SpectrumPanel* panel() const { return m_window->findChild<SpectrumPanel*>(); }

    skarvelsim::SSimSensor m_sensor;
    MainWindow* m_window = nullptr;
    ModalAnswerer* m_modals = nullptr;
    QTemporaryDir m_dir;
};

void TestMainWindowSpectrum::initTestCase()
{
    skarvelsim::SSensorConfig config;
    config.serialNumber = SERIAL.toStdWString();
    config.pacing = skarvelsim::EPacing::Burst;
    m_sensor = skarvelsim::addSensor(config);
    QVERIFY(m_dir.isValid());
}

void TestMainWindowSpectrum::init()
{
    m_window = new MainWindow;
    m_window->resize(1400, 900);
    m_window->show();
    m_modals = new ModalAnswerer;
}

void TestMainWindowSpectrum::cleanup()
{
    QCOMPARE(m_modals->unexpected(), 0);
    delete m_window;
    delete m_modals;
}

void TestMainWindowSpectrum::measure(double seconds)
{
    WindowParts parts(*m_window);
    if (!parts.connected())
        connectTo(*m_window, *m_modals, SERIAL);
    QVERIFY(parts.connected());
    parts.action("actionStart")->trigger();
    CLiveGraph* accel = parts.accel();
    QTRY_VERIFY_WITH_TIMEOUT(accel->storedSampleCount() > 0 &&
                                 accel->storedSampleTime(accel->storedSampleCount() - 1) > seconds,
                             20000);
    parts.action("actionStop")->trigger();
    QVERIFY(!parts.measuring());
}

void TestMainWindowSpectrum::actionTogglesDock()
{
    WindowParts parts(*m_window);
    QAction* action = parts.action("actionSpectrum");
    auto* dock = parts.widget<QDockWidget>("dock_spectrum");
    QVERIFY(parts.widget<QMenu>("menuView")->actions().contains(action));
    QVERIFY(parts.widget<QToolBar>("toolBar")->actions().contains(action));
    QVERIFY(!action->toolTip().isEmpty());

    // Hidden at start, so the window opens as it always did.
    QVERIFY(dock->isHidden());
    QVERIFY(sameIcon(action->icon(), "spectrum_off"));
    action->trigger();
    QVERIFY(!dock->isHidden());
    QTRY_VERIFY(panel()->isVisible());
    QVERIFY(sameIcon(action->icon(), "spectrum_on"));
    // Closing the dock itself switches the icon back, as the other docks do.
    dock->close();
    QVERIFY(sameIcon(action->icon(), "spectrum_off"));
    action->trigger();
    QVERIFY(sameIcon(action->icon(), "spectrum_on"));

    // The scale switches reach both spectra.
    parts.widget<QCheckBox>("chk_spectrum_log")->setChecked(true);
    parts.widget<QCheckBox>("chk_spectrum_db")->setChecked(true);
    for (const CSpectrumView* view : {panel()->accelView(), panel()->gyroView()})
        QVERIFY(view->logFrequency() && view->decibel());
}

void TestMainWindowSpectrum::vibrationIsStrongestPeak()
{
    WindowParts(*m_window).action("actionSpectrum")->trigger();
    measure(8.0);
    QVERIFY(panel()->refresh(true));
    const CSpectrumView* view = panel()->accelView();
    const double amplitudes[3] = {0.04, 0.03, 0.05}; // the simulation's vibration in g
    for (int axis = 0; axis < 3; ++axis) {
        const SpectrumAnalyzer::SPeak& peak = view->spectrum(axis).peak;
        QVERIFY2(std::fabs(peak.frequency - 6.5) < 0.065,
                 qPrintable(QStringLiteral("axis %1: %2 Hz").arg(axis).arg(peak.frequency)));
        // The noise adds or takes a little.
        QVERIFY2(std::fabs(peak.amplitude - amplitudes[axis]) < 0.02 * amplitudes[axis],
                 qPrintable(QStringLiteral("axis %1: %2 g").arg(axis).arg(peak.amplitude)));
    }
    QCOMPARE(view->binWidth(), 833.0 / 4096); // the 5 s window's FFT block
}

void TestMainWindowSpectrum::lowerCutoffRemovesHighFrequencies()
{
    WindowParts parts(*m_window);
    parts.action("actionSpectrum")->trigger();
    measure(6.0);
    QVERIFY(panel()->refresh(true));
    const CSpectrumView* view = panel()->accelView();
    const double before = bandEnergy(view->spectrum(2), view->binWidth(), 50.0);
    const double vibrationBefore = view->spectrum(2).peak.amplitude;

    // "LP1 + LP2" at 8.33 Hz: the noise above 50 Hz goes, the vibration stays.
    QComboBox* filter = parts.combo("cmb_acc_filter");
    filter->setCurrentIndex(filter->findText(QStringLiteral("LP1 + LP2")));
    QComboBox* cutoff = parts.combo("cmb_acc_cutoff");
    cutoff->setCurrentIndex(cutoff->findText(QStringLiteral("8.33 Hz")));
    QCOMPARE(m_sensor.model->params().accelFilter, uint8_t(0x81));
    measure(6.0);
    QVERIFY(panel()->refresh(true));
    const double after = bandEnergy(view->spectrum(2), view->binWidth(), 50.0);
    QVERIFY2(after < before / 100.0, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    QVERIFY(view->spectrum(2).peak.amplitude > 0.3 * vibrationBefore);
    QVERIFY(std::fabs(view->spectrum(2).peak.frequency - 6.5) < 0.065);
}

void TestMainWindowSpectrum::saveSpectrumCsv_data()
{
    QTest::addColumn<bool>("writable");
    QTest::newRow("saved") << true;
    QTest::newRow("directory not writable") << false;
}

void TestMainWindowSpectrum::saveSpectrumCsv()
{
    QFETCH(bool, writable);
    WindowParts parts(*m_window);
    auto* save = parts.widget<QPushButton>("btn_spectrum_save");
    parts.action("actionSpectrum")->trigger();
    QVERIFY(!save->isEnabled()); // nothing to save yet
    measure(6.0);
    QVERIFY(panel()->refresh(true));
    QVERIFY(save->isEnabled());

    const QString path = writable ? m_dir.filePath(QStringLiteral("spectrum.csv"))
                                  : QStringLiteral("/proc/no-such-dir/spectrum.csv");
    m_modals->expect(saveAs(path, QStringLiteral("Save spectrum"),
                            QStringLiteral("CSV file (*.csv)"),
                            QStringLiteral("^skarvel_spectrum_\\d{8}_\\d{6}\\.csv$")));
    if (!writable)
        m_modals->expectMessage();
    save->click();
    QTRY_COMPARE(m_modals->unanswered(), 0);
    if (!writable) {
        QCOMPARE(m_modals->seen().last().title, QStringLiteral("Save"));
        QCOMPARE(m_modals->seen().last().text, QStringLiteral("Saving %1 failed.").arg(path));
        return;
    }

    QJsonObject read;
    const QString status = runPython(
        QStringLiteral("import json, sys\n"
                       "try:\n"
                       "    import pandas as pd\n"
                       "except ImportError:\n"
                       "    sys.exit(3)\n"
                       "t = pd.read_csv(sys.argv[1], sep=';', decimal=',', encoding='utf-8-sig')\n"
                       "z = t['Z [g]']\n"
                       "print(json.dumps({'columns': list(t.columns), 'rows': len(t),\n"
                       "    'step': float(t['Frequency [Hz]'][1]), 'top': float(z.max()),\n"
                       "    'at': float(t['Frequency [Hz]'][z.idxmax()]),\n"
                       "    'numeric': all(str(d).startswith('float') for d in t.dtypes)}))\n"),
        {path}, &read);
    if (!status.isEmpty())
        QSKIP(qPrintable(status));
    const QStringList columns = {QStringLiteral("Frequency [Hz]"), QStringLiteral("X [g]"),
                                 QStringLiteral("Y [g]"),          QStringLiteral("Z [g]"),
                                 QStringLiteral("rX [dps]"),       QStringLiteral("rY [dps]"),
                                 QStringLiteral("rZ [dps]")};
    QCOMPARE(read.value(QStringLiteral("columns")).toVariant().toStringList(), columns);
    QCOMPARE(read.value(QStringLiteral("rows")).toInt(), 2049);
    QVERIFY(read.value(QStringLiteral("numeric")).toBool());
    QCOMPARE(read.value(QStringLiteral("step")).toDouble(), 0.2034); // 833 / 4096, 4 decimals
    const SpectrumAnalyzer::SSpectrum& z = panel()->accelView()->spectrum(2);
    const float top = *std::max_element(z.amplitude.begin() + 1, z.amplitude.end());
    QVERIFY(std::fabs(read.value(QStringLiteral("top")).toDouble() - top) < 1e-7);
    QVERIFY(std::fabs(read.value(QStringLiteral("at")).toDouble() - 6.5) < 0.2034);
}

void TestMainWindowSpectrum::screenshotShowsSpectrum_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("spectrum shown") << true;
    QTest::newRow("spectrum hidden") << false;
}

void TestMainWindowSpectrum::screenshotShowsSpectrum()
{
    QFETCH(bool, shown);
    WindowParts parts(*m_window);
    if (shown) {
        parts.action("actionSpectrum")->trigger();
        QTRY_VERIFY(panel()->isVisible());
    }
    const QString path =
        m_dir.filePath(shown ? QStringLiteral("shown.jpg") : QStringLiteral("hidden.jpg"));
    m_modals->expect(saveAs(path, QStringLiteral("Save screenshot"),
                            QStringLiteral("JPEG image (*.jpg *.jpeg)"),
                            QStringLiteral("^skarvel_\\d{8}_\\d{6}\\.jpg$")));
    parts.action("actionScreenshot")->trigger();
    QTRY_COMPARE(m_modals->unanswered(), 0);
    const QImage picture(path);
    QVERIFY(!picture.isNull());
    const QSize graphs = parts.widget<QWidget>("centralwidget")->size();
    const QSize expected = shown ? QSize(graphs.width() + panel()->width(),
                                         std::max(graphs.height(), panel()->height()))
                                 : graphs;
    QCOMPARE(picture.size(), expected);
}

QTEST_MAIN(TestMainWindowSpectrum)
#include "tst_mainwindow_spectrum.moc"

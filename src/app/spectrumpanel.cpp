// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "spectrumpanel.h"

#include "clivegraph.h"
#include "cspectrumview.h"
#include "csvwriter.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <cmath>

namespace {

// An update waits for this share of the FFT block to be new samples.
constexpr quint64 NEW_SHARE = 64;
// Decimals of the CSV columns: enough for the finest resolution (0.0127 Hz)
// and for the noise floor of a long block (about 1e-5 g, 1e-3 dps).
constexpr int FREQUENCY_DECIMALS = 4;
constexpr int ACCEL_DECIMALS = 7;
constexpr int GYRO_DECIMALS = 5;

} // namespace

SpectrumPanel::SpectrumPanel(const CLiveGraph* accel, const CLiveGraph* gyro, double sampleRate,
                             QWidget* parent)
    : QWidget(parent), m_accel(accel), m_gyro(gyro), m_sampleRate(sampleRate),
      m_analyzer(sampleRate)
{
    m_logBox = new QCheckBox(tr("Log frequency"), this);
    m_logBox->setObjectName(QStringLiteral("chk_spectrum_log"));
    m_logBox->setToolTip(tr("Show the frequency axis logarithmically"));
    m_dbBox = new QCheckBox(tr("Amplitude in dB"), this);
    m_dbBox->setObjectName(QStringLiteral("chk_spectrum_db"));
    m_dbBox->setToolTip(tr("Show amplitudes in decibels relative to 1 g or 1 dps"));
    m_saveButton = new QPushButton(QIcon(QStringLiteral(":/icons/res/png/save_32px.png")),
                                   tr("Save Spectrum"), this);
    m_saveButton->setObjectName(QStringLiteral("btn_spectrum_save"));
    m_saveButton->setToolTip(tr("Save the shown spectra as a CSV file"));

    m_accelView = new CSpectrumView(this);
    m_accelView->setObjectName(QStringLiteral("spectrum_accel"));
    m_gyroView = new CSpectrumView(this);
    m_gyroView->setObjectName(QStringLiteral("spectrum_gyro"));
    for (CSpectrumView* view : {m_accelView, m_gyroView}) {
        view->setSampleRate(sampleRate);
        view->setToolTip(tr("Click a legend entry to hide or show its curve"));
    }
    // The same series, names and colours as the live graphs.
    m_accelView->addSeries(QStringLiteral("X"), MaterialColor::Red);
    m_accelView->addSeries(QStringLiteral("Y"), MaterialColor::Green);
    m_accelView->addSeries(QStringLiteral("Z"), MaterialColor::Blue);
    m_gyroView->addSeries(QStringLiteral("rX"), MaterialColor::Red);
    m_gyroView->addSeries(QStringLiteral("rY"), MaterialColor::Green);
    m_gyroView->addSeries(QStringLiteral("rZ"), MaterialColor::Blue);
    m_accelView->setTitle(tr("Acceleration spectrum"));
    m_accelView->setUnit(tr("g"));
    m_gyroView->setTitle(tr("Angular rate spectrum"));
    m_gyroView->setUnit(tr("dps"));

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_logBox);
    controls->addWidget(m_dbBox);
    controls->addStretch(1);
    controls->addWidget(m_saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_accelView, 1);
    layout->addWidget(m_gyroView, 1);

    connect(m_logBox, &QCheckBox::toggled, this, [this](bool on) {
        m_accelView->setLogFrequency(on);
        m_gyroView->setLogFrequency(on);
    });
    connect(m_dbBox, &QCheckBox::toggled, this, [this](bool on) {
        m_accelView->setDecibel(on);
        m_gyroView->setDecibel(on);
    });
    connect(m_saveButton, &QPushButton::clicked, this, &SpectrumPanel::saveRequested);
    updateSaveEnabled();

    m_timer.setInterval(UPDATE_INTERVAL_MS);
    connect(&m_timer, &QTimer::timeout, this, &SpectrumPanel::onTimer);
}

SpectrumPanel::~SpectrumPanel() = default;

void SpectrumPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh(true); // what was missed while hidden
    m_timer.start();
}

void SpectrumPanel::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void SpectrumPanel::onTimer()
{
    refresh(false);
}

SpectrumPanel::SSource SpectrumPanel::sourceOf(const CLiveGraph& graph) const
{
    SSource source;
    source.begin = graph.visibleBegin();
    source.end = graph.visibleEnd();
    source.atNewest = source.end == graph.storedSampleCount();
    source.dataGeneration = graph.dataGeneration();
    source.clearGeneration = graph.clearGeneration();
    if (source.end > 0)
        source.absoluteEnd =
            quint64(std::llround(graph.storedSampleTime(source.end - 1) * m_sampleRate)) + 1;
    return source;
}

bool SpectrumPanel::refresh(bool force)
{
    const SSources now = {sourceOf(*m_accel), sourceOf(*m_gyro)};
    const bool settled = now == m_lastSeen; // nothing new since the previous check
    m_lastSeen = now;
    if (!force && m_computedValid) {
        if (now == m_computed)
            return false;
        bool due = settled;
        for (std::size_t g = 0; g < now.size(); ++g) {
            const SSource& was = m_computed[g];
            const SSource& is = now[g];
            const quint64 count = is.end - is.begin;
            const bool following = was.clearGeneration == is.clearGeneration && was.atNewest &&
                                   is.atNewest && count == was.end - was.begin &&
                                   is.absoluteEnd >= was.absoluteEnd;
            if (!following) {
                due = true; // another view, a cleared graph or a new measurement
            } else {
                const quint64 fresh = is.absoluteEnd - was.absoluteEnd;
                due = due || fresh * NEW_SHARE >= SpectrumAnalyzer::fftLength(count);
            }
        }
        if (!due)
            return false;
    }
    compute(*m_accel, now[0], *m_accelView);
    compute(*m_gyro, now[1], *m_gyroView);
    updateSaveEnabled();
    m_computed = now;
    m_computedValid = true;
    ++m_computeCount;
    return true;
}

void SpectrumPanel::compute(const CLiveGraph& graph, const SSource& source, CSpectrumView& view)
{
    const std::size_t length = SpectrumAnalyzer::fftLength(source.end - source.begin);
    if (length == 0) {
        view.clearSpectra();
        return;
    }
    m_spectra.resize(std::size_t(view.seriesCount()));
    for (std::size_t s = 0; s < m_spectra.size(); ++s) {
        // The newest samples of the visible ones.
        graph.copyStoredSamples(int(s), source.end - length, source.end, m_analyzer.input(length));
        m_analyzer.transform(m_spectra[s]);
    }
    view.setSpectra(m_analyzer.binWidth(length), m_spectra);
}

void SpectrumPanel::updateSaveEnabled()
{
    m_saveButton->setEnabled(m_accelView->hasSpectrum() || m_gyroView->hasSpectrum());
}

bool SpectrumPanel::writeCsv(const QString& fileName) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    CsvWriter csv(&file);

    struct SColumn
    {
        const std::vector<float>* amplitude;
        int decimals;
    };
    std::vector<SColumn> columns;
    QStringList fields{tr("Frequency [Hz]")};
    std::size_t rows = 0;
    for (const CSpectrumView* view : {m_accelView, m_gyroView}) {
        const int decimals = view == m_accelView ? ACCEL_DECIMALS : GYRO_DECIMALS;
        for (int s = 0; s < view->seriesCount(); ++s) {
            fields << tr("%1 [%2]").arg(view->seriesName(s), view->unit());
            columns.push_back({&view->spectrum(s).amplitude, decimals});
            rows = std::max(rows, view->spectrum(s).amplitude.size());
        }
    }
    csv.writeLine(fields);
    // Both graphs always show the same samples, so their spectra share one
    // frequency grid; an axis without a spectrum leaves its fields empty.
    const double binWidth =
        m_accelView->hasSpectrum() ? m_accelView->binWidth() : m_gyroView->binWidth();
    for (std::size_t k = 0; k < rows; ++k) {
        fields.clear();
        fields << CsvWriter::number(double(k) * binWidth, FREQUENCY_DECIMALS);
        for (const SColumn& column : columns)
            fields << (k < column.amplitude->size()
                           ? CsvWriter::number(double((*column.amplitude)[k]), column.decimals)
                           : QString());
        csv.writeLine(fields);
    }
    if (!csv.flush())
        return false; // the temporary file is discarded, the target stays as it was
    return file.commit();
}

void SpectrumPanel::setMeasureMode(bool on)
{
    m_accelView->setMeasureMode(on);
    m_gyroView->setMeasureMode(on);
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the panel and the main window.
#include "moc_spectrumpanel.cpp"

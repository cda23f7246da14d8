// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "cspectrumview.h"

#include "clivegraph.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QColor GRID_COLOR(0xDD, 0xDD, 0xDD);
// The dB axis spans this much below its top: a 16-bit sensor's noise floor
// lies well inside it.
constexpr double DB_SPAN = 120.0;
// Amplitudes at or below this read as this in dB instead of minus infinity.
constexpr double DB_FLOOR_AMPLITUDE = 1e-12;

QPen cosmeticPen(const QColor& color, double width = 1.0)
{
    QPen pen(color, width);
    pen.setCosmetic(true);
    return pen;
}

int decimalsOf(double step)
{
    return step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
}

const SpectrumAnalyzer::SSpectrum& noSpectrum()
{
    static const SpectrumAnalyzer::SSpectrum empty;
    return empty;
}

} // namespace

CSpectrumView::CSpectrumView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CSpectrumView::~CSpectrumView() = default;

int CSpectrumView::addSeries(const QString& name, const QColor& color)
{
    for (SSeries& series : m_series)
        series.spectrum = SpectrumAnalyzer::SSpectrum();
    SSeries series;
    series.name = name;
    series.color = color;
    m_series.push_back(std::move(series));
    invalidateCurves();
    return int(m_series.size()) - 1;
}

void CSpectrumView::setSeriesVisible(int index, bool visible)
{
    if (index < 0 || index >= seriesCount())
        return;
    m_series[std::size_t(index)].visible = visible;
    invalidateCurves(); // the amplitude scale follows the shown curves
}

bool CSpectrumView::isSeriesVisible(int index) const
{
    return index >= 0 && index < seriesCount() && m_series[std::size_t(index)].visible;
}

QString CSpectrumView::seriesName(int index) const
{
    return index >= 0 && index < seriesCount() ? m_series[std::size_t(index)].name : QString();
}

void CSpectrumView::setTitle(const QString& title)
{
    m_title = title;
    update();
}

void CSpectrumView::setUnit(const QString& unit)
{
    m_unit = unit;
    update();
}

void CSpectrumView::setSampleRate(double rate)
{
    if (!(rate > 0.0))
        return;
    m_sampleRate = rate;
    clearSpectra();
}

void CSpectrumView::setSpectra(double binWidth,
                               const std::vector<SpectrumAnalyzer::SSpectrum>& spectra)
{
    m_binWidth = binWidth > 0.0 ? binWidth : 0.0;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        if (i < spectra.size() && m_binWidth > 0.0)
            m_series[i].spectrum = spectra[i]; // reuses the vector's storage
        else
            m_series[i].spectrum = SpectrumAnalyzer::SSpectrum();
    }
    invalidateCurves();
}

void CSpectrumView::clearSpectra()
{
    setSpectra(0.0, {});
}

const SpectrumAnalyzer::SSpectrum& CSpectrumView::spectrum(int index) const
{
    if (index < 0 || index >= seriesCount())
        return noSpectrum();
    return m_series[std::size_t(index)].spectrum;
}

std::size_t CSpectrumView::spectrumLength() const
{
    std::size_t bins = 0;
    for (const SSeries& series : m_series)
        bins = std::max(bins, series.spectrum.amplitude.size());
    return bins;
}

bool CSpectrumView::hasSpectrum() const
{
    return std::any_of(m_series.begin(), m_series.end(),
                       [](const SSeries& s) { return s.spectrum.valid; });
}

void CSpectrumView::setLogFrequency(bool on)
{
    if (on == m_logFrequency)
        return;
    m_logFrequency = on;
    invalidateCurves();
}

void CSpectrumView::setDecibel(bool on)
{
    if (on == m_decibel)
        return;
    m_decibel = on;
    invalidateCurves();
}

double CSpectrumView::minFrequency() const
{
    if (!m_logFrequency)
        return 0.0;
    const double finest =
        m_binWidth > 0.0 ? m_binWidth : m_sampleRate / double(SpectrumAnalyzer::MAX_LENGTH);
    return std::pow(10.0, std::floor(std::log10(finest)));
}

double CSpectrumView::frequencyToX(double frequency) const
{
    const double width = m_inner.right() - m_inner.left();
    const double fMin = minFrequency();
    const double fMax = maxFrequency();
    double share;
    if (m_logFrequency)
        share = frequency > 0.0 ? std::log(frequency / fMin) / std::log(fMax / fMin) : -1.0;
    else
        share = frequency / fMax;
    return m_inner.left() + share * width;
}

double CSpectrumView::axisValue(double amplitude) const
{
    if (!m_decibel)
        return amplitude;
    return 20.0 * std::log10(std::max(amplitude, DB_FLOOR_AMPLITUDE));
}

double CSpectrumView::amplitudeToY(double amplitude) const
{
    return m_inner.bottom() -
           (axisValue(amplitude) - m_yMin) / (m_yMax - m_yMin) * (m_inner.bottom() - m_inner.top());
}

QRect CSpectrumView::legendEntryRect(int index) const
{
    return index >= 0 && index < m_legendRects.size() ? m_legendRects[index] : QRect();
}

QSize CSpectrumView::sizeHint() const
{
    return QSize(600, 300);
}

QSize CSpectrumView::minimumSizeHint() const
{
    return QSize(300, 150);
}

void CSpectrumView::invalidateCurves()
{
    m_curvesValid = false;
    update();
}

void CSpectrumView::resizeEvent(QResizeEvent* event)
{
    m_curvesValid = false;
    QWidget::resizeEvent(event);
}

void CSpectrumView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        for (qsizetype i = 0; i < m_legendRects.size() && i < qsizetype(m_series.size()); ++i) {
            if (m_legendRects[i].contains(pos)) {
                setSeriesVisible(int(i), !m_series[std::size_t(i)].visible);
                return;
            }
        }
    }
    QWidget::mousePressEvent(event);
}

void CSpectrumView::drawMeasure(QPainter& painter, const QFontMetrics& fm, const QColor& textColor)
{
    m_hover = m_hoverInside ? measureAt(m_hoverPos) : SMeasure();
    if (!m_hover.valid)
        return;
    painter.save();
    painter.setClipRect(m_inner);
    painter.setPen(cosmeticPen(textColor));
    painter.drawLine(QLine(m_hover.column, m_inner.top(), m_hover.column, m_inner.bottom()));

    // The readout beside the line at the top, on the side where it fits.
    int textWidth = 0;
    for (const QString& line : m_hover.lines)
        textWidth = std::max(textWidth, fm.horizontalAdvance(line));
    const QSize size(textWidth + 8, int(m_hover.lines.size()) * fm.height() + 4);
    int left = m_hover.column + 6;
    if (left + size.width() > m_inner.right())
        left = m_hover.column - 6 - size.width();
    const QRect box(QPoint(std::max(left, m_inner.left() + 2), m_inner.top() + 4), size);
    painter.setPen(textColor);
    painter.setBrush(palette().color(QPalette::Window));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    for (qsizetype i = 0; i < m_hover.lines.size(); ++i) {
        // The frequency in the text colour, each amplitude in its curve's.
        const std::size_t series =
            i == 0 ? 0 : std::size_t(m_hover.values[std::size_t(i - 1)].series);
        painter.setPen(i == 0 ? textColor : m_series[series].color.darker(130));
        painter.drawText(
            QRect(box.left() + 4, box.top() + 2 + int(i) * fm.height(), textWidth, fm.height()),
            Qt::AlignLeft | Qt::AlignVCenter, m_hover.lines[i]);
    }
    painter.restore();
}

void CSpectrumView::updateYRange()
{
    // The strongest shown bin above 0 Hz (the mean is removed there), or the
    // interpolated peak between bins, which the ring marks.
    double strongest = 0.0;
    for (const SSeries& series : m_series) {
        const std::vector<float>& a = series.spectrum.amplitude;
        if (series.visible && series.spectrum.valid && a.size() > 1)
            strongest = std::max({strongest, double(*std::max_element(a.begin() + 1, a.end())),
                                  series.spectrum.peak.amplitude});
    }
    if (m_decibel) {
        m_yMax = strongest > 0.0 ? 10.0 * std::ceil((axisValue(strongest) + 1.0) / 10.0) : 0.0;
        m_yMin = m_yMax - DB_SPAN;
    } else {
        m_yMin = 0.0;
        if (strongest > 0.0) {
            const double step = CLiveGraph::niceStep(strongest, 5);
            m_yMax = std::ceil(strongest * 1.05 / step) * step;
        } else {
            m_yMax = 1.0;
        }
    }
}

double CSpectrumView::xToFrequency(double x) const
{
    const double share = (x - m_inner.left()) / (m_inner.right() - m_inner.left());
    if (m_logFrequency)
        return minFrequency() * std::pow(maxFrequency() / minFrequency(), share);
    return share * maxFrequency();
}

void CSpectrumView::rebuildCurves()
{
    m_curvesValid = true;
    const std::size_t bins = spectrumLength();
    if (bins == 0 || m_binWidth <= 0.0) {
        for (SSeries& series : m_series)
            series.points.clear();
        return;
    }
    // The bins of pixel column c are [starts[c], starts[c + 1]); found once by
    // inverting the frequency scale, so no bin pays for a logarithm.
    const int columns = m_inner.right() - m_inner.left() + 1;
    const std::size_t first = m_logFrequency ? 1 : 0; // 0 Hz has no place on a log axis
    m_columnStarts.resize(std::size_t(columns) + 1);
    for (int c = 0; c < columns; ++c) {
        const double k = std::ceil(xToFrequency(m_inner.left() + c) / m_binWidth - 1e-9);
        m_columnStarts[std::size_t(c)] = std::clamp(std::size_t(std::max(k, 0.0)), first, bins);
    }
    m_columnStarts[std::size_t(columns)] = bins;

    for (SSeries& series : m_series) {
        series.points.clear();
        if (!series.spectrum.valid)
            continue;
        const float* a = series.spectrum.amplitude.data();
        const std::size_t size = series.spectrum.amplitude.size();
        series.points.reserve(std::min(size, std::size_t(2 * columns)));
        for (int c = 0; c < columns; ++c) {
            const std::size_t begin = std::min(m_columnStarts[std::size_t(c)], size);
            const std::size_t end = std::min(m_columnStarts[std::size_t(c) + 1], size);
            if (begin >= end)
                continue;
            if (end - begin == 1) { // a bin alone keeps its exact place (low end of a log axis)
                series.points.emplace_back(frequencyToX(double(begin) * m_binWidth),
                                           amplitudeToY(a[begin]));
                continue;
            }
            // Several bins: the column's largest and smallest amplitude, both
            // scales being monotonic.
            float lo = a[begin];
            float hi = a[begin];
            for (std::size_t k = begin + 1; k < end; ++k) {
                lo = std::min(lo, a[k]);
                hi = std::max(hi, a[k]);
            }
            const double x = m_inner.left() + c + 0.5;
            series.points.emplace_back(x, amplitudeToY(hi));
            if (hi != lo)
                series.points.emplace_back(x, amplitudeToY(lo));
        }
    }
}

void CSpectrumView::drawFrequencyAxis(QPainter& painter, const QFontMetrics& fm,
                                      const QColor& textColor)
{
    const QRect plot = m_inner.adjusted(-1, -1, 1, 1);
    const int fh = fm.height();
    std::vector<double> ticks;
    int decimals = 0;
    if (m_logFrequency) {
        const double fMax = maxFrequency();
        for (double decade = minFrequency(); decade <= fMax; decade *= 10.0) {
            for (double m : {1.0, 2.0, 5.0})
                if (m * decade <= fMax * (1.0 + 1e-9))
                    ticks.push_back(m * decade);
        }
    } else {
        const int target = plot.width() > 159 ? plot.width() / 80 : 1;
        const double step = CLiveGraph::niceStep(maxFrequency(), target);
        decimals = decimalsOf(step);
        for (double f = 0.0; f <= maxFrequency() + 1e-6 * step; f += step)
            ticks.push_back(f);
    }
    int labelRight = INT_MIN; // labels that would overlap the previous one are left out
    for (double f : ticks) {
        const double px = frequencyToX(f);
        painter.setPen(cosmeticPen(GRID_COLOR));
        painter.drawLine(QLineF(px, plot.top(), px, plot.bottom()));
        painter.setPen(textColor);
        painter.drawLine(QLineF(px, plot.bottom(), px, plot.bottom() + 4));
        const QString label =
            m_logFrequency ? QString::number(f, 'g', 6) : QString::number(f, 'f', decimals);
        const int w = fm.horizontalAdvance(label);
        const int labelLeft = int(std::floor(px - w / 2.0));
        if (labelLeft > labelRight + 4) {
            painter.drawText(QRectF(px - w / 2.0, plot.bottom() + 6, w, fh), Qt::AlignCenter,
                             label);
            labelRight = labelLeft + w;
        }
    }
}

QString CSpectrumView::frequencyText(double frequency) const
{
    // Enough decimals to tell neighbouring bins apart.
    return QString::number(frequency, 'f', std::clamp(decimalsOf(m_binWidth) + 1, 1, 4));
}

void CSpectrumView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QColor textColor = palette().color(QPalette::WindowText);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setFont(font());
    const QFontMetrics fm(font());
    const int fh = fm.height();

    if (!m_curvesValid)
        updateYRange();
    const int yTarget = height() > 79 ? height() / 40 : 1;
    const double yStep = CLiveGraph::niceStep(m_yMax - m_yMin, yTarget);
    const int yDecimals = decimalsOf(yStep);

    const int labelWidth =
        std::max({fm.horizontalAdvance(QStringLiteral("-0000")),
                  fm.horizontalAdvance(QString::number(m_yMin, 'f', yDecimals)),
                  fm.horizontalAdvance(QString::number(m_yMax, 'f', yDecimals))});
    const int left = labelWidth + 14 + fh + 4;
    const int top = fh + 16;
    // The peaks' readout below the axis label, in as many lines as it needs.
    const QStringList readout = readoutEntries();
    const QList<QRect> readoutRects = flowReadout(readout, fm, width() - 16);
    const int readoutHeight = readoutRects.isEmpty() ? fh : readoutRects.last().bottom() + 1;
    const int bottom = (fh + 14) + (fh + 4) + readoutHeight + 8; // tick labels, axis label
    const int right = fm.horizontalAdvance(QStringLiteral("0000")) / 2 + 8;
    const QRect plot(QPoint(left, top), QPoint(width() - right - 1, height() - bottom - 1));
    if (plot.width() < 10 || plot.height() < 10) {
        m_legendRects.clear();
        m_hover = SMeasure();
        return;
    }
    const QRect inner = plot.adjusted(1, 1, -1, -1);
    if (inner != m_inner) {
        m_inner = inner;
        m_curvesValid = false;
    }
    if (!m_curvesValid)
        rebuildCurves();

    painter.fillRect(plot, Qt::white);

    // Amplitude grid and labels.
    for (double y = std::ceil(m_yMin / yStep) * yStep; y <= m_yMax + 1e-6 * yStep; y += yStep) {
        const double value = std::fabs(y) < 1e-6 * yStep ? 0.0 : y;
        const double py = m_inner.bottom() -
                          (value - m_yMin) / (m_yMax - m_yMin) * (m_inner.bottom() - m_inner.top());
        painter.setPen(cosmeticPen(GRID_COLOR));
        painter.drawLine(QLineF(plot.left(), py, plot.right(), py));
        painter.setPen(textColor);
        painter.drawLine(QLineF(plot.left() - 4, py, plot.left(), py));
        painter.drawText(QRectF(8 + fh + 4, py - fh / 2.0, plot.left() - 14 - fh - 4, fh),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(value, 'f', yDecimals));
    }
    drawFrequencyAxis(painter, fm, textColor);

    painter.setPen(textColor);
    const QRect topBand(plot.left(), 8, plot.width(), fh + 4);
    QString heading = m_title;
    if (hasSpectrum()) {
        const std::size_t points = 2 * (spectrumLength() - 1);
        heading +=
            (heading.isEmpty() ? QString() : QStringLiteral("    ")) +
            tr("Resolution %1 Hz (%2 points)")
                .arg(QString::number(m_binWidth, 'f', std::clamp(decimalsOf(m_binWidth) + 2, 1, 5)))
                .arg(points);
    }
    painter.drawText(topBand, Qt::AlignLeft | Qt::AlignVCenter, heading);
    const int axisLabelTop = plot.bottom() + fh + 14;
    painter.drawText(QRect(plot.left(), axisLabelTop, plot.width(), fh), Qt::AlignCenter,
                     tr("Frequency [Hz]"));
    const QString yLabel = m_decibel ? tr("[dB re 1 %1]").arg(m_unit) : tr("[%1]").arg(m_unit);
    painter.save();
    painter.translate(8.0, plot.top() + plot.height() / 2.0);
    painter.rotate(-90.0);
    painter.drawText(QRectF(-plot.height() / 2.0, 0, plot.height(), fh), Qt::AlignCenter, yLabel);
    painter.restore();

    std::vector<CLiveGraph::SLegendEntry> entries;
    for (const SSeries& series : m_series)
        entries.push_back({series.name, series.color, series.visible});
    CLiveGraph::paintLegend(painter, topBand, entries, textColor, m_legendRects);

    painter.setClipRect(m_inner);
    for (const SSeries& series : m_series) {
        if (!series.visible || series.points.size() < 2)
            continue;
        painter.setPen(cosmeticPen(series.color));
        painter.drawPolyline(series.points.data(), int(series.points.size()));
    }
    // The peaks, ringed where the readout places them.
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    for (const SSeries& series : m_series) {
        if (!series.visible || !series.spectrum.valid)
            continue;
        const SpectrumAnalyzer::SPeak& peak = series.spectrum.peak;
        painter.setPen(cosmeticPen(series.color.darker(130), 1.5));
        painter.drawEllipse(QPointF(frequencyToX(peak.frequency), amplitudeToY(peak.amplitude)),
                            4.0, 4.0);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipping(false);
    if (!hasSpectrum()) {
        painter.setPen(textColor);
        painter.drawText(plot, Qt::AlignCenter, tr("Too few samples for a spectrum"));
    }

    painter.setPen(textColor);
    painter.drawRect(QRect(plot.topLeft(), QPoint(plot.right() - 1, plot.bottom() - 1)));

    const int readoutTop = axisLabelTop + fh + 4;
    qsizetype shown = 0;
    for (const SSeries& series : m_series) {
        if (!series.visible || !series.spectrum.valid)
            continue;
        painter.setPen(series.color.darker(130));
        painter.drawText(readoutRects[shown].translated(8, readoutTop),
                         Qt::AlignLeft | Qt::AlignVCenter, readout[shown]);
        ++shown;
    }
    if (m_measureMode)
        drawMeasure(painter, fm, textColor);
}

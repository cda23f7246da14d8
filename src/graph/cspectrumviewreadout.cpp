// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What the spectrum view reads out in words: the values under the mouse in
// measure mode and the peaks under the plot.
#include "cspectrumview.h"

#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

// Fixed notation with the given number of significant digits, trailing zeros kept.
QString significant(double value, int digits)
{
    if (!(value > 0.0))
        return QString::number(0.0, 'f', digits - 1);
    const int decimals = std::max(0, digits - 1 - int(std::floor(std::log10(value))));
    return QString::number(value, 'f', decimals);
}

} // namespace

void CSpectrumView::setMeasureMode(bool on)
{
    if (on == m_measureMode)
        return;
    m_measureMode = on;
    setMouseTracking(on);
    if (!on)
        m_hover = SMeasure();
    m_hoverInside = on && underMouse();
    if (m_hoverInside)
        m_hoverPos = mapFromGlobal(QCursor::pos());
    update();
}

void CSpectrumView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_measureMode) {
        m_hoverInside = true;
        m_hoverPos = event->position();
        // The picture changes only with the bin under the mouse.
        const SMeasure now = measureAt(m_hoverPos);
        if (now.valid != m_hover.valid || now.bin != m_hover.bin)
            update();
    }
    QWidget::mouseMoveEvent(event);
}

void CSpectrumView::leaveEvent(QEvent* event)
{
    m_hoverInside = false;
    if (m_hover.valid)
        update();
    QWidget::leaveEvent(event);
}

CSpectrumView::SMeasure CSpectrumView::measureAt(const QPointF& pos) const
{
    SMeasure measure;
    const std::size_t bins = spectrumLength();
    // The pixels of the plot area, its frame excluded.
    const QRectF area(m_inner);
    if (bins == 0 || m_binWidth <= 0.0 || !hasSpectrum() || !(pos.x() >= area.left()) ||
        !(pos.x() < area.right()) || !(pos.y() >= area.top()) || !(pos.y() < area.bottom()))
        return measure;
    // The bins on either side of the mouse's frequency; the nearer on screen
    // wins, which on a log axis is not the nearer in Hz.
    const std::size_t first = m_logFrequency ? 1 : 0;
    const double k = std::floor(xToFrequency(pos.x()) / m_binWidth);
    const std::size_t below = std::clamp(std::size_t(std::max(k, 0.0)), first, bins - 1);
    const std::size_t above = std::min(below + 1, bins - 1);
    const double xBelow = frequencyToX(double(below) * m_binWidth);
    const double xAbove = frequencyToX(double(above) * m_binWidth);
    const bool takeAbove = std::fabs(xAbove - pos.x()) < std::fabs(xBelow - pos.x());
    measure.bin = takeAbove ? above : below;
    measure.frequency = double(measure.bin) * m_binWidth;
    measure.x = takeAbove ? xAbove : xBelow;
    measure.column = std::clamp(int(std::floor(measure.x)), m_inner.left(), m_inner.right());
    measure.valid = true;
    measure.lines << tr("%1 Hz").arg(frequencyText(measure.frequency));
    for (std::size_t s = 0; s < m_series.size(); ++s) {
        const SSeries& series = m_series[s];
        if (!series.visible || !series.spectrum.valid ||
            measure.bin >= series.spectrum.amplitude.size())
            continue;
        const double amplitude = series.spectrum.amplitude[measure.bin];
        measure.values.push_back({int(s), amplitude});
        measure.lines << tr("%1: %2").arg(series.name, amplitudeText(amplitude));
    }
    return measure;
}

QString CSpectrumView::amplitudeText(double amplitude) const
{
    return m_decibel ? tr("%1 dB").arg(axisValue(amplitude), 0, 'f', 1)
                     : QStringLiteral("%1 %2").arg(significant(amplitude, 4), m_unit);
}

QStringList CSpectrumView::readoutEntries() const
{
    QStringList entries;
    for (const SSeries& series : m_series) {
        if (!series.visible || !series.spectrum.valid)
            continue;
        const SpectrumAnalyzer::SPeak& peak = series.spectrum.peak;
        entries << tr("%1: %2 Hz, %3")
                       .arg(series.name, frequencyText(peak.frequency),
                            amplitudeText(peak.amplitude));
    }
    return entries;
}

QList<QRect> CSpectrumView::flowReadout(const QStringList& entries, const QFontMetrics& fm,
                                        int width)
{
    // Left to right, wrapping to a new line where an entry would not fit.
    const int gap = fm.horizontalAdvance(QStringLiteral("    "));
    const int lineHeight = fm.height() + 2;
    QList<QRect> rects;
    int x = 0;
    int y = 0;
    for (const QString& entry : entries) {
        const int w = fm.horizontalAdvance(entry);
        if (x > 0 && x + w > width) {
            x = 0;
            y += lineHeight;
        }
        rects.append(QRect(x, y, w, fm.height()));
        x += w + gap;
    }
    return rects;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The parts of CLiveGraph's picture besides the curves. What stands still
// while data arrive (background, value axis and grid, titles, legend, and
// the time axis where it does not scroll) is drawn into a layer once per
// change of what it shows and copied into every paint after; only the
// scrolling time axis, the curves and the frame are drawn each time.
//
// The copy changes the order of drawing: the scrolling time axis comes after
// titles and legend instead of before them. Its lines and labels lie between
// the top band and the X axis label and right of the Y axis label, so the two
// touch no pixel in common and the order cannot show.
#include "clivegraph.h"
#include "clivegraphpaint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

using namespace livegraph;

namespace {

// As the graph's own pens.
const QColor ZERO_LINE_COLOR(0x88, 0x88, 0x88);

} // namespace

bool CLiveGraph::SLayerKey::operator==(const SLayerKey& o) const
{
    const auto sameEntries = [](const SLegendEntry& a, const SLegendEntry& b) {
        return a.name == b.name && a.color == b.color && a.visible == b.visible;
    };
    return size == o.size && font == o.font && direction == o.direction && hints == o.hints &&
           text == o.text && background == o.background && yMin == o.yMin && yMax == o.yMax &&
           title == o.title && xAxisLabel == o.xAxisLabel && yAxisLabel == o.yAxisLabel &&
           grid == o.grid && timeAxis == o.timeAxis && timeWindow == o.timeWindow &&
           std::equal(legend.begin(), legend.end(), o.legend.begin(), o.legend.end(), sameEntries);
}

CLiveGraph::SLayerKey CLiveGraph::layerKey(const QPainter& painter, bool withTimeAxis) const
{
    SLayerKey key;
    key.size = size();
    key.font = font();
    key.direction = painter.layoutDirection();
    key.hints = painter.renderHints();
    key.text = palette().color(QPalette::WindowText);
    key.background = palette().color(QPalette::Window);
    key.yMin = m_yMin;
    key.yMax = m_yMax;
    key.title = m_title;
    key.xAxisLabel = m_xAxisLabel;
    key.yAxisLabel = m_yAxisLabel;
    key.grid = m_gridVisible;
    key.timeAxis = withTimeAxis;
    key.timeWindow = withTimeAxis ? m_timeWindow : 0.0;
    key.legend.reserve(m_series.size());
    for (const SSeries& series : m_series)
        key.legend.push_back({series.name, series.color, series.visible});
    return key;
}

bool CLiveGraph::paintStandingParts(QPainter& painter, const QRect& plot, double timeFrom)
{
    const bool timeAxisScrolls = m_mode == Continue || m_viewStartSet;
    CPixelLayer::STarget target;
    // A translucent background would show the target's old pixels through.
    if (palette().color(QPalette::Window).alpha() != 255 ||
        !CPixelLayer::targetOf(painter, size(), target)) {
        drawStandingLayer(painter, plot, true, timeFrom);
        return false;
    }
    SLayerKey key = layerKey(painter, !timeAxisScrolls);
    if (!(key == m_layerKey) || !m_standingLayer.fits(target, logicalDpiX(), logicalDpiY())) {
        QImage& layer = m_standingLayer.reset(target, logicalDpiX(), logicalDpiY());
        m_layerHasFrame =
            target.scale == 1.0 && frameCoversBorderOnly(plot, target.image->format(), key.hints);
        QPainter layerPainter(&layer);
        layerPainter.setLayoutDirection(key.direction);
        layerPainter.setRenderHints(layerPainter.renderHints(), false);
        layerPainter.setRenderHints(key.hints);
        drawStandingLayer(layerPainter, plot, !timeAxisScrolls, 0.0);
        if (m_layerHasFrame)
            drawFrame(layerPainter, plot);
        m_layerKey = std::move(key);
        m_layerLegendRects = m_legendRects;
    }
    m_standingLayer.copyTo(painter, target);
    // The boxes of the legend the layer shows: a paint that drew no legend
    // (too small a plot) may have cleared them since.
    m_legendRects = m_layerLegendRects;
    if (timeAxisScrolls) {
        drawTimeAxis(painter, plot, timeFrom);
        // Its lines and ticks end on the frame, which is drawn over them.
        if (m_layerHasFrame)
            m_standingLayer.copyTo(painter, target,
                                   QRegion(plot) - QRegion(plot.adjusted(1, 1, -1, -1)));
    }
    return m_layerHasFrame;
}

void CLiveGraph::drawFrame(QPainter& painter, const QRect& plot) const
{
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(plot.topLeft(), QPoint(plot.right() - 1, plot.bottom() - 1)));
}

bool CLiveGraph::frameCoversBorderOnly(const QRect& plot, QImage::Format format,
                                       QPainter::RenderHints hints) const
{
    const QColor text = palette().color(QPalette::WindowText);
    if (text.alpha() != 255 || plot.isEmpty())
        return false;
    constexpr int MARGIN = 3;
    QImage probe(plot.size() + QSize(2 * MARGIN, 2 * MARGIN), format);
    const QRgb blank = ~text.rgb() | 0xFF000000u; // any colour but the frame's
    probe.fill(blank);
    {
        QPainter painter(&probe);
        painter.setRenderHints(painter.renderHints(), false);
        painter.setRenderHints(hints);
        painter.translate(MARGIN - plot.left(), MARGIN - plot.top());
        drawFrame(painter, plot);
    }
    const QRect outer(MARGIN, MARGIN, plot.width(), plot.height());
    const QRect inside = outer.adjusted(1, 1, -1, -1);
    // Beyond a few pixels of the border a rectangle's outline does not reach.
    const QRect deep = inside.adjusted(MARGIN, MARGIN, -MARGIN, -MARGIN);
    for (int y = 0; y < probe.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(probe.constScanLine(y));
        for (int x = 0; x < probe.width(); ++x) {
            if (deep.contains(x, y)) {
                x = deep.right();
                continue;
            }
            const bool border = outer.contains(x, y) && !inside.contains(x, y);
            if ((line[x] | 0xFF000000u) != (border ? text.rgb() : blank))
                return false;
        }
    }
    return true;
}

void CLiveGraph::drawStandingLayer(QPainter& painter, const QRect& plot, bool withTimeAxis,
                                   double timeFrom)
{
    const QColor textColor = palette().color(QPalette::WindowText);
    painter.setFont(font());
    const QFontMetrics fm(font());
    const int fh = fm.height();
    const int yTarget = height() > 79 ? height() / 40 : 1;
    const double yStep = niceStep(m_yMax - m_yMin, yTarget);
    const int yDecimals = decimalsFor(yStep);
    const QRect inner = plot.adjusted(1, 1, -1, -1);

    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.fillRect(plot, Qt::white);

    const QPen textPen(textColor, 1);
    const QPen gridPen = cosmeticPen(GRID_COLOR);
    const QPen zeroPen = cosmeticPen(ZERO_LINE_COLOR);

    // The loops stop early should a step vanish against huge axis values.
    for (double y = std::ceil(m_yMin / yStep) * yStep; y <= m_yMax + 1e-6 * yStep;) {
        if (std::abs(y) < 1e-6 * yStep)
            y = 0.0;
        const double py = valueToY(inner, y);
        if (m_gridVisible) {
            painter.setPen(y == 0.0 ? zeroPen : gridPen);
            painter.drawLine(QLineF(plot.left(), py, plot.right(), py));
        }
        painter.setPen(textPen);
        painter.drawLine(QLineF(plot.left() - 4, py, plot.left(), py));
        painter.drawText(QRectF(8, py - fh / 2.0, plot.left() - 14, fh),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(y, 'f', yDecimals));
        const double next = y + yStep;
        if (!(next > y))
            break;
        y = next;
    }

    if (withTimeAxis)
        drawTimeAxis(painter, plot, timeFrom);

    const QRect topBand(plot.left(), 8, plot.width(), legendBoxHeight()); // rows 8 ... fh + 11
    painter.setPen(textPen);
    if (!m_title.isEmpty())
        painter.drawText(topBand, Qt::AlignLeft | Qt::AlignVCenter, m_title);
    if (!m_xAxisLabel.isEmpty()) {
        painter.drawText(
            QRect(QPoint(plot.left(), height() - 8 - fh), QPoint(plot.right(), height() - 9)),
            Qt::AlignCenter, m_xAxisLabel);
    }
    if (!m_yAxisLabel.isEmpty()) {
        painter.save();
        painter.translate(8.0, plot.top() + plot.height() / 2.0);
        painter.rotate(-90.0);
        painter.drawText(QRectF(-plot.height() / 2.0, 0, plot.height(), fh), Qt::AlignCenter,
                         m_yAxisLabel);
        painter.restore();
    }

    drawLegend(painter, topBand);
}

void CLiveGraph::drawTimeAxis(QPainter& painter, const QRect& plot, double timeFrom)
{
    const QFontMetrics fm(font());
    const int fh = fm.height();
    const QRect inner = plot.adjusted(1, 1, -1, -1);
    const double x1 = timeFrom + m_timeWindow;
    const QPen textPen(palette().color(QPalette::WindowText), 1);
    const QPen gridPen = cosmeticPen(GRID_COLOR);

    const int xTarget = plot.width() > 159 ? plot.width() / 80 : 1;
    const double xStep = niceStep(m_timeWindow, xTarget);
    const int xDecimals = decimalsFor(xStep);
    if (m_timeLabelWidths.size() > 1000 || !(m_timeLabelFont == font())) {
        m_timeLabelWidths.clear();
        m_timeLabelFont = font();
    }
    for (double t = std::ceil(timeFrom / xStep) * xStep; t <= x1 + 1e-6 * xStep;) {
        const double px =
            inner.left() + (t - timeFrom) / m_timeWindow * (inner.right() - inner.left());
        if (m_gridVisible) {
            painter.setPen(gridPen);
            painter.drawLine(QLineF(px, plot.top(), px, plot.bottom()));
        }
        painter.setPen(textPen);
        painter.drawLine(QLineF(px, plot.bottom(), px, plot.bottom() + 4));
        const QString label = QString::number(t, 'f', xDecimals);
        auto width = m_timeLabelWidths.constFind(label);
        if (width == m_timeLabelWidths.cend())
            width = m_timeLabelWidths.insert(label, fm.horizontalAdvance(label));
        const int w = *width;
        painter.drawText(QRectF(px - w / 2.0, plot.bottom() + 6, w, fh), Qt::AlignCenter, label);
        const double next = t + xStep;
        if (!(next > t))
            break;
        t = next;
    }
}

void CLiveGraph::drawLegend(QPainter& painter, const QRect& legendRect)
{
    std::vector<SLegendEntry> entries;
    entries.reserve(m_series.size());
    for (const SSeries& series : m_series)
        entries.push_back({series.name, series.color, series.visible});
    paintLegend(painter, legendRect, entries, palette().color(QPalette::WindowText), m_legendRects);
}

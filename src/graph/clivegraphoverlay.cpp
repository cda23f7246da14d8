// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What CLiveGraph draws over its curves: the trigger marker, and in measure
// mode the hover line, the cursors and their readouts, drawn over a kept
// picture of the last paint so that a mouse move does not draw the curves again.
#include "clivegraph.h"
#include "clivegraphpaint.h"
#include "measurestatistics.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace livegraph;

namespace {

const QColor CURSOR_A_COLOR(0xE6, 0x51, 0x00);
const QColor CURSOR_B_COLOR(0x8E, 0x24, 0xAA);
const QColor HOVER_COLOR(0x42, 0x42, 0x42);
const QColor READOUT_BACKGROUND(0xFF, 0xFF, 0xFF, 0xEB);

} // namespace

bool CLiveGraph::SPaintKey::operator==(const SPaintKey& o) const
{
    return size == o.size && dpr == o.dpr && total == o.total && stored == o.stored &&
           clears == o.clears && sampleRate == o.sampleRate && timeWindow == o.timeWindow &&
           yMin == o.yMin && yMax == o.yMax && mode == o.mode && viewStartSet == o.viewStartSet &&
           viewStart == o.viewStart && visibleMask == o.visibleMask && title == o.title &&
           xAxisLabel == o.xAxisLabel && yAxisLabel == o.yAxisLabel && grid == o.grid &&
           palette == o.palette && font == o.font;
}

// Everything the painting from the data depends on: when none of it changed,
// the kept picture is what a paint would draw again.
CLiveGraph::SPaintKey CLiveGraph::paintKey() const
{
    SPaintKey key;
    key.size = size();
    key.dpr = devicePixelRatioF();
    key.total = m_totalSamples;
    key.stored = storedSampleCount();
    key.clears = m_clears;
    key.sampleRate = m_sampleRate;
    key.timeWindow = m_timeWindow;
    key.yMin = m_yMin;
    key.yMax = m_yMax;
    key.mode = int(m_mode);
    key.viewStartSet = m_viewStartSet;
    key.viewStart = m_viewStart;
    for (std::size_t i = 0; i < m_series.size() && i < 64; ++i) {
        if (m_series[i].visible)
            key.visibleMask |= quint64(1) << i;
    }
    key.title = m_title;
    key.xAxisLabel = m_xAxisLabel;
    key.yAxisLabel = m_yAxisLabel;
    key.grid = m_gridVisible;
    key.palette = palette().cacheKey();
    key.font = font();
    return key;
}

void CLiveGraph::setMeasureMode(bool on)
{
    if (m_measureMode == on)
        return;
    m_measureMode = on;
    setMouseTracking(on);
    if (!on) {
        m_lastPainting = QImage();
        m_lastPaintingKept = false;
        m_lastPaintingKey = SPaintKey();
        m_overlayItemsValid = false;
        m_hoverFraction = std::numeric_limits<double>::quiet_NaN();
        m_cursorA = NO_CURSOR;
        m_cursorB = NO_CURSOR;
        m_overlayDrawn = QRegion();
        m_overlayWait.stop();
    }
    update();
}

void CLiveGraph::setHoverFraction(double fraction)
{
    if (fraction == m_hoverFraction || (std::isnan(fraction) && std::isnan(m_hoverFraction)))
        return;
    m_hoverFraction = fraction;
    updateOverlay();
}

void CLiveGraph::setCursors(quint64 a, quint64 b)
{
    if (a == m_cursorA && b == m_cursorB)
        return;
    m_cursorA = a;
    m_cursorB = b;
    updateOverlay();
}

void CLiveGraph::setValueFormat(int decimals, const QString& unit)
{
    m_valueDecimals = decimals;
    m_valueUnit = unit;
    m_readoutWidth = -1;
    updateOverlay();
}

double CLiveGraph::fractionAt(const QPointF& pos) const
{
    // Asked at every move of the mouse: the kept layout spares measuring the labels.
    const QRect inner = overlayInner();
    const double span = inner.right() - inner.left();
    if (!(span > 0.0) || pos.x() < inner.left() || pos.x() > inner.right() ||
        pos.y() < inner.top() || pos.y() > inner.bottom())
        return std::numeric_limits<double>::quiet_NaN();
    return (pos.x() - inner.left()) / span;
}

double CLiveGraph::positionAtFraction(double fraction) const
{
    const quint64 total = m_totalSamples;
    const quint64 window = windowSampleCount();
    const double offset = fraction * double(window);
    if (m_mode == Overwrite && !m_viewStartSet && window < total) {
        const quint64 sweepStart = total - total % window;
        if (offset < double(total - sweepStart))
            return double(sweepStart) + offset;
        return double(sweepStart - window) + offset;
    }
    return double(firstVisibleIndex()) + offset;
}

double CLiveGraph::fractionOfIndex(quint64 absoluteIndex) const
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    const quint64 total = m_totalSamples;
    const quint64 window = windowSampleCount();
    if (absoluteIndex >= total)
        return none;
    quint64 origin = firstVisibleIndex();
    if (m_mode == Overwrite && !m_viewStartSet && window < total) {
        const quint64 sweepStart = total - total % window;
        if (absoluteIndex >= sweepStart)
            origin = sweepStart;
        else if (absoluteIndex >= total - window)
            origin = sweepStart - window;
        else
            return none;
    } else if (absoluteIndex < origin || absoluteIndex - origin > window) {
        return none;
    }
    return double(absoluteIndex - origin) / double(window);
}

bool CLiveGraph::nearestStoredIndex(double fraction, quint64& absoluteIndex) const
{
    const quint64 stored = storedSampleCount();
    if (stored == 0 || std::isnan(fraction))
        return false;
    absoluteIndex = MeasureStatistics::nearestIndex(positionAtFraction(fraction),
                                                    m_totalSamples - stored, m_totalSamples);
    return true;
}

double CLiveGraph::samplesPerColumn() const
{
    const QRect inner = plotRect().adjusted(1, 1, -1, -1);
    return double(windowSampleCount()) / std::max(1, inner.right() - inner.left());
}

int CLiveGraph::legendEntryAt(const QPoint& pos) const
{
    for (qsizetype i = 0; i < m_legendRects.size(); ++i) {
        if (m_legendRects[i].contains(pos))
            return int(i);
    }
    return -1;
}

QRect CLiveGraph::overlayInner() const
{
    if (m_lastPaintingKey.size == size())
        return m_lastPaintingInner;
    return plotRect().adjusted(1, 1, -1, -1);
}

const std::vector<CLiveGraph::SOverlayItem>& CLiveGraph::currentOverlayItems()
{
    if (!m_overlayItemsValid) {
        m_overlayItems = overlayItems();
        m_overlayItemsValid = true;
    }
    return m_overlayItems;
}

std::vector<CLiveGraph::SOverlayItem> CLiveGraph::overlayItems() const
{
    std::vector<SOverlayItem> items;
    const QRect inner = overlayInner();
    const int span = inner.right() - inner.left();
    if (span < 8 || inner.height() < 8)
        return items;
    const QFontMetrics fm(font());
    const int fh = fm.height();
    const auto lineAt = [&](double fraction) {
        const int x = inner.left() + int(std::lround(fraction * span));
        return QRect(x, inner.top(), 1, inner.height());
    };
    // A box beside the line, on its right unless that runs out of the plot.
    const auto boxBeside = [&](const QRect& line, QSize box, int top) {
        int x = line.left() + 4;
        if (x + box.width() > inner.right())
            x = line.left() - 4 - box.width();
        x = std::max(x, inner.left());
        return QRect(QPoint(x, top), box);
    };

    const quint64 cursors[] = {m_cursorA, m_cursorB};
    for (int c = 0; c < 2; ++c) {
        if (cursors[c] == NO_CURSOR)
            continue;
        const double fraction = fractionOfIndex(cursors[c]);
        if (std::isnan(fraction))
            continue;
        SOverlayItem item;
        item.color = c == 0 ? CURSOR_A_COLOR : CURSOR_B_COLOR;
        item.line = lineAt(fraction);
        const QLatin1Char name(c == 0 ? 'A' : 'B');
        item.texts << QString(name);
        item.box =
            boxBeside(item.line, QSize(fm.horizontalAdvance(name) + 8, fh + 2), inner.top() + 2);
        items.push_back(item);
    }

    if (!std::isnan(m_hoverFraction)) {
        SOverlayItem item;
        item.color = HOVER_COLOR;
        item.line = lineAt(std::clamp(m_hoverFraction, 0.0, 1.0));
        quint64 index = 0;
        if (nearestStoredIndex(m_hoverFraction, index)) {
            item.texts << QStringLiteral("%1 s").arg(double(index) / m_sampleRate, 0, 'f', 4);
            item.textColors << palette().color(QPalette::WindowText);
            for (std::size_t s = 0; s < m_series.size(); ++s) {
                const SSeries& series = m_series[s];
                const double value = double(sampleAt(int(s), index));
                item.texts << QStringLiteral("%1 %2 %3")
                                  .arg(series.name)
                                  .arg(value, 0, 'f', m_valueDecimals)
                                  .arg(m_valueUnit)
                                  .trimmed();
                item.textColors << (series.visible ? series.color : QColor(GRID_COLOR).darker(130));
            }
            item.box =
                boxBeside(item.line, QSize(readoutWidth(fm) + 10, int(item.texts.size()) * fh + 6),
                          inner.top() + fh + 8);
        }
        items.push_back(item);
    }
    return items;
}

QStringList CLiveGraph::hoverTexts() const
{
    if (!m_measureMode || std::isnan(m_hoverFraction))
        return {};
    const std::vector<SOverlayItem> items = overlayItems();
    return items.empty() ? QStringList() : items.back().texts;
}

// As wide as the widest text of its kind, so that the box neither jumps about
// nor measures texts at every move of the mouse.
int CLiveGraph::readoutWidth(const QFontMetrics& fm) const
{
    if (m_readoutWidth < 0 || !(m_readoutFont == font())) {
        m_readoutFont = font();
        const QString digits =
            QStringLiteral("-00000.") + QString(m_valueDecimals, QLatin1Char('0'));
        int width = fm.horizontalAdvance(QStringLiteral("00000.0000 s"));
        for (const SSeries& series : m_series) {
            width = std::max(
                width,
                fm.horizontalAdvance(
                    QStringLiteral("%1 %2 %3").arg(series.name, digits, m_valueUnit).trimmed()));
        }
        m_readoutWidth = width;
    }
    return m_readoutWidth;
}

QRegion CLiveGraph::overlayRegion()
{
    QRegion region;
    for (const SOverlayItem& item : currentOverlayItems()) {
        if (!item.line.isEmpty())
            region += item.line;
        if (!item.box.isEmpty())
            region += item.box;
    }
    return region;
}

void CLiveGraph::updateOverlay()
{
    m_overlayItemsValid = false;
    if (!m_measureMode)
        return;
    if (m_samplesArrived.isValid() && !m_samplesArrived.hasExpired(OVERLAY_WAIT_MS)) {
        // The timer only fires should the samples stop before the next repaint.
        if (!m_overlayWait.isActive())
            m_overlayWait.start();
        return;
    }
    repaintOverlay();
}

void CLiveGraph::repaintOverlay()
{
    m_overlayWait.stop();
    if (m_measureMode)
        update(m_overlayDrawn | overlayRegion());
}

void CLiveGraph::paintMeasured(QPaintEvent* event)
{
    const SPaintKey key = paintKey();
    const qreal dpr = key.dpr;
    const auto paintedFromData = [&](bool kept) {
        m_lastPaintingKey = key;
        m_lastPaintingKept = kept;
        m_lastPaintingInner = plotRect().adjusted(1, 1, -1, -1);
        m_overlayItemsValid = false; // the values under the mouse may have changed
    };
    if (!(key == m_lastPaintingKey) && event->region().contains(rect())) {
        // New data: painted straight onto the widget, which spares copying the
        // kept picture at every change while samples stream in. The picture
        // is kept only once the overlay changes on its own.
        paintData(this);
        paintedFromData(false);
        QPainter painter(this);
        paintOverlay(painter);
        return;
    }
    if (!m_lastPaintingKept || !(key == m_lastPaintingKey)) {
        const QSize pixels = (QSizeF(size()) * dpr).toSize();
        if (m_lastPainting.size() != pixels)
            m_lastPainting = QImage(pixels, QImage::Format_RGB32);
        m_lastPainting.setDevicePixelRatio(dpr);
        // Every change of the data asks for a whole repaint; should one not
        // have, the rest of the widget would show the old picture.
        if (!(key == m_lastPaintingKey) && !event->region().contains(rect()))
            update();
        paintData(&m_lastPainting);
        paintedFromData(true);
    }
    QPainter painter(this);
    // Copied row by row where that is exact: Qt's own copy hands tall areas
    // to helper threads, which costs a mouse move more than the copy itself.
    CPixelLayer::STarget target;
    if (CPixelLayer::targetOf(painter, size(), target) &&
        CPixelLayer::matches(m_lastPainting, target)) {
        CPixelLayer::copyImage(m_lastPainting, painter, target, QRegion());
    } else {
        for (const QRect& r : event->region()) {
            painter.drawImage(QRectF(r), m_lastPainting,
                              QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
        }
    }
    paintOverlay(painter);
}

void CLiveGraph::paintOverlay(QPainter& painter)
{
    const std::vector<SOverlayItem>& items = currentOverlayItems();
    m_overlayDrawn = QRegion();
    const QRect inner = overlayInner();
    const QFontMetrics fm(font());
    const int fh = fm.height();
    painter.save();
    painter.setClipRect(inner);
    painter.setFont(font());
    for (const SOverlayItem& item : items) {
        if (!item.line.isEmpty()) {
            painter.fillRect(item.line, item.color);
            m_overlayDrawn += item.line;
        }
        if (item.box.isEmpty())
            continue;
        m_overlayDrawn += item.box;
        if (item.textColors.isEmpty()) {
            // A cursor's name on its colour.
            painter.fillRect(item.box, item.color);
            painter.setPen(contrastTextColor(item.color));
            painter.drawText(item.box, Qt::AlignCenter, item.texts.front());
            continue;
        }
        painter.fillRect(item.box, READOUT_BACKGROUND);
        painter.setPen(cosmeticPen(item.color));
        painter.drawRect(item.box.adjusted(0, 0, -1, -1));
        // Drawn at a point: the quicker way for a line of text.
        for (qsizetype i = 0; i < item.texts.size(); ++i) {
            painter.setPen(item.textColors[i]);
            painter.drawText(
                QPointF(item.box.left() + 5, item.box.top() + 3 + int(i) * fh + fm.ascent()),
                item.texts[i]);
        }
    }
    painter.restore();
}

// --- Trigger marker ------------------------------------------------------------

void CLiveGraph::setTriggerMarker(quint64 absoluteIndex, bool showLevel, double level)
{
    m_triggerMarkerSet = true;
    m_triggerIndex = absoluteIndex;
    m_triggerLevelShown = showLevel;
    m_triggerLevel = level;
    update();
}

void CLiveGraph::clearTriggerMarker()
{
    if (!m_triggerMarkerSet)
        return;
    m_triggerMarkerSet = false;
    update();
}

void CLiveGraph::paintTriggerMarker(QPainter& painter, const QRect& inner, quint64 first,
                                    quint64 window) const
{
    static const QColor MARKER_COLOR(0xFF, 0x6F, 0x00); // apart from the three series' colours
    QPen pen(MARKER_COLOR, 1.5, Qt::DashLine);
    pen.setCosmetic(true);
    painter.save();
    painter.setPen(pen);
    if (m_triggerLevelShown && m_triggerLevel >= m_yMin && m_triggerLevel <= m_yMax) {
        const double y = valueToY(inner, m_triggerLevel);
        painter.drawLine(QLineF(inner.left(), y, inner.right(), y));
    }
    // The sample's place as the curves put it: origin at the first visible sample.
    if (m_triggerIndex >= first && m_triggerIndex - first < window) {
        const double x = inner.left() + double(m_triggerIndex - first) / double(window) *
                                            (inner.right() - inner.left());
        pen.setStyle(Qt::SolidLine);
        painter.setPen(pen);
        painter.drawLine(QLineF(x, inner.top(), x, inner.bottom()));
        // A small flag at the top marks it where curves crowd the line.
        const QPointF top(x, inner.top());
        const QPointF flag[] = {top, top + QPointF(7, 0), top + QPointF(0, 7)};
        painter.setBrush(MARKER_COLOR);
        painter.drawPolygon(flag, 3);
    }
    painter.restore();
}

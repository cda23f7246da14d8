// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "clivegraph.h"
#include "clivegraphpaint.h"
#include "cpolylineraster.h"
#include "measurestatistics.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

using namespace livegraph;

namespace {

constexpr double MAX_TIME_WINDOW = 300.0; // seconds; also the history length
// How far ahead of the column being decimated its edge values are fetched.
// Measured in the paint itself: the raster work in between evicts them.
constexpr int PREFETCH_COLUMNS = 12;

// llround for sample counts: a product too large for 64 bits saturates
// instead of being undefined.
quint64 roundCount(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= 9.2e18)
        return quint64(9.2e18);
    return quint64(std::llround(value));
}

} // namespace

// ---------------------------------------------------------------------------
// Data model

CLiveGraph::CLiveGraph(QWidget* parent) : QWidget(parent), m_xAxisLabel(tr("Time [s]"))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_overlayWait.setSingleShot(true);
    m_overlayWait.setInterval(OVERLAY_WAIT_MS);
    connect(&m_overlayWait, &QTimer::timeout, this, &CLiveGraph::repaintOverlay);
}

CLiveGraph::~CLiveGraph() = default;

int CLiveGraph::addSeries(const QString& name, const QColor& color)
{
    clear();
    SSeries series;
    series.name = name;
    series.color = color;
    m_series.push_back(std::move(series));
    m_readoutWidth = -1;
    return int(m_series.size()) - 1;
}

void CLiveGraph::appendSamples(const std::vector<float>& values)
{
    const std::size_t n = m_series.size();
    if (n == 0 || values.size() % n != 0)
        return;
    for (std::size_t i = 0; i < values.size(); ++i)
        m_series[i % n].data.push_back(values[i]);
    m_totalSamples += values.size() / n;
    if (!values.empty()) {
        ++m_dataGeneration;
        m_samplesArrived.start();
        // The whole repaint asked for below draws a waiting overlay change too.
        m_overlayWait.stop();
    }
    const quint64 limit = maxSampleCount();
    for (SSeries& series : m_series) {
        if (series.data.size() > limit)
            series.data.pop_front(series.data.size() - limit);
    }
    update();
    emit samplesAppended();
}

void CLiveGraph::clear()
{
    clearFrom(0);
}

void CLiveGraph::clearFrom(quint64 firstIndex)
{
    for (SSeries& series : m_series)
        series.data.clear();
    m_totalSamples = firstIndex;
    ++m_dataGeneration;
    ++m_clearGeneration;
    m_viewStartSet = false;
    m_viewStart = 0;
    ++m_clears;
    update();
    emit cleared();
}

void CLiveGraph::setSeriesVisible(int index, bool visible)
{
    if (index < 0 || index >= int(m_series.size()))
        return;
    m_series[std::size_t(index)].visible = visible;
    update();
}

bool CLiveGraph::isSeriesVisible(int index) const
{
    if (index < 0 || index >= int(m_series.size()))
        return false;
    return m_series[std::size_t(index)].visible;
}

quint64 CLiveGraph::storedSampleCount() const
{
    return m_series.empty() ? 0 : m_series.front().data.size();
}

float CLiveGraph::storedSample(int series, quint64 index) const
{
    return m_series[std::size_t(series)].data[std::size_t(index)];
}

void CLiveGraph::storedMinMax(int series, quint64 begin, quint64 end, float& lo, float& hi) const
{
    m_series[std::size_t(series)].data.minMax(std::size_t(begin), std::size_t(end), lo, hi);
}

double CLiveGraph::storedSum(int series, quint64 begin, quint64 end) const
{
    return m_series[std::size_t(series)].data.sum(std::size_t(begin), std::size_t(end));
}

void CLiveGraph::copyStoredSamples(int series, quint64 begin, quint64 end, float* out) const
{
    m_series[std::size_t(series)].data.copy(std::size_t(begin), std::size_t(end), out);
}

double CLiveGraph::storedSampleTime(quint64 index) const
{
    return double(index + m_totalSamples - storedSampleCount()) / m_sampleRate;
}

quint64 CLiveGraph::visibleBegin() const
{
    const quint64 dropped = m_totalSamples - storedSampleCount();
    return std::max(firstVisibleIndex(), dropped) - dropped;
}

quint64 CLiveGraph::visibleEnd() const
{
    const quint64 dropped = m_totalSamples - storedSampleCount();
    return std::min(firstVisibleIndex() + windowSampleCount(), m_totalSamples) - dropped;
}

void CLiveGraph::setSampleRate(double rate)
{
    // Also refuses NaN and infinity, which would poison every sample count.
    if (!(rate > 0.0) || !std::isfinite(rate))
        return;
    m_sampleRate = rate;
    clear();
}

void CLiveGraph::setTimeWindow(double seconds)
{
    if (!(seconds > 0.0))
        return;
    m_timeWindow = std::min(seconds, MAX_TIME_WINDOW);
    update();
}

void CLiveGraph::setYRange(double min, double max)
{
    // Written so that NaN is refused too: min < max must always hold.
    if (!(min < max))
        return;
    m_yMin = min;
    m_yMax = max;
    update();
}

void CLiveGraph::setViewStart(quint64 storedIndex)
{
    m_viewStartSet = true;
    m_viewStart = storedIndex;
    update();
}

void CLiveGraph::resetView()
{
    m_viewStartSet = false;
    m_viewStart = 0;
    update();
}

void CLiveGraph::setMode(EMode mode)
{
    m_mode = mode;
    update();
}

CLiveGraph::EMode CLiveGraph::mode() const
{
    return m_mode;
}

void CLiveGraph::setTitle(const QString& title)
{
    m_title = title;
    update();
}

void CLiveGraph::setXAxisLabel(const QString& label)
{
    m_xAxisLabel = label;
    update();
}

void CLiveGraph::setYAxisLabel(const QString& label)
{
    m_yAxisLabel = label;
    update();
}

void CLiveGraph::setGridVisible(bool visible)
{
    m_gridVisible = visible;
    update();
}

quint64 CLiveGraph::windowSampleCount() const
{
    return std::max<quint64>(roundCount(m_timeWindow * m_sampleRate), 1);
}

quint64 CLiveGraph::maxSampleCount() const
{
    return roundCount(MAX_TIME_WINDOW * m_sampleRate);
}

quint64 CLiveGraph::firstVisibleIndex() const
{
    const quint64 total = m_totalSamples;
    const quint64 stored = storedSampleCount();
    const quint64 dropped = total - stored;
    const quint64 window = windowSampleCount();
    if (m_viewStartSet)
        return std::min(m_viewStart, window < stored ? stored - window : 0) + dropped;
    if (m_mode == SingleShot)
        return dropped;
    return window < total ? total - window : 0;
}

float CLiveGraph::sampleAt(int series, quint64 absoluteIndex) const
{
    const CSampleQueue& data = m_series[std::size_t(series)].data;
    return data[std::size_t(absoluteIndex - (m_totalSamples - data.size()))];
}

// ---------------------------------------------------------------------------
// Rendering

double CLiveGraph::niceStep(double range, int n)
{
    if (range <= 0.0 || n <= 0)
        return 1.0;
    const double raw = range / n;
    const double base = std::pow(10.0, std::floor(std::log10(raw)));
    const double r = raw / base;
    if (r <= 1.0)
        return base;
    if (r <= 2.0)
        return 2.0 * base;
    if (r <= 5.0)
        return 5.0 * base;
    return 10.0 * base;
}

QColor CLiveGraph::contrastTextColor(const QColor& background)
{
    const double luminance =
        0.299 * background.red() + 0.587 * background.green() + 0.114 * background.blue();
    return luminance > 150.0 ? QColor(Qt::black) : QColor(Qt::white);
}

QSize CLiveGraph::sizeHint() const
{
    return QSize(600, 300);
}

QSize CLiveGraph::minimumSizeHint() const
{
    return QSize(300, 150);
}

int CLiveGraph::legendBoxHeight() const
{
    return fontMetrics().height() + 4;
}

QRect CLiveGraph::plotRect() const
{
    const int yTarget = height() > 79 ? height() / 40 : 1;
    const int yDecimals = decimalsFor(niceStep(m_yMax - m_yMin, yTarget));
    // Measuring the labels cost more than the rest of a paint's layout.
    SMargins& m = m_margins;
    if (m.yDecimals != yDecimals || m.yMin != m_yMin || m.yMax != m_yMax || !(m.font == font())) {
        const QFontMetrics fm(font());
        m.font = font();
        m.yMin = m_yMin;
        m.yMax = m_yMax;
        m.yDecimals = yDecimals;
        m.fh = fm.height();
        m.labelWidth = std::max({fm.horizontalAdvance(QStringLiteral("-0000")),
                                 fm.horizontalAdvance(QString::number(m_yMin, 'f', yDecimals)),
                                 fm.horizontalAdvance(QString::number(m_yMax, 'f', yDecimals))});
        m.right = fm.horizontalAdvance(QStringLiteral("0000")) / 2 + 8;
    }
    const int fh = m.fh;
    const int left = m.labelWidth + 14 + (m_yAxisLabel.isEmpty() ? 0 : fh + 4);
    const int top = (!m_title.isEmpty() || !m_series.empty()) ? fh + 16 : fh / 2 + 8;
    const int bottom = fh + 14 + (m_xAxisLabel.isEmpty() ? 0 : fh + 4);
    return QRect(QPoint(left, top), QPoint(width() - m.right - 1, height() - bottom - 1));
}

void CLiveGraph::paintEvent(QPaintEvent* event)
{
    if (m_measureMode)
        paintMeasured(event);
    else
        paintData(this);
}

void CLiveGraph::paintData(QPaintDevice* device)
{
    ++m_dataPaints;
    QPainter painter(device);
    const QColor textColor = palette().color(QPalette::WindowText);
    const QColor background = palette().color(QPalette::Window);
    painter.setFont(font());

    const QRect plot = plotRect();
    if (plot.width() < 10 || plot.height() < 10) {
        painter.fillRect(rect(), background);
        m_legendRects.clear();
        return;
    }
    const QRect inner = plot.adjusted(1, 1, -1, -1);
    const quint64 first = firstVisibleIndex();
    const quint64 total = m_totalSamples;
    const quint64 window = windowSampleCount();
    const bool sweep = m_mode == Overwrite && !m_viewStartSet && window < total;
    const quint64 sweepStart = total - total % window;

    // The curves are decimated before anything is drawn: the drawing runs
    // measurably faster when no scan of the samples comes between. Their
    // points share one buffer kept from paint to paint.
    struct SCurve
    {
        QColor color;
        std::size_t begin;
        std::size_t end;
    };
    std::vector<SCurve> curves;
    m_curvePoints.clear();
    const auto addSegment = [&](const SSeries& series, quint64 from, quint64 to, quint64 origin) {
        if (from < to && to - from != 1) {
            const std::size_t begin = m_curvePoints.size();
            segmentPoints(inner, series, from, to, origin, m_curvePoints);
            curves.push_back({series.color, begin, m_curvePoints.size()});
        }
    };
    for (const SSeries& series : m_series) {
        if (!series.visible)
            continue;
        if (sweep) {
            addSegment(series, first, sweepStart, sweepStart - window);
            addSegment(series, sweepStart, total, sweepStart);
        } else {
            addSegment(series, first, std::min(first + window, total), first);
        }
    }

    const double x0 = (m_mode == Continue || m_viewStartSet) ? first / m_sampleRate : 0.0;
    const bool framed = paintStandingParts(painter, plot, x0);

    painter.setClipRect(inner);
    for (const SCurve& curve : curves) {
        painter.setPen(cosmeticPen(curve.color));
        const QPointF* points = m_curvePoints.data() + curve.begin;
        const int count = int(curve.end - curve.begin);
        if (!CPolylineRaster::draw(painter, inner, points, count))
            painter.drawPolyline(points, count);
    }
    if (sweep) {
        const double x =
            inner.left() + double(total - sweepStart) / window * (inner.right() - inner.left());
        painter.setPen(cosmeticPen(textColor));
        painter.drawLine(QLineF(x, inner.top(), x, inner.bottom()));
    }
    if (m_triggerMarkerSet && !sweep)
        paintTriggerMarker(painter, inner, first, window);
    painter.setClipping(false);

    if (!framed)
        drawFrame(painter, plot);
}

void CLiveGraph::drawSegment(QPainter& painter, const QRect& rect, const SSeries& series,
                             quint64 from, quint64 to, quint64 origin) const
{
    if (from >= to || to - from == 1)
        return;
    std::vector<QPointF> points;
    segmentPoints(rect, series, from, to, origin, points);
    painter.setPen(cosmeticPen(series.color));
    painter.drawPolyline(points.data(), int(points.size()));
}

void CLiveGraph::segmentPoints(const QRect& rect, const SSeries& series, quint64 from, quint64 to,
                               quint64 origin, std::vector<QPointF>& points) const
{
    if (from >= to || to - from == 1)
        return;
    const quint64 window = windowSampleCount();
    const int columns = rect.width();
    const double samplesPerColumn = double(window) / columns;
    // Queue position = absolute index - dropped.
    const quint64 dropped = m_totalSamples - series.data.size();
    if (samplesPerColumn > 2.0) {
        CSampleQueue::clearUpperVectorState();
        points.reserve(points.size() + 2 * std::size_t(columns));
        // Column edges stay below W, which never reaches 2^63 (counts saturate
        // at 9.2e18): the signed conversion truncates alike in one instruction.
        quint64 edge = origin; // + trunc(c * samplesPerColumn)
        for (int c = 0; c < columns; ++c) {
            const quint64 nextEdge = origin + quint64(qint64((c + 1) * samplesPerColumn));
            const quint64 a = std::max(edge, from);
            const quint64 b = std::min(nextEdge, to);
            edge = nextEdge;
            // Column edges lie a cache line or more apart, too sparse for the
            // hardware to foresee.
            if (c + PREFETCH_COLUMNS < columns) {
                const quint64 ahead =
                    origin + quint64(qint64((c + PREFETCH_COLUMNS) * samplesPerColumn));
                if (ahead >= from && ahead < to)
                    series.data.prefetch(std::size_t(ahead - dropped));
            }
            if (a >= b)
                continue;
            float lo = 0.0f;
            float hi = 0.0f;
            series.data.minMax(std::size_t(a - dropped), std::size_t(b - dropped), lo, hi);
            const double x = rect.left() + c + 0.5;
            points.emplace_back(x, valueToY(rect, lo));
            if (hi != lo)
                points.emplace_back(x, valueToY(rect, hi));
        }
    } else {
        points.reserve(points.size() + std::size_t(to - from));
        const double span = rect.right() - rect.left();
        for (quint64 i = from; i < to; ++i) {
            const double x = rect.left() + double(i - origin) / window * span;
            points.emplace_back(x, valueToY(rect, series.data[std::size_t(i - dropped)]));
        }
    }
}

void CLiveGraph::paintLegend(QPainter& painter, const QRect& band,
                             const std::vector<SLegendEntry>& entries, const QColor& textColor,
                             QList<QRect>& boxes)
{
    const QFontMetrics fm(painter.font());
    int boxWidth = 0;
    for (const SLegendEntry& entry : entries)
        boxWidth = std::max(boxWidth, fm.horizontalAdvance(entry.name) + 12);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    boxes.resize(qsizetype(entries.size()));
    int x = band.right() + 1 - boxWidth;
    for (std::size_t i = entries.size(); i-- > 0;) {
        const SLegendEntry& entry = entries[i];
        const QRect box(QPoint(x, band.top()), QPoint(x + boxWidth - 1, band.bottom()));
        boxes[qsizetype(i)] = box;
        if (entry.visible) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(entry.color);
            painter.drawRoundedRect(box, 4, 4, Qt::AbsoluteSize);
            painter.setPen(contrastTextColor(entry.color));
        } else {
            painter.setPen(QPen(entry.color, 2.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), 4, 4, Qt::AbsoluteSize);
            painter.setPen(textColor);
        }
        painter.drawText(box, Qt::AlignCenter, entry.name);
        x -= boxWidth + 6;
    }
    painter.restore();
}

void CLiveGraph::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        for (qsizetype i = 0; i < m_legendRects.size(); ++i) {
            if (!m_legendRects[i].contains(pos))
                continue;
            // The rectangles are from the last paint; series are never removed,
            // but stay safe should the two ever disagree.
            if (std::size_t(i) < m_series.size()) {
                SSeries& series = m_series[std::size_t(i)];
                series.visible = !series.visible;
                update();
                return;
            }
        }
    }
    QWidget::mousePressEvent(event);
}

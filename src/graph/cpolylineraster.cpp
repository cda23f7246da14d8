// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
//
// The line rules follow the aliased, solid path of Qt's cosmetic stroker,
// qtbase src/gui/painting/qcosmeticstroker.cpp (LGPL-3, whose terms let this
// GPL-3.0-or-later program follow it), as Qt's raster engine applies it to
// QPainter::drawPolyline with a fast cosmetic pen: floating-point pre-clipping
// against the device grown by one pixel, 26.6 fixed-point end points, 16.16
// slopes, half-pixel caps at the ends and at direction reversals, dropout and
// double-pixel control between segments, and segments too short to draw
// leaving the next one to start where they started. This file is compiled
// without floating-point contraction: a fused multiply-add would move the
// clipped end points away from Qt's.
#include "cpolylineraster.h"
#include "cpolylinerastercheck.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QTransform>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

enum ECaps : int
{
    NoCaps = 0,
    CapBegin = 1,
    CapEnd = 2
};

enum EDirection : int
{
    NoDirection = 0,
    TopToBottom = 1,
    BottomToTop = 2,
    LeftToRight = 4,
    RightToLeft = 8,
    VerticalMask = 3,
    HorizontalMask = 12
};

// Mapped coordinates beyond this many pixels are left to QPainter: within it
// the clipping arithmetic stays finite and the fixed-point values fit.
constexpr double COORDINATE_LIMIT = 4194304.0;
// Qt's raster engine limits its device to this many pixels per side.
constexpr int DEVICE_LIMIT = 16384;

enum ESelfCheck : int
{
    Unchecked,
    Passed,
    Failed
};
std::atomic<int> s_selfCheck{Unchecked}; // atomic: painters may run on any thread
std::atomic<bool> s_fallbackForced{false};
std::atomic<quint64> s_drawnCount{0};

struct SPixel
{
    int x;
    int y;
};

int swapCaps(int caps)
{
    return ((caps & CapBegin) << 1) | ((caps & CapEnd) >> 1);
}

int toFixed26Dot6(double v)
{
    return int(v * 64.0);
}

// A 16.16 quotient, truncated toward zero.
std::int64_t fixedDiv(std::int64_t x, std::int64_t y)
{
    return x * 65536 / y;
}

class CStroker
{
public:
    CStroker(std::uint32_t* pixels, std::int64_t pixelsPerLine, const QRect& deviceRect,
             const QRect& clip, std::uint32_t color, bool caps)
        : m_pixels(pixels), m_pixelsPerLine(pixelsPerLine), m_clipLeft(clip.left()),
          m_clipTop(clip.top()), m_clipRight(clip.right()), m_clipBottom(clip.bottom()),
          m_xmin(deviceRect.left() - 1), m_xmax(deviceRect.right() + 2),
          m_ymin(deviceRect.top() - 1), m_ymax(deviceRect.bottom() + 2), m_color(color),
          m_caps(caps)
    {}

    // points are in device coordinates; the polyline is open.
    void drawPolyline(const QPointF* points, int count)
    {
        m_covered.assign(std::size_t(std::max<std::int64_t>(m_clipRight - m_clipLeft + 1, 0)),
                         SSpan{1, 0});
        m_lastPixel = {INT_MIN, INT_MIN};
        m_lastDir = NoDirection;
        m_lastAxisAligned = false;
        QPointF p = points[0];
        int caps = m_caps ? CapBegin : NoCaps;
        for (int i = 1; i < count; ++i) {
            const QPointF& p2 = points[i];
            if (m_caps && i == count - 1)
                caps |= CapEnd;
            const bool moved = drawLine(p.x(), p.y(), p2.x(), p2.y(), caps);
            // A segment too short to draw leaves the next one its start.
            if (moved || i == 1 || i == count - 1)
                p = p2;
            caps = NoCaps;
        }
    }

private:
    // A steep run: count pixels down from row y, the column starting at x
    // (16.16) and moving by xinc each row. Written column piece by column
    // piece, each without the rows this polyline has covered there already:
    // a decimated curve crosses most columns two or three times.
    void plotSteep(std::int64_t y, std::int64_t count, std::int64_t x, std::int64_t xinc)
    {
        if (!clipMajor(y, count, x, xinc, m_clipTop, m_clipBottom))
            return;
        const std::int64_t last = y + count - 1;
        while (y <= last) {
            const std::int64_t column = x >> 16;
            // Rows until x leaves this column, exactly as stepping would find.
            std::int64_t rows = count;
            if (xinc > 0)
                rows = ((column + 1) * 65536 - x + xinc - 1) / xinc;
            else if (xinc < 0)
                rows = (x - column * 65536 - xinc) / -xinc;
            rows = std::min(rows, last - y + 1);
            fillColumn(column, y, y + rows - 1);
            y += rows;
            x += rows * xinc;
        }
    }

    // Rows top ... bottom of a column, both within the clip's rows.
    void fillColumn(std::int64_t column, std::int64_t top, std::int64_t bottom)
    {
        if (column < m_clipLeft || column > m_clipRight)
            return;
        SSpan& covered = m_covered[std::size_t(column - m_clipLeft)];
        std::uint32_t* pixel = m_pixels + column;
        if (covered.top > covered.bottom) {
            fillRows(pixel, top, bottom);
            covered = {top, bottom};
            return;
        }
        fillRows(pixel, top, std::min(bottom, covered.top - 1));
        fillRows(pixel, std::max(top, covered.bottom + 1), bottom);
        if (top <= covered.bottom + 1 && bottom >= covered.top - 1)
            covered = {std::min(top, covered.top), std::max(bottom, covered.bottom)};
        else if (bottom - top > covered.bottom - covered.top)
            covered = {top, bottom};
    }

    void fillRows(std::uint32_t* column, std::int64_t top, std::int64_t bottom)
    {
        std::uint32_t* p = column + top * m_pixelsPerLine;
        for (std::int64_t row = top; row <= bottom; ++row) {
            *p = m_color;
            p += m_pixelsPerLine;
        }
    }

    // Trims a run of count pixels from major on to the clip's first ... last
    // along its major axis, moving minor by step per pixel skipped. False when
    // nothing is left.
    static bool clipMajor(std::int64_t& major, std::int64_t& count, std::int64_t& minor,
                          std::int64_t step, std::int64_t first, std::int64_t last)
    {
        if (major < first) {
            const std::int64_t skip = first - major;
            if (skip >= count)
                return false;
            major += skip;
            count -= skip;
            minor += skip * step;
        }
        count = std::min(count, last - major + 1);
        return count > 0;
    }

    // A shallow run: count pixels rightwards from column x, the row starting
    // at y (16.16) and moving by yinc each column.
    void plotShallow(std::int64_t x, std::int64_t count, std::int64_t y, std::int64_t yinc)
    {
        if (!clipMajor(x, count, y, yinc, m_clipLeft, m_clipRight))
            return;
        const std::int64_t firstRow = y >> 16;
        const std::int64_t lastRow = (y + (count - 1) * yinc) >> 16;
        const bool inside =
            std::min(firstRow, lastRow) >= m_clipTop && std::max(firstRow, lastRow) <= m_clipBottom;
        for (std::int64_t i = 0; i < count; ++i, ++x, y += yinc) {
            const std::int64_t row = y >> 16;
            if (inside || (row >= m_clipTop && row <= m_clipBottom))
                m_pixels[row * m_pixelsPerLine + x] = m_color;
        }
    }

    // True when the whole segment lies outside the grown device rectangle.
    bool clipLine(double& x1, double& y1, double& x2, double& y2)
    {
        return clipAxis(x1, y1, x2, y2, m_xmin, m_xmax) || clipAxis(y1, x1, y2, x2, m_ymin, m_ymax);
    }

    // Clips along one axis (a) between min and max, moving the other (b) along.
    bool clipAxis(double& a1, double& b1, double& a2, double& b2, double min, double max)
    {
        if (a1 < min) {
            if (a2 <= min)
                return clippedAway();
            b1 += (b2 - b1) / (a2 - a1) * (min - a1);
            a1 = min;
        } else if (a1 > max) {
            if (a2 >= max)
                return clippedAway();
            b1 += (b2 - b1) / (a2 - a1) * (max - a1);
            a1 = max;
        }
        if (a2 < min) {
            m_lastPixel.x = INT_MIN;
            b2 += (b2 - b1) / (a2 - a1) * (min - a2);
            a2 = min;
        } else if (a2 > max) {
            m_lastPixel.x = INT_MIN;
            b2 += (b2 - b1) / (a2 - a1) * (max - a2);
            a2 = max;
        }
        return false;
    }

    bool clippedAway()
    {
        m_lastPixel.x = INT_MIN;
        return true;
    }

    // How the pixel run starting at first joins the previous one: -1 drops
    // its first pixel (the same pixel again), 1 adds one before it (a gap),
    // 2 shifts it by half a step (a jump along the same direction), 0 keeps it.
    int joinAdjustment(const SPixel& first, int dir, bool axisAligned) const
    {
        if (m_lastPixel.x == INT_MIN)
            return 0;
        if (first.x == m_lastPixel.x && first.y == m_lastPixel.y)
            return -1;
        if (m_lastDir != dir &&
            (((axisAligned && m_lastAxisAligned) && m_lastPixel.x != first.x &&
              m_lastPixel.y != first.y) ||
             std::abs(m_lastPixel.x - first.x) > 1 || std::abs(m_lastPixel.y - first.y) > 1))
            return 1;
        if (m_lastDir == dir && std::abs(m_lastPixel.x - first.x) <= 1 &&
            std::abs(m_lastPixel.y - first.y) > 1)
            return 2;
        return 0;
    }

    // Returns false for a segment that is not clipped away yet too short to
    // draw anything.
    bool drawLine(double rx1, double ry1, double rx2, double ry2, int caps)
    {
        const bool longEnough = std::abs(rx2 - rx1) + std::abs(ry2 - ry1) >= 1.0;
        if (clipLine(rx1, ry1, rx2, ry2))
            return true;
        const std::int64_t x1 = toFixed26Dot6(rx1);
        const std::int64_t y1 = toFixed26Dot6(ry1);
        const std::int64_t x2 = toFixed26Dot6(rx2);
        const std::int64_t y2 = toFixed26Dot6(ry2);
        const std::int64_t dx = std::abs(x2 - x1);
        const std::int64_t dy = std::abs(y2 - y1);
        if (dx < dy)
            return drawAlong(true, y1, x1, y2, x2, caps) || longEnough;
        if (dx == 0)
            return true;
        return drawAlong(false, x1, y1, x2, y2, caps) || longEnough;
    }

    // One segment stepped along its major axis: y for a steep one, x for the
    // others; a and b are the major and minor coordinates (26.6) of its ends.
    // Returns whether it drew.
    bool drawAlong(bool steep, std::int64_t a1, std::int64_t b1, std::int64_t a2, std::int64_t b2,
                   int caps)
    {
        const auto pixel = [steep](std::int64_t major, std::int64_t minor) {
            return steep ? SPixel{int(minor), int(major)} : SPixel{int(major), int(minor)};
        };
        const int lastMajor = steep ? m_lastPixel.y : m_lastPixel.x;
        SPixel last = m_lastPixel;
        int dir = steep ? TopToBottom : LeftToRight;
        const bool swapped = a1 > a2;
        if (swapped) {
            std::swap(a1, a2);
            std::swap(b1, b2);
            caps = swapCaps(caps);
            dir = steep ? BottomToTop : RightToLeft;
        }
        const std::int64_t inc = fixedDiv(b2 - b1, a2 - a1);
        std::int64_t b = b1 * 1024;
        // A reversal gets a cap where it turns.
        if ((m_lastDir ^ (steep ? VerticalMask : HorizontalMask)) == dir)
            caps |= swapped ? CapEnd : CapBegin;
        if (caps & CapBegin) {
            a1 -= 32;
            b -= inc >> 1;
        }
        if (caps & CapEnd)
            a2 += 32;
        std::int64_t a = (a1 + 32) >> 6;
        std::int64_t as = (a2 + 32) >> 6;
        const std::int64_t round = inc > 0 ? 32 : 0;
        // A cap must not round the start past the previous run's end.
        if ((caps & CapBegin) && lastMajor == a + 1)
            ++a;
        if (a == as) {
            m_lastPixel = last;
            return false;
        }
        b += ((a * 64 + round - a1) * inc) >> 6;
        SPixel first = pixel(a, b >> 16);
        last = pixel(as - 1, (b + (as - a - 1) * inc) >> 16);
        if (swapped)
            std::swap(first, last);
        const bool axisAligned = std::abs(inc) < (1 << 14);
        switch (joinAdjustment(first, dir, axisAligned)) {
        case -1:
            if (swapped) {
                --as;
            } else {
                ++a;
                b += inc;
            }
            break;
        case 1:
            if (swapped) {
                ++as;
            } else {
                --a;
                b -= inc;
            }
            break;
        case 2:
            b += inc >> 1;
            last = pixel(swapped ? a : as - 1, (swapped ? b : b + (as - a - 1) * inc) >> 16);
            break;
        default:
            break;
        }
        m_lastDir = dir;
        m_lastAxisAligned = axisAligned;
        // At least one pixel, as Qt draws one when the join left none.
        const std::int64_t count = std::max(as - a, std::int64_t(1));
        if (steep)
            plotSteep(a, count, b, inc);
        else
            plotShallow(a, count, b, inc);
        m_lastPixel = last;
        return true;
    }

    std::uint32_t* m_pixels;
    std::int64_t m_pixelsPerLine;
    std::int64_t m_clipLeft;
    std::int64_t m_clipTop;
    std::int64_t m_clipRight;
    std::int64_t m_clipBottom;
    double m_xmin;
    double m_xmax;
    double m_ymin;
    double m_ymax;
    std::uint32_t m_color;
    bool m_caps;
    SPixel m_lastPixel{INT_MIN, INT_MIN};
    int m_lastDir = NoDirection;
    bool m_lastAxisAligned = false;
    // Per column of the clip, rows this polyline has certainly written.
    struct SSpan
    {
        std::int64_t top;
        std::int64_t bottom; // top > bottom: none
    };
    std::vector<SSpan> m_covered;
};

// The rectangle Qt's raster engine clips to for setClipRect(rect) under a
// transform that at most scales: the mapped corners, rounded.
QRect mapClipRect(const QRect& rect, const QTransform& transform)
{
    const QRectF r(rect);
    const QPoint a = transform.map(r.topLeft()).toPoint();
    const QPoint b = transform.map(r.bottomRight()).toPoint();
    if (a.x() == b.x() || a.y() == b.y())
        return QRect();
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()) - 1, std::max(a.y(), b.y()) - 1));
}

// The image the painter's raster engine writes to, or null when there is
// none this code can write to safely. keepAlive holds a shared copy for
// pixmaps, whose image is reachable only that way.
QImage* targetImage(QPainter& painter, QImage& keepAlive)
{
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return nullptr;
    QPaintDevice* device = engine->paintDevice();
    if (!device)
        return nullptr;
    if (device->devType() == QInternal::Image)
        return static_cast<QImage*>(device);
    if (device->devType() == QInternal::Pixmap) {
        keepAlive = static_cast<QPixmap*>(device)->toImage();
        // A detached result is a copy, not the pixmap's own pixels.
        if (keepAlive.isNull() || keepAlive.isDetached())
            return nullptr;
        return &keepAlive;
    }
    return nullptr;
}

bool drawFast(QPainter& painter, const QRect& clip, const QPointF* points, int count)
{
    if (count < 2 || !painter.isActive() || !painter.hasClipping())
        return false;
    // A closed polyline starts with the dropout state of its last segment.
    if (points[0] == points[count - 1])
        return false;
    if (painter.testRenderHint(QPainter::Antialiasing) || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    const QPen& pen = painter.pen();
    if (pen.style() != Qt::SolidLine || !pen.isCosmetic() ||
        !(pen.widthF() == 1.0 || pen.widthF() == 0.0) || pen.brush().style() != Qt::SolidPattern ||
        !pen.brush().transform().isIdentity() || !pen.color().rgba64().isOpaque())
        return false;
    const QTransform& transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxScale)
        return false;
    if (painter.clipRegion().rectCount() != 1)
        return false;

    QImage keepAlive;
    QImage* image = targetImage(painter, keepAlive);
    if (!image || (image->format() != QImage::Format_RGB32 &&
                   image->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    if (image->width() > DEVICE_LIMIT || image->height() > DEVICE_LIMIT)
        return false;

    const QRect unclipped(0, 0, image->width(), image->height());
    QRect deviceRect = unclipped;
    const QRegion systemClip = painter.paintEngine()->systemClip();
    if (!systemClip.isEmpty()) {
        if (systemClip.rectCount() != 1)
            return false;
        deviceRect = systemClip.boundingRect() & unclipped;
    }
    const QRect pixelClip = mapClipRect(clip, transform) & deviceRect;
    if (pixelClip.isEmpty())
        return true; // Qt draws nothing under an empty clip either

    thread_local std::vector<QPointF> mapped;
    mapped.resize(std::size_t(count));
    // A widget's paint is only moved to its place in the window: that sum,
    // which is QTransform's own for a translation, without a call per point.
    const bool translation = transform.type() <= QTransform::TxTranslate;
    const QPointF offset(transform.dx(), transform.dy());
    for (int i = 0; i < count; ++i) {
        const QPointF p = translation
                              ? QPointF(points[i].x() + offset.x(), points[i].y() + offset.y())
                              : transform.map(points[i]);
        if (!(std::abs(p.x()) < COORDINATE_LIMIT && std::abs(p.y()) < COORDINATE_LIMIT))
            return false; // also NaN
        mapped[std::size_t(i)] = p;
    }

    // Opaque colours only: the pixel is the colour, whatever was below.
    const std::uint32_t color = pen.color().rgba();
    // Through constBits(): bits() could detach and leave the painter's pixels
    // untouched.
    auto* pixels = reinterpret_cast<std::uint32_t*>(const_cast<uchar*>(image->constBits()));
    CStroker stroker(pixels, image->bytesPerLine() / 4, unclipped, pixelClip, color,
                     pen.capStyle() != Qt::FlatCap);
    stroker.drawPolyline(mapped.data(), count);
    return true;
}

} // namespace

bool CPolylineRaster::draw(QPainter& painter, const QRect& clip, const QPointF* points, int count)
{
    if (s_fallbackForced.load(std::memory_order_relaxed))
        return false;
    int state = s_selfCheck.load(std::memory_order_acquire);
    if (state == Unchecked)
        state = runSelfCheck() ? Passed : Failed;
    if (state != Passed || !drawFast(painter, clip, points, count))
        return false;
    s_drawnCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

quint64 CPolylineRaster::drawnCount()
{
    return s_drawnCount.load(std::memory_order_relaxed);
}

void CPolylineRaster::setFallbackForced(bool forced)
{
    s_fallbackForced.store(forced, std::memory_order_relaxed);
}

bool CPolylineRaster::fallbackForced()
{
    return s_fallbackForced.load(std::memory_order_relaxed);
}

bool CPolylineRaster::runSelfCheck(const std::function<void(QImage&)>& tamper)
{
    const bool same = CPolylineRasterCheck::run(drawFast, tamper);
    s_selfCheck.store(same ? Passed : Failed, std::memory_order_release);
    return same;
}

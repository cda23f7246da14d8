// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "cpixellayer.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QTransform>

#include <atomic>
#include <cmath>
#include <cstring>

namespace {

// Device offsets and sizes beyond this are left to drawing: the pixel
// arithmetic stays in int.
constexpr double COORDINATE_LIMIT = 1048576.0;

std::atomic<bool> s_disabled{false}; // atomic: painters may run on any thread
std::atomic<quint64> s_copiedCount{0};
std::atomic<quint64> s_drawnCount{0};

bool isWholePixel(double v)
{
    return std::abs(v) < COORDINATE_LIMIT && v == std::floor(v);
}

int dotsPerMeter(int dpi)
{
    return qRound(dpi / 0.0254);
}

} // namespace

bool CPixelLayer::targetOf(QPainter& painter, const QSize& size, STarget& target)
{
    target = STarget();
    if (s_disabled.load(std::memory_order_relaxed) || !painter.isActive() || size.isEmpty() ||
        painter.hasClipping())
        return false;
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice())
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (device->devType() == QInternal::Image) {
        target.image = static_cast<QImage*>(device);
    } else if (device->devType() == QInternal::Pixmap) {
        target.keepAlive = static_cast<QPixmap*>(device)->toImage();
        // A detached result is a copy, not the pixmap's own pixels.
        if (target.keepAlive.isNull() || target.keepAlive.isDetached())
            return false;
        target.image = &target.keepAlive;
    }
    if (!target.image || (target.image->format() != QImage::Format_RGB32 &&
                          target.image->format() != QImage::Format_ARGB32_Premultiplied))
        return false;

    // Only then does the layer's grid, which starts at pixel 0, differ from
    // the target's by whole pixels, and cover exactly the pixels drawing covers.
    const QTransform& transform = painter.deviceTransform();
    const double scale = transform.m11();
    if (transform.type() > QTransform::TxScale || transform.m22() != scale || !(scale > 0.0))
        return false;
    const double width = size.width() * scale;
    const double height = size.height() * scale;
    if (!isWholePixel(transform.dx()) || !isWholePixel(transform.dy()) || !isWholePixel(width) ||
        !isWholePixel(height))
        return false;
    target.origin = QPoint(int(transform.dx()), int(transform.dy()));
    target.pixelSize = QSize(int(width), int(height));
    target.scale = scale;
    return true;
}

bool CPixelLayer::matches(const QImage& picture, const STarget& target)
{
    return !picture.isNull() && target.image && picture.size() == target.pixelSize &&
           picture.devicePixelRatio() == target.scale && picture.format() == target.image->format();
}

bool CPixelLayer::fits(const STarget& target, int dpiX, int dpiY) const
{
    return matches(m_image, target) && m_image.dotsPerMeterX() == dotsPerMeter(dpiX) &&
           m_image.dotsPerMeterY() == dotsPerMeter(dpiY);
}

QImage& CPixelLayer::reset(const STarget& target, int dpiX, int dpiY)
{
    m_image = QImage(target.pixelSize, target.image->format());
    m_image.setDevicePixelRatio(target.scale);
    // The image's resolution gives the fonts drawn on it their pixel size:
    // it must be the widget's, as on the target.
    m_image.setDotsPerMeterX(dotsPerMeter(dpiX));
    m_image.setDotsPerMeterY(dotsPerMeter(dpiY));
    s_drawnCount.fetch_add(1, std::memory_order_relaxed);
    return m_image;
}

void CPixelLayer::copyTo(QPainter& painter, const STarget& target) const
{
    copyTo(painter, target, QRegion());
    s_copiedCount.fetch_add(1, std::memory_order_relaxed);
}

void CPixelLayer::copyTo(QPainter& painter, const STarget& target, const QRegion& part) const
{
    copyImage(m_image, painter, target, part);
}

void CPixelLayer::copyImage(const QImage& picture, QPainter& painter, const STarget& target,
                            const QRegion& part)
{
    QImage& image = *target.image;
    const QRect area = QRect(target.origin, target.pixelSize) & image.rect();
    const QRegion systemClip = painter.paintEngine()->systemClip();
    QRegion region = systemClip.isEmpty() ? QRegion(area) : systemClip & area;
    if (!part.isEmpty())
        region &= part.translated(target.origin);
    // Through constBits(): bits() could detach and leave the painter's pixels
    // untouched.
    uchar* const bits = const_cast<uchar*>(image.constBits());
    const qsizetype stride = image.bytesPerLine();
    for (const QRect& rect : region) {
        const std::size_t bytes = std::size_t(rect.width()) * 4;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const uchar* from = picture.constScanLine(y - target.origin.y()) +
                                std::size_t(rect.left() - target.origin.x()) * 4;
            std::memcpy(bits + y * stride + std::size_t(rect.left()) * 4, from, bytes);
        }
    }
}

void CPixelLayer::setDisabled(bool disabled)
{
    s_disabled.store(disabled, std::memory_order_relaxed);
}

bool CPixelLayer::disabled()
{
    return s_disabled.load(std::memory_order_relaxed);
}

quint64 CPixelLayer::copiedCount()
{
    return s_copiedCount.load(std::memory_order_relaxed);
}

quint64 CPixelLayer::drawnCount()
{
    return s_drawnCount.load(std::memory_order_relaxed);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A picture drawn once and copied into later paints pixel for pixel where
// drawing it again would put the very same pixels: the layer is drawn by the
// same raster engine, in the target's format, at its scale and resolution, on
// a pixel grid that differs from the target's by whole pixels only. Targets
// where that cannot be promised are declined and the caller draws directly.
// GUI thread only.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QtGlobal>

class QPainter;
class QRegion;

class CPixelLayer
{
public:
    // Where the area [0, size) of a painter's coordinates lands in its image.
    struct STarget
    {
        QImage* image = nullptr;
        QImage keepAlive; // shares a pixmap's pixels while image points at them
        QPoint origin;    // the area's top left, in the image's pixels
        QSize pixelSize;
        double scale = 1.0;
    };

    // False, with target unusable, unless the painter paints with Qt's raster
    // engine into a 32-bit RGB image, scaled alike both ways at most, and the
    // area's edges fall on whole pixels.
    static bool targetOf(QPainter& painter, const QSize& size, STarget& target);

    // Whether the layer holds pixels drawn for such a target: its size, scale,
    // format and dots per inch (which set the fonts' pixel sizes).
    bool fits(const STarget& target, int dpiX, int dpiY) const;
    // Recreates the layer for the target; its pixels are undefined until drawn.
    // Draw on it with a QPainter of its own, in the area's coordinates.
    QImage& reset(const STarget& target, int dpiX, int dpiY);
    void clear() { m_image = QImage(); }

    // Copies the layer into the target, within the painter's system clip;
    // with part, only that part of it (in the area's pixels).
    void copyTo(QPainter& painter, const STarget& target) const;
    void copyTo(QPainter& painter, const STarget& target, const QRegion& part) const;
    // Whether a picture has the target's pixel size, scale and format, so
    // that copyImage() puts what drawing it unscaled would put there.
    static bool matches(const QImage& picture, const STarget& target);
    // The same as copyTo() for any picture that matches() the target (it is not checked).
    static void copyImage(const QImage& picture, QPainter& painter, const STarget& target,
                          const QRegion& part);

    // For tests and benchmarks: makes targetOf() decline everything, so the
    // copied and the drawn picture can be compared in one process.
    static void setDisabled(bool disabled);
    static bool disabled();
    // How many whole layers copyTo() has copied, and reset() made ready for
    // drawing, in this process.
    static quint64 copiedCount();
    static quint64 drawnCount();

private:
    QImage m_image;
};

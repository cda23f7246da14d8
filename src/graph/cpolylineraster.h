// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Draws open polylines with a 1-pixel cosmetic pen, without antialiasing,
// straight into the raster image a QPainter paints on, pixel for pixel as
// QPainter::drawPolyline would, several times faster. Only the situation it
// reproduces exactly is taken on; draw() declines everything else and the
// caller draws with QPainter. A self-check against the linked Qt at first use
// switches it off for the process should any pixel differ.
#pragma once

#include <QPointF>
#include <QRect>
#include <QtGlobal>

#include <functional>

class QImage;
class QPainter;

class CPolylineRaster
{
public:
    // Draws points[0 ... count - 1] as one open polyline with the painter's
    // pen. The painter's clip must be exactly clip, set with setClipRect().
    // Returns false, having drawn nothing, when it cannot promise QPainter's
    // pixels; the caller then draws with QPainter.
    static bool draw(QPainter& painter, const QRect& clip, const QPointF* points, int count);

    // For tests and benchmarks: makes draw() decline everything, so both
    // paths can be compared in one process.
    static void setFallbackForced(bool forced);
    static bool fallbackForced();
    // How many polylines draw() has taken on in this process, so tests can
    // tell that a comparison really involved the fast path.
    static quint64 drawnCount();

    // Draws a set of awkward polylines both ways and compares every pixel;
    // the fast path stays on only if they all agree. Runs by itself at first
    // use; tests run it again, tamper altering the fast path's picture before
    // the comparison. Returns whether the fast path is on afterwards.
    static bool runSelfCheck(const std::function<void(QImage&)>& tamper = {});
};

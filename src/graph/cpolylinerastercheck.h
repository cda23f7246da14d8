// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// CPolylineRaster's self-check: a set of awkward polylines drawn by QPainter
// and by the fast path, compared pixel for pixel. It only compares drawings,
// so unlike the fast path's own arithmetic it needs no special compiler flags.
#pragma once

#include <QPointF>
#include <QRect>

#include <functional>

class QImage;
class QPainter;

class CPolylineRasterCheck
{
public:
    // Draws like CPolylineRaster::draw; false when it declines the polyline.
    using DrawFunction = bool (*)(QPainter& painter, const QRect& clip, const QPointF* points,
                                  int count);

    // True when draw takes on every polyline and its pixels match QPainter's
    // everywhere; tamper alters draw's first picture before its comparison.
    static bool run(DrawFunction draw, const std::function<void(QImage&)>& tamper);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "cpolylinerastercheck.h"

#include <QImage>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace {

// Deterministic polylines that exercise every rule: steep and shallow runs,
// reversals, sub-pixel steps, repeated points, half-pixel positions and
// segments crossing the clip and the device's edges.
std::vector<std::vector<QPointF>> selfCheckPolylines(const QSize& size)
{
    std::mt19937 random(20261208u);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<QPointF>> polylines;
    const double w = size.width();
    const double h = size.height();
    for (int k = 0; k < 40; ++k) {
        std::vector<QPointF> points;
        const int kind = k % 5;
        const int n = 3 + int(unit(random) * 60);
        double x = -4.0 + unit(random) * (w + 8.0);
        double y = -4.0 + unit(random) * (h + 8.0);
        for (int i = 0; i < n; ++i) {
            switch (kind) {
            case 0: // two points per column, as the graph draws them
                x = std::floor(x) + 0.5 + (i % 2 == 0 && i > 0 ? 1.0 : 0.0);
                y = -6.0 + unit(random) * (h + 12.0);
                break;
            case 1: // sub-pixel steps and repeats
                x += (unit(random) - 0.3) * 1.2;
                y += (unit(random) - 0.5) * 1.2;
                break;
            case 2: // long jumps across and beyond the device
                x = -30.0 + unit(random) * (w + 60.0);
                y = -30.0 + unit(random) * (h + 60.0);
                break;
            case 3: // quarter-pixel grid, exact half-pixel ties
                x = std::round(x * 4.0 + (unit(random) - 0.5) * 24.0) / 4.0;
                y = std::round(y * 4.0 + (unit(random) - 0.5) * 24.0) / 4.0;
                break;
            default: // random walk
                x += (unit(random) - 0.4) * 6.0;
                y += (unit(random) - 0.5) * 10.0;
                break;
            }
            points.emplace_back(x, y);
        }
        if (points.front() == points.back())
            points.back().rx() += 0.25;
        polylines.push_back(std::move(points));
    }
    return polylines;
}

} // namespace

bool CPolylineRasterCheck::run(DrawFunction draw, const std::function<void(QImage&)>& tamper)
{
    const QSize size(97, 71);
    const QColor colors[] = {QColor(0xF4, 0x43, 0x36), QColor(0x21, 0x96, 0xF3)};
    const QRect clips[] = {QRect(3, 4, 90, 63), QRect(-5, -5, 120, 90)};
    const double scales[] = {1.0, 1.5};
    bool same = true;
    int round = 0;
    for (const double scale : scales) {
        for (const QRect& clip : clips) {
            QImage reference(size, QImage::Format_RGB32);
            reference.fill(Qt::white);
            QImage fast = reference;
            fast.detach();
            const QSize logical = (QSizeF(size) / scale).toSize();
            const auto polylines = selfCheckPolylines(logical);
            for (QImage* image : {&reference, &fast}) {
                image->setDevicePixelRatio(scale);
                QPainter painter(image);
                painter.translate(scale == 1.0 ? 0.0 : 0.5, 0.0);
                painter.setClipRect(clip);
                int i = 0;
                for (const std::vector<QPointF>& points : polylines) {
                    QPen pen(colors[i++ % 2], 1);
                    pen.setCosmetic(true);
                    painter.setPen(pen);
                    const bool drawn =
                        image == &fast && draw(painter, clip, points.data(), int(points.size()));
                    if (!drawn)
                        painter.drawPolyline(points.data(), int(points.size()));
                    // Every one of these must be taken on, or the check proves nothing.
                    same = same && (image != &fast || drawn);
                }
            }
            if (tamper && round == 0)
                tamper(fast);
            ++round;
            same = same && fast == reference;
        }
    }
    return same;
}

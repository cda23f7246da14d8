// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A paint device that keeps the polylines painted on it, with their pens and
// the clip they were drawn under, and drops everything else. The graph tests
// compare its curves with a full scan; the graph benchmark redraws them alone.
#pragma once

#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRect>
#include <QSize>

class CPolylineEngine : public QPaintEngine
{
public:
    CPolylineEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        if (mode != PolylineMode)
            return;
        polylines.append(QPolygonF(QList<QPointF>(points, points + count)));
        pens.append(painter()->pen());
        clip = painter()->clipBoundingRect().toAlignedRect();
    }
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawLines(const QLineF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawPath(const QPainterPath&) override {}
    void drawTextItem(const QPointF&, const QTextItem&) override {}
    Type type() const override { return QPaintEngine::User; }

    QList<QPolygonF> polylines;
    QList<QPen> pens;
    QRect clip; // of the last polyline
};

class CPolylineDevice : public QPaintDevice
{
public:
    explicit CPolylineDevice(QSize size) : m_size(size) {}
    QPaintEngine* paintEngine() const override { return &engine; }

    mutable CPolylineEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / 960;
        case PdmHeightMM:
            return m_size.height() * 254 / 960;
        case PdmNumColors:
            return 1 << 24;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default: // metrics of newer Qt releases, derived from the ones above
            return QPaintDevice::metric(metric);
        }
    }

private:
    QSize m_size;
};

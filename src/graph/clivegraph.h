// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A custom painted live graph: several float series with a bounded history
// (300 s), a view window over them in three display modes, and a legend whose
// entries toggle their series when clicked. GUI thread only.
//
// Indices are 64-bit unsigned. "Absolute" indices count frames since the last
// clear; "stored" indices count from the oldest frame still held.
#pragma once

#include "cpixellayer.h"
#include "csamplequeue.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <limits>
#include <vector>

class QFontMetrics;

class CLiveGraph : public QWidget
{
    Q_OBJECT

public:
    // Equal to the indices of the display-mode combo box.
    enum EMode : int
    {
        Continue = 0,
        Overwrite = 1,
        SingleShot = 2
    };

    // Kept under this name for the graph's users.
    using CSampleQueue = ::CSampleQueue;

    struct SSeries
    {
        QString name;
        QColor color;
        bool visible = true;
        CSampleQueue data; // oldest first
    };

    explicit CLiveGraph(QWidget* parent = nullptr);
    ~CLiveGraph() override;

    // Empties all data and the manual view, then adds a visible series.
    // Returns its index.
    int addSeries(const QString& name, const QColor& color);
    // Whole frames in series order (value i goes to series i mod count); a
    // batch that is not a whole number of frames is dropped entirely.
    void appendSamples(const std::vector<float>& values);
    void clear();
    // As clear(), but the next frame appended gets this absolute index: a
    // stretch of a longer measurement keeps its times.
    void clearFrom(quint64 firstIndex);

    void setSeriesVisible(int index, bool visible);
    bool isSeriesVisible(int index) const;
    int seriesCount() const { return int(m_series.size()); }

    quint64 storedSampleCount() const;
    // Frames appended since the last clear, plus clearFrom()'s first index:
    // the absolute index the next frame gets.
    quint64 totalSampleCount() const { return m_totalSamples; }
    // Changes with every change of the stored samples (each append, each
    // clear): equal generations mean equal data, whatever the counts say.
    quint64 dataGeneration() const { return m_dataGeneration; }
    // Changes with each clear only: within one, the stored samples are one
    // stream that appends extend.
    quint64 clearGeneration() const { return m_clearGeneration; }
    // The caller guarantees series < series count and index < storedSampleCount().
    float storedSample(int series, quint64 index) const;
    // Smallest and largest of the stored samples [begin, end) of a series,
    // as a scan from the value at begin that takes a value only when it is
    // strictly smaller (larger) finds them: NaNs are passed over unless the
    // range starts with one. Runs of samples are taken from their summaries.
    void storedMinMax(int series, quint64 begin, quint64 end, float& lo, float& hi) const;
    // The sum in double of the stored samples [begin, end) of a series, whole
    // runs taken from their sums: within rounding of the sum in order.
    double storedSum(int series, quint64 begin, quint64 end) const;
    // The stored samples [begin, end) of a series, oldest first; the caller
    // guarantees series < series count and begin <= end <= storedSampleCount().
    void copyStoredSamples(int series, quint64 begin, quint64 end, float* out) const;
    // Seconds since the first frame after the last clear.
    double storedSampleTime(quint64 index) const;
    // Stored indices of the visible range [visibleBegin(), visibleEnd()).
    quint64 visibleBegin() const;
    quint64 visibleEnd() const;

    // Ignored when rate <= 0; otherwise clears, even for the same rate.
    void setSampleRate(double rate);
    // Ignored when seconds <= 0; capped at the history length.
    void setTimeWindow(double seconds);
    // Ignored unless min < max.
    void setYRange(double min, double max);
    // Clamped when used so that the window never runs past the newest sample.
    void setViewStart(quint64 storedIndex);
    void resetView();
    void setMode(EMode mode);
    EMode mode() const;
    void setTitle(const QString& title);
    void setXAxisLabel(const QString& label);
    void setYAxisLabel(const QString& label);
    void setGridVisible(bool visible);

    // Samples spanning the plot's width; at least 1.
    quint64 windowSampleCount() const;
    // The history length in samples.
    quint64 maxSampleCount() const;
    // Absolute index of the first visible sample.
    quint64 firstVisibleIndex() const;
    // The caller guarantees the absolute index is still stored.
    float sampleAt(int series, quint64 absoluteIndex) const;

    // The frame of the plot area at the current size, font, labels and Y
    // range; nothing is drawn when it is under 10 pixels either way.
    QRect plotRect() const;

    // A tick step of 1, 2 or 5 times a power of ten giving about n ticks.
    static double niceStep(double range, int n);
    // Black or white, whichever reads better on the background.
    static QColor contrastTextColor(const QColor& background);

    // One legend box: a series' name, filled with its colour while it is shown.
    struct SLegendEntry
    {
        QString name;
        QColor color;
        bool visible;
    };
    // Draws the entries as equally wide boxes right-aligned in the band, in index
    // order from left to right; boxes receives each entry's rectangle.
    static void paintLegend(QPainter& painter, const QRect& band,
                            const std::vector<SLegendEntry>& entries, const QColor& textColor,
                            QList<QRect>& boxes);

    // A trigger's mark over the curves: a vertical line at the sample with
    // this absolute index and, with showLevel, a horizontal line at the level.
    void setTriggerMarker(quint64 absoluteIndex, bool showLevel, double level);
    void clearTriggerMarker();
    bool hasTriggerMarker() const { return m_triggerMarkerSet; }
    quint64 triggerMarkerIndex() const { return m_triggerIndex; }
    bool triggerLevelShown() const { return m_triggerMarkerSet && m_triggerLevelShown; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // --- Measuring ---------------------------------------------------------
    // Off by default, and while off the graph paints and answers the mouse
    // exactly as without it. While on, the picture painted from the data is
    // kept, and the overlay (the line under the mouse with its values, the
    // cursors A and B) is drawn over it: a change of the overlay alone
    // repaints its own pixels from that picture and never the curves. While
    // samples arrive, the graph is repainted whole at their pace anyway, and
    // a change of the overlay waits for that repaint (at most
    // OVERLAY_WAIT_MS) instead of adding repaints at the mouse's pace.
    static constexpr int OVERLAY_WAIT_MS = 100;
    static constexpr quint64 NO_CURSOR = ~quint64(0);
    void setMeasureMode(bool on);
    bool measureMode() const { return m_measureMode; }
    // The line under the mouse, as a fraction of the inner plot's width from
    // its left edge (the same moment in graphs of the same view); NaN hides it.
    void setHoverFraction(double fraction);
    double hoverFraction() const { return m_hoverFraction; }
    // Cursors at absolute sample indices; NO_CURSOR hides one.
    void setCursors(quint64 a, quint64 b);
    quint64 cursorA() const { return m_cursorA; }
    quint64 cursorB() const { return m_cursorB; }
    // Decimals and unit of the values shown under the mouse.
    void setValueFormat(int decimals, const QString& unit);
    // The fraction of the inner plot's width at a widget position; NaN
    // outside the inner plot area.
    double fractionAt(const QPointF& pos) const;
    // The absolute position, in samples, shown at a fraction of the inner
    // plot's width: Continue and a scrolled view run left to right from the
    // first visible sample; the Overwrite sweep wraps at its edge.
    double positionAtFraction(double fraction) const;
    // Where an absolute sample index is drawn; NaN when the view does not show it.
    double fractionOfIndex(quint64 absoluteIndex) const;
    // The stored sample nearest the moment at the fraction, as an absolute
    // index; false without samples or for a NaN fraction.
    bool nearestStoredIndex(double fraction, quint64& absoluteIndex) const;
    // Samples that one pixel column of the inner plot spans.
    double samplesPerColumn() const;
    // The legend entry under a widget position as of the last paint; -1 for none.
    int legendEntryAt(const QPoint& pos) const;
    // What the readout under the mouse says: the time, then one line per
    // series; empty while it is not shown.
    QStringList hoverTexts() const;
    // How often the graph was painted from its data (curves and all).
    quint64 dataPaints() const { return m_dataPaints; }

signals:
    // After appendSamples() stored frames; after a clear.
    void samplesAppended();
    void cleared();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    double valueToY(const QRect& rect, double value) const
    {
        return rect.bottom() - (value - m_yMin) / (m_yMax - m_yMin) * (rect.bottom() - rect.top());
    }
    int legendBoxHeight() const;
    void drawLegend(QPainter& painter, const QRect& legendRect);
    // Draws the samples with absolute indices [from, to), sample origin at the
    // left edge of the rectangle.
    void drawSegment(QPainter& painter, const QRect& rect, const SSeries& series, quint64 from,
                     quint64 to, quint64 origin) const;
    // Appends the points drawSegment draws: at most two per pixel column.
    void segmentPoints(const QRect& rect, const SSeries& series, quint64 from, quint64 to,
                       quint64 origin, std::vector<QPointF>& points) const;

private:
    // What the standing layer shows, besides the target's scale, format and
    // resolution: equal keys draw equal layers.
    struct SLayerKey
    {
        QSize size;
        QFont font;
        // Of the painter: the layer's painter takes them over.
        Qt::LayoutDirection direction = Qt::LayoutDirectionAuto;
        QPainter::RenderHints hints;
        QColor text;
        QColor background;
        double yMin = 0.0;
        double yMax = 0.0;
        QString title;
        QString xAxisLabel;
        QString yAxisLabel;
        bool grid = false;
        bool timeAxis = false; // the time axis from 0 s, over the time window
        double timeWindow = 0.0;
        std::vector<SLegendEntry> legend;

        bool operator==(const SLayerKey& other) const;
    };
    SLayerKey layerKey(const QPainter& painter, bool withTimeAxis) const;
    // Everything but the curves and the sweep and trigger lines: copied from
    // the standing layer, which is drawn first when its key changed, with the
    // time axis only where it does not scroll; or all drawn directly, in the
    // order of old, where the target cannot take a copy. Returns whether the
    // frame is in place too (else the caller draws it last).
    bool paintStandingParts(QPainter& painter, const QRect& plot, double timeFrom);
    // Background, value axis and grid, with withTimeAxis the time axis from
    // timeFrom seconds, titles and legend.
    void drawStandingLayer(QPainter& painter, const QRect& plot, bool withTimeAxis,
                           double timeFrom);
    // Time grid lines, ticks and labels for a window starting at timeFrom seconds.
    void drawTimeAxis(QPainter& painter, const QRect& plot, double timeFrom);
    void drawFrame(QPainter& painter, const QRect& plot) const;
    // Whether the frame, drawn as a painter with these hints draws it on a
    // format at scale 1, covers each pixel of the plot's border opaque and
    // none beside: then the layer can hold it, and its border copied again
    // after the scrolling time axis equals the frame drawn over the axis.
    bool frameCoversBorderOnly(const QRect& plot, QImage::Format format,
                               QPainter::RenderHints hints) const;
    void paintTriggerMarker(QPainter& painter, const QRect& inner, quint64 first,
                            quint64 window) const;

    std::vector<SSeries> m_series;
    QList<QRect> m_legendRects; // rebuilt by every paint, read by the mouse handler
    quint64 m_totalSamples = 0;
    quint64 m_dataGeneration = 0;
    quint64 m_clearGeneration = 0;
    double m_sampleRate = 833.0;
    double m_timeWindow = 5.0;
    double m_yMin = -1.0;
    double m_yMax = 1.0;
    EMode m_mode = Continue;
    bool m_viewStartSet = false;
    quint64 m_viewStart = 0;
    QString m_title;
    QString m_xAxisLabel;
    QString m_yAxisLabel;
    bool m_gridVisible = true;
    std::vector<QPointF> m_curvePoints; // every paint's curves, kept to spare the allocation
    CPixelLayer m_standingLayer;
    SLayerKey m_layerKey;            // what m_standingLayer was drawn for
    QList<QRect> m_layerLegendRects; // the legend boxes it holds
    bool m_layerHasFrame = false;
    // plotRect()'s measures of the labels, for this font and Y axis.
    struct SMargins
    {
        QFont font;
        double yMin = 0.0;
        double yMax = 0.0;
        int yDecimals = -1;
        int fh = 0;
        int labelWidth = 0;
        int right = 0;
    };
    mutable SMargins m_margins;
    // Widths of the time labels as measured in m_timeLabelFont: new labels
    // scroll in only every tick step.
    QFont m_timeLabelFont;
    QHash<QString, int> m_timeLabelWidths;
    bool m_triggerMarkerSet = false;
    bool m_triggerLevelShown = false;
    quint64 m_triggerIndex = 0;
    double m_triggerLevel = 0.0;

    // Measuring: overlay state and the picture it is drawn over.
    struct SPaintKey
    {
        QSize size;
        qreal dpr = 0.0;
        quint64 total = 0;
        quint64 stored = 0;
        quint64 clears = 0;
        double sampleRate = 0.0;
        double timeWindow = 0.0;
        double yMin = 0.0;
        double yMax = 0.0;
        int mode = 0;
        bool viewStartSet = false;
        quint64 viewStart = 0;
        quint64 visibleMask = 0;
        QString title;
        QString xAxisLabel;
        QString yAxisLabel;
        bool grid = false;
        qint64 palette = 0;
        QFont font;
        bool operator==(const SPaintKey& o) const;
    };
    struct SOverlayItem
    {
        QRect line; // the line's pixels, or empty
        QRect box;  // its label or readout, or empty
        QColor color;
        QStringList texts;
        QList<QColor> textColors;
    };
    SPaintKey paintKey() const;
    // The picture from the data, without the overlay, onto the device.
    void paintData(QPaintDevice* device);
    void paintMeasured(QPaintEvent* event);
    void paintOverlay(QPainter& painter);
    std::vector<SOverlayItem> overlayItems() const;
    // The items as last laid out, again only after the overlay or the data changed.
    const std::vector<SOverlayItem>& currentOverlayItems();
    // The inner plot area of the kept picture: its layout cannot change
    // without a whole repaint, which paints the picture anew.
    QRect overlayInner() const;
    QRegion overlayRegion();
    int readoutWidth(const QFontMetrics& fm) const;
    void updateOverlay();
    void repaintOverlay();

    bool m_measureMode = false;
    double m_hoverFraction = std::numeric_limits<double>::quiet_NaN();
    quint64 m_cursorA = NO_CURSOR;
    quint64 m_cursorB = NO_CURSOR;
    int m_valueDecimals = 4;
    QString m_valueUnit;
    quint64 m_clears = 0;
    QImage m_lastPainting;
    SPaintKey m_lastPaintingKey;     // of the last paint from the data
    bool m_lastPaintingKept = false; // whether m_lastPainting holds that paint
    quint64 m_dataPaints = 0;
    QRegion m_overlayDrawn;
    QRect m_lastPaintingInner;
    std::vector<SOverlayItem> m_overlayItems;
    bool m_overlayItemsValid = false;
    mutable int m_readoutWidth = -1; // in m_readoutFont; -1 until measured
    mutable QFont m_readoutFont;
    QElapsedTimer m_samplesArrived; // restarted by every append
    QTimer m_overlayWait;           // a deferred overlay change: see OVERLAY_WAIT_MS
};

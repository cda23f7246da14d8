// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A painted amplitude spectrum of several series (one per axis), from 0 Hz to
// half the sample rate on a linear or logarithmic frequency axis, amplitude
// linear or in dB, with the strongest peak of each series marked and read out,
// the frequency resolution shown, and legend entries that hide and show the
// curves as in the live graph. GUI thread only.
//
// The spectra are computed elsewhere (SpectrumAnalyzer) and handed over with
// setSpectra(); painting only draws: the curves are decimated to at most two
// points per pixel column once per new spectrum, size or scale, not per paint.
#pragma once

#include "spectrumanalyzer.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QFontMetrics;
class QPainter;

class CSpectrumView : public QWidget
{
    Q_OBJECT

public:
    explicit CSpectrumView(QWidget* parent = nullptr);
    ~CSpectrumView() override;

    // Drops all spectra, then adds a visible series. Returns its index.
    int addSeries(const QString& name, const QColor& color);
    void setSeriesVisible(int index, bool visible);
    bool isSeriesVisible(int index) const;
    int seriesCount() const { return int(m_series.size()); }
    QString seriesName(int index) const;

    void setTitle(const QString& title);
    // The amplitude's unit, such as "g"; labels the axis and the peak readout.
    void setUnit(const QString& unit);
    QString unit() const { return m_unit; }
    // Ignored when rate <= 0; drops all spectra.
    void setSampleRate(double rate);

    // spectra[i] belongs to series i; series without one show nothing. binWidth
    // is the spectra's spacing in Hz.
    void setSpectra(double binWidth, const std::vector<SpectrumAnalyzer::SSpectrum>& spectra);
    void clearSpectra();
    double binWidth() const { return m_binWidth; }
    // Empty and invalid for an index out of range or before setSpectra().
    const SpectrumAnalyzer::SSpectrum& spectrum(int index) const;
    // Whether any series holds a valid spectrum.
    bool hasSpectrum() const;

    void setLogFrequency(bool on);
    bool logFrequency() const { return m_logFrequency; }
    void setDecibel(bool on);
    bool decibel() const { return m_decibel; }

    // The frequency axis' ends in Hz: half the sample rate at the right; at the
    // left 0, or on the logarithmic axis the decade at or below one bin width.
    double minFrequency() const;
    double maxFrequency() const { return m_sampleRate / 2.0; }

    // Where the last paint put things, for what the user clicks and for checks
    // of the picture: the area inside the plot frame, a frequency's column, an
    // amplitude's row (in the unit, converted to dB on that scale), a legend box.
    QRect plotArea() const { return m_inner; }
    double frequencyToX(double frequency) const;
    double amplitudeToY(double amplitude) const;
    QRect legendEntryRect(int index) const;

    // Measure mode: a thin line follows the mouse over the plot area with the
    // frequency and each shown curve's amplitude at the nearest bin. Off by
    // default; while off, nothing of it is drawn.
    void setMeasureMode(bool on);
    bool measureMode() const { return m_measureMode; }

    // What the measure readout shows for a point in widget coordinates: valid
    // only inside the plot area of the last paint while a spectrum is shown.
    struct SMeasure
    {
        bool valid = false;
        std::size_t bin = 0;
        double frequency = 0.0;
        double x = 0.0; // where the frequency axis puts the bin
        int column = 0; // the pixel column holding x, where the line is drawn
        struct SValue
        {
            int series;
            double amplitude; // in the unit, not in dB
        };
        std::vector<SValue> values; // the shown series holding that bin, in order
        QStringList lines;          // the readout's text, frequency first
    };
    SMeasure measureAt(const QPointF& pos) const;
    // The readout under the mouse as last painted; invalid when none is shown.
    const SMeasure& hoverMeasure() const { return m_hover; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct SSeries
    {
        QString name;
        QColor color;
        bool visible = true;
        SpectrumAnalyzer::SSpectrum spectrum;
        std::vector<QPointF> points; // the decimated curve in widget coordinates
    };

    // An amplitude as the Y axis counts it: as is, or in dB re 1 unit.
    double axisValue(double amplitude) const;
    double xToFrequency(double x) const;
    void updateYRange();
    void rebuildCurves();
    QString frequencyText(double frequency) const;
    QString amplitudeText(double amplitude) const;
    void drawMeasure(QPainter& painter, const QFontMetrics& fm, const QColor& textColor);
    void drawFrequencyAxis(QPainter& painter, const QFontMetrics& fm, const QColor& textColor);
    // The peak readout of each shown series, and where its entries go in
    // lines no wider than width (relative to the readout's top left).
    QStringList readoutEntries() const;
    static QList<QRect> flowReadout(const QStringList& entries, const QFontMetrics& fm, int width);
    // Bins of the longest spectrum held; 0 without any.
    std::size_t spectrumLength() const;
    void invalidateCurves();

    std::vector<SSeries> m_series;
    QList<QRect> m_legendRects; // rebuilt by every paint, read by the mouse handler
    double m_sampleRate = 833.0;
    double m_binWidth = 0.0;
    bool m_logFrequency = false;
    bool m_decibel = false;
    QString m_title;
    QString m_unit;
    // Layout and scale of the last paint; the curves are valid for them until
    // m_curvesValid is cleared.
    QRect m_inner;
    double m_yMin = 0.0;
    double m_yMax = 1.0;
    double m_yStep = 0.2;
    bool m_curvesValid = false;
    std::vector<std::size_t> m_columnStarts; // first bin of each pixel column, kept for reuse
    bool m_measureMode = false;
    bool m_hoverInside = false; // the mouse is over the widget in measure mode
    QPointF m_hoverPos;
    SMeasure m_hover; // set by every paint from m_hoverPos
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The spectrum dock's contents: the amplitude spectra of the samples the two
// live graphs show, with the scale switches and the CSV button above them.
//
// The spectra are computed in a timer slot, at most five times a second, and
// only while the panel is shown and the graphs' stored data or view have changed.
// While the graphs follow incoming data, an update also waits until 1/64 of
// the FFT block is new samples (1.2 s for the longest block), since less hardly
// changes the picture; once the data stand still, the spectrum catches up.
// GUI thread only.
#pragma once

#include "spectrumanalyzer.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <vector>

class CLiveGraph;
class CSpectrumView;
class QCheckBox;
class QPushButton;

class SpectrumPanel : public QWidget
{
    Q_OBJECT

public:
    // Shortest time between two updates.
    static constexpr int UPDATE_INTERVAL_MS = 200;

    // The graphs must outlive the panel and hold three series each (X, Y, Z).
    SpectrumPanel(const CLiveGraph* accel, const CLiveGraph* gyro, double sampleRate,
                  QWidget* parent = nullptr);
    ~SpectrumPanel() override;

    CSpectrumView* accelView() const { return m_accelView; }
    CSpectrumView* gyroView() const { return m_gyroView; }
    QPushButton* saveButton() const { return m_saveButton; }
    // Values under the mouse in both views (CSpectrumView::setMeasureMode).
    void setMeasureMode(bool on);

    // Writes the shown spectra as CSV in the program's number format: frequency
    // in Hz, then one column per axis (X, Y, Z in g, rX, rY, rZ in dps), one
    // line per bin. False when the file could not be written completely; an
    // existing file of that name is then left as it was.
    bool writeCsv(const QString& fileName) const;

    // Recomputes both spectra now if the graphs' stored data or visible range
    // changed since the last computation (or force); returns whether it computed.
    bool refresh(bool force = false);
    // How many spectrum computations have run; for checks that idle costs nothing.
    quint64 computeCount() const { return m_computeCount; }

signals:
    void saveRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private slots:
    void onTimer();

private:
    // What the spectrum of one graph was computed from.
    struct SSource
    {
        quint64 begin = 0;
        quint64 end = 0;
        quint64 absoluteEnd = 0; // frames since the graph's last clear up to end
        bool atNewest = false;   // end is the newest stored sample
        // Two measurements of equal length show the same range: only the
        // graph's generations tell them apart.
        quint64 dataGeneration = 0;
        quint64 clearGeneration = 0;

        bool operator==(const SSource& o) const
        {
            return begin == o.begin && end == o.end && absoluteEnd == o.absoluteEnd &&
                   atNewest == o.atNewest && dataGeneration == o.dataGeneration &&
                   clearGeneration == o.clearGeneration;
        }
    };
    using SSources = std::array<SSource, 2>; // acceleration, angular rate

    SSource sourceOf(const CLiveGraph& graph) const;
    void compute(const CLiveGraph& graph, const SSource& source, CSpectrumView& view);
    void updateSaveEnabled();

    const CLiveGraph* m_accel;
    const CLiveGraph* m_gyro;
    double m_sampleRate;
    SpectrumAnalyzer m_analyzer;
    std::vector<SpectrumAnalyzer::SSpectrum> m_spectra; // reused between updates
    SSources m_computed{};
    bool m_computedValid = false;
    SSources m_lastSeen{}; // at the previous check
    quint64 m_computeCount = 0;
    QTimer m_timer;
    QCheckBox* m_logBox = nullptr;
    QCheckBox* m_dbBox = nullptr;
    QPushButton* m_saveButton = nullptr;
    CSpectrumView* m_accelView = nullptr;
    CSpectrumView* m_gyroView = nullptr;
};

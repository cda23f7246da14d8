// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The measuring cursors' readout: per axis the values at cursors A and B,
// B - A, and minimum, maximum, peak-to-peak, mean and RMS of the samples
// from one cursor to the other (both included); beside them the cursors'
// times, Δt, 1/Δt and the number of samples. Numbers as the statistics panel
// shows them: g with 4 decimals, dps with 2. GUI thread only.
#pragma once

#include <QWidget>

#include <vector>

class CLiveGraph;
class QLabel;
class QTableWidget;

class CursorReadout : public QWidget
{
    Q_OBJECT

public:
    enum EColumn
    {
        Axis,
        AtA,
        AtB,
        Difference,
        Minimum,
        Maximum,
        PeakToPeak,
        Mean,
        Rms,
        COLUMNS
    };

    explicit CursorReadout(QWidget* parent = nullptr);

    // Reads both graphs at the cursors, absolute sample indices that the
    // graphs still store, or CLiveGraph::NO_CURSOR.
    void showCursors(const CLiveGraph& accel, const CLiveGraph& gyro, quint64 a, quint64 b);

    QString cell(int row, int column) const;
    QString intervalText() const;

private:
    static QString hint();

    QLabel* m_interval;
    QTableWidget* m_table;
    std::vector<float> m_buffer; // one series' stretch, kept to spare the allocation
};

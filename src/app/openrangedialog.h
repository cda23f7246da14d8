// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Asks which stretch of a measurement file longer than the history to show:
// the user picks its start, the beginning by default.
#pragma once

#include <QDialog>

class QLabel;
class QSlider;
class QSpinBox;

class OpenRangeDialog : public QDialog
{
    Q_OBJECT

public:
    // `samples` in the file, `window` of them fit the history.
    OpenRangeDialog(quint64 samples, quint64 window, double sampleRate, QWidget* parent = nullptr);

    // The file's first sample to show.
    quint64 startSample() const;

private:
    void showRange();

    quint64 m_samples;
    quint64 m_window;
    double m_sampleRate;
    QSlider* m_slider;
    QSpinBox* m_spin;
    QLabel* m_range;
};

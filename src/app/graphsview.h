// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The two graphs and their shared time axis: series, time window and display
// mode, how far a Single Shot has filled, and the horizontal scroll bar that
// moves a stopped measurement's view. The widgets belong to the window's
// form. GUI thread only.
#pragma once

#include <QtGlobal>

class Ui_MainWindow;

class GraphsView
{
public:
    explicit GraphsView(Ui_MainWindow* ui) : ui(ui) {}

    // Titles, series and sample rate of both graphs; the mode and time window choices.
    void setup();
    void setTimeWindow(int seconds);
    // False for an index that names no mode.
    bool setMode(int index);
    void clear();

    bool isSingleShot() const;
    // The samples of the time input's window.
    quint64 windowSampleCount() const;
    // The samples a Single Shot still takes before its window is full.
    quint64 singleShotRemaining() const;
    // What the stored samples count against: the window in Single Shot, the
    // graphs' capacity otherwise.
    quint64 capacity() const;

    // Fits the scroll bar to the stored samples and shows its position. It
    // stays at its default position when it was there or when told to snap.
    void updateTimeScroll(bool snapToDefault, bool measuring);
    // Shows the stored samples from the scroll position.
    void showFrom(int position, bool measuring);

private:
    // The newest samples, or in Single Shot the first one.
    int defaultScrollPosition() const;

    Ui_MainWindow* ui;
};

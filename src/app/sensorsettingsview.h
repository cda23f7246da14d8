// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The sensor settings panel's inputs: fills the range and filter choices
// (SensorSettingsTexts) and translates between them and the sensor's
// parameter record. It owns nothing; the inputs belong to the window's form,
// and the window reacts to their changes. GUI thread only.
#pragma once

#include "cskarvel.h"

class Ui_MainWindow;

class SensorSettingsView
{
public:
    explicit SensorSettingsView(Ui_MainWindow* ui) : ui(ui) {}

    // The range, filter and high-pass choices.
    void fill();
    // The cutoff choices of an accelerometer filter mode, the first one chosen, silently.
    void fillAccelCutoff(int mode);
    // The parameters the inputs choose, over `base` for anything they do not show.
    SSkarvelParams params(SSkarvelParams base) const;
    // Sets the inputs to these parameters without reporting the changes.
    void show(const SSkarvelParams& params);
    // The inputs take effect only on a connected sensor.
    void setConnected(bool connected);
    // Low latency is a choice only for LP2 mode and a connected sensor.
    void updateLowLatencyEnabled(bool connected);

private:
    Ui_MainWindow* ui;
};

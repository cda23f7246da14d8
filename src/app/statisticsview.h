// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The statistics panel's table: one row per axis (X, Y, Z in g, then rX, rY,
// rZ in dps) with the newest raw and converted value and the minimum,
// maximum, peak-to-peak and mean over the range the measurement session
// chooses; peaks near the range's full scale are shown in red. It fills the
// form's table from the graphs' history and owns nothing. GUI thread only.
#pragma once

#include "cskarvel.h"

class MeasurementSession;
class Ui_MainWindow;

class StatisticsView
{
public:
    explicit StatisticsView(Ui_MainWindow* ui) : ui(ui) {}

    // Row labels, empty cells and a table as tall as its rows.
    void setup();
    // Does nothing while the panel is hidden.
    void update(const MeasurementSession& session, const SSkarvelParams& ranges);

private:
    Ui_MainWindow* ui;
};

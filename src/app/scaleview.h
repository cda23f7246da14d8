// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The Y scaling panel: a zoom dial (full scale divided by 1 to 1000) and a
// shift dial (-100 % to +100 % of full scale) per graph, with labels showing
// the resulting half range and offset. It sets the graphs' Y ranges from the
// dials and the sensor's ranges; the widgets belong to the window's form.
// GUI thread only.
#pragma once

#include "cskarvel.h"

class Ui_MainWindow;

class ScaleView
{
public:
    explicit ScaleView(Ui_MainWindow* ui) : ui(ui) {}

    // The dials' ranges and steps.
    void setup();
    // Both graphs' Y ranges and the labels, for the full scales of these ranges.
    void apply(const SSkarvelParams& ranges);

private:
    Ui_MainWindow* ui;
};

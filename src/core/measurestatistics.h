// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What the measuring cursors read from stored samples, free of widgets: the
// sample nearest a time, and the statistics of the stretch between two
// cursors. Plain functions over sample arrays.
#pragma once

#include <QtGlobal>

#include <cstddef>

namespace MeasureStatistics {

// The index in [first, end) nearest a position counted in samples (sample i
// lies at position i); ties go to the later sample. end must exceed first.
// NaN gives first.
quint64 nearestIndex(double position, quint64 first, quint64 end);

struct SStatistics
{
    quint64 count = 0;     // samples in the stretch
    quint64 nonFinite = 0; // NaN and infinite ones among them, left out of the rest
    double minimum = 0.0;
    double maximum = 0.0;
    double peakToPeak = 0.0;
    double mean = 0.0;
    double rms = 0.0;

    // False when no finite sample was there to compute from.
    bool valid() const { return count > nonFinite; }
};

// Minimum, maximum, peak-to-peak, mean and RMS of the finite values of
// values[0 ... count - 1]; NaN and infinite values are counted in nonFinite
// and take no part: one bad sample does not blank the readout of a stretch.
SStatistics compute(const float* values, std::size_t count);

} // namespace MeasureStatistics

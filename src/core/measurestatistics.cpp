// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "measurestatistics.h"

#include <algorithm>
#include <cmath>

namespace MeasureStatistics {

quint64 nearestIndex(double position, quint64 first, quint64 end)
{
    if (!(position > double(first)))
        return first;
    if (position >= double(end - 1))
        return end - 1;
    // floor(x + 0.5) rather than llround: ties resolve the same way on both sides of zero.
    return std::clamp(quint64(std::floor(position + 0.5)), first, end - 1);
}

SStatistics compute(const float* values, std::size_t count)
{
    SStatistics result;
    result.count = count;
    double sum = 0.0;
    double squares = 0.0;
    double lo = 0.0;
    double hi = 0.0;
    quint64 finite = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double v = double(values[i]);
        if (!std::isfinite(v))
            continue;
        if (finite == 0) {
            lo = v;
            hi = v;
        } else {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        sum += v;
        squares += v * v;
        ++finite;
    }
    result.nonFinite = count - finite;
    if (finite == 0)
        return result;
    result.minimum = lo;
    result.maximum = hi;
    result.peakToPeak = hi - lo;
    result.mean = sum / double(finite);
    result.rms = std::sqrt(squares / double(finite));
    return result;
}

} // namespace MeasureStatistics

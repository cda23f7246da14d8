// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#pragma once

// Drawing helpers the live graph's source files share, so that its layers,
// axes and overlays use one grid colour and one pen rule.
#include <QColor>
#include <QPen>

#include <cmath>

namespace livegraph {

inline const QColor GRID_COLOR(0xDD, 0xDD, 0xDD);

inline int decimalsFor(double step)
{
    return step >= 1.0 ? 0 : int(std::ceil(-std::log10(step)));
}

inline QPen cosmeticPen(const QColor& color)
{
    QPen pen(color, 1);
    pen.setCosmetic(true);
    return pen;
}

} // namespace livegraph

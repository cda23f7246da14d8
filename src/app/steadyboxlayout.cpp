// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "steadyboxlayout.h"

#include <QWidget>

bool SteadyBoxLayout::SItemInputs::operator==(const SItemInputs& other) const
{
    return item == other.item && geometry == other.geometry && sizeHint == other.sizeHint &&
           minimumSize == other.minimumSize && maximumSize == other.maximumSize &&
           expanding == other.expanding && alignment == other.alignment &&
           controlTypes == other.controlTypes && widgetPolicy == other.widgetPolicy &&
           stretch == other.stretch && empty == other.empty;
}

bool SteadyBoxLayout::SInputs::operator==(const SInputs& other) const
{
    return items == other.items && spacing == other.spacing && margins == other.margins &&
           direction == other.direction && widgetDirection == other.widgetDirection &&
           constraint == other.constraint && alignment == other.alignment &&
           enabled == other.enabled;
}

bool SteadyBoxLayout::readInputs(SInputs& inputs) const
{
    const QWidget* widget = parentWidget();
    if (!widget)
        return false;
    inputs.items.clear();
    for (int i = 0; i < count(); ++i) {
        QLayoutItem* item = itemAt(i);
        // A nested layout's inputs are its items', which this one does not read.
        if (item->layout() || item->hasHeightForWidth())
            return false;
        SItemInputs entry;
        entry.item = item;
        entry.geometry = item->geometry();
        entry.sizeHint = item->sizeHint();
        entry.minimumSize = item->minimumSize();
        entry.maximumSize = item->maximumSize();
        entry.expanding = item->expandingDirections();
        entry.alignment = item->alignment();
        entry.controlTypes = item->controlTypes();
        if (const QWidget* child = item->widget())
            entry.widgetPolicy = child->sizePolicy();
        entry.stretch = stretch(i);
        entry.empty = item->isEmpty();
        inputs.items.push_back(entry);
    }
    inputs.spacing = spacing();
    inputs.margins = contentsMargins();
    inputs.direction = direction();
    inputs.widgetDirection = widget->layoutDirection();
    inputs.constraint = sizeConstraint();
    inputs.alignment = alignment();
    inputs.enabled = isEnabled();
    return true;
}

void SteadyBoxLayout::setGeometry(const QRect& rect)
{
    QHBoxLayout::setGeometry(rect);
    m_placedValid = readInputs(m_placed);
}

void SteadyBoxLayout::invalidate()
{
    if (m_placedValid) {
        SInputs now;
        if (readInputs(now) && now == m_placed)
            return;
    }
    m_placedValid = false;
    QHBoxLayout::invalidate();
}

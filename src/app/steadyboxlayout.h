// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A horizontal box layout for sections whose texts change often but rarely
// change size, such as the status bar's. Qt passes every change of a child's
// text up through all enclosing layouts, and the status bar then repaints all
// of itself. This layout stops that when the change leaves every input of its
// arrangement as it was when it last placed its items: then neither its own
// result nor any enclosing layout's can differ, and the changed child repaints
// just itself. Any other change takes Qt's usual way. GUI thread only.
#pragma once

#include <QBoxLayout>
#include <QMargins>

#include <vector>

class SteadyBoxLayout : public QHBoxLayout
{
public:
    explicit SteadyBoxLayout(QWidget* parent = nullptr) : QHBoxLayout(parent) {}

    void setGeometry(const QRect& rect) override;
    void invalidate() override;

private:
    struct SItemInputs
    {
        const QLayoutItem* item = nullptr;
        // Where the item is: a widget moved by hand or given other layout
        // margins by its style is put back in place by a new placement.
        QRect geometry;
        QSize sizeHint;
        QSize minimumSize;
        QSize maximumSize;
        Qt::Orientations expanding;
        Qt::Alignment alignment;
        QSizePolicy::ControlTypes controlTypes;
        QSizePolicy widgetPolicy;
        int stretch = 0;
        bool empty = false;

        bool operator==(const SItemInputs& other) const;
    };
    struct SInputs
    {
        std::vector<SItemInputs> items;
        int spacing = 0;
        QMargins margins;
        Direction direction = LeftToRight;
        Qt::LayoutDirection widgetDirection = Qt::LeftToRight;
        SizeConstraint constraint = SetDefaultConstraint;
        Qt::Alignment alignment;
        bool enabled = true;

        bool operator==(const SInputs& other) const;
    };

    // False when the inputs cannot be compared, e.g. with height-for-width items.
    bool readInputs(SInputs& inputs) const;

    SInputs m_placed; // the inputs of the last placement
    bool m_placedValid = false;
};

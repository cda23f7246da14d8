// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "cursorreadout.h"

#include "clivegraph.h"
#include "measurestatistics.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ROWS = 6;

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

CursorReadout::CursorReadout(QWidget* parent)
    : QWidget(parent), m_interval(new QLabel(this)), m_table(new QTableWidget(ROWS, COLUMNS, this))
{
    m_interval->setObjectName(QStringLiteral("lb_cursor_interval"));
    m_table->setObjectName(QStringLiteral("tw_cursors"));
    m_table->setHorizontalHeaderLabels({tr("Axis"), tr("A"), tr("B"), tr("B \u2212 A"), tr("Min"),
                                        tr("Max"), tr("Pk-Pk"), tr("Mean"), tr("RMS")});
    const QStringList names = {tr("Acc X [g]"),    tr("Acc Y [g]"),    tr("Acc Z [g]"),
                               tr("Gyro X [dps]"), tr("Gyro Y [dps]"), tr("Gyro Z [dps]")};
    for (int row = 0; row < ROWS; ++row) {
        m_table->setItem(row, Axis, new QTableWidgetItem(names[row]));
        for (int column = AtA; column < COLUMNS; ++column) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
    m_table->verticalHeader()->hide();
    m_table->setAlternatingRowColors(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setFixedHeight(m_table->horizontalHeader()->sizeHint().height() +
                            ROWS * m_table->verticalHeader()->defaultSectionSize() +
                            2 * m_table->frameWidth());

    // The times beside the table, as the statistics panel has its choice: the
    // dock is no taller than the statistics one it shares its place with.
    m_interval->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_interval->setWordWrap(true);
    m_interval->setMinimumWidth(
        m_interval->fontMetrics().horizontalAdvance(QStringLiteral("1/\u0394t 0000.0000 Hz")));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_interval);
    m_interval->setText(hint());
}

QString CursorReadout::hint()
{
    return tr("Click in a graph to place cursor A, again for B.");
}

void CursorReadout::showCursors(const CLiveGraph& accel, const CLiveGraph& gyro, quint64 a,
                                quint64 b)
{
    const bool hasA = a != CLiveGraph::NO_CURSOR;
    const bool hasB = b != CLiveGraph::NO_CURSOR;
    const quint64 total = accel.totalSampleCount();
    const quint64 dropped = total - accel.storedSampleCount();
    const quint64 lo = std::min(a, b);
    const quint64 hi = std::max(a, b);
    const bool both = hasA && hasB;

    QStringList parts;
    const auto timeOf = [&](quint64 index) { return accel.storedSampleTime(index - dropped); };
    if (hasA)
        parts << tr("A %1 s").arg(number(timeOf(a), 4));
    if (hasB)
        parts << tr("B %1 s").arg(number(timeOf(b), 4));
    if (both) {
        const double dt = timeOf(b) - timeOf(a);
        parts << tr("\u0394t %1 s").arg(number(dt, 4));
        parts << (dt != 0.0 ? tr("1/\u0394t %1 Hz").arg(number(1.0 / std::abs(dt), 4))
                            : tr("1/\u0394t \u2013"));
        parts << tr("n %1").arg(hi - lo + 1);
    }
    if (!hasA && !hasB)
        parts << hint();

    quint64 nonFinite = 0;
    for (int row = 0; row < ROWS; ++row) {
        const CLiveGraph& graph = row < 3 ? accel : gyro;
        const int series = row % 3;
        const int decimals = row < 3 ? 4 : 2;
        for (int column = AtA; column < COLUMNS; ++column)
            m_table->item(row, column)->setText(QString());
        const quint64 graphDropped = graph.totalSampleCount() - graph.storedSampleCount();
        const auto valueAt = [&](quint64 index) {
            return double(graph.storedSample(series, index - graphDropped));
        };
        const auto stored = [&](quint64 index) {
            return index >= graphDropped && index < graph.totalSampleCount();
        };
        if (hasA && stored(a))
            m_table->item(row, AtA)->setText(number(valueAt(a), decimals));
        if (hasB && stored(b))
            m_table->item(row, AtB)->setText(number(valueAt(b), decimals));
        if (!both || !stored(lo) || !stored(hi))
            continue;
        m_table->item(row, Difference)->setText(number(valueAt(b) - valueAt(a), decimals));
        m_buffer.resize(std::size_t(hi - lo + 1));
        graph.copyStoredSamples(series, lo - graphDropped, hi - graphDropped + 1, m_buffer.data());
        const MeasureStatistics::SStatistics statistics =
            MeasureStatistics::compute(m_buffer.data(), m_buffer.size());
        nonFinite += statistics.nonFinite;
        if (!statistics.valid())
            continue;
        m_table->item(row, Minimum)->setText(number(statistics.minimum, decimals));
        m_table->item(row, Maximum)->setText(number(statistics.maximum, decimals));
        m_table->item(row, PeakToPeak)->setText(number(statistics.peakToPeak, decimals));
        m_table->item(row, Mean)->setText(number(statistics.mean, decimals));
        m_table->item(row, Rms)->setText(number(statistics.rms, decimals));
    }
    if (nonFinite > 0)
        parts << tr("%1 values not finite, left out").arg(nonFinite);
    m_interval->setText(parts.join(QLatin1Char('\n')));
}

QString CursorReadout::cell(int row, int column) const
{
    const QTableWidgetItem* item = m_table->item(row, column);
    return item ? item->text() : QString();
}

QString CursorReadout::intervalText() const
{
    return m_interval->text();
}

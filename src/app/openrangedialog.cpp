// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "openrangedialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QString clockText(double seconds)
{
    const auto s = static_cast<qint64>(std::floor(seconds));
    const QChar zero(QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, zero)
        .arg((s / 60) % 60, 2, 10, zero)
        .arg(s % 60, 2, 10, zero);
}

} // namespace

OpenRangeDialog::OpenRangeDialog(quint64 samples, quint64 window, double sampleRate,
                                 QWidget* parent)
    : QDialog(parent), m_samples(samples), m_window(std::min(window, samples)),
      m_sampleRate(sampleRate)
{
    setObjectName(QStringLiteral("OpenRangeDialog"));
    setWindowTitle(tr("Open measurement"));

    // Whole seconds; the last one reaches the end of the file.
    const double lastStart = double(m_samples - m_window) / m_sampleRate;
    const int maxSeconds = int(std::min(std::ceil(lastStart), double(INT_MAX)));

    auto* intro =
        new QLabel(tr("The file holds %1 of data; %2 of it can be shown at once.\nShow from:")
                       .arg(clockText(double(m_samples) / m_sampleRate),
                            clockText(double(m_window) / m_sampleRate)),
                   this);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("slider_start"));
    m_slider->setRange(0, maxSeconds);
    m_slider->setPageStep(std::max(1, int(double(m_window) / m_sampleRate)));
    m_spin = new QSpinBox(this);
    m_spin->setObjectName(QStringLiteral("spin_start"));
    m_spin->setRange(0, maxSeconds);
    m_spin->setSuffix(tr(" s"));
    m_range = new QLabel(this);
    m_range->setObjectName(QStringLiteral("lb_range"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_slider, &QSlider::valueChanged, m_spin, &QSpinBox::setValue);
    connect(m_spin, qOverload<int>(&QSpinBox::valueChanged), m_slider, &QSlider::setValue);
    connect(m_spin, qOverload<int>(&QSpinBox::valueChanged), this, &OpenRangeDialog::showRange);

    auto* form = new QFormLayout;
    form->addRow(tr("Start"), m_spin);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_slider);
    layout->addLayout(form);
    layout->addWidget(m_range);
    layout->addWidget(buttons);
    showRange();
    resize(std::max(width(), 420), height());
}

quint64 OpenRangeDialog::startSample() const
{
    const auto start = static_cast<quint64>(std::llround(m_spin->value() * m_sampleRate));
    return std::min(start, m_samples - m_window);
}

void OpenRangeDialog::showRange()
{
    const quint64 start = startSample();
    m_range->setText(tr("Shows %1 to %2")
                         .arg(clockText(double(start) / m_sampleRate),
                              clockText(double(start + m_window) / m_sampleRate)));
}

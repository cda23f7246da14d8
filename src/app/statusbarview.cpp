// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "statusbarview.h"
#include "mainwindow.h"
#include "steadyboxlayout.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>

namespace {

const QColor STATUS_COLOR_ACTIVE = MaterialColor::Green.darker(120);
const QColor STATUS_COLOR_INACTIVE = QColor(0x60, 0x7D, 0x8B);

// The status texts belong to the window.
QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString statusStateText(const QString& text, const QColor& color)
{
    return QStringLiteral("<span style=\"color:%1; font-weight:bold\">%2</span>")
        .arg(color.name(), text);
}

QFrame* newSeparator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QHBoxLayout* newSectionLayout(QWidget* container)
{
    // The texts change every refresh while measuring, their sizes hardly ever.
    auto* layout = new SteadyBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    return layout;
}

} // namespace

void StatusBarView::setup(QMainWindow* window)
{
    QStatusBar* bar = window->statusBar();
    auto* connection = new QWidget(window);
    connection->setObjectName(QStringLiteral("widget_status_connection"));
    QHBoxLayout* connectionLayout = newSectionLayout(connection);
    m_connectionLabel = new QLabel(connection);
    m_connectionLabel->setObjectName(QStringLiteral("lb_status_connection"));
    m_connectionLabel->setTextFormat(Qt::RichText);
    connectionLayout->addWidget(m_connectionLabel);

    m_deviceInfoWidget = new QWidget(connection);
    m_deviceInfoWidget->setObjectName(QStringLiteral("widget_status_device"));
    QHBoxLayout* deviceLayout = newSectionLayout(m_deviceInfoWidget);
    m_serialLabel = new QLabel(m_deviceInfoWidget);
    m_serialLabel->setObjectName(QStringLiteral("lb_status_serial"));
    m_firmwareLabel = new QLabel(m_deviceInfoWidget);
    m_firmwareLabel->setObjectName(QStringLiteral("lb_status_firmware"));
    deviceLayout->addWidget(newSeparator(m_deviceInfoWidget));
    deviceLayout->addWidget(m_serialLabel);
    deviceLayout->addWidget(newSeparator(m_deviceInfoWidget));
    deviceLayout->addWidget(m_firmwareLabel);
    connectionLayout->addWidget(m_deviceInfoWidget);
    bar->addWidget(connection);

    m_measurementWidget = new QWidget(window);
    m_measurementWidget->setObjectName(QStringLiteral("widget_status_measurement"));
    QHBoxLayout* measurementLayout = newSectionLayout(m_measurementWidget);
    m_measureStateLabel = new QLabel(m_measurementWidget);
    m_measureStateLabel->setObjectName(QStringLiteral("lb_status_state"));
    m_measureStateLabel->setTextFormat(Qt::RichText);
    m_measureTimeLabel = new QLabel(m_measurementWidget);
    m_measureTimeLabel->setObjectName(QStringLiteral("lb_status_time"));
    m_sampleCountLabel = new QLabel(m_measurementWidget);
    m_sampleCountLabel->setObjectName(QStringLiteral("lb_status_samples"));
    m_sampleCountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Widths of the widest texts, so that the section does not jump as they change.
    QFont bold = window->font();
    bold.setWeight(QFont::Bold);
    m_measureStateLabel->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(tr("Measuring")));
    const QFontMetrics metrics(window->font());
    m_measureTimeLabel->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("00:00:00")));
    m_sampleCountLabel->setMinimumWidth(metrics.horizontalAdvance(
        tr("%1 / %2 samples").arg(QStringLiteral("000.000"), QStringLiteral("000.000"))));

    measurementLayout->addWidget(m_measureStateLabel);
    measurementLayout->addWidget(newSeparator(m_measurementWidget));
    measurementLayout->addWidget(m_measureTimeLabel);
    measurementLayout->addWidget(newSeparator(m_measurementWidget));
    measurementLayout->addWidget(m_sampleCountLabel);

    // In a section of its own, as the duration changes every second.
    m_recordingWidget = new QWidget(window);
    m_recordingWidget->setObjectName(QStringLiteral("widget_status_recording"));
    QHBoxLayout* recordingLayout = newSectionLayout(m_recordingWidget);
    m_recordingLabel = new QLabel(m_recordingWidget);
    m_recordingLabel->setObjectName(QStringLiteral("lb_status_recording"));
    m_recordingLabel->setTextFormat(Qt::RichText);
    recordingLayout->addWidget(m_recordingLabel);
    m_recordingWidget->hide();

    bar->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    bar->addPermanentWidget(m_recordingWidget);
    bar->addPermanentWidget(m_measurementWidget);
}

void StatusBarView::showOpenedFile(const QString& serialNumber, uint16_t firmware)
{
    m_deviceInfoWidget->setVisible(true);
    m_serialLabel->setText(tr("SN %1 (file)").arg(serialNumber));
    m_firmwareLabel->setText(tr("FW %1 (file)").arg(uint(firmware), 4, 16, QChar('0')));
}

void StatusBarView::showRecording(const QString& fileName, qint64 durationMs)
{
    m_recordingWidget->setVisible(!fileName.isEmpty());
    if (fileName.isEmpty())
        return;
    m_recordingLabel->setText(
        statusStateText(tr("Recording"), MaterialColor::Red) +
        tr(" to %1 (%2)").arg(fileName.toHtmlEscaped(), durationText(durationMs)));
}

void StatusBarView::showConnection(bool connected, const QString& serialNumber, uint16_t firmware)
{
    m_connectionLabel->setText(
        connected ? statusStateText(tr("Connected"), STATUS_COLOR_ACTIVE)
                  : statusStateText(tr("No device connected"), STATUS_COLOR_INACTIVE));
    m_deviceInfoWidget->setVisible(connected);
    if (connected) {
        m_serialLabel->setText(tr("SN %1").arg(serialNumber));
        m_firmwareLabel->setText(tr("FW %1").arg(uint(firmware), 4, 16, QChar('0')));
    }
}

void StatusBarView::showMeasurement(bool measuring, qint64 durationMs, quint64 stored,
                                    quint64 capacity)
{
    const bool shown = stored > 0 || measuring;
    m_measurementWidget->setVisible(shown);
    if (!shown)
        return;

    m_measureStateLabel->setText(measuring ? statusStateText(tr("Measuring"), STATUS_COLOR_ACTIVE)
                                           : statusStateText(tr("Stopped"), STATUS_COLOR_INACTIVE));
    m_measureTimeLabel->setText(durationText(durationMs));
    const QLocale locale;
    m_sampleCountLabel->setText(
        tr("%1 / %2 samples").arg(locale.toString(stored), locale.toString(capacity)));
}

QString StatusBarView::durationText(qint64 ms)
{
    const QChar zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(ms / 3600000, 2, 10, zero)
        .arg((ms / 60000) % 60, 2, 10, zero)
        .arg((ms / 1000) % 60, 2, 10, zero);
}

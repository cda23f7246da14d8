// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "triggerdock.h"
#include "mainwindowui.h"

#include "measurementsession.h"
#include "skarvelprotocol.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>

namespace {

// Room for a magnitude beyond the widest range's full scale.
constexpr double LEVEL_LIMIT_G = 32.0;
constexpr double LEVEL_LIMIT_DPS = 4000.0;

} // namespace

void TriggerDock::setup(QMainWindow* window, Ui_MainWindow* form, HeaderSource header,
                        ParamsSource params)
{
    m_window = window;
    ui = form;
    m_header = std::move(header);
    m_params = std::move(params);

    m_action = new QAction(tr("Show/Hide Trigger"), window);
    m_action->setObjectName(QStringLiteral("actionTrigger"));
    m_action->setToolTip(tr("Show/Hide the Trigger Settings"));
    ui->menuView->addAction(m_action);

    buildDock(window);

    m_statusLabel = new QLabel(window);
    m_statusLabel->setObjectName(QStringLiteral("lb_status_trigger"));
    m_statusLabel->setTextFormat(Qt::RichText);
    m_statusLabel->setText(QStringLiteral("<span style=\"color:%1; font-weight:bold\">%2</span>")
                               .arg(QColor(0xFF, 0x6F, 0x00).name(), tr("Waiting for trigger")));
    m_statusLabel->hide();
    window->statusBar()->addWidget(m_statusLabel);

    connect(ui->spin_time, &QSpinBox::valueChanged, this, &TriggerDock::onSettingsChanged);
}

void TriggerDock::buildDock(QMainWindow* window)
{
    // Hidden until asked for: the window starts as it always did.
    m_dock = new QDockWidget(tr("Trigger"), window);
    m_dock->setObjectName(QStringLiteral("dock_trigger"));
    auto* panel = new QWidget(m_dock);
    auto* form = new QFormLayout(panel);

    m_on = new QCheckBox(tr("Trigger on"), panel);
    m_on->setObjectName(QStringLiteral("chk_trigger"));
    form->addRow(m_on);

    m_source = new QComboBox(panel);
    m_source->setObjectName(QStringLiteral("cmb_trigger_source"));
    for (int source = 0; source < Trigger::SOURCE_COUNT; ++source)
        m_source->addItem(Trigger::sourceText(Trigger::ESource(source)));
    form->addRow(tr("Source"), m_source);

    m_slope = new QComboBox(panel);
    m_slope->setObjectName(QStringLiteral("cmb_trigger_slope"));
    for (int slope = 0; slope < Trigger::SLOPE_COUNT; ++slope)
        m_slope->addItem(Trigger::slopeText(Trigger::ESlope(slope)));
    form->addRow(tr("Slope"), m_slope);

    m_level = new QDoubleSpinBox(panel);
    m_level->setObjectName(QStringLiteral("spin_trigger_level"));
    m_level->setKeyboardTracking(false);
    form->addRow(tr("Level"), m_level);

    m_preTrigger = new QSpinBox(panel);
    m_preTrigger->setObjectName(QStringLiteral("spin_trigger_pre"));
    m_preTrigger->setRange(0, 100);
    m_preTrigger->setSuffix(QStringLiteral(" %"));
    m_preTrigger->setValue(Trigger::DEFAULT_PRE_TRIGGER_PERCENT);
    m_preTrigger->setKeyboardTracking(false);
    m_preTrigger->setToolTip(tr("Share of the time window before the trigger sample"));
    form->addRow(tr("Pre-trigger"), m_preTrigger);

    m_mode = new QComboBox(panel);
    m_mode->setObjectName(QStringLiteral("cmb_trigger_mode"));
    m_mode->addItem(tr("Single"));
    m_mode->addItem(tr("Repeat"));
    form->addRow(tr("Mode"), m_mode);

    m_save = new QCheckBox(tr("Save each capture"), panel);
    m_save->setObjectName(QStringLiteral("chk_trigger_save"));
    form->addRow(m_save);
    auto* folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(panel);
    m_folder->setObjectName(QStringLiteral("edit_trigger_folder"));
    m_folder->setPlaceholderText(tr("Folder"));
    m_folderButton = new QPushButton(tr("Choose…"), panel);
    m_folderButton->setObjectName(QStringLiteral("btn_trigger_folder"));
    folderRow->addWidget(m_folder);
    folderRow->addWidget(m_folderButton);
    form->addRow(folderRow);

    m_count = new QLabel(panel);
    m_count->setObjectName(QStringLiteral("lb_trigger_count"));
    form->addRow(tr("Captures"), m_count);
    m_readout = new QLabel(panel);
    m_readout->setObjectName(QStringLiteral("lb_trigger_readout"));
    m_readout->setWordWrap(true);
    form->addRow(m_readout);
    m_fileLabel = new QLabel(panel);
    m_fileLabel->setObjectName(QStringLiteral("lb_trigger_file"));
    m_fileLabel->setWordWrap(true);
    m_fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(m_fileLabel);

    m_dock->setWidget(panel);
    window->addDockWidget(Qt::RightDockWidgetArea, m_dock);
    m_dock->hide();

    onSourceChanged();
    m_level->setValue(1.5);
    m_count->setText(QStringLiteral("0"));

    connect(m_on, &QCheckBox::toggled, this, &TriggerDock::onSwitched);
    connect(m_source, &QComboBox::currentIndexChanged, this, &TriggerDock::onSourceChanged);
    connect(m_slope, &QComboBox::currentIndexChanged, this, &TriggerDock::onSettingsChanged);
    connect(m_level, &QDoubleSpinBox::valueChanged, this, &TriggerDock::onSettingsChanged);
    connect(m_preTrigger, &QSpinBox::valueChanged, this, &TriggerDock::onSettingsChanged);
    connect(m_mode, &QComboBox::currentIndexChanged, this, &TriggerDock::onSettingsChanged);
    connect(m_folderButton, &QPushButton::clicked, this, &TriggerDock::chooseFolder);
    connect(m_folder, &QLineEdit::editingFinished, this,
            [this] { m_writer.setFolder(m_folder->text()); });
}

bool TriggerDock::isOn() const
{
    return m_on->isChecked();
}

Trigger::SSettings TriggerDock::settings() const
{
    Trigger::SSettings s;
    s.source = Trigger::ESource(m_source->currentIndex());
    s.slope = Trigger::ESlope(m_slope->currentIndex());
    s.level = m_level->value();
    const SSkarvelParams ranges = m_params();
    const double fullScale = Trigger::isGyroSource(s.source)
                                 ? skarvel::gyroFullScale(ranges.gyroRange)
                                 : skarvel::accelFullScale(ranges.accelRange);
    s.hysteresis = Trigger::HYSTERESIS_SHARE * fullScale;
    s.preTriggerPercent = m_preTrigger->value();
    s.windowSamples = MeasurementSession::windowSampleCount(ui->spin_time->value());
    s.mode = m_mode->currentIndex() == 0 ? Trigger::EMode::Single : Trigger::EMode::Repeat;
    return s;
}

void TriggerDock::onSourceChanged()
{
    const bool gyro = Trigger::isGyroSource(Trigger::ESource(m_source->currentIndex()));
    const QSignalBlocker blocker(m_level);
    m_level->setDecimals(gyro ? 1 : 3);
    m_level->setSingleStep(gyro ? 10.0 : 0.1);
    const double limit = gyro ? LEVEL_LIMIT_DPS : LEVEL_LIMIT_G;
    m_level->setRange(-limit, limit);
    m_level->setSuffix(QLatin1Char(' ') +
                       Trigger::unitText(Trigger::ESource(m_source->currentIndex())));
    onSettingsChanged();
}

void TriggerDock::onSettingsChanged()
{
    // New settings take effect at once: a capture in progress is discarded.
    if (isOn() && m_measuring)
        arm();
}

void TriggerDock::onSwitched(bool on)
{
    // The trigger shows live data as Continue does; the other modes return when it is off.
    if (on)
        ui->cmb_display->setCurrentIndex(0);
    ui->cmb_display->setEnabled(!on);
    if (on && m_measuring) {
        arm();
    } else if (!on && m_holding && m_measuring) {
        // Live data again, with the measurement's times.
        ui->widget_accel->clearFrom(m_liveTotal);
        ui->widget_gyro->clearFrom(m_liveTotal);
        m_holding = false;
        clearMarker();
        emit captureShown();
    }
    updateStatus();
}

void TriggerDock::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(
        m_window, tr("Folder for the captures"), m_folder->text());
    if (folder.isEmpty())
        return;
    m_folder->setText(QDir::toNativeSeparators(folder));
    m_writer.setFolder(folder);
    m_save->setChecked(true);
}

void TriggerDock::arm()
{
    m_trigger.arm(settings());
    updateStatus();
}

void TriggerDock::measurementStarted()
{
    m_measuring = true;
    m_holding = false;
    m_liveTotal = 0;
    m_trigger.restart();
    m_count->setText(QStringLiteral("0"));
    if (isOn())
        arm();
    updateStatus();
}

void TriggerDock::measurementStopped()
{
    m_measuring = false;
    updateStatus();
}

void TriggerDock::cleared()
{
    m_holding = false;
    m_shown.reset();
    clearMarker();
}

void TriggerDock::sensorSettingsChanged()
{
    // The hysteresis follows the range; samples before the change are not
    // mixed into a capture with those after.
    if (isOn() && m_measuring)
        arm();
}

quint64 TriggerDock::liveTotal() const
{
    return m_holding ? m_liveTotal : ui->widget_accel->totalSampleCount();
}

bool TriggerDock::finished() const
{
    return isOn() && m_measuring && m_trigger.state() == Trigger::EState::Done;
}

void TriggerDock::samplesStored(const std::vector<float>& accel, const std::vector<float>& gyro)
{
    if (!isOn() || !m_measuring)
        return;
    const quint64 frames = std::min(accel.size(), gyro.size()) / 3;
    m_trigger.process(accel, gyro, liveTotal() - frames);
    std::vector<Trigger::SCapture> captures = m_trigger.takeCaptures();
    if (!captures.empty()) {
        if (m_save->isChecked())
            for (const Trigger::SCapture& capture : captures)
                saveCapture(capture);
        show(captures.back());
        m_count->setText(QString::number(m_trigger.captureCount()));
    }
    updateStatus();
}

void TriggerDock::show(const Trigger::SCapture& capture)
{
    if (!m_holding)
        m_liveTotal = ui->widget_accel->totalSampleCount();
    m_holding = true;
    ui->widget_accel->clearFrom(capture.firstIndex);
    ui->widget_gyro->clearFrom(capture.firstIndex);
    ui->widget_accel->appendSamples(capture.accel);
    ui->widget_gyro->appendSamples(capture.gyro);
    Trigger::SMarker marker;
    marker.settings = capture.settings;
    marker.triggerIndex = capture.triggerIndex;
    setMarker(marker);
    emit captureShown();
}

void TriggerDock::showOpened(const std::optional<Trigger::SMarker>& marker)
{
    if (marker)
        setMarker(*marker);
    else
        clearMarker();
}

void TriggerDock::setMarker(const Trigger::SMarker& marker)
{
    m_shown = marker;
    const Trigger::SSettings& s = marker.settings;
    const bool gyro = Trigger::isGyroSource(s.source);
    ui->widget_accel->setTriggerMarker(marker.triggerIndex, !gyro, s.level);
    ui->widget_gyro->setTriggerMarker(marker.triggerIndex, gyro, s.level);
    m_readout->setText(
        tr("Trigger at %1 s\n%2, %3, %4 %5")
            .arg(CsvWriter::number(double(marker.triggerIndex) / skarvel::SAMPLE_RATE, 4),
                 Trigger::sourceText(s.source), Trigger::slopeText(s.slope),
                 CsvWriter::number(s.level, gyro ? 1 : 3), Trigger::unitText(s.source)));
}

void TriggerDock::clearMarker()
{
    m_shown.reset();
    ui->widget_accel->clearTriggerMarker();
    ui->widget_gyro->clearTriggerMarker();
    m_readout->clear();
}

QList<QPair<QString, QString>> TriggerDock::shownSection() const
{
    if (!m_shown)
        return {};
    return Trigger::sectionTexts(m_shown->settings, m_shown->triggerIndex, skarvel::SAMPLE_RATE);
}

void TriggerDock::saveCapture(const Trigger::SCapture& capture)
{
    if (m_writer.folder().isEmpty())
        m_writer.setFolder(m_folder->text());
    if (m_writer.write(m_header(), capture, skarvel::SAMPLE_RATE)) {
        m_fileLabel->setText(QDir::toNativeSeparators(m_writer.fileName()));
        return;
    }
    reportFailure(m_writer.errorString());
}

void TriggerDock::reportFailure(const QString& text)
{
    // The measurement goes on: the message does not wait in an event loop of
    // its own, and a later failure updates it rather than piling up boxes.
    m_fileLabel->setText(text);
    if (m_failureBox) {
        m_failureBox->setText(text);
        return;
    }
    m_failureBox =
        new QMessageBox(QMessageBox::Critical, tr("Trigger"), text, QMessageBox::Ok, m_window);
    m_failureBox->setAttribute(Qt::WA_DeleteOnClose);
    m_failureBox->open();
}

void TriggerDock::updateStatus()
{
    const bool waiting = isOn() && m_measuring && m_trigger.state() == Trigger::EState::Armed;
    if (m_statusLabel->isHidden() == waiting)
        m_statusLabel->setVisible(waiting);
}

// Compiled here rather than in the library's shared moc unit, as the window's is.
#include "moc_triggerdock.cpp"

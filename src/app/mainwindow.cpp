// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "mainwindow.h"
#include "mainwindowui.h"

#include "aboutdialog.h"
#include "devicedialog.h"
#include "recentfiles.h"
#include "skarvelprotocol.h"
#include "spectrumpanel.h"

#include <QDateTime>
#include <QIcon>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>
#include <functional>

namespace {

void toggleShown(QWidget* widget)
{
    widget->setVisible(widget->isHidden());
}

// The icon of an action that shows and hides a panel or graph follows its state.
void showToggleIcon(QAction* action, const QWidget* target, const char* shownIcon,
                    const char* hiddenIcon)
{
    action->setIcon(QIcon(QStringLiteral(":/icons/res/png/%1_32px.png")
                              .arg(QLatin1String(target->isHidden() ? hiddenIcon : shownIcon))));
}

} // namespace

// --- Frame -----------------------------------------------------------------

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Skarvel Monitor"));
    m_statusBar.setup(this);

    m_graphs.setup();
    m_statisticsView.setup();
    m_scaleView.setup();
    m_settingsView.fill();
    updateTimeScroll(true);
    showDeviceParams();

    m_graphs.setTimeWindow(ui->spin_time->value());

    updateTimeScroll(false);
    updateStatistics();
    updateMeasurementStatus();

    updateSettingsIcon();
    updateStatisticsIcon();
    updateScaleIcon();
    updateGraphIcons();
    setupSpectrumDock();
    setupTriggerDock();
    m_measure.setup(this, ui);
    connect(&m_measure, &MeasureController::measureModeChanged, this, [this](bool on) {
        if (SpectrumPanel* panel = m_spectrum.panel())
            panel->setMeasureMode(on);
    });

    m_updateTimer.setInterval(MeasurementSession::UPDATE_INTERVAL_MS);
    // First in line, so that anyone else observing the batches finds them in the graphs.
    connect(&m_session, &MeasurementSession::samplesStored, this,
            [this](const std::vector<float>& accel, const std::vector<float>& gyro) {
                if (m_trigger.holdsGraphs()) { // a capture is shown
                    m_trigger.passLive(std::min(accel.size(), gyro.size()) / 3);
                    return;
                }
                ui->widget_accel->appendSamples(accel);
                ui->widget_gyro->appendSamples(gyro);
            });
    connect(&m_session, &MeasurementSession::samplesStored, this,
            [this](const std::vector<float>& accel, const std::vector<float>& gyro) {
                m_files.recordSamples(accel, gyro, m_trigger.liveTotal());
            });
    connect(&m_session, &MeasurementSession::samplesStored, &m_trigger,
            &TriggerDock::samplesStored);

    connect(ui->actionConnect, &QAction::triggered, this, &MainWindow::onConnect);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::onDisconnect);
    connect(ui->actionStart, &QAction::triggered, this, &MainWindow::onStart);
    connect(ui->actionStop, &QAction::triggered, this, &MainWindow::onStop);
    connect(ui->actionSaveCsv, &QAction::triggered, this, &MainWindow::onSaveCsv);
    connect(ui->actionRecord, &QAction::triggered, this, &MainWindow::onRecordTriggered);
    connect(ui->actionOpenMeasurement, &QAction::triggered, this, &MainWindow::onOpenMeasurement);
    connect(ui->actionScreenshot, &QAction::triggered, this, &MainWindow::onScreenshot);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::onAbout);
    connect(ui->actionExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionSettings, &QAction::triggered, this, &MainWindow::onSettingsTriggered);
    connect(ui->actionShowAcc, &QAction::triggered, this, &MainWindow::onShowAccTriggered);
    connect(ui->actionShowGyro, &QAction::triggered, this, &MainWindow::onShowGyroTriggered);
    connect(ui->actionTableShow, &QAction::triggered, this, &MainWindow::onTableShowTriggered);
    connect(ui->actionScale, &QAction::triggered, this, &MainWindow::onScaleTriggered);
    connect(ui->actionReset, &QAction::triggered, this, &MainWindow::onResetStatistics);
    connect(ui->dock_settings, &QDockWidget::visibilityChanged, this,
            &MainWindow::updateSettingsIcon);
    connect(ui->dock_settings, &QDockWidget::topLevelChanged, this,
            &MainWindow::onDockFloatingChanged);
    connect(ui->dock_statistics, &QDockWidget::visibilityChanged, this,
            &MainWindow::updateStatisticsIcon);
    connect(ui->dock_scale, &QDockWidget::visibilityChanged, this, &MainWindow::updateScaleIcon);
    for (QDial* dial : {ui->dial_acc_y, ui->dial_gyro_y, ui->dial_acc_move_y, ui->dial_gyro_move_y})
        connect(dial, &QDial::valueChanged, this, &MainWindow::updateYScales);
    connect(ui->cmb_display, &QComboBox::currentIndexChanged, this, &MainWindow::onModeChanged);
    connect(ui->cmb_dataview, &QComboBox::currentIndexChanged, this, &MainWindow::updateStatistics);
    connect(ui->spin_time, &QSpinBox::valueChanged, this, &MainWindow::onTimeChanged);
    connect(ui->scroll_horz_graph, &QScrollBar::valueChanged, this, &MainWindow::onTimeScrolled);
    for (QComboBox* combo : {ui->cmb_acc, ui->cmb_gyro, ui->cmb_acc_cutoff, ui->cmb_gyro_hp})
        connect(combo, &QComboBox::currentIndexChanged, this, &MainWindow::onSensorParamsChanged);
    connect(ui->cmb_acc_filter, &QComboBox::currentIndexChanged, this,
            &MainWindow::onAccelFilterChanged);
    connect(ui->chk_acc_low_latency, &QCheckBox::toggled, this, &MainWindow::onSensorParamsChanged);
    connect(&m_updateTimer, &QTimer::timeout, this, &MainWindow::onUpdateTimer);

    setupDesktop();
    updateUiState();
}

MainWindow::~MainWindow()
{
    m_sensor.StopSensorThread();
    m_sensor.Disconnect();
    // The base class destroys the child widgets after ui is gone. A window that
    // is still shown gets hidden from there, and its docks would report the
    // visibility change to slots that read ui: cut every link to this window first.
    const QList<QObject*> senders = findChildren<QObject*>();
    for (QObject* sender : senders)
        QObject::disconnect(sender, nullptr, this, nullptr);
    QObject::disconnect(&m_updateTimer, nullptr, this, nullptr);
    delete ui;
    ui = nullptr;
}

void MainWindow::updateUiState()
{
    updateMeasurementStatus();

    const bool connected = m_sensor.IsConnected();
    const bool measuring = m_measuring;
    const quint64 stored = ui->widget_accel->storedSampleCount();
    const bool single = m_graphs.isSingleShot();

    ui->actionConnect->setEnabled(!connected);
    ui->actionDisconnect->setEnabled(connected);
    ui->actionStart->setEnabled(connected && !measuring);
    ui->actionStop->setEnabled(measuring);
    ui->actionReset->setEnabled(measuring || stored > 0);
    ui->spin_time->setEnabled(!measuring || !single);
    ui->actionSaveCsv->setEnabled(!measuring && stored > 0);
    ui->actionRecord->setEnabled(connected);
    ui->actionOpenMeasurement->setEnabled(!measuring);
    m_recent->setEnabled(!measuring);
    m_settingsView.setConnected(connected);

    ui->actionConnect->setIcon(QIcon(connected
                                         ? QStringLiteral(":/icons/res/png/usb_green_32px.png")
                                         : QStringLiteral(":/icons/res/png/usb_grey_32px.png")));

    m_statusBar.showConnection(connected, QString::fromStdWString(m_sensor.GetSerialNumber()),
                               m_sensor.GetFirmware());
    if (m_files.hasOpened())
        m_statusBar.showOpenedFile(QString::fromStdWString(m_measurementSerial),
                                   m_measurementFirmware);
    updateWindowTitle();
}

void MainWindow::onSettingsTriggered()
{
    toggleShown(ui->dock_settings);
}

void MainWindow::onScaleTriggered()
{
    toggleShown(ui->dock_scale);
}

void MainWindow::onDockFloatingChanged(bool floating)
{
    if (!floating)
        return;
    // The dock gets its floating geometry only after this signal; size it once that is done.
    QDockWidget* dock = ui->dock_settings;
    QTimer::singleShot(0, dock, [dock] { dock->resize(dock->sizeHint()); });
}

void MainWindow::updateSettingsIcon()
{
    showToggleIcon(ui->actionSettings, ui->dock_settings, "settings-filled", "settings_off");
}

void MainWindow::updateStatisticsIcon()
{
    showToggleIcon(ui->actionTableShow, ui->dock_statistics, "view-timeline-filled",
                   "view-timeline");
}

void MainWindow::updateScaleIcon()
{
    showToggleIcon(ui->actionScale, ui->dock_scale, "pageview-filled", "pageview");
}

void MainWindow::onAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

// --- Measurement flow --------------------------------------------------------

void MainWindow::onConnect()
{
    DeviceDialog dialog(this);
    dialog.selectSerial(m_lastSerial);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::wstring serial = dialog.selectedSerial();
    if (m_sensor.Connect(serial)) {
        m_lastSerial = QString::fromStdWString(serial);
        if (m_files.hasOpened())
            clearMeasurement(); // an opened file gives way to the sensor's measurement
        showDeviceParams();
        updateUiState();
    } else {
        QMessageBox::critical(
            this, tr("Device"),
            tr("Connect failed:\n%1").arg(QString::fromStdString(m_sensor.GetLastError())));
    }
}

void MainWindow::onDisconnect()
{
    stopMeasurement();
    m_files.endRecording();
    m_sensor.Disconnect();
    updateUiState();
}

void MainWindow::onStart()
{
    if (!m_sensor.IsConnected() || m_measuring)
        return;
    clearMeasurement();
    m_measurementSerial = m_sensor.GetSerialNumber();
    m_measurementFirmware = m_sensor.GetFirmware();
    m_session.begin(m_sensor.GetParams());

    // Runs on the read thread: nothing but the append under the session's pending mutex.
    const bool ok = m_sensor.StartSensorThread(
        [this](const SSkarvelSample& sample) { m_session.addSample(sample); });
    if (ok) {
        m_measuring = true;
        m_trigger.measurementStarted();
        m_measureClock.start();
        m_updateTimer.start();
        updateUiState();
    } else {
        QMessageBox::critical(this, tr("Start"),
                              tr("Starting measurement failed:\n%1")
                                  .arg(QString::fromStdString(m_sensor.GetLastError())));
    }
}

void MainWindow::stopMeasurement()
{
    if (!m_measuring)
        return;
    m_updateTimer.stop();
    m_sensor.StopSensorThread(); // no callback runs after this returns
    m_measuring = false;
    m_measureDurationMs = m_measureClock.elapsed();
    appendPendingSamples();
    m_trigger.measurementStopped();
    m_files.endRecording();
    updateTimeScroll(true);
    updateStatistics();
}

void MainWindow::onStop()
{
    stopMeasurement();
    updateUiState();
}

void MainWindow::onUpdateTimer()
{
    if (m_files.recordingFailed())
        m_files.endRecording(); // tells why; the measurement goes on
    const MeasurementSession::ETick tick = m_session.tick(appendPendingSamples());
    if (tick == MeasurementSession::ETick::ConnectionLost)
        handleConnectionLost();
    if (tick == MeasurementSession::ETick::Idle ||
        tick == MeasurementSession::ETick::ConnectionLost)
        return;
    updateSingleShot();
    updateTriggerStop();
    if (tick == MeasurementSession::ETick::Refresh) {
        updateStatistics();
        updateMeasurementStatus();
    }
}

void MainWindow::updateSingleShot()
{
    if (!m_graphs.isSingleShot() ||
        ui->widget_accel->storedSampleCount() < m_graphs.windowSampleCount())
        return;
    if (m_measuring)
        stopMeasurement();
    updateUiState();
}

void MainWindow::handleConnectionLost()
{
    stopMeasurement();
    m_files.endRecording();
    m_sensor.Disconnect();
    updateUiState();
    QMessageBox::critical(
        this, tr("Device"),
        tr("Connection to the sensor was lost.\nThe measurement has been stopped."));
}

quint64 MainWindow::appendPendingSamples()
{
    return m_session.appendPendingSamples(m_graphs.isSingleShot() ? m_graphs.singleShotRemaining()
                                                                  : MeasurementSession::UNLIMITED);
}

void MainWindow::clearMeasurement()
{
    m_graphs.clear();
    m_trigger.cleared();
    m_session.resetStatistics();
    m_files.forgetOpened();
    updateWindowTitle();
    updateTimeScroll(true);
    updateStatistics();
}

void MainWindow::onModeChanged(int index)
{
    if (!m_graphs.setMode(index))
        return;
    if (m_graphs.isSingleShot() && m_measuring)
        clearMeasurement(); // the window fills from now on
    updateTimeInputEnabled();
    updateTimeScroll(true);
    updateStatistics();
    updateMeasurementStatus();
}

void MainWindow::updateTimeInputEnabled()
{
    ui->spin_time->setEnabled(!m_measuring || !m_graphs.isSingleShot());
}

// --- Sensor settings ---------------------------------------------------------

void MainWindow::onAccelFilterChanged()
{
    m_settingsView.fillAccelCutoff(ui->cmb_acc_filter->currentData().toInt());
    // One user change, one command: the cutoff follows silently.
    const QSignalBlocker blocker(ui->cmb_acc_cutoff);
    ui->cmb_acc_cutoff->setCurrentIndex(ui->cmb_acc_cutoff->findData(0));
    onSensorParamsChanged();
}

void MainWindow::onSensorParamsChanged()
{
    if (!m_sensor.IsConnected())
        return;
    const SSkarvelParams params = m_settingsView.params(m_sensor.GetParams());

    // What has arrived was measured with the old ranges; convert it with them.
    appendPendingSamples();
    if (!m_sensor.SetParams(params)) {
        statusBar()->showMessage(tr("Setting sensor parameters failed: %1")
                                     .arg(QString::fromStdString(m_sensor.GetLastError())),
                                 5000);
    }
    m_session.setRanges(m_sensor.GetParams());
    m_session.discardBufferedSamples();
    showDeviceParams();
    m_files.sensorSettingsChanged();
    m_trigger.sensorSettingsChanged();
}

void MainWindow::showDeviceParams()
{
    m_settingsView.show(m_sensor.GetParams());
    m_settingsView.updateLowLatencyEnabled(m_sensor.IsConnected());
    updateYScales();
}

// --- Statistics ------------------------------------------------------------

void MainWindow::updateStatistics()
{
    // An opened file's ranges tell which of its values are near full scale.
    m_statisticsView.update(m_session,
                            m_files.hasOpened() ? m_files.openedParams() : m_sensor.GetParams());
}

void MainWindow::onTableShowTriggered()
{
    toggleShown(ui->dock_statistics);
    updateStatistics();
}

void MainWindow::onResetStatistics()
{
    m_session.resetStatistics();
    updateStatistics();
}

// --- Y scaling and time navigation -----------------------------------------

void MainWindow::updateYScales()
{
    // An opened file's values span the ranges they were measured with.
    m_scaleView.apply(m_files.hasOpened() ? m_files.openedParams() : m_sensor.GetParams());
}

void MainWindow::onTimeChanged(int seconds)
{
    m_graphs.setTimeWindow(seconds);
    updateTimeScroll(false);
    updateStatistics();
    updateMeasurementStatus();
}

void MainWindow::updateTimeScroll(bool snapToDefault)
{
    m_graphs.updateTimeScroll(snapToDefault, m_measuring);
    updateStatistics();
}

void MainWindow::onTimeScrolled(int position)
{
    m_graphs.showFrom(position, m_measuring);
    updateStatistics();
}

void MainWindow::onShowAccTriggered()
{
    toggleShown(ui->widget_accel);
    updateGraphIcons();
}

void MainWindow::onShowGyroTriggered()
{
    toggleShown(ui->widget_gyro);
    updateGraphIcons();
}

void MainWindow::updateGraphIcons()
{
    showToggleIcon(ui->actionShowAcc, ui->widget_accel, "acc_on", "acc_off");
    showToggleIcon(ui->actionShowGyro, ui->widget_gyro, "gyro_on", "gyro_off");
}

// --- Status bar --------------------------------------------------------------

void MainWindow::updateMeasurementStatus()
{
    m_statusBar.showMeasurement(m_measuring,
                                m_measuring ? m_measureClock.elapsed() : m_measureDurationMs,
                                ui->widget_accel->storedSampleCount(), m_graphs.capacity());
    m_files.showRecordingStatus();
}

QString MainWindow::durationText(qint64 ms)
{
    return StatusBarView::durationText(ms);
}

// --- Spectrum ----------------------------------------------------------------

void MainWindow::setupSpectrumDock()
{
    m_spectrum.setup(this, ui);
    updateSpectrumIcon();
    connect(m_spectrum.action(), &QAction::triggered, this, &MainWindow::onSpectrumTriggered);
    connect(m_spectrum.dock(), &QDockWidget::visibilityChanged, this,
            &MainWindow::updateSpectrumIcon);
    connect(m_spectrum.panel(), &SpectrumPanel::saveRequested, this, &MainWindow::onSaveSpectrum);
}

void MainWindow::onSpectrumTriggered()
{
    toggleShown(m_spectrum.dock());
    if (!m_spectrum.dock()->isHidden())
        m_spectrum.dock()->raise(); // the front tab where it shares its place
}

void MainWindow::updateSpectrumIcon()
{
    showToggleIcon(m_spectrum.action(), m_spectrum.dock(), "spectrum_on", "spectrum_off");
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_mainwindow.cpp"

// --- Trigger -------------------------------------------------------------------

void MainWindow::setupTriggerDock()
{
    m_trigger.setup(
        this, ui,
        [this] {
            return m_files.header(QDateTime::currentDateTime(), m_measurementSerial,
                                  m_measurementFirmware);
        },
        [this] { return m_sensor.GetParams(); });
    connect(m_trigger.action(), &QAction::triggered, this, [this] {
        toggleShown(m_trigger.dock());
        if (!m_trigger.dock()->isHidden())
            m_trigger.dock()->raise();
    });
    connect(&m_trigger, &TriggerDock::captureShown, this, [this] {
        updateTimeScroll(true);
        updateStatistics();
        updateMeasurementStatus();
    });
}

// A Single capture ends the measurement as a full Single Shot window does.
void MainWindow::updateTriggerStop()
{
    if (!m_trigger.finished())
        return;
    stopMeasurement();
    updateUiState();
}

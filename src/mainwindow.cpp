// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "csvwriter.h"
#include "devicedialog.h"
#include "skarvelprotocol.h"

#include <QDateTime>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>

namespace {

QString fileTimeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

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

    ui->widget_accel->setTitle(tr("Acceleration"));
    ui->widget_accel->setYAxisLabel(tr("[g]"));
    ui->widget_accel->addSeries(QStringLiteral("X"), MaterialColor::Red);
    ui->widget_accel->addSeries(QStringLiteral("Y"), MaterialColor::Green);
    ui->widget_accel->addSeries(QStringLiteral("Z"), MaterialColor::Blue);

    ui->widget_gyro->setTitle(tr("Angular rate"));
    ui->widget_gyro->setYAxisLabel(tr("[dps]"));
    ui->widget_gyro->addSeries(QStringLiteral("rX"), MaterialColor::Red);
    ui->widget_gyro->addSeries(QStringLiteral("rY"), MaterialColor::Green);
    ui->widget_gyro->addSeries(QStringLiteral("rZ"), MaterialColor::Blue);

    ui->widget_accel->setSampleRate(skarvel::SAMPLE_RATE);
    ui->widget_gyro->setSampleRate(skarvel::SAMPLE_RATE);

    m_statisticsView.setup();
    fillInputs();
    updateTimeScroll(true);
    showDeviceParams();

    ui->widget_accel->setTimeWindow(double(ui->spin_time->value()));
    ui->widget_gyro->setTimeWindow(double(ui->spin_time->value()));

    updateTimeScroll(false);
    updateStatistics();
    updateMeasurementStatus();

    updateSettingsIcon();
    updateStatisticsIcon();
    updateScaleIcon();
    updateGraphIcons();

    m_updateTimer.setInterval(MeasurementSession::UPDATE_INTERVAL_MS);
    // First in line, so that anyone else observing the batches finds them in the graphs.
    connect(&m_session, &MeasurementSession::samplesStored, this,
            [this](const std::vector<float>& accel, const std::vector<float>& gyro) {
                ui->widget_accel->appendSamples(accel);
                ui->widget_gyro->appendSamples(gyro);
            });

    connect(ui->actionConnect, &QAction::triggered, this, &MainWindow::onConnect);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::onDisconnect);
    connect(ui->actionStart, &QAction::triggered, this, &MainWindow::onStart);
    connect(ui->actionStop, &QAction::triggered, this, &MainWindow::onStop);
    connect(ui->actionSaveCsv, &QAction::triggered, this, &MainWindow::onSaveCsv);
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
    const bool single = isSingleShot();

    ui->actionConnect->setEnabled(!connected);
    ui->actionDisconnect->setEnabled(connected);
    ui->actionStart->setEnabled(connected && !measuring);
    ui->actionStop->setEnabled(measuring);
    ui->actionReset->setEnabled(measuring || stored > 0);
    ui->spin_time->setEnabled(!measuring || !single);
    ui->actionSaveCsv->setEnabled(!measuring && stored > 0);
    ui->cmb_acc->setEnabled(connected);
    ui->cmb_gyro->setEnabled(connected);
    ui->cmb_acc_filter->setEnabled(connected);
    ui->cmb_acc_cutoff->setEnabled(connected);
    ui->cmb_gyro_hp->setEnabled(connected);
    m_settingsView.updateLowLatencyEnabled(connected);

    ui->actionConnect->setIcon(QIcon(connected
                                         ? QStringLiteral(":/icons/res/png/usb_green_32px.png")
                                         : QStringLiteral(":/icons/res/png/usb_grey_32px.png")));

    m_statusBar.showConnection(connected, QString::fromStdWString(m_sensor.GetSerialNumber()),
                               m_sensor.GetFirmware());
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
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::wstring serial = dialog.selectedSerial();
    if (m_sensor.Connect(serial)) {
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
    const MeasurementSession::ETick tick = m_session.tick(appendPendingSamples());
    if (tick == MeasurementSession::ETick::ConnectionLost)
        handleConnectionLost();
    if (tick == MeasurementSession::ETick::Idle ||
        tick == MeasurementSession::ETick::ConnectionLost)
        return;
    updateSingleShot();
    if (tick == MeasurementSession::ETick::Refresh) {
        updateStatistics();
        updateMeasurementStatus();
    }
}

void MainWindow::updateSingleShot()
{
    if (!isSingleShot() || ui->widget_accel->storedSampleCount() < windowSampleCount())
        return;
    if (m_measuring)
        stopMeasurement();
    updateUiState();
}

void MainWindow::handleConnectionLost()
{
    stopMeasurement();
    m_sensor.Disconnect();
    updateUiState();
    QMessageBox::critical(
        this, tr("Device"),
        tr("Connection to the sensor was lost.\nThe measurement has been stopped."));
}

quint64 MainWindow::appendPendingSamples()
{
    return m_session.appendPendingSamples(isSingleShot() ? singleShotRemaining()
                                                         : MeasurementSession::UNLIMITED);
}

void MainWindow::clearMeasurement()
{
    ui->widget_accel->clear();
    ui->widget_gyro->clear();
    m_session.resetStatistics();
    updateTimeScroll(true);
    updateStatistics();
}

void MainWindow::onModeChanged(int index)
{
    if (index < CLiveGraph::Continue || index > CLiveGraph::SingleShot)
        return;
    const auto mode = static_cast<CLiveGraph::EMode>(index);
    ui->widget_accel->setMode(mode);
    ui->widget_gyro->setMode(mode);
    if (mode == CLiveGraph::SingleShot && m_measuring)
        clearMeasurement(); // the window fills from now on
    updateTimeInputEnabled();
    updateTimeScroll(true);
    updateStatistics();
    updateMeasurementStatus();
}

void MainWindow::updateTimeInputEnabled()
{
    ui->spin_time->setEnabled(!m_measuring || !isSingleShot());
}

bool MainWindow::isSingleShot() const
{
    return ui->widget_accel->mode() == CLiveGraph::SingleShot;
}

quint64 MainWindow::windowSampleCount() const
{
    return MeasurementSession::windowSampleCount(ui->spin_time->value());
}

quint64 MainWindow::singleShotRemaining() const
{
    const quint64 target = windowSampleCount();
    const quint64 stored = ui->widget_accel->storedSampleCount();
    return stored >= target ? 0 : target - stored;
}

// --- Sensor settings ---------------------------------------------------------

void MainWindow::fillInputs()
{
    ui->cmb_display->addItem(tr("Continue"));
    ui->cmb_display->addItem(tr("Overwrite"));
    ui->cmb_display->addItem(tr("Single Shot"));

    m_scaleView.setup();
    m_settingsView.fill();

    ui->spin_time->setRange(1, 300);
    ui->spin_time->setSuffix(tr(" s"));
    ui->spin_time->setValue(5);
}

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
    m_statisticsView.update(m_session, m_sensor.GetParams());
}

// --- Statistics ------------------------------------------------------------

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
    m_scaleView.apply(m_sensor.GetParams());
}

void MainWindow::onTimeChanged(int seconds)
{
    ui->widget_accel->setTimeWindow(double(seconds));
    ui->widget_gyro->setTimeWindow(double(seconds));
    updateTimeScroll(false);
    updateStatistics();
    updateMeasurementStatus();
}

void MainWindow::updateTimeScroll(bool snapToDefault)
{
    QScrollBar* scroll = ui->scroll_horz_graph;
    const quint64 stored = ui->widget_accel->storedSampleCount();
    const quint64 window = windowSampleCount();
    const int maxPos = window < stored ? int(stored - window) : 0;

    const int old = scroll->value();
    const int oldDefault = defaultScrollPosition();
    {
        const QSignalBlocker blocker(scroll);
        scroll->setRange(0, maxPos);
        scroll->setPageStep(int(window));
        scroll->setSingleStep(std::max(1, int(window / 10)));
        if (old == oldDefault || snapToDefault)
            scroll->setValue(isSingleShot() ? 0 : scroll->maximum());
    }
    scroll->setEnabled(maxPos > 0 && !m_measuring);
    onTimeScrolled(scroll->value());
}

int MainWindow::defaultScrollPosition() const
{
    return isSingleShot() ? 0 : ui->scroll_horz_graph->maximum();
}

void MainWindow::onTimeScrolled(int position)
{
    CLiveGraph* graphs[] = {ui->widget_accel, ui->widget_gyro};
    // Without a manual view start the graphs follow the data (or, in Single
    // Shot, stay at the first sample): that is the scroll bar's default position.
    const bool automatic = m_measuring || position == defaultScrollPosition();
    for (CLiveGraph* graph : graphs) {
        if (automatic)
            graph->resetView();
        else
            graph->setViewStart(quint64(position));
    }
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
    const quint64 capacity =
        isSingleShot() ? windowSampleCount() : ui->widget_accel->maxSampleCount();
    m_statusBar.showMeasurement(m_measuring,
                                m_measuring ? m_measureClock.elapsed() : m_measureDurationMs,
                                ui->widget_accel->storedSampleCount(), capacity);
}

QString MainWindow::durationText(qint64 ms)
{
    return StatusBarView::durationText(ms);
}

// --- CSV and screenshot export ---------------------------------------------

void MainWindow::onSaveCsv()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save measurement"), QStringLiteral("skarvel_%1.csv").arg(fileTimeStamp()),
        tr("CSV file (*.csv)"));
    if (fileName.isEmpty())
        return;
    if (!writeCsv(fileName))
        QMessageBox::critical(this, tr("Save"), tr("Saving %1 failed.").arg(fileName));
}

bool MainWindow::writeCsv(const QString& fileName)
{
    // Written aside and renamed over the target on commit: a failed save never
    // leaves an existing file half written.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    CsvWriter csv(&file);
    CsvWriter::SHeader header;
    header.date = QDateTime::currentDateTime();
    header.serialNumber = QString::fromStdWString(m_measurementSerial);
    header.firmware = m_measurementFirmware;
    header.settings = m_settingsView.settingsTexts();
    header.sampleRate = skarvel::SAMPLE_RATE;
    csv.writeHeader(header);

    const CLiveGraph* accel = ui->widget_accel;
    const CLiveGraph* gyro = ui->widget_gyro;
    const quint64 rows = std::min(accel->storedSampleCount(), gyro->storedSampleCount());
    for (quint64 i = 0; i < rows; ++i) {
        const float a[3] = {accel->storedSample(0, i), accel->storedSample(1, i),
                            accel->storedSample(2, i)};
        const float g[3] = {gyro->storedSample(0, i), gyro->storedSample(1, i),
                            gyro->storedSample(2, i)};
        csv.writeSample(accel->storedSampleTime(i), a, g);
    }
    if (!csv.flush())
        return false; // the temporary file is discarded, the target stays as it was
    return file.commit();
}

void MainWindow::onScreenshot()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save screenshot"), QStringLiteral("skarvel_%1.jpg").arg(fileTimeStamp()),
        tr("JPEG image (*.jpg *.jpeg)"));
    if (fileName.isEmpty())
        return;
    const QPixmap picture = ui->centralwidget->grab();
    // Writing the name directly would leave an existing picture cut short when
    // the disk fills up: write aside and replace it only once every byte arrived.
    QSaveFile file(fileName);
    const bool saved =
        file.open(QIODevice::WriteOnly) && picture.save(&file, "JPG", 100) && file.commit();
    if (!saved)
        QMessageBox::critical(this, tr("Screenshot"), tr("Saving %1 failed.").arg(fileName));
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_mainwindow.cpp"

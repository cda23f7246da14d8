// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "csvreader.h"
#include "csvwriter.h"
#include "devicedialog.h"
#include "openrangedialog.h"
#include "skarvelprotocol.h"
#include "spectrumpanel.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressDialog>
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
    setupSpectrumDock();

    m_updateTimer.setInterval(MeasurementSession::UPDATE_INTERVAL_MS);
    // First in line, so that anyone else observing the batches finds them in the graphs.
    connect(&m_session, &MeasurementSession::samplesStored, this,
            [this](const std::vector<float>& accel, const std::vector<float>& gyro) {
                ui->widget_accel->appendSamples(accel);
                ui->widget_gyro->appendSamples(gyro);
            });
    connect(&m_session, &MeasurementSession::samplesStored, this, &MainWindow::recordSamples);

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
    ui->actionRecord->setEnabled(connected);
    ui->actionOpenMeasurement->setEnabled(!measuring);
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
    if (!m_openedFile.isEmpty())
        m_statusBar.showOpenedFile(QString::fromStdWString(m_measurementSerial),
                                   m_measurementFirmware);
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
        if (!m_openedFile.isEmpty())
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
    endRecording();
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
    endRecording();
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
    if (m_recorder.hasFailed())
        endRecording(); // tells why; the measurement goes on
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
    endRecording();
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
    m_openedFile.clear();
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
    if (m_recorder.isRecording())
        m_recorder.setHeader(csvHeader(QDateTime::currentDateTime(), m_sensor.GetSerialNumber(),
                                       m_sensor.GetFirmware()));
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
                            m_openedFile.isEmpty() ? m_sensor.GetParams() : m_openedParams);
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
    // An opened file's values span the ranges they were measured with.
    m_scaleView.apply(m_openedFile.isEmpty() ? m_sensor.GetParams() : m_openedParams);
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
    const qint64 recordedMs =
        qint64(double(m_recorder.recordedSamples()) * 1000.0 / skarvel::SAMPLE_RATE);
    m_statusBar.showRecording(m_recorder.isRecording() ? QFileInfo(m_recorder.fileName()).fileName()
                                                       : QString(),
                              recordedMs);
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
    // An opened file keeps its date, so that saving it again gives the same file.
    csv.writeHeader(csvHeader(m_openedFile.isEmpty() ? QDateTime::currentDateTime() : m_openedDate,
                              m_measurementSerial, m_measurementFirmware));

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
    const QPixmap picture = screenshotPicture();
    // Writing the name directly would leave an existing picture cut short when
    // the disk fills up: write aside and replace it only once every byte arrived.
    QSaveFile file(fileName);
    const bool saved =
        file.open(QIODevice::WriteOnly) && picture.save(&file, "JPG", 100) && file.commit();
    if (!saved)
        QMessageBox::critical(this, tr("Screenshot"), tr("Saving %1 failed.").arg(fileName));
}

// --- Spectrum ----------------------------------------------------------------

void MainWindow::setupSpectrumDock()
{
    m_actionSpectrum = new QAction(tr("Show/Hide Spectrum"), this);
    m_actionSpectrum->setObjectName(QStringLiteral("actionSpectrum"));
    m_actionSpectrum->setToolTip(tr("Show/Hide Spectrum of the Visible Window"));
    ui->menuView->addAction(m_actionSpectrum);
    ui->toolBar->addAction(m_actionSpectrum);

    // Hidden until asked for: the window starts as it always did, and a hidden
    // spectrum computes nothing.
    m_spectrumDock = new QDockWidget(tr("Spectrum (Visible Window)"), this);
    m_spectrumDock->setObjectName(QStringLiteral("dock_spectrum"));
    m_spectrumPanel =
        new SpectrumPanel(ui->widget_accel, ui->widget_gyro, skarvel::SAMPLE_RATE, m_spectrumDock);
    m_spectrumPanel->setObjectName(QStringLiteral("spectrumPanel"));
    m_spectrumDock->setWidget(m_spectrumPanel);
    // A tab beside the scaling dials: below them the spectra would get a sliver
    // of the column. While its tab is not in front the panel is hidden and idle.
    addDockWidget(Qt::RightDockWidgetArea, m_spectrumDock);
    tabifyDockWidget(ui->dock_scale, m_spectrumDock);
    m_spectrumDock->hide();
    updateSpectrumIcon();

    connect(m_actionSpectrum, &QAction::triggered, this, &MainWindow::onSpectrumTriggered);
    connect(m_spectrumDock, &QDockWidget::visibilityChanged, this, &MainWindow::updateSpectrumIcon);
    connect(m_spectrumPanel, &SpectrumPanel::saveRequested, this, &MainWindow::onSaveSpectrum);
}

void MainWindow::onSpectrumTriggered()
{
    toggleShown(m_spectrumDock);
    if (!m_spectrumDock->isHidden())
        m_spectrumDock->raise(); // the front tab where it shares its place
}

void MainWindow::updateSpectrumIcon()
{
    showToggleIcon(m_actionSpectrum, m_spectrumDock, "spectrum_on", "spectrum_off");
}

void MainWindow::onSaveSpectrum()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save spectrum"), QStringLiteral("skarvel_spectrum_%1.csv").arg(fileTimeStamp()),
        tr("CSV file (*.csv)"));
    if (fileName.isEmpty())
        return;
    if (!m_spectrumPanel->writeCsv(fileName))
        QMessageBox::critical(this, tr("Save"), tr("Saving %1 failed.").arg(fileName));
}

QPixmap MainWindow::screenshotPicture() const
{
    const QPixmap graphs = ui->centralwidget->grab();
    if (m_spectrumDock->isHidden() || !m_spectrumPanel->isVisible())
        return graphs;
    const QPixmap spectrum = m_spectrumPanel->grab();
    QPixmap picture(graphs.width() + spectrum.width(),
                    std::max(graphs.height(), spectrum.height()));
    picture.setDevicePixelRatio(graphs.devicePixelRatio());
    picture.fill(palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, graphs);
    painter.drawPixmap(QPointF(graphs.deviceIndependentSize().width(), 0), spectrum);
    return picture;
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_mainwindow.cpp"

// --- Recording and opened measurements --------------------------------------

CsvWriter::SHeader MainWindow::csvHeader(const QDateTime& date, const std::wstring& serial,
                                         uint16_t firmware) const
{
    CsvWriter::SHeader header;
    header.date = date;
    header.serialNumber = QString::fromStdWString(serial);
    header.firmware = firmware;
    header.settings = m_settingsView.settingsTexts();
    header.sampleRate = skarvel::SAMPLE_RATE;
    return header;
}

void MainWindow::onRecordTriggered(bool checked)
{
    if (!checked) {
        endRecording();
        updateMeasurementStatus();
        return;
    }
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Record measurement"), QStringLiteral("skarvel_%1.csv").arg(fileTimeStamp()),
        tr("CSV file (*.csv)"));
    if (fileName.isEmpty() || !startRecording(fileName))
        ui->actionRecord->setChecked(false);
}

bool MainWindow::startRecording(const QString& fileName)
{
    if (!m_sensor.IsConnected() || m_recorder.isRecording())
        return false;
    if (!m_recorder.start(fileName,
                          csvHeader(QDateTime::currentDateTime(), m_sensor.GetSerialNumber(),
                                    m_sensor.GetFirmware()))) {
        QMessageBox::critical(this, tr("Record"), m_recorder.errorString());
        return false;
    }
    ui->actionRecord->setChecked(true);
    updateMeasurementStatus();
    return true;
}

void MainWindow::recordSamples(const std::vector<float>& accel, const std::vector<float>& gyro)
{
    if (!m_recorder.isRecording())
        return;
    // The graphs have the batch already: its first frame's index gives the times.
    const quint64 frames = std::min(accel.size(), gyro.size()) / 3;
    m_recorder.appendFrames(accel, gyro, ui->widget_accel->totalSampleCount() - frames,
                            skarvel::SAMPLE_RATE);
}

void MainWindow::endRecording()
{
    if (!m_recorder.isRecording())
        return;
    const bool ok = m_recorder.stop();
    ui->actionRecord->setChecked(false);
    m_statusBar.showRecording(QString(), 0);
    if (!ok)
        QMessageBox::critical(this, tr("Record"), m_recorder.errorString());
}

void MainWindow::onOpenMeasurement()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open measurement"), QString(),
                                                          tr("CSV file (*.csv)"));
    if (!fileName.isEmpty())
        openMeasurement(fileName);
}

bool MainWindow::openMeasurement(const QString& fileName)
{
    if (m_measuring)
        return false;
    const auto failed = [&](const QString& reason) {
        QMessageBox::critical(this, tr("Open"), tr("Opening %1 failed:\n%2").arg(fileName, reason));
        return false;
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failed(file.errorString());

    // Everything is read and checked before anything of the window changes.
    CLiveGraph* accel = ui->widget_accel;
    CLiveGraph* gyro = ui->widget_gyro;
    CsvReader reader(&file, accel->maxSampleCount());
    constexpr int PROGRESS_STEPS = 1000;
    QProgressDialog progress(tr("Reading %1").arg(QFileInfo(fileName).fileName()), tr("Cancel"), 0,
                             PROGRESS_STEPS, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    const auto report = [&](qint64 done, qint64 total) {
        if (total > 0)
            progress.setValue(int(double(done) / double(total) * PROGRESS_STEPS));
        return !progress.wasCanceled();
    };
    if (!reader.scan(report))
        return reader.cancelled() ? false : failed(reader.errorString());

    const CsvWriter::SHeader& header = reader.header();
    SSkarvelParams params = m_sensor.GetParams();
    int unknown = -1;
    if (!m_settingsView.paramsFromTexts(header.settings, params, unknown)) {
        const QList<QPair<QString, QString>> expected = m_settingsView.settingsTexts();
        const QString reason =
            unknown < header.settings.size() &&
                    header.settings.at(unknown).first == expected.value(unknown).first
                ? tr("\"%1\" is not a choice of %2")
                      .arg(header.settings.at(unknown).second, header.settings.at(unknown).first)
                : tr("expected the setting \"%1\"").arg(expected.value(unknown).first);
        return failed(tr("Line %1: %2").arg(reader.settingsLine() + unknown).arg(reason));
    }
    if (reader.sampleCount() > reader.loadedCount()) {
        progress.hide();
        OpenRangeDialog dialog(reader.sampleCount(), accel->maxSampleCount(), skarvel::SAMPLE_RATE,
                               this);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const quint64 start = dialog.startSample();
        if (start != 0 && !reader.load(start, report))
            return reader.cancelled() ? false : failed(reader.errorString());
    }
    progress.close();

    // The file's measurement replaces the stored one, as a Start would.
    clearMeasurement();
    accel->clearFrom(reader.firstSampleIndex() + reader.loadedStart());
    gyro->clearFrom(reader.firstSampleIndex() + reader.loadedStart());
    accel->appendSamples(reader.accelFrames());
    gyro->appendSamples(reader.gyroFrames());
    m_openedFile = fileName;
    m_openedDate = header.date;
    m_openedParams = params;
    m_measurementSerial = header.serialNumber.toStdWString();
    m_measurementFirmware = header.firmware;
    m_measureDurationMs = qint64(double(reader.loadedCount()) * 1000.0 / skarvel::SAMPLE_RATE);

    // The statistics' raw words follow from the values and the file's ranges.
    std::array<int, 6> latestRaw{};
    if (reader.loadedCount() > 0) {
        const std::size_t last = 3 * (reader.loadedCount() - 1);
        const double sensitivities[2] = {skarvel::accelSensitivity(params.accelRange),
                                         skarvel::gyroSensitivity(params.gyroRange)};
        for (std::size_t axis = 0; axis < 6; ++axis) {
            const float value =
                axis < 3 ? reader.accelFrames()[last + axis] : reader.gyroFrames()[last + axis - 3];
            latestRaw[axis] = int(std::lround(double(value) * 1000.0 / sensitivities[axis / 3])) +
                              skarvel::AXIS_ZERO;
        }
    }
    m_session.restoreStatistics(reader.loadedCount(), latestRaw);

    // The inputs show the file's settings; a connected sensor takes them, so
    // that what is shown is what the next measurement uses.
    m_settingsView.show(params);
    if (m_sensor.IsConnected() && !m_sensor.SetParams(params))
        statusBar()->showMessage(tr("Setting sensor parameters failed: %1")
                                     .arg(QString::fromStdString(m_sensor.GetLastError())),
                                 5000);
    if (m_sensor.IsConnected()) {
        m_session.setRanges(m_sensor.GetParams());
        showDeviceParams();
        if (m_recorder.isRecording()) // armed for the next start
            m_recorder.setHeader(csvHeader(QDateTime::currentDateTime(), m_sensor.GetSerialNumber(),
                                           m_sensor.GetFirmware()));
    } else {
        m_settingsView.updateLowLatencyEnabled(false);
        updateYScales();
    }
    updateTimeScroll(true);
    updateStatistics();
    updateUiState();
    return true;
}

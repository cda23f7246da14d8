// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "devicedialog.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableWidgetItem>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

// The sensor's output rate; the graphs and the Single Shot window use it.
constexpr double SAMPLE_RATE = 833.0;
constexpr int UPDATE_INTERVAL_MS = 50;
// Idle time above this means the sensor has gone silent (20 empty ticks).
constexpr int LOST_CONNECTION_IDLE_MS = 999;
// Samples dropped after every start and parameter change, while the sensor settles.
constexpr quint64 SETTLING_SAMPLES = 100;
// Statistics and status are refreshed when more ticks with data than this have passed.
constexpr int REFRESH_AFTER_TICKS = 3;
// Turns a decoded axis count back into the report's unsigned 16-bit value.
constexpr int RAW_OFFSET = 32767;
// 300 s of history at the sample rate.
constexpr quint64 HISTORY_SAMPLES = 249900;

const QColor STATUS_COLOR_ACTIVE = MaterialColor::Green.darker(120);
const QColor STATUS_COLOR_INACTIVE = QColor(0x60, 0x7D, 0x8B);

const QChar PLUS_MINUS(0x00B1);

struct SFilterEntry
{
    const char* text; // Latin-1, shown untranslated (also written into CSV files)
    uint8_t value;
};

struct SRangeEntry
{
    uint8_t code;
    double fullScale; // g or dps
};

constexpr SRangeEntry ACCEL_RANGES[] = {{0, 2.0}, {2, 4.0}, {3, 8.0}, {1, 16.0}};
constexpr SRangeEntry GYRO_RANGES[] = {
    {1, 125.0}, {0, 245.0}, {2, 500.0}, {4, 1000.0}, {6, 2000.0}};

constexpr SFilterEntry ACCEL_FILTERS[] = {
    {"LP1 only", 0x00}, {"LP1 + LP2", 0x80}, {"LP1 + HP", 0xC0}};
constexpr SFilterEntry ACCEL_CUTOFFS_LP1[] = {{"208.25 Hz", 0x20}, {"416.5 Hz", 0x00}};
constexpr SFilterEntry ACCEL_CUTOFFS_LP2[] = {
    {"2.08 Hz", 0x03}, {"8.33 Hz", 0x01}, {"16.66 Hz", 0x00}, {"92.56 Hz", 0x02}};
constexpr SFilterEntry ACCEL_CUTOFFS_HP[] = {
    {"2.08 Hz", 0x03}, {"8.33 Hz", 0x01}, {"92.56 Hz", 0x02}, {"208.25 Hz", 0x00}};
constexpr SFilterEntry GYRO_HIGH_PASSES[] = {
    {"Off", 0x00}, {"16 mHz", 0x80}, {"65 mHz", 0x81}, {"260 mHz", 0x82}, {"1.04 Hz", 0x83}};

constexpr int Y_SCALE_FACTORS[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};

constexpr uint8_t FILTER_MODE_LP2 = 0x80;
constexpr uint8_t FILTER_MODE_HP = 0xC0;

template <std::size_t N> void addFilterEntries(QComboBox* combo, const SFilterEntry (&entries)[N])
{
    for (const SFilterEntry& entry : entries)
        combo->addItem(QString::fromLatin1(entry.text), int(entry.value));
}

template <std::size_t N> double fullScaleOf(const SRangeEntry (&table)[N], uint8_t code)
{
    for (const SRangeEntry& entry : table) {
        if (entry.code == code)
            return entry.fullScale;
    }
    return 0.0;
}

uint8_t lowByte(const QVariant& data)
{
    return static_cast<uint8_t>(data.toInt() & 0xFF);
}

QString statusStateText(const QString& text, const QColor& color)
{
    return QStringLiteral("<span style=\"color:%1; font-weight:bold\">%2</span>")
        .arg(color.name(), text);
}

void setPeakCell(QTableWidgetItem* item, double value, int decimals, double fullScale)
{
    item->setText(QString::number(value, 'f', decimals));
    if (std::fabs(value) >= fullScale * 0.99)
        item->setForeground(QBrush(Qt::red));
    else
        item->setData(Qt::ForegroundRole, QVariant());
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
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    return layout;
}

} // namespace

// --- Frame -----------------------------------------------------------------

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Skarvel Monitor"));
    setupStatusBar();

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

    ui->widget_accel->setSampleRate(SAMPLE_RATE);
    ui->widget_gyro->setSampleRate(SAMPLE_RATE);

    setupStatisticsTable();
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

    m_updateTimer.setInterval(UPDATE_INTERVAL_MS);

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
    connect(ui->dial_acc_y, &QDial::valueChanged, this, &MainWindow::updateYScales);
    connect(ui->dial_gyro_y, &QDial::valueChanged, this, &MainWindow::updateYScales);
    connect(ui->dial_acc_move_y, &QDial::valueChanged, this, &MainWindow::updateYScales);
    connect(ui->dial_gyro_move_y, &QDial::valueChanged, this, &MainWindow::updateYScales);
    connect(ui->cmb_display, &QComboBox::currentIndexChanged, this, &MainWindow::onModeChanged);
    connect(ui->cmb_dataview, &QComboBox::currentIndexChanged, this, &MainWindow::updateStatistics);
    connect(ui->spin_time, &QSpinBox::valueChanged, this, &MainWindow::onTimeChanged);
    connect(ui->scroll_horz_graph, &QScrollBar::valueChanged, this, &MainWindow::onTimeScrolled);
    connect(ui->cmb_acc, &QComboBox::currentIndexChanged, this, &MainWindow::onSensorParamsChanged);
    connect(ui->cmb_gyro, &QComboBox::currentIndexChanged, this,
            &MainWindow::onSensorParamsChanged);
    connect(ui->cmb_acc_filter, &QComboBox::currentIndexChanged, this,
            &MainWindow::onAccelFilterChanged);
    connect(ui->cmb_acc_cutoff, &QComboBox::currentIndexChanged, this,
            &MainWindow::onSensorParamsChanged);
    connect(ui->chk_acc_low_latency, &QCheckBox::toggled, this, &MainWindow::onSensorParamsChanged);
    connect(ui->cmb_gyro_hp, &QComboBox::currentIndexChanged, this,
            &MainWindow::onSensorParamsChanged);
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
    updateLowLatencyEnabled();

    ui->actionConnect->setIcon(QIcon(connected
                                         ? QStringLiteral(":/icons/res/png/usb_green_32px.png")
                                         : QStringLiteral(":/icons/res/png/usb_grey_32px.png")));

    m_connectionLabel->setText(
        connected ? statusStateText(tr("Connected"), STATUS_COLOR_ACTIVE)
                  : statusStateText(tr("No device connected"), STATUS_COLOR_INACTIVE));
    m_deviceInfoWidget->setVisible(connected);
    if (connected) {
        m_serialLabel->setText(
            tr("SN %1").arg(QString::fromStdWString(m_sensor.GetSerialNumber())));
        m_firmwareLabel->setText(tr("FW %1").arg(uint(m_sensor.GetFirmware()), 4, 16, QChar('0')));
    }
}

void MainWindow::onSettingsTriggered()
{
    ui->dock_settings->setVisible(ui->dock_settings->isHidden());
}

void MainWindow::onScaleTriggered()
{
    ui->dock_scale->setVisible(ui->dock_scale->isHidden());
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
    ui->actionSettings->setIcon(
        QIcon(ui->dock_settings->isHidden()
                  ? QStringLiteral(":/icons/res/png/settings_off_32px.png")
                  : QStringLiteral(":/icons/res/png/settings-filled_32px.png")));
}

void MainWindow::updateStatisticsIcon()
{
    ui->actionTableShow->setIcon(
        QIcon(ui->dock_statistics->isHidden()
                  ? QStringLiteral(":/icons/res/png/view-timeline_32px.png")
                  : QStringLiteral(":/icons/res/png/view-timeline-filled_32px.png")));
}

void MainWindow::updateScaleIcon()
{
    ui->actionScale->setIcon(QIcon(
        ui->dock_scale->isHidden() ? QStringLiteral(":/icons/res/png/pageview_32px.png")
                                   : QStringLiteral(":/icons/res/png/pageview-filled_32px.png")));
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
    m_idleMs = 0;
    m_measurementSerial = m_sensor.GetSerialNumber();
    m_measurementFirmware = m_sensor.GetFirmware();
    discardBufferedSamples();

    // Runs on the read thread: nothing but the append under the pending mutex.
    const bool ok = m_sensor.StartSensorThread([this](const SSkarvelSample& sample) {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pendingSamples.push_back(sample);
    });
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
    const quint64 taken = appendPendingSamples();
    if (taken == 0) {
        m_idleMs += UPDATE_INTERVAL_MS;
        if (m_idleMs > LOST_CONNECTION_IDLE_MS)
            handleConnectionLost();
        return;
    }
    m_idleMs = 0;
    updateSingleShot();
    if (++m_refreshTicks > REFRESH_AFTER_TICKS) {
        m_refreshTicks = 0;
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
    std::vector<SSkarvelSample> batch;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        batch.swap(m_pendingSamples);
    }

    const quint64 taken = batch.size();
    const quint64 skip = std::min(taken, m_discardCount);
    m_discardCount -= skip;
    quint64 count = taken - skip;
    if (isSingleShot())
        count = std::min(count, singleShotRemaining());

    std::vector<float> accel;
    std::vector<float> gyro;
    accel.reserve(3 * count);
    gyro.reserve(3 * count);
    const auto first = batch.cbegin() + std::ptrdiff_t(skip);
    const auto last = first + std::ptrdiff_t(count);
    for (auto it = first; it != last; ++it) {
        accel.push_back(float(m_sensor.ToG(it->accelX)));
        accel.push_back(float(m_sensor.ToG(it->accelY)));
        accel.push_back(float(m_sensor.ToG(it->accelZ)));
        gyro.push_back(float(m_sensor.ToDps(it->gyroX)));
        gyro.push_back(float(m_sensor.ToDps(it->gyroY)));
        gyro.push_back(float(m_sensor.ToDps(it->gyroZ)));
    }

    if (count > 0) {
        ui->widget_accel->appendSamples(accel);
        ui->widget_gyro->appendSamples(gyro);
        m_samplesSinceReset += count;
        const SSkarvelSample& newest = *(last - 1);
        m_latestRaw = {newest.accelX + RAW_OFFSET, newest.accelY + RAW_OFFSET,
                       newest.accelZ + RAW_OFFSET, newest.gyroX + RAW_OFFSET,
                       newest.gyroY + RAW_OFFSET,  newest.gyroZ + RAW_OFFSET};
    }
    return taken;
}

void MainWindow::discardBufferedSamples()
{
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pendingSamples.clear();
    }
    m_discardCount = SETTLING_SAMPLES;
}

void MainWindow::clearMeasurement()
{
    ui->widget_accel->clear();
    ui->widget_gyro->clear();
    m_samplesSinceReset = 0;
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
    return quint64(ui->spin_time->value() * SAMPLE_RATE);
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

    ui->dial_acc_y->setRange(1, 10);
    ui->dial_gyro_y->setRange(1, 10);
    for (QDial* dial : {ui->dial_acc_move_y, ui->dial_gyro_move_y}) {
        dial->setRange(-100, 100);
        dial->setSingleStep(1);
        dial->setPageStep(10);
        dial->setValue(0);
    }

    for (const SRangeEntry& range : ACCEL_RANGES)
        ui->cmb_acc->addItem(
            PLUS_MINUS + tr("%1 g").arg(range.fullScale, 0, 'g', QLocale::FloatingPointShortest),
            int(range.code));
    for (const SRangeEntry& range : GYRO_RANGES)
        ui->cmb_gyro->addItem(
            PLUS_MINUS + tr("%1 dps").arg(range.fullScale, 0, 'g', QLocale::FloatingPointShortest),
            int(range.code));

    addFilterEntries(ui->cmb_acc_filter, ACCEL_FILTERS);
    addFilterEntries(ui->cmb_gyro_hp, GYRO_HIGH_PASSES);

    ui->spin_time->setRange(1, 300);
    ui->spin_time->setSuffix(tr(" s"));
    ui->spin_time->setValue(5);
}

void MainWindow::fillAccelCutoff(int mode)
{
    const QSignalBlocker blocker(ui->cmb_acc_cutoff);
    ui->cmb_acc_cutoff->clear();
    if (mode == FILTER_MODE_LP2)
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_LP2);
    else if (mode == FILTER_MODE_HP)
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_HP);
    else
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_LP1);
    ui->cmb_acc_cutoff->setCurrentIndex(0);
}

int MainWindow::accelFilterFromInputs() const
{
    const int mode = ui->cmb_acc_filter->currentData().toInt();
    const int cutoff = ui->cmb_acc_cutoff->currentData().toInt();
    int result = mode | cutoff;
    // The same bit means the LP1 bandwidth in the other modes; the cutoff carries it there.
    if ((mode & 0xFF) == FILTER_MODE_LP2 && ui->chk_acc_low_latency->isChecked())
        result |= 0x20;
    return result;
}

void MainWindow::updateLowLatencyEnabled()
{
    ui->chk_acc_low_latency->setEnabled(
        lowByte(ui->cmb_acc_filter->currentData()) == FILTER_MODE_LP2 && m_sensor.IsConnected());
}

void MainWindow::onAccelFilterChanged()
{
    fillAccelCutoff(ui->cmb_acc_filter->currentData().toInt());
    // One user change, one command: the cutoff follows silently.
    const QSignalBlocker blocker(ui->cmb_acc_cutoff);
    ui->cmb_acc_cutoff->setCurrentIndex(ui->cmb_acc_cutoff->findData(0));
    onSensorParamsChanged();
}

void MainWindow::onSensorParamsChanged()
{
    if (!m_sensor.IsConnected())
        return;
    SSkarvelParams params = m_sensor.GetParams();
    params.accelRange = lowByte(ui->cmb_acc->currentData());
    params.accelFilter = static_cast<uint8_t>(accelFilterFromInputs() & 0xFF);
    params.gyroRange = lowByte(ui->cmb_gyro->currentData());
    params.gyroHighPass = lowByte(ui->cmb_gyro_hp->currentData());

    // What has arrived was measured with the old ranges; convert it with them.
    appendPendingSamples();
    if (!m_sensor.SetParams(params)) {
        statusBar()->showMessage(tr("Setting sensor parameters failed: %1")
                                     .arg(QString::fromStdString(m_sensor.GetLastError())),
                                 5000);
    }
    discardBufferedSamples();
    showDeviceParams();
}

void MainWindow::showDeviceParams()
{
    const SSkarvelParams params = m_sensor.GetParams();
    const QSignalBlocker blockAcc(ui->cmb_acc);
    const QSignalBlocker blockGyro(ui->cmb_gyro);
    const QSignalBlocker blockFilter(ui->cmb_acc_filter);
    const QSignalBlocker blockCutoff(ui->cmb_acc_cutoff);
    const QSignalBlocker blockLowLatency(ui->chk_acc_low_latency);
    const QSignalBlocker blockHighPass(ui->cmb_gyro_hp);

    ui->cmb_acc->setCurrentIndex(ui->cmb_acc->findData(int(params.accelRange)));
    ui->cmb_gyro->setCurrentIndex(ui->cmb_gyro->findData(int(params.gyroRange)));
    ui->cmb_gyro_hp->setCurrentIndex(ui->cmb_gyro_hp->findData(int(params.gyroHighPass)));

    const int mode = (params.accelFilter & 0x40) ? FILTER_MODE_HP : (params.accelFilter & 0x80);
    ui->cmb_acc_filter->setCurrentIndex(ui->cmb_acc_filter->findData(mode));
    fillAccelCutoff(mode);
    const int cutoff = mode != 0 ? (params.accelFilter & 0x03) : (params.accelFilter & 0x20);
    ui->cmb_acc_cutoff->setCurrentIndex(ui->cmb_acc_cutoff->findData(cutoff));
    ui->chk_acc_low_latency->setChecked(mode == FILTER_MODE_LP2 && (params.accelFilter & 0x20));
    updateLowLatencyEnabled();
    updateYScales();
}

// --- Statistics ------------------------------------------------------------

void MainWindow::setupStatisticsTable()
{
    QTableWidget* table = ui->tw_statistics;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString unit = row < 3 ? tr("[g]") : tr("[dps]");
        const QTableWidgetItem* header = table->verticalHeaderItem(row);
        const QString name = header ? header->text() : QString();
        table->setItem(row, 0, new QTableWidgetItem(name + QLatin1Char(' ') + unit));
        for (int column = 1; column < table->columnCount(); ++column) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, item);
        }
    }
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFixedHeight(table->horizontalHeader()->sizeHint().height() +
                          table->rowCount() * table->verticalHeader()->defaultSectionSize() +
                          2 * table->frameWidth());
}

void MainWindow::updateStatistics()
{
    if (ui->dock_statistics->isHidden())
        return;

    const CLiveGraph* accel = ui->widget_accel;
    const quint64 stored = accel->storedSampleCount();
    const quint64 sinceReset = std::min(m_samplesSinceReset, stored);
    quint64 begin = stored - sinceReset;
    quint64 end = stored;
    if (ui->cmb_dataview->currentIndex() == 1) {
        begin = std::max(begin, accel->visibleBegin());
        end = accel->visibleEnd();
    }
    begin = std::min(begin, end);
    const quint64 count = end - begin;

    const SSkarvelParams params = m_sensor.GetParams();
    const double accelFullScale = fullScaleOf(ACCEL_RANGES, params.accelRange);
    const double gyroFullScale = fullScaleOf(GYRO_RANGES, params.gyroRange);

    QTableWidget* table = ui->tw_statistics;
    for (int row = 0; row < table->rowCount(); ++row) {
        const bool isAccel = row < 3;
        const CLiveGraph* graph = isAccel ? ui->widget_accel : ui->widget_gyro;
        const int series = isAccel ? row : row - 3;
        const int decimals = isAccel ? 4 : 2;
        const double fullScale = isAccel ? accelFullScale : gyroFullScale;

        if (stored == 0) {
            for (int column = 1; column <= 6; ++column)
                table->item(row, column)->setText(QString());
            continue;
        }
        table->item(row, 1)->setText(QString::number(m_latestRaw[std::size_t(row)]));
        table->item(row, 2)->setText(
            QString::number(double(graph->storedSample(series, stored - 1)), 'f', decimals));
        if (count == 0) {
            for (int column = 3; column <= 6; ++column)
                table->item(row, column)->setText(QString());
            continue;
        }
        double minimum = double(graph->storedSample(series, begin));
        double maximum = minimum;
        double sum = 0.0;
        for (quint64 i = begin; i < end; ++i) {
            const double value = double(graph->storedSample(series, i));
            minimum = std::min(minimum, value);
            maximum = std::max(maximum, value);
            sum += value;
        }
        setPeakCell(table->item(row, 3), minimum, decimals, fullScale);
        setPeakCell(table->item(row, 4), maximum, decimals, fullScale);
        table->item(row, 5)->setText(QString::number(maximum - minimum, 'f', decimals));
        table->item(row, 6)->setText(QString::number(sum / double(count), 'f', decimals));
    }
}

void MainWindow::onTableShowTriggered()
{
    ui->dock_statistics->setVisible(ui->dock_statistics->isHidden());
    updateStatistics();
}

void MainWindow::onResetStatistics()
{
    m_samplesSinceReset = 0;
    updateStatistics();
}

// --- Y scaling and time navigation -----------------------------------------

void MainWindow::updateYScales()
{
    const SSkarvelParams params = m_sensor.GetParams();
    const auto apply = [](CLiveGraph* graph, const QDial* zoom, const QDial* shift,
                          QLabel* zoomLabel, QLabel* shiftLabel, const QString& unitText,
                          double fullScale) {
        const int factorIndex =
            std::clamp(zoom->value() - 1, 0, int(std::size(Y_SCALE_FACTORS)) - 1);
        const double half = fullScale / Y_SCALE_FACTORS[factorIndex];
        const double offset = shift->value() * fullScale / 100.0;
        graph->setYRange(offset - half, offset + half);
        zoomLabel->setText(PLUS_MINUS + unitText.arg(half));
        shiftLabel->setText(unitText.arg(offset));
    };
    apply(ui->widget_accel, ui->dial_acc_y, ui->dial_acc_move_y, ui->lb_acc_y, ui->lb_acc_move_y,
          tr("%1 g"), fullScaleOf(ACCEL_RANGES, params.accelRange));
    apply(ui->widget_gyro, ui->dial_gyro_y, ui->dial_gyro_move_y, ui->lb_gyro_y, ui->lb_gyro_move_y,
          tr("%1 dps"), fullScaleOf(GYRO_RANGES, params.gyroRange));
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
    ui->widget_accel->setVisible(ui->widget_accel->isHidden());
    updateGraphIcons();
}

void MainWindow::onShowGyroTriggered()
{
    ui->widget_gyro->setVisible(ui->widget_gyro->isHidden());
    updateGraphIcons();
}

void MainWindow::updateGraphIcons()
{
    ui->actionShowAcc->setIcon(QIcon(ui->widget_accel->isHidden()
                                         ? QStringLiteral(":/icons/res/png/acc_off_32px.png")
                                         : QStringLiteral(":/icons/res/png/acc_on_32px.png")));
    ui->actionShowGyro->setIcon(QIcon(ui->widget_gyro->isHidden()
                                          ? QStringLiteral(":/icons/res/png/gyro_off_32px.png")
                                          : QStringLiteral(":/icons/res/png/gyro_on_32px.png")));
}

// --- Status bar --------------------------------------------------------------

void MainWindow::setupStatusBar()
{
    auto* connection = new QWidget(this);
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
    statusBar()->addWidget(connection);

    m_measurementWidget = new QWidget(this);
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
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    m_measureStateLabel->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(tr("Measuring")));
    const QFontMetrics metrics(font());
    m_measureTimeLabel->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("00:00:00")));
    m_sampleCountLabel->setMinimumWidth(metrics.horizontalAdvance(
        tr("%1 / %2 samples").arg(QStringLiteral("000.000"), QStringLiteral("000.000"))));

    measurementLayout->addWidget(m_measureStateLabel);
    measurementLayout->addWidget(newSeparator(m_measurementWidget));
    measurementLayout->addWidget(m_measureTimeLabel);
    measurementLayout->addWidget(newSeparator(m_measurementWidget));
    measurementLayout->addWidget(m_sampleCountLabel);

    statusBar()->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    statusBar()->addPermanentWidget(m_measurementWidget);
}

void MainWindow::updateMeasurementStatus()
{
    const quint64 stored = ui->widget_accel->storedSampleCount();
    const bool shown = stored > 0 || m_measuring;
    m_measurementWidget->setVisible(shown);
    if (!shown)
        return;

    m_measureStateLabel->setText(m_measuring
                                     ? statusStateText(tr("Measuring"), STATUS_COLOR_ACTIVE)
                                     : statusStateText(tr("Stopped"), STATUS_COLOR_INACTIVE));

    m_measureTimeLabel->setText(
        durationText(m_measuring ? m_measureClock.elapsed() : m_measureDurationMs));

    const quint64 capacity = isSingleShot() ? windowSampleCount() : HISTORY_SAMPLES;
    const QLocale locale;
    m_sampleCountLabel->setText(
        tr("%1 / %2 samples").arg(locale.toString(stored), locale.toString(capacity)));
}

QString MainWindow::durationText(qint64 ms)
{
    const QChar zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(ms / 3600000, 2, 10, zero)
        .arg((ms / 60000) % 60, 2, 10, zero)
        .arg((ms / 1000) % 60, 2, 10, zero);
}

// --- CSV and screenshot export ---------------------------------------------

namespace {

const QString CSV_SEPARATOR = QStringLiteral(";");

// Fixed notation, decimal comma, no group separators: what spreadsheets set to
// a decimal-comma locale read as numbers.
QString csvNumber(double value, int decimals)
{
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

// A text field that holds the separator, a quote or a line break is quoted
// (inner quotes doubled), so that it stays one field; all others go as they are.
QString csvText(const QString& text)
{
    const bool plain = !text.contains(CSV_SEPARATOR) && !text.contains(QLatin1Char('"')) &&
                       !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
    if (plain)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void writeCsvLine(QTextStream& out, std::initializer_list<QString> fields)
{
    bool first = true;
    for (const QString& field : fields) {
        if (!first)
            out << CSV_SEPARATOR;
        out << csvText(field);
        first = false;
    }
    out << '\n';
}

constexpr int CSV_MAX_DECIMALS = 9;
constexpr double CSV_SCALES[CSV_MAX_DECIMALS + 1] = {1e0, 1e1, 1e2, 1e3, 1e4,
                                                     1e5, 1e6, 1e7, 1e8, 1e9};
constexpr uint64_t CSV_INT_SCALES[CSV_MAX_DECIMALS + 1] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
// Longest text putCsvNumber writes for a finite double (sign, 309 digits, comma, decimals).
constexpr int CSV_NUMBER_MAX_CHARS = 1 + 309 + 1 + CSV_MAX_DECIMALS;

// Writes the same characters as csvNumber(value, decimals) at `out` and returns
// the end; 1 <= decimals <= CSV_MAX_DECIMALS. A data line has seven numbers and
// a full history a quarter of a million lines, so this avoids a QString per field.
// The result is the exact binary value rounded half away from zero, with the sign
// of any negative value but not of a negative zero, as QString::number has it.
char* putCsvNumber(char* out, double value, int decimals)
{
    const double scale = CSV_SCALES[decimals];
    const double scaled = value * scale;
    constexpr double EXACT_INTEGER_LIMIT = 4503599627370496.0; // 2^52
    if (!(std::fabs(scaled) < EXACT_INTEGER_LIMIT)) {          // also NaN and infinity
        const QByteArray text = csvNumber(value, decimals).toLatin1();
        std::memcpy(out, text.constData(), std::size_t(text.size()));
        return out + text.size();
    }
    // scaled is value * scale rounded; the residual tells which side of a
    // half-way point the exact product lies when the rounding landed on one.
    const double residual = std::fma(value, scale, -scaled);
    double rounded = std::round(scaled);
    if (std::fabs(scaled - std::trunc(scaled)) == 0.5 && residual != 0.0 &&
        (residual < 0.0) != (scaled < 0.0))
        rounded = std::trunc(scaled);

    if (value < 0.0)
        *out++ = '-';
    const auto magnitude = static_cast<uint64_t>(std::fabs(rounded));
    uint64_t integer = magnitude / CSV_INT_SCALES[decimals];
    uint64_t fraction = magnitude % CSV_INT_SCALES[decimals];
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + integer % 10);
        integer /= 10;
    } while (integer != 0);
    while (count > 0)
        *out++ = digits[--count];
    *out++ = ',';
    for (int i = decimals - 1; i >= 0; --i) {
        out[i] = char('0' + fraction % 10);
        fraction /= 10;
    }
    return out + decimals;
}

QString fileTimeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

} // namespace

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
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    out.setGenerateByteOrderMark(true);

    writeCsvLine(out, {QStringLiteral("Skarvel Monitor"), QStringLiteral(SKARVEL_VERSION)});
    writeCsvLine(out, {tr("Date"), QDateTime::currentDateTime().toString(
                                       QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    writeCsvLine(out, {tr("Device SN"), QString::fromStdWString(m_measurementSerial)});
    writeCsvLine(out, {tr("Firmware"), QStringLiteral("%1").arg(uint(m_measurementFirmware), 4, 16,
                                                                QLatin1Char('0'))});
    out << '\n';
    out << "[Settings]\n";
    writeCsvLine(out, {tr("Acceleration range"), ui->cmb_acc->currentText()});
    writeCsvLine(out, {tr("Gyro range"), ui->cmb_gyro->currentText()});
    writeCsvLine(out, {tr("Accel filter"), ui->cmb_acc_filter->currentText()});
    writeCsvLine(out, {tr("Accel cutoff"), ui->cmb_acc_cutoff->currentText()});
    writeCsvLine(out, {tr("Accel low latency"),
                       ui->chk_acc_low_latency->isChecked() ? tr("Yes") : tr("No")});
    writeCsvLine(out, {tr("Gyro high pass"), ui->cmb_gyro_hp->currentText()});
    writeCsvLine(out, {tr("Sample rate [Hz]"), csvNumber(SAMPLE_RATE, 0)});
    out << '\n';
    out << "[Data]\n";
    writeCsvLine(out, {tr("Time [s]"), tr("X [g]"), tr("Y [g]"), tr("Z [g]"), tr("rX [dps]"),
                       tr("rY [dps]"), tr("rZ [dps]")});

    // Data lines are assembled as Latin-1 in one buffer and handed to the stream in chunks.
    const CLiveGraph* accel = ui->widget_accel;
    const CLiveGraph* gyro = ui->widget_gyro;
    const quint64 rows = std::min(accel->storedSampleCount(), gyro->storedSampleCount());
    const char separator = CSV_SEPARATOR.at(0).toLatin1();
    constexpr std::size_t CHUNK_CHARS = 64 * 1024;
    constexpr std::size_t LINE_MAX_CHARS = 7 * (CSV_NUMBER_MAX_CHARS + 1);
    std::vector<char> buffer(CHUNK_CHARS + LINE_MAX_CHARS);
    char* const begin = buffer.data();
    char* p = begin;
    for (quint64 i = 0; i < rows; ++i) {
        p = putCsvNumber(p, accel->storedSampleTime(i), 4);
        for (int series = 0; series < 3; ++series) {
            *p++ = separator;
            p = putCsvNumber(p, double(accel->storedSample(series, i)), 5);
        }
        for (int series = 0; series < 3; ++series) {
            *p++ = separator;
            p = putCsvNumber(p, double(gyro->storedSample(series, i)), 3);
        }
        *p++ = '\n';
        if (std::size_t(p - begin) >= CHUNK_CHARS) {
            out << QLatin1String(begin, p - begin);
            p = begin;
        }
    }
    out << QLatin1String(begin, p - begin);

    out.flush();
    if (out.status() != QTextStream::Ok)
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

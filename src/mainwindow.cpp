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

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

const QColor STATUS_COLOR_ACTIVE = MaterialColor::Green.darker(120);
const QColor STATUS_COLOR_INACTIVE = QColor(0x60, 0x7D, 0x8B);

const QChar PLUS_MINUS(0x00B1);

struct SFilterEntry
{
    const char* text; // Latin-1, shown untranslated (also written into CSV files)
    uint8_t value;
};

using skarvel::ACCEL_FILTER_HP;
using skarvel::ACCEL_FILTER_LP1;
using skarvel::ACCEL_FILTER_LP2;

constexpr SFilterEntry ACCEL_FILTERS[] = {
    {"LP1 only", ACCEL_FILTER_LP1}, {"LP1 + LP2", ACCEL_FILTER_LP2}, {"LP1 + HP", ACCEL_FILTER_HP}};
// The cutoff codes are the filter byte's cutoff bits (LP1: the bandwidth bit).
constexpr SFilterEntry ACCEL_CUTOFFS_LP1[] = {{"208.25 Hz", skarvel::ACCEL_FILTER_LP1_NARROW},
                                              {"416.5 Hz", 0x00}};
constexpr SFilterEntry ACCEL_CUTOFFS_LP2[] = {
    {"2.08 Hz", 0x03}, {"8.33 Hz", 0x01}, {"16.66 Hz", 0x00}, {"92.56 Hz", 0x02}};
constexpr SFilterEntry ACCEL_CUTOFFS_HP[] = {
    {"2.08 Hz", 0x03}, {"8.33 Hz", 0x01}, {"92.56 Hz", 0x02}, {"208.25 Hz", 0x00}};
constexpr SFilterEntry GYRO_HIGH_PASSES[] = {{"Off", 0x00},
                                             {"16 mHz", skarvel::GYRO_HP_ON | 0x00},
                                             {"65 mHz", skarvel::GYRO_HP_ON | 0x01},
                                             {"260 mHz", skarvel::GYRO_HP_ON | 0x02},
                                             {"1.04 Hz", skarvel::GYRO_HP_ON | 0x03}};

constexpr int Y_SCALE_FACTORS[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};

template <std::size_t N> void addFilterEntries(QComboBox* combo, const SFilterEntry (&entries)[N])
{
    for (const SFilterEntry& entry : entries)
        combo->addItem(QString::fromLatin1(entry.text), int(entry.value));
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
    if (MeasurementSession::nearFullScale(value, fullScale))
        item->setForeground(QBrush(Qt::red));
    else
        item->setData(Qt::ForegroundRole, QVariant());
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

    ui->widget_accel->setSampleRate(skarvel::SAMPLE_RATE);
    ui->widget_gyro->setSampleRate(skarvel::SAMPLE_RATE);

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

    ui->dial_acc_y->setRange(1, 10);
    ui->dial_gyro_y->setRange(1, 10);
    for (QDial* dial : {ui->dial_acc_move_y, ui->dial_gyro_move_y}) {
        dial->setRange(-100, 100);
        dial->setSingleStep(1);
        dial->setPageStep(10);
        dial->setValue(0);
    }

    for (const skarvel::SRange& range : skarvel::ACCEL_RANGES)
        ui->cmb_acc->addItem(
            PLUS_MINUS + tr("%1 g").arg(range.fullScale, 0, 'g', QLocale::FloatingPointShortest),
            int(range.code));
    for (const skarvel::SRange& range : skarvel::GYRO_RANGES)
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
    if (mode == ACCEL_FILTER_LP2)
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_LP2);
    else if (mode == ACCEL_FILTER_HP)
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_HP);
    else
        addFilterEntries(ui->cmb_acc_cutoff, ACCEL_CUTOFFS_LP1);
    ui->cmb_acc_cutoff->setCurrentIndex(0);
}

int MainWindow::accelFilterFromInputs() const
{
    return skarvel::encodeAccelFilter({lowByte(ui->cmb_acc_filter->currentData()),
                                       lowByte(ui->cmb_acc_cutoff->currentData()),
                                       ui->chk_acc_low_latency->isChecked()});
}

void MainWindow::updateLowLatencyEnabled()
{
    ui->chk_acc_low_latency->setEnabled(
        lowByte(ui->cmb_acc_filter->currentData()) == ACCEL_FILTER_LP2 && m_sensor.IsConnected());
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
    m_session.setRanges(m_sensor.GetParams());
    m_session.discardBufferedSamples();
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

    const skarvel::SAccelFilter filter = skarvel::decodeAccelFilter(params.accelFilter);
    ui->cmb_acc_filter->setCurrentIndex(ui->cmb_acc_filter->findData(int(filter.mode)));
    fillAccelCutoff(filter.mode);
    ui->cmb_acc_cutoff->setCurrentIndex(ui->cmb_acc_cutoff->findData(int(filter.cutoff)));
    ui->chk_acc_low_latency->setChecked(filter.lowLatency);
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
    const MeasurementSession::SRange range = m_session.statisticsRange(
        stored, ui->cmb_dataview->currentIndex() == 1, accel->visibleBegin(), accel->visibleEnd());

    const SSkarvelParams params = m_sensor.GetParams();
    const double accelFullScale = skarvel::accelFullScale(params.accelRange);
    const double gyroFullScale = skarvel::gyroFullScale(params.gyroRange);

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
        table->item(row, 1)->setText(QString::number(m_session.latestRaw()[std::size_t(row)]));
        table->item(row, 2)->setText(
            QString::number(double(graph->storedSample(series, stored - 1)), 'f', decimals));
        if (range.begin == range.end) {
            for (int column = 3; column <= 6; ++column)
                table->item(row, column)->setText(QString());
            continue;
        }
        const MeasurementSession::SSeriesStatistics statistics =
            MeasurementSession::seriesStatistics(
                [graph, series](quint64 i) { return graph->storedSample(series, i); }, range);
        setPeakCell(table->item(row, 3), statistics.minimum, decimals, fullScale);
        setPeakCell(table->item(row, 4), statistics.maximum, decimals, fullScale);
        table->item(row, 5)->setText(
            QString::number(statistics.maximum - statistics.minimum, 'f', decimals));
        table->item(row, 6)->setText(QString::number(statistics.mean, 'f', decimals));
    }
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
          tr("%1 g"), skarvel::accelFullScale(params.accelRange));
    apply(ui->widget_gyro, ui->dial_gyro_y, ui->dial_gyro_move_y, ui->lb_gyro_y, ui->lb_gyro_move_y,
          tr("%1 dps"), skarvel::gyroFullScale(params.gyroRange));
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

    const quint64 capacity =
        isSingleShot() ? windowSampleCount() : ui->widget_accel->maxSampleCount();
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
    CsvWriter csv(&file);
    CsvWriter::SHeader header;
    header.date = QDateTime::currentDateTime();
    header.serialNumber = QString::fromStdWString(m_measurementSerial);
    header.firmware = m_measurementFirmware;
    header.settings = {
        {tr("Acceleration range"), ui->cmb_acc->currentText()},
        {tr("Gyro range"), ui->cmb_gyro->currentText()},
        {tr("Accel filter"), ui->cmb_acc_filter->currentText()},
        {tr("Accel cutoff"), ui->cmb_acc_cutoff->currentText()},
        {tr("Accel low latency"), ui->chk_acc_low_latency->isChecked() ? tr("Yes") : tr("No")},
        {tr("Gyro high pass"), ui->cmb_gyro_hp->currentText()}};
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

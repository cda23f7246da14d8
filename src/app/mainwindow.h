// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The main window: measurement control and the sample pipeline from the
// sensor's read thread into the two graphs, the sensor settings, statistics,
// Y scaling and time navigation, the status bar and the exports.
#pragma once

#include "cskarvel.h"
#include "dialogfolders.h"
#include "graphsview.h"
#include "measurecontroller.h"
#include "measurementfiles.h"
#include "measurementsession.h"
#include "scaleview.h"
#include "sensorsettingsview.h"
#include "spectrumdock.h"
#include "statisticsview.h"
#include "statusbarview.h"
#include "triggerdock.h"

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <string>

class QAction;
class QWidget;
class RecentFiles;
class Ui_MainWindow;

// The program's named colours (series colours and the status colours' base).
namespace MaterialColor {
inline const QColor Red{0xF4, 0x43, 0x36};
inline const QColor Green{0x4C, 0xAF, 0x50};
inline const QColor Blue{0x21, 0x96, 0xF3};
} // namespace MaterialColor

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // A measurement's duration as the status bar shows it: hh:mm:ss, hours unlimited.
    static QString durationText(qint64 ms);

    // Writes the stored measurement as a CSV file. False when the file could
    // not be written completely; an existing file of that name is then left as it was.
    bool writeCsv(const QString& fileName);
    // Shows a measurement file as a stopped measurement in place of the
    // stored one, asking which stretch to show when it is longer than the
    // history. Says what went wrong in a message; false when nothing changed.
    bool openMeasurement(const QString& fileName);
    // Records every sample stored from now on to the file (and its numbered
    // follow-ups) until the recording ends. Says what went wrong in a message.
    bool startRecording(const QString& fileName);

    // What the window remembers besides its widgets; the program's start-up
    // restores it and saves it at the end (SettingsStore).
    DialogFolders& dialogFolders() { return m_folders; }
    RecentFiles& recentFiles() { return *m_recent; }
    // The sensor the device dialog chooses first when it is listed.
    const QString& lastSerial() const { return m_lastSerial; }
    void setLastSerial(const QString& serial) { m_lastSerial = serial; }

private slots:
    void onConnect();
    void onDisconnect();
    void onStart();
    void onStop();
    void onSaveCsv();
    void onScreenshot();
    void onAbout();
    void onSettingsTriggered();
    void onShowAccTriggered();
    void onShowGyroTriggered();
    void onTableShowTriggered();
    void onScaleTriggered();
    void onResetStatistics();
    void onDockFloatingChanged(bool floating);
    void updateSettingsIcon();
    void updateStatisticsIcon();
    void updateScaleIcon();
    void updateYScales();
    void onTimeScrolled(int position);
    void onModeChanged(int index);
    void onTimeChanged(int seconds);
    void onAccelFilterChanged();
    void onSensorParamsChanged();
    void onUpdateTimer();
    void onRecordTriggered(bool checked);
    void onOpenMeasurement();
    void onSpectrumTriggered();
    void updateSpectrumIcon();
    void onSaveSpectrum();

private:
    // Frame
    void updateUiState();

    // Measurement flow
    quint64 appendPendingSamples();
    void stopMeasurement();
    void handleConnectionLost();
    void clearMeasurement();
    void updateSingleShot();
    void updateTimeInputEnabled();

    // Sensor settings
    void showDeviceParams();

    // Statistics
    void updateStatistics();

    // Y scaling and time navigation
    void updateTimeScroll(bool snapToDefault);
    void updateGraphIcons();

    // Status bar
    void updateMeasurementStatus();

    // Spectrum dock
    void setupSpectrumDock();

    // Trigger
    void setupTriggerDock();
    void updateTriggerStop();
    // Desktop conventions: recent files, dropped files, the title, shortcuts
    void setupDesktop();
    void updateWindowTitle();
    // Says so when measuring: a file is opened only while stopped.
    bool refuseWhileMeasuring();

    Ui_MainWindow* ui;
    // Before the sensor: the read thread's callback feeds the session, so the
    // session must outlive the thread.
    MeasurementSession m_session;
    CSkarvel m_sensor;
    bool m_measuring = false;
    std::wstring m_measurementSerial;
    uint16_t m_measurementFirmware = 0;
    QTimer m_updateTimer;
    // Parts of the form the window hands its display to.
    SensorSettingsView m_settingsView{ui};
    StatisticsView m_statisticsView{ui};
    ScaleView m_scaleView{ui};
    GraphsView m_graphs{ui};
    StatusBarView m_statusBar;
    QElapsedTimer m_measureClock;
    qint64 m_measureDurationMs = 0;
    MeasurementFiles m_files{this, ui, m_session, m_sensor, m_settingsView, m_statusBar};
    SpectrumDock m_spectrum;
    TriggerDock m_trigger;
    MeasureController m_measure;
    DialogFolders m_folders;
    RecentFiles* m_recent = nullptr; // owned by its menu
    QString m_lastSerial;
    QByteArray m_defaultLayout; // the docks as the window starts, for Reset Layout
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The main window's trigger: the "Trigger" dock with its settings, the
// trigger fed with every stored batch while a measurement runs, the captures
// shown in the graphs with their marker and saved as files, and "Waiting for
// trigger" in the status bar. While a capture is shown during a measurement
// the graphs hold it and take no live samples; the live samples' indices go
// on here, so that the recording's times and the next capture's stay those of
// the measurement. The window's Qt parent chain owns the widgets; the window
// wires the flow. GUI thread only.
#pragma once

#include "capturewriter.h"
#include "cskarvel.h"
#include "csvwriter.h"
#include "trigger.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMessageBox;
class QPushButton;
class QSpinBox;
class Ui_MainWindow;

class TriggerDock : public QObject
{
    Q_OBJECT

public:
    using HeaderSource = std::function<CsvWriter::SHeader()>;
    using ParamsSource = std::function<SSkarvelParams()>;

    // Creates the action, the dock (hidden) and the status label. `header`
    // gives a capture file's header, `params` the sensor's ranges.
    void setup(QMainWindow* window, Ui_MainWindow* ui, HeaderSource header, ParamsSource params);

    QAction* action() const { return m_action; }
    QDockWidget* dock() const { return m_dock; }
    bool isOn() const;

    // --- The measurement's flow, called by the window.
    void measurementStarted();
    void measurementStopped();
    // The stored samples were cleared (a start, an opened file, a mode change).
    void cleared();
    // The sensor's settings changed: a capture in progress is discarded.
    void sensorSettingsChanged();
    // While true the graphs take no live samples; passLive() counts them.
    bool holdsGraphs() const { return m_holding; }
    void passLive(quint64 frames) { m_liveTotal += frames; }
    // The absolute index the next live sample gets.
    quint64 liveTotal() const;
    // A stored batch, after the graphs and the recording had it.
    void samplesStored(const std::vector<float>& accel, const std::vector<float>& gyro);
    // Single: the capture is complete and the measurement is to stop.
    bool finished() const;

    // The [Trigger] section of the capture shown, empty when none is.
    QList<QPair<QString, QString>> shownSection() const;
    // An opened file's trigger, or none.
    void showOpened(const std::optional<Trigger::SMarker>& marker);

    // The trigger's settings from the dock's inputs, W from the time window.
    Trigger::SSettings settings() const;

signals:
    // A capture went into the graphs: the window refreshes what depends on them.
    void captureShown();

private:
    void buildDock(QMainWindow* window);
    void onSettingsChanged();
    void onSwitched(bool on);
    void onSourceChanged();
    void chooseFolder();
    void arm();
    void show(const Trigger::SCapture& capture);
    void setMarker(const Trigger::SMarker& marker);
    void clearMarker();
    void saveCapture(const Trigger::SCapture& capture);
    void reportFailure(const QString& text);
    void updateStatus();

    QMainWindow* m_window = nullptr;
    Ui_MainWindow* ui = nullptr;
    HeaderSource m_header;
    ParamsSource m_params;

    QAction* m_action = nullptr;
    QDockWidget* m_dock = nullptr;
    QCheckBox* m_on = nullptr;
    QComboBox* m_source = nullptr;
    QComboBox* m_slope = nullptr;
    QDoubleSpinBox* m_level = nullptr;
    QSpinBox* m_preTrigger = nullptr;
    QComboBox* m_mode = nullptr;
    QCheckBox* m_save = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_folderButton = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_readout = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QPointer<QMessageBox> m_failureBox;

    Trigger m_trigger;
    CaptureWriter m_writer;
    bool m_measuring = false;
    bool m_holding = false;
    quint64 m_liveTotal = 0;
    std::optional<Trigger::SMarker> m_shown;
};

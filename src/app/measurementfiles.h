// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The main window's measurement files: the stored measurement saved as CSV,
// the recording of every stored sample to files while the sensor is
// connected, and a saved measurement opened in place of the stored one. It
// asks and reports through the window's dialogs, owns the recorder and the
// opened file's identity, and leaves the window's refresh to the window.
// GUI thread only.
#pragma once

#include "cskarvel.h"
#include "csvrecorder.h"
#include "csvwriter.h"
#include "trigger.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class MeasurementSession;
class QPixmap;
class QMainWindow;
class SensorSettingsView;
class StatusBarView;
class Ui_MainWindow;

class MeasurementFiles
{
public:
    MeasurementFiles(QMainWindow* window, Ui_MainWindow* ui, MeasurementSession& session,
                     CSkarvel& sensor, SensorSettingsView& settingsView, StatusBarView& statusBar);

    // The header of a file of the stored measurement with the inputs' settings.
    CsvWriter::SHeader header(const QDateTime& date, const std::wstring& serial,
                              uint16_t firmware) const;
    // Writes the graphs' stored samples. False when the file could not be
    // written completely; an existing file of that name is then left as it was.
    bool writeCsv(const QString& fileName, const CsvWriter::SHeader& header) const;

    // Writes the picture as JPEG, aside first: false when any byte could not
    // be written, and an existing file of that name is then left as it was.
    static bool writeJpeg(const QString& fileName, const QPixmap& picture);
    // Starts recording to the file unless the sensor is not connected or a
    // recording runs. Says what went wrong in a message.
    bool startRecording(const QString& fileName);
    // Hands a stored batch to the recording, if one runs; `nextIndex` is the
    // absolute index of the sample after the batch.
    void recordSamples(const std::vector<float>& accel, const std::vector<float>& gyro,
                       quint64 nextIndex);
    // Says why when the recording failed.
    void endRecording();
    bool isRecording() const { return m_recorder.isRecording(); }
    bool recordingFailed() const { return m_recorder.hasFailed(); }
    // The recording from now on follows the sensor's current settings.
    void sensorSettingsChanged();
    // The recording's file and length in the status bar.
    void showRecordingStatus();

    // Reads the file and, once everything is read and checked, calls
    // `clearStored`, shows the file's samples in the graphs and statistics and
    // its settings in the inputs (and on a connected sensor). Says what went
    // wrong in a message; false when nothing changed.
    bool open(const QString& fileName, const std::function<void()>& clearStored);
    // Set while the stored samples are an opened file's.
    bool hasOpened() const { return !m_openedFile.isEmpty(); }
    void forgetOpened() { m_openedFile.clear(); }
    const QString& openedFileName() const { return m_openedFile; }
    const QDateTime& openedDate() const { return m_openedDate; }
    const SSkarvelParams& openedParams() const { return m_openedParams; }
    const std::wstring& openedSerial() const { return m_openedSerial; }
    uint16_t openedFirmware() const { return m_openedFirmware; }
    qint64 openedDurationMs() const { return m_openedDurationMs; }
    // The opened file's trigger, when it is a capture.
    const std::optional<Trigger::SMarker>& openedTrigger() const { return m_openedTrigger; }

private:
    QMainWindow* m_window;
    Ui_MainWindow* ui;
    MeasurementSession& m_session;
    CSkarvel& m_sensor;
    SensorSettingsView& m_settingsView;
    StatusBarView& m_statusBar;
    CsvRecorder m_recorder;
    QString m_openedFile;
    QDateTime m_openedDate;
    SSkarvelParams m_openedParams;
    std::wstring m_openedSerial;
    uint16_t m_openedFirmware = 0;
    qint64 m_openedDurationMs = 0;
    std::optional<Trigger::SMarker> m_openedTrigger;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The main window's status bar: the connection section (state, serial number,
// firmware) on the left, the measurement section (state, duration, stored
// samples) on the right. It creates the labels in the window's status bar,
// which owns them through Qt's parent chain. GUI thread only.
#pragma once

#include <QtGlobal>

#include <cstdint>

class QLabel;
class QMainWindow;
class QString;
class QWidget;

class StatusBarView
{
public:
    // Builds both sections into the window's status bar.
    void setup(QMainWindow* window);
    void showConnection(bool connected, const QString& serialNumber, uint16_t firmware);
    // After showConnection, for a measurement opened from a file: its sensor's
    // serial number and firmware, marked as the file's.
    void showOpenedFile(const QString& serialNumber, uint16_t firmware);
    // The recording's current file and length; hidden for an empty name.
    void showRecording(const QString& fileName, qint64 durationMs);
    // The measurement section is shown only while measuring or with samples stored.
    void showMeasurement(bool measuring, qint64 durationMs, quint64 stored, quint64 capacity);

    // hh:mm:ss, hours unlimited.
    static QString durationText(qint64 ms);

private:
    QLabel* m_connectionLabel = nullptr;
    QWidget* m_deviceInfoWidget = nullptr;
    QLabel* m_serialLabel = nullptr;
    QLabel* m_firmwareLabel = nullptr;
    QWidget* m_measurementWidget = nullptr;
    QLabel* m_measureStateLabel = nullptr;
    QLabel* m_measureTimeLabel = nullptr;
    QLabel* m_sampleCountLabel = nullptr;
    QWidget* m_recordingWidget = nullptr;
    QLabel* m_recordingLabel = nullptr;
};

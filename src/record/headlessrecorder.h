// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// One recording without a window: connects the sensor the options name, sets
// its parameters, and records what the measurement session stores, as the
// window's Record does, until the duration is reached, a stop signal
// arrives, the sensor goes silent for the window's second, or the file
// cannot be written. On a terminal it keeps a status line on stderr.
//
// Main thread only, apart from the sensor's read thread, which reaches the
// session's pending buffer and the report sequence only.
#pragma once

#include "cskarvel.h"
#include "csvrecorder.h"
#include "measurementsession.h"
#include "recordoptions.h"
#include "reportsequence.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <vector>

class HeadlessRecorder : public QObject
{
    Q_OBJECT

public:
    // `messages` takes the error messages and the status line (stderr).
    explicit HeadlessRecorder(const RecordOptions& options, std::FILE* messages = stderr);
    ~HeadlessRecorder() override;

    // Records and returns the exit status (recordstatus).
    int exec();

    // Lists the attached sensors on `out`, one a line, and what to do about
    // those this user may not open on `messages`. Returns the exit status.
    static int list(std::FILE* out, std::FILE* messages);

    // Ends the recording as soon as the event loop runs: a stop signal.
    void stop();

private:
    int start();
    void onTick();
    void onSamplesStored(const std::vector<float>& accel, const std::vector<float>& gyro);
    void finish(int status);
    void showStatus();
    void message(const QString& text) const;
    // Samples the duration leaves room for.
    quint64 room() const;

    const RecordOptions& m_options;
    std::FILE* m_messages;
    bool m_statusLine = false; // the messages go to a terminal
    CSkarvel m_sensor;
    MeasurementSession m_session;
    ReportSequence m_sequence;
    CsvRecorder m_recorder;
    QTimer m_tick;
    QTimer m_statusTimer;
    QElapsedTimer m_clock;
    quint64 m_recorded = 0; // samples handed to the recorder
    int m_status = -1;      // set when the recording has ended
    QPointer<QEventLoop> m_loop;
};

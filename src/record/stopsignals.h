// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// SIGINT, SIGTERM and SIGHUP as a Qt signal: the handler only writes a byte
// into a pipe whose other end the event loop watches, so that the recording
// ends in the event loop, between two batches, and not inside the handler.
// Signals ignored when the program starts stay ignored. One object per
// process; its thread's event loop delivers received().
#pragma once

#include <QObject>

#include <vector>

class QSocketNotifier;

class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    // Restores the default handlers.
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the pipe or a handler could not be set up.
    bool isValid() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void drain();

    int m_pipe[2] = {-1, -1};
    std::vector<int> m_caught; // the signals handled here
    QSocketNotifier* m_notifier = nullptr;
};

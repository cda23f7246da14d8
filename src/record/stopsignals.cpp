// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "stopsignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The write end for the handler; -1 while no object is there.
std::atomic<int> s_writeEnd{-1};

extern "C" void onStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = s_writeEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a stop request.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    s_writeEnd.store(m_pipe[1]);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : STOP_SIGNALS) {
        // A signal ignored from the start (nohup, a background job of a
        // script) stays ignored, as the caller asked.
        struct sigaction previous = {};
        if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signalNumber, &action, nullptr) != 0)
            return;
        m_caught.push_back(signalNumber);
    }
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::drain);
}

StopSignals::~StopSignals()
{
    for (int signalNumber : m_caught)
        std::signal(signalNumber, SIG_DFL);
    s_writeEnd.store(-1);
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void StopSignals::drain()
{
    unsigned char bytes[16];
    ssize_t n = 0;
    int last = 0;
    while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0)
        last = bytes[n - 1];
    if (last != 0)
        emit received(last);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Reports lost before the program read them (the host's buffer holds only so
// many), counted from the number the sensor gives every report in its last
// byte, modulo 256. The byte is trusted as a counter only after it has
// stepped by one COUNTING_STEPS times in a row, so a sensor that sends
// something else there shows no losses. A gap of k counts as k mod 256: at
// least that many were lost.
//
// note() runs on the sensor's read thread (one at a time; a restarted thread
// follows the joined one), lost() on any thread.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>

class ReportSequence
{
public:
    static constexpr int COUNTING_STEPS = 8;

    void note(uint8_t number);
    quint64 lost() const { return m_lost.load(std::memory_order_relaxed); }

private:
    bool m_started = false; // read thread only
    uint8_t m_last = 0;     // read thread only
    int m_steps = 0;        // read thread only: steps by one in a row, up to COUNTING_STEPS
    std::atomic<quint64> m_lost{0};
};

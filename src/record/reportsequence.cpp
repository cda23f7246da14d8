// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "reportsequence.h"

void ReportSequence::note(uint8_t number)
{
    if (!m_started) {
        m_started = true;
        m_last = number;
        return;
    }
    const uint8_t step = uint8_t(number - m_last);
    m_last = number;
    if (step == 1) {
        if (m_steps < COUNTING_STEPS)
            ++m_steps;
        return;
    }
    if (m_steps >= COUNTING_STEPS)
        m_lost.fetch_add(quint64(uint8_t(step - 1)), std::memory_order_relaxed);
    // Counting resumes once the byte has shown again that it counts.
    m_steps = 0;
}

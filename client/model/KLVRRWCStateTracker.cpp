// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCStateTracker.h"

void KLVRRWCStateTracker::addState(const QString &state, KLVRAbsoluteTime starting)
{
    if (state.isEmpty() || state == m_currentState)
        return;
    incrementState(m_currentState, starting.secondsSince(m_currentStateStarts));
    m_currentState = state;
    m_currentStateStarts = starting;
}

void KLVRRWCStateTracker::currentStateEndsOnDate(KLVRAbsoluteTime date)
{
    incrementState(m_currentState, date.secondsSince(m_currentStateStarts));
    m_currentStateStarts = date;
}

void KLVRRWCStateTracker::incrementState(const QString &state, double timeInterval)
{
    // A stretch with no known state has no key to be recorded under.
    if (timeInterval == 0.0 || state.isEmpty())
        return;
    m_stateIntervals[state] += timeInterval;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QMap>
#include <QString>

// Adds up how long each named state lasted while state changes are replayed in date order:
// create it with the state in force at the start, add each later change, then close the
// last stretch with currentStateEndsOnDate().
class KLVRRWCStateTracker
{
public:
    // A null state means none is known; time spent in no state is not counted.
    KLVRRWCStateTracker(const QString &state, KLVRAbsoluteTime starting)
        : m_currentState(state), m_currentStateStarts(starting) {}
    static KLVRRWCStateTracker stateTrackerWithState(const QString &state, KLVRAbsoluteTime starting)
    {
        return KLVRRWCStateTracker(state, starting);
    }

    // A change to another state; none, or the state already in force, changes nothing.
    void addState(const QString &state, KLVRAbsoluteTime starting);
    // Counts the open stretch up to the date; the current state stays in force.
    void currentStateEndsOnDate(KLVRAbsoluteTime date);
    // Adds seconds to a state's total; exactly 0 records nothing, so a state that never
    // lasted has no key.
    void incrementState(const QString &state, double timeInterval);

    const QMap<QString, double> &stateIntervals() const { return m_stateIntervals; }
    void setStateIntervals(const QMap<QString, double> &intervals) { m_stateIntervals = intervals; }
    QString currentState() const { return m_currentState; }
    void setCurrentState(const QString &state) { m_currentState = state; }
    KLVRAbsoluteTime currentStateStarts() const { return m_currentStateStarts; }
    void setCurrentStateStarts(KLVRAbsoluteTime date) { m_currentStateStarts = date; }

private:
    QMap<QString, double> m_stateIntervals;
    QString m_currentState;
    KLVRAbsoluteTime m_currentStateStarts;
};

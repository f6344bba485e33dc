// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QRectF>
#include <QString>

class KLVRRWCLogEntry;

// One state band of the time-line graph: a rectangle in chart coordinates, the state it shows
// ("Asleep", "Off", "Unmonitored", ...) and the log entry at which the interval ends, which
// answers the band's tool tip. A value; the entry is a plain reference valid for the log's life.
class KLVRRWCEntriesViewState
{
public:
    KLVRRWCEntriesViewState() = default;
    KLVRRWCEntriesViewState(const QRectF &bounds, const QString &state, const KLVRRWCLogEntry *entry)
        : m_bounds(bounds), m_state(state), m_entry(entry)
    {
    }
    static KLVRRWCEntriesViewState stateWithBounds(const QRectF &bounds, const QString &state, const KLVRRWCLogEntry *entry)
    {
        return KLVRRWCEntriesViewState(bounds, state, entry);
    }

    const QRectF &bounds() const { return m_bounds; }
    void setBounds(const QRectF &bounds) { m_bounds = bounds; }
    // Empty means none.
    const QString &state() const { return m_state; }
    void setState(const QString &state) { m_state = state; }
    const KLVRRWCLogEntry *entry() const { return m_entry; }
    void setEntry(const KLVRRWCLogEntry *entry) { m_entry = entry; }

private:
    QRectF m_bounds;
    QString m_state;
    const KLVRRWCLogEntry *m_entry = nullptr;
};

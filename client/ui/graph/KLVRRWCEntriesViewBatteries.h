// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCEntriesViewBatterySegment.h"

#include <QList>
#include <QMap>
#include <QString>

class KLVRRWCLogEntryPowerStatus;

// Every battery curve of the graph: the segments of each battery in the order added, and the
// last power-status entry used for each. Batteries are kept by name in name order, so curves
// are drawn in the same order on every render.
class KLVRRWCEntriesViewBatteries
{
public:
    qint32 count() const { return qint32(m_batterySegments.size()); }
    bool isEmpty() const { return m_batterySegments.isEmpty(); }
    void removeAllObjects();

    QStringList names() const { return m_batterySegments.keys(); }
    const QMap<QString, QList<KLVRRWCEntriesViewBatterySegment>> &batterySegments() const { return m_batterySegments; }
    QList<KLVRRWCEntriesViewBatterySegment> segmentsForBattery(const QString &name) const { return m_batterySegments.value(name); }

    // The segment that receives the battery's next points, or nothing.
    KLVRRWCEntriesViewBatterySegment *currentSegmentForBattery(const QString &name);
    void addSegment(const KLVRRWCEntriesViewBatterySegment &segment, const QString &name);
    // The battery's segments to add to, made empty when it has none; the reference stays good
    // while other batteries are added.
    QList<KLVRRWCEntriesViewBatterySegment> &segments(const QString &name) { return m_batterySegments[name]; }

    void setLastEntry(const KLVRRWCLogEntryPowerStatus *entry, const QString &name) { m_lastBatteryEntry.insert(name, entry); }
    const KLVRRWCLogEntryPowerStatus *lastEntryForBattery(const QString &name) const { return m_lastBatteryEntry.value(name); }

private:
    QMap<QString, QList<KLVRRWCEntriesViewBatterySegment>> m_batterySegments;
    QMap<QString, const KLVRRWCLogEntryPowerStatus *> m_lastBatteryEntry;
};

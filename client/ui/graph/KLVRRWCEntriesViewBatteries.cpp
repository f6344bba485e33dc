// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewBatteries.h"

void KLVRRWCEntriesViewBatteries::removeAllObjects()
{
    m_batterySegments.clear();
    m_lastBatteryEntry.clear();
}

KLVRRWCEntriesViewBatterySegment *KLVRRWCEntriesViewBatteries::currentSegmentForBattery(const QString &name)
{
    const auto it = m_batterySegments.find(name);
    if (it == m_batterySegments.end() || it->isEmpty())
        return nullptr;
    return &it->last();
}

void KLVRRWCEntriesViewBatteries::addSegment(const KLVRRWCEntriesViewBatterySegment &segment, const QString &name)
{
    m_batterySegments[name].append(segment);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewBatterySegment.h"

KLVRRWCEntriesViewBatterySegment KLVRRWCEntriesViewBatterySegment::batterySegmentForState(const QString &state,
                                                                                         const QPointF &startPoint)
{
    KLVRRWCEntriesViewBatterySegment segment(state, startPoint);
    segment.addPoint(startPoint);
    return segment;
}

void KLVRRWCEntriesViewBatterySegment::addPoint(const QPointF &p)
{
    m_end = p;
    if (m_hasPath) {
        m_path.lineTo(p);
        return;
    }
    m_path.moveTo(p);
    m_start = p;
    m_hasPath = true;
}

void KLVRRWCEntriesViewBatterySegment::disconnectionPoint(const QPointF &p)
{
    addPoint(m_hasPath ? QPointF(p.x(), m_end.y()) : p);
}

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

QPainterPath KLVRRWCEntriesViewBatterySegment::path() const
{
    QPainterPath path;
    if (m_points.isEmpty())
        return path;
    path.reserve(int(m_points.size()));
    path.moveTo(m_points.first());
    for (qsizetype i = 1; i < m_points.size(); ++i)
        path.lineTo(m_points[i]);
    return path;
}

void KLVRRWCEntriesViewBatterySegment::addPoint(const QPointF &p)
{
    // Points that a path would refuse stay out of the curve too.
    if (!qIsFinite(p.x()) || !qIsFinite(p.y()))
        return;
    m_end = p;
    if (m_points.isEmpty())
        m_start = p;
    else if (m_points.last() == p)
        return;
    m_points.append(p);
}

void KLVRRWCEntriesViewBatterySegment::disconnectionPoint(const QPointF &p)
{
    addPoint(m_points.isEmpty() ? p : QPointF(p.x(), m_end.y()));
}

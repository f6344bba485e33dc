// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewBatterySegment.h"

#include <cmath>

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
    if (m_points.empty())
        return path;
    path.reserve(int(m_points.size()));
    path.moveTo(m_points.front());
    for (size_t i = 1; i < m_points.size(); ++i)
        path.lineTo(m_points[i]);
    return path;
}

void KLVRRWCEntriesViewBatterySegment::addPoint(const QPointF &p)
{
    // Points that a path would refuse stay out of the curve too.
    if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
        return;
    m_end = p;
    if (m_points.empty())
        m_start = p;
    else if (m_points.back() == p)
        return;
    m_points.push_back(p);
}

void KLVRRWCEntriesViewBatterySegment::disconnectionPoint(const QPointF &p)
{
    addPoint(m_points.empty() ? p : QPointF(p.x(), m_end.y()));
}

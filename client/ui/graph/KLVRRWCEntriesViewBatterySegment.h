// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QString>

#include <vector>

// One stretch of a battery's charge curve drawn in one colour: a poly-line and the power-source
// state it belongs to ("AC Power", "Battery Power", "Disconnected", or none). A value.
class KLVRRWCEntriesViewBatterySegment
{
public:
    // No state, start (0, 0), no path.
    KLVRRWCEntriesViewBatterySegment() = default;
    // Sets state and start without starting the path.
    KLVRRWCEntriesViewBatterySegment(const QString &state, const QPointF &startPoint) : m_state(state), m_start(startPoint) {}

    static KLVRRWCEntriesViewBatterySegment batterySegment() { return {}; }
    // A segment of that state whose path starts at the point.
    static KLVRRWCEntriesViewBatterySegment batterySegmentForState(const QString &state, const QPointF &startPoint);

    const QString &state() const { return m_state; }
    void setState(const QString &state) { m_state = state; }
    QPointF start() const { return m_start; }
    QPointF end() const { return m_end; }
    bool hasPath() const { return !m_points.empty(); }
    // The poly-line's points, and the poly-line as a path; both empty until the first point is
    // added. Curves of a year hold tens of thousands of points, which a plain list keeps cheaply.
    const std::vector<QPointF> &points() const { return m_points; }
    QPainterPath path() const;

    // Continues the poly-line to p (a point equal to the last one adds nothing, as a path
    // would not); the first point starts it and becomes the start.
    void addPoint(const QPointF &p);
    // A horizontal step to p's x at the height reached so far: while a battery is not connected
    // its charge is not known, so the curve holds its last level. Starts the path at p when
    // there is no level yet.
    void disconnectionPoint(const QPointF &p);
    // Nothing to finish: paths stay open.
    void close() {}

private:
    QString m_state;
    QPointF m_start;
    QPointF m_end;
    std::vector<QPointF> m_points;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewDisplayList.h"

void KLVRRWCEntriesViewDisplayList::setSelectorString(PathMaker maker, const QString &state)
{
    if (!m_stateOrder.contains(state))
        m_stateOrder.append(state);
    m_stateBezierPathsSelectors.insert(state, maker);
}

void KLVRRWCEntriesViewDisplayList::removeAllObjects()
{
    m_states.clear();
    m_combinedStateBezierPaths.clear();
    m_batteries.removeAllObjects();
}

void KLVRRWCEntriesViewDisplayList::addState(const KLVRRWCEntriesViewState &state)
{
    if (state.state().isEmpty())
        return;
    m_states.append(state);
    auto combined = m_combinedStateBezierPaths.find(state.state());
    if (combined == m_combinedStateBezierPaths.end()) {
        combined = m_combinedStateBezierPaths.insert(state.state(), QPainterPath());
        // Bands that coincide must not cancel each other out.
        combined->setFillRule(Qt::WindingFill);
    }
    const PathMaker maker = m_stateBezierPathsSelectors.value(state.state(), &KLVRRWCEntriesViewDisplayList::pathForState);
    combined->addPath((this->*maker)(&state));
}

QPainterPath KLVRRWCEntriesViewDisplayList::pathForState(const KLVRRWCEntriesViewState *state) const
{
    QPainterPath path;
    path.addRect(state ? state->bounds() : QRectF());
    return path;
}

QPainterPath KLVRRWCEntriesViewDisplayList::roundedPathForState(const KLVRRWCEntriesViewState *state) const
{
    if (!state || !(state->bounds().width() > m_radius))
        return pathForState(state);
    // The band stands on the x-axis: its top corners are rounded, its bottom corners square. It
    // runs clockwise like a plain rectangle, so overlapping bands of one state add up.
    const QRectF b = state->bounds();
    const double d = 2.0 * m_radius;
    QPainterPath path;
    path.moveTo(b.center().x(), b.top());
    path.arcTo(QRectF(b.right() - d, b.top(), d, d), 90.0, -90.0);
    path.lineTo(b.bottomRight());
    path.lineTo(b.bottomLeft());
    path.arcTo(QRectF(b.left(), b.top(), d, d), 180.0, -90.0);
    path.closeSubpath();
    return path;
}

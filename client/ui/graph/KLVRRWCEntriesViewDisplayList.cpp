// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewDisplayList.h"

#include <algorithm>

void KLVRRWCEntriesViewDisplayList::setSelectorString(PathMaker maker, const QString &state)
{
    if (!m_stateOrder.contains(state))
        m_stateOrder.append(state);
    m_stateBezierPathsSelectors.insert(state, maker);
    m_mergedBoundsMade = false;
}

void KLVRRWCEntriesViewDisplayList::removeAllObjects()
{
    m_states.clear();
    m_mergedBounds.clear();
    m_mergedBoundsMade = false;
    m_combinedStateBezierPaths.clear();
    m_combinedPathsMade = true;
    m_batteries.removeAllObjects();
}

void KLVRRWCEntriesViewDisplayList::addState(KLVRRWCEntriesViewState state)
{
    if (state.state().isEmpty())
        return;
    m_states.append(std::move(state));
    m_mergedBoundsMade = false;
    m_combinedPathsMade = false;
}

const QHash<QString, QPainterPath> &KLVRRWCEntriesViewDisplayList::combinedStateBezierPaths() const
{
    if (m_combinedPathsMade)
        return m_combinedStateBezierPaths;
    m_combinedStateBezierPaths.clear();
    for (const KLVRRWCEntriesViewState &state : m_states) {
        auto combined = m_combinedStateBezierPaths.find(state.state());
        if (combined == m_combinedStateBezierPaths.end()) {
            combined = m_combinedStateBezierPaths.insert(state.state(), QPainterPath());
            // Bands that coincide must not cancel each other out.
            combined->setFillRule(Qt::WindingFill);
        }
        const PathMaker maker = m_stateBezierPathsSelectors.value(state.state(), &KLVRRWCEntriesViewDisplayList::pathForState);
        combined->addPath((this->*maker)(&state));
    }
    m_combinedPathsMade = true;
    return m_combinedStateBezierPaths;
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

QList<QRectF> KLVRRWCEntriesViewDisplayList::mergedBoundsForState(const QString &state) const
{
    if (!m_stateOrder.contains(state)) {
        QList<QRectF> bands;
        for (const KLVRRWCEntriesViewState &band : m_states) {
            if (band.state() == state && band.bounds().width() > 0.0)
                bands.append(band.bounds());
        }
        mergeBands(bands);
        return bands;
    }
    if (!m_mergedBoundsMade) {
        // The drawn states' bands in one pass: a year holds tens of thousands of them.
        m_mergedBounds.clear();
        for (const QString &drawn : m_stateOrder)
            m_mergedBounds.emplace_back(drawn, QList<QRectF>());
        QList<QRectF> *bands = nullptr;
        const QString *current = nullptr;
        for (const KLVRRWCEntriesViewState &band : m_states) {
            if (!(band.bounds().width() > 0.0))
                continue;
            if (!current || band.state() != *current) {
                current = &band.state();
                const auto known = std::find_if(m_mergedBounds.begin(), m_mergedBounds.end(),
                                                [current](const auto &item) { return item.first == *current; });
                bands = known != m_mergedBounds.end() ? &known->second : nullptr;
            }
            if (bands)
                bands->append(band.bounds());
        }
        for (auto &[name, runs] : m_mergedBounds)
            mergeBands(runs);
        m_mergedBoundsMade = true;
    }
    for (const auto &[name, runs] : m_mergedBounds) {
        if (name == state)
            return runs;
    }
    return {};
}

void KLVRRWCEntriesViewDisplayList::mergeBands(QList<QRectF> &bands)
{
    // Bands arrive nearly in order: only the few added after the main pass need sorting in.
    const auto byLeft = [](const QRectF &a, const QRectF &b) { return a.left() < b.left(); };
    const auto sorted = std::is_sorted_until(bands.begin(), bands.end(), byLeft);
    std::sort(sorted, bands.end(), byLeft);
    std::inplace_merge(bands.begin(), sorted, bands.end(), byLeft);

    qsizetype runs = 0;
    for (qsizetype i = 0; i < bands.size(); ++i) {
        const QRectF band = bands.at(i);
        if (runs > 0) {
            // Bands of one state share their top and bottom; only their spans across differ.
            QRectF &run = bands[runs - 1];
            if (band.left() <= run.right() && band.top() == run.top() && band.bottom() == run.bottom()) {
                run.setRight(std::max(run.right(), band.right()));
                continue;
            }
        }
        bands[runs++] = band;
    }
    bands.resize(runs);
}

QPainterPath KLVRRWCEntriesViewDisplayList::outlineForState(const QString &state, const QRectF &bounds) const
{
    const PathMaker maker = m_stateBezierPathsSelectors.value(state, &KLVRRWCEntriesViewDisplayList::pathForState);
    const KLVRRWCEntriesViewState band(bounds, state, nullptr);
    return (this->*maker)(&band);
}

double KLVRRWCEntriesViewDisplayList::cornerRadiusForState(const QString &state) const
{
    return m_stateBezierPathsSelectors.value(state) == &KLVRRWCEntriesViewDisplayList::roundedPathForState ? m_radius : 0.0;
}

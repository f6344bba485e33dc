// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCEntriesViewBatteries.h"
#include "KLVRRWCEntriesViewState.h"

#include <QHash>
#include <QList>
#include <QPainterPath>
#include <QStringList>

#include <utility>
#include <vector>

// What the time-line graph draws, rebuilt from the log before every render: the state bands,
// the union of the band outlines of each state, and the battery curves. Only the states named
// in stateOrder() are drawn, in that order; the others are kept but stay invisible.
class KLVRRWCEntriesViewDisplayList
{
public:
    // How the outline of a band of some state is made.
    using PathMaker = QPainterPath (KLVRRWCEntriesViewDisplayList::*)(const KLVRRWCEntriesViewState *) const;

    KLVRRWCEntriesViewDisplayList() = default;
    static KLVRRWCEntriesViewDisplayList displayList() { return {}; }

    // Registers a drawn state (appended to the drawing order once) and its outline maker.
    void setSelectorString(PathMaker maker, const QString &state);
    // Empties the bands, the outlines and the batteries; the drawing order and outline makers stay.
    void removeAllObjects();
    // Appends the band and its outline to its state's outline; a band without a state is ignored.
    void addState(KLVRRWCEntriesViewState state);

    // The band's rectangle (an empty path for no band).
    QPainterPath pathForState(const KLVRRWCEntriesViewState *state) const;
    // The band with its two top corners rounded by radius() when it is wider than the radius.
    QPainterPath roundedPathForState(const KLVRRWCEntriesViewState *state) const;

    // The area of the state's bands as runs of overlapping bands merged, left to right (a
    // year holds tens of thousands of bands, many repeated by later passes); the outline a
    // run gets; the radius of its top corners (0 for square ones).
    QList<QRectF> mergedBoundsForState(const QString &state) const;
    QPainterPath outlineForState(const QString &state, const QRectF &bounds) const;
    double cornerRadiusForState(const QString &state) const;

    const QList<KLVRRWCEntriesViewState> &states() const { return m_states; }
    // The outlines of all bands of each state appended into one path per state (the states
    // with at least one band). Made when first asked for, since drawing does not need them.
    const QHash<QString, QPainterPath> &combinedStateBezierPaths() const;
    QPainterPath combinedPathForState(const QString &state) const { return combinedStateBezierPaths().value(state); }
    const QStringList &stateOrder() const { return m_stateOrder; }
    KLVRRWCEntriesViewBatteries &batteries() { return m_batteries; }
    const KLVRRWCEntriesViewBatteries &batteries() const { return m_batteries; }
    double radius() const { return m_radius; }

private:
    // Sorts the bands by their left edges and merges overlapping ones, in place.
    static void mergeBands(QList<QRectF> &bands);

    QList<KLVRRWCEntriesViewState> m_states;
    // The merged bands of every state, made when first asked for.
    mutable std::vector<std::pair<QString, QList<QRectF>>> m_mergedBounds;
    mutable bool m_mergedBoundsMade = false;
    mutable QHash<QString, QPainterPath> m_combinedStateBezierPaths;
    mutable bool m_combinedPathsMade = true;
    QHash<QString, PathMaker> m_stateBezierPathsSelectors;
    KLVRRWCEntriesViewBatteries m_batteries;
    double m_radius = 2.0;
    QStringList m_stateOrder;
};

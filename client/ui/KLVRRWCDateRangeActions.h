// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCDateRangeController.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QActionGroup;
class QMenu;

// The date range's commands for menus and the toolbar: one checkable item per range tag (1 to 9,
// the tag in the action's data), the day and month steps and the two zooms. Items are enabled as
// the date range allows at the moment: tags by canSelectTag(), the rest by validateAction().
class KLVRRWCDateRangeActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCDateRangeActions)

public:
    explicit KLVRRWCDateRangeActions(KLVRRWCDateRangeController *dateRange, QObject *parent = nullptr);
    ~KLVRRWCDateRangeActions() override;

    KLVRRWCDateRangeController *dateRange() const { return m_dateRange; }

    // The item of a tag (1 to 9), or nothing.
    QAction *tagAction(int tag) const;
    const QList<QAction *> &tagActions() const { return m_tagActions; }
    QAction *dayBackwardAction() const { return m_dayBackward; }
    QAction *dayForwardAction() const { return m_dayForward; }
    QAction *monthBackwardAction() const { return m_monthBackward; }
    QAction *monthForwardAction() const { return m_monthForward; }
    QAction *zoomInAction() const { return m_zoomIn; }
    QAction *zoomOutAction() const { return m_zoomOut; }

    // Validates the items each time menu opens, as the items' state can change without notice
    // (the log's limits move with every batch, the ready-made spans at midnight).
    void validateBeforeShowing(QMenu *menu);

    // The localised title of a tag's item.
    static QString titleForTag(int tag);

public Q_SLOTS:
    // Enables every item as the date range allows now and checks the current tag's item.
    void validate();
    // Shows the range of the tag carried by the sender (an item of this object or a pop-up).
    void takeSelectionTagFrom(int tag);

private:
    QAction *makeAction(const QString &role, void (KLVRRWCDateRangeController::*slot)());

    QPointer<KLVRRWCDateRangeController> m_dateRange;
    QActionGroup *m_tagGroup = nullptr;
    QList<QAction *> m_tagActions;
    QAction *m_dayBackward = nullptr;
    QAction *m_dayForward = nullptr;
    QAction *m_monthBackward = nullptr;
    QAction *m_monthForward = nullptr;
    QAction *m_zoomIn = nullptr;
    QAction *m_zoomOut = nullptr;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDateRangeActions.h"

#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRStringsTable.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>

namespace {

const QString kTable = QStringLiteral("KLVRRWCDateRangeActions");

QString localized(const QString &role)
{
    return KLVRStringsTable::localizedString(kTable + QLatin1Char('.') + role, kTable);
}

} // namespace

KLVRRWCDateRangeActions::KLVRRWCDateRangeActions(KLVRRWCDateRangeController *dateRange, QObject *parent)
    : QObject(parent)
    , m_dateRange(dateRange)
    , m_tagGroup(new QActionGroup(this))
{
    KLVRRWCMainWindow::ensureResourcesLoaded();
    m_tagGroup->setExclusive(true);
    for (int tag = 1; tag <= KLVRRWCDateRangeController::kSpanCount; ++tag) {
        auto *action = new QAction(titleForTag(tag), this);
        action->setData(tag);
        action->setCheckable(true);
        // Ctrl+1 .. Ctrl+8 for the ready-made ranges; the custom range has no key of its own.
        if (tag < KLVRRWCDateRangeController::kSpanCount)
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + tag)));
        m_tagGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, tag] { takeSelectionTagFrom(tag); });
        m_tagActions.append(action);
    }

    m_dayBackward = makeAction(QStringLiteral("dayBackward"), &KLVRRWCDateRangeController::dayBackward);
    m_dayBackward->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    m_dayForward = makeAction(QStringLiteral("dayForward"), &KLVRRWCDateRangeController::dayForward);
    m_dayForward->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    m_monthBackward = makeAction(QStringLiteral("monthBackward"), &KLVRRWCDateRangeController::monthBackward);
    m_monthBackward->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left));
    m_monthForward = makeAction(QStringLiteral("monthForward"), &KLVRRWCDateRangeController::monthForward);
    m_monthForward->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right));
    m_zoomIn = makeAction(QStringLiteral("zoomIn"), &KLVRRWCDateRangeController::zoomIn);
    // Ctrl+= is Ctrl++ without Shift on most layouts.
    m_zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    m_zoomOut = makeAction(QStringLiteral("zoomOut"), &KLVRRWCDateRangeController::zoomOut);
    m_zoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));

    if (m_dateRange) {
        connect(m_dateRange, &KLVRRWCDateRangeController::absoluteDurationChanged, this, &KLVRRWCDateRangeActions::validate);
        connect(m_dateRange, &KLVRRWCDateRangeController::selectionTagChanged, this, &KLVRRWCDateRangeActions::validate);
    }
    validate();
}

KLVRRWCDateRangeActions::~KLVRRWCDateRangeActions() = default;

QAction *KLVRRWCDateRangeActions::makeAction(const QString &role, void (KLVRRWCDateRangeController::*slot)())
{
    auto *action = new QAction(localized(role), this);
    action->setIconText(localized(role + QStringLiteral(".short")));
    connect(action, &QAction::triggered, this, [this, slot] {
        if (m_dateRange)
            (m_dateRange->*slot)();
    });
    return action;
}

QString KLVRRWCDateRangeActions::titleForTag(int tag)
{
    return localized(QStringLiteral("tag.%1").arg(tag));
}

QAction *KLVRRWCDateRangeActions::tagAction(int tag) const
{
    return tag >= 1 && tag <= m_tagActions.size() ? m_tagActions.at(tag - 1) : nullptr;
}

void KLVRRWCDateRangeActions::validateBeforeShowing(QMenu *menu)
{
    connect(menu, &QMenu::aboutToShow, this, &KLVRRWCDateRangeActions::validate);
}

void KLVRRWCDateRangeActions::validate()
{
    using Action = KLVRRWCDateRangeController::Action;
    const KLVRRWCDateRangeController *range = m_dateRange;
    for (QAction *action : std::as_const(m_tagActions))
        action->setEnabled(range && range->canSelectTag(action->data().toInt()));
    m_dayBackward->setEnabled(range && range->validateAction(Action::DayBackward));
    m_dayForward->setEnabled(range && range->validateAction(Action::DayForward));
    m_monthBackward->setEnabled(range && range->validateAction(Action::MonthBackward));
    m_monthForward->setEnabled(range && range->validateAction(Action::MonthForward));
    m_zoomIn->setEnabled(range && range->validateAction(Action::ZoomIn));
    m_zoomOut->setEnabled(range && range->validateAction(Action::ZoomOut));
    if (QAction *current = tagAction(range ? range->selectionTag() : 0))
        current->setChecked(true);
}

void KLVRRWCDateRangeActions::takeSelectionTagFrom(int tag)
{
    if (!m_dateRange)
        return;
    m_dateRange->setSelectionTag(tag);
    // The item of the tag that resulted is checked, even when the choice changed nothing.
    validate();
}

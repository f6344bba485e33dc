// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDateRangePopUp.h"

#include "KLVRRWCDateRangeActions.h"
#include "KLVRRWCDateRangeController.h"

#include <QAction>
#include <QStandardItemModel>

KLVRRWCDateRangePopUp::KLVRRWCDateRangePopUp(KLVRRWCDateRangeActions *actions, QWidget *parent)
    : QComboBox(parent)
    , m_actions(actions)
{
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setFocusPolicy(Qt::TabFocus);
    const QList<QAction *> &tagActions = actions->tagActions();
    for (int index = 0; index < tagActions.size(); ++index) {
        QAction *action = tagActions.at(index);
        addItem(KLVRRWCDateRangeActions::titleForTag(action->data().toInt()), action->data());
        connect(action, &QAction::changed, this, [this, index] { updateItem(index); });
        updateItem(index);
    }
    // The custom range is shown when the span matches none of the others; set it apart.
    insertSeparator(count() - 1);

    connect(this, &QComboBox::activated, this, [this] {
        if (m_actions)
            m_actions->takeSelectionTagFrom(selectedTag());
        if (m_actions && m_actions->dateRange())
            selectItemWithTag(m_actions->dateRange()->selectionTag());
    });
    if (KLVRRWCDateRangeController *range = actions->dateRange()) {
        connect(range, &KLVRRWCDateRangeController::selectionTagChanged, this, &KLVRRWCDateRangePopUp::selectItemWithTag);
        selectItemWithTag(range->selectionTag());
    }
}

KLVRRWCDateRangePopUp::~KLVRRWCDateRangePopUp() = default;

int KLVRRWCDateRangePopUp::selectedTag() const
{
    return currentData().toInt();
}

void KLVRRWCDateRangePopUp::selectItemWithTag(int tag)
{
    const int index = indexOfTag(tag);
    if (index >= 0)
        setCurrentIndex(index);
}

bool KLVRRWCDateRangePopUp::isItemEnabled(int index) const
{
    const auto *items = qobject_cast<const QStandardItemModel *>(model());
    return items && items->item(index) && items->item(index)->isEnabled();
}

void KLVRRWCDateRangePopUp::showPopup()
{
    if (m_actions)
        m_actions->validate();
    QComboBox::showPopup();
}

void KLVRRWCDateRangePopUp::updateItem(int actionIndex)
{
    if (!m_actions)
        return;
    QAction *action = m_actions->tagActions().value(actionIndex);
    auto *items = qobject_cast<QStandardItemModel *>(model());
    if (!action || !items)
        return;
    const int index = indexOfTag(action->data().toInt());
    if (index >= 0)
        items->item(index)->setEnabled(action->isEnabled());
}

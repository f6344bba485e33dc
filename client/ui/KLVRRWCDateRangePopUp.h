// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QComboBox>
#include <QPointer>

class KLVRRWCDateRangeActions;

// The toolbar's range pop-up: one item per range tag, in the order and with the titles and
// enabled states of the date range's tag items; it always shows the current tag.
class KLVRRWCDateRangePopUp : public QComboBox
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCDateRangePopUp)

public:
    explicit KLVRRWCDateRangePopUp(KLVRRWCDateRangeActions *actions, QWidget *parent = nullptr);
    ~KLVRRWCDateRangePopUp() override;

    // The tag of the selected item (0 when none is).
    int selectedTag() const;
    void selectItemWithTag(int tag);
    int indexOfTag(int tag) const { return findData(tag); }
    bool isItemEnabled(int index) const;

    // Validates the items first, as a menu does when it opens.
    void showPopup() override;

private:
    void updateItem(int index);

    QPointer<KLVRRWCDateRangeActions> m_actions;
};

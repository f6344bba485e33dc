// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCInspectorSubViewController.h"

#include <QStringList>

class QTableView;

// An item showing a dictionary as a two-column table: the column whose identifier is "key"
// lists the keys, the other the value for each key.
class KLVRRWCInspectorDictionarySubViewController : public KLVRRWCInspectorSubViewController
{
public:
    KLVRRWCInspectorDictionarySubViewController(const QVariant &value, const QString &key);

    const QStringList &keyArray() const { return m_keyArray; }
    QTableView *tableView() const { return m_tableView; }

    int numberOfRows() const override;
    QVariant objectValue(const QString &columnIdentifier, int row) const override;

protected:
    void viewDidLoad() override;

private:
    QStringList m_keyArray;
    bool m_hasKeys = false;
    QTableView *m_tableView = nullptr;
};

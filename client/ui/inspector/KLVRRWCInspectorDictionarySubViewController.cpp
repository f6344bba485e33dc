// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorDictionarySubViewController.h"

#include <QTableView>
#include <QWidget>

KLVRRWCInspectorDictionarySubViewController::KLVRRWCInspectorDictionarySubViewController(const QVariant &value, const QString &key)
    : KLVRRWCInspectorSubViewController(value, key, QStringLiteral("KLVRRWCInspectorDictionarySubViewController"))
{
    if (value.typeId() == QMetaType::QVariantMap) {
        m_keyArray = value.toMap().keys();
        m_hasKeys = true;
    } else if (value.typeId() == QMetaType::QVariantHash) {
        m_keyArray = value.toHash().keys();
        m_keyArray.sort();
        m_hasKeys = true;
    }
    loadView();
}

void KLVRRWCInspectorDictionarySubViewController::viewDidLoad()
{
    if (QWidget *table = view())
        m_tableView = table->findChild<QTableView *>(QStringLiteral("tableView"));
    if (!m_tableView)
        m_tableView = qobject_cast<QTableView *>(view());
}

int KLVRRWCInspectorDictionarySubViewController::numberOfRows() const
{
    if (!m_hasKeys)
        return KLVRRWCInspectorSubViewController::numberOfRows();
    return int(m_keyArray.size());
}

QVariant KLVRRWCInspectorDictionarySubViewController::objectValue(const QString &columnIdentifier, int row) const
{
    if (!m_hasKeys)
        return KLVRRWCInspectorSubViewController::objectValue(columnIdentifier, row);
    if (row < 0 || row >= m_keyArray.size())
        return {};
    const QString &key = m_keyArray.at(row);
    if (columnIdentifier == QLatin1String("key"))
        return key;
    const QVariant value = attributeValue().typeId() == QMetaType::QVariantHash ? attributeValue().toHash().value(key)
                                                                               : attributeValue().toMap().value(key);
    return value;
}

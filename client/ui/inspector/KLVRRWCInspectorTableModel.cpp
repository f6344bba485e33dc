// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorTableModel.h"

#include "KLVRRWCInspectorStyledTextDelegate.h"
#include "KLVRRWCInspectorSubViewController.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCStyledText.h"

#include <QGuiApplication>
#include <QPalette>

KLVRRWCInspectorTableModel::KLVRRWCInspectorTableModel(const KLVRRWCInspectorSubViewController *dataSource,
                                                       const QStringList &columnIdentifiers, QObject *parent)
    : QAbstractTableModel(parent)
    , m_dataSource(dataSource)
    , m_columns(columnIdentifiers)
    , m_rows(dataSource ? dataSource->numberOfRows() : 0)
{
}

QString KLVRRWCInspectorTableModel::text(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.userType() == qMetaTypeId<KLVRRWCStyledText>())
        return value.value<KLVRRWCStyledText>().toString();
    if (value.typeId() == QMetaType::Bool)
        return KLVRRWCLogEntry::general(value.toBool() ? QStringLiteral("Yes") : QStringLiteral("No"));
    return KLVRRWCLogEntry::describe(value);
}

int KLVRRWCInspectorTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int KLVRRWCInspectorTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant KLVRRWCInspectorTableModel::data(const QModelIndex &index, int role) const
{
    if (!m_dataSource || !index.isValid() || index.row() >= m_rows || index.column() >= m_columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return text(m_dataSource->objectValue(m_columns.at(index.column()), index.row()));
    case KLVRRWCInspectorStyledTextDelegate::StyledTextRole: {
        const QVariant value = m_dataSource->objectValue(m_columns.at(index.column()), index.row());
        return value.userType() == qMetaTypeId<KLVRRWCStyledText>() ? value : QVariant();
    }
    case Qt::TextAlignmentRole:
        // Keys read towards their values.
        if (m_columns.at(index.column()) == QLatin1String("key"))
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (m_columns.at(index.column()) == QLatin1String("key")) {
            // Dimmed, yet readable on either row colour.
            QColor key = QGuiApplication::palette().color(QPalette::Active, QPalette::Text);
            key.setAlphaF(0.6f);
            return key;
        }
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags KLVRRWCInspectorTableModel::flags(const QModelIndex &index) const
{
    // Rows cannot be selected: the data source says so for every row.
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

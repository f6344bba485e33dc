// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

class KLVRRWCInspectorSubViewController;

// Presents an inspector item's list or dictionary to a table view: rows and cells come from the
// item (its data source), columns by their identifiers ("key" for a dictionary's keys). Cells
// read as text; styled statistics also under KLVRRWCInspectorStyledTextDelegate::StyledTextRole.
// Nothing is selectable or editable.
class KLVRRWCInspectorTableModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCInspectorTableModel)

public:
    KLVRRWCInspectorTableModel(const KLVRRWCInspectorSubViewController *dataSource, const QStringList &columnIdentifiers,
                               QObject *parent = nullptr);

    const QStringList &columnIdentifiers() const { return m_columns; }
    // The text a value shows in a cell.
    static QString text(const QVariant &value);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    const KLVRRWCInspectorSubViewController *m_dataSource;
    QStringList m_columns;
    int m_rows = 0;
};

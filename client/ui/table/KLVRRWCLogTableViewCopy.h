// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>

class KLVRRWCLogTableView;
class QMimeData;

// What a log table's delegate answers to give rows out, for Copy and for dragging.
class KLVRRWCLogTableViewCopy
{
public:
    virtual ~KLVRRWCLogTableViewCopy() = default;
    // Writes the rows (in the order given) into data; false, writing nothing, when there are none.
    virtual bool writeRows(KLVRRWCLogTableView *tableView, const QList<int> &rows, QMimeData *data) = 0;
    // Escape in the table.
    virtual void tableViewCancel(KLVRRWCLogTableView *tableView) = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCAttributedString.h"

#include <QFont>
#include <QList>
#include <QString>

class QMimeData;

// Rows of the log table on their way out (Copy, drag): each row the formatted text of its
// cells in column order. Given out as tabular text (cells joined by a tab, rows by a line feed,
// none after the last), as RTF of the same rich text (one paragraph per row) and as an HTML
// table for office and mail programs.
class KLVRRWCLogTableRows
{
public:
    // A row's cells, formatted.
    using Row = QList<KLVRRWCAttributedString>;

    explicit KLVRRWCLogTableRows(const QFont &font = QFont()) : m_font(font) {}

    void append(const Row &row) { m_rows.append(row); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    // The tabular text. A line break inside a cell is written as a blank, so that every line is
    // one row.
    QString tabularText() const;
    // Each row as one attributed string, its cells separated by tabs.
    QList<KLVRRWCAttributedString> attributedRows() const;
    QByteArray rtf() const;
    QString html() const;

    // Puts all three on data: text/plain, text/rtf and text/html.
    void writeTo(QMimeData *data) const;

private:
    QFont m_font;
    QList<Row> m_rows;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QCache>
#include <QColor>
#include <QStyledItemDelegate>
#include <functional>

class KLVRRWCLogEntry;
class KLVRRWCLogEntryFormatter;
class QTextDocument;

// The summary column's cell: the entry's row text from the entry formatter, on a rounded pill
// (a rectangle with half circles at both ends) in the background colour when the cell draws its
// background. A selected row shows only its text, over the selection. The laid-out text of the
// rows last painted is kept, so scrolling and repainting do not format them again.
class BLRoundedTableCell : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY(BLRoundedTableCell)

public:
    // The text frame starts this far right of the cell and is as much narrower.
    static constexpr qreal kTextInset = 5.0;

    explicit BLRoundedTableCell(QObject *parent = nullptr);
    ~BLRoundedTableCell() override;

    // The formatter that writes each row (not owned). Changing it, or its template, calls for
    // invalidate().
    void setFormatter(const KLVRRWCLogEntryFormatter *formatter);
    const KLVRRWCLogEntryFormatter *formatter() const { return m_formatter; }
    // Forgets every laid-out row.
    void invalidate();

    // Asked before each row is painted: whether the row draws its background, and in which
    // colour (the table's highlighting decides).
    using BackgroundQuery = std::function<bool(int row, QColor *colour)>;
    void setBackgroundQuery(BackgroundQuery query) { m_backgroundQuery = std::move(query); }

    // The pill for a drawing rectangle.
    static QPainterPath pillPath(const QRectF &rect);

    // How many rows were laid out (for the benchmarks and for tests of the cache).
    qint64 layoutCount() const { return m_layoutCount; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QTextDocument *documentFor(const KLVRRWCLogEntry *entry, const QFont &font) const;

    const KLVRRWCLogEntryFormatter *m_formatter = nullptr;
    BackgroundQuery m_backgroundQuery;
    mutable QCache<const KLVRRWCLogEntry *, QTextDocument> m_documents;
    mutable QFont m_documentFont;
    mutable qint64 m_layoutCount = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "BLRoundedTableCell.h"

#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntryFormatter.h"
#include "KLVRRWCLogTableModel.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>

namespace {

// Enough rows for a tall window, several times over.
constexpr int kCachedRows = 600;

} // namespace

BLRoundedTableCell::BLRoundedTableCell(QObject *parent)
    : QStyledItemDelegate(parent)
{
    m_documents.setMaxCost(kCachedRows);
}

BLRoundedTableCell::~BLRoundedTableCell() = default;

void BLRoundedTableCell::setFormatter(const KLVRRWCLogEntryFormatter *formatter)
{
    m_formatter = formatter;
    invalidate();
}

void BLRoundedTableCell::invalidate()
{
    m_documents.clear();
}

QPainterPath BLRoundedTableCell::pillPath(const QRectF &r)
{
    // Kept at single precision, as the cell's radius always was.
    const qreal radius = float(r.height() / 2.0);
    QPainterPath path;
    // Left half circle from the top (90°) round to the bottom (270°), then the right one back.
    path.moveTo(r.x() + radius, r.y());
    path.arcTo(QRectF(r.x(), r.y(), 2 * radius, 2 * radius), 90, 180);
    path.lineTo(r.x() + r.width() - radius, r.y() + 2 * radius);
    path.arcTo(QRectF(r.x() + r.width() - 2 * radius, r.y(), 2 * radius, 2 * radius), 270, 180);
    path.closeSubpath();
    return path;
}

QTextDocument *BLRoundedTableCell::documentFor(const KLVRRWCLogEntry *entry, const QFont &font) const
{
    if (font != m_documentFont) {
        m_documents.clear();
        m_documentFont = font;
    }
    if (QTextDocument *document = m_documents.object(entry))
        return document;
    auto *document = new QTextDocument;
    document->setDefaultFont(font);
    document->setUndoRedoEnabled(false);
    if (m_formatter)
        m_formatter->attributedStringForEntry(entry).fillDocument(*document);
    else
        document->setPlainText(entry->summary());
    document->setDocumentMargin(0);
    // One line per template line: rows never wrap.
    document->setTextWidth(-1);
    ++m_layoutCount;
    m_documents.insert(entry, document);
    return document;
}

void BLRoundedTableCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const auto *entry = index.data(KLVRRWCLogTableModel::EntryRole).value<KLVRRWCLogEntry *>();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();

    // The row's own background and the selection, as the style paints them; no text.
    opt.text.clear();
    const bool selected = opt.state & QStyle::State_Selected;
    QColor colour;
    const bool drawsBackground = !selected && m_backgroundQuery && m_backgroundQuery(index.row(), &colour);
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (!entry)
        return;

    painter->save();
    if (drawsBackground) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(colour);
        painter->drawPath(pillPath(QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5)));
    }
    const QRectF textFrame = QRectF(option.rect).adjusted(kTextInset, 0, 0, 0);
    QTextDocument *document = documentFor(entry, opt.font);
    const qreal height = document->size().height();
    painter->translate(textFrame.x(), textFrame.y() + std::max(0.0, (textFrame.height() - height) / 2.0));
    const QRectF clip(0, 0, textFrame.width(), textFrame.height());
    painter->setClipRect(clip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = clip;
    const QPalette::ColorGroup group = (opt.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    context.palette = opt.palette;
    context.palette.setColor(QPalette::Text, opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    document->documentLayout()->draw(painter, context);
    painter->restore();
}

QSize BLRoundedTableCell::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *entry = index.data(KLVRRWCLogTableModel::EntryRole).value<KLVRRWCLogEntry *>();
    if (!entry)
        return QStyledItemDelegate::sizeHint(option, index);
    const QSizeF size = documentFor(entry, option.font)->size();
    return QSize(int(std::ceil(size.width() + kTextInset)), int(std::ceil(size.height())));
}

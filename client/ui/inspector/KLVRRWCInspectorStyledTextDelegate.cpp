// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorStyledTextDelegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
// Small and mini controls use 11 and 9 points where regular ones use 13.
constexpr double kSmallRatio = 11.0 / 13.0;
constexpr double kMiniRatio = 9.0 / 13.0;
constexpr int kCellMargin = 4;

QFont scaled(const QFont &base, double ratio)
{
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(std::max(6.0, base.pointSizeF() * ratio));
    else
        font.setPixelSize(std::max(8, int(std::lround(base.pixelSize() * ratio))));
    return font;
}
} // namespace

KLVRRWCInspectorStyledTextDelegate::KLVRRWCInspectorStyledTextDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QFont KLVRRWCInspectorStyledTextDelegate::smallFont(const QFont &base)
{
    return scaled(base, kSmallRatio);
}

QFont KLVRRWCInspectorStyledTextDelegate::miniFont(const QFont &base)
{
    return scaled(base, kMiniRatio);
}

QFont KLVRRWCInspectorStyledTextDelegate::fontFor(KLVRRWCStyledText::Role role, const QFont &base)
{
    return role == KLVRRWCStyledText::Role::Primary ? smallFont(base) : miniFont(base);
}

QColor KLVRRWCInspectorStyledTextDelegate::colourFor(KLVRRWCStyledText::Role role, const QPalette &palette)
{
    if (role == KLVRRWCStyledText::Role::Secondary)
        return palette.color(QPalette::Disabled, QPalette::Text);
    return palette.color(QPalette::Active, QPalette::Text);
}

double KLVRRWCInspectorStyledTextDelegate::widthOf(const KLVRRWCStyledText &text, const QFont &base)
{
    double width = 0;
    for (const KLVRRWCStyledText::Piece &piece : text.pieces())
        width += QFontMetricsF(fontFor(piece.role, base)).horizontalAdvance(piece.text);
    return width;
}

void KLVRRWCInspectorStyledTextDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->font = smallFont(option->font);
    option->fontMetrics = QFontMetrics(option->font);
}

void KLVRRWCInspectorStyledTextDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant styled = index.data(StyledTextRole);
    if (styled.userType() != qMetaTypeId<KLVRRWCStyledText>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    painter->save();
    // Pieces of different sizes share one baseline, centred on the primary font's line.
    const QFont primary = fontFor(KLVRRWCStyledText::Role::Primary, option.font);
    const QFontMetricsF primaryMetrics(primary);
    const double baseline = option.rect.top() + (option.rect.height() - primaryMetrics.height()) / 2.0 + primaryMetrics.ascent();
    double x = option.rect.left() + kCellMargin;
    const KLVRRWCStyledText text = styled.value<KLVRRWCStyledText>();
    for (const KLVRRWCStyledText::Piece &piece : text.pieces()) {
        const QFont font = fontFor(piece.role, option.font);
        painter->setFont(font);
        painter->setPen(colourFor(piece.role, option.palette));
        painter->drawText(QPointF(x, baseline), piece.text);
        x += QFontMetricsF(font).horizontalAdvance(piece.text);
    }
    painter->restore();
}

QSize KLVRRWCInspectorStyledTextDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant styled = index.data(StyledTextRole);
    if (styled.userType() != qMetaTypeId<KLVRRWCStyledText>())
        return QStyledItemDelegate::sizeHint(option, index);
    const QFontMetricsF metrics(smallFont(option.font));
    return QSize(int(std::ceil(widthOf(styled.value<KLVRRWCStyledText>(), option.font))) + 2 * kCellMargin,
                 int(std::ceil(metrics.height())) + 2);
}

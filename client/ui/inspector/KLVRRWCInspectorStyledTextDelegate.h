// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCStyledText.h"

#include <QStyledItemDelegate>

// Draws the inspector's table cells. A cell holding KLVRRWCStyledText (the statistics' figure,
// unit sign and duration) shows each piece in the look of its role: the figure in the small
// control font, the sign in the mini font in the text colour, the duration in the mini font,
// dimmed. Other cells are drawn as usual, in the small control font.
class KLVRRWCInspectorStyledTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCInspectorStyledTextDelegate)

public:
    // The item role under which a cell offers its styled text.
    static constexpr int StyledTextRole = Qt::UserRole + 1;

    explicit KLVRRWCInspectorStyledTextDelegate(QObject *parent = nullptr);

    // The font of small controls and of mini controls, derived from the widget's font.
    static QFont smallFont(const QFont &base);
    static QFont miniFont(const QFont &base);
    // The font and colour of a piece of styled text.
    static QFont fontFor(KLVRRWCStyledText::Role role, const QFont &base);
    static QColor colourFor(KLVRRWCStyledText::Role role, const QPalette &palette);
    // The width the pieces take side by side.
    static double widthOf(const KLVRRWCStyledText &text, const QFont &base);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

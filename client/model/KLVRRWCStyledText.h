// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// A short text made of pieces, each with the role that decides its look (the inspector maps
// roles to fonts and colours), so figures are worked out once and styled wherever shown.
class KLVRRWCStyledText
{
public:
    enum class Role {
        Primary,   // the figure itself, in the regular small font
        Secondary, // supporting text, in the small label font and a dimmed colour
        Emphasis,  // a unit sign between them, in the small label font and the control-text colour
    };

    struct Piece
    {
        QString text;
        Role role = Role::Primary;
        friend bool operator==(const Piece &a, const Piece &b) { return a.text == b.text && a.role == b.role; }
    };

    KLVRRWCStyledText() = default;

    KLVRRWCStyledText &append(const QString &text, Role role);
    const QList<Piece> &pieces() const { return m_pieces; }
    // The pieces' texts joined, for plain-text export and for QVariant::toString().
    QString toString() const;

    friend bool operator==(const KLVRRWCStyledText &a, const KLVRRWCStyledText &b) { return a.m_pieces == b.m_pieces; }

private:
    QList<Piece> m_pieces;
};

Q_DECLARE_METATYPE(KLVRRWCStyledText)

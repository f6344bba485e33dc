// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCStyledText.h"

namespace {

// Lets QVariant::toString() and the generic formatters show a styled text as its plain text.
const bool registeredConverter = QMetaType::registerConverter<KLVRRWCStyledText, QString>(&KLVRRWCStyledText::toString);

} // namespace

KLVRRWCStyledText &KLVRRWCStyledText::append(const QString &text, Role role)
{
    m_pieces.append(Piece{text, role});
    return *this;
}

QString KLVRRWCStyledText::toString() const
{
    (void)registeredConverter;
    QString text;
    for (const Piece &piece : m_pieces)
        text += piece.text;
    return text;
}

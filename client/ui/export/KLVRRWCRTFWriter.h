// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCAttributedString.h"

#include <QByteArray>
#include <QFont>
#include <QList>

class QTextDocument;

// Writes rich text as RTF that word processors, mail programs and unrtf read: one paragraph per
// row (or per block of a document), each run with its font, size, weight, slant, underline and
// colour. Backslashes and braces are escaped, characters beyond ASCII written as \uN? (UTF-16
// units, signed), tabs as \tab and line breaks inside a paragraph as \line. No document
// attributes (margins, paper) are written.
class KLVRRWCRTFWriter
{
public:
    // baseFont: what runs without a font of their own are written in.
    explicit KLVRRWCRTFWriter(const QFont &baseFont = QFont());

    // One paragraph per row, none empty after the last.
    QByteArray write(const QList<KLVRRWCAttributedString> &rows) const;
    // One paragraph per block of the document; the document's default font is the base font.
    static QByteArray write(const QTextDocument &document);

    // The text of a run as RTF, escaped.
    static QByteArray escape(const QString &text);

private:
    QFont m_baseFont;
};

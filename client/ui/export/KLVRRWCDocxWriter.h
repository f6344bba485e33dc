// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// Writes a Word document (Office Open XML, .docx): paragraphs are appended one by one, as
// plain lines (a tab in a line stays a tab) or taken from rich text with their bold, italic,
// underline, size and colour; finish() packs the document with its content types,
// relationships, styles and properties into a zip. Characters that XML cannot hold (control
// characters, lone surrogates) are dropped. Needs no widgets.
class KLVRRWCDocxWriter
{
public:
    // title: the document's title in its properties.
    explicit KLVRRWCDocxWriter(const QString &title = QString());

    void appendParagraph(const QString &line);
    // Every block of the document as a paragraph; an empty document adds nothing.
    void appendRichText(const QTextDocument &document);
    // The same from Qt rich text (HTML); empty text adds nothing.
    void appendRichText(const QString &html);
    qsizetype paragraphCount() const { return m_paragraphs; }

    // The .docx file's bytes; empty, with error filled, when the zip could not be made.
    QByteArray finish(QString *error = nullptr) const;

    // XML-escapes text into out, leaving out what XML 1.0 cannot hold.
    static void appendEscaped(QByteArray &out, QStringView text);

private:
    QString m_title;
    QByteArray m_body;
    qsizetype m_paragraphs = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QTextCharFormat>

class QTextCursor;
class QTextDocument;

// Text whose characters carry fonts and colours: a list of runs, each a piece of text with one
// character format. Light enough to make for every row copied out of the log; a line break
// inside it is QChar::LineSeparator, so one attributed string is always one paragraph.
class KLVRRWCAttributedString
{
public:
    struct Run
    {
        QString text;
        QTextCharFormat format;
    };

    KLVRRWCAttributedString() = default;
    explicit KLVRRWCAttributedString(const QString &text, const QTextCharFormat &format = {});
    // The runs of a document's first paragraph (later paragraphs join it with a line break).
    static KLVRRWCAttributedString fromDocument(const QTextDocument &document);

    const QList<Run> &runs() const { return m_runs; }
    bool isEmpty() const { return m_runs.isEmpty(); }
    void append(const QString &text, const QTextCharFormat &format);
    void append(const KLVRRWCAttributedString &other);

    // The characters without their formats.
    QString string() const;
    // Replaces the first occurrence of marker with text; the replacement takes the format of the
    // marker's first character. False, and nothing changed, when the marker is absent.
    bool replaceFirst(const QString &marker, const QString &text);

    // Inserts the runs at the cursor, each with its own format.
    void insertInto(QTextCursor &cursor) const;
    // A document holding the text, without margins, in the given default font.
    void fillDocument(QTextDocument &document) const;

    friend bool operator==(const KLVRRWCAttributedString &a, const KLVRRWCAttributedString &b);

private:
    QList<Run> m_runs;
};

Q_DECLARE_METATYPE(KLVRRWCAttributedString)

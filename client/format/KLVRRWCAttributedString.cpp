// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCAttributedString.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

KLVRRWCAttributedString::KLVRRWCAttributedString(const QString &text, const QTextCharFormat &format)
{
    append(text, format);
}

KLVRRWCAttributedString KLVRRWCAttributedString::fromDocument(const QTextDocument &document)
{
    KLVRRWCAttributedString result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            result.append(QString(QChar::LineSeparator), block.charFormat());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                result.append(fragment.text(), fragment.charFormat());
        }
    }
    return result;
}

void KLVRRWCAttributedString::append(const QString &text, const QTextCharFormat &format)
{
    if (text.isEmpty())
        return;
    if (!m_runs.isEmpty() && m_runs.last().format == format)
        m_runs.last().text += text;
    else
        m_runs.append(Run{text, format});
}

void KLVRRWCAttributedString::append(const KLVRRWCAttributedString &other)
{
    for (const Run &run : other.m_runs)
        append(run.text, run.format);
}

QString KLVRRWCAttributedString::string() const
{
    if (m_runs.size() == 1)
        return m_runs.first().text;
    QString text;
    for (const Run &run : m_runs)
        text += run.text;
    return text;
}

bool KLVRRWCAttributedString::replaceFirst(const QString &marker, const QString &text)
{
    const qsizetype at = string().indexOf(marker);
    if (at < 0 || marker.isEmpty())
        return false;
    QList<Run> runs;
    runs.reserve(m_runs.size() + 1);
    qsizetype position = 0;
    const qsizetype end = at + marker.size();
    bool inserted = false;
    for (const Run &run : std::as_const(m_runs)) {
        const qsizetype runStart = position;
        const qsizetype runEnd = position + run.text.size();
        position = runEnd;
        if (runEnd <= at || runStart >= end) {
            runs.append(run);
            continue;
        }
        // This run holds part of the marker: keep what lies outside it.
        if (runStart < at)
            runs.append(Run{run.text.left(at - runStart), run.format});
        if (!inserted) {
            if (!text.isEmpty())
                runs.append(Run{text, run.format});
            inserted = true;
        }
        if (runEnd > end)
            runs.append(Run{run.text.mid(end - runStart), run.format});
    }
    m_runs.clear();
    for (const Run &run : std::as_const(runs))
        append(run.text, run.format);
    return true;
}

void KLVRRWCAttributedString::insertInto(QTextCursor &cursor) const
{
    for (const Run &run : m_runs)
        cursor.insertText(run.text, run.format);
}

void KLVRRWCAttributedString::fillDocument(QTextDocument &document) const
{
    document.clear();
    document.setDocumentMargin(0);
    QTextCursor cursor(&document);
    insertInto(cursor);
}

bool operator==(const KLVRRWCAttributedString &a, const KLVRRWCAttributedString &b)
{
    if (a.m_runs.size() != b.m_runs.size())
        return false;
    for (qsizetype i = 0; i < a.m_runs.size(); ++i) {
        if (a.m_runs[i].text != b.m_runs[i].text || a.m_runs[i].format != b.m_runs[i].format)
            return false;
    }
    return true;
}

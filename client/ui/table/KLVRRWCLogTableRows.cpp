// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogTableRows.h"

#include "KLVRRWCRTFWriter.h"

#include <QMimeData>

namespace {

QString htmlRun(const KLVRRWCAttributedString::Run &run)
{
    QString style;
    const QTextCharFormat &format = run.format;
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold)
        style += QStringLiteral("font-weight:bold;");
    if (format.hasProperty(QTextFormat::FontItalic) && format.fontItalic())
        style += QStringLiteral("font-style:italic;");
    if (format.hasProperty(QTextFormat::FontSizeAdjustment) && format.intProperty(QTextFormat::FontSizeAdjustment) < 0)
        style += QStringLiteral("font-size:smaller;");
    if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush)
        style += QStringLiteral("color:") + format.foreground().color().name() + QLatin1Char(';');
    QString text = run.text.toHtmlEscaped();
    text.replace(QChar::LineSeparator, QStringLiteral("<br>"));
    return style.isEmpty() ? text : QStringLiteral("<span style=\"") + style + QStringLiteral("\">") + text + QStringLiteral("</span>");
}

} // namespace

QString KLVRRWCLogTableRows::tabularText() const
{
    QString text;
    for (qsizetype r = 0; r < m_rows.size(); ++r) {
        const Row &row = m_rows[r];
        for (qsizetype c = 0; c < row.size(); ++c) {
            QString cell = row[c].string();
            cell.replace(QChar::LineSeparator, QLatin1Char(' '));
            cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
            cell.replace(QLatin1Char('\t'), QLatin1Char(' '));
            text += cell;
            if (c + 1 < row.size())
                text += QLatin1Char('\t');
        }
        if (r + 1 < m_rows.size())
            text += QLatin1Char('\n');
    }
    return text;
}

QList<KLVRRWCAttributedString> KLVRRWCLogTableRows::attributedRows() const
{
    QList<KLVRRWCAttributedString> rows;
    rows.reserve(m_rows.size());
    for (const Row &row : m_rows) {
        KLVRRWCAttributedString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            line.append(row[c]);
            if (c + 1 < row.size())
                line.append(QStringLiteral("\t"), QTextCharFormat());
        }
        rows.append(line);
    }
    return rows;
}

QByteArray KLVRRWCLogTableRows::rtf() const
{
    return KLVRRWCRTFWriter(m_font).write(attributedRows());
}

QString KLVRRWCLogTableRows::html() const
{
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>\n");
    for (const Row &row : m_rows) {
        html += QStringLiteral("<tr>");
        for (const KLVRRWCAttributedString &cell : row) {
            html += QStringLiteral("<td>");
            for (const KLVRRWCAttributedString::Run &run : cell.runs())
                html += htmlRun(run);
            html += QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</table></body></html>\n");
    return html;
}

void KLVRRWCLogTableRows::writeTo(QMimeData *data) const
{
    data->setData(QStringLiteral("text/rtf"), rtf());
    data->setText(tabularText());
    data->setHtml(html());
}

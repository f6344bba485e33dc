// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCRTFWriter.h"

#include <QColor>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <cmath>

namespace {

// What one run is written in, resolved against the base font.
struct RunStyle
{
    QString family;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor colour;
};

RunStyle styleOf(const QTextCharFormat &format, const QFont &base)
{
    RunStyle style;
    const QStringList families = format.fontFamilies().toStringList();
    style.family = families.isEmpty() ? base.family() : families.first();
    double points = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize() : base.pointSizeF();
    if (points <= 0)
        points = 12;
    // Relative sizes ("small", "large") scale by steps of 1.2, as the rich-text layout does.
    if (format.hasProperty(QTextFormat::FontSizeAdjustment))
        points *= std::pow(1.2, format.intProperty(QTextFormat::FontSizeAdjustment));
    style.halfPoints = qMax(2, int(std::lround(points * 2)));
    style.bold = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() >= QFont::DemiBold : base.bold();
    style.italic = format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : base.italic();
    style.underline = format.hasProperty(QTextFormat::TextUnderlineStyle) || format.hasProperty(QTextFormat::FontUnderline)
                          ? format.fontUnderline()
                          : base.underline();
    if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush)
        style.colour = format.foreground().color();
    return style;
}

} // namespace

KLVRRWCRTFWriter::KLVRRWCRTFWriter(const QFont &baseFont)
    : m_baseFont(baseFont)
{
}

QByteArray KLVRRWCRTFWriter::escape(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator || u == '\n') {
            out += "\\line ";
        } else if (u == QChar::ParagraphSeparator) {
            out += "\\par ";
        } else if (u < 0x20) {
            // Other control characters have no place in text.
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // RTF's \u takes a signed 16-bit number; "?" is what readers without Unicode show.
            out += "\\u" + QByteArray::number(int(qint16(u))) + '?';
        }
    }
    return out;
}

QByteArray KLVRRWCRTFWriter::write(const QList<KLVRRWCAttributedString> &rows) const
{
    QStringList fonts;
    QList<QColor> colours;
    QByteArray body;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        body += "\\pard\\plain ";
        for (const KLVRRWCAttributedString::Run &run : rows[row].runs()) {
            const RunStyle style = styleOf(run.format, m_baseFont);
            qsizetype font = fonts.indexOf(style.family);
            if (font < 0) {
                font = fonts.size();
                fonts.append(style.family);
            }
            body += "{\\f" + QByteArray::number(font) + "\\fs" + QByteArray::number(style.halfPoints);
            if (style.bold)
                body += "\\b";
            if (style.italic)
                body += "\\i";
            if (style.underline)
                body += "\\ul";
            if (style.colour.isValid()) {
                const QColor rgb = style.colour.toRgb();
                qsizetype colour = colours.indexOf(rgb);
                if (colour < 0) {
                    colour = colours.size();
                    colours.append(rgb);
                }
                // Colour 0 of the table is the reader's automatic colour.
                body += "\\cf" + QByteArray::number(colour + 1);
            }
            body += ' ' + escape(run.text) + '}';
        }
        if (row + 1 < rows.size())
            body += "\\par";
        body += '\n';
    }

    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    if (fonts.isEmpty())
        fonts.append(m_baseFont.family());
    for (qsizetype i = 0; i < fonts.size(); ++i)
        rtf += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 " + escape(fonts[i]) + ";}";
    rtf += "}\n{\\colortbl;";
    for (const QColor &colour : std::as_const(colours))
        rtf += "\\red" + QByteArray::number(colour.red()) + "\\green" + QByteArray::number(colour.green()) + "\\blue" +
               QByteArray::number(colour.blue()) + ';';
    rtf += "}\n" + body + "}\n";
    return rtf;
}

QByteArray KLVRRWCRTFWriter::write(const QTextDocument &document)
{
    QList<KLVRRWCAttributedString> rows;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        KLVRRWCAttributedString row;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().isValid())
                row.append(it.fragment().text(), it.fragment().charFormat());
        }
        rows.append(row);
    }
    return KLVRRWCRTFWriter(document.defaultFont()).write(rows);
}

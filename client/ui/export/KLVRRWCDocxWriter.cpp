// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDocxWriter.h"

#include "KLVRBundle.h"

#include <QColor>
#include <QDateTime>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <memory>
#include <zip.h>

namespace {

const char kContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "<Override PartName=\"/word/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
    "<Override PartName=\"/docProps/core.xml\" "
    "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
    "<Override PartName=\"/docProps/app.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
    "</Types>";

const char kPackageRelationships[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" "
    "Target=\"docProps/core.xml\"/>"
    "<Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" "
    "Target=\"docProps/app.xml\"/>"
    "</Relationships>";

const char kDocumentRelationships[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "</Relationships>";

// Entry lines are a date and a summary separated by a tab: one tab stop wide enough for the
// date ("2024-03-05 09:00:00 +0000") keeps the summaries in a column.
const char kStyles[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:docDefaults><w:rPrDefault><w:rPr><w:sz w:val=\"20\"/><w:szCs w:val=\"20\"/></w:rPr></w:rPrDefault>"
    "<w:pPrDefault><w:pPr><w:spacing w:after=\"0\" w:line=\"240\" w:lineRule=\"auto\"/></w:pPr></w:pPrDefault>"
    "</w:docDefaults>"
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/>"
    "<w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"3600\"/></w:tabs></w:pPr></w:style>"
    "</w:styles>";

const char kDocumentStart[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";

const char kDocumentEnd[] =
    "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
    "<w:pgMar w:top=\"1134\" w:right=\"1134\" w:bottom=\"1134\" w:left=\"1134\" w:header=\"567\" w:footer=\"567\" w:gutter=\"0\"/>"
    "</w:sectPr></w:body></w:document>";

bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends text as runs' contents: tabs become tab elements, line breaks break elements.
void appendRunContent(QByteArray &out, QStringView text)
{
    qsizetype start = 0;
    const auto flush = [&](qsizetype end) {
        if (end <= start)
            return;
        const QStringView piece = text.sliced(start, end - start);
        const bool preserve = piece.front().isSpace() || piece.back().isSpace();
        out += preserve ? "<w:t xml:space=\"preserve\">" : "<w:t>";
        KLVRRWCDocxWriter::appendEscaped(out, piece);
        out += "</w:t>";
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QChar::LineSeparator) {
            flush(i);
            out += c == QLatin1Char('\t') ? "<w:tab/>" : "<w:br/>";
            start = i + 1;
        }
    }
    flush(text.size());
}

QByteArray runProperties(const QTextCharFormat &format)
{
    QByteArray properties;
    if (format.fontWeight() >= QFont::DemiBold)
        properties += "<w:b/>";
    if (format.fontItalic())
        properties += "<w:i/>";
    if (format.fontUnderline())
        properties += "<w:u w:val=\"single\"/>";
    if (format.hasProperty(QTextFormat::ForegroundBrush)) {
        const QColor colour = format.foreground().color();
        if (colour.isValid() && colour != Qt::black)
            properties += "<w:color w:val=\"" + colour.name().mid(1).toUpper().toLatin1() + "\"/>";
    }
    const double points = format.fontPointSize();
    if (points > 0) {
        const QByteArray halfPoints = QByteArray::number(qRound(points * 2));
        properties += "<w:sz w:val=\"" + halfPoints + "\"/><w:szCs w:val=\"" + halfPoints + "\"/>";
    }
    return properties.isEmpty() ? properties : "<w:rPr>" + properties + "</w:rPr>";
}

QByteArray alignment(Qt::Alignment align)
{
    if (align & Qt::AlignHCenter)
        return "<w:pPr><w:jc w:val=\"center\"/></w:pPr>";
    if (align & Qt::AlignRight)
        return "<w:pPr><w:jc w:val=\"right\"/></w:pPr>";
    if (align & Qt::AlignJustify)
        return "<w:pPr><w:jc w:val=\"both\"/></w:pPr>";
    return {};
}

struct ZipDeleter
{
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
struct SourceDeleter
{
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};

QString zipErrorText(zip_error_t *error)
{
    return QString::fromUtf8(zip_error_strerror(error));
}

} // namespace

KLVRRWCDocxWriter::KLVRRWCDocxWriter(const QString &title)
    : m_title(title)
{
}

void KLVRRWCDocxWriter::appendEscaped(QByteArray &out, QStringView text)
{
    // Plain ASCII, the usual case, goes through a byte at a time; anything else by code point.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (isXmlCharacter(c))
                    out += char(c);
            }
            continue;
        }
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1).unicode());
            ++i;
        }
        if (!isXmlCharacter(code))
            continue;
        out += QString::fromUcs4(&code, 1).toUtf8();
    }
}

void KLVRRWCDocxWriter::appendParagraph(const QString &line)
{
    m_body += "<w:p>";
    if (!line.isEmpty()) {
        m_body += "<w:r>";
        appendRunContent(m_body, line);
        m_body += "</w:r>";
    }
    m_body += "</w:p>";
    ++m_paragraphs;
}

void KLVRRWCDocxWriter::appendRichText(const QTextDocument &document)
{
    if (document.isEmpty())
        return;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        m_body += "<w:p>";
        m_body += alignment(block.blockFormat().alignment());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || fragment.text().isEmpty())
                continue;
            m_body += "<w:r>";
            m_body += runProperties(fragment.charFormat());
            appendRunContent(m_body, fragment.text());
            m_body += "</w:r>";
        }
        m_body += "</w:p>";
        ++m_paragraphs;
    }
}

void KLVRRWCDocxWriter::appendRichText(const QString &html)
{
    if (html.trimmed().isEmpty())
        return;
    QTextDocument document;
    document.setHtml(html);
    appendRichText(document);
}

QByteArray KLVRRWCDocxWriter::finish(QString *error) const
{
    QByteArray document;
    document.reserve(qsizetype(sizeof kDocumentStart) + m_body.size() + qsizetype(sizeof kDocumentEnd));
    document += kDocumentStart;
    document += m_body;
    document += kDocumentEnd;

    const QString created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    QByteArray core = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                      "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
                      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><dc:title>";
    appendEscaped(core, m_title);
    core += "</dc:title><dcterms:created xsi:type=\"dcterms:W3CDTF\">" + created.toLatin1()
            + "</dcterms:created></cp:coreProperties>";
    QByteArray app = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                     "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
                     "<Application>";
    appendEscaped(app, KLVRBundle::main().name());
    app += "</Application></Properties>";

    const struct
    {
        const char *name;
        QByteArrayView data;
    } parts[] = {
        {"[Content_Types].xml", QByteArrayView(kContentTypes, qsizetype(sizeof kContentTypes) - 1)},
        {"_rels/.rels", QByteArrayView(kPackageRelationships, qsizetype(sizeof kPackageRelationships) - 1)},
        {"word/document.xml", document},
        {"word/_rels/document.xml.rels", QByteArrayView(kDocumentRelationships, qsizetype(sizeof kDocumentRelationships) - 1)},
        {"word/styles.xml", QByteArrayView(kStyles, qsizetype(sizeof kStyles) - 1)},
        {"docProps/core.xml", core},
        {"docProps/app.xml", app},
    };

    zip_error_t zipError;
    zip_error_init(&zipError);
    std::unique_ptr<zip_source_t, SourceDeleter> buffer(zip_source_buffer_create(nullptr, 0, 0, &zipError));
    if (!buffer) {
        if (error) *error = zipErrorText(&zipError);
        zip_error_fini(&zipError);
        return {};
    }
    std::unique_ptr<zip_t, ZipDeleter> archive(zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &zipError));
    if (!archive) {
        if (error) *error = zipErrorText(&zipError);
        zip_error_fini(&zipError);
        return {};
    }
    zip_error_fini(&zipError);
    // The archive takes a reference of its own; ours keeps the bytes after it is closed.
    zip_source_keep(buffer.get());

    const auto fail = [&](zip_t *za) {
        if (error) *error = QString::fromUtf8(zip_strerror(za));
        return QByteArray();
    };
    for (const auto &part : parts) {
        zip_source_t *source = zip_source_buffer(archive.get(), part.data.data(), zip_uint64_t(part.data.size()), 0);
        if (!source)
            return fail(archive.get());
        const zip_int64_t index = zip_file_add(archive.get(), part.name, source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return fail(archive.get());
        }
        // Fast deflate: the document is highly repetitive, and a year of entries should pack in
        // a moment.
        zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    if (zip_close(archive.get()) != 0)
        return fail(archive.get());
    (void)archive.release();

    if (zip_source_open(buffer.get()) != 0) {
        if (error) *error = QString::fromUtf8(zip_error_strerror(zip_source_error(buffer.get())));
        return {};
    }
    zip_source_seek(buffer.get(), 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer.get());
    zip_source_seek(buffer.get(), 0, SEEK_SET);
    QByteArray bytes(qsizetype(size > 0 ? size : 0), Qt::Uninitialized);
    const zip_int64_t read = size > 0 ? zip_source_read(buffer.get(), bytes.data(), zip_uint64_t(size)) : 0;
    zip_source_close(buffer.get());
    if (read != size) {
        if (error) *error = QStringLiteral("the document could not be read back from its zip");
        return {};
    }
    return bytes;
}

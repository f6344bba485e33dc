// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogExporter.h"

#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCDocxWriter.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCProcessList.h"
#include "KLVRRWCPropertyListXmlWriter.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCRTFWriter.h"

#include <QBuffer>
#include <QFile>
#include <QIODevice>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace {

bool put(QIODevice *device, const QByteArray &bytes, QString *error)
{
    if (device->write(bytes) == bytes.size())
        return true;
    if (error) *error = device->errorString();
    return false;
}

bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text with what XML 1.0 cannot hold (control characters, lone surrogates) replaced by
// U+FFFD: a process named with an escape character would otherwise make the whole property
// list unreadable.
QString xmlSafeText(const QString &text)
{
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 ? !isXmlCharacter(c) : (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE)
            break;
    }
    if (i == text.size())
        return text;
    QString safe;
    safe.reserve(text.size());
    for (const char32_t code : text.toUcs4())
        safe += isXmlCharacter(code) ? QString::fromUcs4(&code, 1) : QString(QChar::ReplacementCharacter);
    return safe;
}

QVariant xmlSafe(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return xmlSafeText(value.toString());
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        QVariantList list = value.toList();
        for (QVariant &item : list)
            item = xmlSafe(item);
        return list;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QVariantMap safe;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            safe.insert(xmlSafeText(it.key()), xmlSafe(it.value()));
        return safe;
    }
    default:
        return value;
    }
}

// KLVRRWCLogEntry::propertyListSafe(), leaving process lists as they are.
QVariant propertyListSafeKeepingProcesses(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap safe;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            safe.insert(it.key(), propertyListSafeKeepingProcesses(it.value()));
        return safe;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList safe;
        for (const QVariant &item : value.toList())
            safe.append(propertyListSafeKeepingProcesses(item));
        return safe;
    }
    if (value.userType() == qMetaTypeId<KLVRRWCDuration>())
        return value.value<KLVRRWCDuration>().stringValue();
    return value;
}

// A line holds three fields and ends its entry: a tab or a line break inside a field (a process
// may name itself anything) would shift or split it, so each becomes a space.
void keepInField(QString &text, qsizetype from)
{
    QChar *data = text.data();
    for (qsizetype i = from; i < text.size(); ++i) {
        const char16_t c = data[i].unicode();
        if (c == '\t' || c == '\n' || c == '\r')
            data[i] = QLatin1Char(' ');
    }
}

} // namespace

KLVRRWCLogExporter::KLVRRWCLogExporter(const KLVRRWCLog *log)
    : m_log(log)
    , m_prefix(bundleRichText(QStringLiteral("ExportPrefix")))
    , m_suffix(bundleRichText(QStringLiteral("ExportSuffix")))
{
}

QString KLVRRWCLogExporter::bundleRichText(const QString &name)
{
    const QString path = KLVRBundle::main().pathForResource(name, QStringLiteral("html"));
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcRWCExport).noquote() << "KLVRRWCLogExporter cannot read" << path << file.errorString();
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString KLVRRWCLogExporter::dateDescription(KLVRAbsoluteTime date)
{
    // The UTC calendar worked out by hand: going through the local time zone and a date format
    // for every entry was most of the time of a long export.
    if (!date.isValid())
        return KLVRRWCAbsoluteDuration::dateDescription(date);
    const double milliseconds = std::floor(date.toUnix() * 1000.0 + 0.5);
    // Years 1 to 9999 only; the rest as the calendar writes them.
    if (!(milliseconds >= -62135596800000.0 && milliseconds < 253402300800000.0))
        return KLVRRWCAbsoluteDuration::dateDescription(date);
    const qint64 seconds = qint64(std::floor(milliseconds / 1000.0));
    qint64 days = seconds / 86400;
    qint64 ofDay = seconds % 86400;
    if (ofDay < 0) {
        ofDay += 86400;
        --days;
    }
    // Days since 1970-01-01 to year, month and day (the proleptic Gregorian calendar).
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const int hour = int(ofDay / 3600);
    const int minute = int(ofDay / 60 % 60);
    const int second = int(ofDay % 60);

    QString text(25, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const auto digits = [&out](int value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            out[i] = char16_t(u'0' + value % 10);
            value /= 10;
        }
        out += count;
    };
    digits(year, 4);
    *out++ = u'-';
    digits(month, 2);
    *out++ = u'-';
    digits(day, 2);
    *out++ = u' ';
    digits(hour, 2);
    *out++ = u':';
    digits(minute, 2);
    *out++ = u':';
    digits(second, 2);
    for (const char16_t c : u" +0000")
        if (c)
            *out++ = c;
    return text;
}

QString KLVRRWCLogExporter::richTextLine(const KLVRRWCLogEntry &entry)
{
    return dateDescription(entry.date()) + QLatin1Char('\t') + entry.summary();
}

bool KLVRRWCLogExporter::supportsType(const QString &type)
{
    return type == KLVRRWCExportFormat::kTabularTextType || type == KLVRRWCExportFormat::kRichTextType
           || type == KLVRRWCExportFormat::kWordType || type == KLVRRWCExportFormat::kPropertyListType;
}

bool KLVRRWCLogExporter::progress(qint64 done, qint64 total) const
{
    return !m_progress || m_progress(done, total);
}

KLVRRWCLogExporter::Result KLVRRWCLogExporter::write(const QString &type, QIODevice *device, QString *error)
{
    if (type == KLVRRWCExportFormat::kTabularTextType)
        return writeTabularText(device, error);
    if (type == KLVRRWCExportFormat::kRichTextType)
        return writeRichText(device, error);
    if (type == KLVRRWCExportFormat::kWordType)
        return writeWord(device, error);
    if (type == KLVRRWCExportFormat::kPropertyListType)
        return writePropertyList(device, error);
    qCWarning(lcRWCExport).noquote() << KLVRFormat::string(QStringLiteral("Unsupported KLVRLog::dataRepresentationOfType:%@"), type);
    return Result::UnsupportedType;
}

QByteArray KLVRRWCLogExporter::dataRepresentationOfType(const QString &type)
{
    QByteArray bytes("");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    switch (write(type, &buffer, &error)) {
    case Result::Written:
        return bytes;
    case Result::UnsupportedType:
        return QByteArray();
    case Result::Failed:
        qCWarning(lcRWCExport).noquote() << KLVRFormat::string(QStringLiteral("Error: %@"), error);
        return QByteArray("");
    case Result::Cancelled:
        return QByteArray("");
    }
    return QByteArray();
}

void KLVRRWCLogExporter::appendTabularLine(QByteArray &out, const KLVRRWCLogEntry &entry, ProcessTexts &processTexts)
{
    // The entry's exportAsTabSeparatedString(), built in place as UTF-8. Process lists are the
    // bulk of years of text and are shared between the entries that repeat them, so each shared
    // list is laid out once; the rest of the line is gathered as text and converted around them.
    static const QString separator = QStringLiteral(", ");
    QString pending = dateDescription(entry.date());
    pending += QLatin1Char('\t');
    qsizetype field = pending.size();
    pending += entry.summary();
    keepInField(pending, field);
    pending += QLatin1Char('\t');
    field = pending.size();
    const auto flush = [&out, &pending, &field] {
        keepInField(pending, field);
        out += pending.toUtf8();
        pending.clear();
        field = 0;
    };
    QStringList names;
    QVariantMap values;
    entry.readAttributesOnce(&names, &values);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            pending += separator;
        const QString &name = names.at(i);
        const QVariant value = values.value(name);
        pending += name;
        if (value.typeId() == QMetaType::QVariantMap) {
            const QVariantMap map = value.toMap();
            pending += QStringLiteral(":[");
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                if (it != map.cbegin())
                    pending += separator;
                pending += it.key();
                pending += QLatin1Char(':');
                pending += KLVRRWCLogEntry::describe(it.value());
            }
            pending += QLatin1Char(']');
        } else if (value.typeId() == QMetaType::QVariantList) {
            const QVariantList list = value.toList();
            pending += QStringLiteral(":(");
            for (qsizetype j = 0; j < list.size(); ++j) {
                if (j > 0)
                    pending += separator;
                pending += KLVRRWCLogEntry::describe(list.at(j));
            }
            pending += QLatin1Char(')');
        } else if (value.userType() == qMetaTypeId<KLVRRWCProcessList>()) {
            const KLVRRWCProcessList processes = value.value<KLVRRWCProcessList>();
            const void *storage = processes.isEmpty() ? nullptr : &processes.indexes();
            auto cached = processTexts.constFind(storage);
            if (cached == processTexts.cend()) {
                if (processTexts.size() > 256)
                    processTexts.clear();
                QString text = processes.toStringList().join(separator);
                keepInField(text, 0);
                cached = processTexts.insert(storage, text.toUtf8());
            }
            pending += QStringLiteral(":(");
            flush();
            out += cached.value();
            pending += QLatin1Char(')');
        }
    }
    flush();
}

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writeTabularText(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    QByteArray chunk;
    ProcessTexts processTexts;
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        chunk.resize(0);
        for (qint64 i = start; i < end; ++i) {
            appendTabularLine(chunk, *m_log->entries()[size_t(i)], processTexts);
            chunk += '\n';
        }
        if (!put(device, chunk, error))
            return Result::Failed;
    }
    progress(total, total);
    return Result::Written;
}

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writeWord(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    KLVRRWCDocxWriter writer(KLVRBundle::main().name());
    writer.appendRichText(m_prefix);
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        for (qint64 i = start; i < end; ++i)
            writer.appendParagraph(richTextLine(*m_log->entries()[size_t(i)]));
    }
    writer.appendRichText(m_suffix);
    if (!progress(total, total))
        return Result::Cancelled;
    const QByteArray document = writer.finish(error);
    if (document.isEmpty())
        return Result::Failed;
    return put(device, document, error) ? Result::Written : Result::Failed;
}

QVariantMap KLVRRWCLogExporter::propertyListDictionary(const KLVRRWCLogEntry &entry)
{
    // The entry's exportAsDictionary(), with its process lists left as they are: the property
    // list writer lays out a list that recurs once instead of copying its names for every entry.
    QVariantMap dictionary{{QStringLiteral("Date"), QVariant::fromValue(entry.date())}};
    const QString text = entry.summary();
    if (text.isEmpty())
        return dictionary;
    dictionary.insert(QStringLiteral("Summary"), text);
    if (entry.monitor().isEmpty())
        return dictionary;
    dictionary.insert(QStringLiteral("Monitor"), entry.monitor());
    QStringList names;
    QVariantMap values;
    entry.readAttributesOnce(&names, &values);
    dictionary.insert(QStringLiteral("Attributes"), propertyListSafeKeepingProcesses(values));
    return dictionary;
}

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writePropertyList(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    if (total == 0) {
        // The codec writes an empty array as <array/>.
        QString reason;
        const QByteArray document = KLVRPropertyList::write(QVariantList(), KLVRPropertyList::Format::Xml, &reason);
        if (document.isEmpty()) {
            if (error) *error = reason;
            return Result::Failed;
        }
        return put(device, document, error) ? Result::Written : Result::Failed;
    }
    // Entries are laid out straight into bytes; one the writer does not know goes through the
    // codec, which writes it the same way or refuses it with its reason (and whatever was
    // written is then not a finished document).
    KLVRRWCPropertyListXmlWriter writer;
    QByteArray buffer = KLVRRWCPropertyListXmlWriter::documentHeader();
    constexpr qsizetype kFlushSize = 1 << 20;
    buffer.reserve(2 * kFlushSize);
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        for (qint64 i = start; i < end; ++i) {
            const KLVRRWCLogEntry &entry = *m_log->entries()[size_t(i)];
            if (!writer.append(buffer, propertyListDictionary(entry), 1)) {
                QString reason;
                const QByteArray document = KLVRPropertyList::write(QVariantList{xmlSafe(entry.exportAsDictionary())},
                                                                    KLVRPropertyList::Format::Xml, &reason);
                const qsizetype open = document.indexOf("<array>\n");
                const qsizetype close = document.lastIndexOf("</array>");
                if (document.isEmpty() || open < 0 || close < open) {
                    if (error) *error = document.isEmpty() ? reason : QStringLiteral("unexpected property list layout");
                    return Result::Failed;
                }
                buffer += QByteArrayView(document).sliced(open + 8, close - open - 8);
            }
            if (buffer.size() >= kFlushSize) {
                if (!put(device, buffer, error))
                    return Result::Failed;
                buffer.resize(0);
            }
        }
    }
    buffer += KLVRRWCPropertyListXmlWriter::documentFooter();
    if (!put(device, buffer, error))
        return Result::Failed;
    progress(total, total);
    return Result::Written;
}

QByteArray KLVRRWCLogExporter::richTextDocument(const QStringList &lines, const QString &prefix, const QString &suffix)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    const auto insertRichText = [&cursor](const QString &richText, bool first) {
        if (richText.trimmed().isEmpty())
            return false;
        if (!first)
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertHtml(richText);
        return true;
    };
    const bool hasPrefix = insertRichText(prefix, true);
    if (!lines.isEmpty()) {
        // After the prefix, the lines start a paragraph of their own in no format of its own;
        // each line break makes a paragraph.
        if (hasPrefix)
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertText(lines.join(QLatin1Char('\n')), QTextCharFormat());
    }
    insertRichText(suffix, !hasPrefix && lines.isEmpty());
    return KLVRRWCRTFWriter::write(document);
}

namespace {

// The layout of the entries' paragraphs, read off small documents written by the RTF writer.
struct RichTextLayout
{
    QByteArray before; // everything up to the first entry's paragraph
    QByteArray lead, tail;         // around a paragraph's escaped text
    QByteArray empty;              // an empty paragraph
    QByteArray lastLead, lastTail; // the same for the last paragraph
    QByteArray emptyLast;
    QByteArray after; // everything after the last paragraph

    bool read(const QString &prefix, const QString &suffix);
};

bool RichTextLayout::read(const QString &prefix, const QString &suffix)
{
    static const QByteArray first = QByteArrayLiteral("KLVRRWCLogExporterFirstLine");
    static const QByteArray last = QByteArrayLiteral("KLVRRWCLogExporterLastLine");
    const QString firstText = QString::fromLatin1(first);
    const QString lastText = QString::fromLatin1(last);
    const QByteArray three = KLVRRWCLogExporter::richTextDocument({firstText, QString(), lastText}, prefix, suffix);
    const QByteArray two = KLVRRWCLogExporter::richTextDocument({firstText, QString()}, prefix, suffix);
    // Each paragraph is one line of the writer's output.
    const auto lineAround = [](const QByteArray &text, qsizetype at, qsizetype *begin, qsizetype *end) {
        if (at < 0)
            return false;
        *begin = text.lastIndexOf('\n', at) + 1;
        *end = text.indexOf('\n', at) + 1;
        return *begin > 0 && *end > 0;
    };
    qsizetype firstBegin, firstEnd, lastBegin, lastEnd, twoBegin, twoEnd;
    const qsizetype firstAt = three.indexOf(first);
    const qsizetype lastAt = three.indexOf(last);
    const qsizetype twoAt = two.indexOf(first);
    if (!lineAround(three, firstAt, &firstBegin, &firstEnd) || !lineAround(three, lastAt, &lastBegin, &lastEnd)
        || !lineAround(two, twoAt, &twoBegin, &twoEnd))
        return false;
    const qsizetype emptyEnd = three.indexOf('\n', firstEnd) + 1;
    const qsizetype emptyLastEnd = two.indexOf('\n', twoEnd) + 1;
    if (emptyEnd != lastBegin || emptyLastEnd <= 0 || two.mid(emptyLastEnd) != three.mid(lastEnd))
        return false;
    before = three.first(firstBegin);
    lead = three.sliced(firstBegin, firstAt - firstBegin);
    tail = three.sliced(firstAt + first.size(), firstEnd - firstAt - first.size());
    empty = three.sliced(firstEnd, emptyEnd - firstEnd);
    lastLead = three.sliced(lastBegin, lastAt - lastBegin);
    lastTail = three.sliced(lastAt + last.size(), lastEnd - lastAt - last.size());
    emptyLast = two.sliced(twoEnd, emptyLastEnd - twoEnd);
    after = three.sliced(lastEnd);
    return true;
}

// What makes a new paragraph when text goes into a document (a carriage return and line feed
// together make one).
bool breaksParagraph(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == 0xFDD0 || c == 0xFDD1;
}

} // namespace

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writeRichText(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    if (total == 0)
        return put(device, richTextDocument({}, m_prefix, m_suffix), error) ? Result::Written : Result::Failed;

    // The entries' lines are written paragraph by paragraph in the form the RTF writer gives a
    // small document of marked lines, so that years of lines never become one text document.
    RichTextLayout layout;
    if (!layout.read(m_prefix, m_suffix)) {
        if (error) *error = QStringLiteral("unexpected rich text layout");
        return Result::Failed;
    }
    QByteArray out = layout.before;
    constexpr qsizetype kFlushSize = 1 << 20;
    out.reserve(2 * kFlushSize);
    const auto paragraph = [&out, &layout](QStringView text, bool isLast) {
        if (text.isEmpty()) {
            out += isLast ? layout.emptyLast : layout.empty;
            return;
        }
        out += isLast ? layout.lastLead : layout.lead;
        out += KLVRRWCRTFWriter::escape(text.toString());
        out += isLast ? layout.lastTail : layout.tail;
    };
    // The lines as one text joined by line breaks: a line ending in a carriage return and the
    // break after it make one paragraph break.
    bool breakTaken = false;
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        for (qint64 i = start; i < end; ++i) {
            const QString line = richTextLine(*m_log->entries()[size_t(i)]);
            const bool lastLine = i + 1 == total;
            const char16_t *text = reinterpret_cast<const char16_t *>(line.utf16());
            const qsizetype length = line.size();
            qsizetype from = 0;
            breakTaken = false;
            for (qsizetype j = from; j < length; ++j) {
                if (!breaksParagraph(text[j]))
                    continue;
                paragraph(QStringView(text + from, j - from), false);
                if (text[j] == u'\r') {
                    if (j + 1 < length && text[j + 1] == u'\n') {
                        ++j;
                    } else if (j + 1 == length && !lastLine) {
                        // With the break that joins it to the next line.
                        breakTaken = true;
                    }
                }
                from = j + 1;
            }
            if (breakTaken && from == length) {
                // The paragraph ended with the carriage return; the next line starts its own.
                continue;
            }
            paragraph(QStringView(text + from, length - from), lastLine);
        }
        if (out.size() >= kFlushSize) {
            if (!put(device, out, error))
                return Result::Failed;
            out.resize(0);
        }
    }
    out += layout.after;
    if (!put(device, out, error))
        return Result::Failed;
    if (!progress(total, total))
        return Result::Cancelled;
    return Result::Written;
}

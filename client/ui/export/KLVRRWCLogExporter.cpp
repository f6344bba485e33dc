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
#include "KLVRRWCPropertyListArrayWriter.h"
#include "KLVRRWCRTFWriter.h"

#include <QBuffer>
#include <QFile>
#include <QIODevice>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

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

QString KLVRRWCLogExporter::richTextLine(const KLVRRWCLogEntry &entry)
{
    return KLVRRWCAbsoluteDuration::dateDescription(entry.date()) + QLatin1Char('\t') + entry.summary();
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

void KLVRRWCLogExporter::appendTabularLine(QString &out, const KLVRRWCLogEntry &entry, ProcessTexts &processTexts)
{
    // The entry's exportAsTabSeparatedString(), built in place. Process lists are the bulk of
    // years of text and are shared between the entries that repeat them, so each shared list
    // is written out once.
    static const QString separator = QStringLiteral(", ");
    out += KLVRRWCAbsoluteDuration::dateDescription(entry.date());
    out += QLatin1Char('\t');
    qsizetype field = out.size();
    out += entry.summary();
    keepInField(out, field);
    out += QLatin1Char('\t');
    field = out.size();
    const QStringList names = entry.attributes();
    const QVariantMap values = entry.attributeValues();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += separator;
        const QString &name = names.at(i);
        const QVariant value = values.value(name);
        out += name;
        if (value.typeId() == QMetaType::QVariantMap) {
            const QVariantMap map = value.toMap();
            out += QStringLiteral(":[");
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                if (it != map.cbegin())
                    out += separator;
                out += it.key();
                out += QLatin1Char(':');
                out += KLVRRWCLogEntry::describe(it.value());
            }
            out += QLatin1Char(']');
        } else if (value.typeId() == QMetaType::QVariantList) {
            const QVariantList list = value.toList();
            out += QStringLiteral(":(");
            for (qsizetype j = 0; j < list.size(); ++j) {
                if (j > 0)
                    out += separator;
                out += KLVRRWCLogEntry::describe(list.at(j));
            }
            out += QLatin1Char(')');
        } else if (value.userType() == qMetaTypeId<KLVRRWCProcessList>()) {
            const KLVRRWCProcessList processes = value.value<KLVRRWCProcessList>();
            const void *storage = processes.isEmpty() ? nullptr : &processes.indexes();
            auto cached = processTexts.find(storage);
            if (cached == processTexts.end()) {
                if (processTexts.size() > 256)
                    processTexts.clear();
                cached = processTexts.insert(storage, processes.toStringList().join(separator));
            }
            out += QStringLiteral(":(");
            out += cached.value();
            out += QLatin1Char(')');
        }
    }
    keepInField(out, field);
}

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writeTabularText(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    QString chunk;
    ProcessTexts processTexts;
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        chunk.clear();
        for (qint64 i = start; i < end; ++i) {
            appendTabularLine(chunk, *m_log->entries()[size_t(i)], processTexts);
            chunk += QLatin1Char('\n');
        }
        if (!put(device, chunk.toUtf8(), error))
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

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writePropertyList(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    KLVRRWCPropertyListArrayWriter writer(device);
    // The codec refuses values it cannot write; a refused entry ends the export with the
    // codec's reason and whatever was written is not a finished document.
    QString reason;
    QVariantList run;
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        run.clear();
        for (qint64 i = start; i < end; ++i)
            run.append(xmlSafe(m_log->entries()[size_t(i)]->exportAsDictionary()));
        if (!writer.append(run, &reason)) {
            if (error) *error = reason;
            return Result::Failed;
        }
    }
    if (!writer.finish(&reason)) {
        if (error) *error = reason;
        return Result::Failed;
    }
    progress(total, total);
    return Result::Written;
}

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writeRichText(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
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
    bool first = !insertRichText(m_prefix, true);
    // The entries go in as plain text, a chunk of lines at a time: each line break makes a
    // paragraph.
    QString chunk;
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        chunk.clear();
        for (qint64 i = start; i < end; ++i) {
            if (!first)
                chunk += QLatin1Char('\n');
            first = false;
            chunk += richTextLine(*m_log->entries()[size_t(i)]);
        }
        if (start == 0 && !m_prefix.trimmed().isEmpty()) {
            // After the prefix, the lines start a paragraph of their own in no format of its.
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
            chunk.remove(0, 1);
        }
        cursor.insertText(chunk, QTextCharFormat());
    }
    insertRichText(m_suffix, first);
    if (!progress(total, total))
        return Result::Cancelled;
    return put(device, KLVRRWCRTFWriter::write(document), error) ? Result::Written : Result::Failed;
}

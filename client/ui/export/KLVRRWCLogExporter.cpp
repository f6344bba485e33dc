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
#include "KLVRRWCPropertyListArrayWriter.h"

#include <QBuffer>
#include <QFile>
#include <QIODevice>
#include <algorithm>

namespace {

bool put(QIODevice *device, const QByteArray &bytes, QString *error)
{
    if (device->write(bytes) == bytes.size())
        return true;
    if (error) *error = device->errorString();
    return false;
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

KLVRRWCLogExporter::Result KLVRRWCLogExporter::writeTabularText(QIODevice *device, QString *error)
{
    const qint64 total = m_log->count();
    QString chunk;
    for (qint64 start = 0; start < total; start += kProgressStep) {
        if (!progress(start, total))
            return Result::Cancelled;
        const qint64 end = std::min(total, start + kProgressStep);
        chunk.clear();
        for (qint64 i = start; i < end; ++i) {
            chunk += m_log->entries()[size_t(i)]->exportAsTabSeparatedString();
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
            run.append(m_log->entries()[size_t(i)]->exportAsDictionary());
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
    Q_UNUSED(device);
    Q_UNUSED(error);
    return Result::UnsupportedType;
}

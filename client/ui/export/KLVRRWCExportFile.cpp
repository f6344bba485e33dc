// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCExportFile.h"

#include "KLVRFormat.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRStringsTable.h"

#include <QSaveFile>

KLVRRWCExportFile::Result KLVRRWCExportFile::write(const QString &path, int tag, const KLVRRWCLog *log, const Graph &graph,
                                                   const KLVRRWCLogExporter::Progress &progress, QString *error)
{
    const QString type = KLVRRWCExportFormat::dataTypeForFormatTag(tag); // logs an unknown tag
    if (type.isNull())
        return Result::NothingWritten;

    QByteArray picture;
    if (KLVRRWCExportFormat::isGraphFormat(tag)) {
        picture = graph ? graph(tag) : QByteArray();
        if (picture.isEmpty())
            return Result::NothingWritten;
    }

    QSaveFile file(path);
    // Where no file can be made beside the target (a folder the user may not write to that
    // holds a file they may), the file is written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return Result::WriteFailed;
    }
    if (KLVRRWCExportFormat::isGraphFormat(tag)) {
        if (file.write(picture) != picture.size()) {
            if (error) *error = file.errorString();
            file.cancelWriting();
            return Result::WriteFailed;
        }
    } else {
        KLVRRWCLogExporter exporter(log);
        exporter.setProgress(progress);
        QString reason;
        switch (exporter.write(type, &file, &reason)) {
        case KLVRRWCLogExporter::Result::Written:
            break;
        case KLVRRWCLogExporter::Result::UnsupportedType:
            file.cancelWriting();
            return Result::NothingWritten;
        case KLVRRWCLogExporter::Result::Cancelled:
            file.cancelWriting();
            return Result::Cancelled;
        case KLVRRWCLogExporter::Result::Failed:
            if (file.error() != QFileDevice::NoError) {
                if (error) *error = file.errorString();
                file.cancelWriting();
                return Result::WriteFailed;
            }
            // The writer refused a value: logged, and the file is left as it was.
            qCWarning(lcRWCExport).noquote() << KLVRFormat::string(QStringLiteral("Error: %@"), reason);
            file.cancelWriting();
            return Result::NothingWritten;
        }
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return Result::WriteFailed;
    }
    return Result::Written;
}

QString KLVRRWCExportFile::errorMessage(const QString &path, const QString &reason)
{
    return KLVRFormat::string(KLVRStringsTable::localizedString(QStringLiteral("Cannot save file: '%@': %s"), QStringLiteral("General")),
                              path, reason);
}

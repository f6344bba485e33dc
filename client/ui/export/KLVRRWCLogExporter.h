// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>

class KLVRRWCLog;
class KLVRRWCLogEntry;
class QIODevice;

// Turns the whole log (every entry it holds, not only the visible ones) into the bytes of a
// text format: tab-separated text ("text/plain"), rich text ("text/rtf"), a Word document
// ("word/doc", written as Office Open XML) or an XML property list ("xml/plist"). The rich
// formats put the optional rich-text resources "ExportPrefix" and "ExportSuffix" before and
// after the entries.
//
// Writing goes entry by entry into a device, so that years of history never sit in memory as
// one text; a progress function hears about every few thousand entries and may cancel. The
// entries are those the log held when the write began; batches that arrive meanwhile (the
// progress function may run the event loop) are left for the next export. Needs no widgets, so
// the command line can use it without a window. Main thread only, like the log.
class KLVRRWCLogExporter
{
public:
    enum class Result {
        Written,
        UnsupportedType, // logged; nothing written
        Failed,          // error filled; what was written is incomplete
        Cancelled,
    };
    // done and total count entries; false cancels.
    using Progress = std::function<bool(qint64 done, qint64 total)>;
    static constexpr qint64 kProgressStep = 2000;

    explicit KLVRRWCLogExporter(const KLVRRWCLog *log);

    // Rich text (Qt's HTML subset) before and after the entries; by default the application's
    // "ExportPrefix" and "ExportSuffix" resources, or nothing when it has none.
    void setPrefix(const QString &richText) { m_prefix = richText; }
    void setSuffix(const QString &richText) { m_suffix = richText; }
    const QString &prefix() const { return m_prefix; }
    const QString &suffix() const { return m_suffix; }
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    static bool supportsType(const QString &type);
    Result write(const QString &type, QIODevice *device, QString *error = nullptr);
    // The whole representation in memory; a null array, with the logged line
    // "Unsupported KLVRLog::dataRepresentationOfType:%@", for a type it does not write, and an
    // empty one when writing failed.
    QByteArray dataRepresentationOfType(const QString &type);

    // Appends the entry's tab-separated line as UTF-8 (its exportAsTabSeparatedString(), without
    // the line break, and with tabs and line breaks inside its fields made spaces); processTexts
    // remembers the UTF-8 text of the process lists it wrote, by their storage.
    using ProcessTexts = QHash<const void *, QByteArray>;
    static void appendTabularLine(QByteArray &out, const KLVRRWCLogEntry &entry, ProcessTexts &processTexts);
    // The entry's exportAsDictionary() as the property-list export writes it: the same values,
    // with process lists kept as lists of their own type.
    static QVariantMap propertyListDictionary(const KLVRRWCLogEntry &entry);
    // KLVRRWCAbsoluteDuration::dateDescription() ("2024-03-05 21:45:00 +0000"), quicker.
    static QString dateDescription(KLVRAbsoluteTime date);
    // The line the rich formats show for an entry: its date and its summary, separated by a tab.
    static QString richTextLine(const KLVRRWCLogEntry &entry);
    // Rich text of the lines (one paragraph each, a line break inside one starting another)
    // between the prefix and the suffix, written as one document through the RTF writer.
    static QByteArray richTextDocument(const QStringList &lines, const QString &prefix, const QString &suffix);
    // The application's optional rich-text resource of that name, or an empty string.
    static QString bundleRichText(const QString &name);

private:
    Result writeTabularText(QIODevice *device, QString *error);
    Result writeRichText(QIODevice *device, QString *error);
    Result writeWord(QIODevice *device, QString *error);
    Result writePropertyList(QIODevice *device, QString *error);
    bool progress(qint64 done, qint64 total) const;


    const KLVRRWCLog *m_log;
    QString m_prefix;
    QString m_suffix;
    Progress m_progress;
};

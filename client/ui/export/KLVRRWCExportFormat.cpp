// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCExportFormat.h"

#include "KLVRStringsTable.h"

Q_LOGGING_CATEGORY(lcRWCExport, "com.klvr.restwatch.export")

namespace {

struct Format
{
    int tag;
    const char *suffix;
    const char *name;
};

// "docx": a file named .doc that holds Office Open XML would mislead the programs that open it.
constexpr Format kFormats[] = {
    {KLVRRWCExportFormat::RichText, "rtf", "Rich Text"},
    {KLVRRWCExportFormat::TabularText, "txt", "Tab-Separated Text"},
    {KLVRRWCExportFormat::PropertyList, "plist", "XML Property List"},
    {KLVRRWCExportFormat::Word, "docx", "Word Document"},
    {KLVRRWCExportFormat::TIFF, "tiff", "TIFF Image of the Graph"},
    {KLVRRWCExportFormat::PNG, "png", "PNG Image of the Graph"},
};

const Format *find(int tag)
{
    for (const Format &format : kFormats) {
        if (format.tag == tag)
            return &format;
    }
    return nullptr;
}

void logUnsupported(int tag)
{
    qCWarning(lcRWCExport, "Unsuppported export format tag: %d", tag);
}

} // namespace

QList<int> KLVRRWCExportFormat::tags()
{
    QList<int> tags;
    for (const Format &format : kFormats)
        tags.append(format.tag);
    return tags;
}

bool KLVRRWCExportFormat::isKnown(int tag)
{
    return find(tag) != nullptr;
}

QString KLVRRWCExportFormat::exportSuffixForFormatTag(int tag)
{
    const Format *format = find(tag);
    if (!format) {
        logUnsupported(tag);
        return {};
    }
    return QString::fromLatin1(format->suffix);
}

QString KLVRRWCExportFormat::dataTypeForFormatTag(int tag)
{
    switch (tag) {
    case RichText: return kRichTextType;
    case TabularText: return kTabularTextType;
    case PropertyList: return kPropertyListType;
    case Word: return kWordType;
    case TIFF: return QStringLiteral("image/tiff");
    case PNG: return QStringLiteral("image/png");
    default:
        logUnsupported(tag);
        return {};
    }
}

QString KLVRRWCExportFormat::nameFilterForFormatTag(int tag)
{
    const Format *format = find(tag);
    if (!format)
        return {};
    const QString name = KLVRStringsTable::localizedString(QString::fromLatin1(format->name), QStringLiteral("KLVRRWCExportController"));
    QString patterns = QStringLiteral("*.") + QString::fromLatin1(format->suffix);
    if (tag == TIFF)
        patterns += QStringLiteral(" *.tif");
    return name + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

int KLVRRWCExportFormat::formatTagForSuffix(const QString &suffix)
{
    const QString lower = suffix.toLower();
    if (lower == QLatin1String("tif"))
        return TIFF;
    if (lower == QLatin1String("text") || lower == QLatin1String("tsv"))
        return TabularText;
    for (const Format &format : kFormats) {
        if (lower == QLatin1String(format.suffix))
            return format.tag;
    }
    return -1;
}

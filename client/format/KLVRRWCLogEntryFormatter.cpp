// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntryFormatter.h"

#include "KLVRAssertionException.h"
#include "KLVRFormat.h"
#include "KLVRRWCLogEntry.h"

#include <QFile>
#include <QTextDocument>
#include <exception>

static void initFormatResources()
{
    Q_INIT_RESOURCE(format);
}

namespace {

const QString kClassName = QStringLiteral("KLVRRWCLogEntryFormatter");
const QString kExtension = QStringLiteral("html");

} // namespace

KLVRRWCLogEntryFormatter::KLVRRWCLogEntryFormatter()
    : m_templateEntry(attributedStringFromRTF(QStringLiteral("KLVRRWCLogEntryFormatter"))),
      m_templateEntryWithDetail(attributedStringFromRTF(QStringLiteral("KLVRRWCLogEntryFormatterWithDetail")))
{
}

KLVRRWCAttributedString KLVRRWCLogEntryFormatter::attributedStringForObjectValue(const QVariant &object) const
{
    if (object.canConvert<KLVRRWCAttributedString>() && object.metaType() == QMetaType::fromType<KLVRRWCAttributedString>())
        return object.value<KLVRRWCAttributedString>();
    if (object.metaType() == QMetaType::fromType<KLVRRWCLogEntry *>())
        return attributedStringForEntry(object.value<KLVRRWCLogEntry *>());
    if (object.metaType() == QMetaType::fromType<const KLVRRWCLogEntry *>())
        return attributedStringForEntry(object.value<const KLVRRWCLogEntry *>());
    return m_showDetail ? m_templateEntryWithDetail : m_templateEntry;
}

KLVRRWCAttributedString KLVRRWCLogEntryFormatter::attributedStringForEntry(const KLVRRWCLogEntry *entry) const
{
    KLVRRWCAttributedString filled = m_showDetail ? m_templateEntryWithDetail : m_templateEntry;
    if (!entry)
        return filled;
    const struct
    {
        const QString &marker;
        const char *keyPath;
        QString (*value)(const KLVRRWCLogEntry &);
    } markers[] = {
        {kPrimaryMarker, "summary", [](const KLVRRWCLogEntry &e) { return e.summary(); }},
        {kSupplimentaryMarker, "attributesAsString", [](const KLVRRWCLogEntry &e) { return e.attributesAsString(); }},
    };
    for (const auto &marker : markers) {
        if (!filled.string().contains(marker.marker))
            continue;
        try {
            filled.replaceFirst(marker.marker, marker.value(*entry));
        } catch (const std::exception &) {
            qCWarning(lcRWCModel, "%s", qPrintable(KLVRFormat::string(QStringLiteral("%@ Class %@ does not respond to keyPath %@."),
                                                                     kClassName, QStringLiteral("KLVRRWCLogEntry"),
                                                                     QString::fromLatin1(marker.keyPath))));
        }
    }
    return filled;
}

QString KLVRRWCLogEntryFormatter::stringForObjectValue(const QVariant &object) const
{
    return attributedStringForObjectValue(object).string();
}

bool KLVRRWCLogEntryFormatter::getObjectValue(QVariant *, const QString &, QString *errorDescription) const
{
    if (errorDescription)
        *errorDescription = QStringLiteral("Unsupported conversion from string to entry.");
    return false;
}

double KLVRRWCLogEntryFormatter::rowHeightWithDetail(bool detail, const QFont &font) const
{
    return layoutHeight(detail ? m_templateEntryWithDetail : m_templateEntry, font) * 1.1;
}

double KLVRRWCLogEntryFormatter::layoutHeight(const KLVRRWCAttributedString &text, const QFont &font)
{
    QTextDocument document;
    document.setDefaultFont(font);
    text.fillDocument(document);
    return document.size().height();
}

KLVRRWCAttributedString KLVRRWCLogEntryFormatter::attributedStringFromRTF(const QString &anRTFFilename)
{
    KLVR_PARAMETER_ASSERT(!anRTFFilename.isEmpty());
    initFormatResources();
    const QString path = QStringLiteral(":/format/") + anRTFFilename + QLatin1Char('.') + kExtension;
    QFile file(path);
    KLVR_ASSERT(file.exists(), KLVRFormat::string(QStringLiteral("%@ Required resource %@.%@ is missing."), kClassName,
                                                  anRTFFilename, kExtension));
    const bool opened = file.open(QIODevice::ReadOnly);
    const QString html = opened ? QString::fromUtf8(file.readAll()) : QString();
    KLVR_ASSERT(opened && !html.trimmed().isEmpty(), KLVRFormat::string(QStringLiteral("%@ Resource is malformed %@: %@"), kClassName,
                                                                        path, file.errorString()));
    QTextDocument document;
    // What follows the markup (the file's last line feed) is no part of the template.
    document.setHtml(html.trimmed());
    return KLVRRWCAttributedString::fromDocument(document);
}

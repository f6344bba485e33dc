// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPowerEventContext.h"

#include "KLVRFormat.h"
#include "KLVRRWCLogEntry.h"

namespace {

// A list held in a property dictionary reads back as a plain list; one text stands for itself.
QStringList texts(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
        QStringList list;
        for (const QVariant &item : value.toList())
            list << KLVRRWCLogEntry::describe(item);
        return list;
    }
    if (!value.isValid())
        return {};
    return {KLVRRWCLogEntry::describe(value)};
}

QString inhibitorLine(const QVariant &inhibitor)
{
    if (inhibitor.typeId() != QMetaType::QVariantMap)
        return KLVRRWCLogEntry::describe(inhibitor);
    const QVariantMap lock = inhibitor.toMap();
    const auto field = [&lock](const char *key) {
        return lock.value(QString::fromLatin1(key)).toString();
    };
    return KLVRFormat::string(KLVRRWCLogEntry::general(QStringLiteral("%@: %@ (%@, %@)")), field("Who"), field("Why"),
                              field("What"), field("Mode"));
}

} // namespace

QVariant KLVRRWCPowerEventContext::inhibitorsAttribute(const QVariant &recorded)
{
    if (recorded.typeId() != QMetaType::QVariantList)
        return {};
    QVariantList lines;
    for (const QVariant &inhibitor : recorded.toList())
        lines << inhibitorLine(inhibitor);
    if (lines.isEmpty())
        return {};
    return lines;
}

QVariant KLVRRWCPowerEventContext::wakeReasonAttribute(const QVariant &recorded)
{
    if (recorded.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariantMap reason = recorded.toMap();
    QVariantMap shown;
    for (auto it = reason.cbegin(); it != reason.cend(); ++it) {
        // Several sources may fire at once; a dictionary cell shows them on one line.
        const QString text = texts(it.value()).join(QStringLiteral(", "));
        if (!text.isEmpty())
            shown.insert(KLVRRWCLogEntry::general(it.key()), text);
    }
    if (shown.isEmpty())
        return {};
    return shown;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// One key of the log table's sort: a column's sort key ("date" or "summary") and a direction.
// A list of them sorts by the first, ties by the second, and so on. Stored in the user defaults
// as a list of dictionaries {"key", "ascending"}.
struct KLVRRWCSortDescriptor
{
    QString key;
    bool ascending = true;

    friend bool operator==(const KLVRRWCSortDescriptor &a, const KLVRRWCSortDescriptor &b)
    {
        return a.key == b.key && a.ascending == b.ascending;
    }

    static QVariantList toPropertyList(const QList<KLVRRWCSortDescriptor> &descriptors)
    {
        QVariantList list;
        for (const KLVRRWCSortDescriptor &descriptor : descriptors)
            list.append(QVariantMap{{QStringLiteral("key"), descriptor.key}, {QStringLiteral("ascending"), descriptor.ascending}});
        return list;
    }

    // The descriptors a stored value holds; nothing when any part of it is not understood.
    static QList<KLVRRWCSortDescriptor> fromPropertyList(const QVariant &value, const QStringList &knownKeys)
    {
        QList<KLVRRWCSortDescriptor> descriptors;
        if (value.metaType() != QMetaType::fromType<QVariantList>())
            return {};
        for (const QVariant &item : value.toList()) {
            if (item.metaType() != QMetaType::fromType<QVariantMap>())
                return {};
            const QVariantMap map = item.toMap();
            const QVariant key = map.value(QStringLiteral("key"));
            const QVariant ascending = map.value(QStringLiteral("ascending"));
            if (key.metaType() != QMetaType::fromType<QString>() || !knownKeys.contains(key.toString())
                || ascending.metaType() != QMetaType::fromType<bool>())
                return {};
            descriptors.append(KLVRRWCSortDescriptor{key.toString(), ascending.toBool()});
        }
        return descriptors;
    }
};

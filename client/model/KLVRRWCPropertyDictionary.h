// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <memory>

// An event's property dictionary held compactly: the sorted key set is shared by every
// dictionary with the same keys (all events of one monitor look alike), values sit in one
// array, text values are interned and a "Processes" list of texts becomes a KLVRRWCProcessList.
// Immutable and implicitly shared.
class KLVRRWCPropertyDictionary
{
public:
    KLVRRWCPropertyDictionary() = default;
    static KLVRRWCPropertyDictionary fromMap(const QVariantMap &map);

    bool isEmpty() const { return m_values.isEmpty(); }
    qsizetype count() const { return m_values.size(); }
    bool contains(const QString &key) const { return indexOf(key) >= 0; }
    // The value under key, or an invalid QVariant.
    QVariant value(const QString &key) const;
    QStringList keys() const;
    QVariantMap toMap() const;

    friend bool operator==(const KLVRRWCPropertyDictionary &a, const KLVRRWCPropertyDictionary &b);

    // Interns a text so that equal texts share one buffer.
    static QString intern(QStringView text);
    // The value as stored: texts interned, a "Processes" list of texts compacted, recursively.
    static QVariant compact(const QString &key, const QVariant &value);

    // Collects key/value pairs in any order (used by the property reader).
    class Builder
    {
    public:
        void insert(QString key, QVariant value);
        KLVRRWCPropertyDictionary take();

    private:
        // Keys usually arrive sorted and unique (writers sort them); then they are kept as read.
        QStringList m_keys;
        QList<QVariant> m_values;
        bool m_ordered = true;
    };

private:
    qsizetype indexOf(const QString &key) const;

    std::shared_ptr<const QStringList> m_keys; // sorted, shared between dictionaries
    QList<QVariant> m_values;                  // in key order
};

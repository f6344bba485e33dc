// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <array>
#include <memory>
#include <vector>

// An event's property dictionary held compactly, since years of events keep hundreds of
// thousands of them: the sorted key set is shared by every dictionary with the same keys (all
// events of one monitor look alike); booleans, integers, reals and texts take 8 bytes and half a
// byte each (texts as indices into the KLVRRWCStringPool); lists, dictionaries, dates and data
// stay QVariants, and a "Processes" list of texts becomes a KLVRRWCProcessList.
// Immutable; reading needs no lock.
class KLVRRWCPropertyDictionary
{
public:
    KLVRRWCPropertyDictionary() = default;
    static KLVRRWCPropertyDictionary fromMap(const QVariantMap &map);

    bool isEmpty() const { return count() == 0; }
    qsizetype count() const { return m_keys ? m_keys->size() : 0; }
    bool contains(const QString &key) const { return indexOf(key) >= 0; }
    // The value under key, or an invalid QVariant.
    QVariant value(const QString &key) const;
    QStringList keys() const { return m_keys ? *m_keys : QStringList(); }
    // The text under key, when the value is a text: the string pool's own, never moved.
    const QString *text(const QString &key) const;
    // Whether both dictionaries hold an equal value under key (no when either lacks it).
    bool sameValue(const QString &key, const KLVRRWCPropertyDictionary &other) const;
    // The value under key read as a number the lenient way (KLVRRWCPropertyValue); 0 when absent.
    double number(const QString &key) const;
    QVariantMap toMap() const;

    friend bool operator==(const KLVRRWCPropertyDictionary &a, const KLVRRWCPropertyDictionary &b);

    // Interns a text so that equal texts share one buffer.
    static QString intern(QStringView text);
    // The value as stored: texts interned, a "Processes" list of texts compacted, recursively.
    static QVariant compact(const QString &key, const QVariant &value);

    // Collects key/value pairs in any order (used by the property reader, which holds the
    // string pool's lock while it inserts keys and texts by their index in the pool).
    class Builder
    {
    public:
        void insertBool(quint32 key, bool value) { add(key, Bool, quint64(value)); }
        void insertInteger(quint32 key, qint64 value) { add(key, Integer, quint64(value)); }
        void insertReal(quint32 key, double value);
        // A text by its index in the string pool.
        void insertText(quint32 key, quint32 index) { add(key, Text, index); }
        // Any value under any key; the key and a text value are interned (taking the pool's
        // lock), other plain values typed.
        void insert(const QString &key, const QVariant &value);
        // A list, dictionary, date, data or other value kept as it is; never takes a lock.
        void insertOther(quint32 key, QVariant value);
        KLVRRWCPropertyDictionary take();

        // A value as stored, to insert it again into a later dictionary without reading it.
        struct Item
        {
            quint8 type = 0;
            quint64 payload = 0;
            QVariant other;
        };
        Item lastItem() const;
        void insertItem(quint32 key, const Item &item);

    private:
        // A key set as inserted, with the places (in insertion order) of its sorted, unique keys.
        struct KeySet
        {
            std::vector<quint32> inserted;
            std::vector<quint32> order;
            std::shared_ptr<const QStringList> keys;
        };
        void add(quint32 key, quint8 type, quint64 payload);
        const KeySet &keySet();

        std::vector<quint32> m_keys;
        std::vector<quint8> m_types;
        std::vector<quint64> m_payloads;
        QList<QVariant> m_others;
        // Documents of one monitor repeat their keys: the last few key sets answer most of them.
        std::array<KeySet, 4> m_keySets;
        size_t m_nextKeySet = 0;
    };

private:
    enum Type : quint8 { Bool = 1, Integer = 2, Real = 3, Text = 4, Other = 5 };

    qsizetype indexOf(const QString &key) const;
    quint8 typeAt(qsizetype i) const { return quint8((m_slots[size_t(i) / 16] >> (4 * (size_t(i) % 16))) & 0xf); }
    quint64 payloadAt(qsizetype i) const { return m_slots[typeWords() + size_t(i)]; }
    size_t typeWords() const { return (size_t(count()) + 15) / 16; }
    QVariant valueAt(qsizetype i) const;

    std::shared_ptr<const QStringList> m_keys; // sorted, shared between dictionaries
    // The types, four bits each, then one payload per value: one allocation per dictionary.
    std::vector<quint64> m_slots;
    QList<QVariant> m_others; // the values of type Other, in key order
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPropertyDictionary.h"

#include "KLVRRWCProcessList.h"
#include "KLVRRWCPropertyValue.h"
#include "KLVRRWCStringPool.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <cstring>

namespace {
QMutex keySetsLock;
QHash<QStringList, std::shared_ptr<const QStringList>> keySets;

// Dictionaries with the same keys share one sorted key list, whoever built them.
std::shared_ptr<const QStringList> sharedKeys(const QStringList &keys)
{
    QMutexLocker locker(&keySetsLock);
    auto it = keySets.constFind(keys);
    if (it != keySets.cend())
        return *it;
    auto found = std::make_shared<const QStringList>(keys);
    keySets.insert(keys, found);
    return found;
}

bool allTexts(const QVariantList &list)
{
    return std::all_of(list.cbegin(), list.cend(), [](const QVariant &v) { return v.typeId() == QMetaType::QString; });
}
} // namespace

QString KLVRRWCPropertyDictionary::intern(QStringView text)
{
    // Event descriptions and monitor names repeat from one record to the next.
    thread_local QString recent[8];
    thread_local unsigned next = 0;
    for (const QString &candidate : recent) {
        if (candidate.size() == text.size()
            && (text.isEmpty() || candidate.constData() == text.data()
                || std::memcmp(candidate.constData(), text.data(), size_t(text.size()) * sizeof(QChar)) == 0))
            return candidate;
    }
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    QString interned;
    {
        QMutexLocker locker(&pool.lock());
        interned = pool.intern(text);
    }
    recent[next++ % 8] = interned;
    return interned;
}

QVariant KLVRRWCPropertyDictionary::compact(const QString &key, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return intern(value.toString());
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        if (key == QLatin1String("Processes") && allTexts(list)) {
            KLVRRWCProcessList::registerType();
            QStringList names;
            names.reserve(list.size());
            for (const QVariant &v : list)
                names.append(v.toString());
            return QVariant::fromValue(KLVRRWCProcessList(names));
        }
        QVariantList compacted;
        compacted.reserve(list.size());
        for (const QVariant &v : list)
            compacted.append(compact(QString(), v));
        return compacted;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QVariantMap compacted;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            compacted.insert(intern(it.key()), compact(it.key(), it.value()));
        return compacted;
    }
    default:
        return value;
    }
}

KLVRRWCPropertyDictionary KLVRRWCPropertyDictionary::fromMap(const QVariantMap &map)
{
    Builder builder;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        builder.insert(it.key(), compact(it.key(), it.value()));
    return builder.take();
}

qsizetype KLVRRWCPropertyDictionary::indexOf(const QString &key) const
{
    if (!m_keys)
        return -1;
    const qsizetype size = key.size();
    const QStringList &keys = *m_keys;
    const auto matches = [&](qsizetype i) {
        const QString &candidate = keys.at(i);
        return candidate.size() == size
               && (candidate.constData() == key.constData()
                   || std::memcmp(candidate.constData(), key.constData(), size_t(size) * sizeof(QChar)) == 0);
    };
    // The same few keys are asked of dictionaries with the same key set again and again: the
    // place found last time is checked first.
    struct Memo
    {
        const QStringList *keys = nullptr;
        const QChar *key = nullptr;
        qsizetype index = -1;
    };
    thread_local Memo memo[16];
    Memo &slot = memo[(quintptr(key.constData()) >> 4) % 16];
    if (slot.keys == &keys && slot.key == key.constData()) {
        if (slot.index < 0 ? !keys.contains(key) : matches(slot.index))
            return slot.index;
    }
    // Key sets are small; comparing sizes first rules out nearly every key at once.
    qsizetype found = -1;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (matches(i)) {
            found = i;
            break;
        }
    }
    slot = {&keys, key.constData(), found};
    return found;
}

QVariant KLVRRWCPropertyDictionary::valueAt(qsizetype i) const
{
    const quint64 payload = payloadAt(i);
    switch (typeAt(i)) {
    case Bool:
        return bool(payload);
    case Integer:
        return qlonglong(payload);
    case Real: {
        double d;
        std::memcpy(&d, &payload, sizeof d);
        return d;
    }
    case Text:
        return KLVRRWCStringPool::shared().textAt(quint32(payload));
    case Other:
        return m_others.at(qsizetype(payload));
    default:
        return QVariant();
    }
}

QVariant KLVRRWCPropertyDictionary::value(const QString &key) const
{
    const qsizetype i = indexOf(key);
    return i < 0 ? QVariant() : valueAt(i);
}

const QString *KLVRRWCPropertyDictionary::text(const QString &key) const
{
    const qsizetype i = indexOf(key);
    if (i < 0 || typeAt(i) != Text)
        return nullptr;
    return &KLVRRWCStringPool::shared().textAt(quint32(payloadAt(i)));
}

bool KLVRRWCPropertyDictionary::sameValue(const QString &key, const KLVRRWCPropertyDictionary &other) const
{
    const qsizetype i = indexOf(key);
    if (i < 0)
        return false;
    const qsizetype j = (other.m_keys == m_keys) ? i : other.indexOf(key);
    if (j < 0)
        return false;
    const quint8 type = typeAt(i);
    if (type == other.typeAt(j) && type != Other && type != Real)
        return payloadAt(i) == other.payloadAt(j);
    return valueAt(i) == other.valueAt(j);
}

double KLVRRWCPropertyDictionary::number(const QString &key) const
{
    const qsizetype i = indexOf(key);
    if (i < 0)
        return 0.0;
    const quint64 payload = payloadAt(i);
    switch (typeAt(i)) {
    case Bool:
        return payload ? 1.0 : 0.0;
    case Integer:
        return double(qint64(payload));
    case Real: {
        double d;
        std::memcpy(&d, &payload, sizeof d);
        return d;
    }
    default:
        return KLVRRWCPropertyValue::doubleValue(valueAt(i));
    }
}

QVariantMap KLVRRWCPropertyDictionary::toMap() const
{
    QVariantMap map;
    for (qsizetype i = 0; i < count(); ++i)
        map.insert(m_keys->at(i), valueAt(i));
    return map;
}

bool operator==(const KLVRRWCPropertyDictionary &a, const KLVRRWCPropertyDictionary &b)
{
    if (a.count() != b.count())
        return false;
    if (a.count() == 0)
        return true;
    if (a.m_keys != b.m_keys && *a.m_keys != *b.m_keys)
        return false;
    if (a.m_slots == b.m_slots && a.m_others == b.m_others)
        return true;
    // Stored differently is not always a different value (an integer and an equal real).
    for (qsizetype i = 0; i < a.count(); ++i) {
        if (a.valueAt(i) != b.valueAt(i))
            return false;
    }
    return true;
}

void KLVRRWCPropertyDictionary::Builder::add(quint32 key, quint8 type, quint64 payload)
{
    m_keys.push_back(key);
    m_types.push_back(type);
    m_payloads.push_back(payload);
}

void KLVRRWCPropertyDictionary::Builder::insertReal(quint32 key, double value)
{
    quint64 payload;
    std::memcpy(&payload, &value, sizeof payload);
    add(key, Real, payload);
}

void KLVRRWCPropertyDictionary::Builder::insert(const QString &key, const QVariant &value)
{
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    quint32 keyIndex = 0;
    {
        QMutexLocker locker(&pool.lock());
        keyIndex = pool.indexOf(key);
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        insertBool(keyIndex, value.toBool());
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        insertInteger(keyIndex, value.toLongLong());
        return;
    case QMetaType::Double:
        insertReal(keyIndex, value.toDouble());
        return;
    case QMetaType::QString: {
        QMutexLocker locker(&pool.lock());
        insertText(keyIndex, pool.indexOf(value.toString()));
        return;
    }
    default:
        insertOther(keyIndex, value);
        return;
    }
}

KLVRRWCPropertyDictionary::Builder::Item KLVRRWCPropertyDictionary::Builder::lastItem() const
{
    Item item{m_types.back(), m_payloads.back(), {}};
    if (item.type == Other)
        item.other = m_others.at(qsizetype(item.payload));
    return item;
}

void KLVRRWCPropertyDictionary::Builder::insertItem(quint32 key, const Item &item)
{
    if (item.type == Other)
        insertOther(key, item.other);
    else
        add(key, item.type, item.payload);
}

void KLVRRWCPropertyDictionary::Builder::insertOther(quint32 key, QVariant value)
{
    add(key, Other, quint64(m_others.size()));
    m_others.append(std::move(value));
}

const KLVRRWCPropertyDictionary::Builder::KeySet &KLVRRWCPropertyDictionary::Builder::keySet()
{
    for (const KeySet &known : m_keySets) {
        if (known.keys && known.inserted == m_keys)
            return known;
    }
    // A new key set: sorted by text, a later duplicate of a key winning as in a dictionary filled
    // in reading order.
    const KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    std::vector<quint32> order(m_keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = quint32(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](quint32 a, quint32 b) { return pool.textAt(m_keys[a]) < pool.textAt(m_keys[b]); });
    std::vector<quint32> unique;
    for (quint32 i : order) {
        if (!unique.empty() && m_keys[unique.back()] == m_keys[i])
            unique.back() = i;
        else
            unique.push_back(i);
    }
    QStringList keys;
    keys.reserve(qsizetype(unique.size()));
    for (quint32 i : unique)
        keys.append(pool.textAt(m_keys[i]));
    KeySet &set = m_keySets[m_nextKeySet];
    m_nextKeySet = (m_nextKeySet + 1) % m_keySets.size();
    set = KeySet{m_keys, std::move(unique), sharedKeys(keys)};
    return set;
}

KLVRRWCPropertyDictionary KLVRRWCPropertyDictionary::Builder::take()
{
    KLVRRWCPropertyDictionary dictionary;
    if (!m_keys.empty()) {
        const KeySet &set = keySet();
        const size_t count = set.order.size();
        const size_t typeWords = (count + 15) / 16;
        dictionary.m_slots.assign(typeWords + count, 0);
        if (!m_others.isEmpty())
            dictionary.m_others.reserve(m_others.size());
        for (size_t i = 0; i < count; ++i) {
            const size_t from = set.order[i];
            const quint8 type = m_types[from];
            quint64 payload = m_payloads[from];
            if (type == Other) {
                payload = quint64(dictionary.m_others.size());
                dictionary.m_others.append(m_others.at(qsizetype(m_payloads[from])));
            }
            dictionary.m_slots[i / 16] |= quint64(type) << (4 * (i % 16));
            dictionary.m_slots[typeWords + i] = payload;
        }
        dictionary.m_keys = set.keys;
    }
    // Keep the capacity: a builder usually reads one document after another.
    m_keys.clear();
    m_types.clear();
    m_payloads.clear();
    m_others.clear();
    return dictionary;
}

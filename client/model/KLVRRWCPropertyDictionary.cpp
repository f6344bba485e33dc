// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPropertyDictionary.h"

#include "KLVRRWCProcessList.h"
#include "KLVRRWCStringPool.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <vector>

namespace {
QMutex keySetsLock;
QHash<QStringList, std::shared_ptr<const QStringList>> keySets;

// Interned keys share their text, so equal key sets usually compare by address alone.
bool sameKeys(const QStringList &a, const QStringList &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).constData() != b.at(i).constData() && a.at(i) != b.at(i))
            return false;
    }
    return true;
}

std::shared_ptr<const QStringList> sharedKeys(const QStringList &keys)
{
    QMutexLocker locker(&keySetsLock);
    // Events of one monitor share their keys; the last few key sets answer most look-ups.
    static std::shared_ptr<const QStringList> recent[4];
    for (const auto &candidate : recent) {
        if (candidate && sameKeys(*candidate, keys))
            return candidate;
    }
    auto found = [&]() -> std::shared_ptr<const QStringList> {
        auto it = keySets.constFind(keys);
        if (it != keySets.cend())
            return *it;
        auto shared = std::make_shared<const QStringList>(keys);
        keySets.insert(keys, shared);
        return shared;
    }();
    std::move_backward(std::begin(recent), std::end(recent) - 1, std::end(recent));
    recent[0] = found;
    return found;
}

bool allTexts(const QVariantList &list)
{
    return std::all_of(list.cbegin(), list.cend(), [](const QVariant &v) { return v.typeId() == QMetaType::QString; });
}
} // namespace

QString KLVRRWCPropertyDictionary::intern(QStringView text)
{
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    QMutexLocker locker(&pool.lock());
    return pool.intern(text);
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
        builder.insert(intern(it.key()), compact(it.key(), it.value()));
    return builder.take();
}

qsizetype KLVRRWCPropertyDictionary::indexOf(const QString &key) const
{
    if (!m_keys)
        return -1;
    const auto it = std::lower_bound(m_keys->cbegin(), m_keys->cend(), key);
    if (it == m_keys->cend() || *it != key)
        return -1;
    return it - m_keys->cbegin();
}

QVariant KLVRRWCPropertyDictionary::value(const QString &key) const
{
    const qsizetype i = indexOf(key);
    return i < 0 ? QVariant() : m_values.at(i);
}

QStringList KLVRRWCPropertyDictionary::keys() const
{
    return m_keys ? *m_keys : QStringList();
}

QVariantMap KLVRRWCPropertyDictionary::toMap() const
{
    QVariantMap map;
    for (qsizetype i = 0; i < m_values.size(); ++i)
        map.insert(m_keys->at(i), m_values.at(i));
    return map;
}

bool operator==(const KLVRRWCPropertyDictionary &a, const KLVRRWCPropertyDictionary &b)
{
    if (a.m_values.size() != b.m_values.size())
        return false;
    if (a.m_values.isEmpty())
        return true;
    if (a.m_keys != b.m_keys && *a.m_keys != *b.m_keys)
        return false;
    return a.m_values == b.m_values;
}

void KLVRRWCPropertyDictionary::Builder::insert(QString key, QVariant value)
{
    if (m_ordered && !m_keys.isEmpty() && !(m_keys.constLast() < key))
        m_ordered = false;
    m_keys.append(std::move(key));
    m_values.append(std::move(value));
}

KLVRRWCPropertyDictionary KLVRRWCPropertyDictionary::Builder::take()
{
    QStringList keys;
    QList<QVariant> values;
    if (m_ordered) {
        keys = std::move(m_keys);
        values = std::move(m_values);
    } else {
        // Later duplicates of a key win, as in a dictionary filled in reading order.
        std::vector<qsizetype> order(size_t(m_keys.size()));
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = qsizetype(i);
        std::stable_sort(order.begin(), order.end(), [this](qsizetype a, qsizetype b) { return m_keys.at(a) < m_keys.at(b); });
        for (qsizetype i : order) {
            if (!keys.isEmpty() && keys.constLast() == m_keys.at(i)) {
                values.last() = m_values.at(i);
                continue;
            }
            keys.append(m_keys.at(i));
            values.append(m_values.at(i));
        }
    }
    m_keys = {};
    m_values = {};
    m_ordered = true;
    KLVRRWCPropertyDictionary dictionary;
    if (!values.isEmpty()) {
        dictionary.m_keys = sharedKeys(keys);
        dictionary.m_values = std::move(values);
    }
    return dictionary;
}

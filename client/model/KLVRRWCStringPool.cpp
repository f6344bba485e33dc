// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCStringPool.h"

#include <QHashFunctions>
#include <cstring>

KLVRRWCStringPool &KLVRRWCStringPool::shared()
{
    static KLVRRWCStringPool pool;
    return pool;
}

QString KLVRRWCStringPool::intern(QByteArrayView utf8)
{
    return m_texts[indexOf(utf8)];
}

quint32 KLVRRWCStringPool::indexOf(QByteArrayView utf8)
{
    if (m_slots.empty())
        m_slots.resize(1024);
    const size_t hash = qHash(utf8, 0);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot.index == 0) {
            const quint32 index = quint32(m_texts.size());
            m_keys.emplace_back(utf8.data(), utf8.size());
            m_texts.push_back(QString::fromUtf8(utf8));
            slot.hash = hash;
            slot.index = index + 1;
            if (m_texts.size() * 2 > m_slots.size())
                grow();
            return index;
        }
        if (slot.hash == hash) {
            const QByteArray &key = m_keys[slot.index - 1];
            if (key.size() == utf8.size() && std::memcmp(key.constData(), utf8.data(), size_t(utf8.size())) == 0)
                return slot.index - 1;
        }
    }
}

void KLVRRWCStringPool::grow()
{
    std::vector<Slot> table(m_slots.size() * 2);
    const size_t mask = table.size() - 1;
    for (const Slot &slot : m_slots) {
        if (slot.index == 0)
            continue;
        size_t i = slot.hash & mask;
        while (table[i].index != 0)
            i = (i + 1) & mask;
        table[i] = slot;
    }
    m_slots.swap(table);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCStringPool.h"

#include <cstring>
#include <stdexcept>

namespace {
// FNV-1a over the UTF-16 code units: names are short, and this inlines where qHash cannot.
size_t hashOf(QStringView text)
{
    quint64 h = 14695981039346656037ull;
    for (QChar c : text) {
        h ^= c.unicode();
        h *= 1099511628211ull;
    }
    return size_t(h ^ (h >> 29));
}
} // namespace

KLVRRWCStringPool &KLVRRWCStringPool::shared()
{
    // Never destroyed: texts may be read until the very end of the program.
    static KLVRRWCStringPool *pool = new KLVRRWCStringPool;
    return *pool;
}

quint32 KLVRRWCStringPool::indexOf(QStringView text)
{
    if (m_slots.empty())
        m_slots.resize(1024);
    const size_t hash = hashOf(text);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot.index == 0) {
            const quint32 index = m_count;
            if (index >> kChunkBits >= kChunks)
                throw std::length_error("KLVRRWCStringPool is full");
            QString *chunk = m_chunks[index >> kChunkBits].load(std::memory_order_relaxed);
            if (!chunk) {
                chunk = new QString[kChunkSize];
                m_chunks[index >> kChunkBits].store(chunk, std::memory_order_release);
            }
            chunk[index & (kChunkSize - 1)] = text.toString();
            ++m_count;
            slot.hash = hash;
            slot.index = index + 1;
            if (size_t(m_count) * 2 > m_slots.size())
                grow();
            return index;
        }
        if (slot.hash == hash) {
            const QString &candidate = textAt(slot.index - 1);
            // An empty view may have no data at all, which memcmp must not be given.
            if (candidate.size() == text.size()
                && (text.isEmpty() || std::memcmp(candidate.constData(), text.data(), size_t(text.size()) * sizeof(QChar)) == 0))
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

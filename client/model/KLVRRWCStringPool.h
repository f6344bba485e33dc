// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QMutex>
#include <QString>
#include <QStringView>
#include <atomic>
#include <memory>
#include <vector>

// The program-wide pool of interned texts of event properties. Years of events repeat the same
// few thousand texts (keys, source names, process names) millions of times; each is kept once
// and known by a 32-bit index. Adding and looking up a text needs lock(); reading the text at
// an index one was given does not, since texts never move once added.
class KLVRRWCStringPool
{
public:
    static KLVRRWCStringPool &shared();

    QMutex &lock() { return m_lock; }
    // The index of this text, adding it when new; lock() held.
    quint32 indexOf(QStringView text);
    // The shared QString for this text; lock() held.
    QString intern(QStringView text) { return textAt(indexOf(text)); }
    // The text at an index handed out by indexOf(); no lock needed.
    const QString &textAt(quint32 index) const
    {
        return m_chunks[index >> kChunkBits].load(std::memory_order_acquire)[index & (kChunkSize - 1)];
    }

private:
    static constexpr int kChunkBits = 12;
    static constexpr quint32 kChunkSize = 1u << kChunkBits;
    static constexpr quint32 kChunks = 1u << 16;

    KLVRRWCStringPool() = default;
    void grow();

    struct Slot
    {
        size_t hash = 0;
        quint32 index = 0; // index + 1; 0 marks an empty slot
    };
    QMutex m_lock;
    std::vector<Slot> m_slots;
    quint32 m_count = 0;
    // Fixed-size chunks that never move, so readers need no lock.
    std::unique_ptr<std::atomic<QString *>[]> m_chunks = std::make_unique<std::atomic<QString *>[]>(kChunks);
};

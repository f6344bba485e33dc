// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QMutex>
#include <QString>
#include <QStringView>
#include <vector>

// The program-wide pool of interned texts of event properties. Years of events repeat the same
// few thousand texts (keys, source names, process names) millions of times; each is kept once.
// Texts are looked up by view, without building a QString first. Every call must hold lock().
class KLVRRWCStringPool
{
public:
    static KLVRRWCStringPool &shared();

    QMutex &lock() { return m_lock; }
    // The shared QString for this text.
    QString intern(QStringView text) { return m_texts[indexOf(text)]; }
    // A stable index for this text, and the text at an index.
    quint32 indexOf(QStringView text);
    const QString &textAt(quint32 index) const { return m_texts[index]; }

private:
    KLVRRWCStringPool() = default;
    void grow();

    struct Slot
    {
        size_t hash = 0;
        quint32 index = 0; // index + 1; 0 marks an empty slot
    };
    QMutex m_lock;
    std::vector<Slot> m_slots;
    std::vector<QString> m_texts;
};

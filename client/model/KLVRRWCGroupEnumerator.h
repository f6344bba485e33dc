// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

class KLVRRWCLogEntry;

// Walks a group chain: with future set each nextObject() steps to next (older), otherwise to
// previous (newer), and returns it; the start entry itself is never returned.
class KLVRRWCGroupEnumerator
{
public:
    KLVRRWCGroupEnumerator(const KLVRRWCLogEntry *entry, bool future) : m_current(entry), m_future(future) {}
    static KLVRRWCGroupEnumerator enumeratorWithEntry(const KLVRRWCLogEntry *entry, bool future)
    {
        return KLVRRWCGroupEnumerator(entry, future);
    }

    KLVRRWCLogEntry *nextObject();

private:
    const KLVRRWCLogEntry *m_current = nullptr;
    bool m_future = true;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

class KLVRRWCLogEntry;

// Walks the past chain: each nextObject() steps to the current entry's past and returns it, so
// the start entry itself is never returned; nothing once a link is empty.
class KLVRRWCLogEntryEnumerator
{
public:
    explicit KLVRRWCLogEntryEnumerator(const KLVRRWCLogEntry *entry) : m_current(entry) {}
    static KLVRRWCLogEntryEnumerator enumeratorWithEntry(const KLVRRWCLogEntry *entry) { return KLVRRWCLogEntryEnumerator(entry); }

    KLVRRWCLogEntry *nextObject();

private:
    const KLVRRWCLogEntry *m_current = nullptr;
};

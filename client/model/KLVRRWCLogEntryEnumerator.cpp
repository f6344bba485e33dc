// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntryEnumerator.h"

#include "KLVRRWCLogEntry.h"

KLVRRWCLogEntry *KLVRRWCLogEntryEnumerator::nextObject()
{
    KLVRRWCLogEntry *entry = m_current ? m_current->past() : nullptr;
    m_current = entry;
    return entry;
}

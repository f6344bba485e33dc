// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCGroupEnumerator.h"

#include "KLVRRWCLogEntry.h"

KLVRRWCLogEntry *KLVRRWCGroupEnumerator::nextObject()
{
    KLVRRWCLogEntry *entry = nullptr;
    if (m_current)
        entry = m_future ? m_current->next() : m_current->previous();
    m_current = entry;
    return entry;
}

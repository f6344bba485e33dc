// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWARefusalLog.h"

void KLVRRWARefusalLog::log(const QString &kind, const QString &text)
{
    Kind &entry = m_kinds[kind];
    if (entry.last.isValid() && entry.last.elapsed() < m_intervalMs) {
        ++entry.suppressed;
        return;
    }
    if (entry.suppressed > 0)
        qCInfo(m_category).noquote() << text << QStringLiteral("(and %1 more like it)").arg(entry.suppressed);
    else
        qCInfo(m_category).noquote() << text;
    entry.suppressed = 0;
    entry.last.start();
}

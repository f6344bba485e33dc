// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAAccountingRecord.h"

#include <QString>

// Boot and shutdown records of a wtmp file (utmp records, /var/log/wtmp): a BOOT_TIME record is
// a boot; Linux writes no shutdown type, its shutdown record is a RUN_LVL record whose user is
// "shutdown". Safe to call from any thread.
class KLVRRWAWtmpReader
{
public:
    // Records in file order. A missing or unreadable file gives none; a cut-off last record is
    // ignored.
    static KLVRRWAAccountingRecords read(const QString &path);
    // A record's time: its seconds since 1970 moved to 2001, plus its microseconds.
    static KLVRAbsoluteTime timeOf(qint64 seconds, qint64 microseconds);
};

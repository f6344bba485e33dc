// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAAccountingRecord.h"

#include <QString>

// Boot and shutdown records of a wtmpdb database (/var/lib/wtmpdb/wtmp.db, SQLite), which newer
// systems keep instead of wtmp. A boot is a row of type 1 ("reboot"); its Login column is the
// boot and its Logout column, once set, the shutdown (both realtime microseconds). The query
// comes from configuration. Opened read-only; safe to call from any thread.
class KLVRRWAWtmpDbReader
{
public:
    // query: a SELECT whose first two columns are the Login and Logout microseconds of each
    // boot. A missing file or an unusable database gives none (and a warning when the file
    // exists).
    static KLVRRWAAccountingRecords read(const QString &path, const QString &query);
};

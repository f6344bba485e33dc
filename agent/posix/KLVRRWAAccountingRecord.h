// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QList>

// One boot or shutdown found in the system's login accounting.
struct KLVRRWAAccountingRecord
{
    enum class Kind { Boot, Shutdown };

    Kind kind = Kind::Boot;
    KLVRAbsoluteTime time;

    friend bool operator==(const KLVRRWAAccountingRecord &a, const KLVRRWAAccountingRecord &b)
    {
        return a.kind == b.kind && a.time == b.time;
    }
};

using KLVRRWAAccountingRecords = QList<KLVRRWAAccountingRecord>;

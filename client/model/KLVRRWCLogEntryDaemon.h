// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLogEntry.h"

// The agent started ("Starting monitor") or stopped ("Stopping monitor"). Pairs with the
// previous start or stop; begins "Monitored" or "Unmonitored" once it has a pair.
class KLVRRWCLogEntryDaemon : public KLVRRWCLogEntry
{
public:
    using KLVRRWCLogEntry::KLVRRWCLogEntry;

    QString group() const override;
    void awakeFromLog() override;
    bool isLike(const KLVRRWCLogEntry &entry) const override;

protected:
    std::unique_ptr<KLVRRWCLogEntry> makeEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                               KLVRRWCPropertyDictionary properties) const override;
};

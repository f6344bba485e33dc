// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLogEntry.h"

// Sleep, wake, start-up and shut-down, all in the group "Power State". Each pairs with the
// previous one of the group and begins "Asleep", "Awake", "On" or "Off"; its summary says how
// long the state before it lasted.
class KLVRRWCLogEntryPowerState : public KLVRRWCLogEntry
{
public:
    using KLVRRWCLogEntry::KLVRRWCLogEntry;

    QString group() const override;
    void awakeFromLog() override;
    void initAttributes() override;
    // Repeats within 5 seconds fold; "startup" and "accounting boot" of one boot always fold.
    bool isLike(const KLVRRWCLogEntry &entry) const override;

protected:
    QString computeSummary() const override;
    std::unique_ptr<KLVRRWCLogEntry> makeEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                               KLVRRWCPropertyDictionary properties) const override;
};

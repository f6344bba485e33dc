// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLogEntry.h"

// An idle-sleep decision ("Can system sleep", "System will not sleep"): says how long the user
// had been idle and which processes ran. Pairs with nothing and begins no state; groups under
// the raw monitor signature.
class KLVRRWCLogEntryIdleSleep : public KLVRRWCLogEntry
{
public:
    using KLVRRWCLogEntry::KLVRRWCLogEntry;

    void awakeFromLog() override;
    void initAttributes() override;
    bool isLike(const KLVRRWCLogEntry &entry) const override;

protected:
    QString computeSummary() const override;
    std::unique_ptr<KLVRRWCLogEntry> makeEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                               KLVRRWCPropertyDictionary properties) const override;

private:
    bool m_awake = false;
};

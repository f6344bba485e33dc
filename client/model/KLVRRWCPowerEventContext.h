// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QVariant>

// What a sleep, wake or shutdown event's recorded context adds on Linux, turned into attribute
// values: "Inhibitors" (logind's inhibitor locks held when the machine went down, each a
// dictionary of "Who", "Why", "What" and "Mode") becomes a list of one line per lock, and "Wake
// Reason" (the wakeup interrupt and the wakeup sources that fired) a dictionary of texts.
class KLVRRWCPowerEventContext
{
public:
    // A list of texts, or an invalid value when there is nothing to show.
    static QVariant inhibitorsAttribute(const QVariant &recorded);
    // A dictionary keyed by the "General" table's texts, or an invalid value when empty.
    static QVariant wakeReasonAttribute(const QVariant &recorded);
};

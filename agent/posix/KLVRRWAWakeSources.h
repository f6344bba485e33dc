// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QHash>
#include <QString>
#include <QVariantMap>

// What woke the machine, as far as the kernel tells: /sys/power/pm_wakeup_irq (the interrupt
// that ended the last suspend, when it was one) and the wakeup sources under /sys/class/wakeup
// whose event counts rose while the machine slept.
class KLVRRWAWakeSources
{
public:
    // Wakeup source directory -> (name, event count).
    struct Source
    {
        QString name;
        quint64 events = 0;
    };
    using Counts = QHash<QString, Source>;

    // The event count of every wakeup source now.
    static Counts snapshot();
    // {"IRQ": integer, "Sources": list of names} with the parts the kernel knows; empty when it
    // knows nothing. before: the snapshot taken as the machine went to sleep.
    static QVariantMap wakeReason(const Counts &before);
};

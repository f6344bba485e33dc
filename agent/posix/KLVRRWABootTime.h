// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

// When the running system booted. The uptime is CLOCK_BOOTTIME, which keeps counting while the
// machine sleeps, so the boot time stays put across sleeps (an uptime that stops during sleep
// would move it later after every wake).
class KLVRRWABootTime
{
public:
    // Seconds since boot, including time spent suspended.
    static double uptime();
    // now minus uptime, read together.
    static KLVRAbsoluteTime bootTime();
};

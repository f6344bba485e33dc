// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWABootTime.h"

#include <ctime>

namespace {
double seconds(const timespec &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
} // namespace

double KLVRRWABootTime::uptime()
{
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    return seconds(boot);
}

KLVRAbsoluteTime KLVRRWABootTime::bootTime()
{
    timespec real{};
    timespec boot{};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_BOOTTIME, &boot);
    return KLVRAbsoluteTime::fromUnix(seconds(real) - seconds(boot));
}

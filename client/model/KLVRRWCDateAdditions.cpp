// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDateAdditions.h"

int KLVRRWCDateAdditions::daysUntil(int targetWeekday, int currentWeekday)
{
    if (targetWeekday > currentWeekday)
        return targetWeekday - currentWeekday;
    if (targetWeekday == currentWeekday)
        return 7;
    return targetWeekday + 7 - currentWeekday;
}

int KLVRRWCDateAdditions::daysSince(int targetWeekday, int currentWeekday)
{
    if (targetWeekday < currentWeekday)
        return targetWeekday - currentWeekday;
    if (targetWeekday == currentWeekday)
        return -7;
    return targetWeekday - currentWeekday - 7;
}

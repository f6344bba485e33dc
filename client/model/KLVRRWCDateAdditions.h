// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

// Weekday arithmetic; weekdays are numbered 0 (Sunday) to 6 (Saturday).
class KLVRRWCDateAdditions
{
public:
    // Days forward to the next target weekday: 1 to 7 (7 when target equals current).
    static int daysUntil(int targetWeekday, int currentWeekday);
    // Signed days back to the latest target weekday: -1 to -7 (-7 when target equals current).
    static int daysSince(int targetWeekday, int currentWeekday);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

// The model's strings tables ("Durations", "General", "Monitor", "Summary") are compiled into
// its static library; a static library's resources register only when something asks for them,
// so every table lookup of the model goes through here.
class KLVRRWCModelResources
{
public:
    static void ensureLoaded();
    // The table's text for key, or value when the table has none. Each (table, key) is looked
    // up once: the log repeats the same lookups for every one of years of events.
    static QString localizedString(const QString &key, const QString &value, const QString &table);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

// Localised texts from named tables: dictionaries in ":/strings/<language>/<table>.plist".
// Lookup order: the user's language, English, then the default value (by convention the key).
class KLVRStringsTable
{
public:
    static QString localizedString(const QString &key, const QString &defaultValue, const QString &table);
    static QString localizedString(const QString &key, const QString &table) { return localizedString(key, key, table); }
    // Tests and settings may force a language ("en", "de", ...); empty restores the user's.
    static void setLanguage(const QString &language);
};

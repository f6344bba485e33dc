// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDateTime>
#include <QString>

// Judges the client's cache file before the store opens it, and moves a damaged one aside. A
// cache is damaged when it is not a SQLite database, is shorter than its header says (cut off
// while being copied or by a full disk), or holds a cache or settings table without the columns
// the store reads and writes. Judging it reads the header and the schema only, never the rows.
class KLVRRWCCacheFile
{
public:
    enum class State {
        Missing,  // no file yet: the store makes a fresh one
        Usable,
        ReadOnly, // usable, but this user may not write it
        Busy,     // another program holds it locked longer than we wait; try again later
        Damaged,
    };

    // The file's state; reason gets a short text of what is wrong with a damaged one.
    static State inspect(const QString &path, QString *reason = nullptr);
    // Renames the file (with its journal, if any) to "<name> (damaged <date time>).<extension>"
    // beside it; returns the new path, or an empty one (with error) when it cannot be moved.
    static QString moveAside(const QString &path, const QDateTime &when, QString *error = nullptr);
};

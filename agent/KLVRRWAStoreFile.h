// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDateTime>
#include <QString>

// The store file as a file: whether what lies at its path is a sound event store, and moving a
// damaged one aside (with its write-ahead log and index) so that a fresh store can start while
// the damaged one stays for whoever wants to look at it. Used by the store before it opens the
// file for writing; holds no state.
class KLVRRWAStoreFile
{
public:
    // Why the file at path is not a sound store ("not a database", a failed integrity check,
    // missing columns), or an empty text when it is sound, absent, empty, or cannot be read at
    // all (a permission problem is not damage: the file is left where it is).
    static QString damage(const QString &path);
    // The name the damaged file gets: "<path>.damaged-<UTC yyyyMMdd-HHmmss>".
    static QString asideName(const QString &path, const QDateTime &when);
    // Renames the file and its "-wal" and "-shm" companions to asideName(); the new path, or an
    // empty text (with errorText set) when the file could not be moved.
    static QString moveAside(const QString &path, const QDateTime &when, QString *errorText);
};

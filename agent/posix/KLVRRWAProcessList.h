// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The short command name of every process, read from /proc/<pid>/comm in ascending pid order.
class KLVRRWAProcessList
{
public:
    // Reads the process table under the system's /proc (through KLVRSystemPath).
    static QStringList names();
    // Reads the process table of a /proc-like directory; processes that end while it is read
    // are left out, an unreadable directory gives an empty list.
    static QStringList namesInDirectory(const QString &procPath);
    // Decodes a comm value leniently: the kernel cuts names at 15 bytes, possibly inside a
    // multi-byte character, and accepts any byte but NUL. Invalid UTF-8 and characters an XML
    // property list cannot carry become U+FFFD, so a name can never make an event unstorable.
    static QString decodeName(QByteArray comm);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QString>

// The agent when it runs as a plain program in the user's session: found through the process
// table (/proc/<pid>/exe) and stopped with SIGTERM.
class KLVRSessionProcesses
{
public:
    // Ids of this user's processes in this session whose executable file is named
    // executableName, ascending. A process belongs to the session when it uses the same session
    // bus as this program (its DBUS_SESSION_BUS_ADDRESS is ours).
    static QList<qint64> processesNamed(const QString &executableName);
    // Sends SIGTERM; false with the reason in error when the signal could not be sent.
    static bool terminate(qint64 pid, QString *error = nullptr);
};

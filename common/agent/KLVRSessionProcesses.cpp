// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRSessionProcesses.h"

#include "KLVRSystemPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// The session bus address in a process's environment ("" when it names none).
QByteArray sessionBusAddress(const QString &processDirectory)
{
    QFile environ(processDirectory + QStringLiteral("/environ"));
    if (!environ.open(QIODevice::ReadOnly))
        return QByteArray();
    static const QByteArray key("DBUS_SESSION_BUS_ADDRESS=");
    const QList<QByteArray> variables = environ.readAll().split('\0');
    for (const QByteArray &variable : variables) {
        if (variable.startsWith(key))
            return variable.mid(key.size());
    }
    return QByteArray();
}

} // namespace

QList<qint64> KLVRSessionProcesses::processesNamed(const QString &executableName)
{
    QList<qint64> pids;
    const QDir proc(KLVRSystemPath::resolve(QStringLiteral("/proc")));
    const uint uid = ::getuid();
    const qint64 self = ::getpid();
    const QByteArray session = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        const QString directory = proc.filePath(entry);
        if (QFileInfo(directory).ownerId() != uid)
            continue;
        // A replaced or removed executable reads as "<path> (deleted)"; it is still the agent.
        QString executable = QFileInfo(directory + QStringLiteral("/exe")).symLinkTarget();
        if (executable.endsWith(QLatin1String(" (deleted)")))
            executable.chop(10);
        if (!executable.isEmpty() && QFileInfo(executable).fileName() == executableName
            && sessionBusAddress(directory) == session)
            pids.append(pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

bool KLVRSessionProcesses::terminate(qint64 pid, QString *error)
{
    if (pid > 0 && ::kill(pid_t(pid), SIGTERM) == 0)
        return true;
    if (error)
        *error = pid > 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("invalid process id");
    return false;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

// The agent executable's privileged modes, run as root through pkexec by the client, one run per
// user action:
// - install: copies the running executable (/proc/self/exe) into the system helper folder, writes
//   the systemd unit, the D-Bus policy and the polkit actions, enables and starts the unit;
// - update: the same files, then the unit restarted, so that exactly one agent runs afterwards;
// - remove: asks the running agent to remove its files (removeAgentFiles), stops and disables the
//   unit and removes whatever is left, the D-Bus policy and polkit actions included.
// Folders are made 0755 whatever the umask. Every path goes through the system root, so tests
// install into a temporary tree.
class KLVRRWAInstaller
{
public:
    enum class Mode { None, Install, Update, Remove };

    // systemBus: where systemd's manager, the bus daemon and the running agent are asked.
    explicit KLVRRWAInstaller(const QDBusConnection &systemBus);

    // The mode the program's arguments ask for (None for the agent's normal run).
    static Mode modeOf(const QStringList &arguments);
    static bool isInstallMode(const QStringList &arguments) { return modeOf(arguments) != Mode::None; }
    // Runs the mode: the exit code for the process (KLVRAgentControllerInstallMode).
    int run(const QStringList &arguments);

    // Installs sourceExecutable as the system service; false with the reason in error.
    // helperPath: the program pkexec runs for these modes, named in the polkit actions.
    bool install(const QString &sourceExecutable, const QString &helperPath, QString *error);
    bool update(const QString &sourceExecutable, const QString &helperPath, QString *error);
    bool remove(QString *error);

    // Where the installed files go (system paths, not yet resolved through the system root).
    static QString installedExecutablePath();
    static QString unitPath();
    static QString busPolicyPath();
    static QString polkitActionsPath();
    static QString unitName();
    // Creates path and its missing parents with mode 0755.
    static bool makeFolder(const QString &path);

private:
    bool copyExecutable(const QString &source, QString *error);
    bool writeFiles(const QString &helperPath, QString *error);
    bool writeResource(const QString &resource, const QString &systemPath, const QString &helperPath, QString *error);
    bool askAgentToRemoveFiles();
    void reloadBusPolicy();

    QDBusConnection m_bus;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

// The agent executable's install mode, run as root through pkexec by the client: copies the
// running executable into the system helper folder, writes the systemd unit, the D-Bus policy and
// the polkit actions, and enables and starts the unit through systemd's D-Bus API. Every path
// goes through the system root, so tests install into a temporary tree.
class KLVRRWAInstaller
{
public:
    // systemBus: where systemd's manager and the bus daemon are asked.
    explicit KLVRRWAInstaller(const QDBusConnection &systemBus);

    // Whether the program's arguments ask for the install mode.
    static bool isInstallMode(const QStringList &arguments);
    // Runs the install mode: the exit code for the process (KLVRAgentControllerInstallMode).
    int run(const QStringList &arguments);

    // Installs sourceExecutable as the system service; false with the reason in error.
    bool install(const QString &sourceExecutable, QString *error);

    // Where the installed files go (system paths, not yet resolved through the system root).
    static QString installedExecutablePath();
    static QString unitPath();
    static QString busPolicyPath();
    static QString polkitActionsPath();
    static QString unitName();

private:
    bool copyExecutable(const QString &source, QString *error);
    bool writeResource(const QString &resource, const QString &systemPath, QString *error);
    bool startUnit(QString *error);

    QDBusConnection m_bus;
};

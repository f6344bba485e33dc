// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QString>
#include <QStringList>

// One systemd manager (the system manager on the system bus or the user manager on the session
// bus) through its D-Bus API. Every call answers whether it succeeded and leaves the bus error in
// lastError(); nothing is ever delegated to systemctl.
class KLVRSystemdManager
{
public:
    static constexpr int kCallTimeout = 25000; // ms; systemd may wait for polkit's answer

    explicit KLVRSystemdManager(const QDBusConnection &bus);

    // Lets systemd ask the user for authentication (polkit) before it refuses a privileged call.
    void setInteractiveAuthorizationAllowed(bool allowed) { m_interactive = allowed; }

    // Whether the manager holds the unit loaded from a unit file: the unit is known to it and its
    // LoadState is anything but "not-found". A manager that cannot be reached holds nothing.
    bool hasUnit(const QString &unit);
    // The unit's ActiveState ("active", "inactive", "failed", ...), empty when it is not loaded.
    QString activeState(const QString &unit);

    bool reload();
    bool enableUnitFiles(const QStringList &unitFiles);
    bool disableUnitFiles(const QStringList &unitFiles);
    bool startUnit(const QString &unit);
    bool stopUnit(const QString &unit);
    // Stops the unit and then starts it again, as one job: the old process is gone before the new
    // one runs.
    bool restartUnit(const QString &unit);

    QDBusError lastError() const { return m_lastError; }
    QDBusConnection bus() const { return m_bus; }

private:
    QDBusMessage call(const QString &method, const QVariantList &arguments);
    QString unitPath(const QString &unit);
    QString unitProperty(const QString &path, const QString &property);

    QDBusConnection m_bus;
    QDBusError m_lastError;
    bool m_interactive = false;
};

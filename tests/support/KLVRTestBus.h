// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>
#include <memory>
#include <vector>

// A private dbus-daemon for one test, with python-dbusmock templates standing in for system
// services. Limits::System keeps dbus-daemon's built-in limits, which are the system bus's
// (32 MiB max_message_size); Limits::Session raises them as the session bus does.
// Everything it started ends with it.
class KLVRTestBus
{
    Q_DISABLE_COPY(KLVRTestBus)

public:
    enum class Limits { System, Session };

    explicit KLVRTestBus(Limits limits = Limits::System);
    ~KLVRTestBus();

    // Gives users other than root the system bus's own default policy (own nothing, call only
    // the bus) plus the holes policyFile punches, as on a real system bus; root, standing in for
    // the system's services, may own and call anything. The bus's socket becomes reachable by
    // every user. Call before start().
    void setSystemPolicy(const QString &policyFile) { m_systemPolicy = policyFile; }

    // Starts the daemon; false (with a warning) when it could not.
    bool start();
    // A test that is killed (a time-out, a crash) takes process with it: buses, mocks, programs.
    static void endsWithTheTest(QProcess &process);
    bool isRunning() const;
    QString address() const { return m_address; }

    // A new named connection to this bus (disconnected again when the bus goes).
    QDBusConnection connection(const QString &name = QString());

    // The system environment with DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS set to this
    // bus, for the programs under test.
    QProcessEnvironment environment() const;
    // Points this process's own system and session bus at this bus; call before the first use of
    // QDBusConnection::systemBus()/sessionBus().
    void exportAddresses() const;

    // Starts `/usr/bin/python3 -m dbusmock --template <name>` on this bus and waits until the
    // template's bus name is owned. parameters: a JSON object text for --parameters.
    // Returns nullptr when the mock did not come up in time.
    QProcess *startMock(const QString &templateName, const QString &parameters = QString());
    // The bus name a template owns ("logind" -> "org.freedesktop.login1", ...).
    static QString busNameForTemplate(const QString &templateName);
    // Waits until name has an owner on this bus.
    bool waitForName(const QString &name, int timeoutMs = 10000);

    // Calls a method on a mock object (for example the org.freedesktop.DBus.Mock interface's
    // AddObject, EmitSignal, SetProperty). Returns the reply (or the error message).
    QDBusMessage call(const QString &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments = {}, int timeoutMs = 10000);

    // A scratch directory that lives as long as the bus.
    QString scratchPath() const { return m_dir.path(); }

private:
    Limits m_limits;
    QString m_systemPolicy;
    QTemporaryDir m_dir;
    QString m_address;
    std::unique_ptr<QProcess> m_daemon;
    std::vector<std::unique_ptr<QProcess>> m_mocks;
    QStringList m_connectionNames;
};

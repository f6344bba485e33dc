// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRTestBus.h"

#include <QDBusConnection>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>
#include <memory>

// Two private buses standing in for the system and session buses, python-dbusmock's systemd
// template on each (extended by systemd_manager.py to load unit files, run their processes and,
// on the system bus, ask polkit about every caller) and polkit's authority on the system bus
// (polkit_authority.py, which counts password prompts), a pkexec that asks that polkit, and a
// fresh temporary tree per test for the system root, the home folder and the XDG folders, which
// this process and every agent it starts use.
class KLVRAgentTestEnvironment
{
    Q_DISABLE_COPY(KLVRAgentTestEnvironment)

public:
    static inline const QString kAgentName = QStringLiteral("com.klvr.restwatch.agent");
    static inline const QString kUnitName = QStringLiteral("com.klvr.restwatch.agent.service");
    static inline const QString kHousekeepingName = QStringLiteral("com.klvr.restwatch.agent._service");

    KLVRAgentTestEnvironment() = default;
    ~KLVRAgentTestEnvironment();

    // Starts the buses and the mocks; false when something did not come up. sessionLimits:
    // System makes the session bus as strict as the system bus.
    bool start(bool withMocks = true, KLVRTestBus::Limits sessionLimits = KLVRTestBus::Limits::Session);
    // A new tree, pointed at by this process's environment; stops every agent of the last one.
    bool resetTree();
    void stopAgents();

    KLVRTestBus &systemBus() { return *m_system; }
    KLVRTestBus &sessionBus() { return *m_session; }
    QDBusConnection systemConnection() { return connection(*m_system, QStringLiteral("client")); }
    QDBusConnection sessionConnection() { return connection(*m_session, QStringLiteral("client")); }
    // A connection to bus for one purpose. Connection names are process-wide, so each names its
    // bus as well: the same purpose on the two buses must not share one connection.
    QDBusConnection connection(KLVRTestBus &bus, const QString &purpose);
    // A blocking call on bus, with a timeout long enough for the emulated systemd's jobs.
    QDBusMessage call(KLVRTestBus &bus, const QString &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments = {});
    bool waitForName(KLVRTestBus &bus, const QString &name, int timeoutMs = 15000);

    QString root() const { return m_tree->path(); }
    QString sysroot() const { return m_tree->filePath(QStringLiteral("sysroot")); }
    QString home() const { return m_tree->filePath(QStringLiteral("home")); }
    QString dataHome() const { return m_tree->filePath(QStringLiteral("data")); }
    QString configHome() const { return m_tree->filePath(QStringLiteral("config")); }
    QString systemUnitFolder() const { return sysroot() + QStringLiteral("/usr/local/lib/systemd/system"); }
    QString userUnitFolder() const { return configHome() + QStringLiteral("/systemd/user"); }

    static QString agentBinary();
    QProcessEnvironment agentEnvironment() const;
    // Runs an agent as a plain program and waits until its housekeeping service answers.
    QProcess *startAgent(const QString &program = agentBinary());
    // Waits until the housekeeping service is (or is no longer) on either bus.
    bool waitForAgent(bool present, int timeoutMs = 15000);

    // The systemd mock on the bus: loads and unloads units as systemd's Reload does.
    void reloadUnits(KLVRTestBus &bus);
    // The first argument, as strings, of each logged call of method on the systemd mock of bus,
    // oldest first.
    QList<QStringList> unitCalls(KLVRTestBus &bus, const QString &method);
    QString unitActiveState(KLVRTestBus &bus, const QString &unit = kUnitName);
    // The actions an administrator's password is given for; forgets earlier prompts and the
    // authorizations they left.
    void setPolkitAllowed(const QStringList &actions);
    // The action of every password prompt since the last setPolkitAllowed, oldest first.
    QStringList polkitPrompts();
    // Stops the polkit mock (its name leaves the system bus), or starts it again.
    bool setPolkitRunning(bool running);
    // Puts the tests' pkexec into the tree's /usr/bin, or takes it away.
    bool installPkexec(bool installed);
    // The process of the agent's unit on bus (0 when it runs none).
    qint64 unitProcess(KLVRTestBus &bus);

    // Every file below folder, relative to it, sorted.
    static QStringList filesBelow(const QString &folder);

private:
    bool startSystemd(KLVRTestBus &bus, bool checksPolkit);
    void configureUnits(KLVRTestBus &bus, const QString &folder, const QString &root);

    std::unique_ptr<KLVRTestBus> m_system;
    std::unique_ptr<KLVRTestBus> m_session;
    std::unique_ptr<QTemporaryDir> m_tree;
    QList<QProcess *> m_agents;
    QProcess *m_polkit = nullptr;
    bool m_mocks = false;
};

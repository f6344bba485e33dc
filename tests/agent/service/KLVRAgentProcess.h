// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAEventList.h"
#include "KLVRTestBus.h"

#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>

// The real agent program on a test bus, with its own home (XDG folders) and system root, so its
// store, defaults and system files land in a temporary tree.
class KLVRAgentProcess
{
    Q_DISABLE_COPY(KLVRAgentProcess)

public:
    static inline const QString EventService = QStringLiteral("com.klvr.restwatch.agent");
    static inline const QString HousekeepingService = QStringLiteral("com.klvr.restwatch.agent._service");
    static inline const QString ObjectPath = QStringLiteral("/com/klvr/restwatch/agent");
    static inline const QString EventInterface = QStringLiteral("com.klvr.restwatch.KLVRRWAServiceProtocol");
    static inline const QString HousekeepingInterface = QStringLiteral("com.klvr.restwatch.KLVRAgentServiceProtocol");

    // home: shares another agent's folders when given.
    explicit KLVRAgentProcess(KLVRTestBus &bus, const QString &home = QString());
    ~KLVRAgentProcess();

    QString home() const { return m_home; }
    QString sysroot() const { return m_home + QStringLiteral("/root"); }
    // Where an agent run from outside the system helper folder keeps its store.
    QString userStorePath() const { return m_home + QStringLiteral("/data/restwatch/store.db"); }
    QString defaultsPath() const { return m_home + QStringLiteral("/config/klvr/com.klvr.restwatch.agent.plist"); }

    // Runs the agent on this machine's own /proc, /sys and accounting files instead of sysroot().
    void useRealSystem() { m_realSystem = true; }
    // Starts executable (the built agent by default); waitForServices: until both names are owned.
    bool start(const QString &executable = QString(), bool waitForServices = true);
    QProcess &process() { return m_process; }
    // Everything the agent wrote to stdout and stderr so far.
    QString output();
    // Sends sig and waits for the exit; the exit code, or -1 when it crashed or did not end.
    int stop(int sig = SIGTERM);

    // A call on the test bus's caller connection; the reply or error.
    QDBusMessage call(const QString &service, const QString &interface, const QString &method,
                      const QVariantList &arguments = {});
    QString version() { return call(EventService, EventInterface, QStringLiteral("version")).arguments().value(0).toString(); }
    // sortedEventsFromDate over the whole store (NaN, NaN); ok: whether the agent answered.
    KLVRRWAEventList events(bool *ok = nullptr);
    // The number of those events, -1 on error.
    int eventCount();

    // The events table of a store file, by id: "monitor|description" per row.
    static QStringList storedEvents(const QString &storePath);
    // Writes a store of count events one minute apart from firstDate, as the monitors record
    // them: every heavyEvery-th a "Can system sleep" with processes process names, the others
    // power-source changes and agent starts. False when SQLite failed.
    static bool writeStore(const QString &storePath, int count, int heavyEvery, int processes, double firstDate);

private:
    KLVRTestBus &m_bus;
    QTemporaryDir m_dir;
    QString m_home;
    QProcess m_process;
    bool m_realSystem = false;
};

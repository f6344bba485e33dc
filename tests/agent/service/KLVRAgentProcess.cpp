// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentProcess.h"

#include "KLVRRWAEventList.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <cmath>
#include <sqlite3.h>

KLVRAgentProcess::KLVRAgentProcess(KLVRTestBus &bus, const QString &home)
    : m_bus(bus)
    , m_home(home.isEmpty() ? m_dir.path() : home)
{
    KLVRRWARegisterEventListType();
    // A file, not a pipe: a chatty agent must never block on output the test is not reading.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("agent.log")));
}

KLVRAgentProcess::~KLVRAgentProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool KLVRAgentProcess::start(const QString &executable, bool waitForServices)
{
    QProcessEnvironment env = m_bus.environment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("RESTWATCH_SYSROOT"), sysroot());
    env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    m_process.setProcessEnvironment(env);
    m_process.start(executable.isEmpty() ? QStringLiteral(RESTWATCH_AGENT_PATH) : executable, {});
    if (!m_process.waitForStarted(5000))
        return false;
    return !waitForServices || (m_bus.waitForName(HousekeepingService) && m_bus.waitForName(EventService));
}

QString KLVRAgentProcess::output()
{
    QFile log(m_dir.filePath(QStringLiteral("agent.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

int KLVRAgentProcess::stop(int sig)
{
    if (m_process.state() != QProcess::NotRunning)
        ::kill(pid_t(m_process.processId()), sig);
    if (!m_process.waitForFinished(10000))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QDBusMessage KLVRAgentProcess::call(const QString &service, const QString &interface, const QString &method,
                                    const QVariantList &arguments)
{
    return m_bus.call(service, ObjectPath, interface, method, arguments);
}

int KLVRAgentProcess::eventCount()
{
    const QDBusMessage reply = call(EventService, EventInterface, QStringLiteral("sortedEventsFromDate"),
                                    {std::nan(""), std::nan("")});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return -1;
    return int(qdbus_cast<KLVRRWAEventList>(reply.arguments().value(0)).size());
}

QStringList KLVRAgentProcess::storedEvents(const QString &storePath)
{
    QStringList rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(storePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT monitor, description FROM events ORDER BY id", -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW)
                rows << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))) + QLatin1Char('|')
                            + QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 1)));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

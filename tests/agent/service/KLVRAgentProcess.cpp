// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentProcess.h"

#include "KLVRPropertyList.h"
#include "KLVRRWAEventTable.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <sqlite3.h>

KLVRAgentProcess::KLVRAgentProcess(KLVRTestBus &bus, const QString &home)
    : m_bus(bus)
    , m_home(home.isEmpty() ? m_dir.path() : home)
{
    KLVRRWAEventTable::registerMetaType();
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
    if (m_realSystem)
        env.remove(QStringLiteral("RESTWATCH_SYSROOT"));
    else
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
        if (const pid_t target = pid_t(m_process.processId()); target > 0) // kill(0) would end the whole test run
            ::kill(target, sig);
    if (!m_process.waitForFinished(10000))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QDBusMessage KLVRAgentProcess::call(const QString &service, const QString &interface, const QString &method,
                                    const QVariantList &arguments)
{
    return m_bus.call(service, ObjectPath, interface, method, arguments);
}

KLVRRWAEventList KLVRAgentProcess::events(bool *ok)
{
    const QDBusMessage reply = call(EventService, EventInterface, QStringLiteral("sortedEventsFromDate"),
                                    {std::nan(""), std::nan("")});
    if (ok)
        *ok = reply.type() == QDBusMessage::ReplyMessage;
    return qdbus_cast<KLVRRWAEventList>(reply.arguments().value(0));
}

int KLVRAgentProcess::eventCount()
{
    bool ok = false;
    const KLVRRWAEventList all = events(&ok);
    return ok ? int(all.size()) : -1;
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

namespace {

QVariantMap processContext(int processes)
{
    static const char *const kNames[] = {"systemd", "kworker/u16:%1-events_unbound", "gnome-shell", "pipewire-pulse",
                                         "Xwayland", "firefox-esr", "Isolated Web Co", "gsd-power", "NetworkManager",
                                         "dbus-daemon", "kthreadd", "rcu_preempt", "irq/%1-iwlwifi", "evolution-alarm"};
    QVariantList names;
    for (int i = 0; i < processes; ++i)
        names.append(QString::fromLatin1(kNames[i % std::size(kNames)]).replace(QStringLiteral("%1"), QString::number(i)));
    return {{QStringLiteral("Idle Seconds"), 312}, {QStringLiteral("Processes"), names}};
}

QVariantMap powerSourceContext(int i)
{
    return {{QStringLiteral("Name"), QStringLiteral("BAT0")},
            {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
            {QStringLiteral("Transport Type"), QStringLiteral("Internal")},
            {QStringLiteral("Is Present"), true},
            {QStringLiteral("Is Charging"), i % 2 == 0},
            {QStringLiteral("Power Source State"), i % 2 == 0 ? QStringLiteral("AC Power") : QStringLiteral("Battery Power")},
            {QStringLiteral("Current Capacity"), 20 + i % 80},
            {QStringLiteral("Max Capacity"), 100},
            {QStringLiteral("Time to Empty"), 184},
            {QStringLiteral("Power Source ID"), 1}};
}

bool execute(sqlite3 *db, const QString &sql)
{
    return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

bool KLVRAgentProcess::writeStore(const QString &storePath, int count, int heavyEvery, int processes, double firstDate)
{
    const QString schema = KLVRPropertyList::readFile(QStringLiteral(RESTWATCH_AGENT_INFO_PLIST))
                               .toMap().value(QStringLiteral("KLVRDatabaseSQLCreate")).toString();
    QDir().mkpath(QFileInfo(storePath).path());
    sqlite3 *db = nullptr;
    bool ok = !schema.isEmpty() && sqlite3_open(storePath.toUtf8().constData(), &db) == SQLITE_OK;
    // The trigger that keeps the newest rows would count the table on every insert.
    ok = ok && execute(db, schema) && execute(db, QStringLiteral("DROP TRIGGER constrain_events; BEGIN;"));
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO events (date, monitor, description, properties) VALUES (?, ?, ?, ?)",
                                  -1, &insert, nullptr) == SQLITE_OK;
    const QByteArray heavy = KLVRPropertyList::write(processContext(processes));
    for (int i = 0; ok && i < count; ++i) {
        QByteArray monitor = "com.klvr.monitor.watcher.powersource", description = "Power state changed", properties;
        if (i % heavyEvery == 0) {
            monitor = "com.klvr.monitor.watcher.powerevents";
            description = "Can system sleep";
            properties = heavy;
        } else if (i % 7 == 0) {
            monitor = "com.klvr.restwatch";
            description = "Starting monitor";
            properties = "NULL";
        } else {
            properties = KLVRPropertyList::write(powerSourceContext(i));
        }
        const QByteArray date = QByteArray::number(firstDate + 60.0 * i, 'f', 6);
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, date.constData(), int(date.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, monitor.constData(), int(monitor.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, description.constData(), int(description.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, properties.constData(), int(properties.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    sqlite3_finalize(insert);
    ok = ok && execute(db, QStringLiteral("COMMIT;")) && execute(db, schema);
    sqlite3_close(db);
    return ok;
}

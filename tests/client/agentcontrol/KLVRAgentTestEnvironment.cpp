// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentTestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>

namespace {
const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kSystemdPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

QString mockTemplate(const QString &file)
{
    return QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/client/agentcontrol/") + file;
}

// pkexec as these tests have it: it asks polkit once for the action whose exec.path annotation
// names the program (org.freedesktop.policykit.exec when none does), as pkexec does, and runs the
// program as "root": the mocks treat a process with RESTWATCH_TEST_ROOT=1 as root.
const char kPkexec[] = R"sh(#!/bin/sh
action=org.freedesktop.policykit.exec
for policy in "$RESTWATCH_SYSROOT"/usr/share/polkit-1/actions/*.policy; do
  [ -f "$policy" ] || continue
  if grep -q "<annotate key=\"org.freedesktop.policykit.exec.path\">$1</annotate>" "$policy"; then
    action=com.klvr.restwatch.agent.blesshelper
  fi
done
answer=$(gdbus call --system --dest org.freedesktop.PolicyKit1 --object-path /org/freedesktop/PolicyKit1/Authority \
  --method org.freedesktop.PolicyKit1.Authority.CheckAuthorization \
  "('unix-process', {'pid': <uint32 $$>, 'start-time': <uint64 0>})" "$action" "@a{ss} {}" 1 "") || exit 127
case "$answer" in
  "((true,"*) ;;
  *) echo "Error executing command as another user: Not authorized" >&2; exit 127 ;;
esac
RESTWATCH_TEST_ROOT=1 exec "$@"
)sh";
} // namespace

KLVRAgentTestEnvironment::~KLVRAgentTestEnvironment()
{
    stopAgents();
}

QString KLVRAgentTestEnvironment::agentBinary()
{
    return QStringLiteral(RESTWATCH_BINARY_DIR "/agent/com.klvr.restwatch.agent");
}

bool KLVRAgentTestEnvironment::start(bool withMocks, KLVRTestBus::Limits sessionLimits)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    m_system = std::make_unique<KLVRTestBus>(KLVRTestBus::Limits::System);
    m_session = std::make_unique<KLVRTestBus>(sessionLimits);
    if (!m_system->start() || !m_session->start())
        return false;
    m_mocks = withMocks;
    if (withMocks) {
        if (!setPolkitRunning(true) || !startSystemd(*m_system, true)
            || !startSystemd(*m_session, false))
            return false;
    }
    return resetTree();
}

QDBusConnection KLVRAgentTestEnvironment::connection(KLVRTestBus &bus, const QString &purpose)
{
    return bus.connection(QStringLiteral("klvr-test-%1-%2").arg(&bus == m_system.get() ? QStringLiteral("system")
                                                                                      : QStringLiteral("session"),
                                                                 purpose));
}

QDBusMessage KLVRAgentTestEnvironment::call(KLVRTestBus &bus, const QString &service, const QString &path,
                                            const QString &interface, const QString &method, const QVariantList &arguments)
{
    return bus.call(service, path, interface, method, arguments, 20000);
}

bool KLVRAgentTestEnvironment::waitForName(KLVRTestBus &bus, const QString &name, int timeoutMs)
{
    return bus.waitForName(name, timeoutMs);
}

bool KLVRAgentTestEnvironment::startSystemd(KLVRTestBus &bus, bool checksPolkit)
{
    return bus.startMock(mockTemplate(QStringLiteral("systemd_manager.py")),
                         checksPolkit ? QStringLiteral("{\"polkit\": true}") : QStringLiteral("{}"))
           && waitForName(bus, kSystemd);
}

bool KLVRAgentTestEnvironment::resetTree()
{
    stopAgents();
    m_tree = std::make_unique<QTemporaryDir>();
    if (!m_tree->isValid())
        return false;
    for (const QString &folder : {systemUnitFolder(), home() + QStringLiteral("/Documents"),
                                  dataHome(), configHome(), root() + QStringLiteral("/cache")})
        QDir().mkpath(folder);
    // The process table stays the real one; everything else of the system is the tree's.
    if (!QFile::link(QStringLiteral("/proc"), sysroot() + QStringLiteral("/proc")) || !installPkexec(true))
        return false;
    // This process and the programs it starts (pkexec's stand-in, the client) see the tree and
    // find the private buses.
    const QProcessEnvironment environment = agentEnvironment();
    for (const char *name : {"RESTWATCH_SYSROOT", "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"})
        qputenv(name, environment.value(QString::fromLatin1(name)).toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (home() + QStringLiteral("/Documents")).toUtf8());
    if (m_mocks) {
        configureUnits(*m_system, systemUnitFolder(), sysroot());
        configureUnits(*m_session, userUnitFolder(), QString());
        setPolkitAllowed({});
    }
    return true;
}

void KLVRAgentTestEnvironment::configureUnits(KLVRTestBus &bus, const QString &folder, const QString &root)
{
    QMap<QString, QString> environment;
    const QProcessEnvironment agent = agentEnvironment();
    for (const QString &key : agent.keys())
        environment.insert(key, agent.value(key));
    call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("StopAllUnits"));
    call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("ConfigureUnits"), {folder, root, QVariant::fromValue(environment)});
    reloadUnits(bus);
    call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("ClearCalls"));
}

void KLVRAgentTestEnvironment::stopAgents()
{
    for (QProcess *agent : std::as_const(m_agents)) {
        if (agent->state() != QProcess::NotRunning) {
            agent->terminate();
            if (!agent->waitForFinished(5000)) {
                agent->kill();
                agent->waitForFinished(2000);
            }
        }
        delete agent;
    }
    m_agents.clear();
    if (m_mocks && m_system) {
        call(*m_system, kSystemd, kSystemdPath, kMock, QStringLiteral("StopAllUnits"));
        call(*m_session, kSystemd, kSystemdPath, kMock, QStringLiteral("StopAllUnits"));
    }
    if (m_system)
        waitForAgent(false, 5000);
}

QProcessEnvironment KLVRAgentTestEnvironment::agentEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (m_system)
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_system->address());
    if (m_session)
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_session->address());
    if (m_tree) {
        environment.insert(QStringLiteral("RESTWATCH_SYSROOT"), sysroot());
        environment.insert(QStringLiteral("HOME"), home());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), root() + QStringLiteral("/cache"));
    }
    return environment;
}

QProcess *KLVRAgentTestEnvironment::startAgent(const QString &program)
{
    auto *agent = new QProcess;
    agent->setProcessEnvironment(agentEnvironment());
    agent->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent->setStandardOutputFile(QProcess::nullDevice());
    KLVRTestBus::endsWithTheTest(*agent);
    agent->start(program, {});
    m_agents.append(agent);
    if (!agent->waitForStarted(5000) || !waitForAgent(true))
        return nullptr;
    return agent;
}

bool KLVRAgentTestEnvironment::waitForAgent(bool present, int timeoutMs)
{
    QDBusConnection system = systemConnection();
    QDBusConnection session = sessionConnection();
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const bool found = system.interface()->isServiceRegistered(kHousekeepingName).value()
                           || session.interface()->isServiceRegistered(kHousekeepingName).value();
        if (found == present)
            return true;
        QThread::msleep(20);
    }
    return false;
}

void KLVRAgentTestEnvironment::reloadUnits(KLVRTestBus &bus)
{
    call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("ReloadUnits"));
}

QList<QStringList> KLVRAgentTestEnvironment::unitCalls(KLVRTestBus &bus, const QString &method)
{
    return qdbus_cast<QList<QStringList>>(call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("UnitCalls"), {method}).arguments().value(0));
}

QString KLVRAgentTestEnvironment::unitActiveState(KLVRTestBus &bus, const QString &unit)
{
    const QDBusMessage path = call(bus, kSystemd, kSystemdPath, kManager, QStringLiteral("GetUnit"), {unit});
    if (path.type() != QDBusMessage::ReplyMessage)
        return QString();
    const QDBusMessage state = call(bus, kSystemd, qvariant_cast<QDBusObjectPath>(path.arguments().constFirst()).path(),
                                        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                        {QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState")});
    return state.type() == QDBusMessage::ReplyMessage
               ? qvariant_cast<QDBusVariant>(state.arguments().constFirst()).variant().toString()
               : QString();
}

void KLVRAgentTestEnvironment::setPolkitAllowed(const QStringList &actions)
{
    call(*m_system, QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                   kMock, QStringLiteral("SetAllowed"), {actions});
}

QStringList KLVRAgentTestEnvironment::filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

bool KLVRAgentTestEnvironment::setPolkitRunning(bool running)
{
    const QString name = QStringLiteral("org.freedesktop.PolicyKit1");
    if (running == (m_polkit && m_polkit->state() != QProcess::NotRunning))
        return true;
    if (running) {
        m_polkit = m_system->startMock(mockTemplate(QStringLiteral("polkit_authority.py")));
        return m_polkit && waitForName(*m_system, name);
    }
    m_polkit->terminate();
    if (!m_polkit->waitForFinished(5000)) {
        m_polkit->kill();
        m_polkit->waitForFinished(5000);
    }
    QDBusConnectionInterface *bus = connection(*m_system, QStringLiteral("polkit-watch")).interface();
    const QDeadlineTimer deadline(5000);
    while (bus->isServiceRegistered(name).value() && !deadline.hasExpired())
        QThread::msleep(20);
    return !bus->isServiceRegistered(name).value();
}

bool KLVRAgentTestEnvironment::installPkexec(bool installed)
{
    const QString path = sysroot() + QStringLiteral("/usr/bin/pkexec");
    if (!installed)
        return !QFileInfo::exists(path) || QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kPkexec) < 0)
        return false;
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QStringList KLVRAgentTestEnvironment::polkitPrompts()
{
    return call(*m_system, QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                kMock, QStringLiteral("Prompts"))
        .arguments()
        .value(0)
        .toStringList();
}

qint64 KLVRAgentTestEnvironment::unitProcess(KLVRTestBus &bus)
{
    return call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("UnitProcess"), {kUnitName}).arguments().value(0).toLongLong();
}

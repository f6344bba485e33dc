// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentTestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
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

QString helperScript()
{
    return QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/client/agentcontrol/systemd_units.py");
}

// One method of the emulation: the helper's function, called with the mock, its objects and args.
QString helperCall(const QString &function)
{
    return QStringLiteral("import runpy\nret = runpy.run_path('%1')['%2'](self, objects, args)\n")
        .arg(helperScript(), function);
}
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
    m_system = std::make_unique<KLVRTestBus>(KLVRTestBus::Limits::System);
    m_session = std::make_unique<KLVRTestBus>(sessionLimits);
    if (!m_system->start() || !m_session->start())
        return false;
    m_mocks = withMocks;
    if (withMocks) {
        if (!startSystemd(*m_system) || !startSystemd(*m_session) || !m_system->startMock(QStringLiteral("polkitd"))
            || !waitForName(*m_system, QStringLiteral("org.freedesktop.PolicyKit1")))
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

bool KLVRAgentTestEnvironment::startSystemd(KLVRTestBus &bus)
{
    if (!bus.startMock(QStringLiteral("systemd")) || !waitForName(bus, kSystemd))
        return false;
    const QList<QVariantList> methods{
        {kMock, QStringLiteral("ConfigureUnits"), QStringLiteral("ssa{ss}"), QString(), helperCall(QStringLiteral("configure"))},
        {kMock, QStringLiteral("StopAllUnits"), QString(), QString(), helperCall(QStringLiteral("stop_all"))},
        {kMock, QStringLiteral("UnitCalls"), QStringLiteral("s"), QStringLiteral("aas"), helperCall(QStringLiteral("unit_calls"))},
        {kManager, QStringLiteral("Reload"), QString(), QString(), helperCall(QStringLiteral("reload"))},
        {kManager, QStringLiteral("EnableUnitFiles"), QStringLiteral("asbb"), QStringLiteral("ba(sss)"),
         helperCall(QStringLiteral("enable_unit_files"))},
        {kManager, QStringLiteral("DisableUnitFiles"), QStringLiteral("asb"), QStringLiteral("a(sss)"),
         helperCall(QStringLiteral("disable_unit_files"))},
        {kManager, QStringLiteral("StartUnit"), QStringLiteral("ss"), QStringLiteral("o"), helperCall(QStringLiteral("start_unit"))},
        {kManager, QStringLiteral("StopUnit"), QStringLiteral("ss"), QStringLiteral("o"), helperCall(QStringLiteral("stop_unit"))},
    };
    for (const QVariantList &method : methods) {
        if (call(bus, kSystemd, kSystemdPath, kMock, QStringLiteral("AddMethod"), method).type() != QDBusMessage::ReplyMessage)
            return false;
    }
    return true;
}

bool KLVRAgentTestEnvironment::resetTree()
{
    stopAgents();
    m_tree = std::make_unique<QTemporaryDir>();
    if (!m_tree->isValid())
        return false;
    for (const QString &folder : {sysroot() + QStringLiteral("/etc/systemd/system"), home() + QStringLiteral("/Documents"),
                                  dataHome(), configHome(), root() + QStringLiteral("/cache")})
        QDir().mkpath(folder);
    // The process table stays the real one; everything else of the system is the tree's.
    if (!QFile::link(QStringLiteral("/proc"), sysroot() + QStringLiteral("/proc")))
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
    call(bus, kSystemd, kSystemdPath, kManager, QStringLiteral("Reload"));
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

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentStateProbe.h"

#include "KLVRAgentServiceProtocolProxy.h"
#include "KLVRSessionProcesses.h"
#include "KLVRSystemdManager.h"

#include <QDBusConnectionInterface>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAgentProbe, "restwatch.agentcontroller.probe")

namespace {
const QString kObjectPath = QStringLiteral("/com/klvr/restwatch/agent");
}

KLVRAgentStateProbe::KLVRAgentStateProbe(const QDBusConnection &systemBus, const QDBusConnection &sessionBus)
    : m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
{
}

KLVRAgentStateProbe::Found KLVRAgentStateProbe::found()
{
    if (hasUnit(true))
        return SystemUnit;
    if (hasUnit(false))
        return UserUnit;
    if (isRunningInSession())
        return SessionProgram;
    return Nothing;
}

bool KLVRAgentStateProbe::hasUnit(bool system)
{
    const QDBusConnection &bus = system ? m_systemBus : m_sessionBus;
    if (!bus.isConnected())
        return false;
    return KLVRSystemdManager(bus).hasUnit(m_agentName + QStringLiteral(".service"));
}

bool KLVRAgentStateProbe::isRunningInSession()
{
    return !KLVRSessionProcesses::processesNamed(m_agentName).isEmpty();
}

std::optional<QDBusConnection> KLVRAgentStateProbe::serviceBus()
{
    for (const QDBusConnection &bus : {m_systemBus, m_sessionBus}) {
        if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(serviceName()).value())
            return bus;
    }
    return std::nullopt;
}

QString KLVRAgentStateProbe::answeringVersion()
{
    const std::optional<QDBusConnection> bus = serviceBus();
    if (!bus) {
        m_stuckOwner.clear();
        return QString();
    }
    const QString owner = bus->interface()->serviceOwner(serviceName()).value();
    if (!owner.isEmpty() && owner == m_stuckOwner)
        return QString();
    KLVRAgentServiceProtocolProxy agent(serviceName(), kObjectPath, *bus);
    agent.setTimeout(kAgentTimeout);
    QDBusPendingReply<QString> reply = agent.version();
    reply.waitForFinished();
    if (reply.isError()) {
        const QDBusError::ErrorType type = reply.error().type();
        // Gone or never there: no answer. Stuck: no answer, and not asked again.
        if (type == QDBusError::ServiceUnknown || type == QDBusError::Disconnected)
            return QString();
        if (type == QDBusError::NoReply || type == QDBusError::Timeout || type == QDBusError::TimedOut) {
            m_stuckOwner = owner;
            return QString();
        }
        qCInfo(lcAgentProbe).noquote() << "No agent version available";
        m_stuckOwner.clear();
        return QStringLiteral("0");
    }
    m_stuckOwner.clear();
    const QString version = reply.value();
    return version.isNull() ? QStringLiteral("0") : version;
}

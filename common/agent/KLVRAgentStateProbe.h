// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QString>
#include <optional>

// Finds out how the agent is installed and whether it answers: a unit of the system manager, a
// unit of the user's manager, or the agent program running in this session (process table), and
// its housekeeping service on the system bus, then the session bus. Blocking calls, each bounded;
// an agent that once let the version request time out is not asked again until its bus name
// changes hands, so that a stuck agent costs one time-out, not one per check.
class KLVRAgentStateProbe
{
public:
    // What was found, as the agent's state numbers have it.
    enum Found : int { Nothing = 1, SystemUnit = 2, UserUnit = 3, SessionProgram = 4 };

    static constexpr int kAgentTimeout = 5000; // ms, every request to the agent

    KLVRAgentStateProbe(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);

    void setAgentName(const QString &name) { m_agentName = name; }
    QString serviceName() const { return m_agentName + QStringLiteral("._service"); }

    Found found();
    bool hasUnit(bool system);
    bool isRunningInSession();

    // The bus on which the housekeeping service has an owner, system bus first.
    std::optional<QDBusConnection> serviceBus();
    // Asks the agent its version: the version ("0" when it could not be read) when it answers, a
    // null string when nothing answers.
    QString answeringVersion();
    // The last answer came from an owner that did not reply in time.
    bool lastOwnerIsStuck() const { return !m_stuckOwner.isEmpty(); }

private:
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QString m_agentName;
    QString m_stuckOwner;
};

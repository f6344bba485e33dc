// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerError.h"

#include <QDBusConnection>
#include <QString>

// The agent installed for one user: a copy of the client's agent in the user's data folder
// ("KLVRAgentControllerApplicationSupportFolder", the client's bundle identifier by default) and
// a unit for the user's systemd manager in "KLVRAgentControllerLaunchAgentsFolder" of the user's
// configuration folder, built from the client's resource "agent.service". An installation that
// fails part way takes back what it wrote, so that the next attempt starts from a clean slate.
class KLVRAgentUserInstallation
{
public:
    KLVRAgentUserInstallation(const QDBusConnection &sessionBus, const QString &agentName, const QString &embeddedAgentPath);

    QString applicationSupportPath() const;
    QString userAgentPath() const;
    QString launchAgentsFolderPath() const;
    QString jobTicketLabel() const;
    QString jobTicketPath() const;
    QString unitName() const { return m_agentName + QStringLiteral(".service"); }
    // The unit's text with ExecStart naming the user's copy; empty without a template.
    QString jobTicket() const;

    // Copies the agent, writes, enables and starts its unit; errors 8 to 14.
    KLVRAgentControllerError install();
    // Stops and disables the unit, removes the copy and the unit file; errors 17 to 19.
    KLVRAgentControllerError remove();

    // systemd's quoting of one ExecStart word: specifiers, variables and quotes escaped, quoted.
    static QString unitQuoted(const QString &path);

private:
    void rollBack(bool copied, bool written, bool enabled);
    KLVRAgentControllerError removeFiles();

    QDBusConnection m_sessionBus;
    QString m_agentName;
    QString m_embeddedAgentPath;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentUserInstallation.h"

#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRSystemdManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcUserInstallation, "restwatch.agentcontroller.user")

namespace {
const QString kClassName = QStringLiteral("KLVRAgentController");
}

KLVRAgentUserInstallation::KLVRAgentUserInstallation(const QDBusConnection &sessionBus, const QString &agentName,
                                                     const QString &embeddedAgentPath)
    : m_sessionBus(sessionBus)
    , m_agentName(agentName)
    , m_embeddedAgentPath(embeddedAgentPath)
{
}

QString KLVRAgentUserInstallation::unitQuoted(const QString &path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    // systemd expands $NAME and ${NAME} in ExecStart; "$$" is a dollar sign.
    quoted.replace(QLatin1Char('$'), QLatin1String("$$"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString KLVRAgentUserInstallation::applicationSupportPath() const
{
    QString folder = KLVRBundle::main().objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerApplicationSupportFolder")).toString();
    if (folder.isEmpty())
        folder = KLVRBundle::main().bundleIdentifier();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(folder);
}

QString KLVRAgentUserInstallation::userAgentPath() const
{
    const QString folder = applicationSupportPath();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QFileInfo(m_embeddedAgentPath).fileName());
}

QString KLVRAgentUserInstallation::launchAgentsFolderPath() const
{
    const QVariant folder = KLVRBundle::main().objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerLaunchAgentsFolder"));
    KLVR_ASSERT(folder.isValid(), KLVRFormat::string(QStringLiteral("%@ Info.plist missing %@"), kClassName,
                                                     QStringLiteral("KLVRAgentControllerLaunchAgentsFolder")));
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : QDir(config).filePath(folder.toString());
}

QString KLVRAgentUserInstallation::jobTicketLabel() const
{
    // The copy carries no extension, so its whole file name is the label.
    return QFileInfo(userAgentPath()).fileName();
}

QString KLVRAgentUserInstallation::jobTicketPath() const
{
    const QString folder = launchAgentsFolderPath();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(jobTicketLabel() + QStringLiteral(".service"));
}

QString KLVRAgentUserInstallation::jobTicket() const
{
    const QString resource = KLVRBundle::main().pathForResource(QStringLiteral("agent"), QStringLiteral("service"));
    if (resource.isEmpty())
        return QString();
    QFile file(resource);
    const bool readable = file.open(QIODevice::ReadOnly);
    const QString text = readable ? QString::fromUtf8(file.readAll()) : QString();
    KLVR_ASSERT(readable && text.contains(QLatin1String("[Service]")),
                KLVRFormat::string(QStringLiteral("%@ plist is malformed: %@"), kClassName, resource));
    const QString agent = userAgentPath();
    KLVR_ASSERT(!agent.isEmpty() && QFileInfo(agent).isExecutable(),
                KLVRFormat::string(QStringLiteral("%@ bundle is malformed %@"), kClassName, agent));

    // The template's ExecStart (or its absence) gives way to the copy's path.
    QStringList lines;
    const QStringList templateLines = text.split(QLatin1Char('\n'));
    for (const QString &line : templateLines) {
        if (line.trimmed().startsWith(QLatin1String("ExecStart=")))
            continue;
        lines.append(line);
        if (line.trimmed() == QLatin1String("[Service]"))
            lines.append(QStringLiteral("ExecStart=") + unitQuoted(agent));
    }
    return lines.join(QLatin1Char('\n'));
}

KLVRAgentControllerError KLVRAgentUserInstallation::install()
{
    using Error = KLVRAgentControllerError;
    const QString support = applicationSupportPath();
    if (support.isEmpty() || !QDir().mkpath(support))
        return Error(Error::ApplicationSupportFolder, QStringLiteral("Cannot create %1").arg(support));

    const QString copy = userAgentPath();
    if (QFileInfo::exists(copy) || QFileInfo(copy).isSymLink())
        return Error(Error::CopyAgent, QStringLiteral("%1 already exists.").arg(copy));
    QFile agent(m_embeddedAgentPath);
    if (!agent.copy(copy))
        return Error(Error::CopyAgent, QStringLiteral("%1: %2").arg(m_embeddedAgentPath, agent.errorString()));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner | QFileDevice::ReadOwner);

    // From here on, a failure takes back what this installation wrote.
    const QString ticket = jobTicket();
    if (ticket.isEmpty()) {
        rollBack(true, false, false);
        return Error(Error::NoJobTicket);
    }
    const QString folder = launchAgentsFolderPath();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        rollBack(true, false, false);
        return Error(Error::LaunchAgentsFolder, QStringLiteral("Cannot create %1").arg(folder));
    }
    QSaveFile file(jobTicketPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(ticket.toUtf8()) < 0 || !file.commit()) {
        const QString reason = file.errorString();
        rollBack(true, false, false);
        return Error(Error::WriteJobTicket, reason);
    }
    if (!m_sessionBus.isConnected()) {
        rollBack(true, true, false);
        return Error(Error::SubmitUserJob, QStringLiteral("The session bus is not connected."));
    }
    KLVRSystemdManager manager(m_sessionBus);
    if (!manager.reload()) {
        const QString reason = manager.lastError().message();
        rollBack(true, true, false);
        return Error(Error::SubmitUserJob, reason);
    }
    if (!manager.enableUnitFiles({unitName()})) {
        const QString reason = manager.lastError().message();
        rollBack(true, true, false);
        return Error(Error::SubmitUserJob, reason);
    }
    if (!manager.startUnit(unitName())) {
        const QString reason = manager.lastError().message();
        rollBack(true, true, true);
        return Error(Error::SubmitUserJob, reason);
    }
    return Error();
}

void KLVRAgentUserInstallation::rollBack(bool copied, bool written, bool enabled)
{
    KLVRSystemdManager manager(m_sessionBus);
    if (enabled && !manager.disableUnitFiles({unitName()}))
        qCInfo(lcUserInstallation).noquote() << kClassName << "roll-back: disabling failed:" << manager.lastError().message();
    if (written && !QFile::remove(jobTicketPath()))
        qCInfo(lcUserInstallation).noquote() << kClassName << "roll-back: cannot remove" << jobTicketPath();
    if (copied && !QFile::remove(userAgentPath()))
        qCInfo(lcUserInstallation).noquote() << kClassName << "roll-back: cannot remove" << userAgentPath();
    if (written && m_sessionBus.isConnected())
        manager.reload();
}

KLVRAgentControllerError KLVRAgentUserInstallation::remove()
{
    using Error = KLVRAgentControllerError;
    // The unit is stopped and disabled first: systemd disables only units whose file it can read,
    // and the agent should not outlive its executable.
    KLVRSystemdManager manager(m_sessionBus);
    if (m_sessionBus.isConnected() && manager.hasUnit(unitName())) {
        if (!manager.stopUnit(unitName()) || !manager.disableUnitFiles({unitName()}))
            return Error(Error::RemoveUserJob, manager.lastError().message());
    }
    if (const Error error = removeFiles())
        return error;
    if (m_sessionBus.isConnected() && !manager.reload())
        return Error(Error::RemoveUserJob, manager.lastError().message());
    return Error();
}

KLVRAgentControllerError KLVRAgentUserInstallation::removeFiles()
{
    using Error = KLVRAgentControllerError;
    const QFileInfo copy(userAgentPath());
    if (copy.exists() && !copy.isDir()) {
        QFile file(copy.filePath());
        if (!file.remove())
            return Error(Error::RemoveAgentCopy, file.errorString());
    }
    const QFileInfo ticket(jobTicketPath());
    if (ticket.exists() && !ticket.isDir()) {
        QFile file(ticket.filePath());
        if (!file.remove())
            return Error(Error::RemoveJobTicket, file.errorString());
    }
    return Error();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRAgentControllerInstallMode.h"
#include "KLVRAgentControllerPresenter.h"
#include "KLVRAgentServiceProtocolProxy.h"
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRPolkitAuthority.h"
#include "KLVRSessionProcesses.h"
#include "KLVRStringsTable.h"
#include "KLVRSystemdManager.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

Q_LOGGING_CATEGORY(lcAgentController, "restwatch.agentcontroller")

namespace {

const QString kClassName = QStringLiteral("KLVRAgentController");
const QString kObjectPath = QStringLiteral("/com/klvr/restwatch/agent");

// Values that D-Bus cannot carry as they are travel in their nearest plain form.
QVariantMap busSafeDefaults(const QVariantMap &defaults)
{
    QVariantMap safe;
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        const QVariant &value = it.value();
        if (value.userType() == qMetaTypeId<KLVRAbsoluteTime>())
            safe.insert(it.key(), value.value<KLVRAbsoluteTime>().seconds());
        else if (value.typeId() == QMetaType::QDateTime)
            safe.insert(it.key(), KLVRAbsoluteTime::fromDateTime(value.toDateTime()).seconds());
        else if (value.typeId() == QMetaType::QVariantMap)
            safe.insert(it.key(), busSafeDefaults(value.toMap()));
        else
            safe.insert(it.key(), value);
    }
    return safe;
}

// systemd's own quoting for one ExecStart word: specifiers and quotes escaped, the path quoted.
QString unitQuoted(const QString &path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

KLVRAgentController::KLVRAgentController(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
                                         const QString &agentName, QObject *parent)
    : QObject(parent)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
    , m_agentBus(systemBus)
    , m_agentName(agentName)
{
    updateState();
}

KLVRAgentController::~KLVRAgentController() = default;

QString KLVRAgentController::agentName() const
{
    if (m_agentName.isEmpty()) {
        const QVariant name = KLVRBundle::main().requiredInfoValue(kClassName, QStringLiteral("KLVRAgentControllerAgentName"));
        KLVR_ASSERT(name.typeId() == QMetaType::QString,
                    KLVRFormat::string(QStringLiteral("%@ Info.plist %@ must be a string"), kClassName,
                                       QStringLiteral("KLVRAgentControllerAgentName")));
        m_agentName = name.toString();
    }
    return m_agentName;
}

QString KLVRAgentController::localized(const QString &role) const
{
    return KLVRStringsTable::localizedString(KLVRFormat::string(role, kClassName), kClassName);
}

QString KLVRAgentController::localisedState() const
{
    return localized(QStringLiteral("%@.state.") + QString::number(m_state));
}

QString KLVRAgentController::localisedStartStopLabel() const
{
    return localized(QStringLiteral("%@.startStop.label.installed.") + QString::number(m_installed ? 1 : 0));
}

bool KLVRAgentController::canUpdate() const
{
    return m_installed && !m_agentVersion.isNull() && KLVRBundle::main().version() != m_agentVersion;
}

QString KLVRAgentController::applicationName() const
{
    const QString name = KLVRBundle::main().name();
    if (!name.isEmpty())
        return name;
    return QCoreApplication::instance() ? QCoreApplication::applicationName() : kClassName;
}

// ---- paths ---------------------------------------------------------------------------------

QString KLVRAgentController::embeddedAgentPath() const
{
    if (!m_embeddedAgentPath.isEmpty())
        return m_embeddedAgentPath;
    const QVariant folders = KLVRBundle::main().requiredInfoValue(kClassName, QStringLiteral("KLVRAgentControllerAgentFolder"));
    const QStringList candidates = folders.typeId() == QMetaType::QVariantList ? folders.toStringList()
                                                                               : QStringList{folders.toString()};
    const QDir base(QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                 : QFileInfo(KLVRBundle::main().executablePath()).path());
    QString first;
    for (const QString &folder : candidates) {
        const QString path = QDir::cleanPath(base.absoluteFilePath(folder + QLatin1Char('/') + agentName()));
        if (first.isEmpty())
            first = path;
        if (QFileInfo(path).isExecutable())
            return path;
    }
    return first;
}

QString KLVRAgentController::privilegedLauncher() const
{
    if (!m_privilegedLauncher.isEmpty())
        return m_privilegedLauncher;
    const QString configured =
        KLVRBundle::main().objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerPrivilegedLauncher")).toString();
    return configured.isEmpty() ? QStringLiteral("pkexec") : configured;
}

QString KLVRAgentController::applicationSupportPath() const
{
    QString folder = KLVRBundle::main().objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerApplicationSupportFolder")).toString();
    if (folder.isEmpty())
        folder = KLVRBundle::main().bundleIdentifier();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(folder);
}

QString KLVRAgentController::userAgentPath() const
{
    const QString folder = applicationSupportPath();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QFileInfo(embeddedAgentPath()).fileName());
}

QString KLVRAgentController::launchAgentsFolderPath() const
{
    const QVariant folder = KLVRBundle::main().objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerLaunchAgentsFolder"));
    KLVR_ASSERT(folder.isValid(), KLVRFormat::string(QStringLiteral("%@ Info.plist missing %@"), kClassName,
                                                     QStringLiteral("KLVRAgentControllerLaunchAgentsFolder")));
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : QDir(config).filePath(folder.toString());
}

QString KLVRAgentController::jobTicketLabel() const
{
    // The copy carries no extension, so its whole file name is the label.
    return QFileInfo(userAgentPath()).fileName();
}

QString KLVRAgentController::jobTicketPath() const
{
    const QString folder = launchAgentsFolderPath();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(jobTicketLabel() + QStringLiteral(".service"));
}

QString KLVRAgentController::jobTicket() const
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

// ---- queries -------------------------------------------------------------------------------

bool KLVRAgentController::isJobForAgent(Domain domain)
{
    QDBusConnection bus = domain == Domain::System ? m_systemBus : m_sessionBus;
    if (!bus.isConnected())
        return false;
    return KLVRSystemdManager(bus).hasUnit(unitName());
}

bool KLVRAgentController::isAgentRunningInUserSession()
{
    return !KLVRSessionProcesses::processesNamed(agentName()).isEmpty();
}

std::optional<QDBusConnection> KLVRAgentController::agentServiceBus()
{
    const QString service = agentName() + QStringLiteral("._service");
    for (QDBusConnection bus : {m_systemBus, m_sessionBus}) {
        if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value())
            return bus;
    }
    return std::nullopt;
}

bool KLVRAgentController::isAgentCommunicating()
{
    const std::optional<QDBusConnection> bus = agentServiceBus();
    if (!bus)
        return false;
    m_agentBus = *bus;
    KLVRAgentServiceProtocolProxy agent(agentName() + QStringLiteral("._service"), kObjectPath, *bus);
    agent.setTimeout(kAgentTimeout);
    QDBusPendingReply<QString> reply = agent.version();
    reply.waitForFinished();
    QString version;
    if (reply.isError())
        qCWarning(lcAgentController).noquote() << "No agent version available" << reply.error().message();
    else
        version = reply.value();
    setAgentVersion(version.isNull() ? QStringLiteral("0") : version);
    return true;
}

// ---- state ---------------------------------------------------------------------------------

void KLVRAgentController::setAgentVersion(const QString &version)
{
    const bool couldUpdate = canUpdate();
    if (version != m_agentVersion || version.isNull() != m_agentVersion.isNull()) {
        m_agentVersion = version;
        Q_EMIT agentVersionChanged(m_agentVersion);
    }
    if (couldUpdate != canUpdate())
        Q_EMIT canUpdateChanged(canUpdate());
}

void KLVRAgentController::setState(int state)
{
    const bool couldUpdate = canUpdate();
    const bool installed = state != NotInstalled;
    const bool enabled = state < Inconsistent;
    if (state != m_state) {
        m_state = state;
        Q_EMIT stateChanged(m_state);
    }
    if (installed != m_installed) {
        m_installed = installed;
        Q_EMIT installedChanged(m_installed);
    }
    if (enabled != m_enabled) {
        m_enabled = enabled;
        Q_EMIT enabledChanged(m_enabled);
    }
    if (couldUpdate != canUpdate())
        Q_EMIT canUpdateChanged(canUpdate());
}

void KLVRAgentController::updateState()
{
    int found = NotInstalled;
    if (isJobForAgent(Domain::System))
        found = SystemService;
    else if (isJobForAgent(Domain::User))
        found = UserService;
    else if (isAgentRunningInUserSession())
        found = SessionApplication;

    const bool answers = isAgentCommunicating();
    if (answers)
        setState(found == NotInstalled ? Inconsistent : found);
    else
        setState(found == NotInstalled ? NotInstalled : Inconsistent);

    if (m_installed && !m_pendingDefaults.isEmpty()) {
        const QVariantMap defaults = std::exchange(m_pendingDefaults, QVariantMap());
        setDefaultsWithDictionary(defaults);
    }
    if (canUpdate() && m_updateNotifications != 0)
        QTimer::singleShot(0, this, &KLVRAgentController::update);
}

void KLVRAgentController::expectStateChange()
{
    forgetExpectedStateChange();
    m_expectedFromState = m_state;
    m_updateTimer = new QTimer(this);
    m_updateTimer->setInterval(kPollingInterval);
    connect(m_updateTimer, &QTimer::timeout, this, &KLVRAgentController::checkForStateChange);
    m_updateTimer->start();
}

void KLVRAgentController::forgetExpectedStateChange()
{
    if (m_updateTimer) {
        m_updateTimer->stop();
        m_updateTimer->deleteLater();
        m_updateTimer = nullptr;
    }
}

void KLVRAgentController::checkForStateChange()
{
    if (!m_updateTimer)
        return;
    updateState();
    // A state in between (6) is not the change we wait for.
    if (m_state != m_expectedFromState && m_state != Inconsistent)
        forgetExpectedStateChange();
}

// ---- starting and stopping -------------------------------------------------------------------

KLVRAgentControllerError KLVRAgentController::startWithState(int state)
{
    expectStateChange();
    KLVRAgentControllerError error;
    switch (state) {
    case SystemService:
        error = startPrivileged();
        break;
    case UserService:
        error = startUser();
        break;
    case SessionApplication:
        error = runAgent();
        break;
    default:
        qCWarning(lcAgentController).noquote() << KLVRFormat::string(QStringLiteral("%@ can not start agent: %@"),
                                                                     kClassName, localisedState());
        forgetExpectedStateChange();
        break;
    }
    if (error)
        forgetExpectedStateChange();
    m_updateNotifications = 0;
    checkForStateChange();
    return error;
}

KLVRAgentControllerError KLVRAgentController::stop()
{
    expectStateChange();
    KLVRAgentControllerError error;
    switch (m_state) {
    case SystemService:
        error = stopPrivileged();
        break;
    case UserService:
        error = stopUser();
        break;
    case SessionApplication:
        error = stopAgent();
        break;
    default:
        qCWarning(lcAgentController).noquote() << KLVRFormat::string(QStringLiteral("%@ can not stop agent: %@"),
                                                                     kClassName, localisedState());
        forgetExpectedStateChange();
        break;
    }
    if (error) {
        forgetExpectedStateChange();
        presentError(error);
    }
    checkForStateChange();
    setAgentVersion(QString());
    return error;
}

KLVRAgentControllerError KLVRAgentController::startPrivileged()
{
    const QString agent = embeddedAgentPath();
    if (!QFileInfo(agent).isExecutable())
        return KLVRAgentControllerError(KLVRAgentControllerError::Bless,
                                        QStringLiteral("The agent program is missing: %1").arg(agent));
    QProcess launcher;
    launcher.setProcessChannelMode(QProcess::SeparateChannels);
    launcher.start(privilegedLauncher(), {agent, QString::fromLatin1(KLVRAgentControllerInstallMode::kArgument)});
    if (!launcher.waitForStarted())
        return KLVRAgentControllerError(KLVRAgentControllerError::BlessAuthorization, launcher.errorString());
    if (!launcher.waitForFinished(kPrivilegedTimeout)) {
        launcher.kill();
        launcher.waitForFinished();
        return KLVRAgentControllerError(KLVRAgentControllerError::Bless, QStringLiteral("The installation did not finish."));
    }
    const QString output = QString::fromLocal8Bit(launcher.readAllStandardError()).trimmed();
    if (launcher.exitStatus() != QProcess::NormalExit)
        return KLVRAgentControllerError(KLVRAgentControllerError::Bless, output.isEmpty() ? launcher.errorString() : output);
    switch (launcher.exitCode()) {
    case KLVRAgentControllerInstallMode::kSuccess:
        return KLVRAgentControllerError();
    case KLVRAgentControllerInstallMode::kPkexecDismissed:
    case KLVRAgentControllerInstallMode::kPkexecNotAuthorized:
        return KLVRAgentControllerError(KLVRAgentControllerError::BlessAuthorization, output);
    default:
        return KLVRAgentControllerError(KLVRAgentControllerError::Bless, output);
    }
}

KLVRAgentControllerError KLVRAgentController::stopPrivileged()
{
    QString reason;
    if (!KLVRPolkitAuthority(m_systemBus).checkAuthorization(QString::fromLatin1(KLVRAgentControllerInstallMode::kDaemonsModifyAction),
                                                             true, &reason))
        return KLVRAgentControllerError(KLVRAgentControllerError::RemoveAuthorization, reason);

    // The agent asks polkit about its caller itself; the form only keeps its place in the protocol.
    QByteArray form(KLVRAgentControllerInstallMode::kExternalFormLength, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(form.data()), form.size() / int(sizeof(quint32)));
    if (form.size() != KLVRAgentControllerInstallMode::kExternalFormLength) {
        qCWarning(lcAgentController).noquote()
            << KLVRFormat::string(QStringLiteral("%@ external form failed: %d"), kClassName, int(form.size()));
        return KLVRAgentControllerError(KLVRAgentControllerError::ExternalForm);
    }

    // An agent that cannot be asked has not removed its files: that is a failure, not a success.
    const std::optional<QDBusConnection> bus = agentServiceBus();
    if (!bus)
        return KLVRAgentControllerError(KLVRAgentControllerError::AgentFilesNotRemoved,
                                        QStringLiteral("The agent does not answer."));
    KLVRAgentControllerError agentError;
    {
        KLVRAgentServiceProtocolProxy agent(agentName() + QStringLiteral("._service"), kObjectPath, *bus);
        agent.setTimeout(kAgentTimeout);
        QDBusPendingReply<bool> reply = agent.removeAgentFiles(form);
        reply.waitForFinished();
        if (reply.isError())
            agentError = KLVRAgentControllerError(KLVRAgentControllerError::AgentFilesNotRemoved, reply.error().message());
        else if (!reply.value())
            agentError = KLVRAgentControllerError(KLVRAgentControllerError::AgentFilesNotRemoved);
    }

    KLVRSystemdManager manager(m_systemBus);
    manager.setInteractiveAuthorizationAllowed(true);
    bool removed = manager.stopUnit(unitName());
    // The agent may already have removed the unit file; its leftover links go all the same.
    if (removed && !manager.disableUnitFiles({unitName()})
        && manager.lastError().name() != QLatin1String("org.freedesktop.systemd1.NoSuchUnit"))
        removed = false;
    if (removed)
        removed = manager.reload();
    if (!removed)
        return KLVRAgentControllerError(KLVRAgentControllerError::RemoveSystemJob, manager.lastError().message());
    return agentError;
}

KLVRAgentControllerError KLVRAgentController::startUser()
{
    const QString support = applicationSupportPath();
    if (support.isEmpty() || !QDir().mkpath(support))
        return KLVRAgentControllerError(KLVRAgentControllerError::ApplicationSupportFolder,
                                        QStringLiteral("Cannot create %1").arg(support));

    const QString source = embeddedAgentPath();
    const QString copy = userAgentPath();
    if (QFileInfo::exists(copy))
        return KLVRAgentControllerError(KLVRAgentControllerError::CopyAgent, QStringLiteral("%1 already exists.").arg(copy));
    QFile agent(source);
    if (!agent.copy(copy))
        return KLVRAgentControllerError(KLVRAgentControllerError::CopyAgent,
                                        QStringLiteral("%1: %2").arg(source, agent.errorString()));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner | QFileDevice::ReadOwner);

    const QString ticket = jobTicket();
    if (ticket.isEmpty())
        return KLVRAgentControllerError(KLVRAgentControllerError::NoJobTicket);

    const QString folder = launchAgentsFolderPath();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return KLVRAgentControllerError(KLVRAgentControllerError::LaunchAgentsFolder,
                                        QStringLiteral("Cannot create %1").arg(folder));
    QSaveFile file(jobTicketPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(ticket.toUtf8()) < 0 || !file.commit())
        return KLVRAgentControllerError(KLVRAgentControllerError::WriteJobTicket, file.errorString());

    if (!m_sessionBus.isConnected())
        return KLVRAgentControllerError(KLVRAgentControllerError::NoAuthorization,
                                        QStringLiteral("The session bus is not connected."));
    KLVRSystemdManager manager(m_sessionBus);
    if (!manager.reload() || !manager.enableUnitFiles({unitName()}) || !manager.startUnit(unitName()))
        return KLVRAgentControllerError(KLVRAgentControllerError::SubmitUserJob, manager.lastError().message());
    return KLVRAgentControllerError();
}

KLVRAgentControllerError KLVRAgentController::stopUser()
{
    // The unit is stopped and disabled first: systemd disables only units whose file it can read,
    // and the agent should not outlive its executable.
    KLVRSystemdManager manager(m_sessionBus);
    if (m_sessionBus.isConnected() && manager.hasUnit(unitName())) {
        if (!manager.stopUnit(unitName()) || !manager.disableUnitFiles({unitName()}))
            return KLVRAgentControllerError(KLVRAgentControllerError::RemoveUserJob, manager.lastError().message());
    }
    if (const KLVRAgentControllerError error = removeUserFiles())
        return error;
    if (m_sessionBus.isConnected() && !manager.reload())
        return KLVRAgentControllerError(KLVRAgentControllerError::RemoveUserJob, manager.lastError().message());
    return KLVRAgentControllerError();
}

KLVRAgentControllerError KLVRAgentController::removeUserFiles()
{
    const QFileInfo copy(userAgentPath());
    if (copy.exists() && !copy.isDir()) {
        QFile file(copy.filePath());
        if (!file.remove())
            return KLVRAgentControllerError(KLVRAgentControllerError::RemoveAgentCopy, file.errorString());
    }
    const QFileInfo ticket(jobTicketPath());
    if (ticket.exists() && !ticket.isDir()) {
        QFile file(ticket.filePath());
        if (!file.remove())
            return KLVRAgentControllerError(KLVRAgentControllerError::RemoveJobTicket, file.errorString());
    }
    return KLVRAgentControllerError();
}

KLVRAgentControllerError KLVRAgentController::runAgent()
{
    QProcess process;
    process.setProgram(embeddedAgentPath());
    process.setWorkingDirectory(QDir::homePath());
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return KLVRAgentControllerError(QProcess::FailedToStart,
                                        QStringLiteral("%1: %2").arg(process.program(), process.errorString()),
                                        QStringLiteral("QProcess"));
    qCInfo(lcAgentController).noquote() << kClassName << "started" << process.program() << "as process" << pid;
    return KLVRAgentControllerError();
}

KLVRAgentControllerError KLVRAgentController::stopAgent()
{
    const QList<qint64> pids = KLVRSessionProcesses::processesNamed(agentName());
    if (pids.size() != 1)
        return KLVRAgentControllerError(KLVRAgentControllerError::NotOneAgentApplication,
                                        QStringLiteral("%1 running agents found.").arg(pids.size()));
    QString reason;
    if (!KLVRSessionProcesses::terminate(pids.constFirst(), &reason))
        return KLVRAgentControllerError(KLVRAgentControllerError::TerminateAgentApplication, reason);
    return KLVRAgentControllerError();
}

// ---- defaults ------------------------------------------------------------------------------

void KLVRAgentController::setDefaultsWithDictionary(const QVariantMap &defaults)
{
    const std::optional<QDBusConnection> bus = agentServiceBus();
    if (!bus) {
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
            m_pendingDefaults.insert(it.key(), it.value());
        return;
    }
    KLVRAgentServiceProtocolProxy agent(agentName() + QStringLiteral("._service"), kObjectPath, *bus);
    agent.setTimeout(kAgentTimeout);
    agent.setDefaultsWithDictionary(busSafeDefaults(defaults));
    if (agent.lastError().isValid())
        qCWarning(lcAgentController).noquote()
            << KLVRFormat::string(QStringLiteral("Unable to set agent defaults: %@"), agent.lastError().message());
}

// ---- actions and alerts --------------------------------------------------------------------

void KLVRAgentController::startStop()
{
    if (!m_installed)
        showInstallAlert();
    else
        stop();
}

void KLVRAgentController::update()
{
    if (canUpdate())
        showUpdateAlert();
}

void KLVRAgentController::applicationDidFinishLaunching()
{
    m_updateNotifications = 1;
    if (canUpdate())
        QTimer::singleShot(kUpdateOfferDelay, this, &KLVRAgentController::update);
}

void KLVRAgentController::showInstallAlert()
{
    if (m_installAlertShowing)
        return;
    KLVRAgentControllerAlert alert;
    alert.messageText = KLVRFormat::string(localized(QStringLiteral("%@.install.message")), applicationName());
    alert.informativeText = KLVRFormat::string(localized(QStringLiteral("%@.install.informative")), applicationName());
    alert.buttons = {localized(QStringLiteral("%@.install.button.install")),
                     localized(QStringLiteral("%@.install.button.skip")),
                     localized(QStringLiteral("%@.install.button.cancel"))};
    alert.locations = {{1, localized(QStringLiteral("%@.install.location.1"))},
                       {2, localized(QStringLiteral("%@.install.location.2"))}};
    const KLVRBundle &bundle = KLVRBundle::main();
    if (bundle.objectForInfoDictionaryKey(QStringLiteral("CFBundleHelpBookName")).isValid())
        alert.helpAnchor = bundle.objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerInstallHelpAnchor")).toString();

    if (!m_presenter) {
        qCInfo(lcAgentController).noquote() << kClassName << "has no presenter for the install alert";
        return;
    }
    m_installAlertShowing = true;
    QPointer<KLVRAgentController> self(this);
    m_presenter->showAlert(alert, [self](int returnCode, int locationTag) {
        if (self)
            self->installAlertDidEnd(returnCode, locationTag);
    });
}

void KLVRAgentController::installAlertDidEnd(int returnCode, int locationTag)
{
    m_installAlertShowing = false;
    KLVRAgentControllerError error;
    if (returnCode == KLVRAgentControllerAlert::kFirstButtonReturn) {
        KLVR_ASSERT(locationTag == 1 || locationTag == 2,
                    KLVRFormat::string(QStringLiteral("%@ unknown location tag: %d"), kClassName, locationTag));
        error = startWithState(locationTag == 1 ? SystemService : UserService);
    } else if (returnCode == KLVRAgentControllerAlert::kFirstButtonReturn + 1) {
        error = startWithState(SessionApplication);
    }
    if (error)
        presentError(error);
}

void KLVRAgentController::showUpdateAlert()
{
    if (m_updateAlertShowing || m_updateNotifications == 0)
        return;
    KLVRAgentControllerAlert alert;
    alert.messageText = KLVRFormat::string(localized(QStringLiteral("%@.update.message")), applicationName());
    alert.informativeText = KLVRFormat::string(localized(QStringLiteral("%@.update.informative")), applicationName());
    alert.buttons = {localized(QStringLiteral("%@.update.button.update")),
                     localized(QStringLiteral("%@.update.button.cancel"))};
    const KLVRBundle &bundle = KLVRBundle::main();
    if (bundle.objectForInfoDictionaryKey(QStringLiteral("CFBundleHelpBookName")).isValid())
        alert.helpAnchor = bundle.objectForInfoDictionaryKey(QStringLiteral("KLVRAgentControllerUpdateHelpAnchor")).toString();

    if (!m_presenter) {
        qCInfo(lcAgentController).noquote() << kClassName << "has no presenter for the update alert";
        return;
    }
    m_updateAlertShowing = true;
    QPointer<KLVRAgentController> self(this);
    m_presenter->showAlert(alert, [self](int returnCode, int) {
        if (self)
            self->updateAlertDidEnd(returnCode);
    });
}

void KLVRAgentController::updateAlertDidEnd(int returnCode)
{
    m_updateAlertShowing = false;
    if (m_updateNotifications > 0)
        --m_updateNotifications;
    if (returnCode == KLVRAgentControllerAlert::kFirstButtonReturn)
        updateAgent();
}

void KLVRAgentController::updateAgent()
{
    if (!canUpdate())
        return;
    const int state = m_state;
    KLVRAgentControllerError error = stop();
    if (!error)
        error = startWithState(state);
    if (error) {
        forgetExpectedStateChange();
        presentError(error);
    }
}

void KLVRAgentController::presentError(const KLVRAgentControllerError &error)
{
    qCWarning(lcAgentController).noquote() << kClassName << "error" << error.domain() << error.code()
                                           << error.presentationText();
    if (m_presenter)
        m_presenter->presentError(error);
}

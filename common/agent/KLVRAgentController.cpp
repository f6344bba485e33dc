// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRAgentControllerPresenter.h"
#include "KLVRAgentPrivilegedJob.h"
#include "KLVRAgentServiceProtocolProxy.h"
#include "KLVRAgentUserInstallation.h"
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRSessionProcesses.h"
#include "KLVRStringsTable.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
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

} // namespace

KLVRAgentController::KLVRAgentController(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
                                         const QString &agentName, QObject *parent)
    : QObject(parent)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
    , m_agentBus(systemBus)
    , m_agentName(agentName)
    , m_probe(systemBus, sessionBus)
{
    m_probe.setAgentName(this->agentName());

    // Bursts of bus-name changes (an agent stopping, then starting) make one check.
    m_stateUpdate = new QTimer(this);
    m_stateUpdate->setSingleShot(true);
    m_stateUpdate->setInterval(0);
    connect(m_stateUpdate, &QTimer::timeout, this, &KLVRAgentController::updateState);
    for (const QDBusConnection &bus : {m_systemBus, m_sessionBus}) {
        if (!bus.isConnected())
            continue;
        auto *watcher = new QDBusServiceWatcher(m_probe.serviceName(), bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        // An agent that gave up its name may still be ending (writing its store): its process
        // keeps the state at 6 for a moment, so the change is polled for until it settles.
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
            if (!m_updateTimer)
                expectStateChange();
            scheduleStateUpdate();
        });
        m_nameWatchers.append(watcher);
    }
    m_slowCheck = new QTimer(this);
    m_slowCheck->setInterval(kSlowCheckInterval);
    connect(m_slowCheck, &QTimer::timeout, this, &KLVRAgentController::updateState);
    m_slowCheck->start();

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

QString KLVRAgentController::localisedStatus() const
{
    if (m_state != Inconsistent)
        return localisedState();
    if (isForeignAgent())
        return KLVRFormat::string(localized(QStringLiteral("%@.status.6.foreign")), applicationName());
    return localized(QStringLiteral("%@.status.6.") + QString::number(m_found));
}

QString KLVRAgentController::localisedStartStopLabel() const
{
    if (m_state == Inconsistent)
        return localized(isForeignAgent() ? QStringLiteral("%@.startStop.label.foreign")
                                          : QStringLiteral("%@.startStop.label.silent"));
    return localized(QStringLiteral("%@.startStop.label.installed.") + QString::number(m_installed ? 1 : 0));
}

bool KLVRAgentController::canStartStop() const
{
    return !m_busy && !isForeignAgent();
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

KLVRAgentUserInstallation KLVRAgentController::userInstallation() const
{
    return KLVRAgentUserInstallation(m_sessionBus, agentName(), embeddedAgentPath());
}

QString KLVRAgentController::applicationSupportPath() const
{
    return userInstallation().applicationSupportPath();
}

QString KLVRAgentController::userAgentPath() const
{
    return userInstallation().userAgentPath();
}

QString KLVRAgentController::jobTicketPath() const
{
    return userInstallation().jobTicketPath();
}

// ---- queries -------------------------------------------------------------------------------

bool KLVRAgentController::isJobForAgent(Domain domain)
{
    return m_probe.hasUnit(domain == Domain::System);
}

bool KLVRAgentController::isAgentRunningInUserSession()
{
    return m_probe.isRunningInSession();
}

bool KLVRAgentController::isAgentCommunicating()
{
    const QString version = m_probe.answeringVersion();
    if (version.isNull())
        return false;
    if (const std::optional<QDBusConnection> bus = m_probe.serviceBus())
        m_agentBus = *bus;
    setAgentVersion(version);
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

void KLVRAgentController::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged(m_busy);
    // Listeners of the state read canStartStop() as well.
    Q_EMIT stateChanged(m_state);
}

void KLVRAgentController::scheduleStateUpdate()
{
    m_stateUpdate->start();
}

void KLVRAgentController::updateState()
{
    m_stateUpdate->stop();
    const int found = m_probe.found();
    const bool answers = isAgentCommunicating();
    // The kind of inconsistency shows in the status; a change of kind is a change of state text.
    const bool foundChanged = found != m_found;
    m_found = found;
    if (answers)
        setState(found == NotInstalled ? Inconsistent : found);
    else
        setState(found == NotInstalled ? NotInstalled : Inconsistent);
    if (foundChanged && m_state == Inconsistent)
        Q_EMIT stateChanged(m_state);

    if (m_installed && !m_pendingDefaults.isEmpty() && answers) {
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
    m_pollDeadline = QDeadlineTimer(m_pollingBound);
    m_updateTimer = new QTimer(this);
    m_updateTimer->setInterval(kPollingInterval);
    connect(m_updateTimer, &QTimer::timeout, this, &KLVRAgentController::checkForStateChange);
    m_updateTimer->start();
}

void KLVRAgentController::forgetExpectedStateChange()
{
    m_expectedTarget = Unknown;
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
    if (m_state != m_expectedFromState && m_state != Inconsistent) {
        forgetExpectedStateChange();
        return;
    }
    if (!m_pollDeadline.hasExpired())
        return;
    // Past the bound the slow check takes over; a start whose agent never answered has failed.
    const int target = m_expectedTarget;
    forgetExpectedStateChange();
    if (target != Unknown && m_state != target)
        presentError(neverAnswered(target));
}

KLVRAgentControllerError KLVRAgentController::neverAnswered(int target) const
{
    const QString reason = QStringLiteral("The agent did not answer within %1 seconds.").arg(m_pollingBound / 1000);
    switch (target) {
    case SystemService:
        return KLVRAgentControllerError(KLVRAgentControllerError::Bless, reason);
    case UserService:
        return KLVRAgentControllerError(KLVRAgentControllerError::SubmitUserJob, reason);
    default:
        // A program in the session has no code of its own: its failures are the platform's.
        return KLVRAgentControllerError(QProcess::Timedout, reason, QStringLiteral("QProcess"));
    }
}

// ---- starting and stopping -------------------------------------------------------------------

KLVRAgentControllerError KLVRAgentController::startWithState(int state)
{
    KLVRAgentControllerError error;
    if (m_busy)
        return error;
    expectStateChange();
    m_expectedTarget = state;
    switch (state) {
    case SystemService:
        runPrivileged(int(KLVRAgentPrivilegedJob::Action::Install), state);
        break;
    case UserService:
        error = userInstallation().install();
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
    if (error)
        scheduleStateUpdate();
    return error;
}

KLVRAgentControllerError KLVRAgentController::stop()
{
    if (m_busy)
        return KLVRAgentControllerError();
    expectStateChange();
    const KLVRAgentControllerError error = stopFound(m_state);
    if (error) {
        forgetExpectedStateChange();
        presentError(error);
    }
    checkForStateChange();
    setAgentVersion(QString());
    return error;
}

KLVRAgentControllerError KLVRAgentController::stopFound(int found)
{
    switch (found) {
    case SystemService:
        runPrivileged(int(KLVRAgentPrivilegedJob::Action::Remove), NotInstalled);
        return KLVRAgentControllerError();
    case UserService:
        return userInstallation().remove();
    case SessionApplication:
        return stopAgent();
    default:
        qCWarning(lcAgentController).noquote() << KLVRFormat::string(QStringLiteral("%@ can not stop agent: %@"),
                                                                     kClassName, localisedState());
        forgetExpectedStateChange();
        return KLVRAgentControllerError();
    }
}

void KLVRAgentController::runPrivileged(int action, int target)
{
    // Nothing changes before the administrator has answered, which may take longer than the
    // polling bound: the wait for the agent starts when the run has ended.
    forgetExpectedStateChange();
    auto *job = new KLVRAgentPrivilegedJob(KLVRAgentPrivilegedJob::Action(action), embeddedAgentPath(), m_systemBus, this);
    m_job = job;
    setBusy(true);
    connect(job, &KLVRAgentPrivilegedJob::finished, this, [this, job, target](const KLVRAgentControllerError &error) {
        job->deleteLater();
        privilegedJobDidEnd(error, target);
    });
    job->start();
}

void KLVRAgentController::privilegedJobDidEnd(const KLVRAgentControllerError &error, int target)
{
    setBusy(false);
    if (error) {
        forgetExpectedStateChange();
        presentError(error);
        return;
    }
    // The run is over; the agent it started (or stopped) shows up within the polling bound.
    expectStateChange();
    m_expectedTarget = target == NotInstalled ? Unknown : target;
    checkForStateChange();
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

void KLVRAgentController::waitForNameRelease(int state, std::function<void(bool released)> done)
{
    const std::optional<QDBusConnection> bus = m_probe.serviceBus();
    if (!bus) {
        QTimer::singleShot(0, this, [done] { done(true); });
        return;
    }
    // Until the old agent has let go of its name a new one would find it taken and end at once.
    setBusy(true);
    auto *watcher = new QDBusServiceWatcher(m_probe.serviceName(), *bus, QDBusServiceWatcher::WatchForUnregistration, this);
    auto *timeout = new QTimer(this);
    timeout->setSingleShot(true);
    auto finish = [this, watcher, timeout, done](bool released) {
        watcher->disconnect(this);
        timeout->disconnect(this);
        watcher->deleteLater();
        timeout->deleteLater();
        setBusy(false);
        done(released);
    };
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [finish] { finish(true); });
    connect(timeout, &QTimer::timeout, this, [this, finish] { finish(!m_probe.serviceBus().has_value()); });
    timeout->start(kNameReleaseTimeout);
    Q_UNUSED(state);
    // The name may have gone between the look-up and the watch.
    if (!m_probe.serviceBus())
        QTimer::singleShot(0, timeout, [finish] { finish(true); });
}

// ---- defaults ------------------------------------------------------------------------------

void KLVRAgentController::setDefaultsWithDictionary(const QVariantMap &defaults)
{
    const std::optional<QDBusConnection> bus = m_probe.serviceBus();
    if (!bus) {
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
            m_pendingDefaults.insert(it.key(), it.value());
        return;
    }
    KLVRAgentServiceProtocolProxy agent(m_probe.serviceName(), kObjectPath, *bus);
    agent.setTimeout(kAgentTimeout);
    agent.setDefaultsWithDictionary(busSafeDefaults(defaults));
    if (agent.lastError().isValid())
        qCWarning(lcAgentController).noquote()
            << KLVRFormat::string(QStringLiteral("Unable to set agent defaults: %@"), agent.lastError().message());
}

// ---- actions and alerts --------------------------------------------------------------------

void KLVRAgentController::startStop()
{
    if (m_busy)
        return;
    if (m_state == Inconsistent)
        showInconsistentAlert();
    else if (!m_installed)
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
    alert.locationLabel = localized(QStringLiteral("%@.install.location"));
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

void KLVRAgentController::showInconsistentAlert()
{
    if (m_installAlertShowing || !m_presenter)
        return;
    const bool foreign = isForeignAgent();
    const QString kind = foreign ? QStringLiteral("foreign") : QStringLiteral("silent.") + QString::number(m_found);
    KLVRAgentControllerAlert alert;
    alert.warning = !foreign;
    alert.messageText = KLVRFormat::string(localized(QStringLiteral("%@.inconsistent.message.") + kind), applicationName());
    alert.informativeText = KLVRFormat::string(localized(QStringLiteral("%@.inconsistent.informative.") + kind),
                                               applicationName(), agentName());
    // A silent agent that this client installed can be taken away; a foreign one needs nothing.
    if (!foreign)
        alert.buttons.append(localized(QStringLiteral("%@.inconsistent.button.remove.") + QString::number(m_found)));
    alert.buttons.append(localized(QStringLiteral("%@.inconsistent.button.close")));
    m_installAlertShowing = true;
    const int found = m_found;
    QPointer<KLVRAgentController> self(this);
    m_presenter->showAlert(alert, [self, foreign, found](int returnCode, int) {
        if (!self)
            return;
        self->m_installAlertShowing = false;
        if (foreign || returnCode != KLVRAgentControllerAlert::kFirstButtonReturn)
            return;
        self->expectStateChange();
        const KLVRAgentControllerError error = self->stopFound(found);
        if (error) {
            self->forgetExpectedStateChange();
            self->presentError(error);
        }
        self->checkForStateChange();
    });
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
    if (!canUpdate() || m_busy)
        return;
    const int state = m_state;
    if (state == SystemService) {
        // One privileged run replaces the helper and restarts its unit: one password.
        expectStateChange();
        setAgentVersion(QString());
        runPrivileged(int(KLVRAgentPrivilegedJob::Action::Update), SystemService);
        return;
    }
    expectStateChange();
    const KLVRAgentControllerError error = stopFound(state);
    setAgentVersion(QString());
    if (error) {
        forgetExpectedStateChange();
        presentError(error);
        return;
    }
    forgetExpectedStateChange();
    waitForNameRelease(state, [this, state](bool released) {
        KLVRAgentControllerError error;
        if (!released)
            error = KLVRAgentControllerError(state == UserService ? KLVRAgentControllerError::RemoveUserJob
                                                                  : KLVRAgentControllerError::TerminateAgentApplication,
                                             QStringLiteral("The old agent did not stop within %1 seconds.")
                                                 .arg(kNameReleaseTimeout / 1000));
        else
            error = startWithState(state);
        if (error) {
            forgetExpectedStateChange();
            presentError(error);
        }
    });
}

void KLVRAgentController::presentError(const KLVRAgentControllerError &error)
{
    m_lastError = error;
    qCWarning(lcAgentController).noquote() << kClassName << "error" << error.domain() << error.code()
                                           << error.presentationText();
    if (m_presenter)
        m_presenter->presentError(error);
    // Whatever failed may have changed something all the same.
    scheduleStateUpdate();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerError.h"
#include "KLVRAgentStateProbe.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

class KLVRAgentControllerPresenter;
class KLVRAgentPrivilegedJob;
class KLVRAgentUserInstallation;
class QDBusServiceWatcher;
class QTimer;

// The client's view of the agent: works out whether and how it is installed and whether it
// answers, installs it (system service through one pkexec run, user service, or a plain program in
// the session), removes it, offers to replace it when its version differs from the client's and
// forwards user defaults to it. It decides; the probe finds, the user installation and the
// privileged job do, the presenter shows.
//
// The state stays true without the user's help: the housekeeping service's bus name is watched on
// both buses (an agent that ends or is killed is seen at once), every start, stop and error is
// followed by a new check, a change that is expected is polled for at most kPollingBound, and a
// slow check every kSlowCheckInterval catches what no bus name tells (a unit installed by hand).
// Everything runs on the main thread; privileged runs do not block it (busy is true meanwhile).
class KLVRAgentController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRAgentController)
    Q_PROPERTY(QString agentName READ agentName CONSTANT)
    Q_PROPERTY(QString agentVersion READ agentVersion NOTIFY agentVersionChanged)
    Q_PROPERTY(int state READ state NOTIFY stateChanged)
    Q_PROPERTY(bool installed READ isInstalled NOTIFY installedChanged)
    Q_PROPERTY(bool enabled READ isEnabled NOTIFY enabledChanged)
    Q_PROPERTY(QString localisedState READ localisedState NOTIFY stateChanged)
    Q_PROPERTY(QString localisedStatus READ localisedStatus NOTIFY stateChanged)
    Q_PROPERTY(QString localisedStartStopLabel READ localisedStartStopLabel NOTIFY stateChanged)
    Q_PROPERTY(bool canUpdate READ canUpdate NOTIFY canUpdateChanged)
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)

public:
    // The agent's states; the numbers are those the rest of the client and its texts use.
    enum State : int {
        Unknown = 0,
        NotInstalled = 1,
        SystemService = 2,
        UserService = 3,
        SessionApplication = 4,
        Inconsistent = 6,
    };
    Q_ENUM(State)

    enum class Domain { System, User };

    static constexpr int kAgentTimeout = KLVRAgentStateProbe::kAgentTimeout;
    static constexpr int kPollingInterval = 100;     // ms, while a state change is expected
    static constexpr int kPollingBound = 15000;      // ms: an expected change that takes longer failed
    static constexpr int kSlowCheckInterval = 5000;  // ms, the check that always runs
    static constexpr int kNameReleaseTimeout = 10000; // ms an old agent has to leave before an update
    static constexpr int kUpdateOfferDelay = 1000;   // ms after launch

    // systemBus/sessionBus: where the system and user managers, polkit and the agent are looked
    // for (system bus first). agentName: empty to read "KLVRAgentControllerAgentName" from the
    // main bundle's Info.plist on first use.
    explicit KLVRAgentController(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
                                 const QString &agentName = QString(), QObject *parent = nullptr);
    ~KLVRAgentController() override;

    QString agentName() const;
    QString agentVersion() const { return m_agentVersion; }
    int state() const { return m_state; }
    bool isInstalled() const { return m_installed; }
    bool isEnabled() const { return m_enabled; }
    QString localisedState() const;
    // The state as the window's status shows it: in state 6, which kind of inconsistency.
    QString localisedStatus() const;
    QString localisedStartStopLabel() const;
    // Whether the start/stop command can do anything now (not while busy, nor for an agent that
    // answers but was installed by somebody else).
    bool canStartStop() const;
    bool canUpdate() const;
    bool isBusy() const { return m_busy; }
    unsigned updateNotifications() const { return m_updateNotifications; }
    QVariantMap pendingDefaults() const { return m_pendingDefaults; }
    bool isExpectingStateChange() const { return m_updateTimer != nullptr; }
    // In state 6: true when an agent answers that no unit or session program explains.
    bool isForeignAgent() const { return m_state == Inconsistent && m_found == KLVRAgentStateProbe::Nothing; }
    // The bus on which the agent answered last (the system bus when it never did).
    QDBusConnection agentBus() const { return m_agentBus; }
    // The last error this controller presented (null when none yet).
    KLVRAgentControllerError lastError() const { return m_lastError; }

    // Where the alerts and errors are shown; none logs errors and answers alerts with cancel.
    void setPresenter(KLVRAgentControllerPresenter *presenter) { m_presenter = presenter; }
    // The agent executable shipped with the client; by default the client's own folder plus a
    // folder of "KLVRAgentControllerAgentFolder" (a text or a list tried in order) plus agentName.
    void setEmbeddedAgentPath(const QString &path) { m_embeddedAgentPath = path; }
    QString embeddedAgentPath() const;
    // How long an expected change is polled for (kPollingBound by default).
    void setPollingBound(int milliseconds) { m_pollingBound = milliseconds; }

    // Paths of the per-user installation.
    QString applicationSupportPath() const;
    QString userAgentPath() const;
    QString jobTicketPath() const;
    QString unitName() const { return agentName() + QStringLiteral(".service"); }
    QString applicationName() const;

    // Queries of the platform.
    bool isJobForAgent(Domain domain);
    bool isAgentRunningInUserSession();
    bool isAgentCommunicating();

    // Starting and stopping; a null error means success or, for the system service, that the
    // privileged run has started (its error, if any, is presented when it ends).
    KLVRAgentControllerError startWithState(int state);
    KLVRAgentControllerError stop();
    KLVRAgentControllerError runAgent();
    KLVRAgentControllerError stopAgent();

    // Sends the values to the agent, or keeps them (merged) until the agent answers.
    void setDefaultsWithDictionary(const QVariantMap &defaults);

public Q_SLOTS:
    // Install alert when not installed, removal when installed, an explanation in state 6.
    void startStop();
    // Offers the update when one is possible.
    void update();
    void updateState();
    void expectStateChange();
    void forgetExpectedStateChange();
    void checkForStateChange();
    // The application has finished launching: one update offer is allowed from now on.
    void applicationDidFinishLaunching();
    void showInstallAlert();
    void showUpdateAlert();
    void updateAgent();

Q_SIGNALS:
    void agentVersionChanged(const QString &agentVersion);
    void stateChanged(int state);
    void installedChanged(bool installed);
    void enabledChanged(bool enabled);
    void canUpdateChanged(bool canUpdate);
    void busyChanged(bool busy);

private:
    void setAgentVersion(const QString &version);
    void setState(int state);
    void setBusy(bool busy);
    void scheduleStateUpdate();
    void installAlertDidEnd(int returnCode, int locationTag);
    void updateAlertDidEnd(int returnCode);
    void showInconsistentAlert();
    void presentError(const KLVRAgentControllerError &error);
    QString localized(const QString &role) const;
    KLVRAgentUserInstallation userInstallation() const;
    KLVRAgentControllerError stopFound(int found);
    void runPrivileged(int action, int target);
    void privilegedJobDidEnd(const KLVRAgentControllerError &error, int target);
    void waitForNameRelease(int state, std::function<void(bool released)> done);
    KLVRAgentControllerError neverAnswered(int target) const;

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QDBusConnection m_agentBus;
    mutable QString m_agentName;
    mutable KLVRAgentStateProbe m_probe;
    QString m_agentVersion;
    int m_state = Unknown;
    int m_found = KLVRAgentStateProbe::Nothing;
    bool m_installed = false;
    bool m_enabled = false;
    bool m_busy = false;
    QTimer *m_updateTimer = nullptr;
    QTimer *m_slowCheck = nullptr;
    QTimer *m_stateUpdate = nullptr;
    QList<QDBusServiceWatcher *> m_nameWatchers;
    int m_expectedFromState = Unknown;
    int m_expectedTarget = Unknown;
    QDeadlineTimer m_pollDeadline;
    int m_pollingBound = kPollingBound;
    bool m_installAlertShowing = false;
    bool m_updateAlertShowing = false;
    unsigned m_updateNotifications = 0;
    QVariantMap m_pendingDefaults;
    KLVRAgentControllerPresenter *m_presenter = nullptr;
    QPointer<KLVRAgentPrivilegedJob> m_job;
    QString m_embeddedAgentPath;
    KLVRAgentControllerError m_lastError;
};

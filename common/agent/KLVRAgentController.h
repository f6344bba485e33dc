// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerError.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <optional>

class KLVRAgentControllerPresenter;
class QTimer;

// The client's view of the agent: works out whether and how it is installed and whether it
// answers, installs it (system service through pkexec, user service, or a plain program in the
// session), removes it, offers to replace it when its version differs from the client's and
// forwards user defaults to it. Everything runs on the main thread; calls to the agent wait at
// most kAgentTimeout.
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
    Q_PROPERTY(QString localisedStartStopLabel READ localisedStartStopLabel NOTIFY installedChanged)
    Q_PROPERTY(bool canUpdate READ canUpdate NOTIFY canUpdateChanged)

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

    static constexpr int kAgentTimeout = 5000;      // ms, every request to the agent
    static constexpr int kPollingInterval = 100;    // ms, while a state change is expected
    static constexpr int kUpdateOfferDelay = 1000;  // ms after launch
    static constexpr int kPrivilegedTimeout = 10 * 60 * 1000; // ms for pkexec and its password prompt

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
    QString localisedStartStopLabel() const;
    bool canUpdate() const;
    unsigned updateNotifications() const { return m_updateNotifications; }
    QVariantMap pendingDefaults() const { return m_pendingDefaults; }
    bool isExpectingStateChange() const { return m_updateTimer != nullptr; }
    // The bus on which the agent answered last (the system bus when it never did).
    QDBusConnection agentBus() const { return m_agentBus; }

    // Where the alerts and errors are shown; none logs errors and answers alerts with cancel.
    void setPresenter(KLVRAgentControllerPresenter *presenter) { m_presenter = presenter; }
    // The agent executable shipped with the client; by default the client's own folder plus a
    // folder of "KLVRAgentControllerAgentFolder" (a text or a list tried in order) plus agentName.
    void setEmbeddedAgentPath(const QString &path) { m_embeddedAgentPath = path; }
    QString embeddedAgentPath() const;
    // The program that runs the install mode as root ("KLVRAgentControllerPrivilegedLauncher",
    // pkexec by default).
    void setPrivilegedLauncher(const QString &program) { m_privilegedLauncher = program; }
    QString privilegedLauncher() const;

    // Paths of the per-user installation.
    QString applicationSupportPath() const;
    QString userAgentPath() const;
    QString launchAgentsFolderPath() const;
    QString jobTicketPath() const;
    QString jobTicketLabel() const;
    QString unitName() const { return agentName() + QStringLiteral(".service"); }
    // The per-user unit file's text built from the template resource; empty without a template.
    QString jobTicket() const;
    QString applicationName() const;

    // Queries of the platform.
    bool isJobForAgent(Domain domain);
    bool isAgentRunningInUserSession();
    bool isAgentCommunicating();

    // Starting and stopping; a null error means success.
    KLVRAgentControllerError startWithState(int state);
    KLVRAgentControllerError stop();
    KLVRAgentControllerError startPrivileged();
    KLVRAgentControllerError stopPrivileged();
    KLVRAgentControllerError startUser();
    KLVRAgentControllerError stopUser();
    KLVRAgentControllerError runAgent();
    KLVRAgentControllerError stopAgent();

    // Sends the values to the agent, or keeps them (merged) until the agent answers.
    void setDefaultsWithDictionary(const QVariantMap &defaults);

public Q_SLOTS:
    // Install alert when not installed, removal otherwise.
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

private:
    void setAgentVersion(const QString &version);
    void setState(int state);
    void installAlertDidEnd(int returnCode, int locationTag);
    void updateAlertDidEnd(int returnCode);
    void presentError(const KLVRAgentControllerError &error);
    QString localized(const QString &role) const;
    std::optional<QDBusConnection> agentServiceBus();
    KLVRAgentControllerError removeUserFiles();

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QDBusConnection m_agentBus;
    mutable QString m_agentName;
    QString m_agentVersion;
    int m_state = Unknown;
    bool m_installed = false;
    bool m_enabled = false;
    bool m_lastCanUpdate = false;
    QTimer *m_updateTimer = nullptr;
    int m_expectedFromState = Unknown;
    bool m_installAlertShowing = false;
    bool m_updateAlertShowing = false;
    unsigned m_updateNotifications = 0;
    QVariantMap m_pendingDefaults;
    KLVRAgentControllerPresenter *m_presenter = nullptr;
    QString m_embeddedAgentPath;
    QString m_privilegedLauncher;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <memory>

class KLVRUserDefaults;

Q_DECLARE_LOGGING_CATEGORY(lcAgentService)

// The agent's housekeeping service on D-Bus: bus name "<bundle identifier>._service", object
// /com/klvr/restwatch/agent, interface com.klvr.restwatch.KLVRAgentServiceProtocol. Owning the
// name is what makes an agent the running one: a second copy finds it taken and builds nothing.
//
// It answers the agent's version, keeps user-default values a client hands over, and removes the
// agent's own unit files and executable for a caller that polkit authorizes for
// com.klvr.restwatch.agent.daemons.modify (asked on the connection it was given).
class KLVRAgentService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRAgentService)

public:
    static inline const QString ObjectPath = QStringLiteral("/com/klvr/restwatch/agent");
    static inline const QString DaemonsModifyRight = QStringLiteral("com.klvr.restwatch.agent.daemons.modify");
    // The folder from which an installed agent runs; only there may it delete its executable.
    static inline const QString SystemHelperFolder = QStringLiteral("/usr/local/libexec/restwatch/");
    static constexpr int kAuthorizationFormSize = 32;
    static constexpr int kTimeoutMs = 2000;
    // Bounds on what a caller may store through setDefaultsWithDictionary.
    static constexpr int kMaxDefaultsPerCall = 256;
    static constexpr int kMaxStoredDefaults = 1024;
    static constexpr int kMaxDefaultKeyLength = 256;
    static constexpr int kMaxDefaultValueBytes = 16 * 1024;
    // All stored defaults together (keys and property-list values) stay under this.
    static constexpr int kMaxStoredDefaultsBytes = 64 * 1024;
    // The defaults file is written at most once in this interval; changes in between wait.
    static constexpr int kDefaultsWriteIntervalMs = 1000;

    // Registers the service on connection. Null (after logging) when the name is already owned,
    // typically by another running agent, or the bus refused the object.
    // defaults: where setDefaultsWithDictionary stores values (not owned; standard() when null).
    static std::unique_ptr<KLVRAgentService> create(const QDBusConnection &connection,
                                                    KLVRUserDefaults *defaults = nullptr);
    ~KLVRAgentService() override;

    // "<bundle identifier>._service"; a missing identifier is a configuration fault.
    static QString connectionName();
    QDBusConnection connection() const { return m_connection; }

    // The D-Bus interface (called by the generated adaptor).
    QString version();
    // False at once for a form that is not 32 bytes; otherwise answered later, after polkit.
    bool removeAgentFiles(const QByteArray &authorization);
    void setDefaultsWithDictionary(const QVariantMap &defaults);

    // Asks polkit whether the bus name subject holds right; done(granted) runs on the main thread.
    void externalAuthorization(const QByteArray &form, const QString &right, const QString &subject,
                               std::function<void(bool)> done);
    // Removes "<executable>.service" from each unit folder of "KLVRAgentServiceLaunchdJobPaths"
    // under /usr/local/lib; returns how many were removed.
    int removeLaunchdJobTickets();
    // Removes the running executable when it lies inside the system helper folder.
    bool removeAgent();
    // True when agentPath, symbolic links resolved, lies inside the system helper folder.
    bool URLWithinComputerLibrary(const QString &anAgentURL);

Q_SIGNALS:
    // KLVRAgentServiceNotificationsDefaultsDidChange: values a client stored.
    void defaultsDidChange(const QVariantMap &defaults);

private:
    KLVRAgentService(const QDBusConnection &connection, KLVRUserDefaults *defaults);
    bool removeAuthorizedAgentFiles();
    void replyError(const QString &name, const QString &text);
    // Writes the waiting defaults now, or once the write interval has passed.
    void scheduleDefaultsWrite();
    void writeDefaults();
    // Bytes a key and its value count against kMaxStoredDefaultsBytes.
    static qsizetype storedBytes(const QString &key, const QByteArray &serialized);

    QDBusConnection m_connection;
    bool m_registered = false;
    KLVRUserDefaults *m_defaults = nullptr;
    QVariantMap m_unwrittenDefaults;
    QElapsedTimer m_lastDefaultsWrite;
    QTimer m_defaultsTimer;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QThread>
#include <memory>

class KLVRAgentService;
class KLVRRWAMonitor;
class KLVRRWAService;
class KLVRRWAStore;

Q_DECLARE_LOGGING_CATEGORY(lcRWAgentController)

// The agent's root: builds the housekeeping service, the event store, the event service and the
// monitors (agent, power events, power sources, accounting), starts the monitors in that order
// and stops them in reverse. SIGHUP, SIGINT, SIGTERM and SIGQUIT stop the agent and end the
// event loop; SIGUSR1 and SIGUSR2 are only logged.
//
// Each service owns an object at the same path, so each gets its own connection to the agent's
// bus; systemBus is where UPower lives. The power event monitor runs on the controller's sleep
// thread with a libdbus connection of its own to sleepBusAddress (empty: the system bus), so
// that logind's signals, the delay lock and the write before a sleep never wait behind the
// services' callers, nor behind QtDBus's socket thread. All of them come from the creator.
// When the housekeeping name is taken (another agent runs) nothing else is built: isBuilt() is
// false and the process should end at once.
class KLVRRWAgentController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAgentController)
    Q_PROPERTY(bool running READ isRunning)

public:
    // storePath: the store file; empty for its standard location.
    KLVRRWAgentController(const QDBusConnection &servicesBus, const QDBusConnection &eventsBus,
                          const QDBusConnection &systemBus, const QString &storePath = QString(),
                          QObject *parent = nullptr, const QString &sleepBusAddress = QString());
    ~KLVRRWAgentController() override;

    KLVRAgentService *agentServices() const { return m_agentServices.get(); }
    KLVRRWAStore *store() const { return m_store.get(); }
    // Null when the event service's name could not be registered.
    KLVRRWAService *service() const { return m_service.get(); }
    const QList<KLVRRWAMonitor *> &monitors() const { return m_monitors; }
    bool isRunning() const { return m_running; }
    bool isBuilt() const { return m_agentServices != nullptr; }

    void start();
    void stop();

    // The controller that installed the signal handlers, or null.
    static KLVRRWAgentController *signalController();

private:
    static void handleSignal(int sig);

    std::unique_ptr<KLVRAgentService> m_agentServices;
    std::unique_ptr<KLVRRWAStore> m_store;
    std::unique_ptr<KLVRRWAService> m_service;
    QList<KLVRRWAMonitor *> m_monitors; // owned: deleted in the destructor, before the store
    bool m_running = false;
    QThread m_sleepThread;
};

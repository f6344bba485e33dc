// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAgentController.h"

#include "KLVRAgentService.h"
#include "KLVRFormat.h"
#include "KLVRRWAMonitor.h"
#include "KLVRRWAMonitorAgent.h"
#include "KLVRRWAMonitorLast.h"
#include "KLVRRWAMonitorPowerEvent.h"
#include "KLVRRWAMonitorPowerSource.h"
#include "KLVRRWAService.h"
#include "KLVRRWAStore.h"
#include "KLVRSignalDispatch.h"
#include "KLVRUserDefaults.h"

#include <QCoreApplication>
#include <chrono>
#include <sys/resource.h>
#include <syslog.h>
#include <thread>
#include <unistd.h>
#include <utility>

Q_LOGGING_CATEGORY(lcRWAgentController, "com.klvr.restwatch.agent.controller")

namespace {
KLVRRWAgentController *gSignalController = nullptr;
constexpr int kStopDeadlineMs = 900;
constexpr int kSleepPathNice = -10;
}

KLVRRWAgentController::KLVRRWAgentController(const QDBusConnection &servicesBus, const QDBusConnection &eventsBus,
                                             const QDBusConnection &systemBus, const QString &storePath,
                                             QObject *parent, const QString &sleepBusAddress)
    : QObject(parent)
{
    // Without the housekeeping name another agent is running: build nothing, touch nothing.
    m_agentServices = KLVRAgentService::create(servicesBus, KLVRUserDefaults::standard());
    if (!m_agentServices)
        return;
    m_store = std::make_unique<KLVRRWAStore>(storePath);
    m_service = KLVRRWAService::create(m_store.get(), eventsBus);

    // The start order; the agent monitor, first and last, brackets every other monitor's events.
    m_monitors.append(new KLVRRWAMonitorAgent(m_store.get()));
    auto *powerEvents = new KLVRRWAMonitorPowerEvent(m_store.get(), sleepBusAddress);
    m_monitors.append(powerEvents);
    m_sleepThread.setObjectName(QStringLiteral("restwatch-sleep"));
    powerEvents->moveToThread(&m_sleepThread);
    m_sleepThread.start();
    // The sleep path idles but for a few milliseconds per sleep; then it goes before the callers'
    // work and the agent's other threads. Only root may raise a thread: anybody else keeps it at
    // the normal priority.
    QMetaObject::invokeMethod(powerEvents, [] { setpriority(PRIO_PROCESS, pid_t(gettid()), kSleepPathNice); },
                              Qt::QueuedConnection);
    m_monitors.append(new KLVRRWAMonitorPowerSource(m_store.get(), systemBus));
    m_monitors.append(new KLVRRWAMonitorLast(m_store.get()));

    if (!gSignalController) {
        gSignalController = this;
        const int err = InstallSignalHandlers(handleSignal, handleSignal, handleSignal, nullptr, nullptr);
        if (err != 0)
            syslog(LOG_ERR, "Error installing signal handlers: %d", err);
    }
}

KLVRRWAgentController::~KLVRRWAgentController()
{
    if (gSignalController == this)
        gSignalController = nullptr;
    stop();
    m_sleepThread.quit();
    m_sleepThread.wait();
    qDeleteAll(m_monitors);
    m_monitors.clear();
    m_service.reset();
    m_store.reset();
    m_agentServices.reset();
}

KLVRRWAgentController *KLVRRWAgentController::signalController()
{
    return gSignalController;
}

void KLVRRWAgentController::start()
{
    if (m_running || !isBuilt())
        return;
    // Nothing stands for sudden termination here: systemd always stops the agent with SIGTERM.
    if (m_service)
        m_service->setEnabled(true);
    for (KLVRRWAMonitor *monitor : std::as_const(m_monitors)) {
        qCInfo(lcRWAgentController).noquote() << KLVRFormat::string("Starting: %@", monitor->signature());
        // One monitor that cannot start must not keep the others from recording.
        try {
            monitor->start();
        } catch (const std::exception &exception) {
            qCCritical(lcRWAgentController).noquote() << monitor->signature() << "did not start:" << exception.what();
        }
    }
    m_running = true;
}

void KLVRRWAgentController::stop()
{
    if (!m_running)
        return;
    if (m_service)
        m_service->setEnabled(false);
    for (auto it = m_monitors.crbegin(); it != m_monitors.crend(); ++it) {
        qCInfo(lcRWAgentController).noquote() << KLVRFormat::string("Stopping: %@", (*it)->signature());
        try {
            (*it)->stop();
        } catch (const std::exception &exception) {
            qCCritical(lcRWAgentController).noquote() << (*it)->signature() << "did not stop cleanly:" << exception.what();
        }
    }
    if (!m_store->flush())
        qCCritical(lcRWAgentController).noquote() << "The agent stops with" << m_store->pending().size()
                                                  << "events it could not write";
    m_running = false;
}

void KLVRRWAgentController::handleSignal(int sig)
{
    qCInfo(lcRWAgentController).noquote() << KLVRFormat::string("Caught signal: %d", sig);
    // Whatever holds up the stop (a store on a hung disk), the agent ends within a second.
    static bool watchdog = false;
    if (!std::exchange(watchdog, true)) {
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(kStopDeadlineMs));
            syslog(LOG_ERR, "Stopping took longer than %d ms; ending now", kStopDeadlineMs);
            _exit(0);
        }).detach();
    }
    if (gSignalController)
        gSignalController->stop();
    // A console program has no application object to terminate: ending the event loop lets
    // main() return.
    qCInfo(lcRWAgentController).noquote() << QStringLiteral("Stopping");
    QCoreApplication::exit(0);
}

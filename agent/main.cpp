// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRRWAApplication.h"
#include "KLVRRWAInstaller.h"
#include "KLVRRWAStore.h"
#include "KLVRRWAgentController.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace {

// Root serves on the system bus when one is reachable; anybody else on the session bus.
QDBusConnection::BusType agentBusType()
{
    if (geteuid() == 0 && QDBusConnection::systemBus().isConnected())
        return QDBusConnection::SystemBus;
    return QDBusConnection::SessionBus;
}

int runAgent()
{
    const QDBusConnection::BusType busType = agentBusType();
    const QDBusConnection servicesBus = busType == QDBusConnection::SystemBus ? QDBusConnection::systemBus()
                                                                             : QDBusConnection::sessionBus();
    if (!servicesBus.isConnected()) {
        qCritical("com.klvr.restwatch.agent: no D-Bus bus reachable: %s", qPrintable(servicesBus.lastError().message()));
        return EXIT_FAILURE;
    }
    const QDBusConnection eventsBus = QDBusConnection::connectToBus(busType, QStringLiteral("com.klvr.restwatch.agent.events"));

    // The sleep path makes its own connection to the system bus, with libdbus on its own thread.
    KLVRRWAgentController controller(servicesBus, eventsBus, QDBusConnection::systemBus());
    if (!controller.isBuilt())
        return EXIT_SUCCESS;
    QString storePath;
    try {
        storePath = controller.store()->defaultDatabasePath();
    } catch (const std::exception &exception) {
        storePath = QString::fromUtf8(exception.what());
    }
    qInfo("com.klvr.restwatch.agent: serving on the %s bus; store %s",
          busType == QDBusConnection::SystemBus ? "system" : "session", qPrintable(storePath));
    // The callers' requests run on this thread; under load the sleep path's thread (made above,
    // at the normal priority) and the bus threads come first.
    setpriority(PRIO_PROCESS, pid_t(gettid()), 10);
    controller.start();
    QCoreApplication::exec();
    controller.stop();
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char *argv[])
{
    KLVRRWAApplication application(argc, argv);
    KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
    // The client runs this program as root through pkexec to install it as the system service.
    if (KLVRRWAInstaller::isInstallMode(QCoreApplication::arguments()))
        return KLVRRWAInstaller(QDBusConnection::systemBus()).run(QCoreApplication::arguments());
    // Under systemd the journal already collects syslog; elsewhere show it on stderr as well.
    // The store and the defaults hold what the machine did: readable by the agent's user only,
    // whatever umask the agent was started with.
    umask(0077);
    openlog("com.klvr.restwatch.agent", LOG_PID | (qEnvironmentVariableIsSet("JOURNAL_STREAM") ? 0 : LOG_PERROR), LOG_DAEMON);
    return runAgent();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// How long the machine waits for Rest Watch when it goes to sleep: the time from logind's
// PrepareForSleep(true) to the release of the agent's delay lock, with 500 processes in the
// process table and the sleep events written to the store before the release. Runs the real
// power event monitor against python-dbusmock's logind on a private bus, with a /proc of 500
// processes under RESTWATCH_SYSROOT.
#include "KLVRBundle.h"
#include "KLVRRWAMonitorPowerEvent.h"
#include "KLVRRWAProcessList.h"
#include "KLVRRWAStore.h"
#include "KLVRTestBus.h"

#include <QCoreApplication>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kProcesses = 500;
constexpr int kRounds = 100;

bool waitFor(QObject *sender, void (KLVRRWAMonitorPowerEvent::*signal)(), int timeoutMs = 5000)
{
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    QObject::connect(static_cast<KLVRRWAMonitorPowerEvent *>(sender), signal, &loop, [&] { loop.exit(0); });
    timeout.start(timeoutMs);
    return loop.exec() == 0;
}

void printFigures(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * (ms.size() - 1) + 0.5))]; };
    std::printf("%-58s median %6.2f ms   p95 %6.2f ms   max %6.2f ms\n", what, at(0.5), at(0.95), ms.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // One info line per sleep from the monitor would drown the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("restwatch.agent.monitor.info=false"));
    KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));

    QTemporaryDir root;
    for (int pid = 1; pid <= kProcesses; ++pid) {
        const QString dir = root.filePath(QStringLiteral("proc/%1").arg(pid * 7));
        QDir().mkpath(dir);
        QFile comm(dir + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::WriteOnly))
            return 1;
        comm.write(pid % 50 == 0 ? QByteArray("Kaffeemaschin\xc3\n") : QByteArray("worker-") + QByteArray::number(pid) + '\n');
    }
    qputenv("RESTWATCH_SYSROOT", root.path().toUtf8());

    KLVRTestBus bus;
    if (!bus.start() || !bus.startMock(QStringLiteral("logind"))) {
        std::fprintf(stderr, "cannot start a private bus with python-dbusmock's logind\n");
        return 1;
    }
    QDBusConnection monitorBus = bus.connection(QStringLiteral("agent"));
    KLVRRWAStore store(root.filePath(QStringLiteral("store.db")));
    KLVRRWAMonitorPowerEvent monitor(&store, monitorBus);
    monitor.start();
    if (!monitor.holdsDelayLock()) {
        std::fprintf(stderr, "no delay lock\n");
        return 1;
    }

    QDBusConnection sender = bus.connection(QStringLiteral("logind-side"));
    const auto emitSleep = [&](bool start) {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                              QStringLiteral("/org/freedesktop/login1"),
                                                              QStringLiteral("org.freedesktop.DBus.Mock"),
                                                              QStringLiteral("EmitSignal"));
        message << QStringLiteral("org.freedesktop.login1.Manager") << QStringLiteral("PrepareForSleep")
                << QStringLiteral("b") << QVariantList{start};
        sender.asyncCall(message);
    };

    std::vector<double> fromRequest, fromArrival;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer requested;
        requested.start();
        emitSleep(true);
        if (!waitFor(&monitor, &KLVRRWAMonitorPowerEvent::delayLockReleased)) {
            std::fprintf(stderr, "the lock was not released\n");
            return 1;
        }
        fromRequest.push_back(requested.nsecsElapsed() / 1e6);
        fromArrival.push_back(monitor.lastReleaseDelayMs());
        emitSleep(false);
        if (!waitFor(&monitor, &KLVRRWAMonitorPowerEvent::delayLockTaken)) {
            std::fprintf(stderr, "no new lock after wake\n");
            return 1;
        }
    }

    std::vector<double> processTable;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QStringList names = KLVRRWAProcessList::names();
        processTable.push_back(timer.nsecsElapsed() / 1e6);
        if (names.size() != kProcesses)
            return 1;
    }

    std::printf("Sleep with %d processes, %d rounds, events written before the lock is released (target < 20 ms):\n",
                kProcesses, kRounds);
    printFigures("PrepareForSleep(true) handled -> delay lock released", fromArrival);
    printFigures("logind mock asked to emit -> delay lock released", fromRequest);
    printFigures("reading the process table alone", processTable);
    std::printf("(The first figure is the monitor's own share: idle hint and inhibitors from logind, the process\n"
                " table, two events queued and the batch committed to SQLite before the lock's descriptor is closed.\n"
                " The second adds python-dbusmock's time to emit the signal.)\n");
    return 0;
}

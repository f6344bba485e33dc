// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Prints: the time a second process takes to read a full 10,001-event store from the agent over
// D-Bus (target under 100 ms), and the idle agent's resident memory (target under 20 MB) and
// context switches over ten seconds (target: none but its 900-second timer's). Beside the wall
// time of a read it prints the CPU time the agent, the bus daemon and the reader spent on it,
// which stays comparable when other work loads the machine.
#include "KLVRAgentProcess.h"
#include "KLVRRWAEventTable.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Sums a counter of /proc/<pid>/task/*/status over the process's threads.
long long procStatus(qint64 pid, const char *field, bool allThreads)
{
    const QString base = QStringLiteral("/proc/%1").arg(pid);
    QStringList files{base + QStringLiteral("/status")};
    if (allThreads) {
        files.clear();
        for (const QString &task : QDir(base + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            files << base + QStringLiteral("/task/") + task + QStringLiteral("/status");
    }
    long long total = 0;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(field))
                total += line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return total;
}

// CPU time in nanoseconds the process's threads have run so far (pid 0: this process).
double cpuNanoseconds(qint64 pid)
{
    const QString base = pid ? QStringLiteral("/proc/%1/task").arg(pid) : QStringLiteral("/proc/self/task");
    double total = 0;
    for (const QString &task : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(base + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (file.open(QIODevice::ReadOnly))
            total += file.readAll().split(' ').value(0).toDouble();
    }
    return total;
}

long long contextSwitches(qint64 pid)
{
    return procStatus(pid, "voluntary_ctxt_switches:", true) + procStatus(pid, "nonvoluntary_ctxt_switches:", true);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    KLVRTestBus bus(KLVRTestBus::Limits::System);
    if (!bus.start())
        return 1;
    bus.startMock(QStringLiteral("logind"));
    bus.startMock(QStringLiteral("upower"));

    {
        KLVRAgentProcess agent(bus);
        if (!agent.start())
            return 1;
        const qint64 pid = agent.process().processId();
        QThread::sleep(2); // let start-up settle
        const long long rss = procStatus(pid, "VmRSS:", false);
        const long long before = contextSwitches(pid);
        QThread::sleep(10);
        const long long switches = contextSwitches(pid) - before;
        std::printf("idle agent: resident memory %.1f MB; %lld context switches in 10 s (all threads)\n",
                    double(rss) / 1024.0, switches);
        agent.stop();
    }

    // Full stores that fit the bus: one without process lists, and one where an event in thirty
    // carries 300 process names.
    for (const int heavyEvery : {20000, 30}) {
        KLVRAgentProcess agent(bus);
        if (!KLVRAgentProcess::writeStore(agent.userStorePath(), 10001, heavyEvery, 300, 700000000.0) || !agent.start())
            return 1;
        QDBusConnection client = bus.connection();
        const QDBusMessage daemon = client.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("GetConnectionUnixProcessID")) << QStringLiteral("org.freedesktop.DBus"));
        const qint64 daemonPid = daemon.arguments().value(0).toLongLong();
        const qint64 agentPid = agent.process().processId();
        const double cpuBefore[] = {cpuNanoseconds(agentPid), cpuNanoseconds(daemonPid), cpuNanoseconds(0)};
        QList<double> times, arrived, demarshalled;
        qsizetype rows = 0;
        for (int i = 0; i < 15; ++i) {
            QDBusMessage request = QDBusMessage::createMethodCall(KLVRAgentProcess::EventService, KLVRAgentProcess::ObjectPath,
                                                                  KLVRAgentProcess::EventInterface,
                                                                  QStringLiteral("sortedEventsFromDate"));
            request << std::nan("") << std::nan("");
            QElapsedTimer clock;
            clock.start();
            const QDBusMessage reply = client.call(request, QDBus::Block, 30000);
            arrived << double(clock.nsecsElapsed()) / 1e6;
            {
                const KLVRRWAEventTable events = qdbus_cast<KLVRRWAEventTable>(reply.arguments().value(0));
                demarshalled << double(clock.nsecsElapsed()) / 1e6 - arrived.last();
                rows = events.size();
            }
            times << double(clock.nsecsElapsed()) / 1e6;
            if (reply.type() != QDBusMessage::ReplyMessage) {
                std::printf("read failed: %s\n", qPrintable(reply.errorMessage()));
                return 1;
            }
        }
        const double reads = double(times.size()) * 1e6;
        const double agentCpu = (cpuNanoseconds(agentPid) - cpuBefore[0]) / reads;
        const double daemonCpu = daemonPid ? (cpuNanoseconds(daemonPid) - cpuBefore[1]) / reads : std::nan("");
        const double readerCpu = (cpuNanoseconds(0) - cpuBefore[2]) / reads;
        std::sort(times.begin(), times.end());
        std::sort(arrived.begin(), arrived.end());
        std::sort(demarshalled.begin(), demarshalled.end());
        std::printf("full read of %lld events (%.1f MB store%s) through D-Bus: median %.1f ms, best %.1f ms, worst %.1f ms\n",
                    qint64(rows), double(QFileInfo(agent.userStorePath()).size()) / 1048576.0,
                    heavyEvery == 30 ? ", 1 in 30 with 300 process names" : ", no process lists",
                    times.at(times.size() / 2), times.first(), times.last());
        std::printf("  median reply arrived after %.1f ms, then reader demarshals in %.1f ms\n",
                    arrived.at(arrived.size() / 2), demarshalled.at(demarshalled.size() / 2));
        std::printf("  CPU per read: agent %.1f ms, bus daemon %.1f ms, reader %.1f ms\n", agentCpu, daemonCpu, readerCpu);
        QThread::sleep(2); // idle again
        std::printf("idle agent after the reads: resident memory %.1f MB (heap and other private %.1f MB, files %.1f MB)\n",
                    double(procStatus(agentPid, "VmRSS:", false)) / 1024.0,
                    double(procStatus(agentPid, "RssAnon:", false)) / 1024.0,
                    double(procStatus(agentPid, "RssFile:", false) + procStatus(agentPid, "RssShmem:", false)) / 1024.0);
        agent.stop();
    }
    return 0;
}

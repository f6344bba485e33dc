// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Figures for a launch's replay of the client's cache into the log: a cache of some 500,000
// realistic events (five years of a laptop) is written once, then a fresh store and log replay
// it as the launch does, timed in its parts: reading and decoding the cache, and the log taking
// the events in. Target: under 3 seconds in all.
// Usage: bench_sync [days=1700] [home folder to keep the cache in between runs]
#include "KLVRBundle.h"
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

namespace {

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// CPU time of this thread: the machine is shared, and wall time would charge others' work here.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A store that vends nothing on any bus: the replay needs no agent.
std::unique_ptr<KLVRRWCStore> makeStore()
{
    const QDBusConnection none(QStringLiteral("bench-sync-no-bus"));
    return std::make_unique<KLVRRWCStore>(none, none);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int days = argc > 1 ? QByteArray(argv[1]).toInt() : 1700;
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QString homePath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : home.path();
    qputenv("HOME", homePath.toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    QDir(homePath).mkpath(QStringLiteral("Documents"));
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));

    // The cache as years of pulls leave it: written month by month.
    QElapsedTimer timer;
    timer.start();
    qint64 events = 0;
    QString cachePath = makeStore()->databaseURL().toLocalFile();
    if (QFileInfo(cachePath).size() > 1024 * 1024) {
        std::printf("cache: reusing %s\n", qPrintable(cachePath));
    } else {
        auto store = makeStore();
        KLVRHistoryGenerator generator;
        for (int written = 0; written < days; written += 30) {
            const QList<QVariantMap> month = generator.nextDays(std::min(30, days - written));
            store->cacheEvents(month);
            events += month.size();
        }
        std::printf("cache: %lld events written in %.2f s (not part of the replay)\n", events, seconds(timer));
    }
    std::printf("cache: %.1f MiB\n", double(QFileInfo(cachePath).size()) / (1024.0 * 1024.0));

    // A first sync caches the agent's whole store (10,001 events) in one go.
    {
        QTemporaryDir otherHome;
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", otherHome.path().toUtf8());
        QDir(otherHome.path()).mkpath(QStringLiteral("Documents"));
        KLVRHistoryGenerator generator;
        QList<QVariantMap> pull;
        while (pull.size() < 10001)
            pull += generator.nextDays(10);
        pull.resize(10001);
        auto store = makeStore();
        timer.restart();
        const double cpu = cpuSeconds();
        store->cacheEvents(pull);
        std::printf("first sync: caching %lld events %.2f s CPU (%.2f s wall)\n", qint64(pull.size()),
                    cpuSeconds() - cpu, seconds(timer));
        qputenv("HOME", savedHome);
    }

    // The launch's replay as it runs, first, on a fresh heap as at a launch: the store's own entry
    // point, read, decode and log together.
    auto again = makeStore();
    KLVRRWCLog secondLog;
    again->setLogController(&secondLog);
    timer.restart();
    double cpu = cpuSeconds();
    again->syncWithLocalCache();
    const double replayWall = seconds(timer), replayCpu = cpuSeconds() - cpu;

    // The parts, properties left as text: reading and decoding the cache alone, then the log
    // alone on what was read.
    auto store = makeStore();
    KLVRRWCLog log;
    store->setLogController(&log);
    timer.restart();
    cpu = cpuSeconds();
    const QList<QVariantMap> cached = store->sortedCachedEventsFromDate(std::nullopt, std::nullopt);
    const double readWall = seconds(timer), readCpu = cpuSeconds() - cpu;
    timer.restart();
    cpu = cpuSeconds();
    log.addExternalEntries(cached);
    const double logWall = seconds(timer), logCpu = cpuSeconds() - cpu;
    std::printf("parts (properties as text): cache read and decode of %lld events %.2f s CPU (%.2f s wall); log intake %.2f s CPU (%.2f s wall)\n",
                qint64(cached.size()), readCpu, readWall, logCpu, logWall);
    std::printf("replay (syncWithLocalCache): %lld entries from %lld events in %.2f s CPU (%.2f s wall)  [target < 3 s]\n",
                qint64(secondLog.count()), qint64(cached.size()), replayCpu, replayWall);
    return secondLog.count() == log.count() ? 0 : 1;
}

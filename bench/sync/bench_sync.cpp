// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Figures for a launch's replay of the client's cache into the log (syncWithLocalCache: cache
// read, decode, log). A cache of some 500,000 realistic events (five years of a laptop) is
// written once and replayed by a fresh store and log, as a launch does. Target: under 3 seconds.
//
// Two more figures put it in context:
// - the same replay of a year of a desktop whose sleep contexts go beyond ASCII (its inhibitor
//   gives its reason in French): the cache keeps those properties as UTF-16 text, which the
//   replay reads as text;
// - the records' way: the cache read as records (sortedCachedEventsFromDate, a month at a time,
//   properties widened to UTF-16 text) and handed to the log's addExternalEntries(). The replay
//   takes this way only for a row it cannot read field by field (a row stored as text, a record
//   of another shape, a date or properties the log judges).
// Usage: bench_sync [days=1700] [home folder to keep the caches in between runs]
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

// The store finds its cache in HOME's Documents folder: each cache gets a home of its own.
class Home
{
public:
    explicit Home(const QString &path)
        : m_saved(qgetenv("HOME"))
    {
        QDir(path).mkpath(QStringLiteral("Documents"));
        qputenv("HOME", path.toUtf8());
    }
    ~Home() { qputenv("HOME", m_saved); }
    Q_DISABLE_COPY_MOVE(Home)

private:
    QByteArray m_saved;
};

// A store that vends nothing on any bus: the replay needs no agent.
std::unique_ptr<KLVRRWCStore> makeStore()
{
    const QDBusConnection none(QStringLiteral("bench-sync-no-bus"));
    return std::make_unique<KLVRRWCStore>(none, none);
}

// The cache as years of pulls leave it, written month by month (kept from an earlier run when
// it is there). Returns its path.
QString writeCache(int days, const KLVRHistoryGenerator::Options &options)
{
    const QString path = makeStore()->databaseURL().toLocalFile();
    if (QFileInfo(path).size() > 1024 * 1024) {
        std::printf("cache: reusing %s\n", qPrintable(path));
    } else {
        QElapsedTimer timer;
        timer.start();
        auto store = makeStore();
        KLVRHistoryGenerator generator(options);
        qint64 events = 0;
        for (int written = 0; written < days; written += 30) {
            const QList<QVariantMap> month = generator.nextDays(std::min(30, days - written));
            store->cacheEvents(month);
            events += month.size();
        }
        std::printf("cache: %lld events written in %.2f s (not part of the replay)\n", events, seconds(timer));
    }
    std::printf("cache: %.1f MiB\n", double(QFileInfo(path).size()) / (1024.0 * 1024.0));
    return path;
}

struct Replay
{
    KLVRAbsoluteTime first;
    KLVRAbsoluteTime last;
    qsizetype entries = 0;
    qint64 events = 0;
    double cpu = 0.0;
    double wall = 0.0;
};

// The launch's replay, on a fresh store and log.
Replay replay()
{
    auto store = makeStore();
    KLVRRWCLog log;
    store->setLogController(&log);
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuSeconds();
    store->syncWithLocalCache();
    Replay result;
    result.cpu = cpuSeconds() - cpu;
    result.wall = seconds(timer);
    result.entries = log.count();
    if (log.count() > 0) {
        result.first = log.objectAtIndex(0)->date();
        result.last = log.finalDate();
    }
    for (const auto &entry : log.entries())
        result.events += 1 + entry->duplicateCount();
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int days = argc > 1 ? QByteArray(argv[1]).toInt() : 1700;
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    const QString homePath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CACHE_HOME", scratch.filePath(QStringLiteral("cache")).toUtf8());
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));

    // The launch first, on a fresh heap as at a launch.
    Replay launch;
    {
        Home home(homePath);
        writeCache(days, {});
        launch = replay();
    }

    // A first sync caches the agent's whole store (10,001 events) in one go.
    {
        Home home(scratch.filePath(QStringLiteral("first-sync")));
        KLVRHistoryGenerator generator;
        QList<QVariantMap> pull;
        while (pull.size() < 10001)
            pull += generator.nextDays(10);
        pull.resize(10001);
        auto store = makeStore();
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuSeconds();
        store->cacheEvents(pull);
        std::printf("first sync: caching %lld events %.2f s CPU (%.2f s wall)\n", qint64(pull.size()), cpuSeconds() - cpu,
                    seconds(timer));
    }

    // A year of a desktop in French: every sleep's context goes beyond ASCII.
    Replay localized;
    {
        Home home(QDir(homePath).filePath(QStringLiteral("localized")));
        KLVRHistoryGenerator::Options options;
        options.lockReason = QStringLiteral("GNOME doit verrouiller l\u2019\u00e9cran");
        writeCache(std::min(days, 365), options);
        localized = replay();
    }

    // The records' way, a month at a time.
    qsizetype recordsEntries = 0;
    double readCpu = 0.0, logCpu = 0.0;
    {
        Home home(homePath);
        auto store = makeStore();
        KLVRRWCLog log;
        const double month = 30 * 86400.0;
        for (KLVRAbsoluteTime from = launch.first; from <= launch.last; from = from.addSeconds(month)) {
            double cpu = cpuSeconds();
            const QList<QVariantMap> records = store->sortedCachedEventsFromDate(from, from.addSeconds(month - KLVRRWCStore::kTimeResolution));
            readCpu += cpuSeconds() - cpu;
            cpu = cpuSeconds();
            log.addExternalEntries(records);
            logCpu += cpuSeconds() - cpu;
        }
        recordsEntries = log.count();
    }

    std::printf("replay (syncWithLocalCache): %lld entries from %lld events in %.2f s CPU (%.2f s wall, %.2f us an event)  [target < 3 s]\n",
                qint64(launch.entries), launch.events, launch.cpu, launch.wall, launch.cpu * 1e6 / double(launch.events));
    std::printf("replay of a year with sleep contexts beyond ASCII (UTF-16 text in the cache): %lld events in %.2f s CPU (%.2f us an event)\n",
                localized.events, localized.cpu, localized.cpu * 1e6 / double(localized.events));
    std::printf("records' way (sortedCachedEventsFromDate a month at a time, properties as UTF-16 text, then addExternalEntries): "
                "read %.2f s CPU, log %.2f s CPU, %.2f s CPU in all\n",
                readCpu, logCpu, readCpu + logCpu);
    return recordsEntries == launch.entries ? 0 : 1;
}

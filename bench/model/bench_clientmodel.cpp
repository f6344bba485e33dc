// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Figures for the client's model over five years of a laptop's history (~500,000 events):
// the time to take it all into an empty log (the store's batches, generation not counted), the
// peak memory, and the time to recompute the visible entries after a range change.
// Usage: bench_clientmodel [days=1826] [batch-days=30]; BENCH_VERBOSE=1 prints the running total.
#include "KLVRHistoryGenerator.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCPropertyReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// CPU time of this thread: the machine the figures come from is shared, and wall time would
// charge other programs' work to the model.
qint64 cpuNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Resident memory in MiB: "VmHWM" (peak) or "VmRSS" (now) of this process.
double memoryMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1.0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1.0;
}

// The generator writes the agent's text by hand; make sure the model reads what the general
// parser reads, or the figures would measure something else.
bool generatorMatchesParser()
{
    KLVRHistoryGenerator generator;
    const QList<QVariantMap> day = generator.nextDays(1);
    for (const QVariantMap &record : day) {
        const QString text = record.value(QStringLiteral("properties")).toString();
        if (text == QLatin1String("NULL"))
            continue;
        KLVRRWCPropertyDictionary fast;
        QString error;
        if (KLVRRWCPropertyReader::read(text, &fast, &error) != KLVRRWCPropertyReader::Result::Dictionary)
            return false;
        const QVariantMap general = KLVRPropertyList::read(text.toUtf8()).toMap();
        if (general.isEmpty() || KLVRRWCPropertyDictionary::fromMap(general) != fast)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const int days = argc > 1 ? std::atoi(argv[1]) : 1826;
    const int batchDays = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;

    if (!generatorMatchesParser()) {
        std::fprintf(stderr, "generated property lists do not read back as written\n");
        return 1;
    }

    const double baseline = memoryMiB("VmRSS:");
    KLVRHistoryGenerator generator;
    KLVRRWCLog log;
    log.setVisibleInterval(KLVRRWCAbsoluteDuration(generator.currentDate(), 86399.0));

    qint64 intake = 0;
    qint64 intakeCpu = 0;
    qint64 events = 0;
    QElapsedTimer timer;
    for (int day = 0; day < days; day += batchDays) {
        const QVariantList batch = generator.nextDaysAsVariantList(std::min(batchDays, days - day));
        events += batch.size();
        timer.start();
        const qint64 cpu = cpuNanoseconds();
        log.addExternalEntries(batch);
        intakeCpu += cpuNanoseconds() - cpu;
        intake += timer.nsecsElapsed();
        if (std::getenv("BENCH_VERBOSE"))
            std::printf("  day %d: %lld events, %.3f s CPU so far\n", day + batchDays, static_cast<long long>(events), intakeCpu / 1e9);
    }
    const double peak = memoryMiB("VmHWM:");
    const double resident = memoryMiB("VmRSS:");

    std::printf("history: %d days, %lld events (%.0f a day), %lld power events, batches of %d days\n", days,
                static_cast<long long>(events), double(events) / days, static_cast<long long>(generator.powerEventCount()),
                batchDays);
    std::printf("log: %lld entries, %zu groups\n", static_cast<long long>(log.count()), size_t(log.groups().size()));
    std::printf("intake into an empty log: %.3f s CPU (%.2f us an event), %.3f s wall  [target < 2 s]\n", intakeCpu / 1e9,
                intakeCpu / 1e3 / double(events), intake / 1e9);
    std::printf("memory: peak %.0f MiB, resident after intake %.0f MiB, at start %.0f MiB  [target < 1024 MiB]\n", peak,
                resident, baseline);

    // Range changes: one day, one week, one month and everything, at random places.
    std::vector<KLVRRWCAbsoluteDuration> ranges;
    const KLVRAbsoluteTime first = log.objectAtIndex(0)->date();
    const double span = log.finalDate().secondsSince(first);
    for (int i = 0; i < 400; ++i) {
        const double length = (i % 4 == 0) ? 86399.0 : (i % 4 == 1) ? 7 * 86400.0 - 1 : (i % 4 == 2) ? 31 * 86400.0 - 1 : span;
        const double offset = (i % 4 == 3) ? 0.0 : std::fmod(i * 7919.0 * 3607.0, std::max(1.0, span - length));
        ranges.emplace_back(first.addSeconds(offset), length);
    }
    std::vector<qint64> times;
    qint64 visible = 0;
    for (const KLVRRWCAbsoluteDuration &range : ranges) {
        const qint64 cpu = cpuNanoseconds();
        log.setVisibleInterval(range);
        times.push_back(cpuNanoseconds() - cpu);
        visible += log.countOfVisibleEntries();
    }
    std::sort(times.begin(), times.end());
    std::printf("visible entries after a range change: median %.1f us, worst %.1f us CPU (%lld entries seen)  [target < 5 ms]\n",
                times[times.size() / 2] / 1e3, times.back() / 1e3, static_cast<long long>(visible));
    return 0;
}

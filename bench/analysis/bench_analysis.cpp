// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// How fast the visible entries follow a range change, and how fast a month's statistics come,
// over five years of recorded history (about half a million events).
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntrySelection.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRUserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kYears = 5;

struct History
{
    QTemporaryDir dir;
    std::unique_ptr<KLVRUserDefaults> defaults;
    KLVRAbsoluteTime now;
    std::unique_ptr<KLVRRWCDateRangeController> range;
    std::unique_ptr<KLVRRWCLog> log;
    std::unique_ptr<KLVRRWCLogSlice> slice;
    qint64 events = 0;
};

History &history()
{
    static History *h = [] {
        auto *h = new History;
        h->defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.bench"),
                                                         h->dir.filePath(QStringLiteral("defaults.plist")));
        KLVRHistoryGenerator generator;
        h->now = generator.currentDate();
        // "Today" follows the history as it is taken in, as it would on a running machine.
        h->range = std::make_unique<KLVRRWCDateRangeController>(h->defaults.get(), nullptr, [h] { return h->now; });
        h->log = std::make_unique<KLVRRWCLog>();
        h->log->setDateRange(h->range.get());
        h->slice = std::make_unique<KLVRRWCLogSlice>();
        h->slice->setDateRange(h->range.get());
        h->slice->setLog(h->log.get());

        const int days = kYears * 365 + kYears / 4;
        qint64 loading = 0;
        QElapsedTimer timer;
        for (int day = 0; day < days; day += 30) {
            const QList<QVariantMap> batch = generator.nextDays(std::min(30, days - day));
            h->now = generator.currentDate().addSeconds(-3600.0);
            timer.start();
            h->log->addExternalEntries(batch);
            loading += timer.nsecsElapsed();
        }
        h->range->passingMidnightUpdate();
        h->events = generator.eventCount();
        std::printf("history: %lld events over %d days, %lld entries, taken in in %.0f ms\n", h->events, days,
                    static_cast<long long>(h->log->count()), double(loading) / 1e6);
        return h;
    }();
    return *h;
}

// A month in the middle of the history.
KLVRRWCAbsoluteDuration middleMonth()
{
    History &h = history();
    const QDate last = h.now.toDateTime().date();
    const QDate first = QDate(last.year(), last.month(), 1).addMonths(-30);
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(KLVRAbsoluteTime::fromDateTime(first.startOfDay()),
                                                             KLVRAbsoluteTime::fromDateTime(first.addMonths(1).startOfDay()).addSeconds(-1));
}

// One day, stepped back and forth in the middle of the history: the log recomputes its visible
// entries on every change of the range.
void rangeChangeByDay(benchmark::State &state)
{
    History &h = history();
    const KLVRRWCAbsoluteDuration month = middleMonth();
    h.range->setAbsoluteDuration(KLVRRWCAbsoluteDuration(month.startDate(), 86399));
    bool forward = true;
    for (auto _ : state) {
        forward ? h.range->dayForward() : h.range->dayBackward();
        forward = !forward;
        benchmark::DoNotOptimize(h.log->visibleRange());
    }
    state.counters["visible"] = double(h.log->countOfVisibleEntries());
}
BENCHMARK(rangeChangeByDay)->Unit(benchmark::kMillisecond);

// The ready-made spans in turn, from today to everything.
void rangeChangeByTag(benchmark::State &state)
{
    History &h = history();
    int tag = 1;
    for (auto _ : state) {
        h.range->setSelectionTag(tag);
        tag = tag % (KLVRRWCDateRangeController::kSpanCount - 1) + 1;
        benchmark::DoNotOptimize(h.log->visibleRange());
    }
}
BENCHMARK(rangeChangeByTag)->Unit(benchmark::kMillisecond);

// The statistics the inspector shows for a month: usage, power source and the battery.
void monthStatistics(benchmark::State &state)
{
    History &h = history();
    const KLVRRWCAbsoluteDuration month = middleMonth();
    h.range->setAbsoluteDuration(month);
    const QList<KLVRRWCLogEntry *> entries = h.log->visibleEntriesArray();
    for (auto _ : state) {
        KLVRRWCLogEntrySelection selection(entries, h.range->absoluteDuration(), h.now);
        benchmark::DoNotOptimize(selection.attributeValues());
    }
    state.counters["entries"] = double(entries.size());
}
BENCHMARK(monthStatistics)->Unit(benchmark::kMillisecond);

// The same through the slice, as a script reads it: the visible entries and a fresh selection.
void monthSummaryThroughTheSlice(benchmark::State &state)
{
    History &h = history();
    h.range->setAbsoluteDuration(middleMonth());
    for (auto _ : state)
        benchmark::DoNotOptimize(h.slice->summary());
}
BENCHMARK(monthSummaryThroughTheSlice)->Unit(benchmark::kMillisecond);

// Everything at once: the statistics of five years.
void everythingStatistics(benchmark::State &state)
{
    History &h = history();
    h.range->setSelectionTag(KLVRRWCDateRangeController::Everything);
    const QList<KLVRRWCLogEntry *> entries = h.log->visibleEntriesArray();
    for (auto _ : state) {
        KLVRRWCLogEntrySelection selection(entries, h.range->absoluteDuration(), h.now);
        benchmark::DoNotOptimize(selection.attributeValues());
    }
    state.counters["entries"] = double(entries.size());
}
BENCHMARK(everythingStatistics)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    KLVRHistoryGenerator::prepareProcess();
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    history();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

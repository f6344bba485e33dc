// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// How fast the inspector's panel is rebuilt for a selection of a whole year of entries (the
// statistics and every item's view, laid out), and for one idle sleep with its process list.
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCInspectorController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntrySelection.h"
#include "KLVRUserDefaults.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

struct Year
{
    QTemporaryDir dir;
    std::unique_ptr<KLVRUserDefaults> defaults;
    std::unique_ptr<KLVRRWCDateRangeController> range;
    std::unique_ptr<KLVRRWCLog> log;
    std::unique_ptr<KLVRRWCInspectorController> inspector;
    QList<KLVRRWCLogEntry *> entries;
};

Year &year()
{
    static Year *y = [] {
        auto *y = new Year;
        y->defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.bench"),
                                                         y->dir.filePath(QStringLiteral("defaults.plist")));
        y->range = std::make_unique<KLVRRWCDateRangeController>(y->defaults.get());
        y->log = std::make_unique<KLVRRWCLog>();
        y->log->setDateRange(y->range.get());
        KLVRHistoryGenerator generator;
        for (int day = 0; day < 365; day += 30)
            y->log->addExternalEntries(generator.nextDays(std::min(30, 365 - day)));
        for (const auto &entry : y->log->entries())
            y->entries << entry.get();
        y->inspector = std::make_unique<KLVRRWCInspectorController>(y->defaults.get());
        y->inspector->setLog(y->log.get());
        y->inspector->setDateRange(y->range.get());
        y->inspector->showInformationPanel();
        std::printf("history: %lld events over 365 days, %lld entries\n", generator.eventCount(),
                    static_cast<long long>(y->log->count()));
        return y;
    }();
    return *y;
}

// The whole year selected: the statistics, the stack of items and the panel's layout.
void rebuildForAYear(benchmark::State &state)
{
    Year &y = year();
    y.inspector->setSelectedEntries(y.entries);
    for (auto _ : state) {
        y.inspector->updateContents();
        benchmark::DoNotOptimize(y.inspector->subViewControllers().size());
    }
    state.counters["entries"] = double(y.entries.size());
    state.counters["items"] = double(y.inspector->subViewControllers().size());
}
BENCHMARK(rebuildForAYear)->Unit(benchmark::kMillisecond);

// The part of it that is the statistics alone.
void yearStatisticsAlone(benchmark::State &state)
{
    Year &y = year();
    for (auto _ : state) {
        KLVRRWCLogEntrySelection selection(y.entries);
        benchmark::DoNotOptimize(selection.attributeValues());
    }
}
BENCHMARK(yearStatisticsAlone)->Unit(benchmark::kMillisecond);

// One idle sleep: its context, its few hundred processes and the locks that held it back.
void rebuildForAnIdleSleep(benchmark::State &state)
{
    Year &y = year();
    KLVRRWCLogEntry *idle = nullptr;
    for (KLVRRWCLogEntry *entry : y.entries) {
        if (entry->event() == QLatin1String("Can system sleep"))
            idle = entry;
    }
    if (!idle) {
        state.SkipWithError("no idle sleep in the history");
        return;
    }
    y.inspector->setSelectedEntries({idle});
    for (auto _ : state) {
        y.inspector->updateContents();
        benchmark::DoNotOptimize(y.inspector->subViewControllers().size());
    }
    state.counters["items"] = double(y.inspector->subViewControllers().size());
}
BENCHMARK(rebuildForAnIdleSleep)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    KLVRHistoryGenerator::prepareProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    year();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

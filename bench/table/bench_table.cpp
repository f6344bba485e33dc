// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// How fast the log table follows five years of a laptop's history: showing a year (the rows made
// afresh and the first screen of them painted), one filter keystroke over that year, and a sort
// of that year by summary; and how much memory the table adds to the log it shows (the log
// alone is the baseline).
#include "BLRoundedTableCell.h"
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableModel.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRUserDefaults.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kDays = 5 * 365;

// Resident memory in MiB now.
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

struct History
{
    QTemporaryDir dir;
    std::unique_ptr<KLVRUserDefaults> defaults;
    KLVRAbsoluteTime now;
    std::unique_ptr<KLVRRWCDateRangeController> range;
    std::unique_ptr<KLVRRWCLog> log;
    double logMiB = 0;
};

History &history()
{
    static History *h = [] {
        auto *h = new History;
        h->defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.bench"),
                                                         h->dir.filePath(QStringLiteral("defaults.plist")));
        h->defaults->registerDefaults({{QStringLiteral("relativeDates"), true},
                                       {QStringLiteral("eventDetail"), false},
                                       {QStringLiteral("highlight"), true},
                                       {QStringLiteral("highlightColour"), QStringLiteral("#FFF0A8")}});
        KLVRHistoryGenerator generator;
        h->range = std::make_unique<KLVRRWCDateRangeController>(h->defaults.get(), nullptr, [h] { return h->now; });
        h->log = std::make_unique<KLVRRWCLog>();
        h->log->setDateRange(h->range.get());
        for (int day = 0; day < kDays; day += 30) {
            h->log->addExternalEntries(generator.nextDays(std::min(30, kDays - day)));
            h->now = generator.currentDate().addSeconds(-3600.0);
        }
        h->range->passingMidnightUpdate();
        h->logMiB = residentMiB();
        std::printf("history: %lld events over %d days, %lld entries; %.0f MiB resident with the log alone\n",
                    static_cast<long long>(generator.eventCount()), kDays, static_cast<long long>(h->log->count()), h->logMiB);
        return h;
    }();
    return *h;
}

// The year ending `yearsBack` years before the history's last day.
KLVRRWCAbsoluteDuration year(int yearsBack)
{
    const QDate last = history().now.toDateTime().date().addYears(-yearsBack);
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(KLVRAbsoluteTime::fromDateTime(last.addDays(-364).startOfDay()),
                                                             KLVRAbsoluteTime::fromDateTime(last.addDays(1).startOfDay()).addSeconds(-1));
}

// A table as the window shows it, a laptop window's width and a third of its height.
struct Table
{
    Table()
    {
        History &h = history();
        view.resize(1100, 330);
        controller.setUserDefaults(h.defaults.get());
        controller.setLog(h.log.get());
        controller.setTableView(&view);
        controller.setFilterField(&field);
        controller.awakeFromNib();
        view.show();
        screen = QImage(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    }
    // The first screen of rows, painted as an exposure paints it.
    void paint()
    {
        view.doItemsLayout();
        view.viewport()->render(&screen);
    }
    KLVRRWCLogTableView view;
    QLineEdit field;
    KLVRRWCLogTableController controller;
    QImage screen;
};

// First, while nothing else has run: what the table adds to the log: a year shown, filtered and sorted by summary, then all five
// years shown and sorted by summary (every summary kept).
void memory(benchmark::State &state)
{
    History &h = history();
    Table table;
    double year = 0;
    double all = 0;
    for (auto _ : state) {
        h.range->setAbsoluteDuration(::year(0));
        table.paint();
        table.field.setText(QStringLiteral("sleep"));
        table.paint();
        table.field.clear();
        table.controller.setSortDescriptors({{KLVRRWCLogTableModel::kSummaryKey, true}});
        table.paint();
        year = residentMiB();
        h.range->setAbsoluteDuration(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(h.log->objectAtIndex(0)->date(), h.now));
        table.paint();
        all = residentMiB();
        table.controller.setSortDescriptors({});
    }
    state.counters["log MiB"] = h.logMiB;
    state.counters["year +%"] = 100.0 * (year - h.logMiB) / h.logMiB;
    state.counters["5 years +%"] = 100.0 * (all - h.logMiB) / h.logMiB;
}
BENCHMARK(memory)->Iterations(1)->Unit(benchmark::kMillisecond);

// (a) A year shown: the log's visible entries change, the rows are made afresh, and the first
// screen is painted (texts formatted as they are painted). Alternating between two years, so
// that nothing painted before helps.
void showYear(benchmark::State &state)
{
    History &h = history();
    Table table;
    int flip = 0;
    for (auto _ : state) {
        h.range->setAbsoluteDuration(year(flip));
        table.paint();
        flip ^= 1;
    }
    state.counters["rows"] = double(table.controller.model()->rowCount());
    state.counters["laid out"] = double(table.controller.summaryCell()->layoutCount()) / double(state.iterations());
}
BENCHMARK(showYear)->Unit(benchmark::kMillisecond);

// The same in a table sorted by summary, which needs every summary of the year before its first
// row: a fresh table each time, so that none of them is known.
void showYearSortedBySummary(benchmark::State &state)
{
    History &h = history();
    std::unique_ptr<Table> table;
    for (auto _ : state) {
        state.PauseTiming();
        h.range->setAbsoluteDuration(year(1));
        table = std::make_unique<Table>();
        table->controller.setSortDescriptors({{KLVRRWCLogTableModel::kSummaryKey, true}});
        table->paint();
        state.ResumeTiming();
        h.range->setAbsoluteDuration(year(0));
        table->paint();
    }
    state.counters["rows"] = double(table->controller.model()->rowCount());
    table->controller.setSortDescriptors({});
}
BENCHMARK(showYearSortedBySummary)->Unit(benchmark::kMillisecond);

// (b) One keystroke in the filter field over the year, the first screen painted. Warm: the
// year's summaries are known (the table works them out while idle once a range is shown, and
// any filter or summary sort keeps them); cold: typed at once into a freshly shown year,
// before the table had any idle time. The keystroke shows the first rows it finds and leaves
// the rest to idle slices; "cold, to the last row" runs the event loop until every row is in.
void filterKeystroke(benchmark::State &state)
{
    History &h = history();
    const bool cold = state.range(0) >= 1;
    const bool complete = state.range(0) == 2;
    h.range->setAbsoluteDuration(year(0));
    std::unique_ptr<Table> table = std::make_unique<Table>();
    while (!table->controller.model()->summariesReady())
        QCoreApplication::processEvents();
    double shown = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            table = std::make_unique<Table>();
            table->paint();
            state.ResumeTiming();
        }
        table->field.setText(QStringLiteral("w"));
        table->paint();
        if (complete) {
            while (table->controller.model()->isArranging())
                QCoreApplication::processEvents();
            table->paint();
        }
        state.PauseTiming();
        shown += table->controller.model()->rowCount();
        table->field.clear();
        table->controller.model()->finishArranging();
        state.ResumeTiming();
    }
    table->field.setText(QStringLiteral("w"));
    state.counters["rows"] = double(table->controller.arrangedObjects().size());
    state.counters["shown at once"] = shown / double(state.iterations());
}
BENCHMARK(filterKeystroke)->Arg(0)->Arg(1)->Arg(2)->ArgName("cold")->Unit(benchmark::kMillisecond);

// The next keystroke narrows the rows the first one left.
void filterNarrowingKeystroke(benchmark::State &state)
{
    history().range->setAbsoluteDuration(year(0));
    Table table;
    while (!table.controller.model()->summariesReady())
        QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        table.field.setText(QStringLiteral("s"));
        table.controller.model()->finishArranging();
        state.ResumeTiming();
        table.field.setText(QStringLiteral("sl"));
        table.paint();
    }
    state.counters["rows"] = double(table.controller.model()->rowCount());
}
BENCHMARK(filterNarrowingKeystroke)->Unit(benchmark::kMillisecond);

// (c) The year sorted by summary (a click on the column's header), the first screen painted.
void sortBySummary(benchmark::State &state)
{
    History &h = history();
    const bool cold = state.range(0) == 1;
    h.range->setAbsoluteDuration(year(0));
    std::unique_ptr<Table> table = std::make_unique<Table>();
    for (auto _ : state) {
        state.PauseTiming();
        if (cold)
            table = std::make_unique<Table>();
        else
            while (!table->controller.model()->summariesReady())
                QCoreApplication::processEvents();
        table->controller.setSortDescriptors({});
        table->paint();
        state.ResumeTiming();
        table->controller.setSortDescriptors({{KLVRRWCLogTableModel::kSummaryKey, true}});
        table->paint();
    }
    table->controller.setSortDescriptors({});
    state.counters["rows"] = double(table->controller.model()->rowCount());
}
BENCHMARK(sortBySummary)->Arg(0)->Arg(1)->ArgName("cold")->Unit(benchmark::kMillisecond);


} // namespace

int main(int argc, char **argv)
{
    KLVRHistoryGenerator::prepareProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    history();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

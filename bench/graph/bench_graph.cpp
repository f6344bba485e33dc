// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// How fast the time-line graph draws a month and a year of a laptop's recorded history: a
// redraw from the model (display list, axis, bands, curves and their shadow; one frame at 60 Hz
// is 16 ms) and a copy of the cached picture (under 1 ms), at one and two pixels per point.
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCLog.h"
#include "KLVRUserDefaults.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kDays = 400;
// A graph as wide as a laptop's window.
const QSizeF kFrame(1100, 280);

struct History
{
    QTemporaryDir dir;
    std::unique_ptr<KLVRUserDefaults> defaults;
    KLVRAbsoluteTime now;
    std::unique_ptr<KLVRRWCDateRangeController> range;
    std::unique_ptr<KLVRRWCLog> log;
};

History &history()
{
    static History *h = [] {
        auto *h = new History;
        h->defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.bench"),
                                                         h->dir.filePath(QStringLiteral("defaults.plist")));
        KLVRHistoryGenerator generator;
        h->range = std::make_unique<KLVRRWCDateRangeController>(h->defaults.get(), nullptr, [h] { return h->now; });
        h->log = std::make_unique<KLVRRWCLog>();
        h->log->setDateRange(h->range.get());
        for (int day = 0; day < kDays; day += 30) {
            h->log->addExternalEntries(generator.nextDays(std::min(30, kDays - day)));
            h->now = generator.currentDate().addSeconds(-3600.0);
        }
        h->range->passingMidnightUpdate();
        std::printf("history: %lld events over %d days, %lld entries\n", static_cast<long long>(generator.eventCount()), kDays,
                    static_cast<long long>(h->log->count()));
        return h;
    }();
    return *h;
}

// The last whole month, or the last 365 days, of the history.
KLVRRWCAbsoluteDuration span(bool year)
{
    const QDate last = history().now.toDateTime().date();
    const QDate first = year ? last.addDays(-364) : QDate(last.year(), last.month(), 1).addMonths(-1);
    const QDate end = year ? last : QDate(last.year(), last.month(), 1).addDays(-1);
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(KLVRAbsoluteTime::fromDateTime(first.startOfDay()),
                                                             KLVRAbsoluteTime::fromDateTime(end.addDays(1).startOfDay()).addSeconds(-1));
}

// A graph cell showing the month (range 0) or the year (range 1) of the history, and a screen
// image at the given density to draw it on.
struct Graph
{
    Graph(bool year, qreal dpr) : image((kFrame * dpr).toSize(), QImage::Format_ARGB32_Premultiplied)
    {
        image.setDevicePixelRatio(dpr);
        History &h = history();
        h.range->setAbsoluteDuration(span(year));
        cell.setLog(h.log.get());
        cell.setDateRange(h.range.get());
    }
    void draw()
    {
        QPainter painter(&image);
        cell.drawInteriorWithFrame(painter, QRectF(QPointF(0, 0), kFrame));
    }
    KLVRRWCEntriesCell cell;
    QImage image;
};

// Range 0: a month, 1: a year; density 1 or 2 pixels per point.
void redrawFromModel(benchmark::State &state)
{
    Graph graph(state.range(0) == 1, qreal(state.range(1)));
    KLVRRWCEntriesCell &cell = graph.cell;
    for (auto _ : state) {
        cell.setDataSourceChanged(true);
        graph.draw();
    }
    // RESTWATCH_BENCH_PICTURES=<folder> keeps the pictures to look at.
    const QString folder = qEnvironmentVariable("RESTWATCH_BENCH_PICTURES");
    if (!folder.isEmpty())
        cell.cachedImage().save(QStringLiteral("%1/graph-%2-%3x.png").arg(folder, state.range(0) == 1 ? QStringLiteral("year") : QStringLiteral("month")).arg(state.range(1)));
    qsizetype points = 0;
    for (const auto &segments : cell.displayList().batteries().batterySegments())
        for (const auto &segment : segments)
            points += segment.points().size();
    state.counters["entries"] = double(history().log->countOfVisibleEntries());
    state.counters["bands"] = double(cell.displayList().states().size());
    state.counters["points"] = double(points);
}
BENCHMARK(redrawFromModel)->ArgsProduct({{0, 1}, {1, 2}})->ArgNames({"year", "dpr"})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Building the display list alone, the part of a redraw that walks the log.
void displayListFromModel(benchmark::State &state)
{
    History &h = history();
    Graph graph(state.range(0) == 1, 1);
    graph.draw();
    KLVRRWCEntriesCell &cell = graph.cell;
    KLVRRWCEntriesViewDisplayList list = cell.displayList();
    for (auto _ : state) {
        cell.prepareDisplayList(list, h.range->absoluteDuration(), h.log.get());
        benchmark::DoNotOptimize(list.states().size());
    }
}
BENCHMARK(displayListFromModel)->ArgsProduct({{0, 1}})->ArgNames({"year"})->Unit(benchmark::kMillisecond);

// An exposure: the cached picture copied to the screen.
void cachedPicture(benchmark::State &state)
{
    Graph graph(state.range(0) == 1, qreal(state.range(1)));
    graph.draw();
    const int renders = graph.cell.renderCount();
    for (auto _ : state)
        graph.draw();
    if (graph.cell.renderCount() != renders)
        state.SkipWithError("the cached picture was drawn again");
}
BENCHMARK(cachedPicture)->ArgsProduct({{0, 1}, {1, 2}})->ArgNames({"year", "dpr"})->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    KLVRHistoryGenerator::prepareProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    history();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

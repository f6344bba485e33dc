// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Exporting five years of a laptop's recorded history (~550,000 events) to tab-separated text,
// rich text, an XML property list and a Word document: the time of one export to a file and
// the memory it takes beyond the log's own (peak resident memory during the export minus the
// resident memory before it). Targets: under 3 s and under 300 MB each. Also the longest stretch
// without a progress call (when the window would not answer), which should stay a moment.
// Usage: bench_export [benchmark options]; BENCH_DAYS overrides the 1826 days, BENCH_ITERATIONS
// the three runs of each export.
#include "KLVRBundle.h"
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCExportFile.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <cstdlib>
#include <memory>

namespace {

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

// Starts a new peak: the kernel sets VmHWM back to the current resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct History
{
    QTemporaryDir dir;
    std::unique_ptr<KLVRRWCLog> log;
};

History &history()
{
    static History *h = [] {
        auto *h = new History;
        const int days = qEnvironmentVariableIsSet("BENCH_DAYS") ? qEnvironmentVariableIntValue("BENCH_DAYS") : 1826;
        KLVRHistoryGenerator generator;
        h->log = std::make_unique<KLVRRWCLog>();
        for (int day = 0; day < days; day += 30)
            h->log->addExternalEntries(generator.nextDaysAsVariantList(std::min(30, days - day)));
        std::printf("history: %lld events over %d days, %lld entries, %.0f MiB resident\n",
                    static_cast<long long>(generator.eventCount()), days, static_cast<long long>(h->log->count()),
                    memoryMiB("VmRSS:"));
        return h;
    }();
    return *h;
}

void exportLog(benchmark::State &state, int tag)
{
    History &h = history();
    const QString path = h.dir.filePath(QStringLiteral("export.") + KLVRRWCExportFormat::exportSuffixForFormatTag(tag));
    double extra = 0.0;
    double longestPause = 0.0;
    qint64 bytes = 0;
    for (auto _ : state) {
        // Memory the last export freed goes back first, so that it is not reused unseen.
        malloc_trim(0);
        const double before = memoryMiB("VmRSS:");
        resetPeak();
        QString error;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        const auto step = [&clock, &last, &longest](qint64, qint64) {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
            return true;
        };
        const KLVRRWCExportFile::Result result = KLVRRWCExportFile::write(path, tag, h.log.get(), {}, step, &error);
        longest = std::max(longest, clock.nsecsElapsed() - last);
        longestPause = std::max(longestPause, double(longest) / 1e6);
        if (result != KLVRRWCExportFile::Result::Written) {
            state.SkipWithError(qPrintable(QStringLiteral("export failed: ") + error));
            return;
        }
        extra = std::max(extra, memoryMiB("VmHWM:") - before);
        bytes = QFileInfo(path).size();
    }
    state.counters["extra_MiB"] = extra;
    state.counters["pause_ms"] = longestPause;
    state.counters["file_MiB"] = double(bytes) / (1024.0 * 1024.0);
    state.counters["entries"] = double(h.log->count());
}

} // namespace

int main(int argc, char **argv)
{
    KLVRHistoryGenerator::prepareProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    benchmark::Initialize(&argc, argv);
    history();
    for (const auto &[name, tag] : {std::pair{"txt", int(KLVRRWCExportFormat::TabularText)},
                                    std::pair{"rtf", int(KLVRRWCExportFormat::RichText)},
                                    std::pair{"plist", int(KLVRRWCExportFormat::PropertyList)},
                                    std::pair{"docx", int(KLVRRWCExportFormat::Word)}}) {
        benchmark::RegisterBenchmark((std::string("export/") + name).c_str(), exportLog, tag)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(qEnvironmentVariableIsSet("BENCH_ITERATIONS") ? qEnvironmentVariableIntValue("BENCH_ITERATIONS") : 3);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("targets: each export under 3 s (Time) and under 300 MB extra memory (extra_MiB)\n");
    return 0;
}

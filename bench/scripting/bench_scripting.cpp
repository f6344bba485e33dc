// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Figures for scripts:
// - a script reading every entry of five years (the log made from some 550,000 events) through
//   com.klvr.restwatch.Database, 10,000 entries a call, on a private session bus; the reader is
//   another connection on its own thread, as another process would be. Target: under 2 s. Its
//   CPU figure is this process's (server and reader), the bus daemon's not included.
// - `restwatch --summary --range <that year> --json` as a new process over a year of cache, with
//   no window and no agent: start, cache replay, statistics, output. Target: under 1 s. The
//   program's own processor time is the program_cpu_ms counter.
// Usage: bench_scripting [--benchmark options]
#include "KLVRBundle.h"
#include "KLVRHistoryGenerator.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCScriptingDatabase.h"
#include "KLVRRWCScriptingService.h"
#include "KLVRRWCScriptingTypes.h"
#include "KLVRRWCStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <thread>

namespace {

struct Setup
{
    QTemporaryDir scratch;
    std::unique_ptr<QProcess> daemon;
    QString address;
    std::unique_ptr<KLVRRWCLog> log;
    std::unique_ptr<KLVRRWCScriptingService> service;
    QString yearRange;
};

Setup *setup = nullptr;

bool startBus()
{
    setup->daemon = std::make_unique<QProcess>();
    setup->daemon->start(QStringLiteral("dbus-daemon"),
                         {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!setup->daemon->waitForReadyRead(10000))
        return false;
    setup->address = QString::fromUtf8(setup->daemon->readLine()).trimmed();
    return !setup->address.isEmpty();
}

// Five years in the log, served as the window serves it. Made only for the read and gone after
// it, so that the summary finds no window on the bus.
bool serveFiveYears()
{
    setup->log = std::make_unique<KLVRRWCLog>();
    KLVRHistoryGenerator generator;
    for (int month = 0; month < 61; ++month)
        setup->log->addExternalEntries(generator.nextDaysAsVariantList(30));
    std::printf("five years: %lld events, %lld entries\n", generator.eventCount(), qint64(setup->log->count()));
    const QDBusConnection server = QDBusConnection::connectToBus(setup->address, QStringLiteral("bench-server"));
    setup->service = std::make_unique<KLVRRWCScriptingService>(server, setup->log.get(), nullptr, nullptr);
    return setup->service->start();
}

void BM_DatabaseReadFiveYears(benchmark::State &state)
{
    if (!serveFiveYears()) {
        state.SkipWithError("the service did not start");
        return;
    }
    quint64 entries = 0;
    for (auto _ : state) {
        std::atomic<quint64> read = 0;
        QEventLoop loop;
        std::thread reader([&] {
            {
                QDBusConnection bus = QDBusConnection::connectToBus(setup->address, QStringLiteral("bench-reader"));
                const quint32 page = KLVRRWCScriptingDatabase::kMaximumPage;
                for (quint32 location = 0;; location += page) {
                    QDBusMessage call = QDBusMessage::createMethodCall(
                        KLVRRWCScriptingService::kServiceName, KLVRRWCScriptingService::kDatabasePath,
                        QStringLiteral("com.klvr.restwatch.Database"), QStringLiteral("entries"));
                    call << location << page;
                    const QDBusReply<QVariantMap> reply = bus.call(call, QDBus::Block, 60000);
                    if (!reply.isValid())
                        break;
                    // Each column read as a script would, into its own list.
                    const QVariantMap page = reply.value();
                    const QStringList dates = page.value(QStringLiteral("date")).toStringList();
                    const QStringList summaries = page.value(QStringLiteral("summary")).toStringList();
                    const QStringList monitors = page.value(QStringLiteral("monitor")).toStringList();
                    const QStringList groups = page.value(QStringLiteral("group")).toStringList();
                    const QList<bool> visible = qdbus_cast<QList<bool>>(page.value(QStringLiteral("visible")));
                    if (dates.isEmpty() || summaries.size() != dates.size() || monitors.size() != dates.size()
                        || groups.size() != dates.size() || visible.size() != dates.size())
                        break;
                    read += quint64(dates.size());
                }
            }
            QDBusConnection::disconnectFromBus(QStringLiteral("bench-reader"));
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        reader.join();
        entries = read;
    }
    state.counters["entries"] = double(entries);
    if (entries != quint64(setup->log->count()))
        state.SkipWithError("not every entry was read");
    setup->service.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("bench-server"));
    setup->log.reset();
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_SummaryOfAYearColdStart(benchmark::State &state)
{
    const QString program = QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const QString home = setup->scratch.filePath(QStringLiteral("year"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("RESTWATCH_SYSROOT"), home + QStringLiteral("/sysroot"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), setup->address);
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), setup->address);
    QByteArray output;
    const double cpuBefore = childrenCpuSeconds();
    for (auto _ : state) {
        QProcess summary;
        summary.setProcessEnvironment(environment);
        summary.start(program, {QStringLiteral("--summary"), QStringLiteral("--range"), setup->yearRange, QStringLiteral("--json")});
        if (!summary.waitForFinished(60000) || summary.exitCode() != 0) {
            state.SkipWithError(summary.readAllStandardError().constData());
            return;
        }
        output = summary.readAllStandardOutput();
    }
    // The program's own processor time (user and system), per run.
    state.counters["program_cpu_ms"] = (childrenCpuSeconds() - cpuBefore) * 1000.0 / double(state.iterations());
    std::printf("%s", output.constData());
}

void prepare(QCoreApplication &)
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    if (!startBus()) {
        std::fprintf(stderr, "bench_scripting: no dbus-daemon\n");
        std::exit(1);
    }

    // A year of cache for the summary, in a home of its own.
    const QString year = setup->scratch.filePath(QStringLiteral("year"));
    for (const char *folder : {"Documents", "config", "cache", "data", "sysroot"})
        QDir(year).mkpath(QString::fromLatin1(folder));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", year.toUtf8());
    qputenv("XDG_CACHE_HOME", (year + QStringLiteral("/cache")).toUtf8());
    {
        const QDBusConnection none(QStringLiteral("bench-scripting-no-bus"));
        KLVRRWCStore store(none, none);
        KLVRHistoryGenerator generator;
        const KLVRAbsoluteTime first = generator.currentDate();
        for (int month = 0; month < 12; ++month)
            store.cacheEvents(generator.nextDays(month == 11 ? 365 - 11 * 30 : 30));
        setup->yearRange = first.toDateTime().date().toString(Qt::ISODate) + QStringLiteral("..")
                           + generator.currentDate().addSeconds(-1).toDateTime().date().toString(Qt::ISODate);
        std::printf("a year of cache: %lld events, range %s\n", generator.eventCount(), qPrintable(setup->yearRange));
    }
    qputenv("HOME", savedHome);
}

} // namespace

// Processor time is the whole process's: the serving thread and the reader's.
BENCHMARK(BM_DatabaseReadFiveYears)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK(BM_SummaryOfAYearColdStart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

int main(int argc, char *argv[])
{
    KLVRHistoryGenerator::prepareProcess();
    QCoreApplication application(argc, argv);
    Setup state;
    setup = &state;
    prepare(application);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    state.daemon->terminate();
    state.daemon->waitForFinished();
    return 0;
}

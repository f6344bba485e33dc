// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Figures for the event store: a batch of 1000 events as the monitors produce them (a third of
// them power events carrying ~300 process names), queued and then written in one transaction,
// into an empty table and into a full one (10001 rows, where every insert also trims the oldest),
// and a full read of 10001 rows. Then the agent's side of a full read over D-Bus, step by step, on
// a store the size the bus carries (1 event in 30 with 300 process names): the query, the reply's
// size check, marshalling the reply, and freeing the events. CPU time is the figure to compare on a busy machine.
#include "KLVRBundle.h"
#include "KLVRRWAEventList.h"
#include "KLVRRWAService.h"
#include "KLVRRWAStore.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QTemporaryDir>
#include <memory>
#include <benchmark/benchmark.h>

namespace {

constexpr int kBatch = 1000;

struct Event
{
    QString description;
    std::optional<QVariantMap> context;
    QString monitor;
};

QVariantList processNames()
{
    static const char *const names[] = {"systemd", "kthreadd", "rcu_gp", "kworker/0:1", "ksoftirqd/0", "migration/0",
                                        "dbus-daemon", "NetworkManager", "gnome-shell", "Xwayland", "pipewire",
                                        "wireplumber", "firefox-esr", "Isolated Web Co", "code", "bash", "sshd",
                                        "cron", "polkitd", "upowerd", "systemd-logind", "thermald", "cupsd"};
    QVariantList list;
    for (int i = 0; i < 300; ++i)
        list.append(QString::fromLatin1(names[i % std::size(names)]));
    return list;
}

QList<Event> realisticBatch()
{
    const QVariantList processes = processNames();
    const QString powerEvents = QStringLiteral("com.klvr.monitor.watcher.powerevents");
    const QVariantMap battery{{"Name", "BAT0"}, {"Type", "InternalBattery"}, {"Transport Type", "Internal"},
                              {"Is Present", true}, {"Is Charging", false}, {"Is Charged", false},
                              {"Power Source State", "Battery Power"}, {"Current Capacity", 71},
                              {"Max Capacity", 100}, {"Time to Empty", 184}, {"Power Source ID", 1}};
    QList<Event> batch;
    for (int i = 0; i < kBatch; ++i) {
        switch (i % 3) {
        case 0:
            batch.append({QStringLiteral("Can system sleep"),
                          QVariantMap{{"Idle Seconds", 600 + i}, {"Processes", processes}}, powerEvents});
            break;
        case 1:
            batch.append({QStringLiteral("Power state changed"), battery,
                          QStringLiteral("com.klvr.monitor.watcher.powersource")});
            break;
        default:
            batch.append(i % 2 ? Event{QStringLiteral("accounting boot"), QVariantMap{{"event_time", 790000000.5 + i}},
                                       QStringLiteral("com.klvr.monitor.watcher.last")}
                               : Event{QStringLiteral("Starting monitor"), std::nullopt, QStringLiteral("com.klvr.restwatch")});
            break;
        }
    }
    return batch;
}

void queue(KLVRRWAStore &store, const QList<Event> &batch, double &time)
{
    for (const Event &event : batch)
        store.addEntry(event.description, event.context, event.monitor, KLVRAbsoluteTime(time += 0.25));
}

// A fresh store file per iteration, made and dropped outside the timed part.
struct FreshStore
{
    QTemporaryDir dir{QStringLiteral("bench-store-XXXXXX")};
    std::unique_ptr<KLVRRWAStore> store = std::make_unique<KLVRRWAStore>(dir.filePath(QStringLiteral("store.db")));
};

void BM_QueueBatch(benchmark::State &state)
{
    const QList<Event> batch = realisticBatch();
    double time = 800000000.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto fresh = std::make_unique<FreshStore>();
        state.ResumeTiming();
        queue(*fresh->store, batch, time);
        state.PauseTiming();
        fresh.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_WriteBatchEmptyTable(benchmark::State &state)
{
    const QList<Event> batch = realisticBatch();
    double time = 800000000.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto fresh = std::make_unique<FreshStore>();
        fresh->store->database();
        queue(*fresh->store, batch, time);
        state.ResumeTiming();
        fresh->store->insertPending();
        state.PauseTiming();
        fresh.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// Fills the table to its 10001 rows; returns the date of the last one.
double fillTable(KLVRRWAStore &store)
{
    double time = 700000000.0;
    for (int i = 0; i < 10001; ++i)
        store.addEntry(QStringLiteral("Starting monitor"), std::nullopt, QStringLiteral("com.klvr.restwatch"),
                       KLVRAbsoluteTime(time += 1.0));
    store.insertPending();
    return time;
}

// Steady state: the table holds 10001 rows, so the trigger trims one row before every insert.
void BM_WriteBatchFullTable(benchmark::State &state)
{
    FreshStore fresh;
    KLVRRWAStore &store = *fresh.store;
    const QList<Event> batch = realisticBatch();
    double time = fillTable(store);
    for (auto _ : state) {
        state.PauseTiming();
        queue(store, batch, time);
        state.ResumeTiming();
        store.insertPending();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// One event into the full table: what the agent pays for each event in normal use.
void BM_WriteOneEventFullTable(benchmark::State &state)
{
    FreshStore fresh;
    KLVRRWAStore &store = *fresh.store;
    const QList<Event> batch = realisticBatch();
    double time = fillTable(store);
    int next = 0;
    for (auto _ : state) {
        const Event &event = batch.at(next++ % kBatch);
        store.addEntry(event.description, event.context, event.monitor, KLVRAbsoluteTime(time += 1.0));
        store.insertPending();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReadFullTable(benchmark::State &state)
{
    FreshStore fresh;
    KLVRRWAStore &store = *fresh.store;
    const QList<Event> batch = realisticBatch();
    double time = 800000000.0;
    for (int i = 0; i < 10; ++i)
        queue(store, batch, time);
    store.addEntry(QStringLiteral("Starting monitor"), std::nullopt, QStringLiteral("com.klvr.restwatch"),
                   KLVRAbsoluteTime(time += 1.0));
    store.insertPending();
    for (auto _ : state) {
        const auto events = store.sortedEntriesFromDate(KLVRAbsoluteTime::invalid(), KLVRAbsoluteTime::invalid());
        benchmark::DoNotOptimize(events);
    }
    state.SetItemsProcessed(state.iterations() * 10001);
}

// 10001 events as a laptop records them: power source changes, agent starts, and one event in
// thirty a sleep carrying 300 process names (about 10 MB, what one reply on the system bus holds).
struct BusSizedStore
{
    FreshStore fresh;
    BusSizedStore()
    {
        QVariantList names = processNames();
        const QVariantMap sleep{{"Idle Seconds", 312}, {"Processes", names}};
        double time = 700000000.0;
        for (int i = 0; i < 10001; ++i) {
            if (i % 30 == 0)
                fresh.store->addEntry(QStringLiteral("Can system sleep"), sleep,
                                      QStringLiteral("com.klvr.monitor.watcher.powerevents"), KLVRAbsoluteTime(time += 60.0));
            else if (i % 7 == 0)
                fresh.store->addEntry(QStringLiteral("Starting monitor"), std::nullopt, QStringLiteral("com.klvr.restwatch"),
                                      KLVRAbsoluteTime(time += 60.0));
            else
                fresh.store->addEntry(QStringLiteral("Power state changed"),
                                      QVariantMap{{"Name", "BAT0"}, {"Current Capacity", 20 + i % 80},
                                                  {"Is Charging", i % 2 == 0}, {"Max Capacity", 100},
                                                  {"Power Source State", i % 2 ? "Battery Power" : "AC Power"},
                                                  {"Time to Empty", 184}, {"Type", "InternalBattery"}},
                                      QStringLiteral("com.klvr.monitor.watcher.powersource"), KLVRAbsoluteTime(time += 60.0));
        }
        fresh.store->insertPending();
    }
    KLVRRWAEventTable read() const
    {
        return fresh.store->sortedEntriesFromDate(KLVRAbsoluteTime::invalid(), KLVRAbsoluteTime::invalid()).value();
    }
};

void BM_BusRead_Query(benchmark::State &state)
{
    BusSizedStore store;
    for (auto _ : state) {
        KLVRRWAEventTable events = store.read();
        state.PauseTiming();
        events = {};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10001);
}

// The size check before every reply.
void BM_BusRead_ReplySize(benchmark::State &state)
{
    BusSizedStore store;
    const KLVRRWAEventTable events = store.read();
    for (auto _ : state)
        benchmark::DoNotOptimize(events.marshalledSize());
    state.SetItemsProcessed(state.iterations() * 10001);
}

// What QtDBus does with the reply before it goes on the socket.
void BM_BusRead_Marshal(benchmark::State &state)
{
    BusSizedStore store;
    const KLVRRWAEventTable events = store.read();
    KLVRRWAEventTable::registerMetaType();
    for (auto _ : state) {
        QDBusArgument argument;
        argument << events;
        state.PauseTiming();
        argument = QDBusArgument();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10001);
}

void BM_BusRead_Free(benchmark::State &state)
{
    BusSizedStore store;
    for (auto _ : state) {
        state.PauseTiming();
        KLVRRWAEventTable events = store.read();
        state.ResumeTiming();
        events = {};
    }
    state.SetItemsProcessed(state.iterations() * 10001);
}

} // namespace

BENCHMARK(BM_QueueBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBatchEmptyTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBatchFullTable)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteOneEventFullTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFullTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BusRead_Query)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BusRead_ReplySize)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BusRead_Marshal)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BusRead_Free)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

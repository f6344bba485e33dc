// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAEventList.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMutex>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <cmath>
#include <sqlite3.h>

namespace {

const QString kEventService = QStringLiteral("com.klvr.restwatch.agent");
const QString kAgentPath = QStringLiteral("/com/klvr/restwatch/agent");
const QString kSleep = QStringLiteral("System will sleep");
const QString kPowerEvents = QStringLiteral("com.klvr.monitor.watcher.powerevents");

KLVRRWAEvent agentEvent(double date, const QString &description = kSleep, const QString &properties = QStringLiteral("NULL"))
{
    return {{QStringLiteral("id"), QStringLiteral("1")},
            {QStringLiteral("date"), KLVRAbsoluteTime(date).toText()},
            {QStringLiteral("monitor"), kPowerEvents},
            {QStringLiteral("description"), description},
            {QStringLiteral("properties"), properties}};
}

KLVRRWAEvent dated(KLVRRWAEvent event, const QString &date)
{
    event.insert(QStringLiteral("date"), date);
    return event;
}

QVariantMap record(const KLVRRWAEvent &event)
{
    QVariantMap map;
    for (auto it = event.cbegin(); it != event.cend(); ++it)
        map.insert(it.key(), it.value());
    return map;
}

double onGrid(double seconds)
{
    return std::round(seconds * 1e6) / 1e6;
}

// The agent's event service as the tests need it: answers from a thread of this process with the
// events it is given, refuses ranges that hold more than maxPerReply events as too large, and can
// fail one request on purpose. Bounds travel as "%lf" text, as in the agent.
class FakeEventService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.klvr.restwatch.KLVRRWAServiceProtocol")

public:
    struct Request
    {
        double from;
        double to;
        bool answered;
    };

    void setEvents(const QList<KLVRRWAEvent> &events) { QMutexLocker lock(&m_lock); m_events = events; }
    void addEvent(const KLVRRWAEvent &event) { QMutexLocker lock(&m_lock); m_events.append(event); }
    void setMaxPerReply(int max) { QMutexLocker lock(&m_lock); m_maxPerReply = max; }
    void setFailingRequest(int index) { QMutexLocker lock(&m_lock); m_failingRequest = index; }
    QList<Request> requests() const { QMutexLocker lock(&m_lock); return m_requests; }
    QStringList registrations() const { QMutexLocker lock(&m_lock); return m_registrations; }

public Q_SLOTS:
    QString version() { return QStringLiteral("244"); }

    KLVRRWAEventList sortedEventsFromDate(double fromDate, double toDate)
    {
        QMutexLocker lock(&m_lock);
        const double from = KLVRAbsoluteTime::fromText(KLVRAbsoluteTime(fromDate).toText()).seconds();
        const double to = KLVRAbsoluteTime::fromText(KLVRAbsoluteTime(toDate).toText()).seconds();
        KLVRRWAEventList found;
        for (const KLVRRWAEvent &event : std::as_const(m_events)) {
            const double date = event.value(QStringLiteral("date")).toDouble();
            if (date >= from && date <= to)
                found.append(event);
        }
        std::stable_sort(found.begin(), found.end(), [](const KLVRRWAEvent &a, const KLVRRWAEvent &b) {
            return a.value(QStringLiteral("date")).toDouble() < b.value(QStringLiteral("date")).toDouble();
        });
        const bool fail = m_requests.size() == m_failingRequest;
        const bool tooLarge = m_maxPerReply > 0 && found.size() > m_maxPerReply;
        m_requests.append({fromDate, toDate, !fail && !tooLarge});
        if (fail)
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("the store is locked"));
        else if (tooLarge)
            sendErrorReply(KLVRRWCStore::kTooLargeError, QStringLiteral("too many events for one reply"));
        return fail || tooLarge ? KLVRRWAEventList() : found;
    }

    Q_NOREPLY void registerForEventUpdates(const QString &name)
    {
        QMutexLocker lock(&m_lock);
        m_registrations.append(name);
    }
    Q_NOREPLY void unregisterForEventUpdates(const QString &) {}

private:
    mutable QMutex m_lock;
    QList<KLVRRWAEvent> m_events;
    QList<Request> m_requests;
    QStringList m_registrations;
    int m_maxPerReply = 0;
    int m_failingRequest = -1;
};

class FakeHousekeeping : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.klvr.restwatch.KLVRAgentServiceProtocol")

public Q_SLOTS:
    QString version() { return QStringLiteral("244"); }
};

} // namespace

class tst_KLVRRWCStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void firstLaunchCreatesTheCacheAndAsksFromTheDistantPast();
    void anEmptyAnswerLeavesTheSyncTimeAlone_data();
    void anEmptyAnswerLeavesTheSyncTimeAlone();
    void eachPullStartsRightAfterThePreviousUpperBound();
    void replayHandsOverOnlyWhatTheLogHasNotSeen();
    void stopMarkerOnlyWhenTheAgentLeavesAFilledLog_data();
    void stopMarkerOnlyWhenTheAgentLeavesAFilledLog();
    void textAndBlobRowsDecodeAndACorruptRowIsSkipped();
    void replayedPropertiesReadAsTheLogReadsThem();
    void tooLargeAnswersAreSplitAndCachedOnlyWhenComplete_data();
    void tooLargeAnswersAreSplitAndCachedOnlyWhenComplete();
    void aClientWhoseNameIsTakenIsCalledBackByItsUniqueName();
    void recordedEventsReachTheLogWithinOneNoticeAndThePrintout();
    void printLogSaysSoWhenThereIsNothingToPrint();
    void aFullStoreOfRealisticEventsSyncsOnASystemBus();

private:
    struct Client
    {
        std::unique_ptr<KLVRAgentController> controller;
        std::unique_ptr<KLVRRWCLog> log;
        std::unique_ptr<KLVRRWCStore> store;
    };
    Client makeClient();
    void startFakeAgent();
    void stopFakeAgent();
    bool pull(KLVRRWCStore &store, bool *success = nullptr, int timeoutMs = 15000);
    QList<QVariantMap> cachedEvents(KLVRRWCStore &store) { return store.sortedCachedEventsFromDate(std::nullopt, std::nullopt); }
    QProcess *runClient(const QStringList &arguments);
    bool readFromAnotherClient();

    KLVRAgentTestEnvironment m_environment;
    QThread m_fakeThread;
    FakeEventService *m_events = nullptr;
    FakeHousekeeping *m_housekeeping = nullptr;
};

void tst_KLVRRWCStore::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    KLVRRWARegisterEventListType();
    // Both buses keep the system bus's 32 MiB limit: an answer that fits here fits everywhere.
    QVERIFY(m_environment.start(false, KLVRTestBus::Limits::System));
    m_fakeThread.start();
}

void tst_KLVRRWCStore::init()
{
    QVERIFY(m_environment.resetTree());
}

void tst_KLVRRWCStore::cleanup()
{
    stopFakeAgent();
    m_environment.stopAgents();
}

void tst_KLVRRWCStore::cleanupTestCase()
{
    m_fakeThread.quit();
    m_fakeThread.wait();
}

void tst_KLVRRWCStore::startFakeAgent()
{
    m_events = new FakeEventService;
    m_housekeeping = new FakeHousekeeping;
    m_events->moveToThread(&m_fakeThread);
    m_housekeeping->moveToThread(&m_fakeThread);
    QDBusConnection events = m_environment.systemBus().connection(QStringLiteral("klvr-test-fake-events"));
    QDBusConnection housekeeping = m_environment.systemBus().connection(QStringLiteral("klvr-test-fake-housekeeping"));
    QVERIFY(events.registerObject(kAgentPath, m_events, QDBusConnection::ExportAllSlots));
    QVERIFY(events.registerService(kEventService));
    QVERIFY(housekeeping.registerObject(kAgentPath, m_housekeeping, QDBusConnection::ExportAllSlots));
    QVERIFY(housekeeping.registerService(KLVRAgentTestEnvironment::kHousekeepingName));
}

void tst_KLVRRWCStore::stopFakeAgent()
{
    if (!m_events)
        return;
    QDBusConnection events = m_environment.systemBus().connection(QStringLiteral("klvr-test-fake-events"));
    QDBusConnection housekeeping = m_environment.systemBus().connection(QStringLiteral("klvr-test-fake-housekeeping"));
    events.unregisterService(kEventService);
    events.unregisterObject(kAgentPath);
    housekeeping.unregisterService(KLVRAgentTestEnvironment::kHousekeepingName);
    housekeeping.unregisterObject(kAgentPath);
    m_events->deleteLater();
    m_housekeeping->deleteLater();
    m_events = nullptr;
    m_housekeeping = nullptr;
}

tst_KLVRRWCStore::Client tst_KLVRRWCStore::makeClient()
{
    Client client;
    client.controller = std::make_unique<KLVRAgentController>(m_environment.systemConnection(),
                                                              m_environment.sessionConnection());
    client.log = std::make_unique<KLVRRWCLog>();
    client.store = std::make_unique<KLVRRWCStore>(m_environment.systemConnection(), m_environment.sessionConnection());
    client.store->setAgentController(client.controller.get());
    client.store->setLogController(client.log.get());
    client.store->awakeFromNib();
    return client;
}

bool tst_KLVRRWCStore::pull(KLVRRWCStore &store, bool *success, int timeoutMs)
{
    QSignalSpy finished(&store, &KLVRRWCStore::pullFinished);
    if (!store.sync())
        return false;
    if (!finished.wait(timeoutMs))
        return false;
    if (success)
        *success = finished.constFirst().constFirst().toBool();
    return true;
}

QProcess *tst_KLVRRWCStore::runClient(const QStringList &arguments)
{
    auto *client = new QProcess(this);
    client->setProcessEnvironment(m_environment.agentEnvironment());
    client->start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), arguments);
    client->waitForFinished(60000);
    return client;
}

bool tst_KLVRRWCStore::readFromAnotherClient()
{
    for (KLVRTestBus *bus : {&m_environment.systemBus(), &m_environment.sessionBus()}) {
        QDBusConnection connection = m_environment.connection(*bus, QStringLiteral("other-client"));
        if (!connection.interface()->isServiceRegistered(kEventService).value())
            continue;
        QDBusMessage read = QDBusMessage::createMethodCall(kEventService, kAgentPath,
                                                           QStringLiteral("com.klvr.restwatch.KLVRRWAServiceProtocol"),
                                                           QStringLiteral("sortedEventsFromDate"));
        read << std::nan("") << std::nan("");
        return connection.call(read).type() == QDBusMessage::ReplyMessage;
    }
    return false;
}

void tst_KLVRRWCStore::firstLaunchCreatesTheCacheAndAsksFromTheDistantPast()
{
    startFakeAgent();
    m_events->setEvents({agentEvent(800000000.25)});
    Client client = makeClient();
    QVERIFY(client.controller->isInstalled());

    const QString cache = m_environment.home() + QStringLiteral("/Documents/Rest Watch.rest-watch-events");
    QVERIFY(!QFileInfo::exists(cache));
    client.store->syncWithLocalCache();
    QVERIFY(QFileInfo::exists(cache));
    QCOMPARE(client.log->count(), 0);

    const double before = KLVRAbsoluteTime::now().seconds();
    bool success = false;
    QVERIFY(pull(*client.store, &success));
    QVERIFY(success);
    const QList<FakeEventService::Request> requests = m_events->requests();
    QCOMPARE(requests.size(), 1);
    // The distant past: so far from 2001 that a microsecond is below the resolution of a double.
    QCOMPARE(qRound64(requests.constFirst().from), qint64(-63114076800));
    QVERIFY(requests.constFirst().to >= onGrid(before));
    QCOMPARE(client.store->lastSyncDate().seconds(), requests.constFirst().to);
    QCOMPARE(client.log->count(), 1);
    QCOMPARE(m_events->registrations(), QStringList{QStringLiteral("com.klvr.restwatch._store")});
}

void tst_KLVRRWCStore::anEmptyAnswerLeavesTheSyncTimeAlone_data()
{
    QTest::addColumn<bool>("synced");
    QTest::newRow("never synced") << false;
    QTest::newRow("synced before") << true;
}

void tst_KLVRRWCStore::anEmptyAnswerLeavesTheSyncTimeAlone()
{
    QFETCH(bool, synced);
    startFakeAgent();
    Client client = makeClient();
    if (synced)
        client.store->setLastSyncDate(KLVRAbsoluteTime(700000000.5));
    const QString before = client.store->stringForSetting(QStringLiteral("lastSync"));

    QSignalSpy finished(client.store.get(), &KLVRRWCStore::pullFinished);
    QVERIFY(client.store->sync());
    QVERIFY(finished.wait());
    QCOMPARE(finished.constFirst().value(1).toInt(), 0);
    QCOMPARE(client.store->stringForSetting(QStringLiteral("lastSync")), before);
    QCOMPARE(client.store->stringForSetting(QStringLiteral("lastSync")).isNull(), !synced);
    QVERIFY(cachedEvents(*client.store).isEmpty());
}

void tst_KLVRRWCStore::eachPullStartsRightAfterThePreviousUpperBound()
{
    const double last = 790000000.123456;
    startFakeAgent();
    m_events->setEvents({agentEvent(last - 1.0), agentEvent(last), agentEvent(last + 0.000001, QStringLiteral("System has powered on")),
                         agentEvent(last + 0.5)});
    Client client = makeClient();
    client.store->setLastSyncDate(KLVRAbsoluteTime(last));

    QVERIFY(pull(*client.store));
    QCOMPARE(m_events->requests().constFirst().from, last + 0.000001);
    // The event at the recorded sync time came with the pull that recorded it.
    QCOMPARE(client.log->count(), 2);
    QCOMPARE(cachedEvents(*client.store).size(), 2);

    // One microsecond after the upper bound of a pull still belongs to the next one.
    const double bound = m_events->requests().constLast().to;
    m_events->addEvent(agentEvent(bound + 0.000001, QStringLiteral("System has powered on")));
    QVERIFY(pull(*client.store));
    QCOMPARE(m_events->requests().constLast().from, bound + 0.000001);
    QCOMPARE(cachedEvents(*client.store).size(), 3);
    QCOMPARE(client.log->finalDate().toText(), KLVRAbsoluteTime(bound + 0.000001).toText());
}

void tst_KLVRRWCStore::replayHandsOverOnlyWhatTheLogHasNotSeen()
{
    Client client = makeClient();
    client.store->cacheEvents({record(agentEvent(800000000.0)), record(agentEvent(800000010.0, QStringLiteral("System has powered on")))});
    client.store->syncWithLocalCache();
    QCOMPARE(client.log->count(), 2);

    client.store->cacheEvents({record(agentEvent(800000010.5))});
    client.store->syncWithLocalCache();
    QCOMPARE(client.log->count(), 3);
    client.store->syncWithLocalCache();
    QCOMPARE(client.log->count(), 3);
    QCOMPARE(client.log->finalDate().seconds(), 800000010.5);
}

void tst_KLVRRWCStore::stopMarkerOnlyWhenTheAgentLeavesAFilledLog_data()
{
    QTest::addColumn<bool>("filled");
    QTest::newRow("empty log") << false;
    QTest::newRow("filled log") << true;
}

void tst_KLVRRWCStore::stopMarkerOnlyWhenTheAgentLeavesAFilledLog()
{
    QFETCH(bool, filled);
    startFakeAgent();
    if (filled)
        m_events->setEvents({agentEvent(800000000.0, QStringLiteral("Starting monitor"))});
    Client client = makeClient();
    QVERIFY(pull(*client.store));
    const qsizetype before = client.log->count();

    stopFakeAgent();
    client.controller->updateState();
    QCOMPARE(client.controller->state(), int(KLVRAgentController::NotInstalled));
    QTest::qWait(KLVRRWCStore::kInstalledChangeDelay * 3);

    const QList<QVariantMap> cached = cachedEvents(*client.store);
    QCOMPARE(cached.size(), filled ? 2 : 0);
    QCOMPARE(client.log->count(), before + (filled ? 1 : 0));
    if (filled) {
        QCOMPARE(cached.constLast().value(QStringLiteral("description")).toString(), QStringLiteral("Stopping monitor"));
        QCOMPARE(cached.constLast().value(QStringLiteral("monitor")).toString(), QStringLiteral("com.klvr.restwatch"));
        QCOMPARE(cached.constLast().value(QStringLiteral("properties")).toString(), QStringLiteral("NULL"));
        QCOMPARE(client.log->pastEntry()->event(), QStringLiteral("Stopping monitor"));
    }
}

void tst_KLVRRWCStore::textAndBlobRowsDecodeAndACorruptRowIsSkipped()
{
    Client client = makeClient();
    const QVariantMap asText = record(agentEvent(800000000.0));
    // Text beyond ASCII is kept as UTF-16 inside the binary record.
    const QVariantMap asBlob = record(agentEvent(
        800000020.0, QStringLiteral("Power state changed"),
        QString::fromUtf8(KLVRPropertyList::write(QVariantMap{{QStringLiteral("Name"), QStringLiteral("Akku Größe ①")}}))));
    client.store->cacheEvent(asBlob);
    sqlite3 *db = client.store->database();
    const QByteArray text = KLVRPropertyList::write(asText, KLVRPropertyList::Format::Xml);
    sqlite3_stmt *insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO cache (date, properties) VALUES (?, ?)", -1, &insert, nullptr), SQLITE_OK);
    const auto row = [&](double date, const QByteArray &bytes, bool asTextColumn) {
        sqlite3_reset(insert);
        sqlite3_bind_double(insert, 1, date);
        if (asTextColumn)
            sqlite3_bind_text(insert, 2, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_blob(insert, 2, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        return sqlite3_step(insert);
    };
    QCOMPARE(row(800000000.0, text, true), SQLITE_DONE);
    QCOMPARE(row(800000010.0, QByteArray("bplist00 damaged on disk"), false), SQLITE_DONE);
    sqlite3_finalize(insert);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^KLVRRWCStore inflation of .* failed")));
    const QList<QVariantMap> events = cachedEvents(*client.store);
    QCOMPARE(events, (QList<QVariantMap>{asText, asBlob}));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^KLVRRWCStore inflation of .* failed")));
    client.store->syncWithLocalCache();
    QCOMPARE(client.log->count(), 2);
}

// The replay reads properties from the cached bytes itself: what it takes must be what the log
// takes from the text, and what it cannot read must still reach the log's report.
void tst_KLVRRWCStore::replayedPropertiesReadAsTheLogReadsThem()
{
    const auto xml = [](const QVariantMap &map) { return QString::fromUtf8(KLVRPropertyList::write(map)); };
    QVariantList processes;
    for (int i = 0; i < 300; ++i)
        processes << QStringLiteral("proc-%1 & <%2>").arg(i).arg(i % 7);
    const QList<QVariantMap> events{
        record(agentEvent(800000000.0, kSleep, xml({{QStringLiteral("Processes"), processes}}))),
        record(agentEvent(800000010.0, QStringLiteral("Can system sleep"), xml({{QStringLiteral("Processes"), processes.mid(5)}}))),
        record(agentEvent(800000020.0, QStringLiteral("System has powered on"), QStringLiteral("<plist><dict><key>a</dict>"))),
        record(agentEvent(800000030.0, QStringLiteral("Power state changed"),
                          xml({{QStringLiteral("Name"), QStringLiteral("Akku Gr\u00f6\u00dfe")}, {QStringLiteral("Current Capacity"), 57}}))),
        record(agentEvent(800000040.0, QStringLiteral("Power state changed"),
                          xml({{QStringLiteral("Name"), QStringLiteral("BAT0")}, {QStringLiteral("Current Capacity"), 58}}))),
        // Dates the cache selects but that are not plain numbers, or lie beyond what the log takes.
        record(dated(agentEvent(0.0, QStringLiteral("Stopping monitor")), QStringLiteral(" 800000050.5"))),
        record(dated(agentEvent(0.0, QStringLiteral("Starting monitor")), QStringLiteral("62000000000.0"))),
    };
    Client client = makeClient();
    client.store->cacheEvents(events);
    const auto expectReports = [] {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Error unpacking event properties")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("skipped an event with an unreadable date")));
    };
    KLVRRWCLog fromText;
    expectReports();
    fromText.addExternalEntries(events);
    expectReports();
    client.store->syncWithLocalCache();

    QCOMPARE(client.log->count(), fromText.count());
    QVERIFY(fromText.count() >= 3);
    for (qsizetype i = 0; i < fromText.count(); ++i) {
        const KLVRRWCLogEntry *replayed = client.log->objectAtIndex(i);
        const KLVRRWCLogEntry *expected = fromText.objectAtIndex(i);
        QCOMPARE(replayed->date(), expected->date());
        QCOMPARE(replayed->event(), expected->event());
        for (const QString key : {QStringLiteral("Processes"), QStringLiteral("Name"), QStringLiteral("Current Capacity")})
            QCOMPARE(replayed->property(key), expected->property(key));
    }
    QCOMPARE(client.log->objectAtIndex(0)->property(QStringLiteral("Processes")).toStringList().size(), 300);
}

void tst_KLVRRWCStore::tooLargeAnswersAreSplitAndCachedOnlyWhenComplete_data()
{
    QTest::addColumn<int>("failingRequest");
    QTest::newRow("every half answers") << -1;
    QTest::newRow("a later half fails") << 6;
}

void tst_KLVRRWCStore::tooLargeAnswersAreSplitAndCachedOnlyWhenComplete()
{
    QFETCH(int, failingRequest);
    startFakeAgent();
    QList<KLVRRWAEvent> events;
    for (int i = 0; i < 20; ++i)
        events.append(agentEvent(800000000.0 + i * 7200.0, i % 2 ? QStringLiteral("System has powered on") : kSleep));
    m_events->setEvents(events);
    m_events->setMaxPerReply(3);
    m_events->setFailingRequest(failingRequest);
    Client client = makeClient();
    if (failingRequest < 0)
        client.store->setLastSyncDate(KLVRAbsoluteTime(800000000.0 - 0.5));

    bool success = false;
    QVERIFY(pull(*client.store, &success));
    const QList<FakeEventService::Request> requests = m_events->requests();
    if (failingRequest >= 0) {
        QVERIFY(!success);
        QCOMPARE(requests.size(), failingRequest + 1);
        QVERIFY(cachedEvents(*client.store).isEmpty());
        QVERIFY(client.store->stringForSetting(QStringLiteral("lastSync")).isNull());
        QCOMPARE(client.log->count(), 0);
        return;
    }
    QVERIFY(success);
    QCOMPARE(cachedEvents(*client.store).size(), 20);
    QCOMPARE(client.log->count(), 20);
    // The answered ranges follow each other without gap or overlap from the first bound to now.
    double next = requests.constFirst().from;
    for (const FakeEventService::Request &request : requests) {
        if (!request.answered)
            continue;
        QCOMPARE(KLVRAbsoluteTime(request.from).toText(), KLVRAbsoluteTime(next).toText());
        next = request.to + 0.000001;
    }
    QCOMPARE(KLVRAbsoluteTime(next - 0.000001).toText(), client.store->lastSyncDate().toText());
}

void tst_KLVRRWCStore::aClientWhoseNameIsTakenIsCalledBackByItsUniqueName()
{
    startFakeAgent();
    Client first = makeClient();
    QDBusConnection secondBus = m_environment.connection(m_environment.systemBus(), QStringLiteral("second-client"));
    KLVRRWCLog secondLog;
    KLVRRWCStore second(secondBus, secondBus);
    second.setAgentController(first.controller.get());
    second.setLogController(&secondLog);
    QVERIFY(second.hasUpdateEndpoint());
    QVERIFY(second.updateTimer() && second.updateTimer()->isActive());
    QCOMPARE(second.updateIdentifierForBus(secondBus), secondBus.baseService());

    QVERIFY(pull(*first.store));
    QVERIFY(pull(second));
    QCOMPARE(m_events->registrations(), (QStringList{QStringLiteral("com.klvr.restwatch._store"), secondBus.baseService()}));

    // The agent's notice to that name reaches the second client.
    QSignalSpy pulled(&second, &KLVRRWCStore::pullFinished);
    QDBusMessage notice = QDBusMessage::createMethodCall(secondBus.baseService(), KLVRRWCStore::kUpdatePath,
                                                         QStringLiteral("com.klvr.restwatch.KLVRRWAUpdateProtocol"),
                                                         QStringLiteral("eventsDidChange"));
    notice.setAutoStartService(false);
    QVERIFY(m_environment.connection(m_environment.systemBus(), QStringLiteral("agent")).send(notice));
    QVERIFY(pulled.wait());
}

void tst_KLVRRWCStore::recordedEventsReachTheLogWithinOneNoticeAndThePrintout()
{
    KLVRTestBus &system = m_environment.systemBus();
    QVERIFY(system.startMock(QStringLiteral("logind")));
    QVERIFY(m_environment.waitForName(system, QStringLiteral("org.freedesktop.login1")));
    QVERIFY(m_environment.startAgent());
    Client client = makeClient();
    QCOMPARE(client.controller->state(), int(KLVRAgentController::SessionApplication));
    QVERIFY(pull(*client.store));
    QTRY_VERIFY(!client.store->isPulling());
    const qsizetype before = client.log->count();
    QVERIFY(before >= 1); // the agent's own start

    // The agent sends its notices at most once a second and drops those in between.
    QTest::qWait(1100);
    const QString logindPath = QStringLiteral("/org/freedesktop/login1");
    for (bool sleeping : {true, false})
        QCOMPARE(m_environment.call(system, QStringLiteral("org.freedesktop.login1"), logindPath, QStringLiteral("org.freedesktop.DBus.Mock"),
                             QStringLiteral("EmitSignal"),
                             {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                              QStringLiteral("b"), QVariantList{sleeping}})
                     .type(),
                 QDBusMessage::ReplyMessage);
    // Another client's read writes the agent's batch, and the batch write sends this client its
    // notice; reads a second apart, so that no notice falls into the agent's quiet second.
    const auto hasBoth = [&] {
        QStringList events;
        for (const auto &entry : client.log->entries())
            events.append(entry->event());
        return events.contains(kSleep) && events.contains(QStringLiteral("System has powered on"));
    };
    for (int attempt = 0; attempt < 10 && !hasBoth(); ++attempt) {
        QVERIFY(readFromAnotherClient());
        QTest::qWait(1100);
    }
    QStringList events;
    for (const auto &entry : client.log->entries())
        events.append(entry->event());
    QVERIFY2(events.contains(kSleep), qPrintable(events.join(QLatin1Char(','))));
    QVERIFY2(events.contains(QStringLiteral("System has powered on")), qPrintable(events.join(QLatin1Char(','))));

    // The headless printout shows the same log, a tab-separated line for each entry.
    std::unique_ptr<QProcess> printer(runClient({QStringLiteral("--print-log")}));
    QCOMPARE(printer->exitCode(), 0);
    const QStringList lines = QString::fromUtf8(printer->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= client.log->count(), qPrintable(lines.join(QLatin1Char('\n'))));
    for (const QString &line : lines)
        QCOMPARE(line.count(QLatin1Char('\t')), 2);
    QCOMPARE(lines.at(0), client.log->objectAtIndex(0)->stringValue());
}

void tst_KLVRRWCStore::printLogSaysSoWhenThereIsNothingToPrint()
{
    std::unique_ptr<QProcess> printer(runClient({QStringLiteral("--print-log")}));
    QCOMPARE(printer->exitStatus(), QProcess::NormalExit);
    QCOMPARE(printer->exitCode(), 1);
    QVERIFY(printer->readAllStandardOutput().isEmpty());
    const QString message = QString::fromUtf8(printer->readAllStandardError());
    QVERIFY2(message.contains(QLatin1String("no events")), qPrintable(message));
}

void tst_KLVRRWCStore::aFullStoreOfRealisticEventsSyncsOnASystemBus()
{
    // The agent's store filled to its limit: a sleep and a wake with the running processes, then
    // a battery reading, every ten minutes.
    const QString storePath = m_environment.dataHome() + QStringLiteral("/restwatch/store.db");
    QVERIFY(QDir().mkpath(QFileInfo(storePath).path()));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(storePath).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db,
                          "CREATE TABLE events ( 'id' INTEGER PRIMARY KEY, 'date' REAL NOT NULL, 'monitor' TEXT NOT NULL, "
                          "'description' TEXT NOT NULL, 'properties' TEXT );"
                          "CREATE TABLE settings ( 'key' TEXT PRIMARY KEY, 'value' TEXT NOT NULL );"
                          "INSERT INTO settings VALUES ('version', '244'); BEGIN;",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    QStringList processes;
    for (int i = 0; i < 260; ++i)
        processes.append(i % 3 ? QStringLiteral("kworker/u16:%1-events").arg(i) : QStringLiteral("gnome-shell-helper-%1").arg(i));
    const QByteArray withProcesses = KLVRPropertyList::write(
        QVariantMap{{QStringLiteral("Idle Seconds"), 312.5}, {QStringLiteral("Processes"), processes}});
    const QByteArray battery = KLVRPropertyList::write(QVariantMap{
        {QStringLiteral("Name"), QStringLiteral("BAT0")}, {QStringLiteral("Current Capacity"), 57},
        {QStringLiteral("Max Capacity"), 100}, {QStringLiteral("Power Source State"), QStringLiteral("Battery Power")},
        {QStringLiteral("Is Charging"), false}, {QStringLiteral("Time to Empty"), 143}});
    sqlite3_stmt *insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO events (date, monitor, description, properties) VALUES (?, ?, ?, ?)", -1,
                                &insert, nullptr),
             SQLITE_OK);
    const int count = 10001;
    const double start = KLVRAbsoluteTime::now().seconds() - count * 200.0;
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        const int kind = i % 3;
        const QByteArray description = kind == 0 ? "Can system sleep" : kind == 1 ? "System has powered on" : "Power state changed";
        const QByteArray monitor = kind == 2 ? "com.klvr.monitor.watcher.powersource" : "com.klvr.monitor.watcher.powerevents";
        const QByteArray &properties = kind == 2 ? battery : withProcesses;
        const QByteArray date = KLVRAbsoluteTime(start + i * 200.0).toText().toUtf8();
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, monitor.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, description.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, properties.constData(), int(properties.size()), SQLITE_TRANSIENT);
        QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
        bytes += properties.size();
    }
    sqlite3_finalize(insert);
    QCOMPARE(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    QVERIFY2(bytes > 32 * 1024 * 1024, "the store must not fit into one message");

    QVERIFY(m_environment.startAgent());
    Client client = makeClient();
    bool success = false;
    QVERIFY(pull(*client.store, &success, 240000));
    QVERIFY(success);
    const qsizetype cached = cachedEvents(*client.store).size();
    QVERIFY2(cached >= count, qPrintable(QString::number(cached)));
    QVERIFY(client.store->stringForSetting(QStringLiteral("lastSync")).size() > 0);
    QVERIFY(client.log->count() > 0);
    QCOMPARE(client.log->finalDate().toText().left(6), KLVRAbsoluteTime::now().toText().left(6));
}

QTEST_GUILESS_MAIN(tst_KLVRRWCStore)
#include "tst_KLVRRWCStore.moc"

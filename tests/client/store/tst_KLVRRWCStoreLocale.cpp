// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// The agent, the store and the printout under a comma-decimal locale (LC_ALL=de_DE.UTF-8, set by
// CMake for this test and inherited by the programs it starts), and the files an earlier build
// left behind there, with dates such as "818360441,509829".
#include "KLVRAgentController.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRCacheTestSupport.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"

#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <cstdio>

using namespace KLVRCacheTestSupport;

namespace {

const QString kLastStart = QStringLiteral("KLVRRWAMonitorLast.last-start");

// "%lf" as the C library writes it under the locale: what earlier builds stored.
QString commaText(double seconds)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lf", seconds);
    return QString::fromLatin1(buffer);
}

} // namespace

class tst_KLVRRWCStoreLocale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void agentRecordsAndAnswersMicrosecondsAndTheClientCachesAndPrintsThem();
    void aStoreAnEarlierBuildWroteIsReadWithoutANewStartup();
    void aCacheAnEarlierBuildWroteIsReadRepairedAndNotPulledAgain();

private:
    struct Client
    {
        std::unique_ptr<KLVRAgentController> controller;
        std::unique_ptr<KLVRRWCLog> log;
        std::unique_ptr<KLVRRWCStore> store;
    };
    Client makeClient();
    bool pull(KLVRRWCStore &store);
    QString cachePath() const { return m_environment.home() + QStringLiteral("/Documents/Rest Watch.rest-watch-events"); }
    QString storePath() const { return m_environment.dataHome() + QStringLiteral("/restwatch/store.db"); }

    KLVRAgentTestEnvironment m_environment;
};

void tst_KLVRRWCStoreLocale::initTestCase()
{
    if (commaText(2.5) != QLatin1String("2,500000"))
        QSKIP("no comma-decimal locale (de_DE.UTF-8) is installed here");
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_environment.start(false, KLVRTestBus::Limits::System));
}

void tst_KLVRRWCStoreLocale::init()
{
    QVERIFY(m_environment.resetTree());
}

void tst_KLVRRWCStoreLocale::cleanup()
{
    m_environment.stopAgents();
}

tst_KLVRRWCStoreLocale::Client tst_KLVRRWCStoreLocale::makeClient()
{
    Client client;
    client.controller = std::make_unique<KLVRAgentController>(m_environment.systemConnection(), m_environment.sessionConnection());
    client.log = std::make_unique<KLVRRWCLog>();
    client.store = std::make_unique<KLVRRWCStore>(m_environment.systemConnection(), m_environment.sessionConnection());
    client.store->setAgentController(client.controller.get());
    client.store->setLogController(client.log.get());
    client.store->awakeFromNib();
    return client;
}

bool tst_KLVRRWCStoreLocale::pull(KLVRRWCStore &store)
{
    QSignalSpy finished(&store, &KLVRRWCStore::pullFinished);
    return store.sync() && finished.wait(30000) && finished.constFirst().constFirst().toBool();
}

void tst_KLVRRWCStoreLocale::agentRecordsAndAnswersMicrosecondsAndTheClientCachesAndPrintsThem()
{
    KLVRTestBus &system = m_environment.systemBus();
    QVERIFY(system.startMock(QStringLiteral("logind")));
    QVERIFY(m_environment.waitForName(system, QStringLiteral("org.freedesktop.login1")));
    QVERIFY(m_environment.startAgent());
    for (bool sleeping : {true, false})
        QCOMPARE(m_environment.call(system, QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                    QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"),
                                    {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                                     QStringLiteral("b"), QVariantList{sleeping}})
                     .type(),
                 QDBusMessage::ReplyMessage);

    Client client = makeClient();
    QTRY_VERIFY_WITH_TIMEOUT(pull(*client.store) && client.log->count() >= 3, 20000);

    // Stored as numbers by the agent, answered and cached as numbers with their microseconds.
    QCOMPARE(query(storePath(), "SELECT DISTINCT typeof(date) FROM events"), QStringList{QStringLiteral("real")});
    QCOMPARE(query(cachePath(), "SELECT DISTINCT typeof(date) FROM cache"), QStringList{QStringLiteral("real")});
    const QStringList stored = query(storePath(), "SELECT date FROM events ORDER BY date");
    const QStringList cached = cachedEvents(cachePath());
    QCOMPARE(cached.size(), stored.size());
    int fractional = 0;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QString date = cached.at(i).section(QLatin1Char('|'), 0, 0);
        QVERIFY2(!date.contains(QLatin1Char(',')), qPrintable(date));
        QCOMPARE(date, stored.at(i));
        const double seconds = KLVRAbsoluteTime::fromText(date).seconds();
        fractional += std::fabs(seconds - std::round(seconds)) > 1e-7;
    }
    QVERIFY2(fractional > 0, "event times lost their fractions of a second");
    const QStringList descriptions = [&] {
        QStringList list;
        for (const auto &entry : client.log->entries())
            list.append(entry->event());
        return list;
    }();
    QVERIFY2(descriptions.contains(QStringLiteral("System will sleep")), qPrintable(descriptions.join(QLatin1Char(','))));

    // The sync date is "%lf" with a point, and the next pull starts right after it.
    const QString lastSync = client.store->stringForSetting(QStringLiteral("lastSync"));
    QVERIFY2(lastSync.contains(QLatin1Char('.')) && !lastSync.contains(QLatin1Char(',')), qPrintable(lastSync));

    // The printout, in the same locale, prints every entry.
    QProcess printer;
    printer.setProcessEnvironment(m_environment.agentEnvironment());
    printer.start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), {QStringLiteral("--print-log")});
    QVERIFY(printer.waitForFinished(60000));
    QCOMPARE(printer.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(printer.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), client.log->count());
    QVERIFY2(lines.join(QLatin1Char('\n')).contains(QStringLiteral("System sleeping after")), qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(cachedEvents(cachePath()).size(), stored.size()); // the printout cached nothing twice
}

void tst_KLVRRWCStoreLocale::aStoreAnEarlierBuildWroteIsReadWithoutANewStartup()
{
    // An earlier build under this locale: dates and the last start written with a comma.
    const double now = KLVRAbsoluteTime::now().seconds();
    QList<StoredEvent> events;
    for (int i = 0; i < 3; ++i)
        events.append({commaText(now - 3600.0 + i * 60.0 + 0.509829), QStringLiteral("Can system sleep")});
    QVERIFY(events.constFirst().date.contains(QLatin1Char(',')));
    QVERIFY(writeAgentStore(storePath(), events, {{kLastStart, commaText(now - 5.0)}}));
    QCOMPARE(query(storePath(), "SELECT DISTINCT typeof(date) FROM events"), QStringList{QStringLiteral("text")});

    QVERIFY(m_environment.startAgent());
    Client client = makeClient();
    QVERIFY(pull(*client.store));
    QTRY_VERIFY(!client.store->isPulling());

    // Repaired in the agent's store, answered with their microseconds.
    QCOMPARE(query(storePath(), "SELECT DISTINCT typeof(date) FROM events"), QStringList{QStringLiteral("real")});
    QStringList sleeps;
    bool startup = false;
    for (const QString &row : cachedEvents(cachePath())) {
        if (row.endsWith(QLatin1String("|startup")))
            startup = true;
        if (row.endsWith(QLatin1String("|Can system sleep")))
            sleeps.append(row.section(QLatin1Char('|'), 0, 0));
    }
    QCOMPARE(sleeps.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(std::llround(KLVRAbsoluteTime::fromText(sleeps.at(i)).seconds() * 1e6),
                 std::llround((now - 3600.0 + i * 60.0 + 0.509829) * 1e6));
    // The last start was read: this boot is not recorded a second time.
    QVERIFY(!startup);
    QVERIFY(!query(storePath(), "SELECT value FROM settings WHERE key = 'KLVRRWAMonitorLast.last-start'").constFirst().contains(QLatin1Char(',')));
}

void tst_KLVRRWCStoreLocale::aCacheAnEarlierBuildWroteIsReadRepairedAndNotPulledAgain()
{
    // The cache as an earlier build left it: rows and sync date with commas.
    const double start = 818360441.509829;
    {
        Client writer = makeClient();
        QList<QVariantMap> records;
        for (int i = 0; i < 4; ++i)
            records.append({{QStringLiteral("date"), commaText(start + i * 100.0)},
                            {QStringLiteral("description"), i % 2 ? QStringLiteral("System has powered on") : QStringLiteral("System will sleep")},
                            {QStringLiteral("monitor"), QStringLiteral("com.klvr.monitor.watcher.powerevents")},
                            {QStringLiteral("properties"), QStringLiteral("NULL")}});
        QVERIFY(writer.store->cacheEvents(records));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(cachePath()).constData(), &db), SQLITE_OK);
        // What the earlier build bound: the comma text itself, which the REAL column keeps as text.
        QVERIFY(exec(db, "UPDATE cache SET date = REPLACE(CAST(date AS TEXT), '.', ',')"));
        const QByteArray sync = ("INSERT OR REPLACE INTO settings VALUES ('lastSync', '" + commaText(start + 300.0) + "')").toUtf8();
        QVERIFY(exec(db, sync.constData()));
        sqlite3_close(db);
    }
    QCOMPARE(query(cachePath(), "SELECT DISTINCT typeof(date) FROM cache"), QStringList{QStringLiteral("text")});

    Client client = makeClient();
    client.store->syncWithLocalCache();
    QCOMPARE(client.log->count(), 4);
    QCOMPARE(std::llround(client.log->objectAtIndex(0)->date().seconds() * 1e6), std::llround(start * 1e6));
    QCOMPARE(query(cachePath(), "SELECT DISTINCT typeof(date) FROM cache"), QStringList{QStringLiteral("real")});
    const QList<QVariantMap> middle = client.store->sortedCachedEventsFromDate(KLVRAbsoluteTime(start + 50.0), KLVRAbsoluteTime(start + 250.0));
    QCOMPARE(middle.size(), 2);
    // The sync date is read as it was written: the next pull does not start from year 1.
    QCOMPARE(std::llround(client.store->lastSyncDate().seconds() * 1e6), std::llround((start + 300.0) * 1e6));
}

QTEST_GUILESS_MAIN(tst_KLVRRWCStoreLocale)
#include "tst_KLVRRWCStoreLocale.moc"

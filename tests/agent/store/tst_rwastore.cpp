// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <sqlite3.h>

namespace {

const QString kMonitor = QStringLiteral("com.klvr.monitor.watcher.powerevents");

// Reads the file behind the store's back, as a second process would.
qlonglong scalar(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt *statement = nullptr;
    qlonglong value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

std::optional<KLVRRWAEventTable> all(KLVRRWAStore &store)
{
    return store.sortedEntriesFromDate(KLVRAbsoluteTime::invalid(), KLVRAbsoluteTime::invalid());
}

} // namespace

class TestRWAStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;
    QString freshPath() { return m_dir.filePath(QStringLiteral("run%1/restwatch/store.db").arg(++m_files)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
    }

    void readWritesTheBatchFirst()
    {
        const QString path = freshPath();
        KLVRRWAStore store(path);
        QSignalSpy added(&store, &KLVRRWAStore::entriesAddedChanged);
        // An empty batch neither opens the file nor tells anybody.
        store.insertPending();
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(store.timer() == nullptr);

        store.addEntry(QStringLiteral("Can system sleep"), QVariantMap{{"Idle Seconds", 90}}, kMonitor,
                       KLVRAbsoluteTime(800000000.5));
        store.addEntry(QStringLiteral("System will sleep"), std::nullopt, kMonitor, KLVRAbsoluteTime(800000001.0));
        QVERIFY(store.timer() && store.timer()->isActive());
        QCOMPARE(store.timer()->interval(), 900 * 1000);
        QCOMPARE(added.count(), 0);

        const auto events = all(store);
        QVERIFY(events.has_value());
        QCOMPARE(events->size(), 2);
        QCOMPARE(added.count(), 1);
        QCOMPARE(added.first().first().toULongLong(), quint64(2));
        QCOMPARE(store.entriesAdded(), quint64(2));
        QVERIFY(store.pending().isEmpty());

        const KLVRRWAEvent first = events->event(0);
        QCOMPARE(first.keys(), (QStringList{"date", "description", "id", "monitor", "properties"}));
        QCOMPARE(first.value("id"), QStringLiteral("1"));
        QCOMPARE(first.value("date"), QStringLiteral("800000000.5"));
        QCOMPARE(first.value("monitor"), kMonitor);
        QCOMPARE(first.value("description"), QStringLiteral("Can system sleep"));
        QCOMPARE(KLVRPropertyList::read(first.value("properties").toUtf8()).toMap().value("Idle Seconds").toLongLong(), 90);
        QVERIFY(first.value("properties").startsWith(QStringLiteral("<?xml")));
        // No context is the text "NULL", not SQL NULL.
        QCOMPARE(events->event(1).value("properties"), QStringLiteral("NULL"));
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM events WHERE properties IS NULL"), 0);
    }

    void readsSelectByDate_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<QStringList>("descriptions");
        const double none = std::nan("");
        QTest::newRow("unbounded skips times before 2001") << none << none << QStringList{"b", "c", "d"};
        QTest::newRow("bounds are inclusive") << 10.0 << 20.0 << QStringList{"b", "c"};
        QTest::newRow("open end") << 15.0 << none << QStringList{"c", "d"};
        QTest::newRow("negative start") << -100.0 << 10.0 << QStringList{"a", "b"};
        QTest::newRow("nothing in range") << 21.0 << 29.0 << QStringList{};
    }

    void readsSelectByDate()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(QStringList, descriptions);
        KLVRRWAStore store(freshPath());
        // Queued out of order: reads come back sorted by date.
        store.addEntry("d", std::nullopt, kMonitor, KLVRAbsoluteTime(30.0));
        store.addEntry("b", std::nullopt, kMonitor, KLVRAbsoluteTime(10.0));
        store.addEntry("a", std::nullopt, kMonitor, KLVRAbsoluteTime(-5.0));
        store.addEntry("c", std::nullopt, kMonitor, KLVRAbsoluteTime(20.0));
        const auto events = store.sortedEntriesFromDate(KLVRAbsoluteTime(from), KLVRAbsoluteTime(to));
        if (descriptions.isEmpty()) {
            QVERIFY(!events.has_value());
            return;
        }
        QVERIFY(events.has_value());
        QStringList got;
        for (const KLVRRWAEvent &event : events->toList())
            got.append(event.value("description"));
        QCOMPARE(got, descriptions);
    }

    void datesKeepMicroseconds_data()
    {
        QTest::addColumn<double>("time");
        QTest::addColumn<QString>("queued");
        QTest::addColumn<QString>("returned");
        QTest::newRow("microseconds survive") << 790000000.123456 << "790000000.123456" << "790000000.123456";
        QTest::newRow("sub-microsecond rounds") << 790000000.1234567 << "790000000.123457" << "790000000.123457";
        QTest::newRow("smallest step") << 0.000001 << "0.000001" << "1.0e-06";
        QTest::newRow("sixteen digits lose the last") << 3000000000.654321 << "3000000000.654321" << "3000000000.65432";
    }

    void datesKeepMicroseconds()
    {
        QFETCH(double, time);
        QFETCH(QString, queued);
        QFETCH(QString, returned);
        const QString path = freshPath();
        KLVRRWAStore store(path);
        store.addEntry("x", std::nullopt, kMonitor, KLVRAbsoluteTime(time));
        QCOMPARE(store.pending().first().value("@date").toString(), queued);
        const auto events = all(store);
        QVERIFY(events.has_value());
        QCOMPARE(events->event(0).value("date"), returned);
        QCOMPARE(scalar(path, "SELECT typeof(date) = 'real' FROM events"), 1);
    }

    // The trim keeps the newest 10001 rows by count, even where ids have gaps.
    // A commit that makes the write-ahead log longer waits for the file system's journal; the
    // write before a sleep must go over space the log already has.
    void sleepBatchesNeverLengthenTheLog()
    {
        const QString path = freshPath();
        KLVRRWAStore store(path);
        QVERIFY(store.setSettingText(QStringLiteral("probe"), QStringLiteral("x")));
        const QString log = path + QStringLiteral("-wal");
        const qint64 reserved = QFileInfo(log).size();
        QVERIFY2(reserved >= KLVRRWAStore::kLogReserve, qPrintable(QString::number(reserved)));

        QStringList processes;
        for (int i = 0; i < 300; ++i)
            processes.append(QStringLiteral("worker-%1").arg(i));
        const QVariantMap context{{QStringLiteral("Processes"), processes}, {QStringLiteral("Idle Seconds"), 90}};
        // Far more than the reserve holds unless each batch's checkpoint lets the next start over.
        for (int round = 0; round < 200; ++round) {
            store.addEntry(QStringLiteral("Can system sleep"), context, kMonitor, KLVRAbsoluteTime::now());
            store.addEntry(QStringLiteral("System will sleep"), context, kMonitor, KLVRAbsoluteTime::now());
            QVERIFY(store.writePending());
            QCOMPARE(QFileInfo(log).size(), reserved);
            store.checkpoint();
        }
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM events"), 400);
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM settings WHERE key LIKE '%reserve%'"), 0);
    }

    void keepsTheNewest10001Rows()
    {
        const QString path = freshPath();
        KLVRRWAStore store(path);
        for (int i = 1; i <= 10002; ++i)
            store.addEntry(QStringLiteral("event %1").arg(i), std::nullopt, kMonitor, KLVRAbsoluteTime(double(i)));
        store.flush();
        QCOMPARE(store.entriesAdded(), quint64(10002));
        auto events = all(store);
        QVERIFY(events.has_value());
        QCOMPARE(events->size(), 10001);
        QCOMPARE(events->event(0).value("id"), QStringLiteral("2"));
        QCOMPARE(events->event(events->size() - 1).value("id"), QStringLiteral("10002"));

        store.addEntry(QStringLiteral("one more"), std::nullopt, kMonitor, KLVRAbsoluteTime(20000.0));
        events = all(store);
        QCOMPARE(events->size(), 10001);
        QCOMPARE(events->event(0).value("id"), QStringLiteral("3"));
        QCOMPARE(scalar(path, "SELECT MAX(id) FROM events"), 10003);

        QCOMPARE(sqlite3_exec(store.database(), "DELETE FROM events WHERE id BETWEEN 5000 AND 5099;", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        for (int i = 1; i <= 101; ++i)
            store.addEntry(QStringLiteral("later %1").arg(i), std::nullopt, kMonitor, KLVRAbsoluteTime(20000.0 + i));
        store.flush();
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM events"), 10001);
        QCOMPARE(scalar(path, "SELECT MIN(id) FROM events"), 4);
        QCOMPARE(scalar(path, "SELECT MAX(id) FROM events"), 10104);
    }

    // A store written by an earlier build (rollback journal, the trigger that counted the whole
    // table) keeps its rows and version and is moved to the current schema when it is opened.
    void earlierStoreGetsTheCurrentSchema()
    {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        sqlite3 *earlier = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &earlier);
        QCOMPARE(sqlite3_exec(earlier,
                              "CREATE TABLE 'events' ( 'id' INTEGER PRIMARY KEY, 'date' REAL NOT NULL, 'monitor' TEXT NOT NULL,"
                              " 'description' TEXT NOT NULL, 'properties' TEXT );"
                              "CREATE TABLE 'settings' ( 'key' TEXT PRIMARY KEY, 'value' TEXT NOT NULL );"
                              "CREATE TRIGGER constrain_events INSERT ON events WHEN ((SELECT COUNT(*) FROM events) > 10000)"
                              " BEGIN DELETE FROM events WHERE events.id NOT IN"
                              " (SELECT events.id FROM events ORDER BY events.id DESC LIMIT 10000); END;"
                              "INSERT INTO settings VALUES ('version', '200');"
                              "INSERT INTO events (date, monitor, description, properties)"
                              " VALUES (5.5, 'com.klvr.restwatch', 'Starting monitor', 'NULL');",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(earlier);

        KLVRRWAStore store(path);
        QCOMPARE(store.databaseVersion(), QStringLiteral("200"));
        store.addEntry(QStringLiteral("Stopping monitor"), std::nullopt, QStringLiteral("com.klvr.restwatch"),
                       KLVRAbsoluteTime(6.0));
        const auto events = all(store);
        QVERIFY(events.has_value());
        QCOMPARE(events->size(), 2);
        QCOMPARE(events->event(0).value("description"), QStringLiteral("Starting monitor"));

        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger'"), 1);
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM sqlite_master WHERE sql LIKE '%NOT IN%'"), 0);
        // Commits go to a write-ahead log that is synced on every commit: events written before
        // the machine sleeps survive a power loss.
        QCOMPARE(scalar(path, "SELECT journal_mode = 'wal' FROM pragma_journal_mode"), 1);
        sqlite3_stmt *statement = nullptr;
        QCOMPARE(sqlite3_prepare_v2(store.database(), "PRAGMA synchronous;", -1, &statement, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(statement, 0), 2); // FULL
        sqlite3_finalize(statement);
    }

    void failedBatchWritesNothingAndStaysQueued()
    {
        const QString path = freshPath();
        KLVRRWAStore store(path);
        QSignalSpy added(&store, &KLVRRWAStore::entriesAddedChanged);
        QCOMPARE(sqlite3_exec(store.database(),
                              "CREATE TEMP TRIGGER poison BEFORE INSERT ON events WHEN NEW.description = 'poison' "
                              "BEGIN SELECT RAISE(ABORT, 'poisoned'); END;",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        store.addEntry("first", std::nullopt, kMonitor, KLVRAbsoluteTime(1.0));
        store.addEntry("poison", std::nullopt, kMonitor, KLVRAbsoluteTime(2.0));
        store.addEntry("third", std::nullopt, kMonitor, KLVRAbsoluteTime(3.0));

        store.insertPending();
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM events"), 0);
        QCOMPARE(store.pending().size(), 3);
        QCOMPARE(store.entriesAdded(), quint64(0));
        QCOMPARE(added.count(), 0);

        // Once the fault is gone the same batch is written exactly once.
        QCOMPARE(sqlite3_exec(store.database(), "DROP TRIGGER poison;", nullptr, nullptr, nullptr), SQLITE_OK);
        store.insertPending();
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM events"), 3);
        QCOMPARE(scalar(path, "SELECT COUNT(DISTINCT description) FROM events"), 3);
        QVERIFY(store.pending().isEmpty());
        QCOMPARE(store.entriesAdded(), quint64(3));
    }

    void lockedFileKeepsTheBatchQueued()
    {
        const QString path = freshPath();
        KLVRRWAStore store(path);
        store.database();
        sqlite3 *other = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);

        store.addEntry("held", std::nullopt, kMonitor, KLVRAbsoluteTime(1.0));
        store.insertPending(); // gives up after the bounded retries instead of waiting forever
        QCOMPARE(store.pending().size(), 1);
        QCOMPARE(store.entriesAdded(), quint64(0));

        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        const auto events = all(store);
        QVERIFY(events.has_value());
        QCOMPARE(events->size(), 1);
        QCOMPARE(store.entriesAdded(), quint64(1));
    }

    void queuesFromAnyThread()
    {
        KLVRRWAStore store(freshPath());
        QThread *worker = QThread::create([&store] {
            for (int i = 0; i < 500; ++i)
                store.addEntry("background", QVariantMap{{"n", i}}, kMonitor, KLVRAbsoluteTime(1000.0 + i));
        });
        worker->start();
        for (int i = 0; i < 500; ++i) {
            store.addEntry("main", std::nullopt, kMonitor, KLVRAbsoluteTime(2000.0 + i));
            if (i % 100 == 0)
                store.insertPending();
        }
        QVERIFY(worker->wait(10000));
        delete worker;
        const auto events = all(store);
        QCOMPARE(events->size(), 1000);
        QCOMPARE(store.entriesAdded(), quint64(1000));
        QVERIFY(store.timer());
        QCOMPARE(store.timer()->thread(), store.thread());
    }

    void destructionWritesTheBatch()
    {
        const QString path = freshPath();
        {
            KLVRRWAStore store(path);
            store.addEntry("Stopping monitor", std::nullopt, QStringLiteral("com.klvr.monitor.agent"),
                           KLVRAbsoluteTime(5.0));
        }
        QCOMPARE(scalar(path, "SELECT COUNT(*) FROM events"), 1);
        KLVRRWAStore reopened(path);
        QCOMPARE(reopened.databaseVersion(), QStringLiteral("244"));
    }

    void storeLocation_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<bool>("system");
        QTest::newRow("system helper folder") << "/usr/local/libexec/restwatch/com.klvr.restwatch.agent" << true;
        QTest::newRow("look-alike folder") << "/usr/local/libexec/restwatch-old/com.klvr.restwatch.agent" << false;
        QTest::newRow("dot-dot escape") << "/usr/local/libexec/restwatch/../x/com.klvr.restwatch.agent" << false;
    }

    void storeLocation()
    {
        QFETCH(QString, executable);
        QFETCH(bool, system);
        const QString root = m_dir.filePath(QStringLiteral("sysroot"));
        qputenv("RESTWATCH_SYSROOT", QFile::encodeName(root));
        QCOMPARE(KLVRRWAStore::bundleWithinLocalLibrary(root + executable), system);
        QVERIFY(!KLVRRWAStore::bundleWithinLocalLibrary(executable)); // outside the system root
        qunsetenv("RESTWATCH_SYSROOT");

        // The test itself runs from the build tree, so its store is the user's.
        const QString data = m_dir.filePath(QStringLiteral("xdg-data"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        KLVRRWAStore store;
        QCOMPARE(store.databaseURL().toLocalFile(), data + QStringLiteral("/restwatch/store.db"));
        QVERIFY(QFileInfo(data + QStringLiteral("/restwatch")).isDir());
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_GUILESS_MAIN(TestRWAStore)
#include "tst_rwastore.moc"

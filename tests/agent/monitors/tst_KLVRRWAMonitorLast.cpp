// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The boot accounting monitor against crafted wtmp files and wtmpdb databases under
// RESTWATCH_SYSROOT.
#include "KLVRBundle.h"
#include "KLVRRWABootTime.h"
#include "KLVRRWAMonitorLast.h"
#include "KLVRRWAMonitorTestSupport.h"
#include "KLVRRWAStore.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <sqlite3.h>
#include <utmp.h>

using namespace KLVRRWAMonitorTestSupport;

namespace {

const QString kSignature = QStringLiteral("com.klvr.monitor.watcher.last");

QByteArray utmpRecord(short type, const char *user, qint64 unixSeconds, qint32 microseconds = 0)
{
    utmp entry;
    memset(&entry, 0, sizeof entry);
    entry.ut_type = type;
    strncpy(entry.ut_user, user, sizeof entry.ut_user);
    entry.ut_tv.tv_sec = static_cast<int32_t>(unixSeconds);
    entry.ut_tv.tv_usec = microseconds;
    return QByteArray(reinterpret_cast<const char *>(&entry), sizeof entry);
}

// A wtmpdb database as wtmpdb writes it, with a user's session among the boots.
bool writeWtmpDb(const QString &path, const QList<QPair<qint64, qint64>> &boots) // (login, logout or 0) in µs
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    QByteArray sql = "CREATE TABLE wtmp(ID INTEGER PRIMARY KEY, Type INTEGER, User TEXT NOT NULL, Login INTEGER, "
                     "Logout INTEGER, TTY TEXT, RemoteHost TEXT, Service TEXT) STRICT;"
                     "INSERT INTO wtmp (Type,User,Login,Logout,TTY) VALUES (3,'alice',1700000100000000,1700000200000000,'pts/0');";
    for (const auto &[login, logout] : boots)
        sql += QStringLiteral("INSERT INTO wtmp (Type,User,Login,Logout,TTY) VALUES (1,'reboot',%1,%2,'~');")
                   .arg(login)
                   .arg(logout ? QString::number(logout) : QStringLiteral("NULL"))
                   .toUtf8();
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

struct Recorded
{
    QString description;
    double date;
    double eventTime;
};

QStringList descriptionsOf(const QList<Recorded> &events)
{
    QStringList texts;
    for (const Recorded &event : events)
        texts.append(event.description);
    return texts;
}

} // namespace

class tst_KLVRRWAMonitorLast : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    std::unique_ptr<KLVRRWAStore> m_store;

    QString wtmpPath() const { return m_root.filePath(QStringLiteral("var/log/wtmp")); }
    QString wtmpDbPath() const { return m_root.filePath(QStringLiteral("var/lib/wtmpdb/wtmp.db")); }

    QList<Recorded> runMonitor()
    {
        KLVRRWAMonitorLast monitor(m_store.get());
        monitor.start();
        monitor.stop(); // waits for the scan
        QList<Recorded> result;
        for (const KLVRRWAEvent &event : storedEvents(*m_store, kSignature))
            result.append({event.value(QStringLiteral("description")), event.value(QStringLiteral("date")).toDouble(),
                           properties(event).value(QStringLiteral("event_time")).toDouble()});
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
        QVERIFY(m_root.isValid());
        qputenv("RESTWATCH_SYSROOT", m_root.path().toUtf8());
    }

    void init()
    {
        static int run = 0;
        QFile::remove(wtmpPath());
        QFile::remove(wtmpDbPath());
        m_store = std::make_unique<KLVRRWAStore>(m_root.filePath(QStringLiteral("store-%1.db").arg(++run)));
    }

    void cleanup() { m_store.reset(); }

    void freshStoreRecordsTheBootAndAllAccounting()
    {
        QByteArray wtmp;
        wtmp += utmpRecord(BOOT_TIME, "reboot", 1700000000, 120000);
        wtmp += utmpRecord(USER_PROCESS, "alice", 1700000100);
        wtmp += utmpRecord(RUN_LVL, "runlevel", 1700000101);
        wtmp += utmpRecord(RUN_LVL, "shutdown", 1700086400);
        wtmp += utmpRecord(BOOT_TIME, "reboot", 1700090000);
        wtmp += utmpRecord(BOOT_TIME, "reboot", 1700095000).left(100); // cut off mid-record
        QVERIFY(writeFile(wtmpPath(), wtmp));

        const double bootTime = KLVRRWABootTime::bootTime().seconds();
        const double before = KLVRAbsoluteTime::now().seconds();
        const QList<Recorded> events = runMonitor();

        // The date and "event_time" carry the same moment (the date as SQLite's 15 digits).
        for (const Recorded &event : events)
            QVERIFY2(qAbs(event.date - event.eventTime) < 1e-5, qPrintable(event.description));
        // Read back in date order: the wtmp records, then this boot.
        QCOMPARE(descriptionsOf(events), QStringList({QStringLiteral("accounting boot"), QStringLiteral("accounting shut down"),
                                                      QStringLiteral("accounting boot"), QStringLiteral("startup")}));
        QCOMPARE(events.at(0).eventTime, 1700000000.0 - 978307200.0 + 0.12);
        QCOMPARE(events.at(1).eventTime, 1700086400.0 - 978307200.0);
        // The boot comes from CLOCK_BOOTTIME, read at the same moment.
        QVERIFY2(qAbs(events.at(3).eventTime - bootTime) < 0.5, qPrintable(QString::number(events.at(3).eventTime - bootTime)));

        // This start is kept, as "%lf" text, for the next one.
        KLVRRWAMonitorLast reader(m_store.get());
        QVERIFY(reader.lastStart() >= before && reader.lastStart() <= KLVRAbsoluteTime::now().seconds());
        QCOMPARE(m_store->stringForSetting(KLVRRWAMonitorLast::LastStartSetting),
                 KLVRAbsoluteTime(reader.lastStart()).toText());
    }

    void restartWithoutRebootRecordsOnlyNewerRecords_data()
    {
        QTest::addColumn<double>("offset"); // of the wtmp records from the previous start, in seconds
        QTest::addColumn<bool>("recorded");
        QTest::newRow("older than the previous start") << -3600.0 << false;
        QTest::newRow("a microsecond before it") << -0.000001 << false;
        QTest::newRow("exactly at the previous start") << 0.0 << false;
        QTest::newRow("a microsecond after it") << 0.000001 << true;
        QTest::newRow("while the agent was away") << 120.5 << true;
    }

    void restartWithoutRebootRecordsOnlyNewerRecords()
    {
        QFETCH(double, offset);
        QFETCH(bool, recorded);

        // The previous start, after this boot, at a whole microsecond as the setting stores it.
        const double previousStart = std::floor((KLVRRWABootTime::bootTime().seconds() + 1.0) * 1e6) / 1e6 + 0.123456;
        KLVRRWAMonitorLast(m_store.get()).setLastStart(previousStart);
        const qint64 recordUsec = std::llround((previousStart + offset + 978307200.0) * 1e6);
        QVERIFY(writeFile(wtmpPath(), utmpRecord(RUN_LVL, "shutdown", recordUsec / 1000000, recordUsec % 1000000)
                                          + utmpRecord(BOOT_TIME, "reboot", recordUsec / 1000000, recordUsec % 1000000)));

        // Never a second "startup" for the same boot.
        QCOMPARE(descriptionsOf(runMonitor()),
                 recorded ? QStringList({QStringLiteral("accounting shut down"), QStringLiteral("accounting boot")}) : QStringList());
    }

    // wtmpdb: a boot row per boot, its Logout set at shutdown (NULL while it runs), and user rows
    // that are not boots. On an upgraded system it holds the old wtmp's records as well.
    void wtmpDbAndAnImportedWtmpGiveEachRecordOnce()
    {
        QVERIFY(writeFile(wtmpPath(), utmpRecord(BOOT_TIME, "reboot", 1700000000, 5) + utmpRecord(RUN_LVL, "shutdown", 1700003600)));
        QVERIFY(writeWtmpDb(wtmpDbPath(), {{1700000000000005, 1700003600000000}, {1700100000000000, 1700103600250000},
                                           {1700200000000000, 0}}));

        const QList<Recorded> events = runMonitor();
        QStringList texts = descriptionsOf(events);
        texts.removeAll(QStringLiteral("startup"));
        QCOMPARE(texts, QStringList({QStringLiteral("accounting boot"), QStringLiteral("accounting shut down"),
                                     QStringLiteral("accounting boot"), QStringLiteral("accounting shut down"),
                                     QStringLiteral("accounting boot")}));
        QCOMPARE(events.at(3).eventTime, 1700103600.25 - 978307200.0);
    }

    void noAccountingFilesGiveOnlyTheBoot()
    {
        QCOMPARE(descriptionsOf(runMonitor()), QStringList{QStringLiteral("startup")});
        // The next start in the same boot records nothing at all.
        QCOMPARE(runMonitor().size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorLast)
#include "tst_KLVRRWAMonitorLast.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The real agent against what a damaged disk does to its files: a store that is not a database,
// cut short or made by something else, a store or folder that cannot be written, a full disk, a
// folder that cannot be made; an agent killed in its first second; accounting files from a wrong
// clock or that are not files at all.
#include "KLVRAgentProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmp.h>

namespace {

const QString Failed = QStringLiteral("org.freedesktop.DBus.Error.Failed");
const QString Logind = QStringLiteral("org.freedesktop.login1");

QByteArray digest(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray bootRecord(qint64 seconds)
{
    utmp record{};
    record.ut_type = BOOT_TIME;
    strncpy(record.ut_user, "reboot", sizeof record.ut_user);
    record.ut_tv.tv_sec = int32_t(seconds);
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

// The stored events with this description and monitor prefix.
int countOf(const QStringList &stored, const QString &description)
{
    return int(std::count_if(stored.cbegin(), stored.cend(), [&](const QString &row) {
        return row.endsWith(QLatin1Char('|') + description);
    }));
}

} // namespace

class tst_KLVRRWAgentStoreDamage : public QObject
{
    Q_OBJECT

private:
    void sleepAndWake()
    {
        for (bool sleeping : {true, false})
            m_bus->call(Logind, QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.DBus.Mock"),
                        QStringLiteral("EmitSignal"),
                        {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                         QStringLiteral("b"), QVariant::fromValue(QVariantList{sleeping})});
    }
    // Mounts a small file system of its own at path (root only); false when that is not possible.
    bool mountSmall(const QString &path, const QString &size)
    {
        QDir().mkpath(path);
        if (geteuid() != 0 || !run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                             QStringLiteral("size=") + size + QStringLiteral(",mode=0700"),
                                                             QStringLiteral("tmpfs"), path}))
            return false;
        m_mounts.prepend(path);
        return true;
    }

    std::unique_ptr<KLVRTestBus> m_bus;
    QStringList m_mounts;

private Q_SLOTS:
    void init()
    {
        m_bus = std::make_unique<KLVRTestBus>(KLVRTestBus::Limits::System);
        QVERIFY(m_bus->start());
        QVERIFY(m_bus->startMock(QStringLiteral("logind")));
    }
    void cleanup()
    {
        for (const QString &mount : std::as_const(m_mounts))
            run(QStringLiteral("umount"), {QStringLiteral("-l"), mount});
        m_mounts.clear();
        m_bus.reset();
    }

    void damagedStoreIsMovedAsideAndAFreshOneStarts_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("random bytes") << "random";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("wrong columns") << "columns";
    }
    void damagedStoreIsMovedAsideAndAFreshOneStarts()
    {
        QFETCH(QString, damage);
        KLVRAgentProcess agent(*m_bus);
        const QString store = agent.userStorePath();
        if (damage == QLatin1String("random")) {
            QByteArray bytes(64 * 1024, Qt::Uninitialized);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            QVERIFY(writeFile(store, bytes));
        } else if (damage == QLatin1String("truncated")) {
            QVERIFY(KLVRAgentProcess::writeStore(store, 3000, 30, 100, 700000000.0));
            QVERIFY(QFile::resize(store, QFileInfo(store).size() / 2));
        } else {
            QDir().mkpath(QFileInfo(store).path());
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(store.toUtf8().constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "CREATE TABLE events (id INTEGER PRIMARY KEY, at REAL, what TEXT);"
                                      "INSERT INTO events (at, what) VALUES (1.0, 'x');", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const QByteArray damaged = digest(store);

        QVERIFY(agent.start());
        QVERIFY2(agent.version() == QLatin1String("244"), qPrintable(agent.output()));
        const KLVRRWAEventList events = agent.events();
        const auto moved = std::find_if(events.cbegin(), events.cend(), [](const KLVRRWAEvent &event) {
            return event.value(QStringLiteral("description")) == QLatin1String("Store moved aside");
        });
        QVERIFY2(moved != events.cend(), qPrintable(agent.output()));
        QVERIFY(agent.output().contains(QStringLiteral("moved the damaged store")));

        QStringList aside = QDir(QFileInfo(store).path()).entryList({QStringLiteral("store.db.damaged-*")}, QDir::Files);
        aside.removeIf([](const QString &name) { return name.endsWith(QLatin1String("-wal")) || name.endsWith(QLatin1String("-shm")); });
        QCOMPARE(aside.size(), 1);
        QCOMPARE(digest(QFileInfo(store).path() + QLatin1Char('/') + aside.first()), damaged);
        QVERIFY(moved->value(QStringLiteral("properties")).contains(aside.first()));
        // The fresh store records as usual, and only the agent's user may read it.
        QCOMPARE(countOf(KLVRAgentProcess::storedEvents(store), QStringLiteral("Starting monitor")), 1);
        QCOMPARE(QFileInfo(store).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        QCOMPARE(agent.stop(), 0);
    }

    // What cannot be written is held and written once it can; the agent answers all the while.
    void unwritableStoreKeepsServing_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::newRow("read-only file") << "file";
        QTest::newRow("read-only folder") << "folder";
        QTest::newRow("full disk") << "full";
    }
    void unwritableStoreKeepsServing()
    {
        QFETCH(QString, trouble);
        KLVRAgentProcess agent(*m_bus);
        const QString store = agent.userStorePath();
        const QString folder = QFileInfo(store).path();
        const bool root = geteuid() == 0;
        if (trouble == QLatin1String("full") || root) {
            // Root writes through file modes: a file system of its own makes the trouble real.
            if (!mountSmall(folder, trouble == QLatin1String("full") ? QStringLiteral("300k") : QStringLiteral("8m")))
                QSKIP("cannot mount a small file system here (needs root and mount rights)");
        }
        if (trouble != QLatin1String("full"))
            QVERIFY(KLVRAgentProcess::writeStore(store, 100, 30, 10, 700000000.0));

        QString filler = folder + QStringLiteral("/filler");
        if (trouble == QLatin1String("file")) {
            if (root)
                QVERIFY(run(QStringLiteral("mount"), {QStringLiteral("--bind"), QStringLiteral("-o"), QStringLiteral("ro"), store, store}));
            else
                QVERIFY(QFile::setPermissions(store, QFile::ReadOwner));
            if (root)
                m_mounts.prepend(store);
        } else if (trouble == QLatin1String("folder")) {
            if (root)
                QVERIFY(run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), folder}));
            else
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        } else {
            QVERIFY(agent.start());
            QVERIFY(agent.eventCount() > 0);
            QCOMPARE(agent.stop(), 0);
            // Nothing left: every byte of the file system taken.
            QFile fill(filler);
            QVERIFY(fill.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (fill.write(block) == block.size() && fill.flush()) {
            }
        }

        QVERIFY(agent.start());
        QCOMPARE(agent.call(KLVRAgentProcess::HousekeepingService, KLVRAgentProcess::HousekeepingInterface,
                            QStringLiteral("version")).arguments().value(0).toString(), QStringLiteral("244"));
        // The event service answers: what the file holds, or a named failure, never silence.
        const QDBusMessage version = agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                                QStringLiteral("version"));
        QVERIFY2(version.arguments().value(0).toString() == QLatin1String("244") || version.errorName() == Failed,
                 qPrintable(version.errorName()));
        bool read = false;
        const int before = int(agent.events(&read).size());
        QVERIFY(read || agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                   QStringLiteral("sortedEventsFromDate"), {qQNaN(), qQNaN()}).errorName() == Failed);
        if (trouble == QLatin1String("file"))
            QVERIFY2(read && before >= 100, qPrintable(agent.output()));
        sleepAndWake();
        QTRY_VERIFY_WITH_TIMEOUT(agent.output().contains(QStringLiteral("cannot write the store")), 5000);
        QTRY_VERIFY2_WITH_TIMEOUT(agent.output().contains(QStringLiteral("recorded in")), qPrintable(agent.output()), 5000);
        QVERIFY(!agent.output().contains(QStringLiteral("recorded and written")));
        QCOMPARE(agent.process().state(), QProcess::Running);

        // Writable again: the held events reach the file at the next attempt.
        if (trouble == QLatin1String("file")) {
            if (root) {
                // Lazily: the agent still reads through the read-only view it opened.
                QVERIFY(run(QStringLiteral("umount"), {QStringLiteral("-l"), store}));
                m_mounts.removeOne(store);
            } else {
                QVERIFY(QFile::setPermissions(store, QFile::ReadOwner | QFile::WriteOwner));
            }
        } else if (trouble == QLatin1String("folder")) {
            if (root)
                QVERIFY(run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,rw"), folder}));
            else
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        } else {
            QVERIFY(QFile::remove(filler));
        }
        QTRY_VERIFY_WITH_TIMEOUT(countOf(KLVRAgentProcess::storedEvents(store), QStringLiteral("System will sleep")) == 1, 15000);
        QCOMPARE(countOf(KLVRAgentProcess::storedEvents(store), QStringLiteral("System has powered on")), 1);
        QVERIFY(agent.output().contains(QStringLiteral("can write the store again")));
        QCOMPARE(agent.stop(), 0);
    }

    void uncreatableFolderKeepsServing()
    {
        KLVRAgentProcess agent(*m_bus);
        // The data folder's place is taken by a file: no store folder can be made there, not even by root.
        QVERIFY(writeFile(agent.home() + QStringLiteral("/data"), "not a folder"));
        QVERIFY(agent.start());
        QCOMPARE(agent.call(KLVRAgentProcess::HousekeepingService, KLVRAgentProcess::HousekeepingInterface,
                            QStringLiteral("version")).arguments().value(0).toString(), QStringLiteral("244"));
        QCOMPARE(agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface, QStringLiteral("version")).errorName(),
                 Failed);
        QCOMPARE(agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                            QStringLiteral("sortedEventsFromDate"), {qQNaN(), qQNaN()}).errorName(), Failed);
        QVERIFY(agent.output().contains(QStringLiteral("cannot write the store")));
        const int status = agent.stop();
        QVERIFY2(status == 0, qPrintable(agent.output().left(6000)));
        QVERIFY(!agent.output().contains(QStringLiteral("Uncaught exception")));
    }

    void killedEarlyAgentKeepsItsBootRecords()
    {
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(writeFile(agent.sysroot() + QStringLiteral("/var/log/wtmp"), bootRecord(1700000000)));
        QVERIFY(agent.start());
        QTest::qWait(1000);
        QCOMPARE(agent.stop(SIGKILL), -1);
        const QStringList stored = KLVRAgentProcess::storedEvents(agent.userStorePath());
        QCOMPARE(countOf(stored, QStringLiteral("startup")), 1);
        QCOMPARE(countOf(stored, QStringLiteral("accounting boot")), 1);

        // The next start finds them stored and adds neither again.
        KLVRAgentProcess next(*m_bus, agent.home());
        QVERIFY(next.start());
        QVERIFY(next.eventCount() > 0);
        QCOMPARE(next.stop(), 0);
        const QStringList after = KLVRAgentProcess::storedEvents(agent.userStorePath());
        QCOMPARE(countOf(after, QStringLiteral("startup")), 1);
        QCOMPARE(countOf(after, QStringLiteral("accounting boot")), 1);
    }

    void futureAccountingRecordIsStoredOnce()
    {
        QTemporaryDir home;
        const qint64 soon = QDateTime::currentSecsSinceEpoch() + 3;
        KLVRAgentProcess first(*m_bus, home.path());
        QVERIFY(writeFile(first.sysroot() + QStringLiteral("/var/log/wtmp"), bootRecord(1700000000) + bootRecord(soon)));
        QVERIFY(first.start());
        QVERIFY(first.eventCount() > 0);
        QCOMPARE(first.stop(), 0);
        QCOMPARE(countOf(KLVRAgentProcess::storedEvents(first.userStorePath()), QStringLiteral("accounting boot")), 1);
        QVERIFY(first.output().contains(QStringLiteral("dated after now")));

        QTest::qWait(int(qMax<qint64>(0, soon + 1 - QDateTime::currentSecsSinceEpoch()) * 1000));
        for (int run = 0; run < 2; ++run) {
            KLVRAgentProcess again(*m_bus, home.path());
            QVERIFY(again.start());
            QVERIFY(again.eventCount() > 0);
            QCOMPARE(again.stop(), 0);
            QCOMPARE(countOf(KLVRAgentProcess::storedEvents(first.userStorePath()), QStringLiteral("accounting boot")), 2);
        }
    }

    void fifoAtAccountingPathsDoesNotHoldUpStop()
    {
        KLVRAgentProcess agent(*m_bus);
        for (const QString &path : {QStringLiteral("/var/log/wtmp"), QStringLiteral("/var/lib/wtmpdb/wtmp.db")}) {
            const QString fifo = agent.sysroot() + path;
            QDir().mkpath(QFileInfo(fifo).path());
            QCOMPARE(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        }
        QVERIFY(agent.start());
        QVERIFY(agent.eventCount() > 0);
        QCOMPARE(agent.stop(), 0);
        QVERIFY(agent.output().contains(QStringLiteral("not a regular file")));
        // Ended by its own stop, not by the last-resort deadline.
        QVERIFY(!agent.output().contains(QStringLiteral("Stopping took longer")));
        QCOMPARE(KLVRAgentProcess::storedEvents(agent.userStorePath()).last(), QStringLiteral("com.klvr.restwatch|Stopping monitor"));
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAgentStoreDamage)
#include "tst_KLVRRWAgentStoreDamage.moc"

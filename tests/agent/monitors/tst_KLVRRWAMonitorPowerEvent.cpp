// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The power event monitor against python-dbusmock's logind on a private bus, with a fake /proc
// and /sys under RESTWATCH_SYSROOT.
#include "KLVRBundle.h"
#include "KLVRRWAIdleTime.h"
#include "KLVRRWAMonitorPowerEvent.h"
#include "KLVRRWAMonitorTestSupport.h"
#include "KLVRRWAStore.h"
#include "KLVRTestBus.h"

#include <QDBusArgument>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

using namespace KLVRRWAMonitorTestSupport;

namespace {

const QString kSignature = QStringLiteral("com.klvr.monitor.watcher.powerevents");

// Power events on disk, read with a connection of our own (not through the store).
int powerEventsOnDisk(const QString &storePath)
{
    sqlite3 *db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(storePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM events WHERE monitor = 'com.klvr.monitor.watcher.powerevents'",
                               -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

} // namespace

class tst_KLVRRWAMonitorPowerEvent : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_storePath;
    std::unique_ptr<KLVRTestBus> m_bus;
    std::unique_ptr<KLVRRWAStore> m_store;
    std::unique_ptr<KLVRRWAMonitorPowerEvent> m_monitor;
    const QStringList m_processes{QStringLiteral("systemd"), QStringLiteral("kthreadd"), QStringLiteral("Kaffeemaschin\uFFFD"),
                                  QStringLiteral("Xorg")};

    bool startLogind(const QJsonObject &parameters = {}) { return startRecordingLogind(*m_bus, m_storePath, parameters); }
    void send(const QString &name, const QVariantList &arguments, const QString &signature = QStringLiteral("b"))
    {
        emitLogind(*m_bus, name, signature, arguments);
    }
    QList<int> releases() { return releaseLog(*m_bus); }
    // Starts the monitor and waits until logind lists its delay lock.
    void startMonitor()
    {
        m_monitor = std::make_unique<KLVRRWAMonitorPowerEvent>(m_store.get(), m_bus->address());
        m_monitor->start();
        QTRY_VERIFY(holdsRestWatchLock());
    }

    bool holdsRestWatchLock()
    {
        const QDBusMessage reply = m_bus->call(kLogind, kLogindPath, kLogindManager, QStringLiteral("ListInhibitors"));
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
        const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
        bool held = false;
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> uid >> pid;
            list.endStructure();
            held = held || who == QLatin1String("Rest Watch");
        }
        list.endArray();
        return held;
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
        QVERIFY(m_root.isValid());
        writeProcTree(m_root.path(), {{1, "systemd"}, {2, "kthreadd"}, {731, "Kaffeemaschin\xc3"}, {1204, "Xorg"}});
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/name")), "PNP0C0D:00\n"));
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/event_count")), "1\n"));
        qputenv("RESTWATCH_SYSROOT", m_root.path().toUtf8());
    }

    void init()
    {
        static int run = 0;
        m_storePath = m_root.filePath(QStringLiteral("store-%1.db").arg(++run));
        m_bus = std::make_unique<KLVRTestBus>();
        QVERIFY(m_bus->start());
        m_store = std::make_unique<KLVRRWAStore>(m_storePath);
    }

    void cleanup()
    {
        m_monitor.reset();
        m_store.reset();
        m_bus.reset();
    }

    void sleepIsRecordedAndWrittenBeforeTheLockGoes_data()
    {
        QTest::addColumn<bool>("idle");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("minimumIdle");
        QTest::newRow("sleep after the user went idle")
            << true << QStringList{QStringLiteral("Can system sleep"), QStringLiteral("System will sleep")} << 90;
        QTest::newRow("sleep of a busy user (lid closed)") << false << QStringList{QStringLiteral("System will sleep")} << 0;
    }

    void sleepIsRecordedAndWrittenBeforeTheLockGoes()
    {
        QFETCH(bool, idle);
        QFETCH(QStringList, expected);
        QFETCH(int, minimumIdle);

        const qint64 idleSince = (QDateTime::currentMSecsSinceEpoch() - 90'500) * 1000;
        QVERIFY(startLogind({{QStringLiteral("IdleHint"), idle}, {QStringLiteral("IdleSinceHint"), idleSince}}));
        startMonitor();
        QVERIFY(m_monitor->holdsDelayLock());

        // Another program's lock, which the events must name.
        const QDBusMessage playerLock = m_bus->call(kLogind, kLogindPath, kLogindManager, QStringLiteral("Inhibit"),
                                                    {QStringLiteral("sleep"), QStringLiteral("Test Player"),
                                                     QStringLiteral("Playing"), QStringLiteral("block")});
        QCOMPARE(playerLock.type(), QDBusMessage::ReplyMessage);

        int onDiskAtRelease = -1;
        connect(m_monitor.get(), &KLVRRWAMonitorPowerEvent::delayLockReleased, this,
                [&] { onDiskAtRelease = powerEventsOnDisk(m_storePath); });
        send(QStringLiteral("PrepareForSleep"), {true});
        QTRY_VERIFY(!m_monitor->holdsDelayLock());

        // Written before the lock was closed, as the monitor saw it and as logind saw it.
        QCOMPARE(onDiskAtRelease, expected.size());
        QTRY_COMPARE(releases(), QList<int>{int(expected.size())});
        QVERIFY(!holdsRestWatchLock());

        const QList<KLVRRWAEvent> events = storedEvents(*m_store, kSignature);
        QCOMPARE(descriptions(events), expected);
        for (const KLVRRWAEvent &event : events) {
            const QVariantMap context = properties(event);
            const int idleSeconds = context.value(QStringLiteral("Idle Seconds")).toInt();
            QVERIFY2(idleSeconds >= minimumIdle && idleSeconds <= minimumIdle + 2, qPrintable(QString::number(idleSeconds)));
            QCOMPARE(context.value(QStringLiteral("Processes")).toStringList(), m_processes);
            const QVariantList locks = context.value(QStringLiteral("Inhibitors")).toList();
            QCOMPARE(locks.size(), 1); // the player's; Rest Watch's own lock is left out
            QCOMPARE(locks.constFirst().toMap(), (QVariantMap{{QStringLiteral("Who"), QStringLiteral("Test Player")},
                                                              {QStringLiteral("Why"), QStringLiteral("Playing")},
                                                              {QStringLiteral("What"), QStringLiteral("sleep")},
                                                              {QStringLiteral("Mode"), QStringLiteral("block")}}));
        }
    }

    void wakeIsRecordedWithItsReasonAndANewLock()
    {
        QVERIFY(startLogind());
        startMonitor();
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/event_count")), "1\n"));
        send(QStringLiteral("PrepareForSleep"), {true});
        QTRY_VERIFY(!holdsRestWatchLock());

        // The lid woke the machine while it slept.
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/event_count")), "2\n"));
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/power/pm_wakeup_irq")), "9\n"));
        send(QStringLiteral("PrepareForSleep"), {false});
        QTRY_VERIFY(m_monitor->holdsDelayLock());
        QTRY_VERIFY(holdsRestWatchLock());
        QFile::remove(m_root.filePath(QStringLiteral("sys/power/pm_wakeup_irq")));

        const QList<KLVRRWAEvent> events = storedEvents(*m_store, kSignature);
        QCOMPARE(descriptions(events), QStringList({QStringLiteral("System will sleep"), QStringLiteral("System has powered on")}));
        const QVariantMap context = properties(events.last());
        QCOMPARE(context.value(QStringLiteral("Idle Seconds")).toInt(), 0);
        QCOMPARE(context.value(QStringLiteral("Processes")).toStringList(), m_processes);
        const QVariantMap reason = context.value(QStringLiteral("Wake Reason")).toMap();
        QCOMPARE(reason.value(QStringLiteral("IRQ")).toInt(), 9);
        QCOMPARE(reason.value(QStringLiteral("Sources")).toStringList(), QStringList{QStringLiteral("PNP0C0D:00")});
        QVERIFY(!context.contains(QStringLiteral("Inhibitors")));

        // A second sleep and wake works the same way with the new lock.
        send(QStringLiteral("PrepareForSleep"), {true});
        QTRY_VERIFY(!m_monitor->holdsDelayLock());
        QTRY_COMPARE(releases().size(), 2);
    }

    void shutdownTellsRestartFromPowerOffAndCancel_data()
    {
        QTest::addColumn<QString>("metadataType"); // empty: no PrepareForShutdownWithMetadata
        QTest::addColumn<QString>("queuedJob");    // a target systemd has a start job for, or empty
        QTest::addColumn<QString>("expected");
        const QString restart = QStringLiteral("System will restart"), powerOff = QStringLiteral("System will power off");
        QTest::newRow("reboot, told by metadata") << QStringLiteral("reboot") << QString() << restart;
        QTest::newRow("kexec, told by metadata") << QStringLiteral("kexec") << QString() << restart;
        QTest::newRow("power-off, told by metadata") << QStringLiteral("power-off") << QStringLiteral("reboot.target") << powerOff;
        QTest::newRow("reboot job queued in systemd") << QString() << QStringLiteral("reboot.target") << restart;
        QTest::newRow("power-off job queued in systemd") << QString() << QStringLiteral("poweroff.target") << powerOff;
        QTest::newRow("nothing known") << QString() << QString() << powerOff;
    }

    void shutdownTellsRestartFromPowerOffAndCancel()
    {
        QFETCH(QString, metadataType);
        QFETCH(QString, queuedJob);
        QFETCH(QString, expected);

        QVERIFY(startLogind());
        if (!queuedJob.isEmpty()) {
            QVERIFY(m_bus->startMock(QStringLiteral("systemd")));
            const QString code = QStringLiteral("ret = [(7, '%1', 'start', 'waiting', '/org/freedesktop/systemd1/job/7', "
                                                "'/org/freedesktop/systemd1/unit/x')]").arg(queuedJob);
            const QDBusMessage added = m_bus->call(QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
                                                   kMock, QStringLiteral("AddMethod"),
                                                   {QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("ListJobs"),
                                                    QString(), QStringLiteral("a(usssoo)"), code});
            QVERIFY2(added.type() == QDBusMessage::ReplyMessage, qPrintable(added.errorMessage()));
        }
        startMonitor();

        if (!metadataType.isEmpty())
            send(QStringLiteral("PrepareForShutdownWithMetadata"), {true, QVariantMap{{QStringLiteral("type"), metadataType}}},
                 QStringLiteral("ba{sv}"));
        send(QStringLiteral("PrepareForShutdown"), {true});
        QTRY_VERIFY(!m_monitor->holdsDelayLock());
        QTRY_COMPARE(releases(), QList<int>{1});
        QCOMPARE(descriptions(storedEvents(*m_store, kSignature)), QStringList{expected});

        // The shutdown is cancelled: recorded, and the next one is delayed again.
        send(QStringLiteral("PrepareForShutdown"), {false});
        QTRY_VERIFY(m_monitor->holdsDelayLock());
        QTRY_VERIFY(holdsRestWatchLock());
        const QList<KLVRRWAEvent> events = storedEvents(*m_store, kSignature);
        QCOMPARE(descriptions(events), QStringList({expected, QStringLiteral("System will not power off")}));
        QCOMPARE(properties(events.last()).value(QStringLiteral("Processes")).toStringList(), m_processes);
    }

    void noLogindIsLoggedAndTheMonitorWaitsForIt()
    {
        m_monitor = std::make_unique<KLVRRWAMonitorPowerEvent>(m_store.get(), m_bus->address());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("systemd-logind is not on the system bus")));
        m_monitor->start();
        QVERIFY(!m_monitor->holdsDelayLock());

        // logind comes up later (a container that starts it late, a restart of logind).
        QVERIFY(startLogind());
        QTRY_VERIFY(m_monitor->holdsDelayLock());
        send(QStringLiteral("PrepareForSleep"), {true});
        QTRY_COMPARE(descriptions(storedEvents(*m_store, kSignature)), QStringList{QStringLiteral("System will sleep")});

        m_monitor->stop();
        QTRY_VERIFY(!holdsRestWatchLock());
    }

    void unreadableIdleTimeIsZeroWithOneLogLine()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("KLVRRWAIdleTime cannot read the idle hint")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        const KLVRRWAIdleTime idle = KLVRRWAIdleTime::read(m_bus->connection(QStringLiteral("reader")));
        QCOMPARE(idle.idle, false);
        QCOMPARE(idle.seconds, 0);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorPowerEvent)
#include "tst_KLVRRWAMonitorPowerEvent.moc"

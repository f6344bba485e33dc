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
#include <QDBusUnixFileDescriptor>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

using namespace KLVRRWAMonitorTestSupport;

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
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

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sleepIsRecordedAndWrittenBeforeTheLockGoes_data();
    void sleepIsRecordedAndWrittenBeforeTheLockGoes();
    void wakeIsRecordedWithItsReasonAndANewLock();
    void shutdownTellsRestartFromPowerOffAndCancel_data();
    void shutdownTellsRestartFromPowerOffAndCancel();
    void noLogindIsLoggedAndTheMonitorWaitsForIt();
    void unreadableIdleTimeIsZeroWithOneLogLine();

private:
    bool startLogind(const QString &parameters = QStringLiteral("{}"));
    void emitLogind(const QString &name, const QString &signature, const QVariantList &arguments);
    QList<QVariantList> inhibitors();
    bool holdsRestWatchLock() { return lockHolders().contains(QStringLiteral("Rest Watch")); }
    QStringList lockHolders();
    QList<int> releaseLog();
    void createMonitor();

    QTemporaryDir m_root;
    QString m_storePath;
    std::unique_ptr<KLVRTestBus> m_bus;
    std::unique_ptr<KLVRRWAStore> m_store;
    std::unique_ptr<KLVRRWAMonitorPowerEvent> m_monitor;
    const QStringList m_processes{QStringLiteral("systemd"), QStringLiteral("kthreadd"), QStringLiteral("Kaffeemaschin\uFFFD"),
                                  QStringLiteral("Xorg")};
};

void tst_KLVRRWAMonitorPowerEvent::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
    QVERIFY(m_root.isValid());
    writeProcTree(m_root.path(), {{1, "systemd"}, {2, "kthreadd"}, {731, "Kaffeemaschin\xc3"}, {1204, "Xorg"}});
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/name")), "PNP0C0D:00\n"));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/event_count")), "1\n"));
    qputenv("RESTWATCH_SYSROOT", m_root.path().toUtf8());
}

void tst_KLVRRWAMonitorPowerEvent::init()
{
    static int run = 0;
    m_storePath = m_root.filePath(QStringLiteral("store-%1.db").arg(++run));
    m_bus = std::make_unique<KLVRTestBus>();
    QVERIFY(m_bus->start());
    m_store = std::make_unique<KLVRRWAStore>(m_storePath);
}

void tst_KLVRRWAMonitorPowerEvent::cleanup()
{
    m_monitor.reset();
    m_store.reset();
    m_bus.reset();
}

bool tst_KLVRRWAMonitorPowerEvent::startLogind(const QString &parameters)
{
    QJsonDocument json = QJsonDocument::fromJson(parameters.toUtf8());
    QJsonObject object = json.object();
    object.insert(QStringLiteral("StorePath"), m_storePath);
    const QString path = QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/agent/monitors/logind_recording.py");
    return m_bus->startMock(path, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)))
           && m_bus->waitForName(kLogind);
}

void tst_KLVRRWAMonitorPowerEvent::createMonitor()
{
    m_monitor = std::make_unique<KLVRRWAMonitorPowerEvent>(m_store.get(), m_bus->connection(QStringLiteral("monitor")));
}

void tst_KLVRRWAMonitorPowerEvent::emitLogind(const QString &name, const QString &signature, const QVariantList &arguments)
{
    const QDBusMessage reply = emitMockSignal(*m_bus, kLogind, kLogindPath, kManager, name, signature, arguments);
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
}

QList<QVariantList> tst_KLVRRWAMonitorPowerEvent::inhibitors()
{
    const QDBusMessage reply = m_bus->call(kLogind, kLogindPath, kManager, QStringLiteral("ListInhibitors"));
    QList<QVariantList> result;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return result;
    const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        result.append({what, who, why, mode});
    }
    list.endArray();
    return result;
}

QStringList tst_KLVRRWAMonitorPowerEvent::lockHolders()
{
    QStringList holders;
    for (const QVariantList &inhibitor : inhibitors())
        holders.append(inhibitor.at(1).toString());
    return holders;
}

QList<int> tst_KLVRRWAMonitorPowerEvent::releaseLog()
{
    const QDBusMessage reply = m_bus->call(kLogind, kLogindPath, QStringLiteral("org.freedesktop.DBus.Mock"),
                                           QStringLiteral("ReleaseLog"));
    return qdbus_cast<QList<int>>(reply.arguments().value(0));
}

void tst_KLVRRWAMonitorPowerEvent::sleepIsRecordedAndWrittenBeforeTheLockGoes_data()
{
    QTest::addColumn<bool>("idle");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("minimumIdle");

    QTest::newRow("sleep after the user went idle")
        << true << QStringList{QStringLiteral("Can system sleep"), QStringLiteral("System will sleep")} << 90;
    QTest::newRow("sleep of a busy user (lid closed)") << false << QStringList{QStringLiteral("System will sleep")} << 0;
}

void tst_KLVRRWAMonitorPowerEvent::sleepIsRecordedAndWrittenBeforeTheLockGoes()
{
    QFETCH(bool, idle);
    QFETCH(QStringList, expected);
    QFETCH(int, minimumIdle);

    const qint64 idleSince = (QDateTime::currentMSecsSinceEpoch() - 90'500) * 1000;
    QVERIFY(startLogind(QStringLiteral("{\"IdleHint\": %1, \"IdleSinceHint\": %2}")
                            .arg(idle ? QStringLiteral("true") : QStringLiteral("false"))
                            .arg(idleSince)));
    createMonitor();
    m_monitor->start();
    QVERIFY(m_monitor->holdsDelayLock());
    QTRY_VERIFY(holdsRestWatchLock());

    // Another program's lock, which the events must name.
    const QDBusMessage playerLock = m_bus->call(kLogind, kLogindPath, kManager, QStringLiteral("Inhibit"),
                                                {QStringLiteral("sleep"), QStringLiteral("Test Player"),
                                                 QStringLiteral("Playing"), QStringLiteral("block")});
    QCOMPARE(playerLock.type(), QDBusMessage::ReplyMessage);

    int onDiskAtRelease = -1;
    connect(m_monitor.get(), &KLVRRWAMonitorPowerEvent::delayLockReleased, this,
            [&] { onDiskAtRelease = powerEventsOnDisk(m_storePath); });
    emitLogind(QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {true});
    QTRY_VERIFY(!m_monitor->holdsDelayLock());

    // Written before the lock was closed, as the monitor saw it and as logind saw it.
    QCOMPARE(onDiskAtRelease, expected.size());
    QTRY_COMPARE(releaseLog(), QList<int>{int(expected.size())});
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
        const QVariantMap lock = locks.constFirst().toMap();
        QCOMPARE(lock.value(QStringLiteral("Who")).toString(), QStringLiteral("Test Player"));
        QCOMPARE(lock.value(QStringLiteral("Why")).toString(), QStringLiteral("Playing"));
        QCOMPARE(lock.value(QStringLiteral("What")).toString(), QStringLiteral("sleep"));
        QCOMPARE(lock.value(QStringLiteral("Mode")).toString(), QStringLiteral("block"));
    }
}

void tst_KLVRRWAMonitorPowerEvent::wakeIsRecordedWithItsReasonAndANewLock()
{
    QVERIFY(startLogind());
    createMonitor();
    m_monitor->start();
    QTRY_VERIFY(holdsRestWatchLock());

    QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/event_count")), "1\n"));
    emitLogind(QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {true});
    QTRY_VERIFY(!holdsRestWatchLock());

    // The lid woke the machine while it slept.
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/class/wakeup/wakeup0/event_count")), "2\n"));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("sys/power/pm_wakeup_irq")), "9\n"));
    emitLogind(QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {false});
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
    emitLogind(QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {true});
    QTRY_VERIFY(!m_monitor->holdsDelayLock());
    QTRY_COMPARE(releaseLog().size(), 2);
}

void tst_KLVRRWAMonitorPowerEvent::shutdownTellsRestartFromPowerOffAndCancel_data()
{
    QTest::addColumn<QString>("metadataType"); // empty: no PrepareForShutdownWithMetadata
    QTest::addColumn<QString>("queuedJob");    // a target systemd has a start job for, or empty
    QTest::addColumn<QString>("expected");

    QTest::newRow("reboot, told by metadata") << QStringLiteral("reboot") << QString() << QStringLiteral("System will restart");
    QTest::newRow("kexec, told by metadata") << QStringLiteral("kexec") << QString() << QStringLiteral("System will restart");
    QTest::newRow("power-off, told by metadata")
        << QStringLiteral("power-off") << QStringLiteral("reboot.target") << QStringLiteral("System will power off");
    QTest::newRow("reboot job queued in systemd") << QString() << QStringLiteral("reboot.target") << QStringLiteral("System will restart");
    QTest::newRow("power-off job queued in systemd")
        << QString() << QStringLiteral("poweroff.target") << QStringLiteral("System will power off");
    QTest::newRow("nothing known") << QString() << QString() << QStringLiteral("System will power off");
}

void tst_KLVRRWAMonitorPowerEvent::shutdownTellsRestartFromPowerOffAndCancel()
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
                                               QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddMethod"),
                                               {QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("ListJobs"),
                                                QString(), QStringLiteral("a(usssoo)"), code});
        QVERIFY2(added.type() == QDBusMessage::ReplyMessage, qPrintable(added.errorMessage()));
    }
    createMonitor();
    m_monitor->start();
    QTRY_VERIFY(holdsRestWatchLock());

    if (!metadataType.isEmpty())
        emitLogind(QStringLiteral("PrepareForShutdownWithMetadata"), QStringLiteral("ba{sv}"),
                   {true, QVariantMap{{QStringLiteral("type"), metadataType}}});
    emitLogind(QStringLiteral("PrepareForShutdown"), QStringLiteral("b"), {true});
    QTRY_VERIFY(!m_monitor->holdsDelayLock());
    QTRY_COMPARE(releaseLog(), QList<int>{1});
    QCOMPARE(descriptions(storedEvents(*m_store, kSignature)), QStringList{expected});

    // The shutdown is cancelled: recorded, and the next one is delayed again.
    emitLogind(QStringLiteral("PrepareForShutdown"), QStringLiteral("b"), {false});
    QTRY_VERIFY(m_monitor->holdsDelayLock());
    QTRY_VERIFY(holdsRestWatchLock());
    const QList<KLVRRWAEvent> events = storedEvents(*m_store, kSignature);
    QCOMPARE(descriptions(events), QStringList({expected, QStringLiteral("System will not power off")}));
    QCOMPARE(properties(events.last()).value(QStringLiteral("Processes")).toStringList(), m_processes);
}

void tst_KLVRRWAMonitorPowerEvent::noLogindIsLoggedAndTheMonitorWaitsForIt()
{
    createMonitor();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("systemd-logind is not on the system bus")));
    m_monitor->start();
    QVERIFY(!m_monitor->holdsDelayLock());

    // logind comes up later (a container that starts it late, a restart of logind).
    QVERIFY(startLogind());
    QTRY_VERIFY(m_monitor->holdsDelayLock());
    emitLogind(QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {true});
    QTRY_COMPARE(descriptions(storedEvents(*m_store, kSignature)), QStringList{QStringLiteral("System will sleep")});

    m_monitor->stop();
    QTRY_VERIFY(!holdsRestWatchLock());
}

void tst_KLVRRWAMonitorPowerEvent::unreadableIdleTimeIsZeroWithOneLogLine()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("KLVRRWAIdleTime cannot read the idle hint")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const KLVRRWAIdleTime idle = KLVRRWAIdleTime::read(m_bus->connection(QStringLiteral("reader")));
    QCOMPARE(idle.idle, false);
    QCOMPARE(idle.seconds, 0);
}

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorPowerEvent)
#include "tst_KLVRRWAMonitorPowerEvent.moc"

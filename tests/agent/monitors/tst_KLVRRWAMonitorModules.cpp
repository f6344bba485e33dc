// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The monitor framework and the monitors' low-level readers: process table, idle time, an
// unusable wtmpdb, wake sources and the UPower-to-power-source mapping.
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAIdleTime.h"
#include "KLVRRWAMonitorAgent.h"
#include "KLVRRWAMonitorPowerSource.h"
#include "KLVRRWAProcessList.h"
#include "KLVRRWAStore.h"
#include "KLVRRWAWakeSources.h"
#include "KLVRRWAWtmpDbReader.h"
#include "KLVRRWAMonitorTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>
#include <climits>

using namespace KLVRRWAMonitorTestSupport;

class tst_KLVRRWAMonitorModules : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
        QVERIFY(m_dir.isValid());
    }

    void cleanup() { qunsetenv("RESTWATCH_SYSROOT"); }

    void monitorWithoutStoreOrTextIsRefused()
    {
        try {
            KLVRRWAMonitorAgent monitor(nullptr);
            QFAIL("a monitor was made without a store");
        } catch (const KLVRAssertionException &error) {
            QCOMPARE(error.message(), QStringLiteral("Invalid parameter not satisfying: aStore"));
        }

        KLVRRWAStore store(m_dir.filePath(QStringLiteral("refused.db")));
        KLVRRWAMonitorAgent monitor(&store);
        try {
            monitor.storeMessage(QString());
            QFAIL("an event without a description was queued");
        } catch (const KLVRAssertionException &error) {
            QCOMPARE(error.message(), QStringLiteral("Invalid parameter not satisfying: aMessage"));
        }
        QVERIFY(store.pending().isEmpty());
    }

    void agentMonitorRecordsItsStartAndStopAtTheTimeOfTheCall()
    {
        KLVRRWAStore store(m_dir.filePath(QStringLiteral("agent.db")));
        KLVRRWAMonitorAgent monitor(&store);
        QCOMPARE(monitor.signature(), QStringLiteral("com.klvr.restwatch"));

        const double before = KLVRAbsoluteTime::now().seconds();
        monitor.start();
        const double after = KLVRAbsoluteTime::now().seconds();
        QTest::qWait(50);
        monitor.stop();

        const QList<KLVRRWAEvent> events = storedEvents(store);
        QCOMPARE(descriptions(events), QStringList({QStringLiteral("Starting monitor"), QStringLiteral("Stopping monitor")}));
        for (const KLVRRWAEvent &event : events) {
            QCOMPARE(event.value(QStringLiteral("monitor")), QStringLiteral("com.klvr.restwatch"));
            QCOMPARE(event.value(QStringLiteral("properties")), QStringLiteral("NULL"));
        }
        // Dated when start() ran, not when the batch was written 50 ms later.
        const double started = events.first().value(QStringLiteral("date")).toDouble();
        QVERIFY2(started >= before - 1e-5 && started <= after + 1e-5, qPrintable(QString::number(started - before)));
    }

    void processNamesAreDecodedLeniently_data()
    {
        QTest::addColumn<QByteArray>("comm");
        QTest::addColumn<QString>("name");

        QTest::newRow("plain, with the kernel's newline") << QByteArray("systemd\n") << QStringLiteral("systemd");
        QTest::newRow("valid UTF-8") << QByteArray("Kühlschrank\n") << QStringLiteral("Kühlschrank");
        // 15 bytes: "Kaffeemaschin" + the first byte of "ü" (the kernel cuts names there).
        QTest::newRow("character cut at the 15-byte limit")
            << QByteArray("Kaffeemaschin\xc3\n") << QStringLiteral("Kaffeemaschin\uFFFD");
        QTest::newRow("control character") << QByteArray("bad\x1b[0mname\n") << QStringLiteral("bad\uFFFD[0mname");
        QTest::newRow("newline inside the name") << QByteArray("two\nlines\n") << QStringLiteral("two\uFFFDlines");
        QTest::newRow("noncharacter U+FFFF") << QByteArray("x\xef\xbf\xbfy\n") << QStringLiteral("x\uFFFDy");
        QTest::newRow("NUL ends the name") << QByteArray("short\0rest\n", 11) << QStringLiteral("short");
    }

    void processNamesAreDecodedLeniently()
    {
        QFETCH(QByteArray, comm);
        QFETCH(QString, name);
        const QString decoded = KLVRRWAProcessList::decodeName(comm);
        QCOMPARE(decoded, name);

        // The point of the leniency: an event carrying the name can be stored and read back.
        const QVariantMap context{{QStringLiteral("Processes"), QStringList{decoded}}};
        const QByteArray xml = KLVRPropertyList::write(context);
        QVERIFY(!xml.isEmpty());
        QCOMPARE(KLVRPropertyList::read(xml).toMap().value(QStringLiteral("Processes")).toList().value(0).toString(), name);
    }

    void processListIsInPidOrderAndSkipsVanishedProcesses()
    {
        const QString root = m_dir.filePath(QStringLiteral("procroot"));
        writeProcTree(root, {{100, "hundred"}, {9, "nine"}, {1, "init"}, {10, "ten"}, {2, "kthreadd"}});
        QDir(root).mkpath(QStringLiteral("proc/55"));    // ended between listing and reading
        QDir(root).mkpath(QStringLiteral("proc/self"));  // not a process directory
        QDir(root).mkpath(QStringLiteral("proc/12abc"));
        qputenv("RESTWATCH_SYSROOT", root.toUtf8());

        QCOMPARE(KLVRRWAProcessList::names(),
                 QStringList({QStringLiteral("init"), QStringLiteral("kthreadd"), QStringLiteral("nine"),
                              QStringLiteral("ten"), QStringLiteral("hundred")}));
        QVERIFY(KLVRRWAProcessList::namesInDirectory(m_dir.filePath(QStringLiteral("missing"))).isEmpty());
    }

    void idleSeconds_data()
    {
        QTest::addColumn<quint64>("since");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<int>("seconds");

        const qint64 now = 1'800'000'000'000'000;
        QTest::newRow("2.9 s is 2") << quint64(now - 2'900'000) << now << 2;
        QTest::newRow("90 s") << quint64(now - 90'000'000) << now << 90;
        QTest::newRow("no idle-since time") << quint64(0) << now << 0;
        QTest::newRow("idle-since in the future") << quint64(now + 5'000'000) << now << 0;
        QTest::newRow("beyond 32 bits") << quint64(1) << qint64(4'000'000'000'000'000'000) << INT_MAX;
    }

    void idleSeconds()
    {
        QFETCH(quint64, since);
        QFETCH(qint64, now);
        QFETCH(int, seconds);
        QCOMPARE(KLVRRWAIdleTime::secondsBetween(since, now), seconds);
    }

    void unusableWtmpDbGivesNothing()
    {
        const QString kWtmpDbSelect = QStringLiteral("SELECT `Login`, `Logout` FROM `wtmp` WHERE `Type` = 1;");
        QVERIFY(KLVRRWAWtmpDbReader::read(m_dir.filePath(QStringLiteral("absent.db")), kWtmpDbSelect).isEmpty());

        const QString garbage = m_dir.filePath(QStringLiteral("garbage.db"));
        QVERIFY(writeFile(garbage, QByteArray(4096, 'x')));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("KLVRRWAWtmpDbReader cannot read .*garbage\\.db")));
        QVERIFY(KLVRRWAWtmpDbReader::read(garbage, kWtmpDbSelect).isEmpty());
    }

    void wakeReasonNamesRisenSourcesAndTheInterrupt()
    {
        const QString root = m_dir.filePath(QStringLiteral("sysroot-wake"));
        const auto source = [&](int n, const QByteArray &name, int count) {
            QVERIFY(writeFile(QStringLiteral("%1/sys/class/wakeup/wakeup%2/name").arg(root).arg(n), name + '\n'));
            QVERIFY(writeFile(QStringLiteral("%1/sys/class/wakeup/wakeup%2/event_count").arg(root).arg(n),
                              QByteArray::number(count) + '\n'));
        };
        source(0, "PNP0C0D:00", 3);  // lid
        source(2, "ACPI0003:00", 7); // AC adapter
        source(10, "alarmtimer.0.auto", 1);
        qputenv("RESTWATCH_SYSROOT", root.toUtf8());

        const KLVRRWAWakeSources::Counts asleep = KLVRRWAWakeSources::snapshot();
        QCOMPARE(asleep.size(), 3);
        QVERIFY(KLVRRWAWakeSources::wakeReason(asleep).isEmpty());

        source(0, "PNP0C0D:00", 4);
        source(10, "alarmtimer.0.auto", 2);
        QVERIFY(writeFile(root + QStringLiteral("/sys/power/pm_wakeup_irq"), "9\n"));
        const QVariantMap reason = KLVRRWAWakeSources::wakeReason(asleep);
        QCOMPARE(reason.value(QStringLiteral("IRQ")).toLongLong(), 9);
        QCOMPARE(reason.value(QStringLiteral("Sources")).toStringList(),
                 QStringList({QStringLiteral("PNP0C0D:00"), QStringLiteral("alarmtimer.0.auto")}));
    }

    void powerSourceDescription_data()
    {
        QTest::addColumn<QVariantMap>("device");
        QTest::addColumn<QVariant>("onAC"); // bool, or invalid when unknown
        QTest::addColumn<QVariantMap>("expected");

        const QVariantMap battery{{QStringLiteral("NativePath"), QStringLiteral("/sys/class/power_supply/BAT0")},
                                  {QStringLiteral("Model"), QStringLiteral("5B10W13975")},
                                  {QStringLiteral("Type"), 2u}, {QStringLiteral("PowerSupply"), true},
                                  {QStringLiteral("IsPresent"), true}, {QStringLiteral("State"), 1u},
                                  {QStringLiteral("Percentage"), 54.6}, {QStringLiteral("TimeToFull"), qlonglong(2700)},
                                  {QStringLiteral("TimeToEmpty"), qlonglong(0)}, {QStringLiteral("Energy"), 27.3},
                                  {QStringLiteral("EnergyFull"), 45.0}, {QStringLiteral("EnergyFullDesign"), 50.0},
                                  {QStringLiteral("EnergyRate"), 12.5}, {QStringLiteral("ChargeCycles"), 212}};
        QTest::newRow("charging battery on AC")
            << battery << QVariant(true)
            << QVariantMap{{QStringLiteral("Name"), QStringLiteral("BAT0")}, {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
                           {QStringLiteral("Transport Type"), QStringLiteral("Internal")}, {QStringLiteral("Is Present"), true},
                           {QStringLiteral("Is Charging"), true}, {QStringLiteral("Is Charged"), false},
                           {QStringLiteral("Power Source State"), QStringLiteral("AC Power")},
                           {QStringLiteral("Current Capacity"), 55}, {QStringLiteral("Max Capacity"), 100},
                           {QStringLiteral("Time to Full Charge"), 45}, {QStringLiteral("Time to Empty"), 0},
                           {QStringLiteral("Energy Full Design"), 50.0}, {QStringLiteral("Charge Cycles"), 212},
                           {QStringLiteral("Health"), 90.0}};

        QVariantMap discharging = battery;
        discharging.insert(QStringLiteral("State"), 2u);
        discharging.insert(QStringLiteral("TimeToEmpty"), qlonglong(5430));
        discharging.remove(QStringLiteral("NativePath"));
        QTest::newRow("discharging battery, named by its model")
            << discharging << QVariant(false)
            << QVariantMap{{QStringLiteral("Name"), QStringLiteral("5B10W13975")}, {QStringLiteral("Is Charging"), false},
                           {QStringLiteral("Power Source State"), QStringLiteral("Battery Power")},
                           {QStringLiteral("Time to Empty"), 90}};

        QTest::newRow("full battery, AC state unknown")
            << QVariantMap{{QStringLiteral("Type"), 2u}, {QStringLiteral("PowerSupply"), true}, {QStringLiteral("State"), 4u},
                           {QStringLiteral("Percentage"), 100.0}, {QStringLiteral("ChargeCycles"), -1}}
            << QVariant()
            << QVariantMap{{QStringLiteral("Name"), QStringLiteral("battery_BAT1")}, {QStringLiteral("Is Charged"), true},
                           {QStringLiteral("Power Source State"), QStringLiteral("AC Power")}, {QStringLiteral("Current Capacity"), 100}};

        QTest::newRow("UPS on its own battery while the laptop is on AC")
            << QVariantMap{{QStringLiteral("NativePath"), QStringLiteral("/dev/usb/hiddev0")}, {QStringLiteral("Type"), 3u},
                           {QStringLiteral("State"), 2u}, {QStringLiteral("Percentage"), 80.0}, {QStringLiteral("IsPresent"), true}}
            << QVariant(true)
            << QVariantMap{{QStringLiteral("Name"), QStringLiteral("hiddev0")}, {QStringLiteral("Type"), QStringLiteral("UPS")},
                           {QStringLiteral("Transport Type"), QStringLiteral("USB")},
                           {QStringLiteral("Power Source State"), QStringLiteral("Battery Power")}};
    }

    void powerSourceDescription()
    {
        QFETCH(QVariantMap, device);
        QFETCH(QVariant, onAC);
        QFETCH(QVariantMap, expected);

        const std::optional<bool> ac = onAC.isValid() ? std::optional<bool>(onAC.toBool()) : std::nullopt;
        const QVariantMap context = KLVRRWAMonitorPowerSource::describe(
            QStringLiteral("/org/freedesktop/UPower/devices/battery_BAT1"), device, ac);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(context.value(it.key()) == it.value(),
                     qPrintable(it.key() + QStringLiteral(": ") + context.value(it.key()).toString()));
        if (device.value(QStringLiteral("ChargeCycles")).toInt() < 0)
            QVERIFY(!context.contains(QStringLiteral("Charge Cycles")));
        // Every context must be storable as a property list.
        QVERIFY(!KLVRPropertyList::write(context).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorModules)
#include "tst_KLVRRWAMonitorModules.moc"

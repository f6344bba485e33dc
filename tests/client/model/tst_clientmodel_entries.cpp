// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRModelTestSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCGroupEnumerator.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntryDaemon.h"
#include "KLVRRWCLogEntryEnumerator.h"
#include "KLVRRWCLogEntryIdleSleep.h"
#include "KLVRRWCLogEntryPowerState.h"
#include "KLVRRWCLogEntryPowerStatus.h"

#include <QTest>

using namespace KLVRModelTest;

namespace {
QString kindOf(const KLVRRWCLogEntry *e)
{
    if (dynamic_cast<const KLVRRWCLogEntryDaemon *>(e)) return QStringLiteral("Daemon");
    if (dynamic_cast<const KLVRRWCLogEntryIdleSleep *>(e)) return QStringLiteral("IdleSleep");
    if (dynamic_cast<const KLVRRWCLogEntryPowerState *>(e)) return QStringLiteral("PowerState");
    if (dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(e)) return QStringLiteral("PowerStatus");
    return QStringLiteral("Plain");
}

KLVRRWCLogEntryPowerStatus *status(KLVRRWCLog &log, qsizetype i)
{
    return dynamic_cast<KLVRRWCLogEntryPowerStatus *>(log.objectAtIndex(i));
}

QVariantMap attributeMap(const KLVRRWCLogEntry *e, const QString &name)
{
    return e->attributeForKey(name).toMap();
}
} // namespace

class TestEntries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useBerlinTime(); }

    void kindsAndGroups_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("group");
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        QTest::newRow("agent start") << record(t, "Starting monitor", kAgent) << "Daemon" << "Monitoring";
        QTest::newRow("agent stop") << record(t, "Stopping monitor", kAgent) << "Daemon" << "Monitoring";
        QTest::newRow("idle sleep keeps its signature") << powerEvent(t, "Can system sleep") << "IdleSleep" << kPowerEvents;
        QTest::newRow("sleep cancelled") << powerEvent(t, "System will not sleep") << "IdleSleep" << kPowerEvents;
        QTest::newRow("sleep") << powerEvent(t, "System will sleep") << "PowerState" << "Power State";
        QTest::newRow("wake") << powerEvent(t, "System has powered on") << "PowerState" << "Power State";
        QTest::newRow("boot") << boot(t, "startup") << "PowerState" << "Power State";
        QTest::newRow("accounting boot") << boot(t, "accounting boot") << "PowerState" << "Power State";
        QTest::newRow("accounting shut down") << boot(t, "accounting shut down") << "PowerState" << "Power State";
        QTest::newRow("one chain per power source") << powerStatus(t, Battery{}) << "PowerStatus" << "Power Sources - BAT0";
        QTest::newRow("kind follows the description, not the monitor")
            << record(t, "System will sleep", kAgent) << "PowerState" << "Power State";
        QTest::newRow("unknown description") << powerEvent(t, "Device powered on") << "Plain" << kPowerEvents;
        QTest::newRow("unknown monitor") << record(t, "Something new", "org.example.x") << "Plain" << "org.example.x";
    }
    void kindsAndGroups()
    {
        QFETCH(QVariantMap, record);
        QFETCH(QString, kind);
        QFETCH(QString, group);
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{record});
        QCOMPARE(log.count(), 1);
        const KLVRRWCLogEntry *e = log.objectAtIndex(0);
        QCOMPARE(kindOf(e), kind);
        QCOMPARE(e->group(), group);
        QVERIFY(log.groups().contains(group));
        QCOMPARE(e->containerLog(), &log);
    }

    void plainEntryShowsTableTexts()
    {
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{powerEvent(at("2024-03-05 10:00:00"), "Device powered on")});
        const KLVRRWCLogEntry *e = log.objectAtIndex(0);
        QCOMPARE(e->monitor(), QStringLiteral("Power Events"));
        QCOMPARE(e->summary(), QStringLiteral("Device powered on"));
        QVERIFY(!e->pair());
        QVERIFY(e->pairRepresents().isEmpty());
        QVERIFY(e->equal(e->date()));
        QVERIFY(!e->before(e->date()));
        QVERIFY(!e->after(e->date()));
        QCOMPARE(KLVRRWCLogEntry::pairRepresentsAtDate(e->date(), e), QStringLiteral("Awake"));
        QCOMPARE(KLVRRWCLogEntry::powerSourceAtTimeOfEntry(e), QStringLiteral("Unknown"));
    }

    void repeatFolding_data()
    {
        QTest::addColumn<QVariantList>("records");
        QTest::addColumn<int>("listed");
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        QTest::newRow("idle sleep 4.9 s apart folds")
            << QVariantList{powerEvent(t, "Can system sleep"), powerEvent(t.addSeconds(4.9), "Can system sleep")} << 1;
        QTest::newRow("idle sleep 5.0 s apart stays")
            << QVariantList{powerEvent(t, "Can system sleep"), powerEvent(t.addSeconds(5.0), "Can system sleep")} << 2;
        QTest::newRow("different events never fold")
            << QVariantList{powerEvent(t, "System will sleep"), powerEvent(t.addSeconds(1), "System has powered on")} << 2;
        QTest::newRow("agent stop twice within 5 s")
            << QVariantList{record(t, "Stopping monitor", kAgent), record(t.addSeconds(2), "Stopping monitor", kAgent)} << 1;
        QTest::newRow("startup and its accounting record, hours apart")
            << QVariantList{boot(t, "startup"), boot(t.addSeconds(7200), "accounting boot")} << 1;
        QTest::newRow("accounting record first, then startup")
            << QVariantList{boot(t, "accounting boot"), boot(t.addSeconds(30), "startup")} << 1;
        QTest::newRow("a second boot after a crash is not folded into the first")
            << QVariantList{boot(t, "startup"), boot(t.addSeconds(1), "accounting boot"),
                            boot(t.addSeconds(86400), "accounting boot"), boot(t.addSeconds(86401), "startup")} << 2;
        QTest::newRow("battery unchanged for a day folds")
            << QVariantList{powerStatus(t, Battery{}), powerStatus(t.addSeconds(86400), Battery{})} << 1;
        QTest::newRow("battery one point lower stays")
            << QVariantList{powerStatus(t, Battery{}), powerStatus(t.addSeconds(60), Battery{.capacity = 79})} << 2;
        QTest::newRow("two batteries never fold into each other")
            << QVariantList{powerStatus(t, Battery{}), powerStatus(t.addSeconds(1), Battery{.name = "BAT1"})} << 2;
    }
    void repeatFolding()
    {
        QFETCH(QVariantList, records);
        QFETCH(int, listed);
        KLVRRWCLog log;
        log.addExternalEntries(records);
        QCOMPARE(log.count(), listed);
        qsizetype duplicates = 0;
        for (const auto &e : log.entries()) {
            duplicates += e->duplicateCount();
            for (const auto &d : e->duplicates()) {
                QCOMPARE(d->containerEntry(), e.get());
                QVERIFY(!d->past() && !d->next() && !d->previous());
            }
        }
        QCOMPARE(duplicates, records.size() - listed);
        // The last event's date is the log's final date, duplicate or not.
        QCOMPARE(log.finalDate(), KLVRAbsoluteTime::fromText(records.last().toMap().value("date").toString()));
    }

    void duplicatesAttributeFollowsLaterBatches()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{powerStatus(t, Battery{}), powerStatus(t.addSeconds(60), Battery{})});
        const KLVRRWCLogEntry *e = log.objectAtIndex(0);
        QCOMPARE(e->attributeForKey("Duplicates").toList().size(), 1);
        // Merged after the entry was awakened and its attributes read: they must still show.
        log.addExternalEntries(QVariantList{powerStatus(t.addSeconds(120), Battery{})});
        log.addExternalEntries(QVariantList{powerStatus(t.addSeconds(180), Battery{})});
        const QVariantList dates = e->attributeForKey("Duplicates").toList();
        QCOMPARE(dates.size(), 3);
        QCOMPARE(dates.at(0).value<KLVRAbsoluteTime>(), t.addSeconds(60));
        QCOMPARE(dates.at(2).value<KLVRAbsoluteTime>(), t.addSeconds(180));
        QCOMPARE(e->finalDate(), t.addSeconds(180));
        QCOMPARE(e->attributes().first(), QStringLiteral("Device"));
    }

    void powerStatePairsAndSummaries()
    {
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{
            powerEvent(at("2024-03-05 07:00:00"), "System will sleep"),
            powerEvent(at("2024-03-05 08:30:00"), "System has powered on"),
            powerEvent(at("2024-03-05 10:00:00"), "Can system sleep", 120),
            powerEvent(at("2024-03-05 10:00:00"), "System will sleep"),
            boot(at("2024-03-05 11:00:00"), "accounting shut down"),
            boot(at("2024-03-05 11:02:03"), "startup"),
        });
        QCOMPARE(log.count(), 6);
        const KLVRRWCLogEntry *firstSleep = log.objectAtIndex(0);
        QCOMPARE(firstSleep->pairRepresents(), QStringLiteral("Asleep"));
        QVERIFY(!firstSleep->pair());
        QCOMPARE(firstSleep->summary(), QStringLiteral("System going to sleep"));
        QVERIFY(firstSleep->attributeForKey("Properties").isNull());

        const KLVRRWCLogEntry *wake = log.objectAtIndex(1);
        QCOMPARE(wake->pair(), firstSleep);
        QCOMPARE(wake->pairRepresents(), QStringLiteral("Awake"));
        QCOMPARE(wake->summary(), QStringLiteral("System waking after 1 hour 30 minutes asleep"));
        QCOMPARE(wake->toolTip(), QStringLiteral("Asleep"));

        const KLVRRWCLogEntry *idle = log.objectAtIndex(2);
        QCOMPARE(idle->summary(), QStringLiteral("Preparing to sleep after 2 minutes idle time"));
        QVERIFY(!idle->pair());
        QVERIFY(idle->pairRepresents().isEmpty());
        QCOMPARE(attributeMap(idle, "Properties").value("Idle Time").value<KLVRRWCDuration>().duration(), 120.0);
        QCOMPARE(idle->attributeForKey("Processes").toStringList(), (QStringList{"systemd", "Xorg"}));

        const KLVRRWCLogEntry *sleep = log.objectAtIndex(3);
        QCOMPARE(sleep->pair(), wake);
        QCOMPARE(sleep->summary(), QStringLiteral("System sleeping after 1 hour 30 minutes awake"));
        QCOMPARE(attributeMap(sleep, "Properties").value("Duration").toString(), QStringLiteral("1h 30m"));
        QCOMPARE(sleep->attributes(), (QStringList{"Properties", "Processes"}));
        QCOMPARE(sleep->attributesAsString(), QStringLiteral("Properties:[Duration:1h 30m], Processes:(systemd, Xorg)"));

        const KLVRRWCLogEntry *off = log.objectAtIndex(4);
        QCOMPARE(off->pairRepresents(), QStringLiteral("Off"));
        QCOMPARE(off->summary(), QStringLiteral("Shutting down after 1 hour"));
        const KLVRRWCLogEntry *on = log.objectAtIndex(5);
        QCOMPARE(on->pairRepresents(), QStringLiteral("On"));
        QCOMPARE(on->summary(), QStringLiteral("Starting up after 2 minutes 3 seconds"));

        // Links: next goes back in time within the group, previous forward, past overall.
        QCOMPARE(sleep->next(), wake);
        QCOMPARE(wake->previous(), sleep);
        QCOMPARE(sleep->past(), idle);
        KLVRRWCGroupEnumerator older = on->pastGroupEnumerator();
        QCOMPARE(older.nextObject(), off);
        QCOMPARE(older.nextObject(), sleep);
        KLVRRWCLogEntryEnumerator past = sleep->pastEnumerator();
        QCOMPARE(past.nextObject(), idle);
        QCOMPARE(past.nextObject(), wake);
        QCOMPARE(past.nextObject(), firstSleep);
        QCOMPARE(past.nextObject(), nullptr);
        QCOMPARE(past.nextObject(), nullptr);

        // The state at a time: judged from the nearest state-beginning entry.
        QCOMPARE(KLVRRWCLogEntry::pairRepresentsAtDate(at("2024-03-05 09:00:00"), idle), QStringLiteral("Awake"));
        QCOMPARE(KLVRRWCLogEntry::pairRepresentsAtDate(at("2024-03-05 08:00:00"), wake), QStringLiteral("Asleep"));
        QCOMPARE(KLVRRWCLogEntry::pairAtTimeOfEntry(idle), wake);
    }

    void agentStartsAndStopsPairOnlyWithAPredecessor()
    {
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{
            record(at("2024-03-05 10:00:00"), "Starting monitor", kAgent),
            record(at("2024-03-05 12:00:00"), "Stopping monitor", kAgent),
            record(at("2024-03-05 13:00:00"), "Starting monitor", kAgent),
        });
        QVERIFY(!log.objectAtIndex(0)->pair());
        QVERIFY(log.objectAtIndex(0)->pairRepresents().isEmpty());
        QCOMPARE(log.objectAtIndex(0)->summary(), QStringLiteral("Monitoring started"));
        QCOMPARE(log.objectAtIndex(1)->pairRepresents(), QStringLiteral("Unmonitored"));
        QCOMPARE(log.objectAtIndex(2)->pairRepresents(), QStringLiteral("Monitored"));
        QCOMPARE(log.objectAtIndex(2)->pair(), log.objectAtIndex(1));
    }

    void batteryLife()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{
            powerStatus(t, Battery{.extra = {{"Time to Empty", qlonglong(90)}, {"Time to Full Charge", qlonglong(0)}}}),
            powerStatus(t.addSeconds(600), Battery{.capacity = 79}),
            powerStatus(t.addSeconds(900), Battery{.charging = 1, .state = "AC Power", .capacity = 79}),
            powerStatus(t.addSeconds(1800), Battery{.charging = 1, .state = "AC Power", .capacity = 85}),
            powerStatus(t.addSeconds(3600), Battery{.charging = 0, .state = "AC Power", .capacity = 100}),
            powerStatus(t.addSeconds(4000), Battery{.charging = 1, .state = "AC Power", .capacity = 99}),
            powerStatus(t.addSeconds(5400), Battery{.state = "Battery Power", .capacity = 100}),
            powerStatus(t.addSeconds(7200), Battery{.present = 0, .state = "Battery Power", .capacity = 0}),
        });
        QCOMPARE(log.count(), 8);
        struct Expected { int change; const char *summary; int pair; };
        const Expected expected[] = {
            {2, "'BAT0' connected", -1},
            {3, "'BAT0' down to 79% capacity", -1},
            {4, "Switched to 'AC Power'", -1},
            {3, "'BAT0' up to 85% capacity", -1},
            {1, "Stopped charging 'BAT0'", -1},
            {1, "Started charging 'BAT0' from 'AC Power'", 4},
            {4, "Switched to 'Battery Power'", 2},
            {2, "'BAT0' removed", 0},
        };
        for (int i = 0; i < 8; ++i) {
            const KLVRRWCLogEntryPowerStatus *e = status(log, i);
            QVERIFY(e);
            QCOMPARE(e->change(), expected[i].change);
            QCOMPARE(e->summary(), QString::fromUtf8(expected[i].summary));
            QCOMPARE(e->pair(), expected[i].pair < 0 ? nullptr : log.objectAtIndex(expected[i].pair));
            QVERIFY(e->pairRepresents().isEmpty());
        }
        QVERIFY(status(log, 0)->connected());
        QVERIFY(!status(log, 7)->connected());

        const QVariantMap first = attributeMap(status(log, 0), "Device");
        QCOMPARE(first.value("Charge").toString(), QStringLiteral("80%"));
        QCOMPARE(first.value("Time to Empty").value<KLVRRWCDuration>().duration(), 5400.0);
        QVERIFY(!first.contains("Time to Full"));
        QVERIFY(!first.contains("Duration"));
        QCOMPARE(first.value("Name").toString(), QStringLiteral("BAT0"));
        QCOMPARE(attributeMap(status(log, 6), "Device").value("Duration").toString(), QStringLiteral("1h 15m"));

        QCOMPARE(KLVRRWCLogEntry::powerSourceAtTimeOfEntry(status(log, 3)), QStringLiteral("AC Power"));
        QCOMPARE(log.batteries().value("BAT0"), status(log, 7));
    }

    void sourceWithoutPresenceIsRemovedEveryTime()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        QVariantMap a = powerStatus(t, Battery{.name = "UPS"});
        QVariantMap b = powerStatus(t.addSeconds(60), Battery{.name = "UPS", .capacity = 70});
        for (QVariantMap *r : {&a, &b}) {
            QVariantMap p = KLVRPropertyList::read(r->value("properties").toString().toUtf8()).toMap();
            p.remove("Is Present");
            r->insert("properties", QString::fromUtf8(KLVRPropertyList::write(p)));
        }
        log.addExternalEntries(QVariantList{a, b});
        QCOMPARE(log.count(), 2);
        QCOMPARE(log.objectAtIndex(1)->summary(), QStringLiteral("'UPS' removed"));
        QCOMPARE(status(log, 1)->change(), 2);
        QCOMPARE(log.objectAtIndex(1)->pair(), log.objectAtIndex(0));
    }

    void missingPropertiesLeaveDefaults()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{
            record(t, "Can system sleep", kPowerEvents),
            record(t.addSeconds(10), "Power state changed", kPowerSource),
        });
        QCOMPARE(log.objectAtIndex(0)->summary(), QStringLiteral("Preparing to sleep after 0 seconds idle time"));
        QVERIFY(log.objectAtIndex(0)->attributes().isEmpty());
        QCOMPARE(log.objectAtIndex(1)->summary(), QStringLiteral("'unknown' removed"));
        QCOMPARE(status(log, 1)->percentageCharged(), 0);
        QCOMPARE(attributeMap(log.objectAtIndex(1), "Device").value("Charge").toString(), QStringLiteral("0%"));
    }

    void percentageCharged_data()
    {
        QTest::addColumn<QVariant>("current");
        QTest::addColumn<QVariant>("maximum");
        QTest::addColumn<int>("percentage");
        QTest::newRow("usual") << QVariant(qlonglong(57)) << QVariant(qlonglong(100)) << 57;
        QTest::newRow("scaled, truncated") << QVariant(qlonglong(50)) << QVariant(qlonglong(99)) << 49;
        QTest::newRow("real values") << QVariant(57.9) << QVariant(100.0) << 57;
        QTest::newRow("text values") << QVariant(QStringLiteral("42")) << QVariant(QStringLiteral("100")) << 42;
        QTest::newRow("garbage reads 0") << QVariant(QStringLiteral("full")) << QVariant(qlonglong(100)) << 0;
        QTest::newRow("enormous saturates") << QVariant(1.0e30) << QVariant(qlonglong(100)) << 2147483520;
    }
    void percentageCharged()
    {
        QFETCH(QVariant, current);
        QFETCH(QVariant, maximum);
        QFETCH(int, percentage);
        const KLVRRWCLogEntryPowerStatus e(at("2024-03-05 10:00:00"), "Power state changed", kPowerSource,
                                           QVariantMap{{"Current Capacity", current}, {"Max Capacity", maximum}});
        QCOMPARE(e.percentageCharged(), percentage);
    }

    void exportFormsAreWritable()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{
            powerEvent(t, "Can system sleep", 300),
            powerEvent(t.addSeconds(1), "Can system sleep", 301),
        });
        const KLVRRWCLogEntry *e = log.objectAtIndex(0);
        const QVariantMap exported = e->exportAsDictionary();
        QCOMPARE(exported.value("Summary").toString(), QStringLiteral("Preparing to sleep after 5 minutes idle time"));
        QCOMPARE(exported.value("Monitor").toString(), QStringLiteral("Power Events"));
        const QVariantMap attributes = exported.value("Attributes").toMap();
        QCOMPARE(attributes.value("Properties").toMap().value("Idle Time").toString(), QStringLiteral("5m"));
        QCOMPARE(attributes.value("Processes").typeId(), QMetaType::QVariantList);
        QString error;
        QVERIFY2(!KLVRPropertyList::write(exported, KLVRPropertyList::Format::Xml, &error).isEmpty(), qPrintable(error));

        QCOMPARE(e->stringValue(), QStringLiteral("2024-03-05 09:00:00 +0000\tPreparing to sleep after 5 minutes idle time\t"
                                                  "Properties:[Idle Time:5m], Processes:(systemd, Xorg), "
                                                  "Duplicates:(2024-03-05 09:00:01 +0000)"));
        QCOMPARE(e->scriptingProperties().value("group").toString(), kPowerEvents);
    }

    void copiesAreIndependentEntriesOfTheSameKind()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{
            powerEvent(t, "System has powered on"),
            powerEvent(t.addSeconds(3600), "System will sleep"),
            powerEvent(t.addSeconds(3601), "System will sleep"),
        });
        const KLVRRWCLogEntry *sleep = log.objectAtIndex(1);
        const std::unique_ptr<KLVRRWCLogEntry> copy = sleep->copy();
        QCOMPARE(kindOf(copy.get()), QStringLiteral("PowerState"));
        QCOMPARE(copy->summary(), sleep->summary());
        QCOMPARE(copy->pair(), log.objectAtIndex(0));
        QCOMPARE(copy->duplicateCount(), 1);
        QVERIFY(copy->duplicates().front().get() != sleep->duplicates().front().get());
        QCOMPARE(copy->duplicates().front()->containerEntry(), copy.get());
        QCOMPARE(copy->finalDate(), sleep->finalDate());
        QVERIFY(!copy->visible());
    }
};

QTEST_GUILESS_MAIN(TestEntries)
#include "tst_clientmodel_entries.moc"

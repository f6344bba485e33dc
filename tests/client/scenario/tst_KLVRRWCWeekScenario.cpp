// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A week of laptop use (Monday 4 to Sunday 10 March 2024, Berlin time) as the agent records
// it: idle and lid sleeps, wakes, AC switches, charging to full, a reboot, an agent restart,
// a battery taken out and another put in, and a weekend switched off. Every expected figure
// below was worked out by hand from the timeline.
#include "../KLVRRecordTestSupport.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntrySelection.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCStyledText.h"
#include "KLVRUserDefaults.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using namespace KLVRRecordTest;

KLVRAbsoluteTime at(const QString &text)
{
    return KLVRAbsoluteTime::fromDateTime(QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QString text(KLVRAbsoluteTime time)
{
    return time.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class Recorder
{
public:
    QList<QVariantMap> records;

    void add(KLVRAbsoluteTime when, const QString &monitor, const QString &description, const QVariantMap &properties = {})
    {
        records.append(record(when, monitor, description, properties));
    }
    void agent(const char *when, const char *description) { add(at(when), kAgent, description); }
    void power(const char *when, const char *description) { add(at(when), kPowerEvents, description); }
    void idle(const char *when, int idleSeconds, double fraction = 0)
    {
        add(at(when).addSeconds(fraction), kPowerEvents, "Can system sleep",
            {{QStringLiteral("Idle Seconds"), idleSeconds},
             {QStringLiteral("Processes"), QStringList{"systemd", "Xorg", "gnome-shell", "firefox", "restwatch"}}});
    }
    void boot(const char *when, const char *description, double fraction = 0)
    {
        const KLVRAbsoluteTime time = at(when).addSeconds(fraction);
        add(time, kLast, description, {{QStringLiteral("event_time"), time.seconds()}});
    }
    void battery(const char *when, const char *source, bool charging, int percent, bool present = true)
    {
        add(at(when), kPowerSource, "Power state changed", batteryProperties(QString::fromLatin1(source), charging, percent, present));
    }
};

QList<QVariantMap> week()
{
    Recorder r;
    // Monday: boots in the morning, idles to sleep over lunch, plugged in during the
    // afternoon and charged to full, idles to sleep in the evening.
    r.boot("2024-03-04 08:00:00", "startup");
    r.agent("2024-03-04 08:00:20", "Starting monitor");
    r.battery("2024-03-04 08:00:25", "Battery Power", false, 95);
    r.battery("2024-03-04 10:00:00", "Battery Power", false, 80);
    r.idle("2024-03-04 12:30:00", 600);
    r.power("2024-03-04 12:30:02", "System will sleep");
    r.power("2024-03-04 13:15:00", "System has powered on");
    r.battery("2024-03-04 13:15:03", "Battery Power", false, 78);
    r.battery("2024-03-04 14:00:00", "AC Power", true, 76);
    r.battery("2024-03-04 15:30:00", "AC Power", true, 95);
    r.battery("2024-03-04 16:00:00", "AC Power", false, 100);
    r.idle("2024-03-04 18:00:00", 900);
    r.power("2024-03-04 18:00:01", "System will sleep");
    // Tuesday: unplugged all day, a lid sleep at noon, a sleep the user cancelled, the agent
    // restarted, plugged in when nearly empty.
    r.power("2024-03-05 07:30:00", "System has powered on");
    r.battery("2024-03-05 07:30:02", "AC Power", false, 100);
    r.battery("2024-03-05 08:15:00", "Battery Power", false, 100);
    r.battery("2024-03-05 10:00:00", "Battery Power", false, 85);
    r.power("2024-03-05 12:00:00", "System will sleep");
    r.power("2024-03-05 13:00:00", "System has powered on");
    r.battery("2024-03-05 13:00:05", "Battery Power", false, 83);
    r.idle("2024-03-05 15:00:00", 300);
    r.power("2024-03-05 15:00:01", "System will not sleep");
    r.battery("2024-03-05 17:00:00", "Battery Power", false, 40);
    r.agent("2024-03-05 17:30:00", "Stopping monitor");
    r.agent("2024-03-05 17:30:04", "Starting monitor");
    r.battery("2024-03-05 19:00:00", "Battery Power", false, 20);
    r.battery("2024-03-05 19:05:00", "AC Power", false, 20);
    r.battery("2024-03-05 19:05:30", "AC Power", true, 20);
    r.battery("2024-03-05 21:00:00", "AC Power", true, 80);
    r.power("2024-03-05 23:00:00", "System will sleep");
    // Wednesday: full on waking, a reboot (the agent stops, the boot records come from the
    // accounting scan), unplugged at noon, an idle sleep announced twice.
    r.power("2024-03-06 07:00:00", "System has powered on");
    r.battery("2024-03-06 07:00:03", "AC Power", false, 100);
    r.agent("2024-03-06 09:00:00", "Stopping monitor");
    r.boot("2024-03-06 09:00:01", "accounting shut down");
    r.boot("2024-03-06 09:01:00", "accounting boot");
    r.boot("2024-03-06 09:01:00", "startup", 0.25);
    r.agent("2024-03-06 09:01:20", "Starting monitor");
    r.battery("2024-03-06 09:01:25", "AC Power", false, 100);
    r.battery("2024-03-06 12:00:00", "Battery Power", false, 100);
    r.idle("2024-03-06 12:45:00", 300);
    r.idle("2024-03-06 12:45:03", 303);
    r.power("2024-03-06 12:45:05", "System will sleep");
    r.power("2024-03-06 14:00:00", "System has powered on");
    r.battery("2024-03-06 14:00:02", "Battery Power", false, 97);
    r.battery("2024-03-06 18:00:00", "Battery Power", false, 60);
    r.battery("2024-03-06 22:00:00", "Battery Power", false, 25);
    r.idle("2024-03-06 22:30:00", 1200);
    r.power("2024-03-06 22:30:05", "System will sleep");
    // Thursday: plugged in, the battery taken out and another put in, charged to full.
    r.power("2024-03-07 08:00:00", "System has powered on");
    r.battery("2024-03-07 08:00:02", "Battery Power", false, 23);
    r.battery("2024-03-07 08:10:00", "AC Power", true, 23);
    r.battery("2024-03-07 09:00:00", "AC Power", false, 0, false);
    r.battery("2024-03-07 09:20:00", "AC Power", true, 30);
    r.battery("2024-03-07 12:00:00", "AC Power", true, 90);
    r.battery("2024-03-07 13:00:00", "AC Power", false, 100);
    r.idle("2024-03-07 19:00:00", 600);
    r.power("2024-03-07 19:00:02", "System will sleep");
    // Friday: a lid sleep at noon, shut down for the weekend.
    r.power("2024-03-08 07:45:00", "System has powered on");
    r.battery("2024-03-08 07:45:02", "AC Power", false, 100);
    r.power("2024-03-08 12:00:00", "System will sleep");
    r.power("2024-03-08 12:30:00", "System has powered on");
    r.agent("2024-03-08 17:59:59", "Stopping monitor");
    r.boot("2024-03-08 18:00:00", "accounting shut down");
    // Saturday: switched off. Sunday: on battery from late morning.
    r.boot("2024-03-10 10:00:00", "accounting boot");
    r.boot("2024-03-10 10:00:00", "startup", 0.4);
    r.agent("2024-03-10 10:00:30", "Starting monitor");
    r.battery("2024-03-10 10:00:35", "Battery Power", false, 98);
    r.idle("2024-03-10 12:00:00", 600);
    r.power("2024-03-10 12:00:01", "System will sleep");
    r.power("2024-03-10 13:00:00", "System has powered on");
    r.battery("2024-03-10 13:00:03", "Battery Power", false, 96);
    r.battery("2024-03-10 20:00:00", "Battery Power", false, 50);
    r.power("2024-03-10 21:00:00", "System will sleep");
    return r.records;
}

} // namespace

class TestKLVRRWCWeekScenario : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<KLVRUserDefaults> m_defaults;
    std::unique_ptr<KLVRRWCDateRangeController> m_range;
    std::unique_ptr<KLVRRWCLog> m_log;
    std::unique_ptr<KLVRRWCLogSlice> m_slice;

    int indexOf(const KLVRRWCLogEntry *entry) const { return entry ? int(entry->indexInLog()) : -1; }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRRecordTest::useBerlinTime();
        m_defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.test"),
                                                        m_dir.filePath(QStringLiteral("defaults.plist")));
        const KLVRAbsoluteTime monday = at("2024-03-11 09:00:00");
        m_range = std::make_unique<KLVRRWCDateRangeController>(m_defaults.get(), nullptr, [monday] { return monday; });
        m_log = std::make_unique<KLVRRWCLog>();
        m_log->setDateRange(m_range.get());
        m_slice = std::make_unique<KLVRRWCLogSlice>();
        m_slice->setDateRange(m_range.get());
        m_slice->setLog(m_log.get());

        // The store hands the cache over in two batches, split mid-Wednesday.
        const QList<QVariantMap> records = week();
        QCOMPARE(records.size(), 73);
        m_log->addExternalEntries(records.mid(0, 40));
        m_log->addExternalEntries(records.mid(40));
    }

    void theLogShowsTheWeek()
    {
        QCOMPARE(m_log->count(), 67);
        QCOMPARE(m_range->distantPast(), at("2024-03-04 00:00:00"));
        QCOMPARE(m_range->distantFuture(), at("2024-03-10 23:59:59"));
        // "Today" (Monday the 11th) has no data yet, so it shows empty.
        QVERIFY(!m_range->canSelectTag(KLVRRWCDateRangeController::Today));
        m_range->setSelectionTag(KLVRRWCDateRangeController::Everything);
        QCOMPARE(m_log->countOfVisibleEntries(), 67);
        QCOMPARE(m_slice->title(), m_range->absoluteDuration().periodDescription());
    }

    void everySummaryAndPair_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("pair");
        QTest::addColumn<int>("duplicates");
        int i = 0;
        auto row = [&i](const char *date, const char *summary, int pair, int duplicates = 0) {
            QTest::addRow("%d %s", i, summary) << i << QString::fromLatin1(date) << QString::fromLatin1(summary) << pair << duplicates;
            ++i;
        };
        row("2024-03-04 08:00:00", "System started", -1);
        row("2024-03-04 08:00:20", "Monitoring started", -1);
        row("2024-03-04 08:00:25", "'BAT0' connected", -1);
        row("2024-03-04 10:00:00", "'BAT0' down to 80% capacity", -1);
        row("2024-03-04 12:30:00", "Preparing to sleep after 10 minutes idle time", -1);
        row("2024-03-04 12:30:02", "System sleeping after 4 hours 30 minutes 2 seconds awake", 0);
        row("2024-03-04 13:15:00", "System waking after 44 minutes 58 seconds asleep", 5);
        row("2024-03-04 13:15:03", "'BAT0' down to 78% capacity", -1);
        row("2024-03-04 14:00:00", "Switched to 'AC Power'", -1);
        row("2024-03-04 15:30:00", "'BAT0' up to 95% capacity", -1);
        row("2024-03-04 16:00:00", "Stopped charging 'BAT0'", -1, 1); // 10
        row("2024-03-04 18:00:00", "Preparing to sleep after 15 minutes idle time", -1);
        row("2024-03-04 18:00:01", "System sleeping after 4 hours 45 minutes 1 second awake", 6);
        row("2024-03-05 07:30:00", "System waking after 13 hours 29 minutes 59 seconds asleep", 12);
        row("2024-03-05 08:15:00", "Switched to 'Battery Power'", 8);
        row("2024-03-05 10:00:00", "'BAT0' down to 85% capacity", -1);
        row("2024-03-05 12:00:00", "System sleeping after 4 hours 30 minutes awake", 13);
        row("2024-03-05 13:00:00", "System waking after 1 hour asleep", 16);
        row("2024-03-05 13:00:05", "'BAT0' down to 83% capacity", -1);
        row("2024-03-05 15:00:00", "Preparing to sleep after 5 minutes idle time", -1);
        row("2024-03-05 15:00:01", "System sleep cancelled", -1); // 20
        row("2024-03-05 17:00:00", "'BAT0' down to 40% capacity", -1);
        row("2024-03-05 17:30:00", "Monitoring stopped", 1);
        row("2024-03-05 17:30:04", "Monitoring started", 22);
        row("2024-03-05 19:00:00", "'BAT0' down to 20% capacity", -1);
        row("2024-03-05 19:05:00", "Switched to 'AC Power'", 14);
        row("2024-03-05 19:05:30", "Started charging 'BAT0' from 'AC Power'", 10);
        row("2024-03-05 21:00:00", "'BAT0' up to 80% capacity", -1);
        row("2024-03-05 23:00:00", "System sleeping after 10 hours awake", 17);
        row("2024-03-06 07:00:00", "System waking after 8 hours asleep", 28);
        row("2024-03-06 07:00:03", "Stopped charging 'BAT0'", 26, 1); // 30
        row("2024-03-06 09:00:00", "Monitoring stopped", 23);
        row("2024-03-06 09:00:01", "Shutting down after 2 hours 0 minutes 1 second", 29);
        row("2024-03-06 09:01:00", "Starting up after 59 seconds", 32, 1);
        row("2024-03-06 09:01:20", "Monitoring started", 31);
        row("2024-03-06 12:00:00", "Switched to 'Battery Power'", 25);
        row("2024-03-06 12:45:00", "Preparing to sleep after 5 minutes idle time", -1, 1);
        row("2024-03-06 12:45:05", "System sleeping after 3 hours 44 minutes 5 seconds awake", 33);
        row("2024-03-06 14:00:00", "System waking after 1 hour 14 minutes 55 seconds asleep", 37);
        row("2024-03-06 14:00:02", "'BAT0' down to 97% capacity", -1);
        row("2024-03-06 18:00:00", "'BAT0' down to 60% capacity", -1); // 40
        row("2024-03-06 22:00:00", "'BAT0' down to 25% capacity", -1);
        row("2024-03-06 22:30:00", "Preparing to sleep after 20 minutes idle time", -1);
        row("2024-03-06 22:30:05", "System sleeping after 8 hours 30 minutes 5 seconds awake", 38);
        row("2024-03-07 08:00:00", "System waking after 9 hours 29 minutes 55 seconds asleep", 43);
        row("2024-03-07 08:00:02", "'BAT0' down to 23% capacity", -1);
        row("2024-03-07 08:10:00", "Switched to 'AC Power'", 35);
        row("2024-03-07 09:00:00", "'BAT0' removed", 2);
        row("2024-03-07 09:20:00", "'BAT0' connected", 47);
        row("2024-03-07 12:00:00", "'BAT0' up to 90% capacity", -1);
        row("2024-03-07 13:00:00", "Stopped charging 'BAT0'", 30, 1); // 50
        row("2024-03-07 19:00:00", "Preparing to sleep after 10 minutes idle time", -1);
        row("2024-03-07 19:00:02", "System sleeping after 11 hours 0 minutes 2 seconds awake", 44);
        row("2024-03-08 07:45:00", "System waking after 12 hours 44 minutes 58 seconds asleep", 52);
        row("2024-03-08 12:00:00", "System sleeping after 4 hours 15 minutes awake", 53);
        row("2024-03-08 12:30:00", "System waking after 30 minutes asleep", 54);
        row("2024-03-08 17:59:59", "Monitoring stopped", 34);
        row("2024-03-08 18:00:00", "Shutting down after 5 hours 30 minutes", 55);
        row("2024-03-10 10:00:00", "Starting up after 1 day 16 hours", 57, 1);
        row("2024-03-10 10:00:30", "Monitoring started", 56);
        row("2024-03-10 10:00:35", "Switched to 'Battery Power'", 46); // 60
        row("2024-03-10 12:00:00", "Preparing to sleep after 10 minutes idle time", -1);
        row("2024-03-10 12:00:01", "System sleeping after 2 hours 0 minutes 1 second awake", 58);
        row("2024-03-10 13:00:00", "System waking after 59 minutes 59 seconds asleep", 62);
        row("2024-03-10 13:00:03", "'BAT0' down to 96% capacity", -1);
        row("2024-03-10 20:00:00", "'BAT0' down to 50% capacity", -1);
        row("2024-03-10 21:00:00", "System sleeping after 8 hours awake", 63);
    }

    void everySummaryAndPair()
    {
        QFETCH(int, index);
        QFETCH(QString, date);
        QFETCH(QString, summary);
        QFETCH(int, pair);
        QFETCH(int, duplicates);
        QVERIFY(index < m_log->count());
        const KLVRRWCLogEntry *entry = m_log->objectAtIndex(index);
        QCOMPARE(text(entry->date()), date);
        QCOMPARE(entry->summary(), summary);
        QCOMPARE(indexOf(entry->pair()), pair);
        QCOMPARE(entry->duplicateCount(), qsizetype(duplicates));
    }

    void timeAwakeAndAsleepPerDay_data()
    {
        QTest::addColumn<QString>("day");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QVariantMap>("usage");
        // Days run 00:00:00 to 23:59:59, so each day's states add up to 86399 seconds.
        // Before the first boot nothing is known, and the machine counts as awake.
        QTest::newRow("Monday") << "2024-03-04" << 13
                                << QVariantMap{{"Awake", 28800.0 + 17101.0}, {"On", 16202.0}, {"Asleep", 2698.0 + 21598.0}};
        // The agent restart at 17:30 changes nothing.
        QTest::newRow("Tuesday") << "2024-03-05" << 16
                                 << QVariantMap{{"Awake", 16200.0 + 36000.0}, {"Asleep", 27000.0 + 3600.0 + 3599.0}};
        // Rebooted at 09:00: off for 59 seconds, then on (not yet woken) until the noon sleep.
        QTest::newRow("Wednesday") << "2024-03-06" << 15
                                   << QVariantMap{{"Awake", 7201.0 + 30605.0}, {"Off", 59.0}, {"On", 13445.0},
                                                  {"Asleep", 25200.0 + 4495.0 + 5394.0}};
        QTest::newRow("Thursday") << "2024-03-07" << 9 << QVariantMap{{"Awake", 39602.0}, {"Asleep", 28800.0 + 17997.0}};
        QTest::newRow("Friday") << "2024-03-08" << 5
                                << QVariantMap{{"Awake", 15300.0 + 19800.0}, {"Asleep", 27900.0 + 1800.0}, {"Off", 21599.0}};
        // Switched off all day: no entries, so no figures.
        QTest::newRow("Saturday") << "2024-03-09" << 0 << QVariantMap{};
        QTest::newRow("Sunday") << "2024-03-10" << 9
                                << QVariantMap{{"Off", 36000.0}, {"On", 7201.0}, {"Asleep", 3599.0 + 10799.0}, {"Awake", 28800.0}};
    }

    void timeAwakeAndAsleepPerDay()
    {
        QFETCH(QString, day);
        QFETCH(int, entries);
        QFETCH(QVariantMap, usage);
        // Walk the week a day at a time, as the user would with the day buttons.
        m_range->setSelectionTag(KLVRRWCDateRangeController::Everything);
        m_range->zoomIn();
        m_range->zoomIn();
        m_range->zoomIn();
        QCOMPARE(text(m_range->absoluteDuration().startDate()), QStringLiteral("2024-03-07 00:00:00"));
        const int offset = int(QDate(2024, 3, 7).daysTo(QDate::fromString(day, Qt::ISODate)));
        for (int step = 0; step < qAbs(offset); ++step)
            offset > 0 ? m_range->dayForward() : m_range->dayBackward();

        QCOMPARE(text(m_slice->start()), day + QStringLiteral(" 00:00:00"));
        QCOMPARE(text(m_slice->end()), day + QStringLiteral(" 23:59:59"));
        QCOMPARE(m_slice->events().size(), entries);
        QCOMPARE(m_slice->summary(), usage);
        QCOMPARE(m_slice->awake(), usage.value("Awake", 0.0).toDouble());
        QCOMPARE(m_slice->asleep(), usage.value("Asleep", 0.0).toDouble());
        QCOMPARE(m_slice->off(), usage.value("Off", 0.0).toDouble());
    }

    void theBatteryOverTheWeek()
    {
        m_range->setSelectionTag(KLVRRWCDateRangeController::Everything);
        const auto selection = m_slice->selectionFromEvents(m_slice->events());
        QVERIFY(selection);
        const QVariantMap bat0 = selection->attributeForKey(QStringLiteral("BAT0")).toMap();
        // 30 levels read (a repeat adds the level again when it held; the removed battery
        // has none): lowest 20, highest 100, 2164 in all.
        QCOMPARE(bat0.value("Minimum").value<KLVRRWCStyledText>().toString(), QString(QStringLiteral("20.0%")).replace(QLatin1Char('.'), QLocale().decimalPoint()));
        QCOMPARE(bat0.value("Average").value<KLVRRWCStyledText>().toString(), QString(QStringLiteral("72.1%")).replace(QLatin1Char('.'), QLocale().decimalPoint()));
        QCOMPARE(bat0.value("Maximum").value<KLVRRWCStyledText>().toString(), QString(QStringLiteral("100.0%")).replace(QLatin1Char('.'), QLocale().decimalPoint()));
        // 407 points moved between Monday 08:00:25 and Sunday 20:00:00 (561575 seconds):
        // 1379.8 seconds, about 23 minutes, per percent.
        const KLVRRWCDuration rate = bat0.value("% Delta").value<KLVRRWCDuration>();
        QVERIFY(qAbs(rate.duration() - 561575.0 / 407.0) < 0.01);
        QCOMPARE(rate.stringValue(), QStringLiteral("22m 59s"));
    }
};

QTEST_GUILESS_MAIN(TestKLVRRWCWeekScenario)
#include "tst_KLVRRWCWeekScenario.moc"

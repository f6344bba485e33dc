// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Statistics of a selection and of a span: time per usage and power-source state, battery
// figures, and the styled texts the inspector shows.
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

using Role = KLVRRWCStyledText::Role;

namespace {

using KLVRRecordTest::kAgent;
using KLVRRecordTest::kPowerEvents;
using KLVRRecordTest::kPowerSource;

KLVRAbsoluteTime at(const QString &text)
{
    return KLVRAbsoluteTime::fromDateTime(QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

// One event record as the store hands it to the log.
QVariantMap record(const QString &when, const QString &monitor, const QString &description, const QVariantMap &properties = {})
{
    return KLVRRecordTest::record(at(when), monitor, description, properties);
}

QVariantMap battery(const QString &name, int percent, const QString &source, bool charging = false, bool present = true)
{
    return {{QStringLiteral("Name"), name},
            {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
            {QStringLiteral("Transport Type"), QStringLiteral("Internal")},
            {QStringLiteral("Is Present"), present},
            {QStringLiteral("Is Charging"), charging},
            {QStringLiteral("Power Source State"), source},
            {QStringLiteral("Current Capacity"), percent},
            {QStringLiteral("Max Capacity"), 100}};
}

KLVRRWCAbsoluteDuration day(const QString &date)
{
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(at(date + QStringLiteral(" 00:00:00")),
                                                             at(date + QStringLiteral(" 23:59:59")));
}

KLVRRWCStyledText styled(QList<QPair<QString, Role>> pieces)
{
    KLVRRWCStyledText text;
    for (const auto &[piece, role] : pieces)
        text.append(piece, role);
    return text;
}

// A figure as the user's locale writes it ("66.7" is "66,7" in German).
QString local(const QString &figure)
{
    return QString(figure).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

// "<percent>%  <duration>" as the inspector receives it.
KLVRRWCStyledText share(const QString &percent, double seconds)
{
    return styled({{local(percent), Role::Primary}, {QStringLiteral("%  "), Role::Emphasis},
                   {KLVRRWCDuration::shortStringFromDuration(seconds), Role::Secondary}});
}

KLVRRWCStyledText level(const QString &percent)
{
    return styled({{local(percent), Role::Primary}, {QStringLiteral("%"), Role::Emphasis}});
}

QMap<QString, KLVRRWCStyledText> styledMap(const QVariant &value)
{
    QMap<QString, KLVRRWCStyledText> map;
    const QVariantMap values = value.toMap();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        map.insert(it.key(), it.value().value<KLVRRWCStyledText>());
    return map;
}

} // namespace

class TestKLVRRWCSelectionStatistics : public QObject
{
    Q_OBJECT

    std::unique_ptr<KLVRRWCLog> m_log;

    QList<KLVRRWCLogEntry *> load(const QList<QVariantMap> &records)
    {
        m_log = std::make_unique<KLVRRWCLog>();
        m_log->addExternalEntries(records);
        QList<KLVRRWCLogEntry *> entries;
        for (const auto &entry : m_log->entries())
            entries.append(entry.get());
        return entries;
    }

    QList<KLVRRWCLogEntry *> visible(const KLVRRWCAbsoluteDuration &span)
    {
        m_log->setVisibleInterval(span);
        m_log->updateVisibleEntries();
        return m_log->visibleEntriesArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRRecordTest::useBerlinTime();
    }

    void aSleepAndItsWake()
    {
        const auto entries = load({record("2024-03-13 08:00:00", kPowerEvents, "System has powered on"),
                                   record("2024-03-13 10:00:00", kPowerEvents, "System will sleep"),
                                   record("2024-03-13 11:00:00", kPowerEvents, "System has powered on")});
        QCOMPARE(entries.size(), 3);
        const KLVRRWCLogEntrySelection selection({entries[1], entries[2]});
        QCOMPARE(selection.duration()->duration(), 3600.0);
        QCOMPARE(selection.summary(), (QMap<QString, double>{{QStringLiteral("Asleep"), 3600.0}}));
        QCOMPARE(selection.attributes(), (QStringList{QStringLiteral("Usage"), QStringLiteral("Power Source")}));
        QCOMPARE(styledMap(selection.attributeForKey(QStringLiteral("Usage"))),
                 (QMap<QString, KLVRRWCStyledText>{{QStringLiteral("Asleep"), share(QStringLiteral("100.0"), 3600)}}));
        QCOMPARE(styledMap(selection.attributeForKey(QStringLiteral("Power Source"))),
                 (QMap<QString, KLVRRWCStyledText>{{QStringLiteral("Unknown"), share(QStringLiteral("100.0"), 3600)}}));
        QCOMPARE(selection.attributeForKey(QStringLiteral("Usage")).toMap().value(QStringLiteral("Asleep")).toString(),
                 local(QStringLiteral("100.0%  ")) + KLVRRWCDuration::shortStringFromDuration(3600));
    }

    void entriesInAnyOrderMeasureFromTheEarliestToTheLatest()
    {
        const auto entries = load({record("2024-03-13 08:00:00", kPowerEvents, "System has powered on"),
                                   record("2024-03-13 10:00:00", kPowerEvents, "System will sleep"),
                                   record("2024-03-13 11:00:00", kPowerEvents, "System has powered on")});
        const KLVRRWCLogEntrySelection selection({entries[1], entries[2], entries[0]});
        QCOMPARE(selection.duration()->startDate(), at("2024-03-13 08:00:00"));
        QCOMPARE(selection.duration()->duration(), 10800.0);
        QCOMPARE(selection.summary(),
                 (QMap<QString, double>{{QStringLiteral("Awake"), 7200.0}, {QStringLiteral("Asleep"), 3600.0}}));
        QCOMPARE(styledMap(selection.attributeForKey(QStringLiteral("Usage"))).value(QStringLiteral("Awake")),
                 share(QStringLiteral("66.7"), 7200));
    }

    void oneEntryShowsItsOwnAttributes()
    {
        const auto entries = load({record("2024-03-13 08:00:00", kPowerEvents, "System has powered on"),
                                   record("2024-03-13 10:00:00", kPowerEvents, "System will sleep")});
        const KLVRRWCLogEntrySelection selection({entries[1]});
        QVERIFY(!entries[1]->attributes().isEmpty());
        QCOMPARE(selection.attributes(), entries[1]->attributes());
        QCOMPARE(selection.attributeValues(), entries[1]->attributeValues());
        QVERIFY(selection.summary().isEmpty());
        QCOMPARE(selection.selectionCount(), 1);
    }

    void theShareIsOfTheWholeSpanEvenBeforeItEnds()
    {
        load({record("2024-03-12 22:00:00", kPowerEvents, "System has powered on"),
              record("2024-03-13 09:00:00", kPowerEvents, "Can system sleep", {{QStringLiteral("Idle Seconds"), 600}})});
        const KLVRRWCAbsoluteDuration today = day("2024-03-13");
        const KLVRRWCLogEntrySelection selection(visible(today), today, at("2024-03-13 12:00:00"));
        QCOMPARE(selection.summary(), (QMap<QString, double>{{QStringLiteral("Awake"), 43200.0}}));
        QCOMPARE(styledMap(selection.attributeForKey(QStringLiteral("Usage"))).value(QStringLiteral("Awake")),
                 share(QStringLiteral("50.0"), 43200));
    }

    void agentRestartsCountAsNoState()
    {
        // The agent restarted late in the evening and again as the day's first entries. The
        // restarts themselves change no totals; the state at the span's start is the one the
        // first entry's pair tells for that time: the agent's "Monitored" since 23:31.
        load({record("2024-03-12 20:00:00", kAgent, "Starting monitor"),
              record("2024-03-12 21:00:00", kPowerEvents, "System has powered on"),
              record("2024-03-12 23:30:00", kAgent, "Stopping monitor"),
              record("2024-03-12 23:31:00", kAgent, "Starting monitor"),
              record("2024-03-13 00:30:00", kAgent, "Stopping monitor"),
              record("2024-03-13 00:31:00", kAgent, "Starting monitor"),
              record("2024-03-13 02:00:00", kPowerEvents, "System will sleep"),
              record("2024-03-13 08:00:00", kPowerEvents, "System has powered on"),
              record("2024-03-13 12:00:00", kAgent, "Stopping monitor"),
              record("2024-03-13 12:10:00", kAgent, "Starting monitor")});
        const KLVRRWCAbsoluteDuration span = day("2024-03-13");
        const KLVRRWCLogEntrySelection selection(visible(span), span, at("2024-03-14 12:00:00"));
        QCOMPARE(selection.summary(), (QMap<QString, double>{{QStringLiteral("Monitored"), 7200.0},
                                                              {QStringLiteral("Awake"), 57599.0},
                                                              {QStringLiteral("Asleep"), 21600.0}}));
    }

    // The power source at the span's start is the one the first entry in it was on, not the
    // one before it.
    void thePowerSourceFromTheStartIsTheFirstEntrys()
    {
        load({record("2024-03-12 22:00:00", kPowerSource, "Power state changed", battery("BAT0", 100, "AC Power")),
              record("2024-03-13 10:00:00", kPowerSource, "Power state changed", battery("BAT0", 100, "Battery Power")),
              record("2024-03-13 14:00:00", kPowerSource, "Power state changed", battery("BAT0", 80, "Battery Power"))});
        const KLVRRWCAbsoluteDuration span = day("2024-03-13");
        const KLVRRWCLogEntrySelection selection(visible(span), span, at("2024-03-14 12:00:00"));
        const auto shares = styledMap(selection.attributeForKey(QStringLiteral("Power Source")));
        QCOMPARE(shares.keys(), (QStringList{QStringLiteral("Battery Power")}));
        QCOMPARE(shares.value(QStringLiteral("Battery Power")), share(QStringLiteral("100.0"), 86399));
        // Power-status entries begin no usage state.
        QCOMPARE(selection.summary(), (QMap<QString, double>{{QStringLiteral("Awake"), 86399.0}}));
    }

    void batteryFiguresComeFromTheLevelsSeen()
    {
        load({record("2024-03-13 10:00:00", kPowerSource, "Power state changed", battery("BAT0", 80, "Battery Power")),
              record("2024-03-13 10:00:00", kPowerSource, "Power state changed", battery("UPS", 100, "AC Power")),
              // A repeat of the same level: the level held until then.
              record("2024-03-13 10:30:00", kPowerSource, "Power state changed", battery("BAT0", 80, "Battery Power")),
              record("2024-03-13 11:00:00", kPowerSource, "Power state changed", battery("BAT0", 70, "Battery Power")),
              // Taken out: no level to read, so no sample.
              record("2024-03-13 12:00:00", kPowerSource, "Power state changed", battery("BAT0", 0, "AC Power", false, false)),
              record("2024-03-13 13:00:00", kPowerSource, "Power state changed", battery("BAT0", 70, "AC Power", true)),
              record("2024-03-13 14:00:00", kPowerSource, "Power state changed", battery("UPS", 100, "AC Power", true))});
        const KLVRRWCAbsoluteDuration span = day("2024-03-13");
        const KLVRRWCLogEntrySelection selection(visible(span), span, at("2024-03-14 12:00:00"));
        QCOMPARE(selection.attributes(), (QStringList{QStringLiteral("Usage"), QStringLiteral("Power Source"),
                                                      QStringLiteral("BAT0"), QStringLiteral("UPS")}));

        const QVariantMap bat0 = selection.attributeForKey(QStringLiteral("BAT0")).toMap();
        QCOMPARE(bat0.value(QStringLiteral("Minimum")).value<KLVRRWCStyledText>(), level(QStringLiteral("70.0")));
        QCOMPARE(bat0.value(QStringLiteral("Average")).value<KLVRRWCStyledText>(), level(QStringLiteral("75.0")));
        QCOMPARE(bat0.value(QStringLiteral("Maximum")).value<KLVRRWCStyledText>(), level(QStringLiteral("80.0")));
        // 10 points over the three hours from 10:00 to 13:00.
        QCOMPARE(bat0.value(QStringLiteral("% Delta")).value<KLVRRWCDuration>().duration(), 1080.0);

        const QVariantMap ups = selection.attributeForKey(QStringLiteral("UPS")).toMap();
        QCOMPARE(ups.value(QStringLiteral("Minimum")).value<KLVRRWCStyledText>(), level(QStringLiteral("100.0")));
        QVERIFY(!ups.contains(QStringLiteral("% Delta")));
    }

    void theSliceReadsThroughToTheRangeAndTheLog()
    {
        QTemporaryDir dir;
        KLVRUserDefaults defaults(QStringLiteral("com.klvr.restwatch.test"), dir.filePath(QStringLiteral("d.plist")));
        const KLVRAbsoluteTime now = at("2024-03-14 12:00:00");
        KLVRRWCDateRangeController range(&defaults, nullptr, [now] { return now; });
        KLVRRWCLog log;
        log.setDateRange(&range);
        KLVRRWCLogSlice slice;
        slice.setDateRange(&range);
        slice.setLog(&log);

        log.addExternalEntries(QList<QVariantMap>{
            record("2024-03-12 07:00:00", kPowerEvents, "System has powered on"),
            record("2024-03-12 23:00:00", "com.klvr.monitor.watcher.last", "accounting shut down"),
            record("2024-03-13 07:30:00", "com.klvr.monitor.watcher.last", "startup"),
            record("2024-03-13 22:00:00", kPowerEvents, "System will sleep"),
            record("2024-03-14 06:00:00", kPowerEvents, "System has powered on")});

        slice.setStart(at("2024-03-13 15:00:00"));
        slice.setEnd(at("2024-03-13 15:00:00"));
        QCOMPARE(slice.start(), at("2024-03-13 00:00:00"));
        QCOMPARE(slice.end(), at("2024-03-13 23:59:59"));
        QCOMPARE(slice.duration(), 86399.0);
        QCOMPARE(slice.events().size(), 2);
        QCOMPARE(slice.off(), 7.5 * 3600);
        QCOMPARE(slice.asleep(), 7199.0);
        QCOMPARE(slice.awake(), 0.0);
        QCOMPARE(slice.summary().value(QStringLiteral("On")).toDouble(), 14.5 * 3600);

        slice.setStart(at("2024-03-14 09:00:00"));
        slice.setEnd(at("2024-03-14 09:00:00"));
        QCOMPARE(slice.events().size(), 1);

        // A day without entries has no figures.
        range.setAbsoluteDuration(day("2024-03-11"));
        QCOMPARE(slice.start(), at("2024-03-11 00:00:00"));
        QVERIFY(slice.events().isEmpty());
        QVERIFY(slice.summary().isEmpty());
        QCOMPARE(slice.awake(), 0.0);
        QVERIFY(slice.selectionFromEvents({}) == nullptr);
    }
};

QTEST_GUILESS_MAIN(TestKLVRRWCSelectionStatistics)
#include "tst_KLVRRWCSelectionStatistics.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRModelTestSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRUserDefaults.h"
#include "KLVRRWCLogEntryPowerStatus.h"
#include "KLVRRWCProcessList.h"
#include "KLVRRWCPropertyReader.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <limits>
#include <random>

using namespace KLVRModelTest;

// Stands in for the date range controller: what the log reads and calls on it.
class FakeDateRange : public QObject
{
    Q_OBJECT
    Q_PROPERTY(KLVRRWCAbsoluteDuration absoluteDuration READ absoluteDuration WRITE setAbsoluteDuration NOTIFY absoluteDurationChanged)

public:
    KLVRRWCAbsoluteDuration absoluteDuration() const { return m_duration; }
    void setAbsoluteDuration(const KLVRRWCAbsoluteDuration &d)
    {
        m_duration = d;
        Q_EMIT absoluteDurationChanged();
    }
    Q_INVOKABLE void setDistantPast(KLVRAbsoluteTime past, KLVRAbsoluteTime future)
    {
        distantPast = past;
        distantFuture = future;
        ++limitCalls;
    }

    KLVRAbsoluteTime distantPast;
    KLVRAbsoluteTime distantFuture;
    int limitCalls = 0;

Q_SIGNALS:
    void absoluteDurationChanged();

private:
    KLVRRWCAbsoluteDuration m_duration;
};

namespace {
QVariantList threeWakes()
{
    return {powerEvent(at("2024-03-05 10:00:00"), "System has powered on"),
            powerEvent(at("2024-03-05 11:00:00"), "System will sleep"),
            powerEvent(at("2024-03-05 12:00:00"), "System has powered on")};
}

QVariantMap withProperties(QVariantMap record, const QVariant &properties)
{
    record.insert("properties", properties);
    return record;
}

QVariant plainValue(const QVariant &v)
{
    if (v.userType() == qMetaTypeId<KLVRRWCProcessList>())
        return v.value<KLVRRWCProcessList>().toVariantList();
    if (v.typeId() == QMetaType::QVariantMap) {
        QVariantMap m;
        const QVariantMap in = v.toMap();
        for (auto it = in.cbegin(); it != in.cend(); ++it)
            m.insert(it.key(), plainValue(it.value()));
        return m;
    }
    if (v.typeId() == QMetaType::QVariantList) {
        QVariantList l;
        for (const QVariant &item : v.toList())
            l << plainValue(item);
        return l;
    }
    return v;
}
} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useBerlinTime(); }

    void visibleRange_data()
    {
        QTest::addColumn<KLVRAbsoluteTime>("from");
        QTest::addColumn<KLVRAbsoluteTime>("to");
        QTest::addColumn<int>("location");
        QTest::addColumn<int>("length");
        QTest::newRow("from the middle to the last, end included")
            << at("2024-03-05 10:30:00") << at("2024-03-05 12:00:00") << 1 << 2;
        QTest::newRow("start included") << at("2024-03-05 10:00:00") << at("2024-03-05 10:59:59") << 0 << 1;
        QTest::newRow("middle only") << at("2024-03-05 10:00:01") << at("2024-03-05 11:59:59") << 1 << 1;
        QTest::newRow("after everything") << at("2024-03-05 13:00:00") << at("2024-03-05 14:00:00") << 0 << 0;
        QTest::newRow("before everything") << at("2024-03-04 00:00:00") << at("2024-03-04 23:59:59") << 0 << 0;
        QTest::newRow("between two entries") << at("2024-03-05 10:10:00") << at("2024-03-05 10:20:00") << 0 << 0;
        QTest::newRow("backwards interval holds nothing") << at("2024-03-05 12:00:00") << at("2024-03-05 10:00:00") << 0 << 0;
        QTest::newRow("all") << at("2024-03-05 00:00:00") << at("2024-03-05 23:59:59") << 0 << 3;
    }
    void visibleRange()
    {
        QFETCH(KLVRAbsoluteTime, from);
        QFETCH(KLVRAbsoluteTime, to);
        QFETCH(int, location);
        QFETCH(int, length);
        KLVRRWCLog log;
        FakeDateRange range;
        log.setDateRange(&range);
        log.addExternalEntries(threeWakes());
        QSignalSpy changed(&log, &KLVRRWCLog::visibleEntriesChanged);
        range.setAbsoluteDuration(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(from, to));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(log.visibleRange(), (KLVRRWCRange{quint64(location), quint64(length)}));
        QCOMPARE(log.countOfVisibleEntries(), length);
        QCOMPARE(log.visibleEntriesArray().size(), length);
        if (length > 0) {
            QCOMPARE(log.objectInVisibleEntriesAtIndex(0), log.objectAtIndex(location));
            QVERIFY(log.objectAtIndex(location)->visible());
        }
        QCOMPARE(log.objectInVisibleEntriesAtIndex(length), nullptr);
    }

    // The log and the real date range find each other by property and method names alone.
    void followsTheDateRangeController()
    {
        QTemporaryDir dir;
        KLVRUserDefaults defaults(QStringLiteral("com.klvr.restwatch.tests"), dir.filePath(QStringLiteral("defaults.plist")));
        KLVRRWCDateRangeController range(&defaults, nullptr, [] { return at("2024-03-07 12:00:00"); });
        KLVRRWCLog log;
        log.setDateRange(&range);
        log.addExternalEntries(QVariantList{powerEvent(at("2024-03-05 10:00:00"), "System will sleep"),
                                            powerEvent(at("2024-03-06 10:00:00"), "System has powered on"),
                                            powerEvent(at("2024-03-07 10:00:00"), "System will sleep")});
        QCOMPARE(range.distantPast(), at("2024-03-05 00:00:00"));
        QCOMPARE(range.distantFuture(), at("2024-03-07 23:59:59"));
        range.setSelectionTag(KLVRRWCDateRangeController::Everything);
        QCOMPARE(log.visibleRange(), (KLVRRWCRange{0, 3}));
        range.setSelectionTag(KLVRRWCDateRangeController::Today);
        QCOMPARE(log.visibleRange(), (KLVRRWCRange{2, 1}));
        range.dayBackward();
        QCOMPARE(log.visibleRange(), (KLVRRWCRange{1, 1}));
    }

    void burstsOfChangesCoalesce()
    {
        KLVRRWCLog log;
        FakeDateRange range;
        log.setDateRange(&range);
        QSignalSpy didChange(&log, &KLVRRWCLog::didChange);
        log.addExternalEntries(threeWakes());
        for (int i = 0; i < 5; ++i)
            range.setAbsoluteDuration(KLVRRWCAbsoluteDuration(at("2024-03-05 00:00:00"), 3600.0 * i));
        QCOMPARE(didChange.count(), 0);
        QTRY_COMPARE(didChange.count(), 1);
        QTest::qWait(20);
        QCOMPARE(didChange.count(), 1);
    }

    void dateRangeLimitsAreWholeLocalDays_data()
    {
        QTest::addColumn<KLVRAbsoluteTime>("first");
        QTest::addColumn<KLVRAbsoluteTime>("last");
        QTest::addColumn<KLVRAbsoluteTime>("past");
        QTest::addColumn<KLVRAbsoluteTime>("future");
        QTest::newRow("ordinary days") << at("2024-03-05 10:00:00") << at("2024-03-07 01:00:00")
                                       << at("2024-03-05 00:00:00") << at("2024-03-07 23:59:59");
        // 2024-03-31 has 23 hours and 2024-10-27 has 25 in this zone.
        QTest::newRow("clock changes") << at("2024-03-31 12:00:00") << at("2024-10-27 01:30:00")
                                       << at("2024-03-31 00:00:00") << at("2024-10-27 23:59:59");
        QTest::newRow("New Year") << at("2024-12-31 23:59:00") << at("2025-01-01 00:00:30")
                                  << at("2024-12-31 00:00:00") << at("2025-01-01 23:59:59");
    }
    void dateRangeLimitsAreWholeLocalDays()
    {
        QFETCH(KLVRAbsoluteTime, first);
        QFETCH(KLVRAbsoluteTime, last);
        QFETCH(KLVRAbsoluteTime, past);
        QFETCH(KLVRAbsoluteTime, future);
        KLVRRWCLog log;
        FakeDateRange range;
        log.setDateRange(&range);
        log.addExternalEntries(QVariantList{});
        QCOMPARE(range.limitCalls, 0);
        // The last entry's duplicates count: its final date decides the end.
        log.addExternalEntries(QVariantList{powerStatus(first, Battery{}), powerStatus(last, Battery{})});
        QCOMPARE(log.count(), 1);
        QCOMPARE(range.distantPast, past);
        QCOMPARE(range.distantFuture, future);
    }

    void entryBeforeDate_data()
    {
        QTest::addColumn<KLVRAbsoluteTime>("date");
        QTest::addColumn<qint64>("index");
        QTest::newRow("between second and third") << at("2024-03-05 11:30:00") << qint64(2);
        QTest::newRow("between first and second") << at("2024-03-05 10:00:01") << qint64(1);
        QTest::newRow("equal to the second") << at("2024-03-05 11:00:00") << qint64(2);
        QTest::newRow("after all") << at("2024-03-06 00:00:00") << qint64(2);
        QTest::newRow("equal to the first") << at("2024-03-05 10:00:00") << KLVRRWCLog::NotFound;
        QTest::newRow("before all") << at("2024-03-01 00:00:00") << KLVRRWCLog::NotFound;
        QTest::newRow("not a number") << KLVRAbsoluteTime::invalid() << KLVRRWCLog::NotFound;
    }
    void entryBeforeDate()
    {
        QFETCH(KLVRAbsoluteTime, date);
        QFETCH(qint64, index);
        KLVRRWCLog log;
        QCOMPARE(log.entryBeforeDate(date), KLVRRWCLog::NotFound);
        log.addExternalEntries(threeWakes());
        QCOMPARE(log.entryBeforeDate(date), index);
        QCOMPARE(KLVRRWCLog::NotFound, std::numeric_limits<qint64>::max());
    }

    void batchOfRepeatsAddsNoEntry()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{record(t, "Starting monitor", kAgent), record(t.addSeconds(60), "Stopping monitor", kAgent)});
        QSignalSpy countChanged(&log, &KLVRRWCLog::countChanged);
        QSignalSpy finalDateChanged(&log, &KLVRRWCLog::finalDateChanged);
        log.addExternalEntries(QVariantList{record(t.addSeconds(62), "Stopping monitor", kAgent)});
        QCOMPARE(log.count(), 2);
        QCOMPARE(countChanged.count(), 0);
        QCOMPARE(finalDateChanged.count(), 1);
        QCOMPARE(log.finalDate(), t.addSeconds(62));
        QCOMPARE(log.objectAtIndex(1)->duplicateCount(), 1);

        // A stop marker later than 5 seconds is its own entry, chained to the previous one.
        log.addExternalEntries(QVariantList{record(t.addSeconds(70), "Stopping monitor", kAgent)});
        QCOMPARE(log.count(), 3);
        QCOMPARE(log.objectAtIndex(2)->next(), log.objectAtIndex(1));
        QCOMPARE(log.pastEntry(), log.objectAtIndex(2));
        QCOMPARE(log.finalGroupEntries().value("Monitoring"), log.objectAtIndex(2));
    }

    void batteryLookups()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        QVERIFY(!log.supportsBatteries());
        log.addExternalEntries(QVariantList{
            powerStatus(t, Battery{.capacity = 50}),
            powerStatus(t.addSeconds(10), Battery{.name = "UPS", .state = "AC Power", .capacity = 100}),
            powerEvent(t.addSeconds(20), "System will sleep"),
            powerStatus(t.addSeconds(3600), Battery{.capacity = 40}),
            powerStatus(t.addSeconds(3700), Battery{.name = "UPS", .state = "AC Power", .capacity = 99}),
        });
        QVERIFY(log.supportsBatteries());
        QStringList names = log.batteryEnumerator();
        names.sort();
        QCOMPARE(names, (QStringList{"BAT0", "UPS"}));
        QVERIFY(log.groups().contains("Power Sources - BAT0"));
        QVERIFY(log.groups().contains("Power Sources - UPS"));
        QCOMPARE(log.batteries().value("UPS"), log.objectAtIndex(4));

        const KLVRRWCLogEntry *sleep = log.objectAtIndex(2);
        QCOMPARE(log.powerEventForBatteryBefore("BAT0", sleep), log.objectAtIndex(0));
        QCOMPARE(log.powerEventForBatteryAfter("BAT0", sleep), log.objectAtIndex(3));
        QCOMPARE(log.powerEventForBatteryBefore("UPS", log.objectAtIndex(4)), log.objectAtIndex(1));
        QCOMPARE(log.powerEventForBatteryBefore("BAT0", log.objectAtIndex(0)), nullptr);
        QCOMPARE(log.powerEventForBatteryAfter("UPS", log.objectAtIndex(4)), nullptr);
        QCOMPARE(log.powerEventForBatteryBefore("BAT9", sleep), nullptr);
        // An entry that is not listed in this log is not found.
        const auto stranger = log.entryWithDate(t.addSeconds(30), "System will sleep", kPowerEvents, QVariantMap{});
        QCOMPARE(log.powerEventForBatteryBefore("BAT0", stranger.get()), nullptr);
        QCOMPARE(log.powerEventForBatteryAfter("BAT0", nullptr), nullptr);

        const auto *a = static_cast<KLVRRWCLogEntryPowerStatus *>(log.objectAtIndex(0));
        const auto *b = static_cast<KLVRRWCLogEntryPowerStatus *>(log.objectAtIndex(3));
        QCOMPARE(KLVRRWCLog::interpolatePercentageChargedForDate(t.addSeconds(1800), a, b), 45.0f);
        QCOMPARE(KLVRRWCLog::interpolatePercentageChargedForDate(t.addSeconds(7200), a, b), 30.0f); // extrapolates
        QCOMPARE(KLVRRWCLog::interpolatePercentageChargedForDate(t.addSeconds(1800), b, a), 40.0f); // b not later
        QCOMPARE(KLVRRWCLog::interpolatePercentageChargedForDate(t.addSeconds(1800), a, a), 50.0f);
    }

    void badRecordsAreSkippedAndTheBatchGoesOn_data()
    {
        QTest::addColumn<QVariant>("bad");
        QTest::addColumn<QString>("logLine");
        const KLVRAbsoluteTime t = at("2024-03-05 10:30:00");
        const QVariantMap good = powerEvent(t, "Can system sleep", 5);
        QTest::newRow("unparsable properties")
            << QVariant(withProperties(good, "<plist><dict><key>x</key>")) << "Error unpacking event properties:";
        QTest::newRow("properties not a dictionary")
            << QVariant(withProperties(good, QString::fromUtf8(KLVRPropertyList::write(QVariantList{1, 2}))))
            << "Error unpacking event properties:not a dictionary";
        {
            QVariantMap r = good;
            r.insert("date", "yesterday");
            QTest::newRow("date not a number") << QVariant(r) << "unreadable date";
            r.insert("date", "nan");
            QTest::newRow("date NaN") << QVariant(r) << "unreadable date";
            r.insert("date", "1e300");
            QTest::newRow("date beyond the calendar") << QVariant(r) << "unreadable date";
            r = good;
            r.remove("date");
            QTest::newRow("date missing") << QVariant(r) << "unreadable date";
            r = good;
            r.remove("description");
            QTest::newRow("description missing") << QVariant(r) << "without description or monitor";
            r = good;
            r.insert("monitor", QVariantList{});
            QTest::newRow("monitor not text") << QVariant(r) << "without description or monitor";
            r = good;
            r.insert("date", at("2024-03-05 09:00:00").toText());
            QTest::newRow("older than the log") << QVariant(r) << "older than the log's last event";
        }
        QTest::newRow("not a dictionary") << QVariant(QStringLiteral("event")) << "not a dictionary";
    }
    void badRecordsAreSkippedAndTheBatchGoesOn()
    {
        QFETCH(QVariant, bad);
        QFETCH(QString, logLine);
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{powerEvent(at("2024-03-05 10:00:00"), "System has powered on")});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(logLine)));
        log.addExternalEntries(QVariantList{bad, powerEvent(at("2024-03-05 11:00:00"), "System will sleep")});
        QCOMPARE(log.count(), 2);
        QCOMPARE(log.objectAtIndex(1)->event(), QStringLiteral("System will sleep"));
        QCOMPARE(log.objectAtIndex(1)->pair(), log.objectAtIndex(0));
    }

    void oddButReadableRecordsAreTaken()
    {
        const KLVRAbsoluteTime t = at("2024-03-05 10:00:00");
        KLVRRWCLog log;
        QVariantMap noProperties = powerEvent(t, "System will sleep");
        noProperties.remove("properties");
        QVariantMap binary = withProperties(powerEvent(t.addSeconds(10), "Can system sleep"),
                                            KLVRPropertyList::write(QVariantMap{{"Idle Seconds", 61}}, KLVRPropertyList::Format::Binary));
        QVariantMap numericDate = powerEvent(t.addSeconds(20), "System has powered on");
        numericDate.insert("date", t.addSeconds(20).seconds());
        log.addExternalEntries(QVariantList{noProperties, binary, numericDate});
        QCOMPARE(log.count(), 3);
        QVERIFY(log.objectAtIndex(0)->properties().isEmpty());
        QCOMPARE(log.objectAtIndex(1)->summary(), QStringLiteral("Preparing to sleep after 1 minute 1 second idle time"));
        QCOMPARE(log.objectAtIndex(2)->pair(), log.objectAtIndex(0));
    }

    void batchOutOfOrderIsTakenInDateOrder()
    {
        KLVRRWCLog log;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("out of date order"));
        const QVariantList wakes = threeWakes();
        log.addExternalEntries(QVariantList{wakes[2], wakes[0], wakes[1]});
        QCOMPARE(log.count(), 3);
        for (qsizetype i = 1; i < log.count(); ++i)
            QVERIFY(log.objectAtIndex(i - 1)->date() <= log.objectAtIndex(i)->date());
        QCOMPARE(log.objectAtIndex(2)->pair(), log.objectAtIndex(1));
    }

    void enormousProcessListsAreKeptWhole()
    {
        QStringList names;
        for (int i = 0; i < 100000; ++i)
            names << QStringLiteral("worker-%1").arg(i);
        names << QStringLiteral("a&b <c>") << QString();
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{powerEvent(at("2024-03-05 10:00:00"), "Can system sleep", 7, names)});
        QCOMPARE(log.count(), 1);
        const QStringList read = log.objectAtIndex(0)->property("Processes").toStringList();
        QCOMPARE(read.size(), names.size());
        QCOMPARE(read, names);
    }

    // The reader takes over what did not change since the previous document (process lists,
    // unchanged values, nested lists); whatever changed must still be read as written.
    void readerFollowsChangingDocuments()
    {
        std::mt19937 random(7);
        QStringList processes;
        for (int i = 0; i < 300; ++i)
            processes << QStringLiteral("proc-%1").arg(i);
        int capacity = 80;
        for (int round = 0; round < 400; ++round) {
            // Edit the process list the way a system does: names leave anywhere, arrive last,
            // and now and then one changes in place.
            const int edits = int(random() % 4);
            for (int e = 0; e < edits; ++e) {
                switch (random() % 3) {
                case 0: processes.removeAt(int(random() % processes.size())); break;
                case 1: processes << QStringLiteral("new-%1").arg(round * 10 + e); break;
                default: processes[int(random() % processes.size())] = QStringLiteral("x&y<%1>").arg(round); break;
                }
            }
            if (random() % 2)
                capacity = int(random() % 101);
            QVariantList names;
            for (const QString &p : processes)
                names << p;
            const QVariantMap power{{"Idle Seconds", qlonglong(random() % 3)}, {"Processes", names},
                                    {"Inhibitors", QVariantList{QVariantMap{{"Who", random() % 4 ? "GNOME" : "Player"}}}}};
            const QVariantMap status{{"Name", random() % 5 ? "BAT0" : "BAT1"}, {"Current Capacity", capacity},
                                     {"Is Charging", bool(random() % 2)}, {"Energy", capacity * 0.5},
                                     {"Type", "InternalBattery"}};
            // As text (from the agent) and as bytes (from the cache): each form remembers its own
            // previous documents.
            for (const QVariantMap &document : {power, status}) {
                const QByteArray bytes = KLVRPropertyList::write(document);
                KLVRRWCPropertyDictionary dictionary, fromBytes;
                QString error;
                QCOMPARE(KLVRRWCPropertyReader::read(QString::fromUtf8(bytes), &dictionary, &error),
                         KLVRRWCPropertyReader::Result::Dictionary);
                QCOMPARE(plainValue(dictionary.toMap()), QVariant(document));
                QCOMPARE(KLVRRWCPropertyReader::readData(bytes, &fromBytes, &error), KLVRRWCPropertyReader::Result::Dictionary);
                QCOMPARE(plainValue(fromBytes.toMap()), QVariant(document));
            }
            if (round % 50 == 25) {
                // A document that cannot be read must not leave the reader's memory half updated.
                KLVRRWCPropertyDictionary dictionary;
                QString error;
                const QByteArray broken = KLVRPropertyList::write(status).replace("</dict>", "</dikt>");
                QCOMPARE(KLVRRWCPropertyReader::read(QString::fromUtf8(broken), &dictionary, &error),
                         KLVRRWCPropertyReader::Result::Error);
                QCOMPARE(KLVRRWCPropertyReader::readData(broken, &dictionary, &error), KLVRRWCPropertyReader::Result::Error);
            }
        }
    }

    // The fast reader must agree with the general property-list parser on everything it takes.
    void readerAgreesWithThePropertyListParser_data()
    {
        QTest::addColumn<QByteArray>("document");
        auto xml = [](const QVariantMap &m) { return KLVRPropertyList::write(m); };
        QTest::newRow("power event") << xml({{"Idle Seconds", 12}, {"Processes", QVariantList{"init", "kthreadd", "x"}}});
        QTest::newRow("power source") << xml({{"Name", "BAT0"}, {"Is Present", true}, {"Current Capacity", 57},
                                              {"Energy", 41.25}, {"Negative", -3}, {"Empty", ""}});
        QTest::newRow("nested and typed")
            << xml({{"Dict", QVariantMap{{"a", QVariantList{1, "two", 3.5}}, {"b", QVariantMap{}}}},
                    {"Data", QByteArray("\x00\x01\xff", 3)}, {"When", QVariant::fromValue(KLVRAbsoluteTime(700000000.0))},
                    {"Processes", QVariantList{"mixed", 1}}, {"List", QVariantList{}}});
        QTest::newRow("entities and non-ASCII")
            << xml({{"Name", "Akku & <Netz> \"\xc3\xa4\" 'x'"}, {"Processes", QVariantList{"a&b", "\xe2\x82\xac", ""}}});
        QTest::newRow("hand-written with references")
            << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>K&#x41;</key><string>&#228;&lt;</string>"
                          "<key>T</key><true/><key>F</key><false/><key>R</key><real>1e3</real></dict></plist>");
        QTest::newRow("comment goes to the general parser")
            << QByteArray("<plist version=\"1.0\"><dict><!-- c --><key>a</key><integer>1</integer></dict></plist>");
    }
    void readerAgreesWithThePropertyListParser()
    {
        QFETCH(QByteArray, document);
        KLVRRWCPropertyDictionary dictionary;
        QString error;
        QCOMPARE(KLVRRWCPropertyReader::readData(document, &dictionary, &error), KLVRRWCPropertyReader::Result::Dictionary);
        const QVariant expected = KLVRPropertyList::read(document);
        QVERIFY(expected.isValid());
        QCOMPARE(plainValue(dictionary.toMap()), expected);
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_clientmodel_log.moc"

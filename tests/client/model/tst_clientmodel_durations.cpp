// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRModelTestSupport.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCDateAdditions.h"
#include "KLVRRWCDuration.h"

#include <QTest>
#include <cmath>

using namespace KLVRModelTest;

class TestDurations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useBerlinTime(); }

    void texts_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("longText");
        QTest::addColumn<QString>("shortText");
        QTest::newRow("zero") << 0.0 << "0 seconds" << "0s";
        QTest::newRow("truncated not rounded") << 0.9 << "0 seconds" << "0s";
        QTest::newRow("one second") << 1.9 << "1 second" << "1s";
        QTest::newRow("59 s") << 59.0 << "59 seconds" << "59s";
        QTest::newRow("one minute") << 60.0 << "1 minute" << "1m";
        QTest::newRow("one hour") << 3600.0 << "1 hour" << "1h";
        QTest::newRow("zero minutes between hours and seconds") << 3605.0 << "1 hour 0 minutes 5 seconds" << "1h 0m 5s";
        QTest::newRow("one day") << 86400.0 << "1 day" << "1d";
        QTest::newRow("no zero hours or minutes after days") << 86405.0 << "1 day 5 seconds" << "1d 5s";
        QTest::newRow("all four singular") << 90061.0 << "1 day 1 hour 1 minute 1 second" << "1d 1h 1m 1s";
        QTest::newRow("days and hours") << 93600.0 << "1 day 2 hours" << "1d 2h";
        QTest::newRow("5 days 3 hours") << 5 * 86400.0 + 3 * 3600.0 << "5 days 3 hours" << "5d 3h";
        QTest::newRow("negative lengths count down") << -90.0 << "-1 minutes -30 seconds" << "-1m -30s";
        QTest::newRow("not a number prints as nothing") << std::nan("") << "0 seconds" << "0s";
    }
    void texts()
    {
        QFETCH(double, seconds);
        QFETCH(QString, longText);
        QFETCH(QString, shortText);
        const KLVRRWCDuration duration(seconds);
        QCOMPARE(duration.longStringValue(), longText);
        QCOMPARE(duration.stringValue(), shortText);
        QCOMPARE(duration.description(), shortText);
        QCOMPARE(KLVRRWCDuration::longStringFromDuration(seconds), longText);
    }

    void hugeLengthsDoNotWrap()
    {
        // Far beyond 32-bit day counts: the text must stay positive rather than wrap around.
        const QString text = KLVRRWCDuration(1.0e30).longStringValue();
        QVERIFY2(!text.contains(QLatin1Char('-')), qPrintable(text));
        QVERIFY2(text.startsWith(QStringLiteral("2147483647 days")), qPrintable(text));
    }

    void containmentIncludesBothEnds_data()
    {
        QTest::addColumn<KLVRAbsoluteTime>("date");
        QTest::addColumn<bool>("inside");
        QTest::newRow("start") << at("2024-03-05 10:00:00") << true;
        QTest::newRow("end") << at("2024-03-05 12:00:00") << true;
        QTest::newRow("middle") << at("2024-03-05 11:00:00") << true;
        QTest::newRow("just before") << at("2024-03-05 09:59:59.999") << false;
        QTest::newRow("just after") << at("2024-03-05 12:00:00.001") << false;
        QTest::newRow("not a number") << KLVRAbsoluteTime::invalid() << false;
    }
    void containmentIncludesBothEnds()
    {
        QFETCH(KLVRAbsoluteTime, date);
        QFETCH(bool, inside);
        const auto interval = KLVRRWCAbsoluteDuration::absoluteDurationFromDate(at("2024-03-05 10:00:00"), at("2024-03-05 12:00:00"));
        QCOMPARE(interval.contains(date), inside);
    }

    void movingEndsAndTurningAround()
    {
        auto interval = KLVRRWCAbsoluteDuration::absoluteDurationFromDate(at("2024-03-05 10:00:00"), at("2024-03-05 12:00:00"));
        interval.setStartDate(at("2024-03-05 09:00:00"));
        QCOMPARE(interval.duration(), 10800.0);
        QCOMPARE(interval.endDate(), at("2024-03-05 12:00:00"));
        interval.setEndDate(at("2024-03-05 09:30:00"));
        QCOMPARE(interval.startDate(), at("2024-03-05 09:00:00"));
        QCOMPARE(interval.duration(), 1800.0);

        // Setting the same start again must not disturb the length through rounding.
        auto odd = KLVRRWCAbsoluteDuration::absoluteDurationWithDate(KLVRAbsoluteTime(0.1), 0.2);
        odd.setStartDate(KLVRAbsoluteTime(0.1));
        QCOMPARE(odd.duration(), 0.2);

        auto backwards = KLVRRWCAbsoluteDuration::absoluteDurationWithDate(at("2024-03-05 12:00:00"), -3600.0);
        backwards.sortByDate();
        QCOMPARE(backwards.startDate(), at("2024-03-05 11:00:00"));
        QCOMPARE(backwards.duration(), 3600.0);
        backwards.sortByDate();
        QCOMPARE(backwards.startDate(), at("2024-03-05 11:00:00"));

        const auto copy = backwards;
        QVERIFY(copy.equal(backwards));
        QVERIFY(!copy.equal(nullptr));
        QVERIFY(!copy.equal(KLVRRWCAbsoluteDuration(copy.startDate(), 3600.5)));
        QCOMPARE(copy.description(), QStringLiteral("2024-03-05 10:00:00 +0000 - 2024-03-05 11:00:00 +0000"));
    }

    void periodTitles_data()
    {
        QTest::addColumn<KLVRAbsoluteTime>("start");
        QTest::addColumn<KLVRAbsoluteTime>("end");
        QTest::addColumn<QString>("title");
        QTest::newRow("exactly one day: its midpoint's day")
            << at("2024-03-05 12:00:00") << at("2024-03-06 12:00:00") << "Wednesday, 6 March 2024";
        QTest::newRow("whole local day")
            << at("2024-03-05 00:00:00") << at("2024-03-05 23:59:59") << "Tuesday, 5 March 2024";
        QTest::newRow("23-hour day of spring forward")
            << at("2024-03-31 00:00:00") << at("2024-03-31 23:59:59") << "Sunday, 31 March 2024";
        QTest::newRow("25-hour day of fall back is still one day")
            << at("2024-10-27 00:00:00") << at("2024-10-27 23:59:59") << "Sunday, 27 October 2024";
        QTest::newRow("week inside a month")
            << at("2024-03-04 00:00:00") << at("2024-03-10 23:59:59") << "Monday 4 - Sunday 10, March 2024";
        QTest::newRow("week across the clock change")
            << at("2024-03-25 00:00:00") << at("2024-03-31 23:59:59") << "Monday 25 - Sunday 31, March 2024";
        QTest::newRow("across months")
            << at("2024-02-26 00:00:00") << at("2024-03-03 23:59:59") << "26 February - 3 March, 2024";
        QTest::newRow("across New Year")
            << at("2024-12-30 00:00:00") << at("2025-01-05 23:59:59") << "30 December 2024 - 5 January 2025";
        QTest::newRow("ending at New Year's midnight")
            << at("2024-12-30 00:00:00") << at("2025-01-01 00:00:00") << "30 December 2024 - 1 January 2025";
    }
    void periodTitles()
    {
        QFETCH(KLVRAbsoluteTime, start);
        QFETCH(KLVRAbsoluteTime, end);
        QFETCH(QString, title);
        QCOMPARE(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(start, end).periodDescription(), title);
    }

    void weekdayDistances_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("until");
        QTest::addColumn<int>("since");
        QTest::newRow("Monday seen from Sunday") << 1 << 0 << 1 << -6;
        QTest::newRow("Friday seen from Tuesday") << 5 << 2 << 3 << -4;
        QTest::newRow("same weekday") << 3 << 3 << 7 << -7;
        QTest::newRow("Sunday seen from Saturday") << 0 << 6 << 1 << -6;
    }
    void weekdayDistances()
    {
        QFETCH(int, target);
        QFETCH(int, current);
        QFETCH(int, until);
        QFETCH(int, since);
        QCOMPARE(KLVRRWCDateAdditions::daysUntil(target, current), until);
        QCOMPARE(KLVRRWCDateAdditions::daysSince(target, current), since);
    }
};

QTEST_GUILESS_MAIN(TestDurations)
#include "tst_clientmodel_durations.moc"

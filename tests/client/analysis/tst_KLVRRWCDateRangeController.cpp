// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The visible date range: ready-made spans, weeks, clamping, zooming, stepping across
// daylight-saving changes, the day change and remembering the span between runs.
#include "../KLVRRecordTestSupport.h"
#include "KLVRAssertionException.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRUserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Tag = KLVRRWCDateRangeController::Tag;

namespace {

// Local (Europe/Berlin) wall-clock text to an absolute time, and back.
KLVRAbsoluteTime at(const QString &text)
{
    const QDateTime local = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    Q_ASSERT(local.isValid());
    return KLVRAbsoluteTime::fromDateTime(local);
}

QString text(KLVRAbsoluteTime time)
{
    return time.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString text(const KLVRRWCAbsoluteDuration &span)
{
    return text(span.startDate()) + QStringLiteral(" / ") + text(span.endDate());
}

KLVRRWCAbsoluteDuration span(const QString &from, const QString &to)
{
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(at(from), at(to));
}

} // namespace

class TestKLVRRWCDateRangeController : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<KLVRUserDefaults> m_defaults;
    KLVRAbsoluteTime m_now;

    // A controller as the main window makes it, at the current test time, with the log's data
    // reaching from firstDay to lastDay.
    std::unique_ptr<KLVRRWCDateRangeController> makeController(const QString &firstDay, const QString &lastDay)
    {
        auto controller = std::make_unique<KLVRRWCDateRangeController>(m_defaults.get(), nullptr, [this] { return m_now; });
        controller->setDistantPast(at(firstDay), at(lastDay));
        return controller;
    }

    void resetDefaults()
    {
        m_defaults.reset();
        QFile::remove(m_dir.filePath(QStringLiteral("defaults.plist")));
        m_defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.test"),
                                                        m_dir.filePath(QStringLiteral("defaults.plist")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRRecordTest::useBerlinTime();
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        resetDefaults();
        m_now = at(QStringLiteral("2024-03-13 15:00:00")); // a Wednesday
    }

    void readyMadeSpansFollowTheCalendar_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("expected");
        QTest::newRow("today") << int(Tag::Today) << "2024-03-13 00:00:00 / 2024-03-13 23:59:59";
        QTest::newRow("yesterday") << int(Tag::Yesterday) << "2024-03-12 00:00:00 / 2024-03-12 23:59:59";
        QTest::newRow("last seven days") << int(Tag::LastSevenDays) << "2024-03-07 00:00:00 / 2024-03-13 23:59:59";
        QTest::newRow("this month") << int(Tag::ThisMonth) << "2024-03-01 00:00:00 / 2024-03-31 23:59:59";
        QTest::newRow("last month, leap February") << int(Tag::LastMonth) << "2024-02-01 00:00:00 / 2024-02-29 23:59:59";
        QTest::newRow("this week") << int(Tag::ThisWeek) << "2024-03-11 00:00:00 / 2024-03-17 23:59:59";
        QTest::newRow("last week") << int(Tag::LastWeek) << "2024-03-04 00:00:00 / 2024-03-10 23:59:59";
        QTest::newRow("everything") << int(Tag::Everything) << "2023-01-01 00:00:00 / 2024-03-31 23:59:59";
    }

    void readyMadeSpansFollowTheCalendar()
    {
        QFETCH(int, tag);
        QFETCH(QString, expected);
        auto controller = makeController(QStringLiteral("2023-01-01 10:00:00"), QStringLiteral("2024-03-31 08:00:00"));
        QCOMPARE(controller->precalculatedDurations().size(), KLVRRWCDateRangeController::kSpanCount);
        controller->setSelectionTag(tag);
        QCOMPARE(controller->selectionTag(), tag);
        QCOMPARE(text(controller->absoluteDuration()), expected);
        QCOMPARE(m_defaults->value(QStringLiteral("dateRange")).toInt(), tag);
    }

    void weeksRunMondayToSunday_data()
    {
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("thisWeek");
        QTest::addColumn<QString>("lastWeek");
        const QString march = QStringLiteral("2024-03-11 00:00:00 / 2024-03-17 23:59:59");
        const QString marchBefore = QStringLiteral("2024-03-04 00:00:00 / 2024-03-10 23:59:59");
        QTest::newRow("Monday") << "2024-03-11 00:00:00" << march << marchBefore;
        QTest::newRow("Tuesday") << "2024-03-12 12:00:00" << march << marchBefore;
        QTest::newRow("Saturday") << "2024-03-16 23:59:59" << march << marchBefore;
        QTest::newRow("Sunday") << "2024-03-17 08:00:00" << march << marchBefore;
        QTest::newRow("across New Year") << "2024-12-31 09:00:00" << "2024-12-30 00:00:00 / 2025-01-05 23:59:59"
                                         << "2024-12-23 00:00:00 / 2024-12-29 23:59:59";
        QTest::newRow("Monday after a 25-hour Sunday") << "2024-10-28 09:00:00" << "2024-10-28 00:00:00 / 2024-11-03 23:59:59"
                                                       << "2024-10-21 00:00:00 / 2024-10-27 23:59:59";
    }

    void weeksRunMondayToSunday()
    {
        QFETCH(QString, day);
        QFETCH(QString, thisWeek);
        QFETCH(QString, lastWeek);
        m_now = at(day);
        auto controller = makeController(QStringLiteral("2020-01-01 00:00:00"), QStringLiteral("2030-01-01 00:00:00"));
        QCOMPARE(text(controller->precalculatedDurations().at(Tag::ThisWeek - 1)), thisWeek);
        QCOMPARE(text(controller->precalculatedDurations().at(Tag::LastWeek - 1)), lastWeek);
    }

    void tagsBeyondTheDataAreNotOffered_data()
    {
        QTest::addColumn<QString>("firstDay");
        QTest::addColumn<QString>("lastDay");
        QTest::addColumn<int>("tag");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<bool>("selectable");
        const QString january = QStringLiteral("2024-01-05 10:00:00");
        QTest::newRow("today, data ends yesterday") << january << "2024-03-12 22:00:00" << int(Tag::Today) << false << false;
        QTest::newRow("yesterday, data ends yesterday") << january << "2024-03-12 22:00:00" << int(Tag::Yesterday) << false << true;
        QTest::newRow("everything, data ends yesterday") << january << "2024-03-12 22:00:00" << int(Tag::Everything) << false << true;
        QTest::newRow("last seven days, data ends today") << january << "2024-03-13 14:00:00" << int(Tag::LastSevenDays) << false << true;
        // Spans that reach beyond the data are not offered, however much of them holds data.
        QTest::newRow("this week, data ends today") << january << "2024-03-13 14:00:00" << int(Tag::ThisWeek) << false << false;
        QTest::newRow("this month, data ends today") << january << "2024-03-13 14:00:00" << int(Tag::ThisMonth) << false << false;
        QTest::newRow("last seven days, data starts yesterday") << "2024-03-12 08:00:00" << "2024-03-13 14:00:00" << int(Tag::LastSevenDays) << false << false;
        QTest::newRow("last month, data starts this month") << "2024-03-02 10:00:00" << "2024-03-13 14:00:00" << int(Tag::LastMonth) << false << false;
        // This month ends at the midnight that starts its last day until it is applied.
        QTest::newRow("this month, data ends on its last day") << january << "2024-03-31 00:30:00" << int(Tag::ThisMonth) << false << true;
        // Once applied, a span is kept within the data, and offered as it is shown.
        QTest::newRow("this week, applied") << january << "2024-03-13 14:00:00" << int(Tag::ThisWeek) << true << true;
        QTest::newRow("no such tag") << january << "2024-03-13 14:00:00" << 10 << false << false;
        QTest::newRow("tag zero") << january << "2024-03-13 14:00:00" << 0 << false << false;
    }

    void tagsBeyondTheDataAreNotOffered()
    {
        QFETCH(QString, firstDay);
        QFETCH(QString, lastDay);
        QFETCH(int, tag);
        QFETCH(bool, applied);
        QFETCH(bool, selectable);
        auto controller = makeController(firstDay, lastDay);
        if (applied) {
            controller->setSelectionTag(tag);
            QCOMPARE(controller->selectionTag(), tag);
        }
        QCOMPARE(controller->canSelectTag(tag), selectable);
    }

    void spansAreWholeDaysInsideTheData_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("tag");
        QTest::newRow("widened to whole days") << "2024-03-05 13:14:15" << "2024-03-06 01:00:00"
                                               << "2024-03-05 00:00:00 / 2024-03-06 23:59:59" << int(Tag::Custom);
        QTest::newRow("end before start: to the next midnight") << "2024-03-12 18:00:00" << "2024-03-10 09:00:00"
                                                                << "2024-03-12 00:00:00 / 2024-03-13 00:00:00" << int(Tag::Custom);
        QTest::newRow("end before start on the last day: kept within the data")
            << "2024-03-13 18:00:00" << "2024-03-10 09:00:00" << "2024-03-13 00:00:00 / 2024-03-13 23:59:59" << int(Tag::Today);
        QTest::newRow("start clamped to the first day") << "2023-12-01 00:00:00" << "2024-01-10 12:00:00"
                                                        << "2024-01-05 00:00:00 / 2024-01-10 23:59:59" << int(Tag::Custom);
        // This week reaches beyond the data as calculated, so the clamped span is not it.
        QTest::newRow("end clamped to the last day") << "2024-03-11 00:00:00" << "2024-03-20 00:00:00"
                                                     << "2024-03-11 00:00:00 / 2024-03-13 23:59:59" << int(Tag::Custom);
        QTest::newRow("wholly after the data: kept, never inverted") << "2024-04-02 10:00:00" << "2024-04-03 10:00:00"
                                                                    << "2024-04-02 00:00:00 / 2024-04-03 23:59:59" << int(Tag::Custom);
        QTest::newRow("wholly before the data: kept") << "2023-11-02 10:00:00" << "2023-11-02 11:00:00"
                                                      << "2023-11-02 00:00:00 / 2023-11-02 23:59:59" << int(Tag::Custom);
        QTest::newRow("everything") << "2000-01-01 00:00:00" << "2030-01-01 00:00:00"
                                    << "2024-01-05 00:00:00 / 2024-03-13 23:59:59" << int(Tag::Everything);
    }

    void spansAreWholeDaysInsideTheData()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, expected);
        QFETCH(int, tag);
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        controller->setAbsoluteDuration(span(from, to));
        QCOMPARE(text(controller->absoluteDuration()), expected);
        QVERIFY(controller->absoluteDuration().duration() > 0);
        QCOMPARE(controller->selectionTag(), tag);
    }

    void observersHearOnlyRealChanges()
    {
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        QSignalSpy spy(controller.get(), &KLVRRWCDateRangeController::absoluteDurationChanged);
        controller->setSelectionTag(Tag::Yesterday);
        QCOMPARE(spy.count(), 1);
        // Normalised, the same span again: nothing to recompute.
        controller->setAbsoluteDuration(span(QStringLiteral("2024-03-12 09:00:00"), QStringLiteral("2024-03-12 10:00:00")));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(text(spy.at(0).at(0).value<KLVRRWCAbsoluteDuration>()), QStringLiteral("2024-03-12 00:00:00 / 2024-03-12 23:59:59"));
    }

    void zoomingWorksInWholeDays()
    {
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        controller->setAbsoluteDuration(span(QStringLiteral("2024-03-10 00:00:00"), QStringLiteral("2024-03-11 23:59:59")));
        QVERIFY(controller->canZoomIn());
        // The ends cross: the second day, to the following midnight.
        controller->zoomIn();
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-11 00:00:00 / 2024-03-12 00:00:00"));
        QCOMPARE(controller->absoluteDuration().duration(), 86400.0);
        QVERIFY(!controller->canZoomIn());
        controller->zoomIn(); // a single day stays where it is
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-11 00:00:00 / 2024-03-12 00:00:00"));
        controller->setAbsoluteDuration(span(QStringLiteral("2024-03-11 00:00:00"), QStringLiteral("2024-03-11 23:59:59")));
        QCOMPARE(controller->absoluteDuration().duration(), 86399.0);
        QVERIFY(!controller->canZoomIn());

        controller->zoomOut();
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-10 00:00:00 / 2024-03-12 23:59:59"));
        controller->zoomOut(); // the end stops at the data's last day
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-09 00:00:00 / 2024-03-13 23:59:59"));
        QVERIFY(!controller->canForward());
        QVERIFY(controller->canBackward());
    }

    void aLongDayIsStillOneDay()
    {
        m_now = at(QStringLiteral("2024-11-05 12:00:00"));
        auto controller = makeController(QStringLiteral("2024-01-01 00:00:00"), QStringLiteral("2024-11-05 12:00:00"));
        controller->setAbsoluteDuration(span(QStringLiteral("2024-10-27 12:00:00"), QStringLiteral("2024-10-27 13:00:00")));
        QCOMPARE(controller->absoluteDuration().duration(), 25 * 3600.0 - 1);
        QVERIFY(!controller->canZoomIn());
        controller->zoomIn();
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-10-27 00:00:00 / 2024-10-27 23:59:59"));
    }

    void steppingKeepsTheNumberOfDays_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a day into and out of the autumn change")
            << "2024-10-26 00:00:00" << "2024-10-26 23:59:59" << "day+"
            << QStringList{"2024-10-27 00:00:00 / 2024-10-27 23:59:59", "2024-10-28 00:00:00 / 2024-10-28 23:59:59"};
        QTest::newRow("a day into and out of the spring change")
            << "2024-03-30 00:00:00" << "2024-03-30 23:59:59" << "day+"
            << QStringList{"2024-03-31 00:00:00 / 2024-03-31 23:59:59", "2024-04-01 00:00:00 / 2024-04-01 23:59:59"};
        QTest::newRow("a day back over the autumn change")
            << "2024-10-28 00:00:00" << "2024-10-28 23:59:59" << "day-"
            << QStringList{"2024-10-27 00:00:00 / 2024-10-27 23:59:59", "2024-10-26 00:00:00 / 2024-10-26 23:59:59"};
        QTest::newRow("a week over the autumn change")
            << "2024-10-21 00:00:00" << "2024-10-27 23:59:59" << "day+"
            << QStringList{"2024-10-22 00:00:00 / 2024-10-28 23:59:59", "2024-10-23 00:00:00 / 2024-10-29 23:59:59"};
        QTest::newRow("a month forward keeps 31 days")
            << "2024-01-01 00:00:00" << "2024-01-31 23:59:59" << "month+"
            << QStringList{"2024-02-01 00:00:00 / 2024-03-02 23:59:59", "2024-03-01 00:00:00 / 2024-03-31 23:59:59"};
        QTest::newRow("a month back")
            << "2024-03-01 00:00:00" << "2024-03-31 23:59:59" << "month-"
            << QStringList{"2024-02-01 00:00:00 / 2024-03-02 23:59:59", "2024-01-01 00:00:00 / 2024-01-31 23:59:59"};
    }

    void steppingKeepsTheNumberOfDays()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, step);
        QFETCH(QStringList, expected);
        m_now = at(QStringLiteral("2024-12-01 12:00:00"));
        auto controller = makeController(QStringLiteral("2023-01-01 00:00:00"), QStringLiteral("2024-12-01 12:00:00"));
        controller->setAbsoluteDuration(span(from, to));
        for (const QString &result : expected) {
            if (step == QLatin1String("day+"))
                controller->dayForward();
            else if (step == QLatin1String("day-"))
                controller->dayBackward();
            else if (step == QLatin1String("month+"))
                controller->monthForward();
            else
                controller->monthBackward();
            QCOMPARE(text(controller->absoluteDuration()), result);
            QCOMPARE(controller->selectionTag(), int(Tag::Custom));
        }
    }

    void steppingStopsAtTheData()
    {
        auto controller = makeController(QStringLiteral("2024-03-12 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        controller->setSelectionTag(Tag::Today);
        QVERIFY(!controller->canForward());
        controller->dayForward();
        QCOMPARE(controller->selectionTag(), int(Tag::Today));
        controller->dayBackward();
        QCOMPARE(controller->selectionTag(), int(Tag::Yesterday));
        QVERIFY(!controller->canBackward());
    }

    void nextMidnightByTheCalendar_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<qint64>("msecs");
        QTest::newRow("ordinary day") << "2024-03-13 23:59:30" << qint64(30000);
        QTest::newRow("start of a 23-hour day") << "2024-03-31 00:00:00" << qint64(23) * 3600 * 1000;
        QTest::newRow("start of a 25-hour day") << "2024-10-27 00:00:00" << qint64(25) * 3600 * 1000;
        QTest::newRow("noon before New Year") << "2024-12-31 12:00:00" << qint64(12) * 3600 * 1000;
    }

    void nextMidnightByTheCalendar()
    {
        QFETCH(QString, now);
        QFETCH(qint64, msecs);
        QCOMPARE(KLVRRWCDateRangeController::msecsUntilNextMidnight(at(now)), msecs);
    }

    void todayMovesOnAtMidnight()
    {
        m_now = at(QStringLiteral("2024-03-13 23:59:00"));
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 23:58:00"));
        controller->setSelectionTag(Tag::Today);

        m_now = at(QStringLiteral("2024-03-14 00:00:01"));
        controller->passingMidnightUpdate();
        // No data for the new day yet: the day is shown empty, still as today.
        QCOMPARE(controller->selectionTag(), int(Tag::Today));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-14 00:00:00 / 2024-03-14 23:59:59"));
        QVERIFY(!controller->canSelectTag(Tag::Today));

        controller->setDistantPast(at(QStringLiteral("2024-01-05 10:00:00")), at(QStringLiteral("2024-03-14 00:05:00")));
        QCOMPARE(controller->selectionTag(), int(Tag::Today));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-14 00:00:00 / 2024-03-14 23:59:59"));
        QVERIFY(controller->canSelectTag(Tag::Today));

        // A span chosen by hand stays where it is.
        controller->setAbsoluteDuration(span(QStringLiteral("2024-02-10 00:00:00"), QStringLiteral("2024-02-12 00:00:00")));
        m_now = at(QStringLiteral("2024-03-15 00:00:01"));
        controller->passingMidnightUpdate();
        QCOMPARE(controller->selectionTag(), int(Tag::Custom));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-02-10 00:00:00 / 2024-02-12 23:59:59"));
    }

    void theTimerNoticesTheNewDay()
    {
        m_now = at(QStringLiteral("2024-03-13 23:59:59")).addSeconds(0.8);
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-14 23:00:00"));
        controller->setSelectionTag(Tag::Today);
        m_now = at(QStringLiteral("2024-03-14 00:00:01"));
        QTRY_COMPARE_WITH_TIMEOUT(text(controller->absoluteDuration()), QStringLiteral("2024-03-14 00:00:00 / 2024-03-14 23:59:59"), 5000);
        QCOMPARE(controller->selectionTag(), int(Tag::Today));
    }

    void theChosenTagWinsWhereSpansCoincide()
    {
        m_now = at(QStringLiteral("2024-03-17 10:00:00")); // a Sunday: this week == last seven days
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-17 09:00:00"));
        controller->setSelectionTag(Tag::LastSevenDays);
        QCOMPARE(controller->selectionTag(), int(Tag::LastSevenDays));

        m_now = at(QStringLiteral("2024-03-18 00:00:30"));
        controller->setDistantPast(at(QStringLiteral("2024-01-05 10:00:00")), at(QStringLiteral("2024-03-18 00:00:10")));
        QCOMPARE(controller->selectionTag(), int(Tag::LastSevenDays));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-12 00:00:00 / 2024-03-18 23:59:59"));

        // A span chosen by hand that equals both takes the later one.
        m_now = at(QStringLiteral("2024-03-17 10:00:00"));
        auto other = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-17 09:00:00"));
        other->setSelectionTag(Tag::Yesterday);
        other->setAbsoluteDuration(span(QStringLiteral("2024-03-11 00:00:00"), QStringLiteral("2024-03-17 23:59:59")));
        QCOMPARE(other->selectionTag(), int(Tag::ThisWeek));
    }

    void theSpanIsRememberedBetweenRuns()
    {
        {
            auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
            controller->setAbsoluteDuration(span(QStringLiteral("2024-02-10 00:00:00"), QStringLiteral("2024-02-12 00:00:00")));
            controller->saveState();
        }
        QCOMPARE(m_defaults->value(QStringLiteral("dateRange")).toInt(), int(Tag::Custom));
        QCOMPARE(m_defaults->value(QStringLiteral("KLVRRWCDateRangeController.duration.date")).toDouble(),
                 at(QStringLiteral("2024-02-10 00:00:00")).seconds());
        QCOMPARE(m_defaults->value(QStringLiteral("KLVRRWCDateRangeController.duration.interval")).toDouble(), 3 * 86400.0 - 1);

        m_now = at(QStringLiteral("2024-03-20 09:00:00"));
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-20 08:00:00"));
        QVERIFY(!controller->hasAbsoluteDuration());
        controller->restoreState();
        QCOMPARE(controller->selectionTag(), int(Tag::Custom));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-02-10 00:00:00 / 2024-02-12 23:59:59"));
    }

    // The remembered span comes back whatever tag showed it, and the tag follows the span.
    void aReadyMadeSpanComesBackAsTheDaysItShowed_data()
    {
        QTest::addColumn<QString>("restart");
        QTest::addColumn<int>("tag");
        QTest::newRow("the next day: yesterday") << "2024-03-14 09:00:00" << int(Tag::Yesterday);
        QTest::newRow("two days later: custom") << "2024-03-15 09:00:00" << int(Tag::Custom);
        QTest::newRow("the same day: today") << "2024-03-13 18:00:00" << int(Tag::Today);
    }

    void aReadyMadeSpanComesBackAsTheDaysItShowed()
    {
        QFETCH(QString, restart);
        QFETCH(int, tag);
        {
            auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
            controller->setSelectionTag(Tag::Today);
            controller->saveState();
        }
        m_now = at(restart);
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), restart);
        QCOMPARE(controller->selectionTag(), int(Tag::Today));
        controller->restoreState();
        QCOMPARE(controller->selectionTag(), tag);
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-13 00:00:00 / 2024-03-13 23:59:59"));
        QCOMPARE(m_defaults->value(QStringLiteral("dateRange")).toInt(), tag);
    }

    void unusableRememberedValuesAreIgnored_data()
    {
        QTest::addColumn<QVariant>("date");
        QTest::addColumn<QVariant>("interval");
        QTest::newRow("missing") << QVariant() << QVariant();
        QTest::newRow("negative interval") << QVariant(at(QStringLiteral("2024-02-10 00:00:00")).seconds()) << QVariant(-5.0);
        QTest::newRow("beyond any calendar") << QVariant(1e300) << QVariant(1e300);
    }

    void unusableRememberedValuesAreIgnored()
    {
        QFETCH(QVariant, date);
        QFETCH(QVariant, interval);
        m_defaults->setValue(QStringLiteral("dateRange"), int(Tag::Custom));
        if (date.isValid())
            m_defaults->setValue(QStringLiteral("KLVRRWCDateRangeController.duration.date"), date);
        if (interval.isValid())
            m_defaults->setValue(QStringLiteral("KLVRRWCDateRangeController.duration.interval"), interval);
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        controller->restoreState();
        QCOMPARE(controller->selectionTag(), int(Tag::Today));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-13 00:00:00 / 2024-03-13 23:59:59"));
    }

    void theTagFollowsTheDefaults()
    {
        m_defaults->setValue(QStringLiteral("dateRange"), int(Tag::LastWeek));
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        QCOMPARE(controller->selectionTag(), int(Tag::LastWeek));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-04 00:00:00 / 2024-03-10 23:59:59"));
        m_defaults->setValue(QStringLiteral("dateRange"), int(Tag::Yesterday));
        QCOMPARE(controller->selectionTag(), int(Tag::Yesterday));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-12 00:00:00 / 2024-03-12 23:59:59"));
    }

    void aMissingDateIsAContractFailure()
    {
        try {
            KLVRRWCDateRangeController::floorDate(KLVRAbsoluteTime::invalid());
            QFAIL("no exception");
        } catch (const KLVRAssertionException &e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid parameter not satisfying: aDate"));
        }
        QVERIFY_THROWS_EXCEPTION(KLVRAssertionException, KLVRRWCDateRangeController::ceilingDate(KLVRAbsoluteTime::invalid()));
    }

    void datesBeyondAnyCalendarStayUsable()
    {
        auto controller = makeController(QStringLiteral("2024-01-05 10:00:00"), QStringLiteral("2024-03-13 14:00:00"));
        controller->setEndingDay(KLVRAbsoluteTime(1e300));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-03-13 00:00:00 / 2024-03-13 23:59:59"));
        controller->setStartingDay(KLVRAbsoluteTime(-1e300));
        QCOMPARE(text(controller->absoluteDuration()), QStringLiteral("2024-01-05 00:00:00 / 2024-03-13 23:59:59"));
        controller->setStartingDay(KLVRAbsoluteTime(1e300));
        QVERIFY(controller->absoluteDuration().duration() > 0);
        QVERIFY(controller->absoluteDuration().startDate() > at(QStringLiteral("4000-01-01 00:00:00")));
    }
};

QTEST_GUILESS_MAIN(TestKLVRRWCDateRangeController)
#include "tst_KLVRRWCDateRangeController.moc"

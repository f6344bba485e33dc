// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The rules scripts meet before anything runs: range words to days, dates as text and back (the
// pages' own date writer against the general one, in zones with odd offsets and transitions), and
// the export command's arguments.
#include "KLVRRWCCommandLine.h"
#include "KLVRRecordTestSupport.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCScriptingDateWriter.h"
#include "KLVRRWCScriptingExport.h"

#include <QDBusVariant>
#include <QTest>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTimeZone>
#include <cmath>
#include <vector>

class tst_KLVRRWCScriptingRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { KLVRRecordTest::useBerlinTime(); }
    void rangeWordsGiveCalendarDays_data();
    void rangeWordsGiveCalendarDays();
    void datesTravelAsIsoTextWithTheirOffset_data();
    void datesTravelAsIsoTextWithTheirOffset();
    void pageDatesMatchTheGeneralWriter_data();
    void pageDatesMatchTheGeneralWriter();
    void exportArgumentsAreReadWhateverTheirType_data();
    void exportArgumentsAreReadWhateverTheirType();
};

void tst_KLVRRWCScriptingRules::rangeWordsGiveCalendarDays_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    const QDate sunday(2026, 11, 8);
    QTest::newRow("today") << "today" << sunday << sunday << sunday;
    QTest::newRow("yesterday across a month") << "yesterday" << QDate(2026, 12, 1) << QDate(2026, 11, 30) << QDate(2026, 11, 30);
    QTest::newRow("week seen on its Sunday") << "week" << sunday << QDate(2026, 11, 2) << sunday;
    QTest::newRow("week seen on its Monday") << "week" << QDate(2026, 11, 2) << QDate(2026, 11, 2) << sunday;
    QTest::newRow("month of a leap February") << "month" << QDate(2028, 2, 10) << QDate(2028, 2, 1) << QDate(2028, 2, 29);
    QTest::newRow("two days") << "2026-11-02..2026-11-03" << sunday << QDate(2026, 11, 2) << QDate(2026, 11, 3);
    QTest::newRow("one day") << "2026-11-02..2026-11-02" << sunday << QDate(2026, 11, 2) << QDate(2026, 11, 2);
    QTest::newRow("backwards") << "2026-11-03..2026-11-02" << sunday << QDate() << QDate();
    QTest::newRow("no such day") << "2026-02-30..2026-03-01" << sunday << QDate() << QDate();
    QTest::newRow("one end only") << "2026-11-02.." << sunday << QDate() << QDate();
    QTest::newRow("a word of another kind") << "fortnight" << sunday << QDate() << QDate();
}

void tst_KLVRRWCScriptingRules::rangeWordsGiveCalendarDays()
{
    QFETCH(QString, text);
    QFETCH(QDate, today);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QDate from;
    QDate to;
    QCOMPARE(KLVRRWCCommandLine::resolveRange(text, today, from, to), first.isValid());
    if (!first.isValid())
        return;
    QCOMPARE(from, first);
    QCOMPARE(to, last);
}

void tst_KLVRRWCScriptingRules::datesTravelAsIsoTextWithTheirOffset_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("unixSeconds");
    QTest::addColumn<QString>("written");
    // Berlin: +01:00 in winter, +02:00 in summer.
    QTest::newRow("winter") << "2026-11-02T08:00:00+01:00" << 1793602800.0 << "2026-11-02T08:00:00+01:00";
    QTest::newRow("summer") << "2026-07-01T12:00:00+02:00" << 1782900000.0 << "2026-07-01T12:00:00+02:00";
    QTest::newRow("milliseconds kept") << "2026-11-02T08:00:00.250+01:00" << 1793602800.25 << "2026-11-02T08:00:00.250+01:00";
    QTest::newRow("written in UTC") << "2026-11-02T07:00:00Z" << 1793602800.0 << "2026-11-02T08:00:00+01:00";
    QTest::newRow("another offset") << "2026-11-02T02:00:00-05:00" << 1793602800.0 << "2026-11-02T08:00:00+01:00";
    QTest::newRow("local without offset") << "2026-11-02T08:00:00" << 1793602800.0 << "2026-11-02T08:00:00+01:00";
    QTest::newRow("a day is its midnight") << "2026-11-02" << 1793574000.0 << "2026-11-02T00:00:00+01:00";
    QTest::newRow("a day after the clock change") << "2026-10-26" << 1792969200.0 << "2026-10-26T00:00:00+01:00";
    QTest::newRow("no time") << "8 o'clock" << qQNaN() << "";
    QTest::newRow("no such day") << "2026-02-30" << qQNaN() << "";
    QTest::newRow("a time alone") << "08:00:00" << qQNaN() << "";
}

void tst_KLVRRWCScriptingRules::datesTravelAsIsoTextWithTheirOffset()
{
    QFETCH(QString, text);
    QFETCH(double, unixSeconds);
    QFETCH(QString, written);
    const KLVRAbsoluteTime date = KLVRRWCScriptingDate::fromText(text);
    QCOMPARE(date.isValid(), !qIsNaN(unixSeconds));
    if (!date.isValid())
        return;
    QCOMPARE(date.toUnix(), unixSeconds);
    QCOMPARE(KLVRRWCScriptingDate::toText(date), written);
    QCOMPARE(KLVRRWCScriptingDate::fromText(written), date);
}

void tst_KLVRRWCScriptingRules::pageDatesMatchTheGeneralWriter_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("written");
    // The first row shows the writer really writes in that zone: 2026-07-01T10:00:00.250Z.
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin") << "2026-07-01T12:00:00.250+02:00";
    QTest::newRow("half hours, summer time") << QByteArray("America/St_Johns") << "2026-07-01T07:30:00.250-02:30";
    QTest::newRow("half-hour clock change") << QByteArray("Australia/Lord_Howe") << "2026-07-01T20:30:00.250+10:30";
    QTest::newRow("quarter hours") << QByteArray("Asia/Kathmandu") << "2026-07-01T15:45:00.250+05:45";
    QTest::newRow("summer time abolished") << QByteArray("America/Sao_Paulo") << "2026-07-01T07:00:00.250-03:00";
    QTest::newRow("UTC") << QByteArray("UTC") << "2026-07-01T10:00:00.250+00:00";
}

void tst_KLVRRWCScriptingRules::pageDatesMatchTheGeneralWriter()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, written);
    qputenv("TZ", zone);
    tzset();
    const auto restore = qScopeGuard([] { KLVRRecordTest::useBerlinTime(); });

    // Every instant around each clock change, and a sweep over two centuries forwards and back,
    // so that the writer's remembered offset is left in both directions.
    const QTimeZone local = QTimeZone::systemTimeZone();
    std::vector<double> instants{1782900000.25, 0.0, -0.5, -1.0, -86400.001, 946684799.999, 4102444800.0};
    for (const QTimeZone::OffsetData &change :
         local.transitions(QDateTime(QDate(1960, 1, 1), QTime(0, 0), QTimeZone::utc()),
                           QDateTime(QDate(2060, 1, 1), QTime(0, 0), QTimeZone::utc()))) {
        const double at = double(change.atUtc.toMSecsSinceEpoch()) / 1000.0;
        for (double step : {-3600.0, -1.001, -0.001, 0.0, 0.001, 0.999, 1.0, 1800.0})
            instants.push_back(at + step);
    }
    QRandomGenerator random(20261102);
    for (double at = -2208988800.0; at < 4102444800.0; at += random.bounded(40 * 86400.0))
        instants.push_back(std::round(at * 1000.0) / 1000.0);
    const std::size_t forward = instants.size();
    instants.insert(instants.end(), instants.rbegin(), instants.rend());
    QVERIFY(forward > 1000);

    KLVRRWCScriptingDateWriter writer;
    QCOMPARE(writer.text(KLVRAbsoluteTime::fromUnix(1782900000.25)), written);
    QCOMPARE(writer.text(KLVRAbsoluteTime::invalid()), QString());
    for (double at : instants) {
        const KLVRAbsoluteTime date = KLVRAbsoluteTime::fromUnix(at);
        const QString general = KLVRRWCScriptingDate::toText(date);
        if (writer.text(date) != general)
            QFAIL(qPrintable(QStringLiteral("%1: %2, expected %3").arg(at, 0, 'f', 3).arg(writer.text(date), general)));
    }
}

void tst_KLVRRWCScriptingRules::exportArgumentsAreReadWhateverTheirType_data()
{
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<int>("error");
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<bool>("titled");
    const int none = int(KLVRRWCScriptingError::Kind::None);
    const int invalid = int(KLVRRWCScriptingError::Kind::InvalidArgument);
    const QString file = QStringLiteral("/tmp/graph.png");
    QTest::newRow("defaults") << QVariantMap{{"destinationFile", file}} << none << QSizeF(700, 250) << true;
    QTest::newRow("file URL and unsigned sizes")
        << QVariantMap{{"destinationFile", "file:///tmp/graph.png"}, {"width", 300u}, {"height", qlonglong(200)}}
        << none << QSizeF(300, 200) << true;
    QTest::newRow("values wrapped in variants")
        << QVariantMap{{"destinationFile", QVariant::fromValue(QDBusVariant(file))},
                       {"width", QVariant::fromValue(QDBusVariant(150.0))}, {"title", QVariant::fromValue(QDBusVariant(false))}}
        << none << QSizeF(150, 250) << false;
    QTest::newRow("bounds are inclusive") << QVariantMap{{"destinationFile", file}, {"width", 15000}, {"height", 150}, {"title", 0}}
                                          << none << QSizeF(15000, 150) << false;
    QTest::newRow("relative file") << QVariantMap{{"destinationFile", "graph.png"}} << invalid << QSizeF() << true;
    QTest::newRow("remote URL") << QVariantMap{{"destinationFile", "https://example.org/g.png"}} << invalid << QSizeF() << true;
    QTest::newRow("no file") << QVariantMap{{"width", 300}} << invalid << QSizeF() << true;
    QTest::newRow("not a number") << QVariantMap{{"destinationFile", file}, {"height", "high"}} << invalid << QSizeF() << true;
    QTest::newRow("infinite") << QVariantMap{{"destinationFile", file}, {"width", qInf()}} << invalid << QSizeF() << true;
    // Only given values are held to the bounds: a squeezed graph's own size is taken as it is.
    QTest::newRow("small default") << QVariantMap{{"destinationFile", file}, {"width", 400}} << none << QSizeF(400, 100) << true;
}

void tst_KLVRRWCScriptingRules::exportArgumentsAreReadWhateverTheirType()
{
    QFETCH(QVariantMap, arguments);
    QFETCH(int, error);
    QFETCH(QSizeF, size);
    QFETCH(bool, titled);
    const QSizeF graph = QByteArray(QTest::currentDataTag()) == "small default" ? QSizeF(150, 100) : QSizeF(700, 250);
    KLVRRWCScriptingExport::Request request;
    const KLVRRWCScriptingError refused = KLVRRWCScriptingExport::readArguments(arguments, graph, request);
    QCOMPARE(int(refused.kind), error);
    if (refused.isError())
        return;
    QCOMPARE(QSizeF(request.width, request.height), size);
    QCOMPARE(request.titled, titled);
    QCOMPARE(request.destinationFile, QStringLiteral("/tmp/graph.png"));
}

QTEST_GUILESS_MAIN(tst_KLVRRWCScriptingRules)
#include "tst_KLVRRWCScriptingRules.moc"

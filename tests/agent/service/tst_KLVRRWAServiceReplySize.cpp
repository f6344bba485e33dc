// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A full store does not fit one message of the system bus: the agent must refuse such a read
// rather than send it and lose its connection.
#include "KLVRAgentProcess.h"
#include "KLVRRWAEventSizes.h"
#include "KLVRRWAEventTable.h"

#include <QFileInfo>
#include <QSet>
#include <QTest>
#include <cmath>
#include <sqlite3.h>

namespace {

// Events of the given dates, each with one entry of the given bytes.
KLVRRWAEventSizes sizesOf(const QList<int> &dates, qint64 bytes)
{
    KLVRRWAEventSizes sizes;
    for (const int date : dates) {
        sizes.beginEvent(QString::number(date));
        sizes.addEntry(4, bytes);
    }
    return sizes;
}

} // namespace

class tst_KLVRRWAServiceReplySize : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The cap is only as good as the size estimate: each text must count its UTF-8 bytes,
    // across the four-unit steps of the ASCII fast path.
    void replySizeCountsUtf8Bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("three ASCII") << QStringLiteral("abc");
        QTest::newRow("nine ASCII") << QStringLiteral("abcdefghi");
        QTest::newRow("accent after a block") << QStringLiteral("abcd\u00e9");
        QTest::newRow("accent inside a block") << QStringLiteral("ab\u00e9defgh");
        QTest::newRow("CJK") << QStringLiteral("\u4e2d\u6587\u6587\u4ef6\u5939");
        QTest::newRow("emoji across blocks") << QStringLiteral("abc\U0001F600defg\U0001F4A4");
    }
    void replySizeCountsUtf8Bytes()
    {
        QFETCH(QString, text);
        const auto table = [](const QString &value) {
            return KLVRRWAEventTable::fromList({{{QStringLiteral("id"), value}}});
        };
        QCOMPARE(table(text).marshalledSize() - table(QString()).marshalledSize(), qint64(text.toUtf8().size()));
    }

    // Where an answer would end inside a run of events that share a date, it ends before the
    // run instead: a range cannot end between them.
    void splitDatesNeverFallInsideOneDate_data()
    {
        QTest::addColumn<QList<int>>("dates");
        QTest::addColumn<int>("eventsPerPart");
        QTest::addColumn<QStringList>("ends");
        QTest::newRow("distinct dates") << QList<int>{1, 2, 3, 4, 5, 6, 7} << 3 << QStringList{"3", "6"};
        QTest::newRow("a date across the first boundary") << QList<int>{1, 2, 3, 3, 4, 5, 6} << 3 << QStringList{"2", "4"};
        QTest::newRow("a date ending at the boundary") << QList<int>{1, 2, 2, 3, 4, 5, 6} << 3 << QStringList{"2", "5"};
        QTest::newRow("a date filling a part") << QList<int>{1, 1, 1, 2, 2, 2, 3} << 3 << QStringList{"1", "2"};
        QTest::newRow("one date too large for a part") << QList<int>{1, 2, 2, 2, 2, 3} << 3 << QStringList{"1"};
        QTest::newRow("everything fits") << QList<int>{1, 1, 2} << 3 << QStringList{};
    }
    void splitDatesNeverFallInsideOneDate()
    {
        QFETCH(QList<int>, dates);
        QFETCH(int, eventsPerPart);
        QFETCH(QStringList, ends);
        constexpr qint64 kBytes = 1000;
        const KLVRRWAEventSizes sizes = sizesOf(dates, kBytes);
        const qint64 partBytes = sizesOf(QList<int>(eventsPerPart, 0), kBytes).bodyBytes();
        QCOMPARE(sizes.eventsFitting(0, partBytes), qMin(qsizetype(eventsPerPart), dates.size()));
        QCOMPARE(sizes.fittingRangeEnds(partBytes, 64), ends);
        QCOMPARE(sizes.fittingRangeEnds(partBytes, 1), ends.mid(0, 1));
    }

    // The count from stored bytes and the table built from them agree on the reply's size.
    void sizesAgreeWithTheBuiltTable()
    {
        KLVRRWAEventTable table;
        KLVRRWAEventSizes sizes;
        const QStringList values{QStringLiteral("818360441.509829"), QStringLiteral("r\u00e9veil \U0001F4A4"), QString(),
                                 QString(1001, QLatin1Char('x'))};
        for (int event = 0; event < 5; ++event) {
            table.beginEvent();
            sizes.beginEvent(values.at(0));
            for (int i = 0; i <= event % 4; ++i) {
                const QString key = QStringLiteral("key%1").arg(i);
                table.append(key, values.at(i));
                sizes.addEntry(key.toUtf8().size(), values.at(i).toUtf8().size());
            }
        }
        QCOMPARE(sizes.bodyBytes(), table.marshalledSize());
        QCOMPARE(sizes.eventsFitting(0, sizes.bodyBytes()), qsizetype(5));
        QCOMPARE(sizes.eventsFitting(0, sizes.bodyBytes() - 1), qsizetype(4));
    }

    // A full store with runs of events of one date: the split dates of the TooLarge answer give
    // ranges that each fit, and together hold every row once.
    void splitRangesHoldEveryEventOnce()
    {
        KLVRTestBus bus(KLVRTestBus::Limits::System);
        QVERIFY(bus.start());
        KLVRAgentProcess agent(bus);
        const double firstDate = 700000000.0;
        QVERIFY(KLVRAgentProcess::writeStore(agent.userStorePath(), 10001, 3, 300, firstDate));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(agent.userStorePath()).constData(), &db), SQLITE_OK);
        // Runs of four events share a date.
        QCOMPARE(sqlite3_exec(db, "UPDATE events SET date = 700000000.0 + 60.0 * ((id - 1) / 4);", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        QVERIFY(agent.start());

        const QDBusMessage all = agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                            QStringLiteral("sortedEventsFromDate"), {std::nan(""), std::nan("")});
        QCOMPARE(all.errorName(), QStringLiteral("com.klvr.restwatch.Error.TooLarge"));
        const QString message = all.errorMessage();
        const qsizetype lead = message.lastIndexOf(QStringLiteral("Answers that fit end at: "));
        QVERIFY(lead >= 0);
        const QStringList ends = message.mid(lead + 25).split(QStringLiteral(", "));
        QVERIFY2(ends.size() > 2, qPrintable(message));

        QSet<QString> ids;
        QSet<QString> partDates;
        double from = std::nan("");
        for (qsizetype part = 0; part <= ends.size(); ++part) {
            const double to = part < ends.size() ? ends.at(part).toDouble() : std::nan("");
            const QDBusMessage answer = agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                                   QStringLiteral("sortedEventsFromDate"), {from, to});
            QVERIFY2(answer.type() == QDBusMessage::ReplyMessage, qPrintable(answer.errorMessage()));
            const KLVRRWAEventList events = qdbus_cast<KLVRRWAEventList>(answer.arguments().value(0));
            QVERIFY(!events.isEmpty());
            QSet<QString> dates;
            for (const KLVRRWAEvent &event : events) {
                QVERIFY2(!ids.contains(event.value(QStringLiteral("id"))), "an event came twice");
                ids.insert(event.value(QStringLiteral("id")));
                dates.insert(event.value(QStringLiteral("date")));
            }
            QVERIFY2(!dates.intersects(partDates), "one date was split between two answers");
            partDates += dates;
            if (part < ends.size())
                from = to + 0.000001;
        }

        // Every row the store holds came once (the agent's own events pushed the oldest out); the
        // agent writes nothing more until it stops.
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(agent.userStorePath()).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *select = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT id FROM events", -1, &select, nullptr), SQLITE_OK);
        QSet<QString> stored;
        while (sqlite3_step(select) == SQLITE_ROW)
            stored.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(select, 0))));
        sqlite3_finalize(select);
        sqlite3_close(db);
        QCOMPARE(ids.size(), stored.size());
        QCOMPARE(ids, stored);
        QCOMPARE(agent.stop(), 0);
    }

    void refusesRepliesTooLargeForTheSystemBus()
    {
        KLVRTestBus bus(KLVRTestBus::Limits::System);
        QVERIFY(bus.start());
        KLVRAgentProcess agent(bus);
        const double firstDate = 700000000.0;
        QVERIFY(KLVRAgentProcess::writeStore(agent.userStorePath(), 10001, 3, 300, firstDate));
        QVERIFY(QFileInfo(agent.userStorePath()).size() > 32 * 1024 * 1024);
        QVERIFY(agent.start());

        const QDBusMessage all = agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                            QStringLiteral("sortedEventsFromDate"), {std::nan(""), std::nan("")});
        QCOMPARE(all.errorName(), QStringLiteral("com.klvr.restwatch.Error.TooLarge"));

        // Still connected and serving: a smaller range comes back whole. (The agent's own first
        // events pushed the oldest rows out, so the range lies in the middle.)
        QCOMPARE(agent.version(), QStringLiteral("244"));
        const QDBusMessage part = agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                             QStringLiteral("sortedEventsFromDate"),
                                             {firstDate + 60.0 * 5001, firstDate + 60.0 * 6000});
        QCOMPARE(part.type(), QDBusMessage::ReplyMessage);
        const KLVRRWAEventList events = qdbus_cast<KLVRRWAEventList>(part.arguments().value(0));
        QCOMPARE(events.size(), 1000);
        QCOMPARE(events.first().value(QStringLiteral("id")), QStringLiteral("5002"));
        QVERIFY(events.first().value(QStringLiteral("properties")).contains(QStringLiteral("<string>systemd</string>")));
        QCOMPARE(agent.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAServiceReplySize)
#include "tst_KLVRRWAServiceReplySize.moc"

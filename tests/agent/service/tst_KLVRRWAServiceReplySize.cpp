// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A full store does not fit one message of the system bus: the agent must refuse such a read
// rather than send it and lose its connection.
#include "KLVRAgentProcess.h"
#include "KLVRRWAEventTable.h"

#include <QFileInfo>
#include <QTest>
#include <cmath>

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

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAEventTable.h"
#include "KLVRTestBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

// Receives event lists through QtDBus's registered reader, as the client's replies are read.
class EventSink : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.klvr.restwatch.test.EventSink")

public:
    KLVRRWAEventList received;
    // The same argument read back as the flat table.
    KLVRRWAEventTable receivedTable;
    int calls = 0;

public Q_SLOTS:
    // Spelled out: QtDBus matches slot parameters by the registered type's name, not an alias.
    Q_SCRIPTABLE void take(const QList<QMap<QString, QString>> &events, const QDBusMessage &message)
    {
        received = events;
        receivedTable = qdbus_cast<KLVRRWAEventTable>(message.arguments().value(0));
        ++calls;
    }
};

class TestRWAEventList : public QObject
{
    Q_OBJECT

private:
    KLVRTestBus m_bus;

private Q_SLOTS:
    void initTestCase()
    {
        KLVRRWAEventTable::registerMetaType();
        QVERIFY(m_bus.start());
    }

    void eventsCrossTheBusUnchanged_data()
    {
        QTest::addColumn<KLVRRWAEventList>("events");
        QTest::addColumn<bool>("asTable");
        const KLVRRWAEvent stored{{"id", "7"},
                                  {"date", "790000000.123456"},
                                  {"monitor", "com.klvr.monitor.watcher.powerevents"},
                                  {"description", "Can system sleep"},
                                  {"properties", "<?xml version=\"1.0\"?><plist><dict><key>\u00e9t\u00e9 \U0001F50B</key></dict></plist>"}};
        const KLVRRWAEventList rows{stored, {{"id", "8"}, {"date", "1.0e-06"}, {"monitor", "m"}, {"description", "d"}, {"properties", "NULL"}}};
        // Keys that only resemble the five, or are missing, must come back as sent.
        const KLVRRWAEventList otherKeys{{{"id", "1"}, {"prop", "p"}, {"properties ", "q"}, {"Date", "D"}, {"zzz", ""}},
                                         {{"description", ""}},
                                         {}};
        for (const bool asTable : {false, true}) {
            const char *sender = asTable ? "sent as a table" : "sent as a list";
            QTest::addRow("rows as the store returns them, %s", sender) << rows << asTable;
            QTest::addRow("other and missing keys, %s", sender) << otherKeys << asTable;
            QTest::addRow("no events, %s", sender) << KLVRRWAEventList{} << asTable;
        }
    }

    void eventsCrossTheBusUnchanged()
    {
        QFETCH(KLVRRWAEventList, events);
        QFETCH(bool, asTable);
        QDBusConnection receiver = m_bus.connection(QStringLiteral("receiver"));
        EventSink sink;
        QVERIFY(receiver.registerObject(QStringLiteral("/sink"), &sink, QDBusConnection::ExportScriptableSlots));
        QDBusMessage call = QDBusMessage::createMethodCall(receiver.baseService(), QStringLiteral("/sink"),
                                                           QStringLiteral("com.klvr.restwatch.test.EventSink"),
                                                           QStringLiteral("take"));
        call << (asTable ? QVariant::fromValue(KLVRRWAEventTable::fromList(events)) : QVariant::fromValue(events));
        call.setAutoStartService(false);
        QVERIFY(m_bus.connection(QStringLiteral("sender")).send(call));
        QTRY_COMPARE(sink.calls, 1);
        QCOMPARE(sink.received, events);
        QCOMPARE(sink.receivedTable.toList(), events);
        receiver.unregisterObject(QStringLiteral("/sink"));
    }
};

QTEST_GUILESS_MAIN(TestRWAEventList)
#include "tst_rwaeventlist.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAEventList.h"
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
    int calls = 0;

public Q_SLOTS:
    // Spelled out: QtDBus matches slot parameters by the registered type's name, not an alias.
    Q_SCRIPTABLE void take(const QList<QMap<QString, QString>> &events)
    {
        received = events;
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
        KLVRRWARegisterEventListType();
        QVERIFY(m_bus.start());
    }

    void eventsCrossTheBusUnchanged_data()
    {
        QTest::addColumn<KLVRRWAEventList>("events");
        const KLVRRWAEvent stored{{"id", "7"},
                                  {"date", "790000000.123456"},
                                  {"monitor", "com.klvr.monitor.watcher.powerevents"},
                                  {"description", "Can system sleep"},
                                  {"properties", "<?xml version=\"1.0\"?><plist><dict><key>\u00e9t\u00e9 \U0001F50B</key></dict></plist>"}};
        QTest::newRow("rows as the store returns them")
            << KLVRRWAEventList{stored, {{"id", "8"}, {"date", "1.0e-06"}, {"monitor", "m"}, {"description", "d"}, {"properties", "NULL"}}};
        // Keys that only resemble the five, or are missing, must come back as sent.
        QTest::newRow("other and missing keys")
            << KLVRRWAEventList{{{"id", "1"}, {"prop", "p"}, {"properties ", "q"}, {"Date", "D"}, {"zzz", ""}},
                                {{"description", ""}},
                                {}};
        QTest::newRow("no events") << KLVRRWAEventList{};
    }

    void eventsCrossTheBusUnchanged()
    {
        QFETCH(KLVRRWAEventList, events);
        QDBusConnection receiver = m_bus.connection(QStringLiteral("receiver"));
        EventSink sink;
        QVERIFY(receiver.registerObject(QStringLiteral("/sink"), &sink, QDBusConnection::ExportScriptableSlots));
        QDBusMessage call = QDBusMessage::createMethodCall(receiver.baseService(), QStringLiteral("/sink"),
                                                           QStringLiteral("com.klvr.restwatch.test.EventSink"),
                                                           QStringLiteral("take"));
        call << QVariant::fromValue(events);
        call.setAutoStartService(false);
        QVERIFY(m_bus.connection(QStringLiteral("sender")).send(call));
        QTRY_COMPARE(sink.calls, 1);
        QCOMPARE(sink.received, events);
        receiver.unregisterObject(QStringLiteral("/sink"));
    }
};

QTEST_GUILESS_MAIN(TestRWAEventList)
#include "tst_rwaeventlist.moc"

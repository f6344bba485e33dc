// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The agent program end to end on a private bus: its services, its change notices, its signals,
// a second copy, and bad input from callers.
#include "KLVRAgentProcess.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAEventList.h"
#include "KLVRTestUpdateReceiver.h"
#include "klvrrwaupdateprotocol_adaptor.h"

#include <QCryptographicHash>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QDBusPendingCall>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cmath>
#include <limits>

namespace {
const QString StoreName = QStringLiteral("com.klvr.restwatch._store");
const QString StorePath = QStringLiteral("/com/klvr/restwatch/store");
const QString InvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString UnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString LimitsExceeded = QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");
const double NaN = std::nan("");
const double Inf = std::numeric_limits<double>::infinity();

QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256) : QByteArray();
}
} // namespace

class tst_KLVRRWAgent : public QObject
{
    Q_OBJECT

private:
    // Makes the agent queue new events (logind announces a sleep or a wake) and write them.
    void writeBatch(KLVRAgentProcess &agent, bool sleeping)
    {
        const int before = agent.eventCount();
        m_bus->call(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"),
                    {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                     QStringLiteral("b"), QVariant::fromValue(QVariantList{sleeping})});
        QTRY_VERIFY_WITH_TIMEOUT(agent.eventCount() > before, 5000);
    }

    static QDBusMessage registration(const QString &name)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(KLVRAgentProcess::EventService, KLVRAgentProcess::ObjectPath,
                                                              KLVRAgentProcess::EventInterface,
                                                              QStringLiteral("registerForEventUpdates"));
        message << name;
        return message;
    }

    // Serves receiver's eventsDidChange on client at the path the agent calls back.
    static bool exportReceiver(QDBusConnection &client, KLVRTestUpdateReceiver &receiver)
    {
        new KLVRRWAUpdateProtocolAdaptor(&receiver);
        return client.registerObject(StorePath, &receiver, QDBusConnection::ExportAdaptors);
    }

    std::unique_ptr<KLVRTestBus> m_bus;

private Q_SLOTS:
    void init()
    {
        m_bus = std::make_unique<KLVRTestBus>(KLVRTestBus::Limits::System);
        QVERIFY(m_bus->start());
    }
    void cleanup() { m_bus.reset(); }

    void servesVersionsAndItsOwnStart()
    {
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        QCOMPARE(agent.version(), QStringLiteral("244"));
        const QDBusMessage housekeeping = agent.call(KLVRAgentProcess::HousekeepingService,
                                                     KLVRAgentProcess::HousekeepingInterface, QStringLiteral("version"));
        QCOMPARE(housekeeping.arguments().value(0).toString(), QStringLiteral("244"));

        const QDBusMessage reply = agent.call(KLVRAgentProcess::EventService, KLVRAgentProcess::EventInterface,
                                              QStringLiteral("sortedEventsFromDate"), {NaN, NaN});
        QCOMPARE(reply.signature(), QStringLiteral("aa{ss}"));
        const KLVRRWAEventList events = qdbus_cast<KLVRRWAEventList>(reply.arguments().value(0));
        const auto start = std::find_if(events.cbegin(), events.cend(), [](const KLVRRWAEvent &event) {
            return event.value(QStringLiteral("description")) == QLatin1String("Starting monitor");
        });
        QVERIFY(start != events.cend());
        QCOMPARE(start->value(QStringLiteral("monitor")), QStringLiteral("com.klvr.restwatch"));
        QCOMPARE(start->value(QStringLiteral("properties")), QStringLiteral("NULL"));
        QCOMPARE(agent.stop(), 0);
    }

    void stoppingSignalsEndCleanly_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM};
        QTest::newRow("SIGINT") << QList<int>{SIGINT};
        QTest::newRow("SIGHUP") << QList<int>{SIGHUP};
        QTest::newRow("SIGQUIT") << QList<int>{SIGQUIT};
        QTest::newRow("two in quick succession") << QList<int>{SIGTERM, SIGTERM};
    }
    void stoppingSignalsEndCleanly()
    {
        QFETCH(QList<int>, sent);
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        QVERIFY(agent.eventCount() > 0);
        for (int i = 0; i < sent.size() - 1; ++i)
            if (const pid_t target = pid_t(agent.process().processId()); target > 0) // kill(0) would end the whole test run
                ::kill(target, sent.at(i));
        QCOMPARE(agent.stop(sent.last()), 0);

        QVERIFY(agent.output().contains(QStringLiteral("Caught signal: %1").arg(sent.first())));
        const QStringList stored = KLVRAgentProcess::storedEvents(agent.userStorePath());
        QCOMPARE(stored.last(), QStringLiteral("com.klvr.restwatch|Stopping monitor"));
        QCOMPARE(stored.count(QStringLiteral("com.klvr.restwatch|Stopping monitor")), 1);
    }

    void userSignalsChangeNothing()
    {
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        const int events = agent.eventCount();
        const auto pid = pid_t(agent.process().processId());
        QVERIFY(pid > 0);
        // A flood as well: it fills the signal socket faster than the loop drains it.
        for (int i = 0; i < 200000; ++i)
            ::kill(pid, i % 2 ? SIGUSR1 : SIGUSR2);
        QTRY_VERIFY(agent.output().contains(QStringLiteral("SIGUSR1/rotate signal caught")));
        QVERIFY(agent.output().contains(QStringLiteral("SIGUSR2/fetch signal caught")));
        QCOMPARE(agent.version(), QStringLiteral("244"));
        QCOMPARE(agent.process().state(), QProcess::Running);
        QCOMPARE(agent.eventCount(), events);
        QVERIFY(!agent.output().contains(QStringLiteral("Caught signal")));
        QCOMPARE(agent.stop(), 0);
    }

    void secondAgentLeavesAtOnceAndTouchesNothing()
    {
        KLVRAgentProcess first(*m_bus);
        QVERIFY(first.start());
        QVERIFY(first.eventCount() > 0);
        const QByteArray before = fileDigest(first.userStorePath());

        KLVRAgentProcess second(*m_bus, first.home());
        QVERIFY(second.start(QString(), false));
        QVERIFY(second.process().waitForFinished(10000));
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY2(!second.output().contains(QStringLiteral("Starting:")), qPrintable(second.output()));

        QCOMPARE(fileDigest(first.userStorePath()), before);
        QCOMPARE(first.version(), QStringLiteral("244"));
        QCOMPARE(first.stop(), 0);
    }

    void notifiesRegisteredClientsAtMostOncePerSecond()
    {
        QVERIFY(m_bus->startMock(QStringLiteral("logind")));
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());

        QDBusConnection client = m_bus->connection();
        KLVRTestUpdateReceiver receiver;
        QVERIFY(exportReceiver(client, receiver));
        QVERIFY(client.registerService(StoreName));
        QVERIFY(agent.eventCount() > 0); // the start's own batch, written before the client registers
        // Registered by the connection that owns the name; nobody else may register it.
        QDBusConnection stranger = m_bus->connection(QStringLiteral("klvr-test-caller"));
        QCOMPARE(stranger.call(registration(StoreName)).errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
        QVERIFY(client.send(registration(StoreName)));
        QTest::qWait(1100); // past the interval after the start's own notice
        writeBatch(agent, false);
        QTRY_COMPARE(receiver.notices, 1);
        QElapsedTimer sinceNotice;
        sinceNotice.start();

        writeBatch(agent, true);
        if (sinceNotice.elapsed() < 800) {
            QTest::qWait(300);
            QCOMPARE(receiver.notices, 1);
        } else {
            qWarning("the machine is too slow to check the one-second interval");
        }

        QTest::qWait(1100);
        writeBatch(agent, false);
        QTRY_COMPARE(receiver.notices, 2);

        // Gone at the next round: forgotten, even when the name comes back.
        QVERIFY(client.unregisterService(StoreName));
        QTest::qWait(1100);
        writeBatch(agent, true);
        QVERIFY(client.registerService(StoreName));
        QTest::qWait(1100);
        writeBatch(agent, false);
        QTest::qWait(500);
        QCOMPARE(receiver.notices, 2);

        QVERIFY(client.send(registration(StoreName)));
        QTest::qWait(1100);
        writeBatch(agent, true);
        QTRY_COMPARE(receiver.notices, 3);
        QCOMPARE(agent.stop(), 0);
    }

    void registrationFloodDoesNotStarveClients()
    {
        QVERIFY(m_bus->startMock(QStringLiteral("logind")));
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        QDBusConnection flooder = m_bus->connection();
        for (int i = 0; i < 10000; ++i)
            flooder.send(registration(QStringLiteral("org.example.flood.n%1").arg(i)));
        QCOMPARE(agent.version(), QStringLiteral("244"));

        QDBusConnection client = m_bus->connection();
        KLVRTestUpdateReceiver receiver;
        QVERIFY(exportReceiver(client, receiver));
        // A client may register its unique name.
        QCOMPARE(client.call(registration(client.baseService())).errorName(), QString());
        QTest::qWait(1100); // past the interval after the start's own notice
        writeBatch(agent, true);
        QTRY_VERIFY2(receiver.notices == 1, qPrintable(agent.output().right(3000)));
        QCOMPARE(agent.stop(), 0);
    }

    void callersAreBoundedByTheirBusName()
    {
        QVERIFY(m_bus->startMock(QStringLiteral("logind")));
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(KLVRAgentProcess::writeStore(agent.userStorePath(), 2000, 30, 20, 700000000.0));
        QVERIFY(agent.start());

        // Several reads at once from one caller: one is served, the rest are refused at once.
        QDBusConnection reader = m_bus->connection();
        QList<QDBusPendingCall> reads;
        for (int i = 0; i < 6; ++i) {
            QDBusMessage read = QDBusMessage::createMethodCall(KLVRAgentProcess::EventService, KLVRAgentProcess::ObjectPath,
                                                               KLVRAgentProcess::EventInterface,
                                                               QStringLiteral("sortedEventsFromDate"));
            read << NaN << NaN;
            reads.append(reader.asyncCall(read, 20000));
        }
        int served = 0, refused = 0;
        for (QDBusPendingCall &read : reads) {
            read.waitForFinished();
            served += read.isError() ? 0 : 1;
            refused += read.error().name() == LimitsExceeded ? 1 : 0;
        }
        QVERIFY(served >= 1);
        QCOMPARE(served + refused, 6);
        QVERIFY(refused >= 1);

        // A registration belongs to the name's owner: a stranger can neither make nor undo it.
        QDBusConnection client = m_bus->connection();
        KLVRTestUpdateReceiver receiver;
        QVERIFY(exportReceiver(client, receiver));
        QVERIFY(client.registerService(StoreName));
        QDBusConnection stranger = m_bus->connection();
        QCOMPARE(stranger.call(registration(StoreName)).errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
        QCOMPARE(stranger.call(registration(client.baseService())).errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
        QCOMPARE(client.call(registration(StoreName)).errorName(), QString());
        QDBusMessage unregister = QDBusMessage::createMethodCall(KLVRAgentProcess::EventService, KLVRAgentProcess::ObjectPath,
                                                                 KLVRAgentProcess::EventInterface,
                                                                 QStringLiteral("unregisterForEventUpdates"));
        unregister << StoreName;
        QCOMPARE(stranger.call(unregister).errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
        QTest::qWait(1100);
        writeBatch(agent, true);
        QTRY_COMPARE(receiver.notices, 1);
        QVERIFY(agent.output().contains(QStringLiteral("a name it does not own")));
        QCOMPARE(agent.stop(), 0);
    }

    void defaultsStayBoundedAndAreWrittenOnlyOnChange()
    {
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        const auto setDefaults = [&](const QVariantMap &values) {
            return agent.call(KLVRAgentProcess::HousekeepingService, KLVRAgentProcess::HousekeepingInterface,
                              QStringLiteral("setDefaultsWithDictionary"), {values});
        };
        QVariantMap large;
        for (int i = 0; i < 10; ++i)
            large.insert(QStringLiteral("large%1").arg(i), QString(12000, QLatin1Char('x')));
        QCOMPARE(setDefaults(large).errorName(), LimitsExceeded);
        QTRY_VERIFY(QFileInfo::exists(agent.defaultsPath()));
        QVERIFY(QFileInfo(agent.defaultsPath()).size() <= 70 * 1024);
        const QVariantMap stored = KLVRPropertyList::readFile(agent.defaultsPath()).toMap();
        QVERIFY(!stored.isEmpty() && stored.size() < large.size());

        // The same values again change nothing, so the file is not written again.
        QTest::qWait(1100);
        const QDateTime written = QFileInfo(agent.defaultsPath()).lastModified();
        QVariantMap same;
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            same.insert(it.key(), it.value());
        QCOMPARE(setDefaults(same).errorName(), QString());
        QTest::qWait(1200);
        QCOMPARE(QFileInfo(agent.defaultsPath()).lastModified(), written);
        QCOMPARE(QFileInfo(agent.defaultsPath()).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(agent.stop(), 0);
    }

    void badInputKeepsServing_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("error"); // empty: answered normally

        const QString events = KLVRAgentProcess::EventService;
        const QString housekeeping = KLVRAgentProcess::HousekeepingService;
        QTest::newRow("missing dates") << events << "sortedEventsFromDate" << QVariantList{NaN, NaN} << QString();
        QTest::newRow("text dates") << events << "sortedEventsFromDate" << QVariantList{"today", 1.0} << UnknownMethod;
        QTest::newRow("no dates") << events << "sortedEventsFromDate" << QVariantList{} << UnknownMethod;
        QTest::newRow("infinite start") << events << "sortedEventsFromDate" << QVariantList{Inf, NaN} << InvalidArgs;
        QTest::newRow("infinite end") << events << "sortedEventsFromDate" << QVariantList{0.0, -Inf} << InvalidArgs;
        QTest::newRow("unknown method") << events << "dropEvents" << QVariantList{} << UnknownMethod;
        QTest::newRow("empty callback name") << events << "registerForEventUpdates" << QVariantList{""} << InvalidArgs;
        QTest::newRow("callback name without dots") << events << "registerForEventUpdates" << QVariantList{"store"} << InvalidArgs;
        QTest::newRow("callback element with a digit first") << events << "registerForEventUpdates"
                                                             << QVariantList{"com.1klvr.store"} << InvalidArgs;
        QTest::newRow("enormous callback name") << events << "registerForEventUpdates"
                                                << QVariantList{QString(1 << 20, QLatin1Char('a')) + ".b"} << InvalidArgs;
        QTest::newRow("callback name as a number") << events << "registerForEventUpdates" << QVariantList{42} << UnknownMethod;
        QTest::newRow("unregister a stranger") << events << "unregisterForEventUpdates" << QVariantList{"org.example.x"} << QString();
        QTest::newRow("form as text") << housekeeping << "removeAgentFiles" << QVariantList{"form"} << UnknownMethod;
        QTest::newRow("defaults as text") << housekeeping << "setDefaultsWithDictionary" << QVariantList{"x"} << UnknownMethod;

        QVariantMap many;
        for (int i = 0; i < 300; ++i)
            many.insert(QStringLiteral("key%1").arg(i), i);
        QTest::newRow("too many defaults") << housekeeping << "setDefaultsWithDictionary" << QVariantList{many} << LimitsExceeded;
        QTest::newRow("default with an empty key") << housekeeping << "setDefaultsWithDictionary"
                                                   << QVariantList{QVariantMap{{"", 1}}} << InvalidArgs;
        QDBusArgument structure;
        structure.beginStructure();
        structure << 1 << QStringLiteral("two");
        structure.endStructure();
        QTest::newRow("default holding a structure") << housekeeping << "setDefaultsWithDictionary"
                                                     << QVariantList{QVariantMap{{"pair", QVariant::fromValue(structure)}}} << InvalidArgs;
        QTest::newRow("default holding a descriptor") << housekeeping << "setDefaultsWithDictionary"
                                                      << QVariantList{QVariantMap{{"fd", QVariant::fromValue(QDBusUnixFileDescriptor(0))}}}
                                                      << InvalidArgs;
    }
    void badInputKeepsServing()
    {
        QFETCH(QString, service);
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, error);
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        const QString interface = service == KLVRAgentProcess::EventService ? KLVRAgentProcess::EventInterface
                                                                            : KLVRAgentProcess::HousekeepingInterface;
        const QDBusMessage reply = agent.call(service, interface, method, arguments);
        QCOMPARE(reply.errorName(), error);
        QCOMPARE(agent.version(), QStringLiteral("244"));
        QCOMPARE(agent.stop(), 0);
    }

    void defaultsKeepOnlyStorableValues()
    {
        KLVRAgentProcess agent(*m_bus);
        QVERIFY(agent.start());
        const QVariantMap nested{{QStringLiteral("inner"), QVariantList{1, QStringLiteral("two"), true}}};
        const QVariantMap defaults{{QStringLiteral("count"), 3},
                                   {QStringLiteral("name"), QStringLiteral("Rest Watch")},
                                   {QStringLiteral("nested"), nested},
                                   {QStringLiteral("group/key"), 1},
                                   {QStringLiteral("descriptor"), QVariant::fromValue(QDBusUnixFileDescriptor(0))}};
        const QDBusMessage reply = agent.call(KLVRAgentProcess::HousekeepingService, KLVRAgentProcess::HousekeepingInterface,
                                              QStringLiteral("setDefaultsWithDictionary"), {defaults});
        QCOMPARE(reply.errorName(), InvalidArgs);
        QVERIFY(reply.errorMessage().contains(QStringLiteral("group/key")));

        const QVariantMap stored = KLVRPropertyList::readFile(agent.defaultsPath()).toMap();
        QCOMPARE(stored.keys(), (QStringList{QStringLiteral("count"), QStringLiteral("name"), QStringLiteral("nested")}));
        QCOMPARE(stored.value(QStringLiteral("count")).toLongLong(), 3);
        QCOMPARE(stored.value(QStringLiteral("nested")).toMap().value(QStringLiteral("inner")).toList().size(), 3);
        QCOMPARE(agent.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAgent)
#include "tst_KLVRRWAgent.moc"

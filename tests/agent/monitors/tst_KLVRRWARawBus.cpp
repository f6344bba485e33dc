// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The sleep path's own libdbus connection on a private bus: what its signals and answers turn
// into, named errors, and signals that come in while a call waits.
#include "KLVRRWARawBus.h"
#include "KLVRTestBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <QtTest>

namespace {

const QString kInterface = QStringLiteral("com.klvr.restwatch.Test");
const QString kPath = QStringLiteral("/com/klvr/restwatch/Test");

struct Received
{
    QString member;
    QVariantList arguments;
};

} // namespace

class tst_KLVRRWARawBus : public QObject
{
    Q_OBJECT

    std::unique_ptr<KLVRTestBus> m_bus;
    std::unique_ptr<KLVRRWARawBus> m_raw;
    QList<Received> m_received;
    int m_wakeUps = 0;

    void emitSignal(const QString &member, const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, member);
        message.setArguments(arguments);
        QVERIFY(m_bus->connection(QStringLiteral("sender")).send(message));
    }

private Q_SLOTS:
    void init()
    {
        m_bus = std::make_unique<KLVRTestBus>();
        QVERIFY(m_bus->start());
        m_raw = std::make_unique<KLVRRWARawBus>(m_bus->address());
        QVERIFY2(m_raw->open(), qPrintable(m_raw->lastErrorMessage()));
        QVERIFY(m_raw->addMatch(QStringLiteral("type='signal',interface='%1'").arg(kInterface)));
        m_received.clear();
        m_wakeUps = 0;
        m_raw->setSignalHandler([this](const QString &interface, const QString &member, const QVariantList &arguments) {
            if (interface == kInterface)
                m_received.append({member, arguments});
        });
        m_raw->dispatch(); // the bus's own greeting
        m_raw->setWakeUpHandler([this] { ++m_wakeUps; });
    }
    void cleanup()
    {
        m_raw.reset();
        m_bus.reset();
    }

    // logind's idle hint is a uint64 in a variant in a dictionary, inhibitors and jobs are
    // arrays of structures: each must come out as the monitor reads it.
    void signalArgumentsBecomeQtValues_data()
    {
        QTest::addColumn<QVariantList>("sent");
        QTest::addColumn<QVariantList>("expected");
        QTest::newRow("boolean") << QVariantList{true} << QVariantList{true};
        QTest::newRow("text with umlaut") << QVariantList{QStringLiteral("Kaffeemaschine \u00e4")}
                                          << QVariantList{QStringLiteral("Kaffeemaschine \u00e4")};
        QTest::newRow("numbers of every width")
            << QVariantList{QVariant::fromValue<uchar>(7), QVariant::fromValue<qint16>(-3), QVariant::fromValue<quint16>(65535),
                            -70000, 4000000000u, qint64(-5000000000), quint64(1733600000123456ull), 2.5}
            << QVariantList{7u, -3, 65535u, -70000, 4000000000u, qint64(-5000000000), quint64(1733600000123456ull), 2.5};
        QTest::newRow("dictionary of variants")
            << QVariantList{true, QVariantMap{{QStringLiteral("type"), QStringLiteral("reboot")},
                                              {QStringLiteral("IdleSinceHint"), quint64(1733600000123456ull)}}}
            << QVariantList{true, QVariantMap{{QStringLiteral("type"), QStringLiteral("reboot")},
                                              {QStringLiteral("IdleSinceHint"), quint64(1733600000123456ull)}}};
        QTest::newRow("list of texts") << QVariantList{QStringList{QStringLiteral("a"), QStringLiteral("b")}}
                                       << QVariantList{QVariantList{QStringLiteral("a"), QStringLiteral("b")}};
        QTest::newRow("empty list") << QVariantList{QStringList{}} << QVariantList{QVariantList{}};
        QTest::newRow("no arguments") << QVariantList{} << QVariantList{};
    }
    void signalArgumentsBecomeQtValues()
    {
        QFETCH(QVariantList, sent);
        QFETCH(QVariantList, expected);
        QSocketNotifier notifier(m_raw->socket(), QSocketNotifier::Read);
        connect(&notifier, &QSocketNotifier::activated, this, [this] { m_raw->dispatch(); });
        emitSignal(QStringLiteral("Values"), sent);
        QTRY_COMPARE(m_received.size(), 1);
        QCOMPARE(m_received.constFirst().member, QStringLiteral("Values"));
        const QVariantList arguments = m_received.constFirst().arguments;
        QCOMPARE(arguments.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(arguments.at(i).metaType(), expected.at(i).metaType());
            QCOMPARE(arguments.at(i), expected.at(i));
        }
    }

    // The bus's own answer comes back through the same conversion.
    void callAnswersWithItsArguments()
    {
        const std::optional<QVariantList> reply =
            m_raw->call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"),
                        {QStringLiteral("org.freedesktop.DBus")}, 1000);
        QVERIFY2(reply.has_value(), qPrintable(m_raw->lastErrorMessage()));
        QCOMPARE(*reply, QVariantList{QStringLiteral("org.freedesktop.DBus")});
    }

    // Calls sent together are answered each with its own reply, whatever the order they are
    // taken in, and an answer is taken only once.
    void sentCallsKeepTheirOwnAnswers()
    {
        const QString bus = QStringLiteral("org.freedesktop.DBus");
        const QString path = QStringLiteral("/org/freedesktop/DBus");
        const quint32 owner = m_raw->send(bus, path, bus, QStringLiteral("GetNameOwner"), {bus}, 1000);
        const quint32 missing = m_raw->send(bus, path, bus, QStringLiteral("GetNameOwner"),
                                            {QStringLiteral("org.freedesktop.login1")}, 1000);
        const quint32 id = m_raw->send(bus, path, bus, QStringLiteral("GetId"), {}, 1000);
        QVERIFY(owner != 0 && missing != 0 && id != 0);
        QVERIFY(owner != missing && missing != id);

        const std::optional<QVariantList> idAnswer = m_raw->answer(id);
        QVERIFY(idAnswer.has_value());
        QCOMPARE(idAnswer->value(0).toString().size(), 32);
        QVERIFY(!m_raw->answer(missing).has_value());
        QCOMPARE(m_raw->lastErrorName(), QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"));
        QCOMPARE(m_raw->answer(owner), std::optional<QVariantList>(QVariantList{bus}));
        QVERIFY(!m_raw->answer(owner).has_value());
    }

    // The monitor tells a missing logind ("recorded once it appears") from a refused lock by
    // the error's name.
    void missingServiceGivesItsNamedError()
    {
        const std::optional<QVariantList> reply =
            m_raw->call(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"),
                        {QStringLiteral("sleep"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("delay")}, 1000);
        QVERIFY(!reply.has_value());
        QCOMPARE(m_raw->lastErrorName(), QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"));
        QVERIFY(!m_raw->lastErrorMessage().isEmpty());
    }

    // A signal read off the socket while a call waited for its answer is no longer in the
    // socket: only the wake-up tells the owner to dispatch it, or the sleep goes unrecorded.
    void signalThatCameDuringACallIsNotLost()
    {
        emitSignal(QStringLiteral("PrepareForSleep"), {true});
        // Make sure the signal is on its way before the call's answer.
        QVERIFY(m_bus->connection(QStringLiteral("sender")).call(
                    QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                   QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")))
                    .type() == QDBusMessage::ReplyMessage);
        QVERIFY(m_raw->call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"), {}, 1000)
                    .has_value());
        QVERIFY(m_received.isEmpty());
        QVERIFY(m_wakeUps > 0);
        m_raw->dispatch();
        QCOMPARE(m_received.size(), 1);
        QCOMPARE(m_received.constFirst().member, QStringLiteral("PrepareForSleep"));
        QCOMPARE(m_received.constFirst().arguments, QVariantList{true});
    }

    void lostBusIsNoticedNotFatal()
    {
        QVERIFY(m_raw->isConnected());
        m_bus.reset(); // the daemon ends
        QTRY_VERIFY_WITH_TIMEOUT((m_raw->dispatch(), !m_raw->isConnected()), 5000);
        QVERIFY(!m_raw->call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"), {}, 1000)
                     .has_value());
    }

    void unreachableAddressFailsToOpen()
    {
        KLVRRWARawBus raw(QStringLiteral("unix:path=/nonexistent/restwatch-test-socket"));
        QVERIFY(!raw.open());
        QVERIFY(!raw.isConnected());
        QCOMPARE(raw.socket(), -1);
        QVERIFY(!raw.lastErrorMessage().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWARawBus)
#include "tst_KLVRRWARawBus.moc"

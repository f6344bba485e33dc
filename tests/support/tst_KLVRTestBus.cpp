// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The private bus the black-box suites stand on: it must come up, host the mocks, and hold the
// system bus's message size limit.
#include "KLVRTestBus.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QTest>

class Echo : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.klvr.restwatch.TestEcho")

public Q_SLOTS:
    int size(const QByteArray &data) { return int(data.size()); }
};

class TestKLVRTestBus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostsMockedLogind()
    {
        KLVRTestBus bus;
        QVERIFY(bus.start());
        QVERIFY(bus.startMock(QStringLiteral("logind")));
        const QDBusMessage reply = bus.call(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                            {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("IdleHint")});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    }

    void refusesMessagesOverTheSystemBusLimit()
    {
        KLVRTestBus bus;
        QVERIFY(bus.start());
        QDBusConnection receiver = bus.connection();
        Echo echo;
        QVERIFY(receiver.registerObject(QStringLiteral("/echo"), &echo, QDBusConnection::ExportAllSlots));
        QDBusConnection sender = bus.connection();
        const auto send = [&](int bytes) {
            QDBusMessage m = QDBusMessage::createMethodCall(receiver.baseService(), QStringLiteral("/echo"),
                                                            QStringLiteral("com.klvr.restwatch.TestEcho"), QStringLiteral("size"));
            m << QByteArray(bytes, 'x');
            return sender.asyncCall(m, 10000);
        };
        QDBusPendingCall small = send(1024 * 1024);
        QTRY_VERIFY_WITH_TIMEOUT(small.isFinished(), 10000);
        QVERIFY2(!small.isError(), qPrintable(small.error().message()));
        QCOMPARE(QDBusReply<int>(small.reply()).value(), 1024 * 1024);
        QDBusPendingCall large = send(33 * 1024 * 1024);
        QTRY_VERIFY_WITH_TIMEOUT(large.isFinished(), 10000);
        QVERIFY(large.isError());
    }
};

QTEST_GUILESS_MAIN(TestKLVRTestBus)
#include "tst_KLVRTestBus.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A hostile caller of the agent: floods one method from several connections for a while, each
// connection keeping several calls in flight (or sending one-way calls as fast as the bus takes
// them), and prints what came back. Run by the flood tests, as another user where they can.
//
//     restwatch_flood <bus address> <method> <seconds> <connections>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {

const QString kEvents = QStringLiteral("com.klvr.restwatch.agent");
const QString kHousekeeping = QStringLiteral("com.klvr.restwatch.agent._service");
const QString kPath = QStringLiteral("/com/klvr/restwatch/agent");
const QString kEventInterface = QStringLiteral("com.klvr.restwatch.KLVRRWAServiceProtocol");
const QString kHousekeepingInterface = QStringLiteral("com.klvr.restwatch.KLVRAgentServiceProtocol");
constexpr int kInFlight = 4;

QDBusMessage callFor(const QString &method, const QDBusConnection &bus, int serial)
{
    const auto events = [](const char *member) {
        return QDBusMessage::createMethodCall(kEvents, kPath, kEventInterface, QString::fromLatin1(member));
    };
    const auto housekeeping = [](const char *member) {
        return QDBusMessage::createMethodCall(kHousekeeping, kPath, kHousekeepingInterface, QString::fromLatin1(member));
    };
    QDBusMessage message;
    if (method == QLatin1String("version")) {
        message = events("version");
    } else if (method.startsWith(QLatin1String("read"))) {
        message = events("sortedEventsFromDate");
        message << std::nan("") << std::nan("");
    } else if (method == QLatin1String("register-own")) {
        message = events("registerForEventUpdates");
        message << bus.baseService();
    } else if (method == QLatin1String("register-foreign")) {
        message = events("registerForEventUpdates");
        message << QStringLiteral("com.klvr.restwatch._store");
    } else if (method == QLatin1String("unregister-foreign")) {
        message = events("unregisterForEventUpdates");
        message << QStringLiteral("com.klvr.restwatch._store");
    } else if (method == QLatin1String("housekeeping-version")) {
        message = housekeeping("version");
    } else if (method == QLatin1String("remove")) {
        message = housekeeping("removeAgentFiles");
        message << QByteArray(32, 'x');
    } else if (method.startsWith(QLatin1String("defaults"))) {
        // Always a change, and heavy: a value of some kilobytes per key.
        message = housekeeping("setDefaultsWithDictionary");
        QVariantMap values;
        for (int i = 0; i < 8; ++i)
            values.insert(QStringLiteral("flood%1").arg(i), QString(4000, QLatin1Char('a' + (serial + i) % 26)));
        message << values;
    }
    return message;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: restwatch_flood <bus address> <method> <seconds> <connections>\n");
        return 2;
    }
    const QString address = arguments.at(1);
    const QString method = arguments.at(2);
    const int milliseconds = int(arguments.at(3).toDouble() * 1000);
    const int connections = arguments.at(4).toInt();
    const bool oneWay = method.endsWith(QLatin1String("-oneway"));

    QList<QDBusConnection> buses;
    for (int i = 0; i < connections; ++i) {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("flood%1").arg(i));
        if (!bus.isConnected()) {
            std::fprintf(stderr, "restwatch_flood: cannot connect: %s\n", qPrintable(bus.lastError().message()));
            return 1;
        }
        buses.append(bus);
    }

    QElapsedTimer running;
    running.start();
    QMap<QString, int> answers;
    int sent = 0;
    std::function<void(int)> callOnce = [&](int index) {
        if (running.elapsed() >= milliseconds)
            return;
        QDBusConnection &bus = buses[index];
        ++sent;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(callFor(method, bus, sent), 30000), &application);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &application, [&, index](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            ++answers[call->isError() ? call->error().name() : QStringLiteral("reply")];
            callOnce(index);
        });
    };

    QTimer oneWayTimer;
    if (oneWay) {
        // As fast as the bus takes them, without letting the sender's own queue grow for ever.
        QObject::connect(&oneWayTimer, &QTimer::timeout, &application, [&] {
            for (QDBusConnection &bus : buses) {
                // send() marks a call NO_REPLY_EXPECTED.
                for (int i = 0; i < 20; ++i)
                    bus.send(callFor(method, bus, sent++));
            }
        });
        oneWayTimer.start(5);
    } else {
        for (int i = 0; i < connections; ++i)
            for (int j = 0; j < kInFlight; ++j)
                callOnce(i);
    }

    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &application, [&] {
        oneWayTimer.stop();
        // Calls still waiting are not waited for: the flood ends here.
        std::printf("sent %d", sent);
        for (auto it = answers.cbegin(); it != answers.cend(); ++it)
            std::printf(" %s %d", qPrintable(it.key()), it.value());
        std::printf("\n");
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    end.start(milliseconds);
    return QCoreApplication::exec();
}

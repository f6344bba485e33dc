// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAIdleTime.h"

#include "KLVRRWAMonitor.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <climits>
#include <ctime>

namespace {
constexpr int kCallTimeoutMs = 1000; // logind answers at once; never let it hold up a sleep
}

KLVRRWAIdleTime KLVRRWAIdleTime::read(const QDBusConnection &bus, const QString &service)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << QStringLiteral("org.freedesktop.login1.Manager");
    const QDBusMessage reply = QDBusConnection(bus).call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcRWAMonitor, "KLVRRWAIdleTime cannot read the idle hint from logind: %s",
                  qPrintable(reply.errorMessage()));
        return {};
    }
    return fromProperties(qdbus_cast<QVariantMap>(reply.arguments().constFirst()));
}

KLVRRWAIdleTime KLVRRWAIdleTime::fromProperties(const QVariantMap &properties)
{
    const QVariant hint = properties.value(QStringLiteral("IdleHint"));
    const QVariant since = properties.value(QStringLiteral("IdleSinceHint"));
    if (!hint.isValid() || !since.isValid()) {
        qCWarning(lcRWAMonitor, "KLVRRWAIdleTime: logind reports no IdleHint/IdleSinceHint");
        return {};
    }
    KLVRRWAIdleTime result;
    result.idle = hint.toBool();
    if (result.idle) {
        const quint64 sinceUsec = since.toULongLong();
        if (sinceUsec == 0)
            qCWarning(lcRWAMonitor, "KLVRRWAIdleTime: logind is idle but gives no IdleSinceHint");
        result.seconds = secondsBetween(sinceUsec, realtimeNowUsec());
    }
    return result;
}

int KLVRRWAIdleTime::secondsBetween(quint64 idleSinceUsec, qint64 nowUsec)
{
    if (idleSinceUsec == 0 || nowUsec <= 0 || idleSinceUsec >= static_cast<quint64>(nowUsec))
        return 0;
    const quint64 seconds = (static_cast<quint64>(nowUsec) - idleSinceUsec) / 1000000u;
    return seconds > static_cast<quint64>(INT_MAX) ? INT_MAX : static_cast<int>(seconds);
}

qint64 KLVRRWAIdleTime::realtimeNowUsec()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

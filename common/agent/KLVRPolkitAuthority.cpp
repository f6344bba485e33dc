// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRPolkitAuthority.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QMap>

using KLVRPolkitDetails = QMap<QString, QString>;

KLVRPolkitAuthority::KLVRPolkitAuthority(const QDBusConnection &systemBus)
    : m_bus(systemBus)
{
    qDBusRegisterMetaType<KLVRPolkitDetails>();
}

bool KLVRPolkitAuthority::checkAuthorization(const QString &actionId, bool allowUserInteraction, QString *error)
{
    if (!m_bus.isConnected()) {
        if (error)
            *error = QStringLiteral("the system bus is not connected");
        return false;
    }
    // The subject is this connection, the same identity the agent sees as the caller.
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("system-bus-name")
            << QVariantMap{{QStringLiteral("name"), QVariant::fromValue(QDBusVariant(m_bus.baseService()))}};
    subject.endStructure();

    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"), QStringLiteral("CheckAuthorization"));
    message.setArguments({QVariant::fromValue(subject), actionId, QVariant::fromValue(KLVRPolkitDetails()),
                          uint(allowUserInteraction ? 1 : 0), QString()});
    message.setInteractiveAuthorizationAllowed(allowUserInteraction);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, allowUserInteraction ? kInteractiveTimeout : kTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error)
            *error = reply.errorMessage().isEmpty() ? QStringLiteral("polkit did not answer") : reply.errorMessage();
        return false;
    }
    const QDBusArgument result = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    bool authorized = false;
    bool challenge = false;
    KLVRPolkitDetails details;
    result.beginStructure();
    result >> authorized >> challenge >> details;
    result.endStructure();
    return authorized;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRSystemdManager.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {
const QString kService = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kUnitInterface = QStringLiteral("org.freedesktop.systemd1.Unit");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
}

KLVRSystemdManager::KLVRSystemdManager(const QDBusConnection &bus)
    : m_bus(bus)
{
}

QDBusMessage KLVRSystemdManager::call(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface, method);
    message.setArguments(arguments);
    message.setInteractiveAuthorizationAllowed(m_interactive);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeout);
    m_lastError = reply.type() == QDBusMessage::ErrorMessage ? QDBusError(reply) : QDBusError();
    if (!m_bus.isConnected() && !m_lastError.isValid())
        m_lastError = QDBusError(QDBusError::Disconnected, QStringLiteral("the bus is not connected"));
    return reply;
}

QString KLVRSystemdManager::unitPath(const QString &unit)
{
    const QDBusMessage reply = call(QStringLiteral("GetUnit"), {unit});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    return qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
}

QString KLVRSystemdManager::unitProperty(const QString &path, const QString &property)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, kPropertiesInterface, QStringLiteral("Get"));
    message.setArguments({kUnitInterface, property});
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        m_lastError = QDBusError(reply);
        return QString();
    }
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString();
}

bool KLVRSystemdManager::hasUnit(const QString &unit)
{
    const QString path = unitPath(unit);
    if (path.isEmpty())
        return false;
    const QString loadState = unitProperty(path, QStringLiteral("LoadState"));
    return !loadState.isEmpty() && loadState != QLatin1String("not-found");
}

QString KLVRSystemdManager::activeState(const QString &unit)
{
    const QString path = unitPath(unit);
    return path.isEmpty() ? QString() : unitProperty(path, QStringLiteral("ActiveState"));
}

bool KLVRSystemdManager::reload()
{
    return call(QStringLiteral("Reload"), {}).type() == QDBusMessage::ReplyMessage;
}

bool KLVRSystemdManager::enableUnitFiles(const QStringList &unitFiles)
{
    // Not only for this boot (runtime false), replacing stale links (force true).
    return call(QStringLiteral("EnableUnitFiles"), {unitFiles, false, true}).type() == QDBusMessage::ReplyMessage;
}

bool KLVRSystemdManager::disableUnitFiles(const QStringList &unitFiles)
{
    return call(QStringLiteral("DisableUnitFiles"), {unitFiles, false}).type() == QDBusMessage::ReplyMessage;
}

bool KLVRSystemdManager::startUnit(const QString &unit)
{
    return call(QStringLiteral("StartUnit"), {unit, QStringLiteral("replace")}).type() == QDBusMessage::ReplyMessage;
}

bool KLVRSystemdManager::stopUnit(const QString &unit)
{
    return call(QStringLiteral("StopUnit"), {unit, QStringLiteral("replace")}).type() == QDBusMessage::ReplyMessage;
}

bool KLVRSystemdManager::restartUnit(const QString &unit)
{
    return call(QStringLiteral("RestartUnit"), {unit, QStringLiteral("replace")}).type() == QDBusMessage::ReplyMessage;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRPropertyList.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <QVariantMap>
#include <ctime>

// Event records as the store hands them to the log, and local times for writing them.
namespace KLVRModelTest {

inline const QString kAgent = QStringLiteral("com.klvr.restwatch");
inline const QString kPowerEvents = QStringLiteral("com.klvr.monitor.watcher.powerevents");
inline const QString kPowerSource = QStringLiteral("com.klvr.monitor.watcher.powersource");
inline const QString kLast = QStringLiteral("com.klvr.monitor.watcher.last");

// Every calendar expectation is written for this zone; call before any calendar work.
inline void useBerlinTime()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

// "2024-03-05 10:00:00" (or with ".5" seconds) in local time.
inline KLVRAbsoluteTime at(const QString &local)
{
    QDateTime dt = QDateTime::fromString(local, QStringLiteral("yyyy-MM-dd HH:mm:ss.z"));
    if (!dt.isValid())
        dt = QDateTime::fromString(local, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dt.setTimeZone(QTimeZone::systemTimeZone());
    Q_ASSERT(dt.isValid());
    return KLVRAbsoluteTime::fromDateTime(dt);
}

inline QVariantMap record(KLVRAbsoluteTime date, const QString &description, const QString &monitor,
                          const QVariantMap &properties = {})
{
    return QVariantMap{
        {QStringLiteral("id"), QStringLiteral("1")},
        {QStringLiteral("date"), date.toText()},
        {QStringLiteral("description"), description},
        {QStringLiteral("monitor"), monitor},
        {QStringLiteral("properties"),
         properties.isEmpty() ? QStringLiteral("NULL") : QString::fromUtf8(KLVRPropertyList::write(properties))},
    };
}

inline QVariantMap powerEvent(KLVRAbsoluteTime date, const QString &description, qlonglong idleSeconds = 0,
                              const QStringList &processes = {QStringLiteral("systemd"), QStringLiteral("Xorg")})
{
    QVariantList names;
    for (const QString &p : processes)
        names << p;
    return record(date, description, kPowerEvents,
                  {{QStringLiteral("Idle Seconds"), idleSeconds}, {QStringLiteral("Processes"), names}});
}

struct Battery
{
    QString name = QStringLiteral("BAT0");
    qlonglong present = 1;
    qlonglong charging = 0;
    QString state = QStringLiteral("Battery Power");
    qlonglong capacity = 80;
    QVariantMap extra = {};
};

inline QVariantMap powerStatus(KLVRAbsoluteTime date, const Battery &b)
{
    QVariantMap properties{
        {QStringLiteral("Name"), b.name},
        {QStringLiteral("Is Present"), b.present},
        {QStringLiteral("Is Charging"), b.charging},
        {QStringLiteral("Power Source State"), b.state},
        {QStringLiteral("Current Capacity"), b.capacity},
        {QStringLiteral("Max Capacity"), qlonglong(100)},
        {QStringLiteral("Transport Type"), QStringLiteral("Internal")},
    };
    for (auto it = b.extra.cbegin(); it != b.extra.cend(); ++it)
        properties.insert(it.key(), it.value());
    return record(date, QStringLiteral("Power state changed"), kPowerSource, properties);
}

inline QVariantMap boot(KLVRAbsoluteTime date, const QString &description)
{
    return record(date, description, kLast, {{QStringLiteral("event_time"), date.seconds()}});
}

} // namespace KLVRModelTest

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "../KLVRRecordTestSupport.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <QVariantMap>

// Event records as the store hands them to the log, and local times for writing them.
namespace KLVRModelTest {

using KLVRRecordTest::kAgent;
using KLVRRecordTest::kLast;
using KLVRRecordTest::kPowerEvents;
using KLVRRecordTest::kPowerSource;

using KLVRRecordTest::useBerlinTime;

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

// The store also hands each record its row id.
inline QVariantMap record(KLVRAbsoluteTime date, const QString &description, const QString &monitor,
                          const QVariantMap &properties = {})
{
    QVariantMap r = KLVRRecordTest::record(date, monitor, description, properties);
    r.insert(QStringLiteral("id"), QStringLiteral("1"));
    return r;
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

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRPropertyList.h"

#include <QString>
#include <QVariantMap>

#include <ctime>

// Event records in the shape the agent hands them out, shared by the client's tests that
// replay a timeline.
namespace KLVRRecordTest {

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

// Properties travel as an XML property list, or the text "NULL" when there are none.
inline QVariantMap record(KLVRAbsoluteTime when, const QString &monitor, const QString &description,
                          const QVariantMap &properties = {})
{
    return {{QStringLiteral("date"), when.toText()},
            {QStringLiteral("monitor"), monitor},
            {QStringLiteral("description"), description},
            {QStringLiteral("properties"), properties.isEmpty() ? QStringLiteral("NULL")
                                                                : QString::fromUtf8(KLVRPropertyList::write(properties))}};
}

// One UPower battery, BAT0, described in full as the agent records it.
inline QVariantMap batteryProperties(const QString &source, bool charging, int percent, bool present = true)
{
    return {{QStringLiteral("Name"), QStringLiteral("BAT0")},
            {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
            {QStringLiteral("Transport Type"), QStringLiteral("Internal")},
            {QStringLiteral("Is Present"), present},
            {QStringLiteral("Is Charging"), charging},
            {QStringLiteral("Is Charged"), percent == 100 && !charging},
            {QStringLiteral("Power Source State"), source},
            {QStringLiteral("Current Capacity"), percent},
            {QStringLiteral("Max Capacity"), 100},
            {QStringLiteral("Power Source ID"), 1}};
}

} // namespace KLVRRecordTest

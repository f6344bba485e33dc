// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "../KLVRRecordTestSupport.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCLog.h"
#include "KLVRUserDefaults.h"

#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>

// Event records as the agent hands them out, a log with its date range, and a graph cell
// drawing them. All local times are Berlin time (TZ is set by the test's environment).
namespace KLVRGraphTest {

using namespace KLVRRecordTest;

// "2024-03-05 14:00:00" in local time.
inline KLVRAbsoluteTime at(const QString &local)
{
    QDateTime dateTime = QDateTime::fromString(local, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dateTime.setTimeZone(QTimeZone::systemTimeZone());
    return KLVRAbsoluteTime::fromDateTime(dateTime);
}

class Recorder
{
public:
    QList<QVariantMap> records;

    // Each call returns the recorder so a whole timeline reads as one expression.
    Recorder &add(KLVRAbsoluteTime when, const QString &monitor, const QString &description, const QVariantMap &properties = {})
    {
        records.append(record(when, monitor, description, properties));
        return *this;
    }
    Recorder &power(const QString &when, const QString &description) { return add(at(when), kPowerEvents, description); }
    Recorder &agent(const QString &when, const QString &description) { return add(at(when), kAgent, description); }
    Recorder &boot(const QString &when, const QString &description)
    {
        return add(at(when), kLast, description, {{QStringLiteral("event_time"), at(when).seconds()}});
    }
    Recorder &battery(const QString &when, const QString &source, int percent, bool present = true, bool charging = false)
    {
        return battery(at(when), source, percent, present, charging);
    }
    Recorder &battery(KLVRAbsoluteTime when, const QString &source, int percent, bool present = true, bool charging = false)
    {
        return add(when, kPowerSource, QStringLiteral("Power state changed"),
            {{QStringLiteral("Name"), QStringLiteral("BAT0")},
             {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
             {QStringLiteral("Is Present"), present},
             {QStringLiteral("Is Charging"), charging},
             {QStringLiteral("Power Source State"), source},
             {QStringLiteral("Current Capacity"), percent},
             {QStringLiteral("Max Capacity"), 100}});
    }
};

// A log holding the records, the date range it follows and a cell drawing both.
class Graph
{
public:
    explicit Graph(const QList<QVariantMap> &records, KLVRAbsoluteTime now = at(QStringLiteral("2024-12-31 12:00:00")))
        : defaults(QStringLiteral("com.klvr.restwatch.graphtest"), dir.filePath(QStringLiteral("defaults.plist"))),
          range(&defaults, nullptr, [now] { return now; })
    {
        log.setDateRange(&range);
        // Recorders write in the order that is easiest to read; the agent hands events out by date.
        QList<QVariantMap> sorted = records;
        std::stable_sort(sorted.begin(), sorted.end(), [](const QVariantMap &a, const QVariantMap &b) {
            return KLVRAbsoluteTime::fromText(a.value(QStringLiteral("date")).toString())
                   < KLVRAbsoluteTime::fromText(b.value(QStringLiteral("date")).toString());
        });
        log.addExternalEntries(sorted);
        cell.setLog(&log);
        cell.setDateRange(&range);
    }

    // Whole local days from the first to the last.
    void show(const QString &firstDay, const QString &lastDay)
    {
        range.setAbsoluteDuration(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(
            at(firstDay + QStringLiteral(" 00:00:00")), at(lastDay + QStringLiteral(" 23:59:59"))));
    }

    QImage render(const QSizeF &size)
    {
        QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        cell.paint(painter, QRectF(QPointF(0, 0), size));
        return image;
    }

    // The x of a date and the y of a percentage, from the chart rectangle.
    double x(KLVRAbsoluteTime date) const
    {
        const QRectF c = cell.chartRect();
        const KLVRRWCAbsoluteDuration r = range.absoluteDuration();
        return c.x() + date.secondsSince(r.startDate()) * c.width() / r.duration();
    }
    double y(double percent) const { return cell.chartRect().bottom() - cell.chartRect().height() * percent / 100.0; }

    QTemporaryDir dir;
    KLVRUserDefaults defaults;
    KLVRRWCDateRangeController range;
    KLVRRWCLog log;
    KLVRRWCEntriesCell cell;
};

} // namespace KLVRGraphTest

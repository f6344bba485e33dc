// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "../KLVRRecordTestSupport.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableModel.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRStringsTable.h"
#include "KLVRUserDefaults.h"

#include <QDateTime>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <memory>

// A log table over a short recorded morning, with settings of its own. All local times are
// Berlin time and texts are English in the US locale, whatever the machine's locale.
namespace KLVRTableTest {

using namespace KLVRRecordTest;

inline void pinLocale()
{
    useBerlinTime();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    KLVRStringsTable::setLanguage(QStringLiteral("en"));
}

// "2024-03-05 14:00:00" in local time.
inline KLVRAbsoluteTime at(const QString &local)
{
    QDateTime dateTime = QDateTime::fromString(local, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dateTime.setTimeZone(QTimeZone::systemTimeZone());
    return KLVRAbsoluteTime::fromDateTime(dateTime);
}

// Boot, the agent's start, a battery reading, a lid sleep and its wake, an idle sleep and its
// wake: rows 0 to 7 in date order.
inline QList<QVariantMap> morning()
{
    return {
        record(at(QStringLiteral("2024-03-05 07:00:00")), kLast, QStringLiteral("startup"),
               {{QStringLiteral("event_time"), at(QStringLiteral("2024-03-05 07:00:00")).seconds()}}),
        record(at(QStringLiteral("2024-03-05 07:01:00")), kAgent, QStringLiteral("Starting monitor")),
        record(at(QStringLiteral("2024-03-05 08:00:00")), kPowerSource, QStringLiteral("Power state changed"),
               batteryProperties(QStringLiteral("Battery Power"), false, 80)),
        record(at(QStringLiteral("2024-03-05 10:00:00")), kPowerEvents, QStringLiteral("System will sleep")),
        record(at(QStringLiteral("2024-03-05 11:00:00")), kPowerEvents, QStringLiteral("System has powered on")),
        record(at(QStringLiteral("2024-03-05 12:00:00")), kPowerEvents, QStringLiteral("Can system sleep"),
               {{QStringLiteral("Idle Seconds"), 600}}),
        record(at(QStringLiteral("2024-03-05 12:00:02")), kPowerEvents, QStringLiteral("System will sleep")),
        record(at(QStringLiteral("2024-03-05 13:00:00")), kPowerEvents, QStringLiteral("System has powered on")),
    };
}

class Table
{
public:
    explicit Table(const QList<QVariantMap> &records = morning(), const QVariantMap &settings = {})
        : defaults(QStringLiteral("com.klvr.restwatch.tabletest"), dir.filePath(QStringLiteral("defaults.plist")))
    {
        defaults.registerDefaults({{QStringLiteral("relativeDates"), false},
                                   {QStringLiteral("eventDetail"), false},
                                   {QStringLiteral("highlight"), true},
                                   {QStringLiteral("highlightColour"), QStringLiteral("#FFF0A8")}});
        for (auto it = settings.begin(); it != settings.end(); ++it)
            defaults.setValue(it.key(), it.value());
        log.addExternalEntries(records);
        log.setVisibleInterval(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(at(QStringLiteral("2024-03-01 00:00:00")),
                                                                                 at(QStringLiteral("2024-03-31 23:59:59"))));
        log.updateVisibleEntries();
        controller = std::make_unique<KLVRRWCLogTableController>();
        controller->setUserDefaults(&defaults);
        controller->setLog(&log);
        controller->setTableView(&view);
        controller->setFilterField(&field);
        controller->awakeFromNib();
        view.resize(700, 400);
    }

    KLVRRWCLogTableModel *model() const { return controller->model(); }
    int rows() const { return model()->rowCount(); }
    QString summary(int row) const { return model()->entryAt(row)->summary(); }
    // The row of the first entry recorded with this description.
    int rowOfEvent(const QString &event, int nth = 0) const
    {
        const auto &arranged = model()->arrangedObjects();
        for (size_t row = 0; row < arranged.size(); ++row) {
            if (arranged[row]->event() == event && nth-- == 0)
                return int(row);
        }
        return -1;
    }
    void select(const QList<int> &rows)
    {
        view.selectionModel()->clearSelection();
        for (int row : rows)
            view.selectionModel()->select(model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QTemporaryDir dir;
    KLVRUserDefaults defaults;
    KLVRRWCLog log;
    KLVRRWCLogTableView view;
    QLineEdit field;
    std::unique_ptr<KLVRRWCLogTableController> controller;
};

} // namespace KLVRTableTest

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRWindowTestSupport.h"

#include "KLVRPropertyList.h"
#include "KLVRRWCMainWindow.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <sqlite3.h>

namespace {

const QString kAgent = QStringLiteral("com.klvr.restwatch");
const QString kPowerEvents = QStringLiteral("com.klvr.monitor.watcher.powerevents");
const QString kPowerSource = QStringLiteral("com.klvr.monitor.watcher.powersource");
const QString kLast = QStringLiteral("com.klvr.monitor.watcher.last");

class Recorder
{
public:
    explicit Recorder(KLVRAbsoluteTime until)
        : m_until(until)
    {
    }

    QList<QVariantMap> records;

    void add(KLVRAbsoluteTime when, const QString &monitor, const QString &description, const QVariantMap &properties = {})
    {
        if (when > m_until)
            return;
        records.append({{QStringLiteral("date"), when.toText()},
                        {QStringLiteral("monitor"), monitor},
                        {QStringLiteral("description"), description},
                        {QStringLiteral("properties"), properties.isEmpty()
                                                           ? QStringLiteral("NULL")
                                                           : QString::fromUtf8(KLVRPropertyList::write(properties))}});
    }
    void agent(KLVRAbsoluteTime when, const QString &description) { add(when, kAgent, description); }
    void power(KLVRAbsoluteTime when, const QString &description) { add(when, kPowerEvents, description); }
    void idleSleep(KLVRAbsoluteTime when, int idleSeconds)
    {
        add(when, kPowerEvents, QStringLiteral("Can system sleep"),
            {{QStringLiteral("Idle Seconds"), idleSeconds},
             {QStringLiteral("Processes"), QStringList{"systemd", "Xwayland", "gnome-shell", "firefox-esr", "thunderbird", "restwatch"}}});
        add(when.addSeconds(2), kPowerEvents, QStringLiteral("System will sleep"));
    }
    void boot(KLVRAbsoluteTime when, const QString &description)
    {
        add(when, kLast, description, {{QStringLiteral("event_time"), when.seconds()}});
    }
    void battery(KLVRAbsoluteTime when, bool onMains, bool charging, int percent)
    {
        add(when, kPowerSource, QStringLiteral("Power state changed"),
            {{QStringLiteral("Name"), QStringLiteral("BAT0")},
             {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
             {QStringLiteral("Transport Type"), QStringLiteral("Internal")},
             {QStringLiteral("Is Present"), true},
             {QStringLiteral("Is Charging"), charging},
             {QStringLiteral("Is Charged"), percent == 100 && !charging},
             {QStringLiteral("Power Source State"), onMains ? QStringLiteral("AC Power") : QStringLiteral("Battery Power")},
             {QStringLiteral("Current Capacity"), percent},
             {QStringLiteral("Max Capacity"), 100},
             {QStringLiteral("Power Source ID"), 1}});
    }

private:
    KLVRAbsoluteTime m_until;
};

double hours(double h)
{
    return h * 3600.0;
}

} // namespace

bool KLVRWindowTestSupport::resetTree()
{
    m_tree = std::make_unique<QTemporaryDir>();
    if (!m_tree->isValid())
        return false;
    for (const QString &folder : {home() + QStringLiteral("/Documents"), root() + QStringLiteral("/data"),
                                  root() + QStringLiteral("/config"), cacheHome(), root() + QStringLiteral("/sysroot")}) {
        if (!QDir().mkpath(folder))
            return false;
    }
    // An empty system root: no process table, no units, so no agent of this machine is found.
    qputenv("RESTWATCH_SYSROOT", (root() + QStringLiteral("/sysroot")).toUtf8());
    qputenv("HOME", home().toUtf8());
    qputenv("XDG_DATA_HOME", (root() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", cacheHome().toUtf8());
    return true;
}

bool KLVRWindowTestSupport::startBus()
{
    if (m_bus)
        return m_bus->isRunning();
    m_bus = std::make_unique<KLVRTestBus>(KLVRTestBus::Limits::System);
    return m_bus->start();
}

std::unique_ptr<KLVRRWCMainWindow> KLVRWindowTestSupport::makeWindow()
{
    const QDBusConnection bus = connection();
    return std::make_unique<KLVRRWCMainWindow>(bus, bus);
}

KLVRAbsoluteTime KLVRWindowTestSupport::dayAt(int offset, double seconds)
{
    return KLVRAbsoluteTime::fromDateTime(QDate::currentDate().addDays(offset).startOfDay()).addSeconds(seconds);
}

QList<QVariantMap> KLVRWindowTestSupport::dailyReadings(int firstOffset, int lastOffset)
{
    const KLVRAbsoluteTime now = KLVRAbsoluteTime::now();
    Recorder r(now);
    for (int offset = firstOffset; offset <= lastOffset; ++offset) {
        KLVRAbsoluteTime noon = dayAt(offset, hours(12));
        // Today's reading is taken already, even in the morning.
        if (offset == 0)
            noon = std::max(dayAt(0), std::min(noon, now.addSeconds(-1)));
        r.battery(noon, false, false, 50 + offset % 40);
    }
    return r.records;
}

QList<QVariantMap> KLVRWindowTestSupport::recordedWeek(KLVRAbsoluteTime now)
{
    Recorder r(now.addSeconds(-60));
    for (int day = 0; day < 7; ++day) {
        const int offset = day - 6;
        const auto at = [offset](double h) { return dayAt(offset, hours(h)); };
        if (day == 0) {
            r.boot(at(7.5), QStringLiteral("startup"));
            r.agent(at(7.5).addSeconds(20), QStringLiteral("Starting monitor"));
        } else if (day == 6) {
            // After the weekend's long sleep.
            r.power(at(8.5), QStringLiteral("System has powered on"));
        } else {
            r.power(at(7.5), QStringLiteral("System has powered on"));
        }
        if (day == 5) {
            // Saturday: a look in the morning, then the lid closed until Sunday.
            r.battery(at(7.5).addSeconds(4), true, false, 100);
            r.battery(at(8.0), false, false, 100);
            r.power(at(9.25), QStringLiteral("System will sleep"));
            continue;
        }
        const double start = day == 6 ? 8.5 : 7.5;
        r.battery(at(start).addSeconds(4), true, true, 58 + day * 3);
        r.battery(at(start + 1.0), true, true, 88);
        r.battery(at(start + 1.75), true, false, 100);
        r.battery(at(10.5), false, false, 100);
        r.battery(at(11.5), false, false, 87);
        r.idleSleep(at(12.5), 600 + day * 60);
        r.power(at(13.25 + day * 0.1), QStringLiteral("System has powered on"));
        r.battery(at(13.25 + day * 0.1).addSeconds(3), false, false, 85);
        if (day == 3) {
            // An update wanted a restart.
            r.agent(at(14.0), QStringLiteral("Stopping monitor"));
            r.boot(at(14.0).addSeconds(1), QStringLiteral("accounting shut down"));
            r.boot(at(14.0).addSeconds(60), QStringLiteral("accounting boot"));
            r.boot(at(14.0).addSeconds(60.25), QStringLiteral("startup"));
            r.agent(at(14.0).addSeconds(80), QStringLiteral("Starting monitor"));
        }
        r.battery(at(14.5), false, false, 70);
        r.battery(at(15.75), false, false, 52 - day * 4);
        r.battery(at(16.1), true, true, 50 - day * 4);
        r.battery(at(17.5), true, true, 81);
        r.battery(at(18.6), true, false, 100);
        r.power(at(22.75 - day * 0.2), QStringLiteral("System will sleep"));
    }
    return r.records;
}

bool KLVRWindowTestSupport::writeAgentStore(const QString &path, const QList<QVariantMap> &records)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(db, sqlite3_close);
    if (sqlite3_exec(db,
                     "CREATE TABLE IF NOT EXISTS events ( 'id' INTEGER PRIMARY KEY, 'date' REAL NOT NULL, 'monitor' TEXT NOT NULL, "
                     "'description' TEXT NOT NULL, 'properties' TEXT );"
                     "CREATE TABLE IF NOT EXISTS settings ( 'key' TEXT PRIMARY KEY, 'value' TEXT NOT NULL );"
                     "INSERT OR REPLACE INTO settings VALUES ('version', '244'); BEGIN;",
                     nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return false;
    sqlite3_stmt *insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO events (date, monitor, description, properties) VALUES (?, ?, ?, ?)", -1, &insert,
                           nullptr)
        != SQLITE_OK)
        return false;
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> finalizer(insert, sqlite3_finalize);
    for (const QVariantMap &record : records) {
        const QByteArray date = record.value(QStringLiteral("date")).toString().toUtf8();
        const QByteArray monitor = record.value(QStringLiteral("monitor")).toString().toUtf8();
        const QByteArray description = record.value(QStringLiteral("description")).toString().toUtf8();
        const QByteArray properties = record.value(QStringLiteral("properties")).toString().toUtf8();
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, monitor.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, description.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, properties.constData(), int(properties.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            return false;
    }
    return sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK;
}

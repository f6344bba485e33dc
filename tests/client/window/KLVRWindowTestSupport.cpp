// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRWindowTestSupport.h"

#include "../KLVRRecordTestSupport.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRUserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <algorithm>

namespace {

using namespace KLVRRecordTest;

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
        records.append(record(when, monitor, description, properties));
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
            batteryProperties(onMains ? QStringLiteral("AC Power") : QStringLiteral("Battery Power"), charging, percent));
    }

private:
    KLVRAbsoluteTime m_until;
};

double hours(double h)
{
    return h * 3600.0;
}

} // namespace

void KLVRWindowTestSupport::clearUserDefaults()
{
    KLVRUserDefaults *defaults = KLVRUserDefaults::standard();
    for (const QString &key : defaults->persistentValues().keys())
        defaults->removeValue(key);
}

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
    r.boot(dayAt(-6, hours(7.4)), QStringLiteral("startup"));
    r.agent(dayAt(-6, hours(7.45)), QStringLiteral("Starting monitor"));
    for (int offset = -6; offset <= 0; ++offset) {
        const auto at = [offset](double h) { return dayAt(offset, hours(h)); };
        r.power(at(7.5), QStringLiteral("System has powered on"));
        r.battery(at(7.5).addSeconds(4), true, true, 70 - offset);
        r.battery(at(9.0), true, false, 100);
        r.battery(at(10.5), false, false, 100);
        r.idleSleep(at(12.5), 600);
        r.power(at(13.25), QStringLiteral("System has powered on"));
        r.battery(at(13.25).addSeconds(3), false, false, 80);
        if (offset == -3) {
            // An update wanted a restart.
            r.agent(at(14.0), QStringLiteral("Stopping monitor"));
            r.boot(at(14.0).addSeconds(1), QStringLiteral("accounting shut down"));
            r.boot(at(14.0).addSeconds(60), QStringLiteral("accounting boot"));
            r.agent(at(14.0).addSeconds(80), QStringLiteral("Starting monitor"));
        }
        r.battery(at(15.75), false, false, 45 + 3 * offset);
        r.battery(at(16.0), true, true, 44 + 3 * offset);
        r.battery(at(18.5), true, false, 100);
        r.power(at(22.75), QStringLiteral("System will sleep"));
    }
    return r.records;
}

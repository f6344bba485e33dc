// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRHistoryGenerator.h"

#include <ctime>

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char *const kDaemons[] = {
    "systemd", "kthreadd", "rcu_gp", "rcu_par_gp", "slub_flushwq", "netns", "mm_percpu_wq", "rcu_tasks_kthre",
    "rcu_preempt", "kdevtmpfs", "inet_frag_wq", "kauditd", "khungtaskd", "oom_reaper", "writeback", "kcompactd0",
    "ksmd", "khugepaged", "kintegrityd", "kblockd", "blkcg_punt_bio", "tpm_dev_wq", "edac-poller", "devfreq_wq",
    "kswapd0", "kthrotld", "acpi_thermal_pm", "scsi_eh_0", "scsi_tmf_0", "nvme-wq", "nvme-reset-wq", "nvme-delete-wq",
    "mld", "ipv6_addrconf", "kstrp", "zswap-shrink", "charger_manager", "jbd2/nvme0n1p2-", "ext4-rsv-conver",
    "systemd-journal", "systemd-udevd", "irq/126-iwlwifi", "cfg80211", "irq/145-mei_me", "card0-crtc0", "card0-crtc1",
    "systemd-oomd", "systemd-resolve", "systemd-timesyn", "accounts-daemon", "acpid", "avahi-daemon", "cron",
    "dbus-daemon", "NetworkManager", "irqbalance", "polkitd", "power-profiles-", "rsyslogd", "snapd",
    "switcheroo-cont", "systemd-logind", "thermald", "udisksd", "wpa_supplicant", "ModemManager", "cupsd",
    "cups-browsed", "upowerd", "gdm3", "gdm-session-wor", "systemd", "(sd-pam)", "pipewire", "wireplumber",
    "pipewire-pulse", "gnome-keyring-d", "gdm-wayland-ses", "gnome-session-b", "at-spi-bus-laun", "gnome-session-c",
    "gnome-shell", "gvfsd", "gvfsd-fuse", "xdg-document-po", "xdg-permission-", "fusermount3", "gnome-shell-cal",
    "evolution-sourc", "goa-daemon", "dconf-service", "gvfs-udisks2-vo", "goa-identity-se", "gvfs-mtp-volume",
    "gvfs-goa-volume", "gvfs-gphoto2-vo", "gvfs-afc-volume", "evolution-calen", "gjs", "at-spi2-registr",
    "sh", "gsd-a11y-settin", "ibus-daemon", "gsd-color", "gsd-datetime", "gsd-housekeepin", "gsd-keyboard",
    "gsd-media-keys", "gsd-power", "gsd-print-notifi", "gsd-rfkill", "gsd-screensaver", "gsd-sharing",
    "gsd-smartcard", "gsd-sound", "gsd-wacom", "evolution-alarm", "gsd-disk-utilit", "ibus-memconf",
    "ibus-extension-", "ibus-portal", "xdg-desktop-por", "xdg-desktop-por", "tracker-miner-f", "gvfsd-trash",
    "gvfsd-metadata", "ibus-engine-sim", "gsd-printer", "update-notifier", "fwupd", "colord", "bluetoothd",
    "obexd", "kerneloops", "kerneloops", "gnome-terminal-", "bash", "ssh-agent", "gpg-agent",
};

const char *const kPrograms[] = {
    "firefox", "Isolated Web Co", "Isolated Web Co", "Isolated Web Co", "Isolated Web Co", "Privileged Cont",
    "WebExtensions", "RDD Process", "Socket Process", "Utility Process", "Web Content", "Web Content",
    "thunderbird", "code", "code", "code", "code", "code", "slack", "slack", "slack", "signal-desktop",
    "evince", "nautilus", "gnome-calculator", "gedit", "vim", "make", "ninja", "cc1plus", "cc1plus", "python3",
    "node", "node", "spotify", "spotify", "keepassxc", "nextcloud", "dropbox", "zoom", "libreoffice", "soffice.bin",
    "gimp", "inkscape", "vlc", "totem", "rhythmbox", "transmission-gt", "steam", "steamwebhelper", "chrome",
    "chrome", "chrome", "chrome_crashpad", "teams", "discord", "obsidian", "htop", "ssh", "git", "less", "man",
    "docker", "containerd", "containerd-shim", "postgres", "postgres", "redis-server",
};

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        default: out += c;
        }
    }
    return out;
}

void writeValue(QString &out, const QVariant &value, int depth)
{
    const QString indent(depth, QLatin1Char('\t'));
    switch (value.typeId()) {
    case QMetaType::Bool:
        out += indent + (value.toBool() ? QStringLiteral("<true/>\n") : QStringLiteral("<false/>\n"));
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        out += indent + QStringLiteral("<integer>") + QString::number(value.toLongLong()) + QStringLiteral("</integer>\n");
        break;
    case QMetaType::Double:
        out += indent + QStringLiteral("<real>") + QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)
               + QStringLiteral("</real>\n");
        break;
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        if (list.isEmpty()) {
            out += indent + QStringLiteral("<array/>\n");
            break;
        }
        out += indent + QStringLiteral("<array>\n");
        for (const QVariant &item : list)
            writeValue(out, item, depth + 1);
        out += indent + QStringLiteral("</array>\n");
        break;
    }
    case QMetaType::QStringList: {
        const QStringList list = value.toStringList();
        out += indent + QStringLiteral("<array>\n");
        const QString inner(depth + 1, QLatin1Char('\t'));
        for (const QString &item : list)
            out += inner + QStringLiteral("<string>") + escaped(item) + QStringLiteral("</string>\n");
        out += indent + QStringLiteral("</array>\n");
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        if (map.isEmpty()) {
            out += indent + QStringLiteral("<dict/>\n");
            break;
        }
        out += indent + QStringLiteral("<dict>\n");
        const QString inner(depth + 1, QLatin1Char('\t'));
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            out += inner + QStringLiteral("<key>") + escaped(it.key()) + QStringLiteral("</key>\n");
            writeValue(out, it.value(), depth + 1);
        }
        out += indent + QStringLiteral("</dict>\n");
        break;
    }
    default:
        out += indent + QStringLiteral("<string>") + escaped(value.toString()) + QStringLiteral("</string>\n");
        break;
    }
}

} // namespace

QString KLVRHistoryGenerator::propertyListText(const QVariantMap &dictionary)
{
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                 "<plist version=\"1.0\">\n");
    writeValue(out, dictionary, 0);
    out += QStringLiteral("</plist>\n");
    return out;
}

KLVRHistoryGenerator::KLVRHistoryGenerator()
    : KLVRHistoryGenerator(Options())
{
}

KLVRHistoryGenerator::KLVRHistoryGenerator(const Options &options)
    : m_options(options)
    , m_random(options.seed)
    , m_dayStart(options.start.seconds())
{
    for (const char *name : kDaemons)
        m_system << QString::fromLatin1(name);
    // Per-CPU kernel threads of an 8-thread laptop and a pool of workers fill the rest.
    for (int cpu = 0; cpu < 8; ++cpu) {
        for (const char *format : {"cpuhp/%d", "migration/%d", "ksoftirqd/%d", "kworker/%d:0H-events_highpri"})
            m_system << QString::asprintf(format, cpu);
    }
    const int programs = 25;
    while (m_system.size() < options.processCount - programs)
        m_system << QStringLiteral("kworker/u16:%1").arg(m_nextWorker++);
    for (int i = 0; i < programs; ++i)
        m_programs << QString::fromLatin1(kPrograms[i % std::size(kPrograms)]);
}

QList<QVariantMap> KLVRHistoryGenerator::nextDays(int days)
{
    QList<QVariantMap> records;
    for (int day = 0; day < days; ++day) {
        QList<Event> events;
        simulateDay(events);
        std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.date < b.date; });
        records.reserve(records.size() + events.size());
        for (Event &e : events) {
            char date[64];
            std::snprintf(date, sizeof date, "%lf", e.date);
            records.append(QVariantMap{
                {QStringLiteral("id"), QString::number(m_nextId++)},
                {QStringLiteral("date"), QString::fromLatin1(date)},
                {QStringLiteral("description"), e.description},
                {QStringLiteral("monitor"), e.monitor},
                {QStringLiteral("properties"), e.properties},
            });
        }
        m_dayStart += 86400.0;
    }
    return records;
}

QVariantList KLVRHistoryGenerator::nextDaysAsVariantList(int days)
{
    QVariantList list;
    const QList<QVariantMap> records = nextDays(days);
    list.reserve(records.size());
    for (const QVariantMap &r : records)
        list.append(r);
    return list;
}

void KLVRHistoryGenerator::add(QList<Event> &events, double date, const QString &description, const QString &monitor,
                               const QVariantMap &properties)
{
    if (monitor == kPowerEvents)
        ++m_powerEvents;
    events.append(Event{date, description, monitor, properties.isEmpty() ? QStringLiteral("NULL") : propertyListText(properties)});
}

QVariantMap KLVRHistoryGenerator::powerContext(qint64 idleSeconds, bool inhibitors)
{
    QVariantMap context{
        {QStringLiteral("Idle Seconds"), idleSeconds},
        {QStringLiteral("Processes"), QVariant(m_system + m_programs)},
    };
    if (inhibitors) {
        context.insert(QStringLiteral("Inhibitors"),
                       QVariantList{
                           QVariantMap{{QStringLiteral("What"), QStringLiteral("sleep")}, {QStringLiteral("Who"), QStringLiteral("GNOME Shell")},
                                       {QStringLiteral("Why"), m_options.lockReason},
                                       {QStringLiteral("Mode"), QStringLiteral("delay")}},
                           QVariantMap{{QStringLiteral("What"), QStringLiteral("sleep:shutdown")}, {QStringLiteral("Who"), QStringLiteral("Rest Watch")},
                                       {QStringLiteral("Why"), QStringLiteral("Recording power events")},
                                       {QStringLiteral("Mode"), QStringLiteral("delay")}},
                       });
    }
    return context;
}

QVariantMap KLVRHistoryGenerator::batteryContext() const
{
    const int percent = int(std::lround(std::clamp(m_charge, 0.0, 100.0)));
    const bool charged = m_onAC && percent >= 100;
    const bool charging = m_onAC && !charged;
    const double full = 52.3, design = 57.0;
    const double rate = m_onAC ? (charged ? 0.0 : 18.2) : 6.4;
    QVariantMap context{
        {QStringLiteral("Name"), m_options.batteryName},
        {QStringLiteral("Type"), QStringLiteral("InternalBattery")},
        {QStringLiteral("Transport Type"), QStringLiteral("Internal")},
        {QStringLiteral("Is Present"), true},
        {QStringLiteral("Is Charging"), charging},
        {QStringLiteral("Is Charged"), charged},
        {QStringLiteral("Power Source State"), m_onAC ? QStringLiteral("AC Power") : QStringLiteral("Battery Power")},
        {QStringLiteral("Current Capacity"), percent},
        {QStringLiteral("Max Capacity"), 100},
        {QStringLiteral("Time to Empty"), m_onAC ? 0 : int(m_charge / 100.0 * full / rate * 60.0)},
        {QStringLiteral("Time to Full Charge"), charging ? int((100.0 - m_charge) / 100.0 * full / rate * 60.0) : 0},
        {QStringLiteral("Power Source ID"), 51966},
        {QStringLiteral("Energy"), std::round(m_charge / 100.0 * full * 100.0) / 100.0},
        {QStringLiteral("Energy Full"), full},
        {QStringLiteral("Energy Full Design"), design},
        {QStringLiteral("Voltage"), std::round((11.1 + m_charge / 100.0 * 1.5) * 1000.0) / 1000.0},
        {QStringLiteral("Charge Cycles"), m_cycles},
        {QStringLiteral("Health"), std::round(full / design * 1000.0) / 10.0},
    };
    if (rate > 0.0)
        context.insert(QStringLiteral("Energy Rate"), rate);
    return context;
}

void KLVRHistoryGenerator::evolveProcesses()
{
    // Workers come and go; a new process has a higher pid, so it is listed last.
    if (chance(0.6)) {
        const int i = int(uniform(0, m_system.size()));
        if (m_system.at(i).startsWith(QLatin1String("kworker/u16:"))) {
            m_system.removeAt(i);
            m_system << QStringLiteral("kworker/u16:%1").arg(m_nextWorker++ % 512);
        }
    }
    if (chance(0.25)) {
        if (chance(0.5) && m_programs.size() > 10)
            m_programs.removeAt(int(uniform(0, m_programs.size())));
        else if (m_programs.size() < 60)
            m_programs << QString::fromLatin1(kPrograms[int(uniform(0, std::size(kPrograms)))]);
    }
}

void KLVRHistoryGenerator::batteryUntil(QList<Event> &events, double from, double to, bool awake)
{
    // UPower reports every percent, and while awake also its recomputed times and rates.
    double t = from;
    while (t < to) {
        const double step = std::min(to - t, awake ? uniform(90.0, 180.0) : 1800.0);
        const double perHour = m_onAC ? (m_charge < 80.0 ? 38.0 : 12.0) : (awake ? -11.0 : -0.6);
        const bool wasFull = m_onAC && m_charge >= 99.5;
        m_charge = std::clamp(m_charge + perHour * step / 3600.0, 1.0, 100.0);
        t += step;
        const int percent = int(std::lround(m_charge));
        if (!awake)
            continue;
        if (percent != m_lastReportedCharge || chance(0.3)) {
            if (m_onAC && percent >= 100 && !wasFull)
                ++m_cycles;
            add(events, t, QStringLiteral("Power state changed"), kPowerSource, batteryContext());
            m_lastReportedCharge = percent;
        }
        // The user plugs in when the battery runs low.
        if (!m_onAC && m_charge < 12.0 && t + 1 < to) {
            m_onAC = true;
            add(events, t + 1.0, QStringLiteral("Power state changed"), kPowerSource, batteryContext());
        }
    }
}

double KLVRHistoryGenerator::sleep(QList<Event> &events, double t, double duration, bool idle)
{
    fallAsleep(events, t, idle);
    batteryUntil(events, t, t + duration, false);
    wakeUp(events, t + duration, idle);
    return t + duration;
}

void KLVRHistoryGenerator::fallAsleep(QList<Event> &events, double t, bool idle)
{
    evolveProcesses();
    // An idle sleep records the decision and the sleep with one context, a moment apart.
    const QVariantMap context = powerContext(idle ? qint64(uniform(300, 1200)) : 0, true);
    if (idle)
        add(events, t, QStringLiteral("Can system sleep"), kPowerEvents, context);
    add(events, t + 0.002, QStringLiteral("System will sleep"), kPowerEvents, context);
}

void KLVRHistoryGenerator::wakeUp(QList<Event> &events, double t, bool timer)
{
    evolveProcesses();
    QVariantMap woken = powerContext(0, false);
    woken.insert(QStringLiteral("Wake Reason"),
                 QVariantMap{{QStringLiteral("IRQ"), timer ? QStringLiteral("8 rtc0") : QStringLiteral("9 acpi")},
                             {QStringLiteral("Sources"), QVariantList{timer ? QStringLiteral("rtc0") : QStringLiteral("PNP0C0D:00")}}});
    add(events, t, QStringLiteral("System has powered on"), kPowerEvents, woken);
    // UPower reads the battery again after every resume.
    add(events, t + 1.5, QStringLiteral("Power state changed"), kPowerSource, batteryContext());
    m_lastReportedCharge = int(std::lround(m_charge));
}

void KLVRHistoryGenerator::restart(QList<Event> &events, double t)
{
    add(events, t, QStringLiteral("System will restart"), kPowerEvents, powerContext(0, true));
    add(events, t + 0.8, QStringLiteral("Stopping monitor"), kAgent);
    add(events, t + 2.5, QStringLiteral("accounting shut down"), kLast, {{QStringLiteral("event_time"), t + 2.5}});
    const double boot = t + uniform(35.0, 60.0);
    add(events, boot, QStringLiteral("accounting boot"), kLast, {{QStringLiteral("event_time"), boot}});
    add(events, boot + 0.25, QStringLiteral("startup"), kLast, {{QStringLiteral("event_time"), boot + 0.25}});
    add(events, boot + 9.0, QStringLiteral("Starting monitor"), kAgent);
    // A new boot: new kernel workers, no user programs yet.
    for (QString &name : m_system) {
        if (name.startsWith(QLatin1String("kworker/u16:")))
            name = QStringLiteral("kworker/u16:%1").arg(m_nextWorker++ % 512);
    }
    m_programs.clear();
    for (int i = 0; i < 25; ++i)
        m_programs << QString::fromLatin1(kPrograms[int(uniform(0, std::size(kPrograms)))]);
    add(events, boot + 12.0, QStringLiteral("Power state changed"), kPowerSource, batteryContext());
}

void KLVRHistoryGenerator::work(QList<Event> &events, double from, double to)
{
    double t = from;
    while (t < to) {
        double next = to;
        if (m_plugIn > t && m_plugIn < next)
            next = m_plugIn;
        if (m_unplug > t && m_unplug < next)
            next = m_unplug;
        batteryUntil(events, t, next, true);
        t = next;
        if (t == m_plugIn && !m_onAC) {
            m_onAC = true;
            add(events, t + 0.5, QStringLiteral("Power state changed"), kPowerSource, batteryContext());
        } else if (t == m_unplug && m_onAC) {
            m_onAC = false;
            add(events, t + 0.5, QStringLiteral("Power state changed"), kPowerSource, batteryContext());
        }
    }
}

void KLVRHistoryGenerator::simulateDay(QList<Event> &events)
{
    const double day = m_dayStart;
    // Night: asleep since the evening, with short timer wakes (battery checks, network, timers).
    double t = day + uniform(300.0, 900.0);
    batteryUntil(events, day, t, false);
    const double morning = day + uniform(6.5, 8.0) * 3600.0;
    while (t < morning) {
        wakeUp(events, t, true);
        const double asleep = t + uniform(20.0, 50.0);
        fallAsleep(events, asleep, true);
        const double nap = uniform(9.0, 18.0) * 60.0;
        batteryUntil(events, asleep, asleep + nap, false);
        t = asleep + nap;
    }
    wakeUp(events, t, false);

    // The day: work in stretches between lid and idle sleeps, on the charger for a while.
    m_plugIn = day + uniform(10.0, 14.0) * 3600.0;
    m_unplug = m_plugIn + uniform(2.0, 5.0) * 3600.0;
    const double evening = day + uniform(22.5, 23.6) * 3600.0;
    const bool restartToday = chance(1.0 / 6.0);
    const bool agentRestartToday = !restartToday && chance(1.0 / 9.0);
    while (t < evening) {
        const double until = std::min(evening, t + uniform(0.5, 2.5) * 3600.0);
        work(events, t, until);
        t = until;
        if (agentRestartToday && t > day + 15 * 3600.0 && t < day + 19 * 3600.0) {
            add(events, t + 3.0, QStringLiteral("Stopping monitor"), kAgent);
            add(events, t + 4.2, QStringLiteral("Starting monitor"), kAgent);
        }
        // A nap ends before the evening, so the day's events never reach into the next day.
        const double nap = std::min(uniform(5.0, 75.0) * 60.0, evening - t - 600.0);
        if (t >= evening || nap < 120.0)
            break;
        t = sleep(events, t + 5.0, nap, chance(0.5)) + 2.0;
    }
    if (restartToday) {
        restart(events, t + 60.0);
        t += 180.0;
    }
    // Lid closed for the night.
    fallAsleep(events, t + 60.0, false);
    batteryUntil(events, t + 60.0, day + 86400.0, false);
}

void KLVRHistoryGenerator::prepareProcess()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "com.klvr.restwatch.model*=false");
}

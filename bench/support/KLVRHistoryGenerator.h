// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <random>

// Writes years of a Linux laptop's life as the agent records it, day after day, in the agent's
// returned-event form: maps of texts "id", "date" ("%lf" seconds since 2001), "description",
// "monitor" and "properties" (the XML property list the agent stores, or "NULL").
//
// A day holds about 300 events, a third of them power events carrying the process list (some
// 300 names, changing slowly as programs start and stop): lid and idle sleeps during the day
// ("Can system sleep" and "System will sleep" with the same context, "System has powered on"
// with a wake reason), short maintenance wakes through the night, and shutdown requests. The
// rest are "Power state changed" events of the battery: every percent of charge and discharge,
// UPower's frequent updates of time and rate at an unchanged percentage, switches between AC and
// battery, charging started and finished. Every few days the machine restarts (shutdown and boot
// records, "startup", the agent stopping and starting) and now and then the agent alone
// restarts. Deterministic for a seed.
class KLVRHistoryGenerator
{
public:
    struct Options
    {
        quint32 seed = 20240101;
        // First day (local midnight of its date is where the history starts).
        KLVRAbsoluteTime start = KLVRAbsoluteTime::fromUnix(1704067200.0); // 2024-01-01 UTC
        int processCount = 300;
        QString batteryName = QStringLiteral("BAT0");
        // Why the desktop delays every sleep, as its inhibitor says in the user's language.
        QString lockReason = QStringLiteral("GNOME needs to lock the screen");
    };

    KLVRHistoryGenerator();
    explicit KLVRHistoryGenerator(const Options &options);

    // The events of the next days, in date order.
    QList<QVariantMap> nextDays(int days);
    QVariantList nextDaysAsVariantList(int days);

    KLVRAbsoluteTime currentDate() const { return KLVRAbsoluteTime(m_dayStart); }
    qint64 eventCount() const { return m_nextId - 1; }
    qint64 powerEventCount() const { return m_powerEvents; }

    // The XML property-list text the agent writes for a dictionary (texts, integers, reals,
    // booleans, lists and dictionaries).
    static QString propertyListText(const QVariantMap &dictionary);
    // Sets a benchmark process up for a generated history: Berlin local time, and the model's
    // notes about the history's deliberate oddities silenced (unless QT_LOGGING_RULES says
    // otherwise). Call first in main().
    static void prepareProcess();

    static inline const QString kAgent = QStringLiteral("com.klvr.restwatch");
    static inline const QString kPowerEvents = QStringLiteral("com.klvr.monitor.watcher.powerevents");
    static inline const QString kPowerSource = QStringLiteral("com.klvr.monitor.watcher.powersource");
    static inline const QString kLast = QStringLiteral("com.klvr.monitor.watcher.last");

private:
    struct Event
    {
        double date;
        QString description;
        QString monitor;
        QString properties;
    };

    void simulateDay(QList<Event> &events);
    void add(QList<Event> &events, double date, const QString &description, const QString &monitor,
              const QVariantMap &properties = {});
    // Sleep from t until wake; returns the wake time.
    double sleep(QList<Event> &events, double t, double duration, bool idle);
    void fallAsleep(QList<Event> &events, double t, bool idle);
    void wakeUp(QList<Event> &events, double t, bool timer);
    void work(QList<Event> &events, double from, double to);
    void restart(QList<Event> &events, double t);
    void batteryUntil(QList<Event> &events, double from, double to, bool awake);
    QVariantMap batteryContext() const;
    QVariantMap powerContext(qint64 idleSeconds, bool inhibitors);
    void evolveProcesses();
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(m_random); }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }

    Options m_options;
    std::mt19937 m_random;
    double m_dayStart = 0.0;
    qint64 m_nextId = 1;
    qint64 m_powerEvents = 0;

    QStringList m_system;   // daemons and kernel threads, stable through a boot
    QStringList m_programs; // the user's programs, coming and going
    int m_nextWorker = 0;

    double m_charge = 80.0; // percent, fractional
    bool m_onAC = false;
    int m_lastReportedCharge = -1;
    int m_cycles = 112;
    double m_plugIn = 0.0;
    double m_unplug = 0.0;
};

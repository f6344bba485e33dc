// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAAccountingRecord.h"
#include "KLVRRWAMonitor.h"

#include <QString>
#include <atomic>
#include <thread>

// Records when the machine booted and shut down: "startup" for the current boot (once per boot)
// and "accounting boot"/"accounting shut down" for every boot and shutdown record of the login
// accounting (/var/log/wtmp, and /var/lib/wtmpdb/wtmp.db where the system keeps one) newer than
// the agent's previous start, which it keeps in the store's settings under
// "KLVRRWAMonitorLast.last-start". The accounting files are read on a background thread that only
// queues events; stop() waits for it. Records dated after now are not recorded (one log line per
// scan): they are taken once their time has come.
//
// The new last start is saved only once those events are on disk, so that an agent that dies in
// its first minutes, or a store that cannot be written, never loses a boot: the next start finds
// the old last start and records them again.
//
// Creation (fourth and last in the controller's monitor list):
//     new KLVRRWAMonitorLast(store, controller);
class KLVRRWAMonitorLast : public KLVRRWAMonitor
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAMonitorLast)

public:
    static inline const QString Signature = QStringLiteral("com.klvr.monitor.watcher.last");
    static inline const QString LastStartSetting = QStringLiteral("KLVRRWAMonitorLast.last-start");
    // Info.plist key of the query that reads boots from a wtmpdb database.
    static inline const QString WtmpDbSelectKey = QStringLiteral("KLVRRWAMonitorLastSQLWtmpDbSelect");

    explicit KLVRRWAMonitorLast(KLVRRWAStore *aStore, QObject *parent = nullptr);
    ~KLVRRWAMonitorLast() override;

    QString signature() const override { return Signature; }
    // Records "startup" when the machine booted after the previous start, starts the scan for
    // records newer than the previous start, and stores now as the new last start.
    void start() override;
    // Waits for the scan to end, so that its events are queued before the agent's last ones.
    void stop() override;

    // Seconds since 2001 of the agent's previous start; 0.0 when none is stored.
    double lastStart();
    void setLastStart(double lastStart);
    // Seconds since boot, counting time spent asleep.
    virtual double uptime() const;

    // Starts the background scan for accounting records strictly later than since and not later
    // than until (now, when not given).
    void storeAccountEventsSince(double since, double until = qQNaN());
    // Blocks until a running scan has queued all of its events.
    void waitForScan();

    // The accounting records of the system: both sources, each record once.
    static KLVRRWAAccountingRecords accountingRecords(const QString &wtmpPath, const QString &wtmpDbPath,
                                                      const QString &wtmpDbQuery);
    // Whether time is strictly later than since, compared at the microsecond the text form keeps.
    static bool isLater(KLVRAbsoluteTime time, double since);

Q_SIGNALS:
    // Emitted (from the scan's thread) when the scan has queued its events.
    void scanFinished(int eventsQueued);

private:
    // Writes the queued events and, once they are on disk, saves the new last start.
    void finishStart();

    std::thread m_scan;
    double m_unsavedLastStart = qQNaN(); // the start to save once its events are written
};

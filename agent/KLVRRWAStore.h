// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRDatabaseController.h"
#include "KLVRRWAEventTable.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVariantMap>
#include <optional>

class QTimer;

// The agent's persistent record of events. Monitors queue events from any thread; the batch is
// written in one transaction on the main thread every 900 seconds, on flush(), before every
// read and on destruction. The events table keeps the newest 10001 rows.
class KLVRRWAStore : public KLVRDatabaseController
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAStore)
    Q_PROPERTY(quint64 entriesAdded READ entriesAdded WRITE setEntriesAdded NOTIFY entriesAddedChanged)

public:
    static constexpr int kTimerInterval = 900; // seconds between batch writes

    // databasePath: the store file; empty for the standard location (see defaultDatabasePath()).
    explicit KLVRRWAStore(const QString &databasePath = QString(), QObject *parent = nullptr);
    ~KLVRRWAStore() override;

    // "/var/lib/<KLVRRWAStorePath>" (under the system root) when the agent runs from a system
    // helper folder, "$XDG_DATA_HOME/<KLVRRWAStorePath>" otherwise.
    QString defaultDatabasePath();
    // The store file's URL; creates the folder that holds it.
    QUrl databaseURL() override;
    // True when the executable lies in a system helper folder such as /usr/local/libexec/restwatch/.
    static bool bundleWithinLocalLibrary(const QString &executablePath);

    // Queues one event (thread-safe). context: the event's property dictionary, or none.
    void addEntry(const QString &anEntry, const std::optional<QVariantMap> &context,
                  const QString &aMonitorSignature, KLVRAbsoluteTime aTime);
    // Queues one row's insert parameters ("@date", "@monitor", "@description", "@properties").
    void addToPending(const QVariantMap &someInsertParameters);
    // Writes the whole batch in one transaction; on failure nothing is written and the batch
    // stays queued.
    void insertPending();
    void flush() { insertPending(); }

    // Events dated between the two times inclusive, oldest first, after writing the batch: each
    // "id", "date", "monitor", "description", "properties", the text SQLite gives for the column
    // ("properties" is XML property-list text or "NULL"). An invalid time means no bound (from
    // 0.0, to the year 4001); std::nullopt when none match.
    std::optional<KLVRRWAEventTable> sortedEntriesFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to);

    quint64 entriesAdded() const;
    void setEntriesAdded(quint64 entriesAdded);
    // A copy of the queued insert parameters, oldest first.
    QList<QVariantMap> pending() const;
    // The batch timer, null until the first event is queued.
    QTimer *timer() const { return m_timer; }

Q_SIGNALS:
    // Emitted on the store's thread every time written rows are counted.
    void entriesAddedChanged(quint64 entriesAdded);

private Q_SLOTS:
    void timerDidFire();

private:
    void ensureTimer();

    QString m_databasePath;
    mutable QMutex m_pendingLock;
    QList<QVariantMap> m_pending;
    quint64 m_entriesAdded = 0;
    QTimer *m_timer = nullptr;
};

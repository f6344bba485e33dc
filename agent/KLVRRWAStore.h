// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRDatabaseController.h"
#include "KLVRRWAEventSizes.h"
#include "KLVRRWAEventTable.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVariantMap>
#include <atomic>
#include <memory>
#include <optional>

class QTimer;

// The agent's persistent record of events. Monitors queue events from any thread; the batch is
// written in one transaction every 900 seconds, on flush() (the sleep path calls it from its own
// thread), before every read and on destruction. The events table keeps the newest 10001 rows.
//
// Writes and settings go through the store's own connection, under its lock; reads go through a
// second, read-only connection, so that a long read never holds up the write before a sleep
// (the write-ahead log lets both run at once).
//
// The store never stops the agent. A file that is not a database, fails its integrity check or
// lacks the store's columns is moved aside under a dated name at the first open, a fresh store
// starts, and the move is recorded as "Store moved aside". While the file cannot be written
// (read-only, disk full, folder missing) events wait in a bounded queue, writing is retried every
// kRetryInterval seconds, and reads serve what the file holds.
class KLVRRWAStore : public KLVRDatabaseController
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAStore)
    Q_PROPERTY(quint64 entriesAdded READ entriesAdded WRITE setEntriesAdded NOTIFY entriesAddedChanged)

public:
    static constexpr int kTimerInterval = 900; // seconds between batch writes
    static constexpr int kRetryInterval = 5;   // seconds between writes while the file cannot be written
    static constexpr int kMaxPending = 2000;   // events held while the file cannot be written (no bound otherwise)
    // Bytes the write-ahead log keeps from its first open on. A commit that has to make its
    // file longer waits for the file system's journal, which on a busy machine takes tens of
    // milliseconds; a commit over existing space waits only for its own pages.
    static constexpr qint64 kLogReserve = 1024 * 1024;
    static inline const QString AgentSignature = QStringLiteral("com.klvr.restwatch");
    static inline const QString MovedAsideDescription = QStringLiteral("Store moved aside");

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
    // Writes the whole batch in one transaction; on failure nothing is written, the batch stays
    // queued, a retry is scheduled and the reason logged (once until writing works again).
    // Returns whether nothing is left queued. Then copies the write-ahead log back into the
    // store (checkpoint()). Never throws.
    bool insertPending();
    bool flush() { return insertPending(); }
    // The same write without the checkpoint, for a caller that must not wait for one (the write
    // before a sleep), and that calls checkpoint() once it is done waiting.
    bool writePending();
    // Copies what the write-ahead log holds back into the store file as far as no reader still
    // needs it, so that the next batch is written over the log's existing space from its start.
    // Never throws.
    void checkpoint();
    // Whether the last write worked (or none was needed yet).
    bool isWritable() const { return m_writable; }

    // Events dated between the two times inclusive, oldest first, after writing the batch: each
    // "id", "date", "monitor", "description", "properties", the text SQLite gives for the column
    // ("properties" is XML property-list text or "NULL"). An invalid time means no bound (from
    // 0.0, to the year 4001); std::nullopt when none match. A store that cannot be read, or a
    // read that fails part-way, throws KLVRAssertionException: never a part of the answer.
    std::optional<KLVRRWAEventTable> sortedEntriesFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to);
    // The same read for a reply of at most maxReplyBytes: every event's size goes into sizes,
    // and the texts are built only when the events fit; otherwise the table comes back empty,
    // so that a range too large for a reply costs a count of its rows (from the stored bytes)
    // rather than a whole answer. sizes must be empty.
    std::optional<KLVRRWAEventTable> sortedEntriesFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to,
                                                           qint64 maxReplyBytes, KLVRRWAEventSizes *sizes);

    // A setting, read through the writing connection or, when the file cannot be written,
    // read-only; a null text when absent or unreadable. Never throws.
    QString settingText(const QString &key);
    // The "version" setting; null when the store cannot be read.
    QString storeVersion() { return settingText(QStringLiteral("version")); }
    // Stores a setting; false (logged) when the file cannot be written. Never throws.
    bool setSettingText(const QString &key, const QString &value);

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

protected:
    // Turns SQLite's own checkpoints off (checkpoint() does them after each batch) and gives the
    // write-ahead log its reserve.
    void databaseDidOpen() override;

private:
    void ensureTimer();
    void scheduleRetry();
    // Opens the writing connection, moving a damaged file aside at the first attempt; false when
    // the file cannot be opened for writing. Called with the database lock and the batch lock held.
    bool openForWriting();
    void noteUnwritable(const QString &reason);
    void noteWritable();
    // The read-only connection, opened when the file exists; null otherwise.
    KLVRDatabaseController *reader();
    // One pass of the select over connection: each row's size into sizes and, unless events is
    // null, its texts into events (sizes then as the texts travel). Returns the rows read.
    qsizetype readEntries(KLVRDatabaseController *connection, KLVRAbsoluteTime from, KLVRAbsoluteTime to,
                          KLVRRWAEventTable *events, KLVRRWAEventSizes *sizes);
    QVariantMap insertParameters(const QString &anEntry, const std::optional<QVariantMap> &context,
                                 const QString &aMonitorSignature, KLVRAbsoluteTime aTime) const;

    QString m_databasePath;
    QString m_openedPath; // the file the writing connection holds
    std::unique_ptr<KLVRDatabaseController> m_reader;
    bool m_checkedForDamage = false;
    std::atomic<bool> m_writable = true;
    bool m_logToCopy = false; // the write-ahead log holds pages the store file lacks (database lock)
    QString m_unwritableReason; // logged once until writing works again
    qsizetype m_dropped = 0;
    QTimer *m_retryTimer = nullptr;
    mutable QMutex m_pendingLock;
    QList<QVariantMap> m_pending;
    std::atomic<quint64> m_entriesAdded = 0;
    QTimer *m_timer = nullptr;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRAgentController.h"
#include "KLVRDatabaseController.h"
#include "KLVRRWCLog.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <deque>
#include <functional>
#include <optional>

class KLVRRWAEventTable;
class QDBusPendingCallWatcher;

// The client's only source of events: pulls what the agent recorded since the last pull, keeps
// every event in a SQLite cache file in the Documents folder, and feeds the log from that cache
// (agent, then cache, then log). Pulls happen at launch, when the agent says it wrote events,
// every 240 seconds and on request. A pull runs without blocking: register for notices, fetch
// (splitting a range the agent finds too large for the bus), cache, record the sync time, replay.
class KLVRRWCStore : public KLVRDatabaseController
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCStore)

public:
    static constexpr int kUpdateInterval = 240 * 1000;     // ms between timed pulls
    static constexpr int kAgentTimeout = 5000;             // ms, every request to the agent
    static constexpr int kInstalledChangeDelay = 100;      // ms after the agent's state changed
    static constexpr int kReplayBatch = 2000;              // events handed to the log at a time
    // Times travel as "%lf" text, so they lie on a microsecond grid: the next possible time after
    // a bound is one microsecond later.
    static constexpr double kTimeResolution = 0.000001;
    static inline const QString kUpdatePath = QStringLiteral("/com/klvr/restwatch/store");
    static inline const QString kAgentPath = QStringLiteral("/com/klvr/restwatch/agent");
    static inline const QString kTooLargeError = QStringLiteral("com.klvr.restwatch.Error.TooLarge");
    // A TooLarge message ends with this lead and the dates up to which consecutive answers fit.
    static inline const QString kTooLargeSplitsLead = QStringLiteral("Answers that fit end at: ");
    // A write the other programs on the cache keep locked out is tried this often (each time
    // waiting as long as the connection's busy timeout) before the pull is tried again later.
    static constexpr int kWriteAttempts = 3;
    static constexpr int kWriteRetryDelay = 1000;          // ms before a pull whose caching failed runs again
    // Blocks up to this size come from the heap, and the heap keeps this much free at its top.
    static constexpr int kHeapReuseBytes = 32 * 1024 * 1024;

    // systemBus/sessionBus: where the agent is looked for (system bus first) and where the update
    // endpoint is vended.
    explicit KLVRRWCStore(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
                          QObject *parent = nullptr);
    ~KLVRRWCStore() override;

    // Outlets, set by the creator before awakeFromNib().
    void setAgentController(KLVRAgentController *agentController) { m_agentController = agentController; }
    void setLogController(KLVRRWCLog *logController) { m_logController = logController; }
    KLVRAgentController *agentController() const { return m_agentController; }
    KLVRRWCLog *logController() const { return m_logController; }
    // Checks the outlets and starts following the agent's installation.
    void awakeFromNib();

    // "<Documents>/<CFBundleName>.rest-watch-events".
    QUrl databaseURL() override;
    void databaseDidOpen() override;

    // "<bundle identifier>._store", the name the update endpoint asks for on every bus.
    QString updateIdentifier() const;
    // The name the agent on bus must call back: the well-known name, or this connection's unique
    // name when another client owns it; empty when the endpoint is not vended there.
    QString updateIdentifierForBus(const QDBusConnection &bus) const;
    bool hasUpdateEndpoint() const { return !m_endpoints.isEmpty(); }
    const QTimer *updateTimer() const { return m_updateTimer; }

    // The last pull's time; the distant past when there was none. Nothing deletes the setting.
    KLVRAbsoluteTime lastSyncDate();
    void setLastSyncDate(std::optional<KLVRAbsoluteTime> date);

    // Whether the cache file can only be read; pulled events then go to the log alone.
    bool isReadOnly() const { return m_readOnly; }
    // What went wrong with the cache file, for the user; empty when nothing did.
    QString cacheProblem() const { return m_cacheProblem; }

    // Replays the cache into the log: every cached event after the log's last one.
    void syncWithLocalCache();
    // Pulls from the agent; true when a pull started (or one is running and will run again).
    bool sync();
    bool isPulling() const { return m_pull.has_value(); }

    // Records a locally made event (the stop marker): cached and handed to the log at once.
    void addEntry(const QString &anEntry, const QString &aMonitorSignature, KLVRAbsoluteTime aTime);

    // Caches the events in one transaction; false (after logging) when the cache could not be
    // written, in which case nothing of them was.
    bool cacheEvents(const QList<QVariantMap> &someEvents);
    void cacheEvent(const QVariantMap &anEvent);
    // Cached events between the two times inclusive, oldest first; no from starts at 0.0, no to
    // ends at the distant future. Rows that cannot be decoded are logged and left out.
    QList<QVariantMap> sortedCachedEventsFromDate(std::optional<KLVRAbsoluteTime> from,
                                                  std::optional<KLVRAbsoluteTime> to);

public Q_SLOTS:
    // The update endpoint's one method, called by the agent after it wrote events.
    void eventsDidChange();
    void updateTimerDidNotify();

Q_SIGNALS:
    // A pull ended: success false when a request failed (nothing was cached then); count is the
    // number of events the agent provided.
    void pullFinished(bool success, int count);
    // The cache file was damaged and moved aside, or can only be read: a text for the user.
    void cacheProblemOccurred(const QString &message);

private:
    struct Range
    {
        double from;
        double to;
    };
    // An event as the agent provided it, in the form it is cached in.
    struct PulledEvent
    {
        QString date;
        QByteArray record;
    };
    struct Pull
    {
        QDBusConnection bus;
        KLVRAbsoluteTime now;
        std::deque<Range> ranges;
        QList<PulledEvent> events;
    };

    void createUpdateEndpoint(QDBusConnection bus);
    // Opens the cache file once it is judged: a damaged one is moved aside first and replaced by
    // a fresh one; false when no cache can be had now (the file is locked, or cannot be made).
    bool openCache();
    // Closes the cache, moves the file aside and opens a fresh one in its place.
    bool replaceDamagedCache(const QString &reason);
    void reportCacheProblem(const QString &message);
    // Runs body in one write transaction, retried while other programs hold the cache; false
    // when it did not commit (everything of it is rolled back then).
    bool writeTransaction(const std::function<void()> &body);
    // Caches the pull's events newer than the sync date the cache holds (another program on the
    // cache may have cached some of them meanwhile) and records the pull's time with them.
    bool cachePull(const QList<PulledEvent> &events, KLVRAbsoluteTime now);
    // Inserts one record (a binary or XML property list) dated date; throws when it did not go in.
    void insertRecord(QString date, const QByteArray &record);
    // The events of an answer as records, as they arrive, so that the agent prepares the next
    // answer meanwhile and the pull's end only writes them.
    static void appendPulled(const KLVRRWAEventTable &events, QList<PulledEvent> *pulled);
    // Calls f, logging what it throws; false when it threw.
    bool guarded(const char *what, const std::function<void()> &f);
    // Hands row() each cached row between the bounds, in the select's order, as its bytes and
    // whether SQLite holds them as text; row() answers whether the row decoded. Returns the count
    // of decoded rows.
    qsizetype stepCachedRows(std::optional<KLVRAbsoluteTime> from, std::optional<KLVRAbsoluteTime> to,
                             const std::function<bool(const char *bytes, qsizetype size, bool isText)> &row);
    // One row as a record, or nothing (with the logged line) when it cannot be decoded.
    static std::optional<QVariantMap> decodeRow(const char *bytes, qsizetype size, bool isText);
    std::optional<QDBusConnection> agentConnection();
    void fetchAgentEvents();
    void requestNextRange();
    void rangeDidArrive(QDBusPendingCallWatcher *watcher);
    void finishPull(bool success, const QString &failure = QString());
    void finishPullUnguarded(bool success, const QString &failure);
    // The ranges a TooLarge answer's message offers, in turn from range's start; empty when the
    // message offers none that lie inside it.
    static std::deque<Range> rangesOffered(const QString &message, const Range &range);
    void updateLogEvents();
    // Hands the log the events newer than its last one, straight, where they cannot be cached.
    void handToLog(const QList<QVariantMap> &events);
    void handToLog(const QList<PulledEvent> &events);
    void agentStateDidChange();
    void updateAgentConnection();

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QPointer<KLVRAgentController> m_agentController;
    QPointer<KLVRRWCLog> m_logController;
    std::optional<QDBusConnection> m_agentConnection;
    struct Endpoint
    {
        QDBusConnection bus;
        QString identifier;
        bool ownsName;
    };
    QList<Endpoint> m_endpoints;
    QTimer *m_updateTimer = nullptr;
    QTimer m_installedChangeTimer;
    std::optional<Pull> m_pull;
    bool m_pullAgain = false;
    bool m_awake = false;
    bool m_cacheOpen = false;
    bool m_readOnly = false;
    QString m_cacheProblem;
    // The sync date of a read-only cache, kept in memory.
    std::optional<KLVRAbsoluteTime> m_memorySyncDate;
    QTimer m_retryTimer;
    int m_lastReadResult = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAEventSizes.h"
#include "KLVRRWAEventTable.h"
#include "KLVRRWARefusalLog.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QDBusMessage>
#include <QHash>
#include <QSet>
#include <QLoggingCategory>
#include <QObject>
#include <QTimer>
#include <QString>
#include <functional>
#include <memory>

class KLVRRWAStore;

Q_DECLARE_LOGGING_CATEGORY(lcRWAService)

// The agent's event service on D-Bus: bus name = the bundle identifier, object
// /com/klvr/restwatch/agent, interface com.klvr.restwatch.KLVRRWAServiceProtocol. Clients read
// events by date range and register a bus name to be told, at most once per updateInterval,
// that new events were written. Registrations live in memory only; a name whose owner has gone
// is forgotten at the next round of notices.
//
// Callers are bounded by their unique bus name: each has at most one read queued or running
// (another gets LimitsExceeded), a read nobody waits for (NO_REPLY_EXPECTED) is not run, and a
// caller registers and unregisters only names it owns (AccessDenied otherwise). Reads are served
// one per turn of the event loop, so signals and other callers are heard between them.
//
// The store is not owned; it must outlive the service.
class KLVRRWAService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAService)

public:
    static inline const QString ObjectPath = QStringLiteral("/com/klvr/restwatch/agent");
    static inline const QString UpdatePath = QStringLiteral("/com/klvr/restwatch/store");
    static inline const QString UpdateInterface = QStringLiteral("com.klvr.restwatch.KLVRRWAUpdateProtocol");
    static inline const QString TooLargeError = QStringLiteral("com.klvr.restwatch.Error.TooLarge");
    // A TooLarge message ends with this lead and the dates (text, comma-separated) up to which
    // consecutive answers from the range's first event fit; a client asks for those ranges.
    static inline const QString TooLargeSplitsLead = QStringLiteral("Answers that fit end at: ");
    // Replies stay well below the system bus's 32 MiB message limit, which would cost the
    // agent its connection.
    static constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;
    // The answers a TooLarge message offers take up to this much each: small enough that every
    // program on the way holds one answer's texts and buffers at a time and reuses their pages
    // for the next (a fresh page costs a fault, tens of microseconds on a virtual machine), large
    // enough that a full store takes about a dozen round trips, which overlap with the work.
    static constexpr qint64 kAnswerPartBytes = 4 * 1024 * 1024;
    // Split dates a TooLarge message offers at most; the rest of the range is asked for again.
    static constexpr int kMaxSplits = 64;
    // Registrations accepted in all, and from one caller; enough for every user's client.
    static constexpr int kMaxRegistrations = 1024;
    static constexpr int kMaxRegistrationsPerCaller = 16;
    // After a reply this large the heap is handed back to the system once it has been sent.
    static constexpr qint64 kTrimAfterReplyBytes = 1024 * 1024;
    // Reads waiting in all (one per caller); beyond that a caller gets LimitsExceeded.
    static constexpr int kMaxQueuedReads = 64;
    // Ownership checks of other names waiting for the bus, per caller.
    static constexpr int kMaxOwnerChecksPerCaller = 4;

    // Registers the service on connection; null (after logging) when the name is taken.
    static std::unique_ptr<KLVRRWAService> create(KLVRRWAStore *aStore, const QDBusConnection &connection);
    ~KLVRRWAService() override;

    // The registered name: the main bundle's identifier.
    static QString name();
    KLVRRWAStore *store() const { return m_store; }
    QDBusConnection connection() const { return m_connection; }
    QStringList updateIdentifiers() const { return m_updateIdentifiers.keys(); }
    double updateInterval() const { return m_updateInterval; }
    void setUpdateInterval(double seconds) { m_updateInterval = seconds; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The D-Bus interface (called by the generated adaptor).
    QString version();
    KLVRRWAEventTable sortedEventsFromDate(double fromDate, double toDate);
    void registerForEventUpdates(const QString &name);
    void unregisterForEventUpdates(const QString &name);

    // Sends a round of eventsDidChange notices unless disabled or one went out less than
    // updateInterval ago.
    void notifyEventsDidChange();

private:
    struct Read
    {
        QDBusMessage request;
        double from;
        double to;
    };

    KLVRRWAService(KLVRRWAStore *aStore, const QDBusConnection &connection);
    void sendUpdate(const QString &name);
    // Answers m_answering with an error (nothing when it wants no reply).
    void replyError(const QString &name, const QString &text);
    // Refuses request with a named error and a rate-limited log line.
    void refuse(const QDBusMessage &request, const QString &error, const QString &text);
    // The read itself; answers m_answering (empty for a call from inside the agent).
    KLVRRWAEventTable readEvents(double fromDate, double toDate);
    void serveNextRead();
    // Calls done(true) when caller owns name on the bus (its unique name, or a name it holds).
    void whenOwned(const QDBusMessage &request, const QString &name, std::function<void(bool)> done);
    // Registers name for caller; an error text when a limit refuses it.
    QString addRegistration(const QString &name, const QString &caller);

    KLVRRWAStore *m_store = nullptr;
    QDBusConnection m_connection;
    bool m_registered = false;
    // Callback name -> unique name of the caller that registered it.
    QHash<QString, QString> m_updateIdentifiers;
    double m_updateInterval = 1.0;
    // Monotonic, so that a clock set back cannot silence the notices; invalid = distant past.
    QElapsedTimer m_lastUpdate;
    bool m_enabled = false;
    QTimer m_trimTimer;
    QList<Read> m_reads;
    QSet<QString> m_readers; // callers with a read queued or running
    QTimer m_readTimer;
    QDBusMessage m_answering; // the request readEvents() answers
    bool m_answered = false;
    QHash<QString, int> m_ownerChecks; // caller -> ownership checks waiting
    std::unique_ptr<KLVRRWARefusalLog> m_refusals;
};

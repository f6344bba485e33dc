// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAService.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRRWAStore.h"
#include "klvrrwaserviceprotocol_adaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <cmath>
#include <malloc.h>

Q_LOGGING_CATEGORY(lcRWAService, "com.klvr.restwatch.agent.service")

namespace {

const QString ClassName = QStringLiteral("KLVRRWAService");
const QString FailedError = QStringLiteral("org.freedesktop.DBus.Error.Failed");
const QString InvalidArgsError = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString LimitsExceededError = QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");
const QString AccessDeniedError = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
constexpr int kRequestTimeoutMs = 2000;

bool isNameElementCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('-');
}

// A bus name as D-Bus allows it: unique (":1.42") or well-known
// ("com.klvr.restwatch._store").
bool isValidBusName(const QString &name)
{
    if (name.isEmpty() || name.size() > 255)
        return false;
    const bool unique = name.startsWith(QLatin1Char(':'));
    const QStringList elements = name.mid(unique ? 1 : 0).split(QLatin1Char('.'));
    if (elements.size() < 2)
        return false;
    for (const QString &element : elements) {
        if (element.isEmpty() || (!unique && element.front().isDigit()))
            return false;
        if (!std::all_of(element.cbegin(), element.cend(), isNameElementCharacter))
            return false;
    }
    return true;
}

} // namespace

KLVRRWAService::KLVRRWAService(KLVRRWAStore *aStore, const QDBusConnection &connection)
    : m_store(aStore)
    , m_connection(connection)
{
    // A full read leaves tens of megabytes of freed rows in the heap; an idle agent should not
    // keep them.
    m_trimTimer.setSingleShot(true);
    m_trimTimer.setInterval(1000);
    connect(&m_trimTimer, &QTimer::timeout, this, [this] {
        m_store->releaseMemory();
        malloc_trim(0);
    });
    m_readTimer.setSingleShot(true);
    m_readTimer.setInterval(0);
    connect(&m_readTimer, &QTimer::timeout, this, &KLVRRWAService::serveNextRead);
    m_refusals = std::make_unique<KLVRRWARefusalLog>(&lcRWAService);
}

KLVRRWAService::~KLVRRWAService()
{
    if (!m_registered)
        return;
    m_connection.unregisterService(name());
    m_connection.unregisterObject(ObjectPath);
}

std::unique_ptr<KLVRRWAService> KLVRRWAService::create(KLVRRWAStore *aStore, const QDBusConnection &connection)
{
    KLVR_PARAMETER_ASSERT(aStore);
    KLVRRWAEventTable::registerMetaType();
    // A full read frees some hundred thousand small blocks, merged at once here rather than in
    // costly later sweeps. Its answers' texts and megabyte reply buffers stay in the heap from
    // one answer to the next rather than being mapped afresh, which costs a page fault for every
    // page (tens of microseconds each on a virtual machine); the heap goes back to the system
    // once the agent is idle (m_trimTimer).
    mallopt(M_MXFAST, 0);
    // Reply buffers of a megabyte and more are mapped on their own, so that they go back to the
    // system when freed: the serving thread's heap is not one that malloc_trim() shrinks.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    std::unique_ptr<KLVRRWAService> service(new KLVRRWAService(aStore, connection));
    new KLVRRWAServiceProtocolAdaptor(service.get());
    QDBusConnection bus = connection;
    const bool registered = bus.isConnected() && bus.registerObject(ObjectPath, service.get(), QDBusConnection::ExportAdaptors);
    if (!registered || !bus.registerService(name())) {
        if (registered)
            bus.unregisterObject(ObjectPath);
        qCInfo(lcRWAService).noquote() << KLVRFormat::string("%@ unable to register connection with name: %@", ClassName, name());
        return nullptr;
    }
    service->m_registered = true;
    connect(aStore, &KLVRRWAStore::entriesAddedChanged, service.get(), &KLVRRWAService::notifyEventsDidChange);
    service->m_enabled = true;
    return service;
}

QString KLVRRWAService::name()
{
    return KLVRBundle::main().bundleIdentifier();
}

QString KLVRRWAService::version()
{
    const QString version = m_store->storeVersion();
    if (version.isNull()) {
        m_answering = calledFromDBus() ? message() : QDBusMessage();
        replyError(FailedError, KLVRFormat::string("%@ cannot read the store's version", ClassName));
    }
    return version;
}

KLVRRWAEventTable KLVRRWAService::sortedEventsFromDate(double fromDate, double toDate)
{
    if (!calledFromDBus()) {
        m_answering = QDBusMessage();
        return readEvents(fromDate, toDate);
    }
    const QDBusMessage request = message();
    const QString caller = request.service();
    // A read nobody waits for would cost the whole query for nothing.
    if (!request.isReplyRequired()) {
        m_refusals->log(QStringLiteral("one-way"),
                        KLVRFormat::string("%@ ignores a one-way sortedEventsFromDate from %@: nobody waits for its answer",
                                           ClassName, caller));
        return {};
    }
    if (m_readers.contains(caller)) {
        refuse(request, LimitsExceededError,
               KLVRFormat::string("%@ serves one read at a time per caller; %@ has one waiting", ClassName, caller));
        return {};
    }
    if (m_reads.size() >= kMaxQueuedReads) {
        refuse(request, LimitsExceededError,
               KLVRFormat::string("%@ has %d reads waiting; %@ must ask again later", ClassName, kMaxQueuedReads, caller));
        return {};
    }
    setDelayedReply(true);
    m_readers.insert(caller);
    m_reads.append({request, fromDate, toDate});
    if (!m_readTimer.isActive())
        m_readTimer.start();
    return {};
}

void KLVRRWAService::serveNextRead()
{
    if (m_reads.isEmpty())
        return;
    const Read read = m_reads.takeFirst();
    // A caller that left while its read waited gets nothing: the whole query would be for nobody.
    QDBusConnectionInterface *bus = m_connection.interface();
    if (bus && !bus->isServiceRegistered(read.request.service()).value()) {
        m_readers.remove(read.request.service());
        if (!m_reads.isEmpty())
            m_readTimer.start();
        return;
    }
    m_answering = read.request;
    m_answered = false;
    KLVRRWAEventTable events = readEvents(read.from, read.to);
    if (!m_answered)
        m_connection.send(read.request.createReply(QVariant::fromValue(events)));
    m_answering = QDBusMessage();
    m_readers.remove(read.request.service());
    if (!m_reads.isEmpty())
        m_readTimer.start();
}

KLVRRWAEventTable KLVRRWAService::readEvents(double fromDate, double toDate)
{
    // NaN stands for a missing bound; an infinite one is a caller's mistake, not a range.
    if (std::isinf(fromDate) || std::isinf(toDate)) {
        replyError(InvalidArgsError, QStringLiteral("sortedEventsFromDate takes finite dates, or NaN for none"));
        return {};
    }
    const auto bound = [](double seconds) {
        return std::isnan(seconds) ? KLVRAbsoluteTime::invalid() : KLVRAbsoluteTime(seconds);
    };
    KLVRRWAEventTable events;
    KLVRRWAEventSizes sizes;
    try {
        events = m_store->sortedEntriesFromDate(bound(fromDate), bound(toDate), kMaxReplyBytes, &sizes)
                     .value_or(KLVRRWAEventTable());
    } catch (const KLVRAssertionException &exception) {
        replyError(FailedError, exception.message());
        return {};
    }
    const qint64 size = sizes.bodyBytes();
    if (size > kMaxReplyBytes) {
        const QStringList ends = sizes.fittingRangeEnds(kAnswerPartBytes, kMaxSplits);
        const QString text = KLVRFormat::string("%@ %ld events need %ld bytes, more than the %ld a reply may carry; "
                                                "ask for a smaller range. %@%@",
                                                ClassName, qint64(sizes.size()), size, kMaxReplyBytes,
                                                QString(TooLargeSplitsLead), ends.join(QStringLiteral(", ")));
        qCInfo(lcRWAService).noquote() << text;
        replyError(TooLargeError, text);
        m_trimTimer.start();
        return {};
    }
    if (size > kTrimAfterReplyBytes)
        m_trimTimer.start();
    return events;
}

void KLVRRWAService::registerForEventUpdates(const QString &name)
{
    if (!isValidBusName(name)) {
        m_answering = calledFromDBus() ? message() : QDBusMessage();
        replyError(InvalidArgsError, QStringLiteral("registerForEventUpdates takes a D-Bus bus name"));
        return;
    }
    if (!calledFromDBus()) {
        addRegistration(name, QString());
        return;
    }
    const QDBusMessage request = message();
    if (request.isReplyRequired())
        setDelayedReply(true);
    whenOwned(request, name, [this, request, name](bool owned) {
        const QString caller = request.service();
        if (!owned) {
            refuse(request, AccessDeniedError,
                   KLVRFormat::string("%@ refuses %@ registering %@, a name it does not own", ClassName, caller, name));
            return;
        }
        const QString refusal = addRegistration(name, caller);
        if (!refusal.isEmpty())
            refuse(request, LimitsExceededError, refusal);
        else if (request.isReplyRequired())
            m_connection.send(request.createReply());
    });
}

QString KLVRRWAService::addRegistration(const QString &name, const QString &caller)
{
    if (m_updateIdentifiers.contains(name)) {
        m_updateIdentifiers.insert(name, caller);
        return {};
    }
    const qsizetype fromCaller = std::count(m_updateIdentifiers.cbegin(), m_updateIdentifiers.cend(), caller);
    if (m_updateIdentifiers.size() >= kMaxRegistrations || fromCaller >= kMaxRegistrationsPerCaller)
        return KLVRFormat::string("%@ registerForEventUpdates: too many registrations (%@)", ClassName, caller);
    m_updateIdentifiers.insert(name, caller);
    return {};
}

void KLVRRWAService::unregisterForEventUpdates(const QString &name)
{
    if (!calledFromDBus()) {
        m_updateIdentifiers.remove(name);
        return;
    }
    const QDBusMessage request = message();
    // The caller that registered a name may always take it back, even after giving the name up.
    if (m_updateIdentifiers.value(name) == request.service() && m_updateIdentifiers.contains(name)) {
        m_updateIdentifiers.remove(name);
        return;
    }
    if (!m_updateIdentifiers.contains(name))
        return; // absent names are ignored
    if (request.isReplyRequired())
        setDelayedReply(true);
    whenOwned(request, name, [this, request, name](bool owned) {
        if (!owned) {
            refuse(request, AccessDeniedError,
                   KLVRFormat::string("%@ refuses %@ unregistering %@, a name it does not own", ClassName,
                                      request.service(), name));
            return;
        }
        m_updateIdentifiers.remove(name);
        if (request.isReplyRequired())
            m_connection.send(request.createReply());
    });
}

void KLVRRWAService::whenOwned(const QDBusMessage &request, const QString &name, std::function<void(bool)> done)
{
    const QString caller = request.service();
    if (name == caller) {
        done(true);
        return;
    }
    if (name.startsWith(QLatin1Char(':'))) {
        done(false); // another connection's unique name is never the caller's
        return;
    }
    int &waiting = m_ownerChecks[caller];
    if (waiting >= kMaxOwnerChecksPerCaller) {
        refuse(request, LimitsExceededError,
               KLVRFormat::string("%@ checks at most %d names at a time for %@", ClassName, kMaxOwnerChecksPerCaller, caller));
        return;
    }
    ++waiting;
    QDBusMessage lookup = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                         QStringLiteral("/org/freedesktop/DBus"),
                                                         QStringLiteral("org.freedesktop.DBus"),
                                                         QStringLiteral("GetNameOwner"));
    lookup << name;
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(lookup, kRequestTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, caller, done = std::move(done)](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                if (--m_ownerChecks[caller] <= 0)
                    m_ownerChecks.remove(caller);
                const QDBusMessage reply = call->reply();
                done(reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                     && reply.arguments().constFirst().toString() == caller);
            });
}

void KLVRRWAService::notifyEventsDidChange()
{
    if (!m_enabled)
        return;
    // A change within the interval is dropped, not postponed: the next batch write notifies.
    if (m_lastUpdate.isValid() && m_lastUpdate.elapsed() < qint64(m_updateInterval * 1000.0))
        return;
    const QStringList names = m_updateIdentifiers.keys();
    for (const QString &name : names)
        sendUpdate(name);
    m_lastUpdate.start();
}

void KLVRRWAService::sendUpdate(const QString &name)
{
    // The owner is looked up without blocking, so a slow bus never stalls the agent's loop.
    QDBusMessage lookup = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                         QStringLiteral("/org/freedesktop/DBus"),
                                                         QStringLiteral("org.freedesktop.DBus"),
                                                         QStringLiteral("GetNameOwner"));
    lookup << name;
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(lookup, kRequestTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            if (reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
                qCInfo(lcRWAService).noquote() << KLVRFormat::string("Update Exception: %@", reply.errorMessage());
            m_updateIdentifiers.remove(name);
            return;
        }
        QDBusMessage notice = QDBusMessage::createMethodCall(reply.arguments().constFirst().toString(), UpdatePath,
                                                             UpdateInterface, QStringLiteral("eventsDidChange"));
        notice.setAutoStartService(false);
        if (!m_connection.send(notice)) {
            qCInfo(lcRWAService).noquote() << KLVRFormat::string("Update Exception: %@", m_connection.lastError().message());
            m_updateIdentifiers.remove(name);
        }
    });
}

void KLVRRWAService::replyError(const QString &name, const QString &text)
{
    // One-way callers get no answer; an unrequested reply would only be refused by the bus.
    m_answered = true;
    if (!m_answering.isReplyRequired())
        return;
    // Inside a call m_answering is that call; queued reads are answered from a timer.
    if (calledFromDBus())
        sendErrorReply(name, text);
    else
        m_connection.send(m_answering.createErrorReply(name, text));
}

void KLVRRWAService::refuse(const QDBusMessage &request, const QString &error, const QString &text)
{
    m_refusals->log(error, text);
    if (!request.isReplyRequired())
        return;
    // Inside the call the request is the current message, and only sendErrorReply() keeps QtDBus
    // from answering it a second time.
    if (calledFromDBus())
        sendErrorReply(error, text);
    else
        m_connection.send(request.createErrorReply(error, text));
}

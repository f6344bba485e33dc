// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCStore.h"

#include "KLVRAgentController.h"
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRRWCCacheFile.h"
#include "KLVRRWCCacheRecord.h"
#include "KLVRFormat.h"
#include "KLVRNumberText.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAEventTable.h"
#include "KLVRRWAServiceProtocolProxy.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStoreUpdateAdaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <sqlite3.h>

Q_LOGGING_CATEGORY(lcStore, "restwatch.store")

namespace {

const QString kClassName = QStringLiteral("KLVRRWCStore");
const QString kLastSync = QStringLiteral("lastSync");
const QString kDate = QStringLiteral("date");
const QString kProperties = QStringLiteral("properties");

// The distant past and future of the whole system (year 1 and year 4001).
constexpr double kDistantPast = -63114076800.0;
constexpr double kDistantFuture = 63113904000.0;

// A time as it travels: on the microsecond grid of its "%lf" text.
double onTimeGrid(double seconds)
{
    return std::round(seconds / KLVRRWCStore::kTimeResolution) * KLVRRWCStore::kTimeResolution;
}

QString timeText(double seconds)
{
    return KLVRAbsoluteTime(seconds).toText();
}

bool isTransient(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool isDamage(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// The SQLite result code a database failure's message ends with, as in "... failed: %s (%d)".
int resultCodeOf(const QString &message)
{
    static const QRegularExpression code(QStringLiteral("\\((\\d+)\\)\\s*$"));
    const QRegularExpressionMatch match = code.match(message);
    return match.hasMatch() ? match.captured(1).toInt() : SQLITE_ERROR;
}

} // namespace

KLVRRWCStore::KLVRRWCStore(const QDBusConnection &systemBus, const QDBusConnection &sessionBus, QObject *parent)
    : KLVRDatabaseController(parent)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
{
    KLVRRWAEventTable::registerMetaType();
    // A first sync takes tens of megabytes in answers of a few megabytes each: their buffers and
    // texts are taken from the heap and given back to it, so that each answer reuses the pages
    // of the one before instead of mapping fresh ones (a page fault for every page, tens of
    // microseconds each on a virtual machine). The heap may keep that much unused at its top.
    mallopt(M_MMAP_THRESHOLD, kHeapReuseBytes);
    mallopt(M_TRIM_THRESHOLD, kHeapReuseBytes);
    new KLVRRWCStoreUpdateAdaptor(this);
    createUpdateEndpoint(m_systemBus);
    if (m_sessionBus.name() != m_systemBus.name())
        createUpdateEndpoint(m_sessionBus);

    if (!m_endpoints.isEmpty()) {
        m_updateTimer = new QTimer(this);
        m_updateTimer->setInterval(kUpdateInterval);
        connect(m_updateTimer, &QTimer::timeout, this, &KLVRRWCStore::updateTimerDidNotify);
        m_updateTimer->start();
    }
    m_installedChangeTimer.setSingleShot(true);
    m_installedChangeTimer.setInterval(kInstalledChangeDelay);
    connect(&m_installedChangeTimer, &QTimer::timeout, this, [this] {
        guarded("following the agent", [this] { updateAgentConnection(); });
    });
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(kWriteRetryDelay);
    connect(&m_retryTimer, &QTimer::timeout, this, &KLVRRWCStore::sync);
}

KLVRRWCStore::~KLVRRWCStore()
{
    for (Endpoint &endpoint : m_endpoints) {
        endpoint.bus.unregisterObject(kUpdatePath);
        if (endpoint.ownsName)
            endpoint.bus.unregisterService(endpoint.identifier);
    }
}

void KLVRRWCStore::createUpdateEndpoint(QDBusConnection bus)
{
    if (!bus.isConnected())
        return;
    // Only the update protocol's adaptor is exported: a caller can reach eventsDidChange alone.
    if (!bus.registerObject(kUpdatePath, this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcStore).noquote() << kClassName << "unable to vend the update endpoint on" << bus.name();
        return;
    }
    // Another user's client may own the name already; the agent then calls this one by its
    // unique name.
    const bool ownsName = bus.registerService(updateIdentifier());
    m_endpoints.append({bus, ownsName ? updateIdentifier() : bus.baseService(), ownsName});
}

QString KLVRRWCStore::updateIdentifier() const
{
    return KLVRBundle::main().bundleIdentifier() + QStringLiteral("._store");
}

QString KLVRRWCStore::updateIdentifierForBus(const QDBusConnection &bus) const
{
    for (const Endpoint &endpoint : m_endpoints) {
        if (endpoint.bus.name() == bus.name() || endpoint.bus.baseService() == bus.baseService())
            return endpoint.identifier;
    }
    return QString();
}

void KLVRRWCStore::awakeFromNib()
{
    KLVR_ASSERT(m_agentController, KLVRFormat::string(QStringLiteral("%@ agentController is not connected."), kClassName));
    KLVR_ASSERT(m_logController, KLVRFormat::string(QStringLiteral("%@ logController is not connected."), kClassName));
    if (m_awake)
        return;
    m_awake = true;
    // Every state change counts: a pull when the agent is there, a stop marker when it left.
    connect(m_agentController, &KLVRAgentController::stateChanged, this, &KLVRRWCStore::agentStateDidChange);
}

// ---- cache database --------------------------------------------------------------------------

QUrl KLVRRWCStore::databaseURL()
{
    const QString name = KLVRBundle::main().name();
    KLVR_ASSERT(!name.isEmpty(), KLVRFormat::string(QStringLiteral("%@ Info.plist missing %@"), kClassName,
                                                    QStringLiteral("CFBundleName")));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir().mkpath(documents))
        return QUrl();
    return QUrl::fromLocalFile(QDir(documents).filePath(name + QStringLiteral(".rest-watch-events")));
}

void KLVRRWCStore::databaseDidOpen()
{
    executeStatements(QStringLiteral("KLVRRWCStoreSQLCreate"));
    m_readOnly = sqlite3_db_readonly(database(), "main") == 1;
    if (m_readOnly)
        return;
    try {
        executeStatements(QStringLiteral("KLVRRWCStoreSQLRepairDates"));
    } catch (const KLVRAssertionException &exception) {
        // Left for the next launch: such rows are only missed by reads until then.
        qCWarning(lcStore).noquote() << kClassName << "could not repair dates written with a comma:" << exception.message();
    }
}

bool KLVRRWCStore::openCache()
{
    if (m_cacheOpen)
        return true;
    const QString path = databaseURL().toLocalFile();
    if (path.isEmpty())
        return false;
    QString reason;
    switch (KLVRRWCCacheFile::inspect(path, &reason)) {
    case KLVRRWCCacheFile::State::Damaged:
        return replaceDamagedCache(reason);
    case KLVRRWCCacheFile::State::Busy:
        qCWarning(lcStore).noquote() << kClassName << "the cache is locked by another program; trying again later";
        return false;
    default:
        break;
    }
    try {
        database();
        // Preparing them checks that the tables hold what the store reads and writes.
        statementForKey(QStringLiteral("KLVRRWCStoreSQLCacheSelect"));
        statementForKey(QStringLiteral("KLVRRWCStoreSQLCacheInsert"));
    } catch (const KLVRAssertionException &exception) {
        setDatabase(nullptr);
        const int code = resultCodeOf(exception.message());
        if (!isTransient(code) && KLVRRWCCacheFile::inspect(path, &reason) != KLVRRWCCacheFile::State::Busy)
            return replaceDamagedCache(reason.isEmpty() ? exception.message() : reason);
        qCWarning(lcStore).noquote() << kClassName << "cannot open the cache now:" << exception.message();
        return false;
    }
    m_cacheOpen = true;
    if (m_readOnly) {
        reportCacheProblem(KLVRFormat::string(
            QStringLiteral("The event cache \u201c%@\u201d can only be read. It is shown as it is; events from "
                           "the agent are shown as well, but not kept."),
            QDir::toNativeSeparators(path)));
    }
    return true;
}

bool KLVRRWCStore::replaceDamagedCache(const QString &reason)
{
    const QString path = databaseURL().toLocalFile();
    setDatabase(nullptr);
    m_cacheOpen = false;
    m_readOnly = false;
    m_memorySyncDate.reset();
    QString error;
    const QString aside = KLVRRWCCacheFile::moveAside(path, QDateTime::currentDateTime(), &error);
    if (aside.isEmpty()) {
        reportCacheProblem(KLVRFormat::string(
            QStringLiteral("The event cache \u201c%@\u201d is damaged (%@) and cannot be moved aside (%@). Move or "
                           "delete it, then start Rest Watch again."),
            QDir::toNativeSeparators(path), reason, error));
        return false;
    }
    qCWarning(lcStore).noquote() << kClassName << "moved the damaged cache" << path << "aside as" << aside << ":" << reason;
    try {
        database();
    } catch (const KLVRAssertionException &exception) {
        setDatabase(nullptr);
        qCWarning(lcStore).noquote() << kClassName << "cannot make a new cache:" << exception.message();
        return false;
    }
    m_cacheOpen = true;
    reportCacheProblem(KLVRFormat::string(
        QStringLiteral("The event cache was damaged (%@), so it was moved aside as \u201c%@\u201d. A new cache is "
                       "being filled with the history the agent holds."),
        reason, QDir::toNativeSeparators(aside)));
    // The fresh cache has no sync date: the next pull brings everything the agent holds.
    if (m_awake)
        m_retryTimer.start();
    return true;
}

void KLVRRWCStore::reportCacheProblem(const QString &message)
{
    m_cacheProblem = message;
    qCWarning(lcStore).noquote() << message;
    Q_EMIT cacheProblemOccurred(message);
}

bool KLVRRWCStore::guarded(const char *what, const std::function<void()> &f)
{
    // Nothing may reach the event loop: what goes wrong is logged, and the program goes on.
    try {
        f();
        return true;
    } catch (const KLVRAssertionException &exception) {
        qCCritical(lcStore).noquote() << kClassName << what << "failed:" << exception.message();
    } catch (const std::exception &exception) {
        qCCritical(lcStore).noquote() << kClassName << what << "failed:" << exception.what();
    }
    return false;
}

bool KLVRRWCStore::writeTransaction(const std::function<void()> &body)
{
    QString failure;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        int code = SQLITE_ERROR;
        try {
            executeStatements(QStringLiteral("KLVRRWCStoreSQLBatchBegin"));
            body();
            executeStatements(QStringLiteral("KLVRRWCStoreSQLBatchCommit"));
            return true;
        } catch (const KLVRAssertionException &exception) {
            failure = exception.message();
            sqlite3 *db = database();
            code = db ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
            // A failed COMMIT leaves the transaction open: end it, so that nothing half is kept
            // and the next write can begin.
            if (db && !sqlite3_get_autocommit(db))
                guarded("rolling back", [this] { executeStatements(QStringLiteral("KLVRRWCStoreSQLBatchRollback")); });
        }
        if (isDamage(code)) {
            replaceDamagedCache(failure);
            break;
        }
        if (!isTransient(code))
            break;
    }
    qCWarning(lcStore).noquote() << kClassName << "writing the cache failed:" << failure;
    return false;
}

KLVRAbsoluteTime KLVRRWCStore::lastSyncDate()
{
    if (m_memorySyncDate)
        return *m_memorySyncDate;
    if (!openCache())
        return KLVRAbsoluteTime(kDistantPast);
    const QString text = stringForSetting(kLastSync);
    if (text.isNull())
        return KLVRAbsoluteTime(kDistantPast);
    const KLVRAbsoluteTime date = KLVRAbsoluteTime::fromText(text);
    return date.isValid() ? date : KLVRAbsoluteTime(kDistantPast);
}

void KLVRRWCStore::setLastSyncDate(std::optional<KLVRAbsoluteTime> date)
{
    if (m_readOnly) {
        m_memorySyncDate = date;
        return;
    }
    setString(date ? date->toText() : QString(), kLastSync);
    KLVR_ASSERT(lastStepResult() == SQLITE_DONE,
                KLVRFormat::string(QStringLiteral("%@ writing the sync date failed: %s (%d)"), kClassName,
                                   QString::fromUtf8(sqlite3_errmsg(database())), lastStepResult()));
}

bool KLVRRWCStore::cacheEvents(const QList<QVariantMap> &someEvents)
{
    // One transaction: a whole pull is cached or nothing of it, and thousands of rows cost one
    // write to disk.
    if (!openCache() || m_readOnly)
        return false;
    return writeTransaction([&] {
        for (const QVariantMap &event : someEvents)
            cacheEvent(event);
    });
}

bool KLVRRWCStore::cachePull(const QList<PulledEvent> &events, KLVRAbsoluteTime now)
{
    if (!openCache() || m_readOnly)
        return false;
    return writeTransaction([&] {
        // Read inside the transaction, this is the sync date of every program on the cache: what
        // another one cached since this pull began is not cached twice.
        const QString text = stringForSetting(kLastSync);
        const KLVRAbsoluteTime stored = text.isNull() ? KLVRAbsoluteTime::invalid() : KLVRAbsoluteTime::fromText(text);
        const double synced = stored.isValid() ? onTimeGrid(stored.seconds()) : kDistantPast;
        for (const PulledEvent &event : events) {
            const KLVRAbsoluteTime date = KLVRAbsoluteTime::fromText(event.date);
            if (date.isValid() && onTimeGrid(date.seconds()) <= synced)
                continue;
            insertRecord(event.date, event.record);
        }
        // In the same transaction as the rows it covers: a kill between the two cannot happen.
        if (now.seconds() > synced)
            setLastSyncDate(now);
    });
}

void KLVRRWCStore::cacheEvent(const QVariantMap &anEvent)
{
    KLVR_PARAMETER_ASSERT(!anEvent.isEmpty());
    // A dictionary of texts, the usual event, is written by the records' own writer.
    QVarLengthArray<KLVRRWCCacheRecord::Entry, 8> entries;
    for (auto it = anEvent.cbegin(); it != anEvent.cend() && it.value().typeId() == QMetaType::QString; ++it)
        entries.append({it.key(), *static_cast<const QString *>(it.value().constData())});
    QByteArray data;
    if (entries.size() == anEvent.size()) {
        data = KLVRRWCCacheRecord::writeBinary(entries.constData(), entries.size());
    } else {
        QString error;
        data = KLVRPropertyList::write(anEvent, KLVRPropertyList::Format::Binary, &error);
        KLVR_ASSERT(!data.isEmpty() && error.isEmpty(),
                    KLVRFormat::string(QStringLiteral("%@ serialization of '%@' failed %@."), kClassName, anEvent, error));
    }
    insertRecord(anEvent.value(kDate).toString(), data);
}

void KLVRRWCStore::insertRecord(QString date, const QByteArray &record)
{
    // A date an earlier build sent under a comma-decimal locale is cached as the number it is.
    if (date.contains(QLatin1Char(',')) && KLVRAbsoluteTime::fromText(date).isValid())
        date.replace(QLatin1Char(','), QLatin1Char('.'));
    executeStatement(QStringLiteral("KLVRRWCStoreSQLCacheInsert"),
                     {{QStringLiteral("@date"), date}, {QStringLiteral("@properties"), record}});
    // A row that did not go in must fail the whole transaction, not vanish from it.
    KLVR_ASSERT(lastStepResult() == SQLITE_DONE,
                KLVRFormat::string(QStringLiteral("%@ caching an event failed: %s (%d)"), kClassName,
                                   QString::fromUtf8(sqlite3_errmsg(database())), lastStepResult()));
}

void KLVRRWCStore::appendPulled(const KLVRRWAEventTable &events, QList<PulledEvent> *pulled)
{
    pulled->reserve(pulled->size() + events.size());
    QVarLengthArray<KLVRRWCCacheRecord::Entry, 8> entries;
    for (qsizetype event = 0; event < events.size(); ++event) {
        entries.clear();
        QString date;
        for (qsizetype i = events.firstValue(event), end = events.firstValue(event + 1); i < end; ++i) {
            // A key sent twice counts once, as in a dictionary: the last value.
            const QString &key = events.key(i);
            auto same = std::find_if(entries.begin(), entries.end(), [&](const auto &entry) { return entry.first == key; });
            if (same != entries.end())
                same->second = events.value(i);
            else
                entries.append({key, events.value(i)});
            if (key == kDate)
                date = events.value(i);
        }
        pulled->append({date, KLVRRWCCacheRecord::writeBinary(entries.constData(), entries.size())});
    }
}

QList<QVariantMap> KLVRRWCStore::sortedCachedEventsFromDate(std::optional<KLVRAbsoluteTime> from,
                                                            std::optional<KLVRAbsoluteTime> to)
{
    QList<QVariantMap> events;
    if (!openCache())
        return events;
    stepCachedRows(from, to, [&events](const char *bytes, qsizetype size, bool isText) {
        std::optional<QVariantMap> event = decodeRow(bytes, size, isText);
        if (event)
            events.append(std::move(*event));
        return event.has_value();
    });
    return events;
}

std::optional<QVariantMap> KLVRRWCStore::decodeRow(const char *bytes, qsizetype size, bool isText)
{
    std::optional<QVariantMap> event;
    QString error;
    if (!isText && bytes)
        event = KLVRRWCCacheRecord::readBinary(bytes, size);
    if (!event) {
        // Text rows and anything else go through the general reader, as UTF-8 bytes.
        const QVariant value = KLVRPropertyList::read(QByteArray(bytes, size), &error);
        if (value.typeId() == QMetaType::QVariantMap && error.isEmpty())
            event = value.toMap();
    }
    // One damaged row must not keep the client from starting: it is left out and reported.
    if (!event) {
        const QVariant raw = isText ? QVariant(QString::fromUtf8(bytes, size)) : QVariant(QByteArray(bytes, size));
        qCWarning(lcStore).noquote() << KLVRFormat::string(QStringLiteral("%@ inflation of '%@' failed %@."), kClassName,
                                                           raw, error.isEmpty() ? QStringLiteral("not a dictionary") : error);
    }
    return event;
}

qsizetype KLVRRWCStore::stepCachedRows(std::optional<KLVRAbsoluteTime> from, std::optional<KLVRAbsoluteTime> to,
                                       const std::function<bool(const char *, qsizetype, bool)> &row)
{
    // Stepped here rather than collected as rows: a launch reads the whole cache, and each blob is
    // decoded straight from SQLite's buffer.
    const QString key = QStringLiteral("KLVRRWCStoreSQLCacheSelect");
    sqlite3_stmt *statement = statementForKey(key);
    const auto bind = [&](const char *name, double seconds) {
        const QByteArray text = timeText(seconds).toUtf8();
        const int index = sqlite3_bind_parameter_index(statement, name);
        KLVR_ASSERT(index > 0, KLVRFormat::string(QStringLiteral("%@ Parameter '%@' is required for statement '%@'."),
                                                  kClassName, QString::fromLatin1(name), key));
        sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    };
    KLVR_ASSERT(sqlite3_bind_parameter_count(statement) == 2,
                KLVRFormat::string(QStringLiteral("%@ Statement '%@' expects %d parameters, but got %d in %@."), kClassName,
                                   key, sqlite3_bind_parameter_count(statement), 2, QStringLiteral("@from, @to")));
    bind("@from", from ? from->seconds() : 0.0);
    bind("@to", to ? to->seconds() : kDistantFuture);

    int column = -1;
    qsizetype count = 0;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        if (column < 0) {
            for (int i = 0; i < sqlite3_column_count(statement); ++i)
                if (qstrcmp(sqlite3_column_name(statement, i), "properties") == 0)
                    column = i;
            KLVR_ASSERT(column >= 0, KLVRFormat::string(QStringLiteral("%@ '%@' returns no properties column"), kClassName, key));
        }
        const bool isText = sqlite3_column_type(statement, column) == SQLITE_TEXT;
        const char *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        const qsizetype size = sqlite3_column_bytes(statement, column);
        if (row(bytes, size, isText))
            ++count;
    }
    if (result != SQLITE_DONE)
        qCWarning(lcStore).noquote() << kClassName << "reading the cache stopped:" << sqlite3_errmsg(database()) << result;
    m_lastReadResult = result;
    sqlite3_reset(statement);
    return count;
}

// ---- replay and local events ---------------------------------------------------------------

void KLVRRWCStore::syncWithLocalCache()
{
    guarded("replaying the cache", [this] { updateLogEvents(); });
}

void KLVRRWCStore::updateLogEvents()
{
    if (!m_logController || !openCache())
        return;
    const KLVRAbsoluteTime after = m_logController->finalDate().addSeconds(kTimeResolution);
    // A launch reads the whole cache, gigabytes of process lists: read through a memory map (as
    // far as SQLite maps one), its pages are not copied out of the kernel, a system call each,
    // for every row. The map goes with the read, so that the cache's pages do not stay counted
    // as the client's own memory.
    executeStatements(QStringLiteral("KLVRRWCStoreSQLMapCache"));
    // Handed over in batches, so that a large cache never sits in memory twice. A row of the
    // store's own shape is read field by field straight from SQLite's buffer; any other row, and
    // one the log would judge, goes the way of a record.
    std::vector<KLVRRWCLog::Event> batch;
    batch.reserve(kReplayBatch);
    const auto handOver = [&] {
        m_logController->addEvents(std::move(batch));
        batch.clear();
        batch.reserve(kReplayBatch);
    };
    const qsizetype count = stepCachedRows(after, std::nullopt, [&](const char *bytes, qsizetype size, bool isText) {
        KLVRRWCCacheRecord::Fields fields;
        KLVRRWCLog::Event event;
        if (!isText && bytes && KLVRRWCCacheRecord::readFields(bytes, size, &fields)
            && (fields.wideProperties.isNull()
                    ? KLVRRWCLog::readEvent(fields.date, fields.description, fields.monitor, fields.properties, &event)
                    : KLVRRWCLog::readEvent(fields.date, fields.description, fields.monitor, fields.wideProperties, &event))) {
            batch.push_back(std::move(event));
        } else {
            const std::optional<QVariantMap> record = decodeRow(bytes, size, isText);
            if (!record)
                return false;
            if (m_logController->readEvent(*record, &event))
                batch.push_back(std::move(event));
        }
        if (batch.size() >= size_t(kReplayBatch))
            handOver();
        return true;
    });
    if (!batch.empty())
        handOver();
    executeStatements(QStringLiteral("KLVRRWCStoreSQLUnmapCache"));
    if (count > 0)
        qCInfo(lcStore).noquote() << KLVRFormat::string(QStringLiteral("cache provided %u entries."), uint(count));
    // Damage found on the way (a cut-off or overwritten page): what was read is in the log; a
    // fresh cache takes the history again from the agent.
    if (isDamage(m_lastReadResult))
        replaceDamagedCache(QString::fromUtf8(sqlite3_errstr(m_lastReadResult)));
}

void KLVRRWCStore::handToLog(const QList<QVariantMap> &events)
{
    if (!m_logController)
        return;
    const KLVRAbsoluteTime after = m_logController->finalDate();
    QList<QVariantMap> newer;
    for (const QVariantMap &event : events) {
        const KLVRAbsoluteTime date = KLVRAbsoluteTime::fromText(event.value(kDate).toString());
        if (!date.isValid() || date > after)
            newer.append(event);
    }
    if (!newer.isEmpty())
        m_logController->addExternalEntries(newer);
}

void KLVRRWCStore::handToLog(const QList<PulledEvent> &events)
{
    QList<QVariantMap> maps;
    maps.reserve(events.size());
    for (const PulledEvent &event : events) {
        if (std::optional<QVariantMap> map = KLVRRWCCacheRecord::readBinary(event.record.constData(), event.record.size()))
            maps.append(std::move(*map));
    }
    handToLog(maps);
}

void KLVRRWCStore::addEntry(const QString &anEntry, const QString &aMonitorSignature, KLVRAbsoluteTime aTime)
{
    const QVariantMap event{{kDate, aTime.toText()},
                            {QStringLiteral("description"), anEntry},
                            {QStringLiteral("monitor"), aMonitorSignature},
                            {kProperties, QStringLiteral("NULL")}};
    // Shown even where it cannot be kept (a read-only cache, or one others keep locked).
    cacheEvents({event});
    if (m_logController)
        m_logController->addExternalEntries(QList<QVariantMap>{event});
}

// ---- pulling from the agent ----------------------------------------------------------------

std::optional<QDBusConnection> KLVRRWCStore::agentConnection()
{
    const QString name = m_agentController ? m_agentController->agentName() : QString();
    if (name.isEmpty())
        return std::nullopt;
    if (m_agentConnection && m_agentConnection->isConnected()
        && m_agentConnection->interface()->isServiceRegistered(name).value())
        return m_agentConnection;
    m_agentConnection.reset();
    for (QDBusConnection bus : {m_systemBus, m_sessionBus}) {
        if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(name).value()) {
            m_agentConnection = bus;
            break;
        }
    }
    return m_agentConnection;
}

bool KLVRRWCStore::sync()
{
    if (m_pull) {
        m_pullAgain = true;
        return true;
    }
    guarded("pulling from the agent", [this] { fetchAgentEvents(); });
    return m_pull.has_value();
}

void KLVRRWCStore::eventsDidChange()
{
    sync();
}

void KLVRRWCStore::updateTimerDidNotify()
{
    sync();
}

void KLVRRWCStore::fetchAgentEvents()
{
    if (!m_agentController || !m_agentController->isInstalled())
        return;
    const std::optional<QDBusConnection> bus = agentConnection();
    if (!bus)
        return;

    KLVRRWAServiceProtocolProxy agent(m_agentController->agentName(), kAgentPath, *bus);
    const QString identifier = updateIdentifierForBus(*bus);
    if (!identifier.isEmpty())
        agent.registerForEventUpdates(identifier);

    // The upper bound is the sync time recorded afterwards, exactly as the agent will read it, so
    // that the next pull starts right after it and no event falls in between.
    const KLVRAbsoluteTime now(onTimeGrid(KLVRAbsoluteTime::now().seconds()));
    const double from = onTimeGrid(lastSyncDate().seconds()) + kTimeResolution;
    m_pull = Pull{*bus, now, {Range{from, now.seconds()}}, {}};
    requestNextRange();
}

void KLVRRWCStore::requestNextRange()
{
    if (m_pull->ranges.empty()) {
        finishPull(true);
        return;
    }
    const Range range = m_pull->ranges.front();
    KLVRRWAServiceProtocolProxy agent(m_agentController ? m_agentController->agentName() : QString(), kAgentPath,
                                      m_pull->bus);
    agent.setTimeout(kAgentTimeout);
    auto *watcher = new QDBusPendingCallWatcher(agent.sortedEventsFromDate(range.from, range.to), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &KLVRRWCStore::rangeDidArrive);
}

void KLVRRWCStore::rangeDidArrive(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    if (!m_pull)
        return;
    QDBusPendingReply<KLVRRWAEventTable> reply = *watcher;
    const Range range = m_pull->ranges.front();
    if (reply.isError()) {
        if (reply.error().name() != kTooLargeError) {
            finishPull(false, reply.error().message());
            return;
        }
        // Too much for one message: the ranges the agent says fit, in turn from the first event;
        // an agent that says none is asked for each half in turn.
        std::deque<Range> offered = rangesOffered(reply.error().message(), range);
        if (!offered.empty()) {
            qCDebug(lcStore).noquote() << kClassName << "takes a range too large for one message in" << offered.size() << "parts";
            m_pull->ranges.pop_front();
            m_pull->ranges.insert(m_pull->ranges.begin(), offered.begin(), offered.end());
            requestNextRange();
            return;
        }
        const double middle = std::floor((range.from / 2.0 + range.to / 2.0) / kTimeResolution) * kTimeResolution;
        if (!(middle >= range.from && middle + kTimeResolution <= range.to)) {
            finishPull(false, KLVRFormat::string(QStringLiteral("events from %lf to %lf do not fit into one message"),
                                                 range.from, range.to));
            return;
        }
        qCDebug(lcStore).noquote() << kClassName << "splits a range too large for one message at" << timeText(middle);
        m_pull->ranges.pop_front();
        m_pull->ranges.push_front(Range{middle + kTimeResolution, range.to});
        m_pull->ranges.push_front(Range{range.from, middle});
        requestNextRange();
        return;
    }
    m_pull->ranges.pop_front();
    // The next range is asked for first: the agent reads it while this answer is taken in.
    const bool more = !m_pull->ranges.empty();
    if (more)
        requestNextRange();
    appendPulled(reply.value(), &m_pull->events);
    if (!more)
        requestNextRange();
}

std::deque<KLVRRWCStore::Range> KLVRRWCStore::rangesOffered(const QString &message, const Range &range)
{
    std::deque<Range> ranges;
    const qsizetype lead = message.lastIndexOf(kTooLargeSplitsLead);
    if (lead < 0)
        return ranges;
    double from = range.from;
    const QStringView list = QStringView(message).sliced(lead + kTooLargeSplitsLead.size());
    for (const QStringView text : list.split(u',', Qt::SkipEmptyParts)) {
        const std::optional<double> end = KLVRNumberText::toDouble(text);
        if (!end)
            return {};
        const double onGrid = onTimeGrid(*end);
        if (!(onGrid >= from && onGrid + kTimeResolution <= range.to))
            return {};
        ranges.push_back(Range{from, onGrid});
        from = onGrid + kTimeResolution;
    }
    if (!ranges.empty())
        ranges.push_back(Range{from, range.to});
    return ranges;
}

void KLVRRWCStore::finishPull(bool success, const QString &failure)
{
    if (!guarded("finishing a pull", [&] { finishPullUnguarded(success, failure); })) {
        m_pull.reset();
        m_pullAgain = false;
    }
}

void KLVRRWCStore::finishPullUnguarded(bool success, const QString &failure)
{
    Pull pull = std::move(*m_pull);
    m_pull.reset();
    if (!success) {
        qCWarning(lcStore).noquote() << kClassName << "pull from the agent failed:" << failure;
    } else if (!pull.events.isEmpty()) {
        if (m_readOnly) {
            m_memorySyncDate = pull.now;
            handToLog(pull.events);
        } else if (cachePull(pull.events, pull.now)) {
            qCInfo(lcStore).noquote() << KLVRFormat::string(QStringLiteral("agent provided %u entries up to %@."),
                                                            uint(pull.events.size()), pull.now.toDateTime());
            updateLogEvents();
        } else {
            // Shown now all the same; the sync date did not move, so the pull runs again soon
            // and caches them then.
            handToLog(pull.events);
            m_retryTimer.start();
        }
    }
    Q_EMIT pullFinished(success, int(pull.events.size()));
    if (std::exchange(m_pullAgain, false))
        fetchAgentEvents();
}

// ---- following the agent -------------------------------------------------------------------

void KLVRRWCStore::agentStateDidChange()
{
    m_installedChangeTimer.start();
}

void KLVRRWCStore::updateAgentConnection()
{
    if (!m_agentController)
        return;
    if (m_agentController->isInstalled()) {
        sync();
        return;
    }
    m_agentConnection.reset();
    if (m_logController && m_logController->count() > 0)
        addEntry(QStringLiteral("Stopping monitor"), QStringLiteral("com.klvr.restwatch"), KLVRAbsoluteTime::now());
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAStore.h"

#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAStoreFile.h"
#include "KLVRSystemPath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QVarLengthArray>
#include <limits>
#include <sqlite3.h>
#include <sys/statvfs.h>

Q_LOGGING_CATEGORY(lcStore, "restwatch.agent.store")

namespace {

const QString kInsertKey = QStringLiteral("KLVRRWAStoreSQLEventInsert");
const QString kSelectKey = QStringLiteral("KLVRRWAStoreSQLEventSelect");
const QString kBeginKey = QStringLiteral("KLVRRWAStoreSQLBatchBegin");
const QString kCommitKey = QStringLiteral("KLVRRWAStoreSQLBatchCommit");
const QString kRollbackKey = QStringLiteral("KLVRRWAStoreSQLBatchRollback");

// The latest date a read can ask for: the year 4001.
constexpr double kDistantFuture = 63113904000.0;

// Folders a system-wide installation runs the agent from.
const char *const kSystemHelperFolders[] = {
    "/usr/local/libexec/restwatch/",
    "/usr/libexec/restwatch/",
    "/usr/lib/restwatch/",
};

void requireParameter(bool given, const char *name, const char *file, int line)
{
    if (!given)
        KLVRAssertionException::invalidParameter(name, file, line);
}
#define KLVR_REQUIRE(condition, name) requireParameter((condition), name, __FILE__, __LINE__)

} // namespace

static void initAgentResources()
{
    // Referencing the resource pulls the embedded Info.plist out of the static library.
    Q_INIT_RESOURCE(agent);
}

KLVRRWAStore::KLVRRWAStore(const QString &databasePath, QObject *parent)
    : KLVRDatabaseController(parent)
    , m_databasePath(databasePath)
{
    initAgentResources();
}

KLVRRWAStore::~KLVRRWAStore()
{
    if (m_timer) {
        m_timer->stop();
        delete m_timer;
        m_timer = nullptr;
    }
    delete m_retryTimer;
    m_retryTimer = nullptr;
    // A destructor cannot report: a batch that cannot be written here is logged and lost.
    if (!insertPending())
        qCCritical(lcStore).noquote() << className() << "ends with" << pending().size() << "events unwritten";
    QMutexLocker locker(&m_pendingLock);
    m_pending.clear();
    m_reader.reset();
}

bool KLVRRWAStore::bundleWithinLocalLibrary(const QString &executablePath)
{
    if (executablePath.isEmpty())
        return false;
    const QString path = QDir::cleanPath(executablePath);
    for (const char *folder : kSystemHelperFolders) {
        if (path.startsWith(KLVRSystemPath::resolve(QString::fromLatin1(folder))))
            return true;
    }
    return false;
}

QString KLVRRWAStore::defaultDatabasePath()
{
    QString supportFolder;
    if (bundleWithinLocalLibrary(KLVRBundle::main().executablePath()))
        supportFolder = KLVRSystemPath::resolve(QStringLiteral("/var/lib"));
    else
        supportFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    KLVR_ASSERT(!supportFolder.isEmpty(),
                KLVRFormat::string(QStringLiteral("%@ Local 'Application Support' folder unavailable: %@"),
                                   className(), QStringLiteral("no data location")));

    const QVariant storePath = KLVRBundle::main().objectForInfoDictionaryKey(QStringLiteral("KLVRRWAStorePath"));
    KLVR_ASSERT(storePath.isValid() && !storePath.toString().isEmpty(),
                KLVRFormat::string(QStringLiteral("%@ Missing Info.plist property '%@'"), className(),
                                   QStringLiteral("KLVRRWAStorePath")));
    return QDir::cleanPath(QDir(supportFolder).absoluteFilePath(storePath.toString()));
}

QUrl KLVRRWAStore::databaseURL()
{
    const QString path = m_databasePath.isEmpty() ? defaultDatabasePath()
                                                  : QDir::cleanPath(QFileInfo(m_databasePath).absoluteFilePath());
    const QString folder = QFileInfo(path).path();
    KLVR_ASSERT(QDir().mkpath(folder),
                KLVRFormat::string(QStringLiteral("%@ Creating folders in path '%@' failed: %@"), className(), folder,
                                   QStringLiteral("cannot create the folder")));
    return QUrl::fromLocalFile(path);
}

void KLVRRWAStore::addEntry(const QString &anEntry, const std::optional<QVariantMap> &context,
                            const QString &aMonitorSignature, KLVRAbsoluteTime aTime)
{
    addToPending(insertParameters(anEntry, context, aMonitorSignature, aTime));
}

QVariantMap KLVRRWAStore::insertParameters(const QString &anEntry, const std::optional<QVariantMap> &context,
                                           const QString &aMonitorSignature, KLVRAbsoluteTime aTime) const
{
    KLVR_REQUIRE(!anEntry.isEmpty(), "anEntry");
    KLVR_REQUIRE(!aMonitorSignature.isEmpty(), "aMonitorSignature");
    // A time that is not a number would be stored as text in the REAL column and never be read.
    KLVR_REQUIRE(aTime.isValid(), "aTime");

    QVariantMap parameters{
        {QStringLiteral("@monitor"), aMonitorSignature},
        {QStringLiteral("@description"), anEntry},
        {QStringLiteral("@date"), aTime.toText()},
    };
    if (context) {
        QString error;
        const QByteArray data = KLVRPropertyList::write(*context, KLVRPropertyList::Format::Xml, &error);
        KLVR_ASSERT(!data.isEmpty() && error.isEmpty(),
                    KLVRFormat::string(QStringLiteral("%@ serialization of '%@' failed %@."), className(), *context,
                                       error));
        parameters.insert(QStringLiteral("@properties"), QString::fromUtf8(data));
    } else {
        parameters.insert(QStringLiteral("@properties"), QStringLiteral("NULL"));
    }
    return parameters;
}

void KLVRRWAStore::addToPending(const QVariantMap &someInsertParameters)
{
    KLVR_REQUIRE(!someInsertParameters.isEmpty(), "someInsertParameters");
    {
        QMutexLocker locker(&m_pendingLock);
        // While the file cannot be written the queue is bounded: the oldest events give way.
        if (!m_writable && m_pending.size() >= kMaxPending) {
            m_pending.removeFirst();
            if (m_dropped++ == 0)
                qCWarning(lcStore).noquote() << className() << "holds at most" << kMaxPending
                                             << "unwritten events; the oldest are dropped until the store can be written";
        }
        m_pending.append(someInsertParameters);
    }
    if (QThread::currentThread() == thread())
        ensureTimer();
    else
        QMetaObject::invokeMethod(this, &KLVRRWAStore::ensureTimer, Qt::QueuedConnection);
}

void KLVRRWAStore::ensureTimer()
{
    if (m_timer)
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerInterval * 1000);
    connect(m_timer, &QTimer::timeout, this, &KLVRRWAStore::timerDidFire);
    m_timer->start();
}

void KLVRRWAStore::timerDidFire()
{
    insertPending();
}

bool KLVRRWAStore::insertPending()
{
    const bool written = writePending();
    checkpoint();
    return written;
}

bool KLVRRWAStore::writePending()
{
    // The whole transaction runs under the connection's lock: another thread's statement must not
    // land inside it.
    QMutexLocker databaseLocker(&databaseLock());
    QMutexLocker locker(&m_pendingLock);
    if (m_pending.isEmpty())
        return true;
    if (!openForWriting()) {
        scheduleRetry();
        return false;
    }

    // One transaction per batch: either every queued row is written or none is, and an unwritten
    // batch stays queued for the next attempt.
    bool written = false;
    QString failure;
    try {
        executeStatement(kBeginKey);
        written = lastStepResult() == SQLITE_DONE;
        for (auto it = m_pending.cbegin(); written && it != m_pending.cend(); ++it) {
            executeStatement(kInsertKey, *it);
            written = lastStepResult() == SQLITE_DONE;
        }
        if (written) {
            executeStatement(kCommitKey);
            written = lastStepResult() == SQLITE_DONE;
        }
        if (!written)
            failure = QString::fromUtf8(sqlite3_errmsg(database()));
    } catch (const std::exception &exception) {
        failure = QString::fromUtf8(exception.what());
    }

    if (!written) {
        // A failed statement would report its error at its next reset; start it afresh instead.
        for (const QString &key : {kBeginKey, kInsertKey, kCommitKey})
            discardStatement(key);
        try {
            if (isOpen() && !sqlite3_get_autocommit(database()))
                executeStatement(kRollbackKey);
        } catch (const std::exception &) {
        }
        noteUnwritable(failure);
        scheduleRetry();
        return false;
    }

    const quint64 count = quint64(m_pending.size());
    m_pending.clear();
    m_logToCopy = true;
    m_dropped = 0;
    locker.unlock();
    databaseLocker.unlock();
    noteWritable();
    setEntriesAdded(entriesAdded() + count);
    return true;
}

void KLVRRWAStore::checkpoint()
{
    QMutexLocker databaseLocker(&databaseLock());
    if (!m_logToCopy || !isOpen())
        return;
    // Passive: a reader that still needs the log's pages keeps them there until a later batch.
    int logFrames = 0;
    int copiedFrames = 0;
    if (sqlite3_wal_checkpoint_v2(database(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copiedFrames) == SQLITE_OK
        && copiedFrames == logFrames)
        m_logToCopy = false;
}

void KLVRRWAStore::databaseDidOpen()
{
    sqlite3 *db = database();
    // A checkpoint inside a commit would make the write before a sleep wait for it.
    sqlite3_wal_autocheckpoint(db, 0);
    m_logToCopy = true;

    // The reserve: a row of kLogReserve bytes written to the log and deleted again, then copied
    // into the store, where its pages wait on the free list for later events. Skipped where the
    // disk is nearly full, which such a row would only make worse.
    const char *file = sqlite3_db_filename(db, "main");
    if (!file || !*file)
        return;
    const QFileInfo log(QString::fromUtf8(sqlite3_filename_wal(file)));
    struct statvfs disk = {};
    if ((log.exists() && log.size() >= kLogReserve) || statvfs(file, &disk) != 0
        || qint64(disk.f_bavail) * qint64(disk.f_frsize) < 16 * kLogReserve)
        return;
    const QByteArray reserve = "INSERT OR REPLACE INTO settings (key, value) VALUES ('KLVRRWAStore.log-reserve', zeroblob("
                               + QByteArray::number(kLogReserve) + "));"
                               "DELETE FROM settings WHERE key = 'KLVRRWAStore.log-reserve';";
    char *error = nullptr;
    if (sqlite3_exec(db, reserve.constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qCInfo(lcStore).noquote() << className() << "could not give the write-ahead log its reserve:"
                                  << QString::fromUtf8(error ? error : "unknown error");
    sqlite3_free(error);
    checkpoint();
}

bool KLVRRWAStore::openForWriting()
{
    if (isOpen())
        return true;
    QString path;
    try {
        path = databaseURL().toLocalFile();
        if (!m_checkedForDamage) {
            m_checkedForDamage = true;
            const QString damage = KLVRRWAStoreFile::damage(path);
            if (!damage.isEmpty()) {
                QString error;
                const QDateTime now = QDateTime::currentDateTimeUtc();
                const QString aside = KLVRRWAStoreFile::moveAside(path, now, &error);
                if (aside.isEmpty()) {
                    noteUnwritable(KLVRFormat::string("%@ is damaged (%@) and cannot be moved aside: %@", path, damage, error));
                    return false;
                }
                qCWarning(lcStore).noquote() << className() << "moved the damaged store" << path << "aside to" << aside
                                             << "(" + damage + "); a fresh store starts";
                m_reader.reset();
                m_pending.prepend(insertParameters(MovedAsideDescription,
                                                   QVariantMap{{QStringLiteral("Path"), aside},
                                                               {QStringLiteral("Reason"), damage}},
                                                   AgentSignature, KLVRAbsoluteTime::now()));
            }
        }
        if (database()) {
            m_openedPath = path;
            return true;
        }
        noteUnwritable(QStringLiteral("its schema could not be made"));
    } catch (const std::exception &exception) {
        noteUnwritable(QString::fromUtf8(exception.what()));
    }
    return false;
}

void KLVRRWAStore::noteUnwritable(const QString &reason)
{
    m_writable = false;
    if (reason == m_unwritableReason)
        return;
    m_unwritableReason = reason;
    qCWarning(lcStore).noquote() << className() << "cannot write the store; events are held in memory (at most"
                                 << kMaxPending << ") and written when it can be written again:" << reason;
}

void KLVRRWAStore::noteWritable()
{
    if (m_writable.exchange(true))
        return;
    m_unwritableReason.clear();
    qCInfo(lcStore).noquote() << className() << "can write the store again; the held events are written";
}

void KLVRRWAStore::scheduleRetry()
{
    // The retry timer belongs to the store's thread; a failure seen on another thread asks there.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &KLVRRWAStore::scheduleRetry, Qt::QueuedConnection);
        return;
    }
    if (!m_retryTimer) {
        m_retryTimer = new QTimer;
        m_retryTimer->setSingleShot(true);
        m_retryTimer->setInterval(kRetryInterval * 1000);
        connect(m_retryTimer, &QTimer::timeout, this, &KLVRRWAStore::timerDidFire);
    }
    if (!m_retryTimer->isActive())
        m_retryTimer->start();
}

KLVRDatabaseController *KLVRRWAStore::reader()
{
    if (m_reader && m_reader->isOpen())
        return m_reader.get();
    QString path;
    try {
        path = m_openedPath.isEmpty() ? databaseURL().toLocalFile() : m_openedPath;
    } catch (const std::exception &) {
        return nullptr;
    }
    if (!QFileInfo(path).isFile())
        return nullptr;
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(handle);
        return nullptr;
    }
    m_reader = std::make_unique<KLVRDatabaseController>();
    m_reader->setDatabase(handle);
    return m_reader.get();
}

QString KLVRRWAStore::settingText(const QString &key)
{
    try {
        {
            QMutexLocker databaseLocker(&databaseLock());
            QMutexLocker locker(&m_pendingLock);
            if (!openForWriting())
                locker.unlock();
            else
                return stringForSetting(key);
        }
        if (KLVRDatabaseController *connection = reader())
            return connection->stringForSetting(key);
    } catch (const std::exception &exception) {
        qCWarning(lcStore).noquote() << className() << "cannot read the setting" << key << ":" << exception.what();
    }
    return {};
}

bool KLVRRWAStore::setSettingText(const QString &key, const QString &value)
{
    try {
        QMutexLocker databaseLocker(&databaseLock());
        QMutexLocker locker(&m_pendingLock);
        if (!openForWriting())
            return false;
        setString(value, key);
        if (lastExecutionComplete())
            return true;
        noteUnwritable(QString::fromUtf8(sqlite3_errmsg(database())));
    } catch (const std::exception &exception) {
        noteUnwritable(QString::fromUtf8(exception.what()));
    }
    return false;
}

std::optional<KLVRRWAEventTable> KLVRRWAStore::sortedEntriesFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to)
{
    KLVRRWAEventSizes sizes;
    return sortedEntriesFromDate(from, to, std::numeric_limits<qint64>::max(), &sizes);
}

std::optional<KLVRRWAEventTable> KLVRRWAStore::sortedEntriesFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to,
                                                                     qint64 maxReplyBytes, KLVRRWAEventSizes *sizes)
{
    KLVR_REQUIRE(sizes && sizes->size() == 0, "sizes");
    insertPending();

    KLVRDatabaseController *connection = reader();
    if (!connection) {
        // No file yet: a store that can be written is made now, and reads as empty.
        {
            QMutexLocker databaseLocker(&databaseLock());
            QMutexLocker locker(&m_pendingLock);
            openForWriting();
        }
        connection = reader();
    }
    KLVR_ASSERT(connection, KLVRFormat::string(QStringLiteral("%@ cannot read the store: %@"), className(),
                                               m_unwritableReason.isEmpty() ? QStringLiteral("no store file")
                                                                            : m_unwritableReason));
    QMutexLocker readLocker(&connection->databaseLock());
    // A reply larger than the limit would be built only to be thrown away, tens of megabytes of
    // texts for a full store: the rows are counted first, and built in a second pass when they fit.
    if (maxReplyBytes < std::numeric_limits<qint64>::max()) {
        if (readEntries(connection, from, to, nullptr, sizes) == 0)
            return std::nullopt;
        if (sizes->bodyBytes() > maxReplyBytes)
            return KLVRRWAEventTable();
        *sizes = KLVRRWAEventSizes();
    }
    KLVRRWAEventTable events;
    if (readEntries(connection, from, to, &events, sizes) == 0)
        return std::nullopt;
    // Counted from the stored bytes, rows that are not UTF-8 travel longer than they were counted.
    if (sizes->bodyBytes() > maxReplyBytes)
        return KLVRRWAEventTable();
    return events;
}

qsizetype KLVRRWAStore::readEntries(KLVRDatabaseController *connection, KLVRAbsoluteTime from, KLVRAbsoluteTime to,
                                    KLVRRWAEventTable *events, KLVRRWAEventSizes *sizes)
{
    const QString fromText = (from.isValid() ? from : KLVRAbsoluteTime(0.0)).toText();
    const QString toText = (to.isValid() ? to : KLVRAbsoluteTime(kDistantFuture)).toText();
    struct Column
    {
        int key; // the table's key index
        qint64 keyBytes;
    };
    QList<Column> columns;
    int dateColumn = -1;
    const qsizetype rows = connection->executeStatement(
        kSelectKey, {{QStringLiteral("@from"), fromText}, {QStringLiteral("@to"), toText}},
        [&](sqlite3_stmt *statement) {
            const int count = sqlite3_data_count(statement);
            for (int column = int(columns.size()); column < count; ++column) {
                const char *name = sqlite3_column_name(statement, column);
                if (qstrcmp(name, "date") == 0)
                    dateColumn = column;
                columns.append({events ? events->keyIndex(QString::fromUtf8(name)) : -1, qint64(qstrlen(name))});
            }
            // The text SQLite gives for each column; SQL NULL and an empty blob are absent.
            QVarLengthArray<std::pair<const char *, int>, 8> texts(count);
            for (int column = 0; column < count; ++column) {
                const bool blob = sqlite3_column_type(statement, column) == SQLITE_BLOB;
                const char *value = static_cast<const char *>(blob ? sqlite3_column_blob(statement, column)
                                                                   : sqlite3_column_text(statement, column));
                const int bytes = sqlite3_column_bytes(statement, column);
                texts[column] = {value && (bytes > 0 || !blob) ? value : nullptr, bytes};
            }
            const auto [date, dateBytes] = dateColumn >= 0 ? texts.at(dateColumn) : std::pair<const char *, int>();
            sizes->beginEvent(date ? QString::fromUtf8(date, dateBytes) : QString());
            if (events)
                events->beginEvent();
            for (int column = 0; column < count; ++column) {
                const auto [value, bytes] = texts.at(column);
                if (!value)
                    continue;
                if (!events) {
                    sizes->addEntry(columns.at(column).keyBytes, bytes);
                    continue;
                }
                QString string = QString::fromUtf8(value, bytes);
                // Stored bytes that are not UTF-8 travel as replacement characters, which are longer.
                sizes->addEntry(columns.at(column).keyBytes,
                                KLVRRWAEventSizes::isAscii(value, bytes) ? bytes : KLVRRWAEventSizes::utf8Length(string));
                events->append(columns.at(column).key, std::move(string));
            }
        });
    if (!connection->lastExecutionComplete()) {
        // The next use of the statement would report the same error at its reset.
        const QString error = QString::fromUtf8(sqlite3_errmsg(connection->database()));
        connection->discardStatement(kSelectKey);
        throw KLVRAssertionException(KLVRFormat::string(QStringLiteral("%@ read failed after %ld events: %@"), className(),
                                                        qint64(rows), error),
                                     __FILE__, __LINE__);
    }
    return rows;
}

quint64 KLVRRWAStore::entriesAdded() const
{
    return m_entriesAdded.load();
}

void KLVRRWAStore::setEntriesAdded(quint64 entriesAdded)
{
    m_entriesAdded = entriesAdded;
    Q_EMIT entriesAddedChanged(entriesAdded);
}

QList<QVariantMap> KLVRRWAStore::pending() const
{
    QMutexLocker locker(&m_pendingLock);
    return m_pending;
}

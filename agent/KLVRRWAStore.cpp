// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAStore.h"

#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRPropertyList.h"
#include "KLVRSystemPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <sqlite3.h>

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
    // A destructor cannot report: a batch that fails here is logged and lost.
    try {
        insertPending();
    } catch (const KLVRAssertionException &error) {
        qCCritical(lcStore).noquote() << error.message();
    }
    QMutexLocker locker(&m_pendingLock);
    m_pending.clear();
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
    addToPending(parameters);
}

void KLVRRWAStore::addToPending(const QVariantMap &someInsertParameters)
{
    KLVR_REQUIRE(!someInsertParameters.isEmpty(), "someInsertParameters");
    {
        QMutexLocker locker(&m_pendingLock);
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

void KLVRRWAStore::insertPending()
{
    QMutexLocker locker(&m_pendingLock);
    if (m_pending.isEmpty())
        return;

    // One transaction per batch: either every queued row is written or none is, and an unwritten
    // batch stays queued for the next attempt.
    executeStatement(kBeginKey);
    if (lastStepResult() != SQLITE_DONE) {
        qCWarning(lcStore).noquote() << className() << "cannot begin writing" << m_pending.size()
                                     << "events; they stay queued";
        discardStatement(kBeginKey);
        return;
    }

    bool written = true;
    try {
        for (const QVariantMap &parameters : std::as_const(m_pending)) {
            executeStatement(kInsertKey, parameters);
            if (lastStepResult() != SQLITE_DONE) {
                written = false;
                break;
            }
        }
        if (written) {
            executeStatement(kCommitKey);
            written = lastStepResult() == SQLITE_DONE;
        }
    } catch (...) {
        discardStatement(kInsertKey);
        if (!sqlite3_get_autocommit(database()))
            executeStatement(kRollbackKey);
        throw;
    }

    if (!written) {
        // The failed statement would report its error at its next reset; start it afresh instead.
        discardStatement(kInsertKey);
        discardStatement(kCommitKey);
        if (!sqlite3_get_autocommit(database()))
            executeStatement(kRollbackKey);
        qCWarning(lcStore).noquote() << className() << "writing" << m_pending.size()
                                     << "events failed; they stay queued";
        return;
    }

    const quint64 count = quint64(m_pending.size());
    m_pending.clear();
    locker.unlock();
    setEntriesAdded(entriesAdded() + count);
}

std::optional<KLVRRWAEventTable> KLVRRWAStore::sortedEntriesFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to)
{
    insertPending();

    const QString fromText = (from.isValid() ? from : KLVRAbsoluteTime(0.0)).toText();
    const QString toText = (to.isValid() ? to : KLVRAbsoluteTime(kDistantFuture)).toText();
    KLVRRWAEventTable events;
    QList<int> keys; // the table's key index of each column
    const qsizetype rows = executeStatement(
        kSelectKey, {{QStringLiteral("@from"), fromText}, {QStringLiteral("@to"), toText}},
        [&events, &keys](sqlite3_stmt *statement) {
            const int columns = sqlite3_data_count(statement);
            for (int column = int(keys.size()); column < columns; ++column)
                keys.append(events.keyIndex(QString::fromUtf8(sqlite3_column_name(statement, column))));
            events.beginEvent();
            for (int column = 0; column < columns; ++column) {
                // The text SQLite gives for the column; SQL NULL and an empty blob are absent.
                const bool blob = sqlite3_column_type(statement, column) == SQLITE_BLOB;
                const char *text = static_cast<const char *>(blob ? sqlite3_column_blob(statement, column)
                                                                  : sqlite3_column_text(statement, column));
                const int bytes = sqlite3_column_bytes(statement, column);
                if (text && (bytes > 0 || !blob))
                    events.append(keys.at(column), QString::fromUtf8(text, bytes));
            }
        });
    if (rows == 0)
        return std::nullopt;
    return events;
}

quint64 KLVRRWAStore::entriesAdded() const
{
    return m_entriesAdded;
}

void KLVRRWAStore::setEntriesAdded(quint64 entriesAdded)
{
    m_entriesAdded = entriesAdded;
    Q_EMIT entriesAddedChanged(m_entriesAdded);
}

QList<QVariantMap> KLVRRWAStore::pending() const
{
    QMutexLocker locker(&m_pendingLock);
    return m_pending;
}

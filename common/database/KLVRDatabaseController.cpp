// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRDatabaseController.h"

#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRPropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QStandardPaths>
#include <sqlite3.h>
#include <thread>

Q_LOGGING_CATEGORY(lcDatabase, "restwatch.database")

namespace {

// The parameter name travels in the message, as the argument checks of the whole system do.
void requireParameter(bool given, const char *name, const char *file, int line)
{
    if (!given)
        KLVRAssertionException::invalidParameter(name, file, line);
}
#define KLVR_REQUIRE(condition, name) requireParameter((condition), name, __FILE__, __LINE__)

QString errorText(sqlite3 *database)
{
    return QString::fromUtf8(database ? sqlite3_errmsg(database) : "out of memory");
}

// Busy and locked steps may succeed later; every other result ends the execution.
bool isTransient(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

} // namespace

void KLVRDatabaseController::StatementFinalizer::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

KLVRDatabaseController::KLVRDatabaseController(QObject *parent)
    : QObject(parent)
{
}

KLVRDatabaseController::~KLVRDatabaseController()
{
    // Statements first, so that none is left open when the connection closes.
    clearPreparedStatements();
    closeDatabase(false);
}

QString KLVRDatabaseController::className() const
{
    return QString::fromLatin1(metaObject()->className());
}

QUrl KLVRDatabaseController::databaseURL()
{
    const QString caches = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    KLVR_ASSERT(!caches.isEmpty(), KLVRFormat::string(QStringLiteral("%@ 'Caches' folder unavailable: %@"), className(),
                                                      QStringLiteral("no cache location")));
    KLVR_ASSERT(QDir().mkpath(caches), KLVRFormat::string(QStringLiteral("%@ 'Caches' folder unavailable: %@"),
                                                         className(), QStringLiteral("cannot create %1").arg(caches)));
    return QUrl::fromLocalFile(QDir(caches).filePath(KLVRBundle::main().bundleIdentifier() + QStringLiteral(".db")));
}

sqlite3 *KLVRDatabaseController::database()
{
    QMutexLocker locker(&m_lock);
    if (m_database)
        return m_database;

    const QByteArray path = QFile::encodeName(databaseURL().toLocalFile());
    sqlite3 *handle = nullptr;
    const int result = sqlite3_open(path.constData(), &handle);
    if (result != SQLITE_OK) {
        const QString message = KLVRFormat::string(QStringLiteral("%@ open failed: %s (%d)"), className(),
                                                   errorText(handle), result);
        sqlite3_close(handle);
        throw KLVRAssertionException(message, __FILE__, __LINE__);
    }
    // Kept at once so that the schema script and the version setting use this connection.
    m_database = handle;

    // A failed schema script leaves the controller closed, whether it threw or not, so that the
    // next access starts again with a fresh open.
    bool created = false;
    try {
        created = executeStatements(QStringLiteral("KLVRDatabaseSQLCreate"));
    } catch (...) {
        setDatabase(nullptr);
        throw;
    }
    if (!created) {
        setDatabase(nullptr);
        return nullptr;
    }

    if (stringForSetting(QStringLiteral("version")).isNull())
        setString(KLVRBundle::main().version(), QStringLiteral("version"));

    databaseDidOpen();
    return m_database;
}

void KLVRDatabaseController::setDatabase(sqlite3 *database)
{
    QMutexLocker locker(&m_lock);
    if (database == m_database)
        return;
    if (m_database) {
        databaseWillClose();
        // Cached statements belong to the old connection; they cannot outlive it.
        clearPreparedStatements();
        closeDatabase(true);
    }
    m_database = database;
}

void KLVRDatabaseController::closeDatabase(bool reportFailure)
{
    if (!m_database)
        return;
    sqlite3 *handle = m_database;
    const int result = sqlite3_close(handle);
    if (result == SQLITE_OK) {
        m_database = nullptr;
        return;
    }
    const QString message = KLVRFormat::string(QStringLiteral("%@ close failed: %s (%d)"), className(),
                                               errorText(handle), result);
    // The handle is given up either way; close_v2 frees it once its last statement is gone.
    sqlite3_close_v2(handle);
    m_database = nullptr;
    if (reportFailure)
        throw KLVRAssertionException(message, __FILE__, __LINE__);
    qCWarning(lcDatabase).noquote() << message;
}

QString KLVRDatabaseController::databaseVersion()
{
    return stringForSetting(QStringLiteral("version"));
}

QVariantMap KLVRDatabaseController::coreSQLStatements()
{
    if (!m_coreSQLStatements) {
        QVariantMap statements;
        const QString path = KLVRBundle::main().pathForResource(QStringLiteral("KLVRDatabaseController"),
                                                                 QStringLiteral("plist"));
        if (!path.isEmpty()) {
            const QVariant contents = KLVRPropertyList::readFile(path);
            KLVR_ASSERT(contents.typeId() == QMetaType::QVariantMap,
                        KLVRFormat::string(QStringLiteral("%@ resource is malformed: %@"), className(),
                                           QUrl::fromLocalFile(path).toString()));
            statements = contents.toMap();
        }
        m_coreSQLStatements = statements;
    }
    return *m_coreSQLStatements;
}

void KLVRDatabaseController::setCoreSQLStatements(const QVariantMap &statements)
{
    m_coreSQLStatements = statements;
}

QString KLVRDatabaseController::SQLForKey(const QString &anInfoPListKey)
{
    const QVariantMap core = coreSQLStatements();
    const auto found = core.constFind(anInfoPListKey);
    if (found != core.constEnd())
        return found->toString();
    const QVariant info = KLVRBundle::main().objectForInfoDictionaryKey(anInfoPListKey);
    KLVR_ASSERT(info.isValid(), KLVRFormat::string(QStringLiteral("%@ Missing Info.plist property '%@'"), className(),
                                                   anInfoPListKey));
    return info.toString();
}

sqlite3_stmt *KLVRDatabaseController::statementForKey(const QString &anInfoPListKey)
{
    QMutexLocker locker(&m_lock);
    KLVR_REQUIRE(!anInfoPListKey.isEmpty(), "anInfoPListKey");
    sqlite3 *db = database();
    KLVR_ASSERT(db, KLVRFormat::string(QStringLiteral("%@ prepare failed: %s (%d)"), className(),
                                       QString::fromUtf8(sqlite3_errstr(SQLITE_MISUSE)), SQLITE_MISUSE));

    auto cached = m_preparedStatement.find(anInfoPListKey);
    if (cached == m_preparedStatement.end()) {
        const QString sql = SQLForKey(anInfoPListKey);
        KLVR_ASSERT(!sql.isEmpty(), KLVRFormat::string(QStringLiteral("%@ Info.plist missing %@"), className(),
                                                       anInfoPListKey));
        sqlite3_stmt *statement = nullptr;
        const int result = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
        if (result != SQLITE_OK || !statement) {
            sqlite3_finalize(statement);
            throw KLVRAssertionException(KLVRFormat::string(QStringLiteral("%@ prepare failed: %s (%d)"), className(),
                                                            errorText(db), result),
                                         __FILE__, __LINE__);
        }
        cached = m_preparedStatement.emplace(anInfoPListKey, StatementPointer(statement)).first;
    }

    sqlite3_stmt *statement = cached->second.get();
    const int result = sqlite3_reset(statement);
    KLVR_ASSERT(result == SQLITE_OK, KLVRFormat::string(QStringLiteral("%@ reset '%@' failed: %s (%d)"), className(),
                                                        anInfoPListKey, errorText(db), result));
    return statement;
}

bool KLVRDatabaseController::executeStatements(const QString &anInfoPListKey)
{
    QMutexLocker locker(&m_lock);
    KLVR_REQUIRE(!anInfoPListKey.isEmpty(), "anInfoPListKey");
    const QString sql = SQLForKey(anInfoPListKey);
    KLVR_ASSERT(!sql.isEmpty(), KLVRFormat::string(QStringLiteral("%@ Info.plist missing %@"), className(),
                                                   anInfoPListKey));
    sqlite3 *db = database();
    if (!db)
        return false;
    const int result = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    KLVR_ASSERT(result == SQLITE_OK, KLVRFormat::string(QStringLiteral("%@ SQL '%@' failed: %s (%d)"), className(),
                                                        sql, errorText(db), result));
    return true;
}

void KLVRDatabaseController::bindParameters(sqlite3_stmt *statement, const QString &key, const QVariantMap &parameters)
{
    const int count = sqlite3_bind_parameter_count(statement);
    // Exactly as many entries as parameters: an entry the statement does not name is a caller fault too.
    KLVR_ASSERT(parameters.size() == count,
                KLVRFormat::string(QStringLiteral("%@ Statement '%@' expects %d parameters, but got %d in %@."),
                                   className(), key, count, int(parameters.size()), parameters));

    for (int index = 1; index <= count; ++index) {
        const char *rawName = sqlite3_bind_parameter_name(statement, index);
        if (!rawName)
            continue; // a bare "?" has no name to look up
        const QString name = QString::fromUtf8(rawName);
        const auto found = parameters.constFind(name);
        KLVR_ASSERT(found != parameters.constEnd(),
                    KLVRFormat::string(QStringLiteral("%@ Parameter '%@' is required for statement '%@'."), className(),
                                       name, key));
        const QVariant &value = *found;
        if (value.typeId() == QMetaType::QString) {
            const QByteArray text = value.toString().toUtf8();
            const int result = sqlite3_bind_text(statement, index, text.constData(), -1, SQLITE_TRANSIENT);
            KLVR_ASSERT(result == SQLITE_OK, KLVRFormat::string(QStringLiteral("%@ text bind '%@' failed: %d"),
                                                                className(), name, result));
        } else if (value.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toByteArray();
            const int result = sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            KLVR_ASSERT(result == SQLITE_OK, KLVRFormat::string(QStringLiteral("%@ blob bind '%@' failed: %d"),
                                                                className(), name, result));
        } else {
            throw KLVRAssertionException(
                KLVRFormat::string(QStringLiteral("%@ Parameter '%@' is in an unsupported format for statement '%@'."),
                                   className(), name, key),
                __FILE__, __LINE__);
        }
    }
}

qsizetype KLVRDatabaseController::stepToEnd(sqlite3_stmt *statement, const RowHandler &eachRow)
{
    qsizetype rows = 0;
    int retries = 0;
    for (;;) {
        const int result = sqlite3_step(statement);
        m_lastStepResult = result;
        if (result == SQLITE_ROW) {
            retries = 0;
            ++rows;
            if (sqlite3_data_count(statement) > 0)
                eachRow(statement);
            continue;
        }
        if (result == SQLITE_DONE || result == SQLITE_OK)
            return rows;
        if (isTransient(result) && retries < kTransientStepRetries) {
            ++retries;
            std::this_thread::sleep_for(kTransientStepBackoff);
            continue;
        }
        // Step errors are not raised: the caller gets the rows gathered so far and learns from
        // lastExecutionComplete() that they are only part of the answer.
        qCWarning(lcDatabase).noquote() << className() << "step failed after" << rows << "rows:"
                                        << errorText(sqlite3_db_handle(statement)) << QStringLiteral("(%1)").arg(result);
        return rows;
    }
}

qsizetype KLVRDatabaseController::executeStatement(const QString &anInfoPListKey, const QVariantMap &parameters,
                                                   const RowHandler &eachRow)
{
    QMutexLocker locker(&m_lock);
    KLVR_REQUIRE(!anInfoPListKey.isEmpty(), "anInfoPListKey");
    sqlite3_stmt *statement = statementForKey(anInfoPListKey);
    bindParameters(statement, anInfoPListKey, parameters);
    return stepToEnd(statement, eachRow);
}

KLVRDatabaseController::Rows KLVRDatabaseController::executeStatement(const QString &anInfoPListKey,
                                                                      const QVariantMap &parameters)
{
    QList<Row> list;
    // Column names are the same on every row: made once, shared by every row's keys.
    QStringList names;
    const qsizetype count = executeStatement(anInfoPListKey, parameters, [&](sqlite3_stmt *statement) {
        const int columns = sqlite3_data_count(statement);
        if (names.isEmpty()) {
            for (int column = 0; column < columns; ++column)
                names.append(QString::fromUtf8(sqlite3_column_name(statement, column)));
        }
        Row row;
        for (int column = 0; column < columns; ++column) {
            if (sqlite3_column_type(statement, column) == SQLITE_BLOB) {
                const void *blob = sqlite3_column_blob(statement, column);
                const int bytes = sqlite3_column_bytes(statement, column);
                if (blob && bytes > 0)
                    row.insert(names.at(column), QByteArray(static_cast<const char *>(blob), bytes));
            } else {
                // An empty text is "" (present), unlike SQL NULL (absent).
                const unsigned char *text = sqlite3_column_text(statement, column);
                if (text)
                    row.insert(names.at(column), QString::fromUtf8(reinterpret_cast<const char *>(text),
                                                                   sqlite3_column_bytes(statement, column)));
            }
        }
        list.append(std::move(row));
    });
    if (count == 0)
        return std::nullopt;
    return list;
}

QString KLVRDatabaseController::stringForSetting(const QString &aSetting)
{
    QMutexLocker locker(&m_lock);
    KLVR_REQUIRE(!aSetting.isEmpty(), "aSetting");
    const Rows rows = executeStatement(QStringLiteral("KLVRDatabaseSQLSettingSelect"),
                                       {{QStringLiteral("@key"), aSetting}});
    if (!rows || rows->isEmpty())
        return QString();
    return rows->last().value(QStringLiteral("value")).toString();
}

void KLVRDatabaseController::setString(const QString &value, const QString &aSetting)
{
    QMutexLocker locker(&m_lock);
    KLVR_REQUIRE(!aSetting.isEmpty(), "aSetting");
    if (!value.isNull()) {
        executeStatement(QStringLiteral("KLVRDatabaseSQLSettingInsert"),
                         {{QStringLiteral("@key"), aSetting}, {QStringLiteral("@value"), value}});
    } else if (!stringForSetting(aSetting).isNull()) {
        executeStatement(QStringLiteral("KLVRDatabaseSQLSettingDelete"), {{QStringLiteral("@key"), aSetting}});
    }
}

QStringList KLVRDatabaseController::preparedStatementKeys() const
{
    QStringList keys;
    for (const auto &entry : m_preparedStatement)
        keys.append(entry.first);
    return keys;
}

void KLVRDatabaseController::clearPreparedStatements()
{
    QMutexLocker locker(&m_lock);
    m_preparedStatement.clear();
}

void KLVRDatabaseController::releaseMemory()
{
    QMutexLocker locker(&m_lock);
    if (m_database)
        sqlite3_db_release_memory(m_database);
}

void KLVRDatabaseController::discardStatement(const QString &anInfoPListKey)
{
    QMutexLocker locker(&m_lock);
    m_preparedStatement.erase(anInfoPListKey);
}

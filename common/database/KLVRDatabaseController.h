// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QObject>
#include <QRecursiveMutex>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// The single SQLite access class of both programs. One instance owns one connection to one
// database file, opened lazily on first use. SQL never appears in code: every statement is named
// by a key whose text comes from the "KLVRDatabaseController.plist" resource of the main bundle or
// from the main bundle's Info.plist. Parameters bind by their "@name"; rows come back as
// dictionaries of text (blobs as byte arrays). Contract and configuration faults throw
// KLVRAssertionException with the class name of the object first.
//
// Every operation holds the controller's lock, so that threads may share one; a caller that runs
// several statements as one unit (a transaction, a statement and its lastStepResult()) holds
// databaseLock() around them.
class KLVRDatabaseController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRDatabaseController)

public:
    // One result row: column name -> QString (integer, real and text columns) or QByteArray
    // (blob columns). SQL NULL and zero-length blobs are absent.
    using Row = QVariantMap;
    // std::nullopt when the statement produced no row at all (never an empty list).
    using Rows = std::optional<QList<Row>>;

    // A busy or locked step is retried this many times, sleeping the back-off between attempts,
    // before the execution gives up with the rows gathered so far.
    static constexpr int kTransientStepRetries = 40;
    static constexpr std::chrono::milliseconds kTransientStepBackoff{5};

    explicit KLVRDatabaseController(QObject *parent = nullptr);
    ~KLVRDatabaseController() override;

    // File URL of the database. Default: "$XDG_CACHE_HOME/<bundle identifier>.db".
    virtual QUrl databaseURL();
    // Called once each time a connection has been opened and its schema script has run.
    virtual void databaseDidOpen() {}
    // Called just before a connection is closed.
    virtual void databaseWillClose() {}

    // The connection, opened (schema, "version" setting, databaseDidOpen) on first use; null when
    // the schema script failed without throwing.
    sqlite3 *database();
    // Whether a connection is held (without opening one).
    bool isOpen() const { return m_database != nullptr; }
    // Closes the held connection (finalizing its cached statements) when it differs from the
    // new one, then keeps the new one. setDatabase(nullptr) is the explicit close.
    void setDatabase(sqlite3 *database);

    // The "version" setting: CFBundleVersion of the program that created the file.
    QString databaseVersion();

    // SQL text of a statement key: core resource first, then the main bundle's Info.plist.
    QString SQLForKey(const QString &anInfoPListKey);
    // A cached prepared statement, reset and ready to be bound (bindings are not cleared).
    sqlite3_stmt *statementForKey(const QString &anInfoPListKey);
    // Runs the key's SQL text as a script of one or more statements.
    bool executeStatements(const QString &anInfoPListKey);
    // Binds every "@name" parameter from the dictionary (QString as text, QByteArray as blob; the
    // entry count must equal the statement's parameter count) and steps to the end.
    Rows executeStatement(const QString &anInfoPListKey, const QVariantMap &parameters = {});
    // The same execution, handing each row with at least one column to eachRow while the statement
    // stands on it, for callers that build their own values from the columns. Returns the number
    // of rows stepped (0 where executeStatement() returns std::nullopt).
    using RowHandler = std::function<void(sqlite3_stmt *statement)>;
    qsizetype executeStatement(const QString &anInfoPListKey, const QVariantMap &parameters,
                               const RowHandler &eachRow);

    // Null QString when the setting is absent; an empty setting comes back as "" (not null).
    QString stringForSetting(const QString &aSetting);
    // A null value deletes the setting (executing nothing when it is absent); "" is stored.
    void setString(const QString &value, const QString &aSetting);

    QVariantMap coreSQLStatements();
    void setCoreSQLStatements(const QVariantMap &statements);

    // Keys of the statements prepared so far on this connection.
    QStringList preparedStatementKeys() const;
    // Finalizes every cached statement and empties the cache.
    void clearPreparedStatements();
    // Finalizes one cached statement, so its next use prepares it afresh (and a failed step of
    // the old one is not reported by the next reset).
    void discardStatement(const QString &anInfoPListKey);

    // Frees the connection's cached pages that no statement is using; an idle program need not
    // keep the pages of its last large read.
    void releaseMemory();

    // SQLite result code of the last step of the last executeStatement(): SQLITE_DONE (101) when
    // it ran to the end, the error code (or the busy code after the retries ran out) otherwise.
    int lastStepResult() const { return m_lastStepResult; }
    // True when the last execution stepped to its end; false when a step failed part-way and
    // the rows handed out so far are only part of the answer.
    bool lastExecutionComplete() const { return m_lastStepResult == 101 || m_lastStepResult == 0; }

    QRecursiveMutex &databaseLock() const { return m_lock; }

protected:
    QString className() const;

private:
    struct StatementFinalizer { void operator()(sqlite3_stmt *statement) const; };
    using StatementPointer = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    void closeDatabase(bool reportFailure);
    qsizetype stepToEnd(sqlite3_stmt *statement, const RowHandler &eachRow);
    void bindParameters(sqlite3_stmt *statement, const QString &key, const QVariantMap &parameters);

    sqlite3 *m_database = nullptr;
    std::optional<QVariantMap> m_coreSQLStatements;
    std::map<QString, StatementPointer> m_preparedStatement;
    int m_lastStepResult = 0;
    mutable QRecursiveMutex m_lock;
};

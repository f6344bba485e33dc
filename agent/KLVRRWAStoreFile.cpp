// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAStoreFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sqlite3.h>

namespace {

struct DatabaseCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};

bool isDamageCode(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// The columns a table has, in order; empty when the table does not exist. error receives a
// result code other than OK.
QStringList columnsOf(sqlite3 *db, const char *table, int *error)
{
    QStringList columns;
    sqlite3_stmt *statement = nullptr;
    const QByteArray sql = QByteArray("PRAGMA table_info(") + table + ");";
    int result = sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr);
    if (result == SQLITE_OK) {
        while ((result = sqlite3_step(statement)) == SQLITE_ROW)
            columns.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 1))));
    }
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE && result != SQLITE_OK)
        *error = result;
    return columns;
}

bool hasColumns(const QStringList &columns, const QStringList &needed)
{
    if (columns.isEmpty())
        return true; // the schema script makes the table
    for (const QString &column : needed) {
        if (!columns.contains(column))
            return false;
    }
    return true;
}

} // namespace

QString KLVRRWAStoreFile::damage(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0)
        return {};
    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
    if (opened != SQLITE_OK)
        return isDamageCode(opened) ? QString::fromUtf8(sqlite3_errstr(opened)) : QString();

    int error = SQLITE_OK;
    const QStringList events = columnsOf(db.get(), "events", &error);
    const QStringList settings = columnsOf(db.get(), "settings", &error);
    if (error != SQLITE_OK)
        return isDamageCode(error) ? QString::fromUtf8(sqlite3_errstr(error)) : QString();
    if (!hasColumns(events, {QStringLiteral("id"), QStringLiteral("date"), QStringLiteral("monitor"),
                             QStringLiteral("description"), QStringLiteral("properties")}))
        return QStringLiteral("the events table has other columns: ") + events.join(QStringLiteral(", "));
    if (!hasColumns(settings, {QStringLiteral("key"), QStringLiteral("value")}))
        return QStringLiteral("the settings table has other columns: ") + settings.join(QStringLiteral(", "));

    // A quick check reads every page: a truncated or overwritten file fails here even when its
    // first page is whole.
    sqlite3_stmt *check = nullptr;
    int result = sqlite3_prepare_v2(db.get(), "PRAGMA quick_check(1);", -1, &check, nullptr);
    QString verdict;
    if (result == SQLITE_OK) {
        while ((result = sqlite3_step(check)) == SQLITE_ROW)
            verdict = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
    }
    sqlite3_finalize(check);
    if (result != SQLITE_DONE && result != SQLITE_OK)
        return isDamageCode(result) ? QString::fromUtf8(sqlite3_errstr(result)) : QString();
    if (verdict != QLatin1String("ok"))
        return QStringLiteral("integrity check failed: ") + verdict;
    return {};
}

QString KLVRRWAStoreFile::asideName(const QString &path, const QDateTime &when)
{
    return path + QStringLiteral(".damaged-") + when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString KLVRRWAStoreFile::moveAside(const QString &path, const QDateTime &when, QString *errorText)
{
    QString aside = asideName(path, when);
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = asideName(path, when) + QStringLiteral("-%1").arg(n);
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
        if (errorText)
            *errorText = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    // The log and index belong to the damaged file; left behind they would be taken for the
    // fresh store's own.
    for (const char *suffix : {"-wal", "-shm"}) {
        const QByteArray from = QFile::encodeName(path + QLatin1String(suffix));
        if (QFileInfo::exists(QString::fromLocal8Bit(from)))
            std::rename(from.constData(), QFile::encodeName(aside + QLatin1String(suffix)).constData());
    }
    return aside;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAWtmpDbReader.h"

#include "KLVRRWAMonitor.h"
#include "KLVRRWAWtmpReader.h"

#include <QFile>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

struct DatabaseCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};

KLVRAbsoluteTime fromMicroseconds(sqlite3_int64 usec)
{
    return KLVRRWAWtmpReader::timeOf(usec / 1000000, usec % 1000000);
}

} // namespace

KLVRRWAAccountingRecords KLVRRWAWtmpDbReader::read(const QString &path, const QString &query)
{
    KLVRRWAAccountingRecords records;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return records;
    // SQLite would block opening a FIFO; anything but a regular file is no database of ours.
    if (!S_ISREG(status.st_mode)) {
        qCWarning(lcRWAMonitor, "KLVRRWAWtmpDbReader skips %s: not a regular file", qPrintable(path));
        return records;
    }

    sqlite3 *rawDb = nullptr;
    const int opened = sqlite3_open_v2(path.toUtf8().constData(), &rawDb, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, DatabaseCloser> db(rawDb);
    if (opened != SQLITE_OK) {
        qCWarning(lcRWAMonitor, "KLVRRWAWtmpDbReader cannot open %s: %s", qPrintable(path),
                  db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened));
        return records;
    }
    sqlite3_busy_timeout(db.get(), 1000); // wtmpdb writers hold their lock only for a moment

    sqlite3_stmt *rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), query.toUtf8().constData(), -1, &rawStatement, nullptr) != SQLITE_OK) {
        qCWarning(lcRWAMonitor, "KLVRRWAWtmpDbReader cannot read %s: %s", qPrintable(path), sqlite3_errmsg(db.get()));
        sqlite3_finalize(rawStatement);
        return records;
    }
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(rawStatement);
    int step;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        if (sqlite3_column_type(statement.get(), 0) == SQLITE_INTEGER)
            records.append({KLVRRWAAccountingRecord::Kind::Boot, fromMicroseconds(sqlite3_column_int64(statement.get(), 0))});
        if (sqlite3_column_type(statement.get(), 1) == SQLITE_INTEGER)
            records.append({KLVRRWAAccountingRecord::Kind::Shutdown, fromMicroseconds(sqlite3_column_int64(statement.get(), 1))});
    }
    if (step != SQLITE_DONE)
        qCWarning(lcRWAMonitor, "KLVRRWAWtmpDbReader stopped reading %s: %s", qPrintable(path), sqlite3_errmsg(db.get()));
    return records;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCCacheFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>
#include <memory>
#include <sqlite3.h>

namespace {

struct ConnectionCloser { void operator()(sqlite3 *db) const { sqlite3_close_v2(db); } };
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;
struct StatementFinalizer { void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); } };
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

constexpr int kBusyTimeoutMs = 2000;

// The header's page size and page count say how long the file must be at least. A hot journal
// beside it may still restore a longer file, so the check waits for that.
bool isCutOff(const QString &path, QString *reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(100);
    if (header.size() < 100)
        return false; // too short for a header: SQLite itself finds that it is no database
    if (QFileInfo(path + QStringLiteral("-journal")).size() > 0)
        return false;
    quint32 pageSize = qFromBigEndian<quint16>(header.constData() + 16);
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 pages = qFromBigEndian<quint32>(header.constData() + 28);
    const quint32 changeCounter = qFromBigEndian<quint32>(header.constData() + 24);
    const quint32 validFor = qFromBigEndian<quint32>(header.constData() + 92);
    // The page count is only kept by SQLite 3.7.0 and later, which mark it valid this way.
    if (pages == 0 || validFor != changeCounter)
        return false;
    const qint64 expected = qint64(pages) * pageSize;
    if (file.size() >= expected)
        return false;
    if (reason)
        *reason = QStringLiteral("the file is cut off: %1 of its %2 bytes").arg(file.size()).arg(expected);
    return true;
}

// The column names of a table; empty when there is no such table.
QSet<QString> columns(sqlite3 *db, const char *table, int *result)
{
    QSet<QString> names;
    sqlite3_stmt *raw = nullptr;
    *result = sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info(?1)", -1, &raw, nullptr);
    Statement statement(raw);
    if (*result != SQLITE_OK)
        return names;
    sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
    while ((*result = sqlite3_step(raw)) == SQLITE_ROW)
        names.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0))));
    if (*result == SQLITE_DONE)
        *result = SQLITE_OK;
    return names;
}

bool isTransient(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

} // namespace

KLVRRWCCacheFile::State KLVRRWCCacheFile::inspect(const QString &path, QString *reason)
{
    const QFileInfo info(path);
    if (!info.exists())
        return State::Missing;
    if (isCutOff(path, reason))
        return State::Damaged;

    sqlite3 *raw = nullptr;
    int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Connection db(raw);
    if (result != SQLITE_OK) {
        if (reason)
            *reason = QString::fromUtf8(sqlite3_errstr(result));
        // A file SQLite cannot even open for reading cannot be a cache either.
        return isTransient(result) ? State::Busy : State::Damaged;
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);

    const QSet<QString> cache = columns(raw, "cache", &result);
    QSet<QString> settings;
    if (result == SQLITE_OK)
        settings = columns(raw, "settings", &result);
    if (result != SQLITE_OK) {
        if (isTransient(result))
            return State::Busy;
        if (reason)
            *reason = QString::fromUtf8(sqlite3_errmsg(raw));
        return State::Damaged;
    }
    const auto lacks = [](const QSet<QString> &table, std::initializer_list<const char *> names) {
        if (table.isEmpty())
            return false; // made when the store opens the file
        for (const char *name : names)
            if (!table.contains(QLatin1String(name)))
                return true;
        return false;
    };
    if (lacks(cache, {"date", "properties"}) || lacks(settings, {"key", "value"})) {
        if (reason)
            *reason = QStringLiteral("its tables lack the columns of an event cache");
        return State::Damaged;
    }

    // Root may write anything; everybody else needs the file and its folder (for the journal).
    const bool writable = info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
    return writable ? State::Usable : State::ReadOnly;
}

QString KLVRRWCCacheFile::moveAside(const QString &path, const QDateTime &when, QString *error)
{
    const QFileInfo info(path);
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString target;
    for (int n = 1; n < 100; ++n) {
        const QString counter = n == 1 ? QString() : QStringLiteral(" %1").arg(n);
        target = info.dir().filePath(QStringLiteral("%1 (damaged %2%3)%4").arg(info.completeBaseName(), stamp, counter, suffix));
        if (!QFileInfo::exists(target))
            break;
    }
    if (!QFile::rename(path, target)) {
        if (error)
            *error = QStringLiteral("cannot rename %1 to %2").arg(path, target);
        return QString();
    }
    // A journal belongs to the file it was written for.
    for (const char *companion : {"-journal", "-wal", "-shm"}) {
        const QString from = path + QLatin1String(companion);
        if (QFileInfo::exists(from))
            QFile::rename(from, target + QLatin1String(companion));
    }
    return target;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

// Files as the programs leave them, written and read with SQLite directly: an agent store (as
// an earlier build left it, dates as whatever text it wrote), a client cache, and what a cache
// holds.

#include "KLVRAbsoluteTime.h"
#include "KLVRPropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringList>
#include <QVariantMap>
#include <sqlite3.h>

namespace KLVRCacheTestSupport {

struct StoredEvent
{
    QString date; // as text, the way the writing program formatted it
    QString description;
    QString monitor = QStringLiteral("com.klvr.monitor.watcher.powerevents");
    QString properties = QStringLiteral("NULL");
};

inline bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// An agent store with the events and settings given, in the schema every build has used.
inline bool writeAgentStore(const QString &path, const QList<StoredEvent> &events, const QMap<QString, QString> &settings = {})
{
    QDir().mkpath(QFileInfo(path).path());
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        return false;
    bool ok = exec(db, "CREATE TABLE IF NOT EXISTS events ( 'id' INTEGER PRIMARY KEY, 'date' REAL NOT NULL, 'monitor' TEXT NOT NULL, "
                       "'description' TEXT NOT NULL, 'properties' TEXT );"
                       "CREATE TABLE IF NOT EXISTS settings ( 'key' TEXT PRIMARY KEY, 'value' TEXT NOT NULL );"
                       "INSERT OR REPLACE INTO settings VALUES ('version', '244'); BEGIN;");
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO events (date, monitor, description, properties) VALUES (?, ?, ?, ?)", -1, &insert, nullptr) == SQLITE_OK;
    for (const StoredEvent &event : events) {
        if (!ok)
            break;
        const QByteArray date = event.date.toUtf8(), monitor = event.monitor.toUtf8(),
                         description = event.description.toUtf8(), properties = event.properties.toUtf8();
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, monitor.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, description.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, properties.constData(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    sqlite3_finalize(insert);
    sqlite3_stmt *setting = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO settings VALUES (?, ?)", -1, &setting, nullptr) == SQLITE_OK;
    for (auto it = settings.cbegin(); ok && it != settings.cend(); ++it) {
        const QByteArray key = it.key().toUtf8(), value = it.value().toUtf8();
        sqlite3_reset(setting);
        sqlite3_bind_text(setting, 1, key.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(setting, 2, value.constData(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(setting) == SQLITE_DONE;
    }
    sqlite3_finalize(setting);
    ok = ok && exec(db, "COMMIT;");
    sqlite3_close(db);
    return ok;
}

// A day of events every ten minutes from start, sleeps with a list of processes.
inline QList<StoredEvent> eventsEveryTenMinutes(double start, int count, int processes = 40)
{
    QStringList names;
    for (int i = 0; i < processes; ++i)
        names.append(QStringLiteral("process-%1").arg(i));
    const QString context = QString::fromUtf8(KLVRPropertyList::write(
        QVariantMap{{QStringLiteral("Idle Seconds"), 312.5}, {QStringLiteral("Processes"), names}}));
    QList<StoredEvent> events;
    for (int i = 0; i < count; ++i) {
        StoredEvent event;
        event.date = KLVRAbsoluteTime(start + i * 600.0 + 0.123456).toText();
        event.description = i % 2 ? QStringLiteral("System has powered on") : QStringLiteral("Can system sleep");
        event.properties = i % 2 ? QStringLiteral("NULL") : context;
        events.append(event);
    }
    return events;
}

// "date|monitor|description" of each row of a cache, in date order, from the records themselves.
inline QStringList cachedEvents(const QString &path)
{
    QStringList rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt *select = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT properties FROM cache ORDER BY date, id", -1, &select, nullptr) == SQLITE_OK) {
        while (sqlite3_step(select) == SQLITE_ROW) {
            const QByteArray blob(static_cast<const char *>(sqlite3_column_blob(select, 0)), sqlite3_column_bytes(select, 0));
            const QVariantMap record = KLVRPropertyList::read(blob).toMap();
            rows.append(QStringList{record.value(QStringLiteral("date")).toString(), record.value(QStringLiteral("monitor")).toString(),
                                    record.value(QStringLiteral("description")).toString()}
                            .join(QLatin1Char('|')));
        }
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    return rows;
}

// The first text column of each row of a query on a file.
inline QStringList query(const QString &path, const char *sql)
{
    QStringList values;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const unsigned char *text = sqlite3_column_text(statement, 0);
                values.append(text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString());
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return values;
}

} // namespace KLVRCacheTestSupport

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCScriptingTypes.h"

#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QStringList>

class KLVRRWCLog;
class KLVRRWCLogEntry;

// The log as the application's "database" for scripts (com.klvr.restwatch.Database): its entry
// count and its entries by index range. A range travels as one dictionary of columns, one array
// per scripting property, rather than a dictionary per entry, which would cost a key and a
// variant per value to build, send and read.
// Reads through to the log on every call; main thread only.
class KLVRRWCScriptingDatabase : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCScriptingDatabase)
    Q_PROPERTY(uint count READ count)

public:
    // The most entries one call hands out.
    static constexpr quint32 kMaximumPage = 10000;

    explicit KLVRRWCScriptingDatabase(KLVRRWCLog *log, QObject *parent = nullptr);

    uint count() const;

    // "index", "date", "summary", "monitor", "group" and "visible" of one listed entry.
    static QVariantMap scriptingProperties(const KLVRRWCLog &log, qsizetype index);
    // Up to length entries from location on, of the log's entries [first, end), as columns:
    // "index" (au), "date", "summary", "monitor", "group" (as) and "visible" (ab), each entry
    // at the same position in each. A length above kMaximumPage is refused ("Parameter too
    // large") and gives nothing.
    static bool page(const KLVRRWCLog &log, quint64 first, quint64 end, quint32 location, quint32 length,
                     QVariantMap &page);
    // A page's entries one by one, each a dictionary as scriptingProperties gives.
    static KLVRRWCScriptRecords recordsOfPage(const QVariantMap &page);

public Q_SLOTS:
    QVariantMap entries(uint location, uint length);
    QStringList attributesAsString(uint location, uint length);

private:
    QPointer<KLVRRWCLog> m_log;
};

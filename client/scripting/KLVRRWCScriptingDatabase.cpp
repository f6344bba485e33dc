// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingDatabase.h"

#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCScriptingError.h"

KLVRRWCScriptingDatabase::KLVRRWCScriptingDatabase(KLVRRWCLog *log, QObject *parent)
    : QObject(parent)
    , m_log(log)
{
    KLVRRWCScriptingTypes::registerTypes();
}

uint KLVRRWCScriptingDatabase::count() const
{
    return m_log ? uint(m_log->count()) : 0;
}

QVariantMap KLVRRWCScriptingDatabase::scriptingProperties(const KLVRRWCLog &log, qsizetype index)
{
    const KLVRRWCLogEntry *entry = log.objectAtIndex(index);
    if (!entry)
        return {};
    const KLVRRWCRange visible = log.visibleRange();
    const quint64 position = quint64(index);
    return {{QStringLiteral("index"), uint(index)},
            {QStringLiteral("date"), KLVRRWCScriptingDate::toText(entry->date())},
            {QStringLiteral("summary"), entry->summary()},
            {QStringLiteral("monitor"), entry->monitor()},
            {QStringLiteral("group"), entry->group()},
            {QStringLiteral("visible"), position >= visible.location && position - visible.location < visible.length}};
}

bool KLVRRWCScriptingDatabase::page(const KLVRRWCLog &log, quint64 first, quint64 end, quint32 location, quint32 length,
                                    KLVRRWCScriptRecords &records)
{
    records.clear();
    if (length > kMaximumPage)
        return false;
    const quint64 from = first + location;
    const quint64 to = std::min<quint64>(end, from + length);
    for (quint64 index = from; index < to; ++index)
        records.append(scriptingProperties(log, qsizetype(index)));
    return true;
}

KLVRRWCScriptRecords KLVRRWCScriptingDatabase::entries(uint location, uint length)
{
    KLVRRWCScriptRecords records;
    if (!m_log)
        return records;
    if (!page(*m_log, 0, quint64(m_log->count()), location, length, records) && calledFromDBus()) {
        const KLVRRWCScriptingError error = KLVRRWCScriptingError::tooLarge(QStringLiteral("length"));
        sendErrorReply(error.name(), error.message());
    }
    return records;
}

QStringList KLVRRWCScriptingDatabase::attributesAsString(uint location, uint length)
{
    QStringList texts;
    if (!m_log)
        return texts;
    if (length > kMaximumPage) {
        if (calledFromDBus()) {
            const KLVRRWCScriptingError error = KLVRRWCScriptingError::tooLarge(QStringLiteral("length"));
            sendErrorReply(error.name(), error.message());
        }
        return texts;
    }
    const qsizetype end = std::min<qsizetype>(m_log->count(), qsizetype(location) + qsizetype(length));
    for (qsizetype index = location; index < end; ++index)
        texts.append(m_log->objectAtIndex(index)->attributesAsString());
    return texts;
}

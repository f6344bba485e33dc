// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingDatabase.h"

#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCScriptingDateWriter.h"

#include <QDBusArgument>
#include <QDBusMetaType>
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
                                    QVariantMap &page)
{
    page.clear();
    if (length > kMaximumPage)
        return false;
    const quint64 from = std::min<quint64>(end, first + location);
    const quint64 to = std::min<quint64>(end, from + length);
    const KLVRRWCRange visible = log.visibleRange();
    const qsizetype size = qsizetype(to - from);
    QList<uint> indexes;
    QStringList dates;
    QStringList summaries;
    QStringList monitors;
    QStringList groups;
    QList<bool> visibles;
    for (auto *column : {&dates, &summaries, &monitors, &groups})
        column->reserve(size);
    indexes.reserve(size);
    visibles.reserve(size);
    KLVRRWCScriptingDateWriter writer;
    for (quint64 index = from; index < to; ++index) {
        const KLVRRWCLogEntry *entry = log.objectAtIndex(qsizetype(index));
        if (!entry)
            break;
        indexes.append(uint(index));
        dates.append(writer.text(entry->date()));
        summaries.append(entry->summary());
        monitors.append(entry->monitor());
        groups.append(entry->group());
        visibles.append(index >= visible.location && index - visible.location < visible.length);
    }
    page = {{QStringLiteral("index"), QVariant::fromValue(indexes)},
            {QStringLiteral("date"), dates},
            {QStringLiteral("summary"), summaries},
            {QStringLiteral("monitor"), monitors},
            {QStringLiteral("group"), groups},
            {QStringLiteral("visible"), QVariant::fromValue(visibles)}};
    return true;
}

KLVRRWCScriptRecords KLVRRWCScriptingDatabase::recordsOfPage(const QVariantMap &page)
{
    const QList<uint> indexes = qdbus_cast<QList<uint>>(page.value(QStringLiteral("index")));
    const QStringList dates = page.value(QStringLiteral("date")).toStringList();
    const QStringList summaries = page.value(QStringLiteral("summary")).toStringList();
    const QStringList monitors = page.value(QStringLiteral("monitor")).toStringList();
    const QStringList groups = page.value(QStringLiteral("group")).toStringList();
    const QList<bool> visibles = qdbus_cast<QList<bool>>(page.value(QStringLiteral("visible")));
    const qsizetype size = std::min({indexes.size(), dates.size(), summaries.size(), monitors.size(), groups.size(),
                                     visibles.size()});
    KLVRRWCScriptRecords records;
    records.reserve(size);
    for (qsizetype i = 0; i < size; ++i)
        records.append({{QStringLiteral("index"), indexes.at(i)},
                        {QStringLiteral("date"), dates.at(i)},
                        {QStringLiteral("summary"), summaries.at(i)},
                        {QStringLiteral("monitor"), monitors.at(i)},
                        {QStringLiteral("group"), groups.at(i)},
                        {QStringLiteral("visible"), visibles.at(i)}});
    return records;
}

QVariantMap KLVRRWCScriptingDatabase::entries(uint location, uint length)
{
    QVariantMap page;
    if (!m_log)
        return page;
    if (!KLVRRWCScriptingDatabase::page(*m_log, 0, quint64(m_log->count()), location, length, page) && calledFromDBus()) {
        const KLVRRWCScriptingError error = KLVRRWCScriptingError::tooLarge(QStringLiteral("length"));
        sendErrorReply(error.name(), error.message());
    }
    return page;
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

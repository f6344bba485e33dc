// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAEventTable.h"

#include "KLVRRWAEventSizes.h"

#include <QDBusMetaType>

void KLVRRWAEventTable::append(int keyIndex, QString value)
{
    Q_ASSERT(!m_starts.isEmpty() && keyIndex >= 0 && keyIndex < m_keys.size());
    m_values.append(std::move(value));
    m_valueKeys.append(keyIndex);
}

int KLVRRWAEventTable::keyIndex(const QString &key)
{
    // Every event brings the same few keys in the same order: the one after the last key of
    // the event so far is nearly always the match.
    const qsizetype count = m_keys.size();
    const qsizetype values = m_values.size();
    const qsizetype guess = !m_starts.isEmpty() && values > m_starts.last() ? m_valueKeys.at(values - 1) + 1 : 0;
    for (qsizetype step = 0; step < count; ++step) {
        const qsizetype candidate = (guess + step) % count;
        if (m_keys.at(candidate) == key)
            return int(candidate);
    }
    m_keys.append(key);
    return int(count);
}

QString KLVRRWAEventTable::value(qsizetype event, const QString &key) const
{
    for (qsizetype i = firstValue(event), end = firstValue(event + 1); i < end; ++i) {
        if (this->key(i) == key)
            return m_values.at(i);
    }
    return {};
}

KLVRRWAEvent KLVRRWAEventTable::event(qsizetype i) const
{
    KLVRRWAEvent event;
    for (qsizetype value = firstValue(i), end = firstValue(i + 1); value < end; ++value)
        event.insert(key(value), m_values.at(value));
    return event;
}

KLVRRWAEventList KLVRRWAEventTable::toList() const
{
    KLVRRWAEventList events;
    events.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        events.append(event(i));
    return events;
}

KLVRRWAEventTable KLVRRWAEventTable::fromList(const KLVRRWAEventList &events)
{
    KLVRRWAEventTable table;
    for (const KLVRRWAEvent &event : events) {
        table.beginEvent();
        for (auto it = event.cbegin(); it != event.cend(); ++it)
            table.append(it.key(), it.value());
    }
    return table;
}

qint64 KLVRRWAEventTable::marshalledSize() const
{
    QList<qint64> keyBytes;
    for (const QString &key : m_keys)
        keyBytes.append(KLVRRWAEventSizes::utf8Length(key));
    KLVRRWAEventSizes::Body body;
    for (qsizetype event = 0; event < size(); ++event) {
        body.beginEvent();
        for (qsizetype i = firstValue(event), end = firstValue(event + 1); i < end; ++i)
            body.addEntry(keyBytes.at(m_valueKeys.at(i)), KLVRRWAEventSizes::utf8Length(m_values.at(i)));
    }
    return body.bytes();
}

void KLVRRWAEventTable::registerMetaType()
{
    KLVRRWARegisterEventListType();
    qDBusRegisterMetaType<KLVRRWAEventTable>();
}

QDBusArgument &operator<<(QDBusArgument &argument, const KLVRRWAEventTable &table)
{
    argument.beginArray(QMetaType::fromType<KLVRRWAEvent>());
    for (qsizetype event = 0; event < table.size(); ++event) {
        argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
        for (qsizetype i = table.firstValue(event), end = table.firstValue(event + 1); i < end; ++i) {
            argument.beginMapEntry();
            argument << table.key(i) << table.value(i);
            argument.endMapEntry();
        }
        argument.endMap();
    }
    argument.endArray();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, KLVRRWAEventTable &table)
{
    table = KLVRRWAEventTable();
    argument.beginArray();
    while (!argument.atEnd()) {
        table.beginEvent();
        argument.beginMap();
        while (!argument.atEnd()) {
            QString key;
            QString value;
            argument.beginMapEntry();
            argument >> key >> value;
            argument.endMapEntry();
            table.append(key, std::move(value));
        }
        argument.endMap();
    }
    argument.endArray();
    return argument;
}

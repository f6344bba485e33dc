// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAEventTable.h"

#include <QDBusMetaType>
#include <cstring>
#include <limits>

namespace {

// UTF-8 length of a text: a UTF-16 unit takes one byte, one more from 0x80, one more from
// 0x800, and a surrogate (half of a four-byte character) one less. Runs of four ASCII units,
// by far the most common, are counted in one step.
qint64 utf8Length(const QString &text)
{
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype size = text.size();
    qint64 length = size;
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        quint64 block;
        std::memcpy(&block, units + i, sizeof(block));
        if ((block & 0xFF80FF80FF80FF80ULL) == 0)
            continue;
        for (qsizetype j = i; j < i + 4; ++j) {
            const char16_t u = units[j];
            length += int(u >= 0x80) + int(u >= 0x800) - int(u >= 0xD800 && u <= 0xDFFF);
        }
    }
    for (; i < size; ++i) {
        const char16_t u = units[i];
        length += int(u >= 0x80) + int(u >= 0x800) - int(u >= 0xD800 && u <= 0xDFFF);
    }
    return length;
}

} // namespace

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
    return measure(0, std::numeric_limits<qint64>::max(), nullptr);
}

qsizetype KLVRRWAEventTable::eventsFitting(qsizetype first, qint64 maxBytes) const
{
    qsizetype fitting = 0;
    measure(first, maxBytes, &fitting);
    return fitting;
}

qint64 KLVRRWAEventTable::measure(qsizetype first, qint64 maxBytes, qsizetype *fitting) const
{
    qint64 offset = 0;
    const auto align = [&offset](qint64 boundary) { offset = (offset + boundary - 1) / boundary * boundary; };
    const auto addString = [&](qint64 bytes) {
        align(4);
        offset += 4 + bytes + 1;
    };
    QList<qint64> keyBytes;
    for (const QString &key : m_keys)
        keyBytes.append(utf8Length(key));

    offset += 4; // the list's length
    for (qsizetype event = first; event < size(); ++event) {
        align(4);
        offset += 4; // the dictionary's length
        align(8);    // the first entry's place, even in an empty dictionary
        for (qsizetype i = firstValue(event), end = firstValue(event + 1); i < end; ++i) {
            align(8);
            addString(keyBytes.at(m_valueKeys.at(i)));
            addString(utf8Length(m_values.at(i)));
        }
        if (offset > maxBytes)
            return offset;
        if (fitting)
            *fitting = event + 1 - first;
    }
    return offset;
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

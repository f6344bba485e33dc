// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAEventSizes.h"

#include <cstring>

void KLVRRWAEventSizes::beginEvent(const QString &date)
{
    m_dates.append(date);
    m_starts.append(m_entries.size());
    m_total.beginEvent();
}

void KLVRRWAEventSizes::addEntry(qint64 keyBytes, qint64 valueBytes)
{
    Q_ASSERT(!m_starts.isEmpty());
    m_entries.append(keyBytes);
    m_entries.append(valueBytes);
    m_total.addEntry(keyBytes, valueBytes);
}

qsizetype KLVRRWAEventSizes::eventsFitting(qsizetype first, qint64 maxBytes) const
{
    Body body;
    qsizetype fitting = 0;
    for (qsizetype event = first; event < size(); ++event) {
        body.beginEvent();
        const qsizetype end = event + 1 < size() ? m_starts.at(event + 1) : m_entries.size();
        for (qsizetype i = m_starts.at(event); i < end; i += 2)
            body.addEntry(m_entries.at(i), m_entries.at(i + 1));
        if (body.bytes() > maxBytes)
            break;
        fitting = event + 1 - first;
    }
    return fitting;
}

QStringList KLVRRWAEventSizes::fittingRangeEnds(qint64 partBytes, qsizetype maxEnds) const
{
    QStringList ends;
    for (qsizetype first = 0; first < size() && ends.size() < maxEnds;) {
        qsizetype last = first + eventsFitting(first, partBytes);
        if (last >= size())
            break;
        // A range ends at a date: the part gives back the events that share the date of the
        // first event that did not fit.
        const QString &next = m_dates.at(last);
        while (last > first && m_dates.at(last - 1) == next)
            --last;
        if (last == first)
            break;
        ends.append(m_dates.at(last - 1));
        first = last;
    }
    return ends;
}

qint64 KLVRRWAEventSizes::utf8Length(const QString &text)
{
    // A UTF-16 unit takes one byte, one more from 0x80, one more from 0x800, and a surrogate
    // (half of a four-byte character) one less.
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

bool KLVRRWAEventSizes::isAscii(const char *bytes, qsizetype size)
{
    qsizetype i = 0;
    quint64 seen = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 block;
        std::memcpy(&block, bytes + i, sizeof(block));
        seen |= block;
    }
    for (; i < size; ++i)
        seen |= quint64(uchar(bytes[i]));
    return (seen & 0x8080808080808080ULL) == 0;
}

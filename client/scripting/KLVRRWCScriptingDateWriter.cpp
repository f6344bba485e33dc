// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingDateWriter.h"

#include "KLVRRWCScriptingDate.h"

#include <QDateTime>
#include <cmath>
#include <limits>

namespace {

constexpr qint64 kMsecsPerDay = 86400000;
// Years 1 to 9999 have four digits; the general path writes the others.
constexpr qint64 kFirstDay = -719162; // 0001-01-01, in days from 1970-01-01
constexpr qint64 kLastDay = 2932896;  // 9999-12-31

// Days from 1970-01-01 to the proleptic Gregorian year, month and day.
void civilFromDays(qint64 days, int &year, int &month, int &day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

char16_t *digits(char16_t *out, int value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        out[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    return out + count;
}

} // namespace

KLVRRWCScriptingDateWriter::KLVRRWCScriptingDateWriter()
    : m_zone(QTimeZone::systemTimeZone())
{
}

void KLVRRWCScriptingDateWriter::lookUpOffset(qint64 msecs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
    m_offset = m_zone.offsetFromUtc(at);
    m_from = msecs;
    m_to = msecs + 1;
    if (!m_zone.hasTransitions())
        return;
    const QTimeZone::OffsetData previous = m_zone.previousTransition(at.addMSecs(1));
    const QTimeZone::OffsetData next = m_zone.nextTransition(at);
    m_from = previous.atUtc.isValid() ? previous.atUtc.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    m_to = next.atUtc.isValid() ? next.atUtc.toMSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    // A zone whose transitions do not bound this instant is asked every time.
    if (m_from > msecs || m_to <= msecs) {
        m_from = msecs;
        m_to = msecs + 1;
    }
}

QString KLVRRWCScriptingDateWriter::text(KLVRAbsoluteTime date)
{
    if (!date.isValid())
        return QString();
    const double unixMsecs = date.toUnix() * 1000.0;
    if (!std::isfinite(unixMsecs) || std::abs(unixMsecs) > 1e15)
        return KLVRRWCScriptingDate::toText(date);
    const qint64 msecs = qint64(std::llround(unixMsecs));
    if (msecs < m_from || msecs >= m_to)
        lookUpOffset(msecs);
    const qint64 local = msecs + qint64(m_offset) * 1000;
    qint64 days = local / kMsecsPerDay;
    qint64 inDay = local % kMsecsPerDay;
    if (inDay < 0) {
        inDay += kMsecsPerDay;
        --days;
    }
    if (days < kFirstDay || days > kLastDay)
        return KLVRRWCScriptingDate::toText(date);
    int year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    const int seconds = int(inDay / 1000);
    const bool withMsecs = msecs % 1000 != 0;

    // "yyyy-MM-ddTHH:mm:ss[.zzz]+hh:mm"
    char16_t buffer[29];
    char16_t *out = buffer;
    out = digits(out, year, 4);
    *out++ = u'-';
    out = digits(out, month, 2);
    *out++ = u'-';
    out = digits(out, day, 2);
    *out++ = u'T';
    out = digits(out, seconds / 3600, 2);
    *out++ = u':';
    out = digits(out, seconds / 60 % 60, 2);
    *out++ = u':';
    out = digits(out, seconds % 60, 2);
    if (withMsecs) {
        *out++ = u'.';
        out = digits(out, int(inDay % 1000), 3);
    }
    const int offsetMinutes = std::abs(m_offset) / 60;
    *out++ = m_offset < 0 ? u'-' : u'+';
    out = digits(out, offsetMinutes / 60, 2);
    *out++ = u':';
    out = digits(out, offsetMinutes % 60, 2);
    return QString(reinterpret_cast<const QChar *>(buffer), out - buffer);
}

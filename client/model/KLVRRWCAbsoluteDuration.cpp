// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCAbsoluteDuration.h"

#include "KLVRFormat.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <utility>

namespace {
// Month and weekday names stay untranslated, as the period titles always were.
QString formatted(KLVRAbsoluteTime date, const QString &pattern)
{
    const QDateTime local = date.toDateTime();
    if (!local.isValid())
        return QString();
    return QLocale::c().toString(local, pattern);
}
} // namespace

void KLVRRWCAbsoluteDuration::setStartDate(KLVRAbsoluteTime startDate)
{
    if (startDate == m_startDate)
        return;
    const KLVRAbsoluteTime end = endDate();
    m_startDate = startDate;
    m_duration = end.secondsSince(startDate);
}

bool KLVRRWCAbsoluteDuration::contains(KLVRAbsoluteTime date) const
{
    return m_startDate.seconds() <= date.seconds() && date.seconds() <= m_startDate.seconds() + m_duration;
}

bool KLVRRWCAbsoluteDuration::equal(const KLVRRWCAbsoluteDuration *other) const
{
    return other && other->m_startDate == m_startDate && other->m_duration == m_duration;
}

void KLVRRWCAbsoluteDuration::sortByDate()
{
    if (m_duration >= 0.0)
        return;
    const KLVRAbsoluteTime end = endDate();
    m_startDate = end;
    m_duration = -m_duration;
}

QString KLVRRWCAbsoluteDuration::description() const
{
    return KLVRFormat::string(QStringLiteral("%@ - %@"), dateDescription(m_startDate), dateDescription(endDate()));
}

QString KLVRRWCAbsoluteDuration::dateDescription(KLVRAbsoluteTime date)
{
    const QDateTime local = date.toDateTime();
    if (!local.isValid())
        return QStringLiteral("(null)");
    return QLocale::c().toString(local.toUTC(), QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

QString KLVRRWCAbsoluteDuration::periodDescription() const
{
    const QDate start = m_startDate.toDateTime().date();
    const QDate end = endDate().toDateTime().date();
    // A whole local day is one day even when the clock change makes it 25 hours long.
    if (m_duration <= 86400.0 || start == end)
        return formatted(m_startDate.addSeconds(m_duration / 2.0), QStringLiteral("dddd, d MMMM yyyy"));

    if (start.year() != end.year())
        return KLVRFormat::string(QStringLiteral("%@ - %@"), formatted(m_startDate, QStringLiteral("d MMMM yyyy")),
                                  formatted(endDate(), QStringLiteral("d MMMM yyyy")));
    if (start.month() != end.month())
        return KLVRFormat::string(QStringLiteral("%@ - %@, %@"), formatted(m_startDate, QStringLiteral("d MMMM")),
                                  formatted(endDate(), QStringLiteral("d MMMM")), formatted(endDate(), QStringLiteral("yyyy")));
    return KLVRFormat::string(QStringLiteral("%@ - %@, %@"), formatted(m_startDate, QStringLiteral("dddd d")),
                              formatted(endDate(), QStringLiteral("dddd d")), formatted(endDate(), QStringLiteral("MMMM yyyy")));
}

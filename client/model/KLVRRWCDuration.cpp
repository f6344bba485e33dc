// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDuration.h"

#include "KLVRFormat.h"
#include "KLVRRWCModelResources.h"
#include "KLVRStringsTable.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString kTable = QStringLiteral("Durations");

qint64 truncatedSeconds(double seconds)
{
    // Beyond the 64-bit range (or NaN) there is nothing sensible to print; clamp rather than
    // let the conversion be undefined.
    if (std::isnan(seconds))
        return 0;
    constexpr double limit = 9.0e18;
    if (seconds >= limit)
        return qint64(limit);
    if (seconds <= -limit)
        return -qint64(limit);
    return qint64(std::trunc(seconds));
}

qint32 narrowed(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}
} // namespace

QString KLVRRWCDuration::stringValue() const
{
    return shortStringFromDuration(m_duration);
}

QString KLVRRWCDuration::longStringValue() const
{
    return longStringFromDuration(m_duration);
}

QString KLVRRWCDuration::shortStringFromDuration(double seconds)
{
    return stringFromDuration(seconds, QStringLiteral("d"), QStringLiteral("h"), QStringLiteral("m"), QStringLiteral("s"),
                              QStringLiteral("shortdivider"), QStringLiteral("shortformat"));
}

QString KLVRRWCDuration::longStringFromDuration(double seconds)
{
    return stringFromDuration(seconds, QStringLiteral("day"), QStringLiteral("hour"), QStringLiteral("minute"),
                              QStringLiteral("second"), QStringLiteral("longdivider"), QStringLiteral("longformat"));
}

QString KLVRRWCDuration::stringFromDuration(double seconds, const QString &dayKey, const QString &hourKey,
                                            const QString &minuteKey, const QString &secondKey,
                                            const QString &dividerKey, const QString &formatKey)
{
    const qint64 s = truncatedSeconds(seconds);
    const qint64 totalHours = s / 3600;
    const qint64 totalMinutes = s / 60;
    const qint64 days = totalHours / 24;
    const qint64 hours = totalHours - 24 * days;
    const qint64 minutes = totalMinutes - 60 * totalHours;
    const qint64 secs = s - 60 * totalMinutes;

    const QString format = KLVRRWCModelResources::localizedString(formatKey, formatKey, kTable);
    QStringList components;
    if (days != 0)
        components << stringFor(narrowed(days), dayKey, format);
    if (hours != 0)
        components << stringFor(narrowed(hours), hourKey, format);
    if (minutes != 0 || (secs != 0 && hours != 0))
        components << stringFor(narrowed(minutes), minuteKey, format);
    if (secs != 0 || (days == 0 && hours == 0 && minutes == 0))
        components << stringFor(narrowed(secs), secondKey, format);
    return components.join(KLVRRWCModelResources::localizedString(dividerKey, QStringLiteral(" "), kTable));
}

QString KLVRRWCDuration::stringFor(qint32 count, const QString &unitKey, const QString &format)
{
    const QString key = count == 1 ? unitKey : unitKey + QLatin1Char('s');
    return KLVRFormat::string(format, count, KLVRRWCModelResources::localizedString(key, key, kTable));
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingDate.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <cmath>

namespace {
const QRegularExpression &dayPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    return pattern;
}
} // namespace

QString KLVRRWCScriptingDate::toText(KLVRAbsoluteTime date)
{
    if (!date.isValid())
        return QString();
    const qint64 msecs = qint64(std::llround(date.toUnix() * 1000.0));
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::systemTimeZone());
    // The offset is always written out, "+00:00" included, so that every text has one form.
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const QString time = QLocale::c().toString(local, msecs % 1000 ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                                                   : QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    return time + QLatin1Char(offset < 0 ? '-' : '+') + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

bool KLVRRWCScriptingDate::isDay(const QString &text)
{
    return dayPattern().match(text.trimmed()).hasMatch();
}

KLVRAbsoluteTime KLVRRWCScriptingDate::fromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (isDay(trimmed)) {
        const QDate day = QDate::fromString(trimmed, Qt::ISODate);
        if (!day.isValid())
            return KLVRAbsoluteTime::invalid();
        return KLVRAbsoluteTime::fromDateTime(day.startOfDay(QTimeZone::systemTimeZone()));
    }
    QDateTime parsed = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
    if (!parsed.isValid() || !trimmed.contains(QLatin1Char('T')))
        return KLVRAbsoluteTime::invalid();
    if (parsed.timeSpec() == Qt::LocalTime)
        parsed.setTimeZone(QTimeZone::systemTimeZone());
    return KLVRAbsoluteTime::fromUnix(double(parsed.toMSecsSinceEpoch()) / 1000.0);
}

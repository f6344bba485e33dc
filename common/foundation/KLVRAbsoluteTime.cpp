// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAbsoluteTime.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

KLVRAbsoluteTime KLVRAbsoluteTime::now()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return fromUnix(double(ts.tv_sec) + double(ts.tv_nsec) / 1e9);
}

KLVRAbsoluteTime KLVRAbsoluteTime::fromDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return invalid();
    return fromUnix(double(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

KLVRAbsoluteTime KLVRAbsoluteTime::fromText(const QString &text)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    if (bytes.isEmpty())
        return invalid();
    char *end = nullptr;
    const double value = std::strtod(bytes.constData(), &end);
    if (end != bytes.constData() + bytes.size())
        return invalid();
    return KLVRAbsoluteTime(value);
}

QDateTime KLVRAbsoluteTime::toDateTime() const
{
    if (!isValid())
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(toUnix() * 1000.0 + 0.5)));
}

QString KLVRAbsoluteTime::toText() const
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lf", m_seconds);
    return QString::fromLatin1(buffer);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAbsoluteTime.h"

#include "KLVRNumberText.h"

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
    const std::optional<double> value = KLVRNumberText::toDouble(text);
    return value ? KLVRAbsoluteTime(*value) : invalid();
}

QDateTime KLVRAbsoluteTime::toDateTime() const
{
    if (!isValid())
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(toUnix() * 1000.0 + 0.5)));
}

QString KLVRAbsoluteTime::toText() const
{
    return KLVRNumberText::fromDouble(m_seconds);
}

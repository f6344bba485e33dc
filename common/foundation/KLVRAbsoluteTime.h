// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <cmath>
#include <compare>

// A point in time as seconds since 2001-01-01 00:00:00 UTC, kept as a double so that event
// times keep their microseconds (QDateTime only holds milliseconds).
class KLVRAbsoluteTime
{
public:
    static constexpr double kUnixOffset = 978307200.0; // seconds from 1970 to 2001

    constexpr KLVRAbsoluteTime() = default;
    constexpr explicit KLVRAbsoluteTime(double seconds) : m_seconds(seconds) {}

    static KLVRAbsoluteTime now();
    static KLVRAbsoluteTime invalid() { return KLVRAbsoluteTime(std::nan("")); }
    static constexpr KLVRAbsoluteTime fromUnix(double unixSeconds) { return KLVRAbsoluteTime(unixSeconds - kUnixOffset); }
    static KLVRAbsoluteTime fromDateTime(const QDateTime &dateTime);
    // Parses the "%lf" text form, whatever the locale (a ',' for the point, as earlier builds
    // wrote it under a comma-decimal locale, is read too); an unparsable text gives an invalid time.
    static KLVRAbsoluteTime fromText(const QString &text);

    constexpr double seconds() const { return m_seconds; }
    constexpr double toUnix() const { return m_seconds + kUnixOffset; }
    bool isValid() const { return std::isfinite(m_seconds); }
    // Local date and time (millisecond precision) for calendar work and display.
    QDateTime toDateTime() const;
    // The "%lf" text form used wherever a time travels as text, with '.' in every locale.
    QString toText() const;

    KLVRAbsoluteTime addSeconds(double s) const { return KLVRAbsoluteTime(m_seconds + s); }
    double secondsSince(KLVRAbsoluteTime other) const { return m_seconds - other.m_seconds; }

    friend constexpr bool operator==(KLVRAbsoluteTime a, KLVRAbsoluteTime b) { return a.m_seconds == b.m_seconds; }
    friend constexpr auto operator<=>(KLVRAbsoluteTime a, KLVRAbsoluteTime b) { return a.m_seconds <=> b.m_seconds; }

private:
    double m_seconds = 0.0;
};

Q_DECLARE_METATYPE(KLVRAbsoluteTime)

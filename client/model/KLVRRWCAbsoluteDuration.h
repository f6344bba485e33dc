// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCDuration.h"

#include <QMetaType>
#include <QString>

// A length of time anchored at a start date: an interval from startDate() to
// startDate() + duration(). The end is never stored. Calendar work (period titles) happens in
// the local time zone; dates stay absolute times and are never rounded through QDateTime.
class KLVRRWCAbsoluteDuration : public KLVRRWCDuration
{
public:
    KLVRRWCAbsoluteDuration() = default;
    KLVRRWCAbsoluteDuration(KLVRAbsoluteTime startDate, double seconds) : KLVRRWCDuration(seconds), m_startDate(startDate) {}

    static KLVRRWCAbsoluteDuration absoluteDurationWithDate(KLVRAbsoluteTime startDate, double seconds)
    {
        return KLVRRWCAbsoluteDuration(startDate, seconds);
    }
    // from .. to; the duration is negative when to is earlier than from.
    static KLVRRWCAbsoluteDuration absoluteDurationFromDate(KLVRAbsoluteTime from, KLVRAbsoluteTime to)
    {
        return KLVRRWCAbsoluteDuration(from, to.secondsSince(from));
    }

    KLVRAbsoluteTime startDate() const { return m_startDate; }
    // Moves the start and keeps the end where it was.
    void setStartDate(KLVRAbsoluteTime startDate);
    KLVRAbsoluteTime endDate() const { return m_startDate.addSeconds(m_duration); }
    // Moves the end and keeps the start.
    void setEndDate(KLVRAbsoluteTime endDate) { m_duration = endDate.secondsSince(m_startDate); }

    // start <= date <= start + duration, both ends included.
    bool contains(KLVRAbsoluteTime date) const;
    // Same start and exactly the same duration; a missing other is never equal.
    bool equal(const KLVRRWCAbsoluteDuration *other) const;
    bool equal(const KLVRRWCAbsoluteDuration &other) const { return equal(&other); }
    // A negative interval is turned around so that it runs forward.
    void sortByDate();

    // "start - end" with both dates' default text.
    QString description() const;
    // A date's default text: "2024-03-05 14:07:09 +0000" (UTC, whole seconds).
    static QString dateDescription(KLVRAbsoluteTime date);
    // A human title for the period: the day for one day or less, otherwise the two ends with as
    // much of month and year as tells them apart.
    QString periodDescription() const;

    friend bool operator==(const KLVRRWCAbsoluteDuration &a, const KLVRRWCAbsoluteDuration &b) { return a.equal(b); }

private:
    KLVRAbsoluteTime m_startDate;
};

Q_DECLARE_METATYPE(KLVRRWCAbsoluteDuration)

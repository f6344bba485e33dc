// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

// One candidate spacing of the graph's date ticks and the calendar format of their labels
// (strftime-style conversions; empty means unlabelled ticks). A value.
class KLVRRWCEntriesViewMarkerInterval
{
public:
    KLVRRWCEntriesViewMarkerInterval() = default;
    KLVRRWCEntriesViewMarkerInterval(double timeInterval, const QString &dateFormat)
        : m_timeInterval(timeInterval), m_dateFormat(dateFormat)
    {
    }
    static KLVRRWCEntriesViewMarkerInterval markerIntervalWithTimeInterval(double timeInterval, const QString &dateFormat)
    {
        return KLVRRWCEntriesViewMarkerInterval(timeInterval, dateFormat);
    }

    double timeInterval() const { return m_timeInterval; }
    const QString &dateFormat() const { return m_dateFormat; }

    friend bool operator==(const KLVRRWCEntriesViewMarkerInterval &a, const KLVRRWCEntriesViewMarkerInterval &b)
    {
        return a.m_timeInterval == b.m_timeInterval && a.m_dateFormat == b.m_dateFormat;
    }

private:
    double m_timeInterval = 0.0;
    QString m_dateFormat;
};

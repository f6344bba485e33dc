// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QMetaType>
#include <QString>

// A length of time in seconds (may be negative) that prints itself in a short form ("2 d 3 h")
// and a long form ("2 days 3 hours"). Unit words, component format and divider come from the
// "Durations" strings table. A value: copies are independent.
class KLVRRWCDuration
{
public:
    KLVRRWCDuration() = default;
    explicit KLVRRWCDuration(double seconds) : m_duration(seconds) {}
    static KLVRRWCDuration durationWithTimeInterval(double seconds) { return KLVRRWCDuration(seconds); }

    double duration() const { return m_duration; }
    void setDuration(double seconds) { m_duration = seconds; }

    // The short text; description() answers the same.
    QString stringValue() const;
    QString description() const { return stringValue(); }
    QString longStringValue() const;

    static QString shortStringFromDuration(double seconds);
    static QString longStringFromDuration(double seconds);
    // Days, hours, minutes and seconds (truncated toward zero), each shown only where it adds
    // information, filled into the table's component format and joined with its divider.
    static QString stringFromDuration(double seconds, const QString &dayKey, const QString &hourKey,
                                      const QString &minuteKey, const QString &secondKey,
                                      const QString &dividerKey, const QString &formatKey);
    // One component: the format filled with the count and the unit text ("s" appended to the
    // unit key whenever the count is not exactly 1).
    static QString stringFor(qint32 count, const QString &unitKey, const QString &format);

    friend bool operator==(const KLVRRWCDuration &a, const KLVRRWCDuration &b) { return a.m_duration == b.m_duration; }

protected:
    double m_duration = 0.0;
};

Q_DECLARE_METATYPE(KLVRRWCDuration)

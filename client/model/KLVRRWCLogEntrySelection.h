// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCBattery.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariantMap>
#include <optional>

class KLVRRWCLogEntry;
class KLVRRWCLogEntryPowerStatus;

// Figures for a set of log entries (the table's selection, or everything visible in the date
// range): how the time divided between usage states ("Awake", "Asleep", "On", "Off") and power
// source states, and what each battery's charge did. The result is computed once, at
// creation, and offered in the attribute form of a log entry, so the inspector shows a
// selection like a single entry. Values are KLVRRWCStyledText (figure, unit sign and duration
// with their roles) or, for a battery's rate, a KLVRRWCDuration.
class KLVRRWCLogEntrySelection
{
public:
    KLVRRWCLogEntrySelection() = default;
    // span: the interval to measure; without one, the interval from the earliest to the latest
    // entry. One entry without a span shows that entry's own attributes. now bounds the
    // measured time, since nothing is known about the future.
    explicit KLVRRWCLogEntrySelection(const QList<KLVRRWCLogEntry *> &selection,
                                      const std::optional<KLVRRWCAbsoluteDuration> &span = std::nullopt,
                                      KLVRAbsoluteTime now = KLVRAbsoluteTime::now());

    const QList<KLVRRWCLogEntry *> &selection() const { return m_selection; }
    qsizetype selectionCount() const { return m_selection.size(); }
    const std::optional<KLVRRWCAbsoluteDuration> &duration() const { return m_duration; }
    // Seconds spent in each usage state; empty until computed.
    const QMap<QString, double> &summary() const { return m_summary; }
    // Seconds spent in each power source state, and the batteries' samples; empty until computed.
    const QMap<QString, double> &powerSourceSummary() const { return m_powerSourceSummary; }
    const QMap<QString, KLVRRWCBattery> &batteries() const { return m_batteries; }

    const QStringList &attributes() const { return m_attributes; }
    const QVariantMap &attributeValues() const { return m_attributeValues; }
    QVariant attributeForKey(const QString &key) const { return m_attributeValues.value(key); }
    void setAttributeValue(const QVariant &value, const QString &key);

    // Each value as styled text: with an interval above 0, a number of seconds becomes its
    // percentage of the interval, a percent sign and its duration; with none, a number
    // becomes itself with a percent sign and anything else stays as it is.
    static QVariantMap presentIntervals(const QVariantMap &intervals, double timeInterval);
    static QVariantMap presentIntervals(const QMap<QString, double> &intervals, double timeInterval);
    static QVariantMap presentPowerSource(const QVariantMap &info) { return presentIntervals(info, 0.0); }

    // Adds one power-status entry's level to the battery of its "Name" (twice when duplicates
    // show that the level held until a later date).
    static void addPowerStatusEvent(const KLVRRWCLogEntryPowerStatus &entry, QMap<QString, KLVRRWCBattery> &samples);


private:
    void initAttributes();
    void intervals(const QList<KLVRRWCLogEntry *> &entries);

    QList<KLVRRWCLogEntry *> m_selection;
    std::optional<KLVRRWCAbsoluteDuration> m_duration;
    KLVRAbsoluteTime m_now;
    QMap<QString, double> m_summary;
    QMap<QString, double> m_powerSourceSummary;
    QMap<QString, KLVRRWCBattery> m_batteries;
    QStringList m_attributes;
    QVariantMap m_attributeValues;
};

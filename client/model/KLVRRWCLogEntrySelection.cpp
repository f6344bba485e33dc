// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntrySelection.h"

#include "KLVRFormat.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntryDaemon.h"
#include "KLVRRWCLogEntryPowerStatus.h"
#include "KLVRRWCStateTracker.h"
#include "KLVRRWCStyledText.h"

#include <algorithm>

namespace {

const QString kPowerSourceState = QStringLiteral("Power Source State");

bool isAgentEntry(const KLVRRWCLogEntry *entry)
{
    return dynamic_cast<const KLVRRWCLogEntryDaemon *>(entry) != nullptr;
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

QString oneDecimal(double value)
{
    return KLVRFormat::localizedString(QStringLiteral("%.1f"), value);
}

} // namespace

KLVRRWCLogEntrySelection::KLVRRWCLogEntrySelection(const QList<KLVRRWCLogEntry *> &selection,
                                                   const std::optional<KLVRRWCAbsoluteDuration> &span,
                                                   KLVRAbsoluteTime now)
    : m_selection(selection)
    , m_duration(span)
    , m_now(now)
{
    if (m_selection.size() == 1 && !m_duration) {
        const KLVRRWCLogEntry *entry = m_selection.constFirst();
        m_attributes = entry->attributes();
        m_attributeValues = entry->attributeValues();
        return;
    }
    initAttributes();
}

void KLVRRWCLogEntrySelection::setAttributeValue(const QVariant &value, const QString &key)
{
    if (!m_attributes.contains(key))
        m_attributes.append(key);
    m_attributeValues.insert(key, value);
}

void KLVRRWCLogEntrySelection::initAttributes()
{
    if (m_selection.isEmpty())
        return;
    if (!m_duration) {
        // The earliest and latest dates, whatever order the entries were given in (a table
        // sorted by summary hands them over in no date order at all).
        auto [earliest, latest] = std::minmax_element(m_selection.cbegin(), m_selection.cend(),
                                                      [](const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) {
                                                          return a->date() < b->date();
                                                      });
        m_duration = KLVRRWCAbsoluteDuration::absoluteDurationFromDate((*earliest)->date(), (*latest)->date());
    }
    intervals(m_selection);
}

void KLVRRWCLogEntrySelection::intervals(const QList<KLVRRWCLogEntry *> &entries)
{
    QList<KLVRRWCLogEntry *> sorted;
    sorted.reserve(entries.size());
    for (KLVRRWCLogEntry *entry : entries) {
        if (entry && entry->date().isValid())
            sorted.append(entry);
    }
    if (sorted.isEmpty() || !m_duration)
        return;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) { return a->date() < b->date(); });

    const KLVRRWCLogEntry *first = sorted.constFirst();
    const KLVRAbsoluteTime start = std::min(first->date(), m_duration->startDate());
    // The states in force at the start: the usage state as the first entry's pair tells it for
    // that date, and the power source the first entry was on.
    KLVRRWCStateTracker usage(KLVRRWCLogEntry::pairRepresentsAtDate(start, first), start);
    KLVRRWCStateTracker powerSource(KLVRRWCLogEntry::powerSourceAtTimeOfEntry(first), start);
    QMap<QString, KLVRRWCBattery> batteries;

    for (const KLVRRWCLogEntry *entry : std::as_const(sorted)) {
        if (isAgentEntry(entry))
            continue;
        usage.addState(entry->pairRepresents(), entry->date());
        powerSource.addState(entry->property(kPowerSourceState).toString(), entry->date());
        if (const auto *status = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(entry))
            addPowerStatusEvent(*status, batteries);
    }

    const KLVRAbsoluteTime end = std::min(m_duration->endDate(), m_now);
    usage.currentStateEndsOnDate(end);
    powerSource.currentStateEndsOnDate(end);

    // Percentages are of the whole span, even where it reaches past now.
    const double spanLength = m_duration->duration();
    setAttributeValue(presentIntervals(usage.stateIntervals(), spanLength), QStringLiteral("Usage"));
    m_summary = usage.stateIntervals();
    setAttributeValue(presentIntervals(powerSource.stateIntervals(), spanLength), QStringLiteral("Power Source"));
    m_powerSourceSummary = powerSource.stateIntervals();
    for (auto it = batteries.cbegin(); it != batteries.cend(); ++it)
        setAttributeValue(presentPowerSource(it.value().infoDictionary()), it.key());
    m_batteries = batteries;
}

void KLVRRWCLogEntrySelection::addPowerStatusEvent(const KLVRRWCLogEntryPowerStatus &entry, QMap<QString, KLVRRWCBattery> &samples)
{
    const QString name = entry.property(QStringLiteral("Name")).toString();
    if (name.isEmpty())
        return;
    // A battery reported as not present has no charge to read; its zero would drag the
    // minimum and average down and count the removal as a huge discharge.
    if (entry.hasProperty(QStringLiteral("Is Present")) && !entry.connected())
        return;
    auto it = samples.find(name);
    if (it == samples.end())
        it = samples.insert(name, KLVRRWCBattery(name));
    const qint32 percent = entry.percentageCharged();
    it->addCapacity(percent, entry.date());
    if (entry.duplicateCount() > 0)
        it->addCapacity(percent, entry.finalDate());
}

QVariantMap KLVRRWCLogEntrySelection::presentIntervals(const QMap<QString, double> &intervals, double timeInterval)
{
    QVariantMap values;
    for (auto it = intervals.cbegin(); it != intervals.cend(); ++it)
        values.insert(it.key(), it.value());
    return presentIntervals(values, timeInterval);
}

QVariantMap KLVRRWCLogEntrySelection::presentIntervals(const QVariantMap &intervals, double timeInterval)
{
    using Role = KLVRRWCStyledText::Role;
    QVariantMap presented;
    for (auto it = intervals.cbegin(); it != intervals.cend(); ++it) {
        const QVariant &value = it.value();
        if (timeInterval > 0) {
            const double seconds = value.toDouble();
            const float percent = float(seconds / timeInterval * 100.0);
            KLVRRWCStyledText text;
            text.append(oneDecimal(percent), Role::Primary)
                .append(QStringLiteral("%  "), Role::Emphasis)
                .append(KLVRRWCDuration(seconds).stringValue(), Role::Secondary);
            presented.insert(it.key(), QVariant::fromValue(text));
        } else if (isNumber(value)) {
            KLVRRWCStyledText text;
            text.append(oneDecimal(value.toDouble()), Role::Primary).append(QStringLiteral("%"), Role::Emphasis);
            presented.insert(it.key(), QVariant::fromValue(text));
        } else {
            presented.insert(it.key(), value);
        }
    }
    return presented;
}

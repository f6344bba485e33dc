// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogSlice.h"

#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntrySelection.h"

KLVRRWCLogSlice::KLVRRWCLogSlice(QObject *parent)
    : QObject(parent)
{
}

KLVRRWCLogSlice::~KLVRRWCLogSlice() = default;

void KLVRRWCLogSlice::setDateRange(KLVRRWCDateRangeController *dateRange)
{
    disconnect(m_dateRangeConnection);
    m_dateRange = dateRange;
    if (dateRange)
        m_dateRangeConnection = connect(dateRange, &KLVRRWCDateRangeController::absoluteDurationChanged, this,
                                        &KLVRRWCLogSlice::changed);
}

void KLVRRWCLogSlice::setLog(KLVRRWCLog *log)
{
    disconnect(m_logConnection);
    m_log = log;
    if (log)
        m_logConnection = connect(log, &KLVRRWCLog::visibleEntriesChanged, this, &KLVRRWCLogSlice::changed);
}

KLVRAbsoluteTime KLVRRWCLogSlice::start() const
{
    if (!m_dateRange || !m_dateRange->hasAbsoluteDuration())
        return KLVRAbsoluteTime::invalid();
    return m_dateRange->absoluteDuration().startDate();
}

void KLVRRWCLogSlice::setStart(KLVRAbsoluteTime date)
{
    if (m_dateRange && date.isValid())
        m_dateRange->setStartingDay(date);
}

KLVRAbsoluteTime KLVRRWCLogSlice::end() const
{
    if (!m_dateRange || !m_dateRange->hasAbsoluteDuration())
        return KLVRAbsoluteTime::invalid();
    return m_dateRange->absoluteDuration().endDate();
}

void KLVRRWCLogSlice::setEnd(KLVRAbsoluteTime date)
{
    if (m_dateRange && date.isValid())
        m_dateRange->setEndingDay(date);
}

QList<KLVRRWCLogEntry *> KLVRRWCLogSlice::events() const
{
    return m_log ? m_log->visibleEntriesArray() : QList<KLVRRWCLogEntry *>();
}

double KLVRRWCLogSlice::duration() const
{
    if (!m_dateRange || !m_dateRange->hasAbsoluteDuration())
        return 0.0;
    return m_dateRange->absoluteDuration().duration();
}

QString KLVRRWCLogSlice::title() const
{
    if (!m_dateRange || !m_dateRange->hasAbsoluteDuration())
        return QString();
    return m_dateRange->absoluteDuration().periodDescription();
}

std::unique_ptr<KLVRRWCLogEntrySelection> KLVRRWCLogSlice::selectionFromEvents(const QList<KLVRRWCLogEntry *> &events) const
{
    if (events.isEmpty())
        return nullptr;
    std::optional<KLVRRWCAbsoluteDuration> span;
    if (m_dateRange && m_dateRange->hasAbsoluteDuration())
        span = m_dateRange->absoluteDuration();
    return std::make_unique<KLVRRWCLogEntrySelection>(events, span);
}

QVariantMap KLVRRWCLogSlice::summary() const
{
    QVariantMap summary;
    const std::unique_ptr<KLVRRWCLogEntrySelection> selection = selectionFromEvents(events());
    if (!selection)
        return summary;
    const QMap<QString, double> &seconds = selection->summary();
    for (auto it = seconds.cbegin(); it != seconds.cend(); ++it)
        summary.insert(it.key(), it.value());
    return summary;
}

double KLVRRWCLogSlice::summaryValue(const QString &state) const
{
    return summary().value(state, 0.0).toDouble();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntryIdleSleep.h"

#include "KLVRFormat.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCPropertyValue.h"

void KLVRRWCLogEntryIdleSleep::awakeFromLog()
{
    KLVRRWCLogEntry::awakeFromLog();
    m_awake = true;
}

QString KLVRRWCLogEntryIdleSleep::computeSummary() const
{
    if (!m_awake || event() != QLatin1String("Can system sleep"))
        return KLVRRWCLogEntry::computeSummary();
    const qint32 idle = KLVRRWCPropertyValue::intValue(property(QStringLiteral("Idle Seconds")));
    return KLVRFormat::string(general(QStringLiteral("Preparing to sleep after %@ idle time")),
                              KLVRRWCDuration::longStringFromDuration(idle));
}

void KLVRRWCLogEntryIdleSleep::initAttributes()
{
    const QVariant idle = property(QStringLiteral("Idle Seconds"));
    if (idle.isValid()) {
        const qint32 seconds = KLVRRWCPropertyValue::intValue(idle);
        if (seconds > 0) {
            const QVariantMap properties{{general(QStringLiteral("Idle Seconds")), QVariant::fromValue(KLVRRWCDuration(seconds))}};
            setAttributeValue(properties, general(QStringLiteral("Properties")));
        }
    }
    const QVariant processes = property(QStringLiteral("Processes"));
    if (processes.isValid())
        setAttributeValue(processes, general(QStringLiteral("Processes")));
    KLVRRWCLogEntry::initAttributes();
}

bool KLVRRWCLogEntryIdleSleep::isLike(const KLVRRWCLogEntry &entry) const
{
    return dynamic_cast<const KLVRRWCLogEntryIdleSleep *>(&entry) && entry.event() == event()
           && entry.date().secondsSince(date()) < 5.0;
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLogEntryIdleSleep::makeEntry(KLVRAbsoluteTime date, const QString &event,
                                                                     const QString &monitor,
                                                                     KLVRRWCPropertyDictionary properties) const
{
    return std::make_unique<KLVRRWCLogEntryIdleSleep>(date, event, monitor, std::move(properties));
}

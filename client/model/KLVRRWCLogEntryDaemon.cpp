// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntryDaemon.h"

QString KLVRRWCLogEntryDaemon::group() const
{
    static const QString group = QStringLiteral("Monitoring");
    return group;
}

void KLVRRWCLogEntryDaemon::awakeFromLog()
{
    KLVRRWCLogEntry::awakeFromLog();
    setPair(next());
    if (pair()) {
        if (event() == QLatin1String("Starting monitor"))
            setPairRepresents(QStringLiteral("Monitored"));
        else if (event() == QLatin1String("Stopping monitor"))
            setPairRepresents(QStringLiteral("Unmonitored"));
    }
}

bool KLVRRWCLogEntryDaemon::isLike(const KLVRRWCLogEntry &entry) const
{
    return dynamic_cast<const KLVRRWCLogEntryDaemon *>(&entry) && entry.event() == event()
           && entry.date().secondsSince(date()) < 5.0;
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLogEntryDaemon::makeEntry(KLVRAbsoluteTime date, const QString &event,
                                                                  const QString &monitor,
                                                                  KLVRRWCPropertyDictionary properties) const
{
    return std::make_unique<KLVRRWCLogEntryDaemon>(date, event, monitor, std::move(properties));
}

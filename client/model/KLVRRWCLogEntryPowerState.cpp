// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntryPowerState.h"

#include "KLVRFormat.h"
#include "KLVRRWCDuration.h"

namespace {
bool isBoot(const QString &event)
{
    return event == QLatin1String("startup") || event == QLatin1String("accounting boot");
}
} // namespace

QString KLVRRWCLogEntryPowerState::group() const
{
    static const QString group = QStringLiteral("Power State");
    return group;
}

void KLVRRWCLogEntryPowerState::awakeFromLog()
{
    KLVRRWCLogEntry::awakeFromLog();
    setPair(next());

    QString state;
    QString format;
    if (event() == QLatin1String("System will sleep")) {
        state = QStringLiteral("Asleep");
        format = QStringLiteral("System sleeping after %@");
    } else if (event() == QLatin1String("System has powered on")) {
        state = QStringLiteral("Awake");
        format = QStringLiteral("System powering on after %@");
    } else if (isBoot(event())) {
        state = QStringLiteral("On");
        format = QStringLiteral("Starting up after %@");
    } else if (event() == QLatin1String("accounting shut down")) {
        state = QStringLiteral("Off");
        format = QStringLiteral("Shutting down after %@");
    }
    if (!state.isEmpty())
        setPairRepresents(state);
    if (!format.isEmpty() && pair()) {
        setSummary(KLVRFormat::string(general(format),
                                      KLVRRWCDuration::longStringFromDuration(date().secondsSince(pair()->date()))));
    }
}

void KLVRRWCLogEntryPowerState::initAttributes()
{
    if (pair()) {
        const QVariantMap properties{
            {general(QStringLiteral("Duration")), KLVRRWCDuration::shortStringFromDuration(date().secondsSince(pair()->date()))}};
        setAttributeValue(properties, general(QStringLiteral("Properties")));
    }
    KLVRRWCLogEntry::initAttributes();
}

bool KLVRRWCLogEntryPowerState::isLike(const KLVRRWCLogEntry &entry) const
{
    if (!dynamic_cast<const KLVRRWCLogEntryPowerState *>(&entry))
        return false;
    // The current boot and its accounting record describe one boot, however far apart. One
    // boot has one record of each kind: a second one of a kind already folded here belongs to
    // the next boot (after a crash nothing else lies between two boots).
    if (isBoot(entry.event()) && isBoot(event()) && entry.event() != event()) {
        for (const auto &duplicate : duplicates()) {
            if (duplicate->event() == entry.event())
                return false;
        }
        return true;
    }
    return entry.event() == event() && entry.date().secondsSince(date()) < 5.0;
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLogEntryPowerState::makeEntry(KLVRAbsoluteTime date, const QString &event,
                                                                      const QString &monitor,
                                                                      const KLVRRWCPropertyDictionary &properties) const
{
    return std::make_unique<KLVRRWCLogEntryPowerState>(date, event, monitor, properties);
}

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

namespace {
// The state that begins at an event, and how its summary words the time before it.
struct StateWording
{
    const char *state = nullptr;
    const char *format = nullptr;
};

StateWording wordingFor(const QString &event)
{
    if (event == QLatin1String("System will sleep"))
        return {"Asleep", "System sleeping after %@"};
    if (event == QLatin1String("System has powered on"))
        return {"Awake", "System powering on after %@"};
    if (isBoot(event))
        return {"On", "Starting up after %@"};
    if (event == QLatin1String("accounting shut down"))
        return {"Off", "Shutting down after %@"};
    return {};
}
} // namespace

void KLVRRWCLogEntryPowerState::awakeFromLog()
{
    KLVRRWCLogEntry::awakeFromLog();
    setPair(next());
    const StateWording wording = wordingFor(event());
    if (wording.state)
        setPairRepresents(QString::fromLatin1(wording.state));
}

QString KLVRRWCLogEntryPowerState::computeSummary() const
{
    const StateWording wording = wordingFor(event());
    if (!wording.format || !pair())
        return KLVRRWCLogEntry::computeSummary();
    return KLVRFormat::string(general(QString::fromLatin1(wording.format)),
                              KLVRRWCDuration::longStringFromDuration(date().secondsSince(pair()->date())));
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
                                                                      KLVRRWCPropertyDictionary properties) const
{
    return std::make_unique<KLVRRWCLogEntryPowerState>(date, event, monitor, std::move(properties));
}

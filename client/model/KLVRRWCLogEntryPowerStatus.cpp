// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntryPowerStatus.h"

#include "KLVRFormat.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCPropertyValue.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString kName = QStringLiteral("Name");
const QString kIsPresent = QStringLiteral("Is Present");
const QString kIsCharging = QStringLiteral("Is Charging");
const QString kSourceState = QStringLiteral("Power Source State");
} // namespace

KLVRRWCLogEntryPowerStatus::KLVRRWCLogEntryPowerStatus(KLVRAbsoluteTime date, const QString &event,
                                                       const QString &monitor, const QVariantMap &properties)
    : KLVRRWCLogEntryPowerStatus(date, event, monitor, KLVRRWCPropertyDictionary::fromMap(properties))
{
}

KLVRRWCLogEntryPowerStatus::KLVRRWCLogEntryPowerStatus(KLVRAbsoluteTime date, const QString &event,
                                                       const QString &monitor, const KLVRRWCPropertyDictionary &properties)
    : KLVRRWCLogEntry(date, event, monitor, properties)
{
    // One chain per power source; the key is made once since the log asks for it often.
    setGroup(KLVRRWCPropertyDictionary::intern(this->monitor() + QStringLiteral(" - ") + KLVRRWCPropertyValue::text(property(kName))));
}

QString KLVRRWCLogEntryPowerStatus::group() const
{
    return KLVRRWCLogEntry::group();
}

qint32 KLVRRWCLogEntryPowerStatus::percentageCharged() const
{
    const float current = KLVRRWCPropertyValue::floatValue(property(QStringLiteral("Current Capacity")));
    const float maximum = KLVRRWCPropertyValue::floatValue(property(QStringLiteral("Max Capacity")));
    const float percentage = current * maximum / 100.0f;
    if (std::isnan(percentage))
        return 0;
    return qint32(std::clamp<float>(std::trunc(percentage), -2147483648.0f, 2147483520.0f));
}

bool KLVRRWCLogEntryPowerStatus::stateForPropertyKey(const QString &key) const
{
    const QVariant value = property(key);
    return value.isValid() && KLVRRWCPropertyValue::intValue(value) == 1;
}

bool KLVRRWCLogEntryPowerStatus::didPropertyKeyChangeSinceEntry(const QString &key, const KLVRRWCLogEntry *other) const
{
    if (!other)
        return true;
    const QVariant before = other->property(key);
    if (!before.isValid())
        return true;
    return before != property(key);
}

void KLVRRWCLogEntryPowerStatus::awakeFromLog()
{
    KLVRRWCLogEntry::awakeFromLog();
    const KLVRRWCLogEntry *older = next();
    const auto *olderStatus = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(older);
    const QString name = KLVRRWCPropertyValue::text(property(kName));

    m_change = ChangeUnknown;
    if (didPropertyKeyChangeSinceEntry(kIsPresent, older)) {
        m_change = ChangePresence;
        const bool present = KLVRRWCPropertyValue::intValue(property(kIsPresent)) != 0;
        setSummary(KLVRFormat::string(general(present ? QStringLiteral("'%@' connected") : QStringLiteral("'%@' removed")), name));
    } else if (didPropertyKeyChangeSinceEntry(kSourceState, older)) {
        m_change = ChangeSourceState;
        setSummary(KLVRFormat::string(general(QStringLiteral("Switched to '%@'")), KLVRRWCPropertyValue::text(property(kSourceState))));
    } else if (didPropertyKeyChangeSinceEntry(kIsCharging, older)) {
        m_change = ChangeCharging;
        if (KLVRRWCPropertyValue::intValue(property(kIsCharging)) == 1)
            setSummary(KLVRFormat::string(general(QStringLiteral("Started charging '%@' from '%@'")), name,
                                          KLVRRWCPropertyValue::text(property(kSourceState))));
        else
            setSummary(KLVRFormat::string(general(QStringLiteral("Stopped charging '%@'")), name));
    } else {
        m_change = ChangeLevel;
        QString direction = QStringLiteral("at");
        if (olderStatus)
            direction = percentageCharged() - olderStatus->percentageCharged() > 0 ? QStringLiteral("up to") : QStringLiteral("down to");
        setSummary(KLVRFormat::string(general(QStringLiteral("'%@' %@ %d%% capacity")), name, general(direction),
                                      percentageCharged()));
    }
    initPairing();
}

void KLVRRWCLogEntryPowerStatus::initPairing()
{
    if (m_change != ChangeCharging && m_change != ChangePresence && m_change != ChangeSourceState)
        return;
    for (KLVRRWCLogEntry *older = next(); older; older = older->next()) {
        const auto *status = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(older);
        if (status && status->change() == m_change) {
            setPair(older);
            return;
        }
    }
}

void KLVRRWCLogEntryPowerStatus::addPropertyWithKey(const QString &key, QVariantMap &dictionary) const
{
    const QVariant value = property(key);
    if (value.isValid())
        dictionary.insert(general(key), value);
}

void KLVRRWCLogEntryPowerStatus::addDurationPropertyWithKey(const QString &key, QVariantMap &dictionary) const
{
    const QVariant value = property(key);
    if (!value.isValid())
        return;
    const qint32 minutes = KLVRRWCPropertyValue::intValue(value);
    if (minutes >= 1)
        dictionary.insert(general(key), QVariant::fromValue(KLVRRWCDuration(double(minutes) * 60.0)));
}

void KLVRRWCLogEntryPowerStatus::initAttributes()
{
    QVariantMap device;
    addPropertyWithKey(kName, device);
    addPropertyWithKey(QStringLiteral("Transport Type"), device);
    device.insert(general(QStringLiteral("Current Capacity")), KLVRFormat::string(QStringLiteral("%d%%"), percentageCharged()));
    addDurationPropertyWithKey(QStringLiteral("Time to Empty"), device);
    addDurationPropertyWithKey(QStringLiteral("Time to Full Charge"), device);
    addPropertyWithKey(QStringLiteral("Power Source ID"), device);
    addPropertyWithKey(QStringLiteral("Low Warn Level"), device);
    addPropertyWithKey(QStringLiteral("Shutdown Level"), device);
    if (pair())
        device.insert(general(QStringLiteral("Duration")), KLVRRWCDuration::shortStringFromDuration(date().secondsSince(pair()->date())));
    setAttributeValue(device, QStringLiteral("Device"));
    KLVRRWCLogEntry::initAttributes();
}

bool KLVRRWCLogEntryPowerStatus::isLike(const KLVRRWCLogEntry &entry) const
{
    const auto *status = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(&entry);
    if (!status)
        return false;
    const bool unchanged = !status->didPropertyKeyChangeSinceEntry(kIsPresent, this)
                           && !status->didPropertyKeyChangeSinceEntry(kIsCharging, this)
                           && !status->didPropertyKeyChangeSinceEntry(kSourceState, this)
                           && status->percentageCharged() == percentageCharged();
    return unchanged || status->propertyDictionary() == propertyDictionary();
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLogEntryPowerStatus::makeEntry(KLVRAbsoluteTime date, const QString &event,
                                                                       const QString &monitor,
                                                                       const KLVRRWCPropertyDictionary &properties) const
{
    return std::make_unique<KLVRRWCLogEntryPowerStatus>(date, event, monitor, properties);
}

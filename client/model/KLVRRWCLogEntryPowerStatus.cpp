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
                                                       const QString &monitor, KLVRRWCPropertyDictionary properties)
    : KLVRRWCLogEntry(date, event, monitor, std::move(properties))
{
    // One chain per power source; the key is made once since the log asks for it often, and
    // the same few sources repeat for years.
    const QString *text = propertyDictionary().text(kName);
    const QString name = text && !text->isEmpty() ? *text : KLVRRWCPropertyValue::text(property(kName));
    thread_local struct { QString monitor; QString name; QString group; } last;
    const auto same = [](const QString &a, const QString &b) {
        return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
    };
    if (last.group.isNull() || !same(last.monitor, this->monitor()) || !same(last.name, name)) {
        last.monitor = this->monitor();
        last.name = name;
        last.group = KLVRRWCPropertyDictionary::intern(this->monitor() + QStringLiteral(" - ") + name);
    }
    setGroup(last.group);
    m_percentageCharged = computePercentageCharged();
}

QString KLVRRWCLogEntryPowerStatus::group() const
{
    return KLVRRWCLogEntry::group();
}

qint32 KLVRRWCLogEntryPowerStatus::computePercentageCharged() const
{
    static const QString currentKey = QStringLiteral("Current Capacity");
    static const QString maximumKey = QStringLiteral("Max Capacity");
    const float current = float(propertyDictionary().number(currentKey));
    const float maximum = float(propertyDictionary().number(maximumKey));
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
    // No equal value when either lacks the key.
    return !other || !propertyDictionary().sameValue(key, other->propertyDictionary());
}

void KLVRRWCLogEntryPowerStatus::awakeFromLog()
{
    KLVRRWCLogEntry::awakeFromLog();
    const KLVRRWCLogEntry *older = next();
    if (didPropertyKeyChangeSinceEntry(kIsPresent, older))
        m_change = ChangePresence;
    else if (didPropertyKeyChangeSinceEntry(kSourceState, older))
        m_change = ChangeSourceState;
    else if (didPropertyKeyChangeSinceEntry(kIsCharging, older))
        m_change = ChangeCharging;
    else
        m_change = ChangeLevel;
    initPairing();
}

QString KLVRRWCLogEntryPowerStatus::computeSummary() const
{
    const QString name = KLVRRWCPropertyValue::text(property(kName));
    switch (m_change) {
    case ChangePresence:
        return KLVRFormat::string(general(KLVRRWCPropertyValue::intValue(property(kIsPresent)) != 0 ? QStringLiteral("'%@' connected")
                                                                                                   : QStringLiteral("'%@' removed")),
                                  name);
    case ChangeSourceState:
        return KLVRFormat::string(general(QStringLiteral("Switched to '%@'")), KLVRRWCPropertyValue::text(property(kSourceState)));
    case ChangeCharging:
        if (KLVRRWCPropertyValue::intValue(property(kIsCharging)) == 1)
            return KLVRFormat::string(general(QStringLiteral("Started charging '%@' from '%@'")), name,
                                      KLVRRWCPropertyValue::text(property(kSourceState)));
        return KLVRFormat::string(general(QStringLiteral("Stopped charging '%@'")), name);
    case ChangeLevel: {
        QString direction = QStringLiteral("at");
        if (const auto *older = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(next()))
            direction = percentageCharged() - older->percentageCharged() > 0 ? QStringLiteral("up to") : QStringLiteral("down to");
        return KLVRFormat::string(general(QStringLiteral("'%@' %@ %d%% capacity")), name, general(direction), percentageCharged());
    }
    default:
        return KLVRRWCLogEntry::computeSummary();
    }
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
    // The battery's wear, where UPower reports it: full capacity as a share of the design's.
    const QVariant health = property(QStringLiteral("Health"));
    if (health.isValid() && KLVRRWCPropertyValue::doubleValue(health) > 0.0)
        device.insert(general(QStringLiteral("Health")),
                      KLVRFormat::localizedString(QStringLiteral("%.1f%%"), KLVRRWCPropertyValue::doubleValue(health)));
    addPropertyWithKey(QStringLiteral("Charge Cycles"), device);
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
                                                                       KLVRRWCPropertyDictionary properties) const
{
    return std::make_unique<KLVRRWCLogEntryPowerStatus>(date, event, monitor, std::move(properties));
}

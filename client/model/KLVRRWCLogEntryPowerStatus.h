// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLogEntry.h"

// A change of one power source (battery, UPS): presence, power source state, charging or level.
// One group per source ("<monitor> - <Name>").
class KLVRRWCLogEntryPowerStatus : public KLVRRWCLogEntry
{
public:
    // What changed at this entry.
    enum Change : qint32 {
        ChangeUnknown = 0,     // not yet worked out
        ChangeCharging = 1,    // "Is Charging" changed
        ChangePresence = 2,    // "Is Present" changed
        ChangeLevel = 3,       // only the level (or other properties) changed
        ChangeSourceState = 4, // "Power Source State" changed
    };

    KLVRRWCLogEntryPowerStatus(KLVRAbsoluteTime date, const QString &event, const QString &monitor, const QVariantMap &properties);
    KLVRRWCLogEntryPowerStatus(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                               KLVRRWCPropertyDictionary properties);

    QString group() const override;
    void awakeFromLog() override;
    void initAttributes() override;
    // Same presence, charging, source state and level, or equal properties; no time limit.
    bool isLike(const KLVRRWCLogEntry &entry) const override;

    qint32 change() const { return m_change; }
    void setChange(qint32 change) { m_change = change; }
    // "Current Capacity" x "Max Capacity" / 100, in single precision, truncated; missing reads 0.
    qint32 percentageCharged() const { return m_percentageCharged; }
    // Whether "Is Present" is 1.
    bool connected() const { return stateForPropertyKey(QStringLiteral("Is Present")); }
    bool stateForPropertyKey(const QString &key) const;
    // Yes unless other has a value for key equal to this entry's; no other counts as a change.
    bool didPropertyKeyChangeSinceEntry(const QString &key, const KLVRRWCLogEntry *other) const;
    // The nearest older entry of the same source with the same change, for changes 1, 2 and 4.
    void initPairing();
    // Adds the property under its translated key when present.
    void addPropertyWithKey(const QString &key, QVariantMap &dictionary) const;
    // Adds a minutes property as a KLVRRWCDuration under its translated key when at least 1.
    void addDurationPropertyWithKey(const QString &key, QVariantMap &dictionary) const;

protected:
    QString computeSummary() const override;
    std::unique_ptr<KLVRRWCLogEntry> makeEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                               KLVRRWCPropertyDictionary properties) const override;

private:
    qint32 computePercentageCharged() const;

    qint32 m_change = ChangeUnknown;
    // Worked out once: the log compares it with every newer entry of the source.
    qint32 m_percentageCharged = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRChargeDelta.h"

#include <QString>
#include <QVariantMap>

// The charge history of one named battery over an interval: lowest, average and highest level,
// and how fast the level moved (charging, discharging and both). Copies are independent.
class KLVRRWCBattery
{
public:
    explicit KLVRRWCBattery(const QString &name) : m_name(name) {}
    static KLVRRWCBattery batteryWithName(const QString &name) { return KLVRRWCBattery(name); }

    // One sample of the charge level, percent, taken at the given date.
    void addCapacity(qint32 percent, KLVRAbsoluteTime date);

    bool firstCapacity() const { return m_count == 0; }
    float averageCapacity() const;
    // "maximum:average:minimum" with one decimal each.
    QString description() const;
    // "Minimum", "Average", "Maximum" (float numbers) and, once the level moved, "% Delta":
    // a duration of the mean seconds per percentage point over all steps.
    QVariantMap infoDictionary() const;

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    float maximumCapacity() const { return m_maximumCapacity; }
    void setMaximumCapacity(float value) { m_maximumCapacity = value; }
    float minimumCapacity() const { return m_minimumCapacity; }
    void setMinimumCapacity(float value) { m_minimumCapacity = value; }
    qint32 count() const { return m_count; }
    void setCount(qint32 count) { m_count = count; }
    double totalCapacity() const { return m_totalCapacity; }
    void setTotalCapacity(double value) { m_totalCapacity = value; }
    KLVRAbsoluteTime lastDate() const { return m_lastDate; }
    void setLastDate(KLVRAbsoluteTime date) { m_lastDate = date; }
    float lastCapacity() const { return m_lastCapacity; }
    void setLastCapacity(float value) { m_lastCapacity = value; }
    const KLVRChargeDelta &chargeDelta() const { return m_chargeDelta; }
    void setChargeDelta(const KLVRChargeDelta &delta) { m_chargeDelta = delta; }
    const KLVRChargeDelta &dischargeDelta() const { return m_dischargeDelta; }
    void setDischargeDelta(const KLVRChargeDelta &delta) { m_dischargeDelta = delta; }
    const KLVRChargeDelta &delta() const { return m_delta; }
    void setDelta(const KLVRChargeDelta &delta) { m_delta = delta; }

private:
    QString m_name;
    // Out of the 0-100 range of real samples, so an untouched battery is recognisable.
    float m_maximumCapacity = -1.0f;
    float m_minimumCapacity = 101.0f;
    qint32 m_count = 0;
    double m_totalCapacity = 0.0;
    KLVRAbsoluteTime m_lastDate = KLVRAbsoluteTime::invalid();
    float m_lastCapacity = -1.0f;
    KLVRChargeDelta m_chargeDelta;
    KLVRChargeDelta m_dischargeDelta;
    KLVRChargeDelta m_delta;
};

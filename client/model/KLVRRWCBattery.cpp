// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCBattery.h"

#include "KLVRFormat.h"
#include "KLVRRWCDuration.h"

#include <cmath>

void KLVRRWCBattery::addCapacity(qint32 percent, KLVRAbsoluteTime date)
{
    const float capacity = float(percent);
    if (m_count == 0) {
        m_maximumCapacity = capacity;
        m_minimumCapacity = capacity;
    } else {
        if (capacity > m_maximumCapacity)
            m_maximumCapacity = capacity;
        if (m_minimumCapacity > capacity)
            m_minimumCapacity = capacity;
        const double seconds = date.secondsSince(m_lastDate);
        const float step = m_lastCapacity - capacity;
        if (step > 0)
            m_dischargeDelta.addDelta(step, seconds);
        if (step < 0)
            m_chargeDelta.addDelta(-step, seconds);
        // A step without change still counts its time, so a level that held slows the rate.
        m_delta.addDelta(std::fabs(step), seconds);
    }
    ++m_count;
    m_totalCapacity += capacity;
    m_lastCapacity = capacity;
    m_lastDate = date;
}

float KLVRRWCBattery::averageCapacity() const
{
    if (m_count < 1)
        return 0.0f;
    return float(m_totalCapacity / m_count);
}

QString KLVRRWCBattery::description() const
{
    return KLVRFormat::string(QStringLiteral("%.1f:%.1f:%.1f"), double(m_maximumCapacity), double(averageCapacity()),
                              double(m_minimumCapacity));
}

QVariantMap KLVRRWCBattery::infoDictionary() const
{
    QVariantMap info;
    info.insert(QStringLiteral("Minimum"), m_minimumCapacity);
    info.insert(QStringLiteral("Average"), averageCapacity());
    info.insert(QStringLiteral("Maximum"), m_maximumCapacity);
    if (m_delta.delta() > 0)
        info.insert(QStringLiteral("% Delta"), QVariant::fromValue(KLVRRWCDuration(m_delta.deltaPerMinute())));
    return info;
}

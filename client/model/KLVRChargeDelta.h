// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

// A change of battery charge in percentage points, summed with the seconds it took.
class KLVRChargeDelta
{
public:
    KLVRChargeDelta() = default;
    static KLVRChargeDelta chargeDelta() { return KLVRChargeDelta(); }

    void addDelta(double delta, double timeInterval)
    {
        m_delta += delta;
        m_timeInterval += timeInterval;
    }

    // Seconds per percentage point, despite the name; only meaningful while delta() > 0.
    float deltaPerMinute() const { return float(m_timeInterval / m_delta); }

    double delta() const { return m_delta; }
    void setDelta(double delta) { m_delta = delta; }
    double timeInterval() const { return m_timeInterval; }
    void setTimeInterval(double timeInterval) { m_timeInterval = timeInterval; }

private:
    double m_delta = 0.0;
    double m_timeInterval = 0.0;
};

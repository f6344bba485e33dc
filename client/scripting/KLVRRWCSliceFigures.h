// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCScriptingTypes.h"

#include <QString>

class KLVRRWCLogSlice;

// The figures of a slice at one moment, as scripts and the command line read them: the range,
// its title, and how its time divided between usage and power source states, with each
// battery's minimum, average and maximum charge. Computed once from one fresh selection.
struct KLVRRWCSliceFigures
{
    KLVRAbsoluteTime start = KLVRAbsoluteTime::invalid();
    KLVRAbsoluteTime end = KLVRAbsoluteTime::invalid();
    double duration = 0.0;
    QString title;
    quint32 eventCount = 0;
    KLVRRWCSecondsByName usage;
    KLVRRWCSecondsByName powerSource;
    KLVRRWCBatteryFigures batteries;

    double usageSeconds(const QString &state) const { return usage.value(state, 0.0); }

    static KLVRRWCSliceFigures fromSlice(const KLVRRWCLogSlice &slice);
};

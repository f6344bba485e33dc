// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCSliceFigures.h"

#include "KLVRRWCLogEntrySelection.h"
#include "KLVRRWCLogSlice.h"

KLVRRWCSliceFigures KLVRRWCSliceFigures::fromSlice(const KLVRRWCLogSlice &slice)
{
    KLVRRWCSliceFigures figures;
    figures.start = slice.start();
    figures.end = slice.end();
    figures.duration = slice.duration();
    figures.title = slice.title();
    const QList<KLVRRWCLogEntry *> events = slice.events();
    figures.eventCount = quint32(events.size());
    const std::unique_ptr<KLVRRWCLogEntrySelection> selection = slice.selectionFromEvents(events);
    if (!selection)
        return figures;
    figures.usage = selection->summary();
    figures.powerSource = selection->powerSourceSummary();
    const QMap<QString, KLVRRWCBattery> &batteries = selection->batteries();
    for (auto it = batteries.cbegin(); it != batteries.cend(); ++it) {
        const KLVRRWCBattery &battery = it.value();
        figures.batteries.insert(it.key(), {{QStringLiteral("minimum"), battery.minimumCapacity()},
                                            {QStringLiteral("average"), battery.averageCapacity()},
                                            {QStringLiteral("maximum"), battery.maximumCapacity()}});
    }
    return figures;
}

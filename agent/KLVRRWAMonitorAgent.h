// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAMonitor.h"

// Records the agent's own start and stop: "Starting monitor" and "Stopping monitor", without
// context, under the signature "com.klvr.restwatch".
//
// Creation (first in the controller's monitor list, so its events bracket every other one):
//     new KLVRRWAMonitorAgent(store, controller);
class KLVRRWAMonitorAgent : public KLVRRWAMonitor
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAMonitorAgent)

public:
    static inline const QString Signature = QStringLiteral("com.klvr.restwatch");

    explicit KLVRRWAMonitorAgent(KLVRRWAStore *aStore, QObject *parent = nullptr);

    QString signature() const override { return Signature; }
    void start() override;
    void stop() override;
};

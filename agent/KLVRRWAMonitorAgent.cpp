// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAMonitorAgent.h"

KLVRRWAMonitorAgent::KLVRRWAMonitorAgent(KLVRRWAStore *aStore, QObject *parent)
    : KLVRRWAMonitor(aStore, parent)
{
}

void KLVRRWAMonitorAgent::start()
{
    storeMessage(QStringLiteral("Starting monitor"));
}

void KLVRRWAMonitorAgent::stop()
{
    storeMessage(QStringLiteral("Stopping monitor"));
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAMonitor.h"

#include "KLVRAssertionException.h"
#include "KLVRRWAStore.h"

Q_LOGGING_CATEGORY(lcRWAMonitor, "restwatch.agent.monitor")

KLVRRWAMonitor::KLVRRWAMonitor(KLVRRWAStore *aStore, QObject *parent)
    : QObject(parent)
    , m_store(aStore)
{
    KLVR_PARAMETER_ASSERT(aStore);
}

KLVRRWAMonitor::~KLVRRWAMonitor() = default;

void KLVRRWAMonitor::start()
{
}

void KLVRRWAMonitor::stop()
{
}

void KLVRRWAMonitor::storeMessage(const QString &aMessage, const std::optional<QVariantMap> &context)
{
    storeMessage(aMessage, context, KLVRAbsoluteTime::now());
}

void KLVRRWAMonitor::storeMessage(const QString &aMessage, const std::optional<QVariantMap> &context, KLVRAbsoluteTime time)
{
    if (aMessage.isEmpty())
        KLVRAssertionException::invalidParameter("aMessage", __FILE__, __LINE__);
    m_store->addEntry(aMessage, context, signature(), time);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCHeadlessLog.h"

#include "KLVRBundle.h"
#include "KLVRRWCLogPrinter.h"
#include "KLVRRWClientAppDelegate.h"

namespace {
const QStringList kRangeKeys{QStringLiteral("dateRange"), QStringLiteral("KLVRRWCDateRangeController.duration.date"),
                             QStringLiteral("KLVRRWCDateRangeController.duration.interval")};
}

KLVRRWCHeadlessLog::KLVRRWCHeadlessLog(const QDBusConnection &systemBus, const QDBusConnection &sessionBus)
{
    // The range's settings are copied into defaults of the run's own, which nothing else reads.
    m_defaults = std::make_unique<KLVRUserDefaults>(KLVRBundle::main().bundleIdentifier(),
                                                    m_scratch.filePath(QStringLiteral("defaults.plist")));
    KLVRRWClientAppDelegate::registerDefaults(m_defaults.get());
    KLVRUserDefaults *user = KLVRUserDefaults::standard();
    for (const QString &key : kRangeKeys) {
        const QVariant value = user->value(key);
        if (value.isValid())
            m_defaults->setValue(key, value);
    }

    m_agentController = std::make_unique<KLVRAgentController>(systemBus, sessionBus);
    m_log = std::make_unique<KLVRRWCLog>();
    m_dateRange = std::make_unique<KLVRRWCDateRangeController>(m_defaults.get());
    m_log->setDateRange(m_dateRange.get());
    m_store = std::make_unique<KLVRRWCStore>(systemBus, sessionBus);
    m_store->setAgentController(m_agentController.get());
    m_store->setLogController(m_log.get());
    m_store->awakeFromNib();
    m_slice = std::make_unique<KLVRRWCLogSlice>();
    m_slice->setDateRange(m_dateRange.get());
    m_slice->setLog(m_log.get());
}

KLVRRWCHeadlessLog::~KLVRRWCHeadlessLog()
{
    // The objects go in reverse order of their links.
    m_slice.reset();
    m_store.reset();
    m_log.reset();
    m_dateRange.reset();
}

bool KLVRRWCHeadlessLog::fill(QTextStream &errors)
{
    if (!KLVRRWCLogPrinter(m_store.get(), m_log.get()).fill(errors))
        return false;
    m_dateRange->restoreState();
    return true;
}

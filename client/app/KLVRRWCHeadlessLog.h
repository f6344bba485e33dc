// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentController.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCStore.h"
#include "KLVRUserDefaults.h"

#include <QDBusConnection>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>

// The window's model without the window, for the command line: the agent controller, the log,
// the date range, the store and the visible slice, connected as the window connects them. The
// date range starts from the range the user last chose but keeps its changes to itself, so a
// script never moves what the window will show next.
class KLVRRWCHeadlessLog
{
    Q_DISABLE_COPY(KLVRRWCHeadlessLog)

public:
    KLVRRWCHeadlessLog(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);
    ~KLVRRWCHeadlessLog();

    // Fills the log from the cache and the agent, then restores the remembered range; false,
    // with a message on errors, when there is nothing to read.
    bool fill(QTextStream &errors);

    KLVRRWCLog &log() { return *m_log; }
    KLVRRWCDateRangeController &dateRange() { return *m_dateRange; }
    KLVRRWCLogSlice &slice() { return *m_slice; }
    KLVRRWCStore &store() { return *m_store; }

private:
    QTemporaryDir m_scratch;
    std::unique_ptr<KLVRUserDefaults> m_defaults;
    std::unique_ptr<KLVRAgentController> m_agentController;
    std::unique_ptr<KLVRRWCLog> m_log;
    std::unique_ptr<KLVRRWCDateRangeController> m_dateRange;
    std::unique_ptr<KLVRRWCStore> m_store;
    std::unique_ptr<KLVRRWCLogSlice> m_slice;
};

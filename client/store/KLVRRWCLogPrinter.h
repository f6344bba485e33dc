// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"

#include <QObject>
#include <QPointer>
#include <QTextStream>

// The headless log: fills the log from the cache and then from the agent, as a launch does, and
// prints every entry as one tab-separated line (date, summary, attributes). For users without a
// desktop and for scripts.
class KLVRRWCLogPrinter : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCLogPrinter)

public:
    static constexpr int kPullTimeout = 60 * 1000; // ms for the whole pull, however it is split

    // store and log: connected to each other already (the store's outlets set).
    KLVRRWCLogPrinter(KLVRRWCStore *store, KLVRRWCLog *log, QObject *parent = nullptr);

    // Syncs and prints to output; the process exit code: 0 when something was printed, 1 with
    // a message on errors when neither the cache nor the agent had anything.
    int run(QTextStream &output, QTextStream &errors);
    // Fills the log from the cache and then from the agent; false, with a message on errors,
    // when neither had anything. A message also says when only the cache could be read.
    bool fill(QTextStream &errors);

private:
    QPointer<KLVRRWCStore> m_store;
    QPointer<KLVRRWCLog> m_log;
};

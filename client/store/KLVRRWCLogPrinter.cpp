// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogPrinter.h"

#include "KLVRAgentController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"

#include <QEventLoop>
#include <QTimer>

KLVRRWCLogPrinter::KLVRRWCLogPrinter(KLVRRWCStore *store, KLVRRWCLog *log, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
{
}

int KLVRRWCLogPrinter::run(QTextStream &output, QTextStream &errors)
{
    if (!fill(errors))
        return 1;
    for (const auto &entry : m_log->entries())
        output << entry->stringValue() << '\n';
    output.flush();
    return 0;
}

bool KLVRRWCLogPrinter::fill(QTextStream &errors)
{
    // A damaged or read-only cache is said on stderr as it is found; the printing goes on.
    connect(m_store, &KLVRRWCStore::cacheProblemOccurred, this, [&errors](const QString &message) {
        errors << "restwatch: " << message << '\n';
        errors.flush();
    });
    m_store->syncWithLocalCache();

    bool pulled = false;
    bool answered = false;
    QEventLoop loop;
    connect(m_store, &KLVRRWCStore::pullFinished, &loop, [&](bool success) {
        answered = success;
        pulled = true;
        loop.quit();
    });
    if (m_store->sync()) {
        QTimer::singleShot(kPullTimeout, &loop, &QEventLoop::quit);
        if (!pulled)
            loop.exec();
    }

    if (m_log->count() == 0) {
        const KLVRAgentController *agent = m_store->agentController();
        if (answered)
            errors << "restwatch: no events: the cache is empty and the agent has recorded none yet.\n";
        else if (agent && agent->isInstalled())
            errors << "restwatch: no events: the cache is empty and the agent does not answer ("
                   << agent->localisedState() << ").\n";
        else
            errors << "restwatch: no events: the cache is empty and the agent is not installed.\n";
        errors.flush();
        return false;
    }
    if (pulled && !answered)
        errors << "restwatch: the agent did not answer; only the cached events are used.\n";
    errors.flush();
    return true;
}

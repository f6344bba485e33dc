// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAApplication.h"

#include <QLoggingCategory>
#include <QThread>
#include <exception>
#include <malloc.h>

Q_LOGGING_CATEGORY(lcRWAApplication, "com.klvr.restwatch.agent.application")

KLVRRWAApplication::KLVRRWAApplication(int &argc, char **argv)
    : QCoreApplication(argc, argv)
{
    m_trimTimer.setSingleShot(true);
    m_trimTimer.setInterval(1000);
    connect(&m_trimTimer, &QTimer::timeout, this, [] { malloc_trim(0); });
}

bool KLVRRWAApplication::notify(QObject *receiver, QEvent *event)
{
    // Calls from the bus reach their objects as meta-call events on the main thread.
    if (event->type() == QEvent::MetaCall && QThread::currentThread() == thread())
        m_trimTimer.start();
    try {
        return QCoreApplication::notify(receiver, event);
    } catch (const std::exception &exception) {
        qCCritical(lcRWAApplication, "Uncaught exception in %s (event %d): %s",
                   receiver ? receiver->metaObject()->className() : "?", int(event->type()), exception.what());
    } catch (...) {
        qCCritical(lcRWAApplication, "Uncaught exception in %s (event %d)",
                   receiver ? receiver->metaObject()->className() : "?", int(event->type()));
    }
    return false;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAApplication.h"

#include <QLoggingCategory>
#include <exception>

Q_LOGGING_CATEGORY(lcRWAApplication, "com.klvr.restwatch.agent.application")

KLVRRWAApplication::KLVRRWAApplication(int &argc, char **argv)
    : QCoreApplication(argc, argv)
{
}

bool KLVRRWAApplication::notify(QObject *receiver, QEvent *event)
{
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

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAssertionException.h"

#include <QDebug>
#include <QEvent>
#include <QObject>
#include <exception>

// The client's application object (QApplication for the window, QCoreApplication for the log
// printer) with a floor under the event loop: an exception that a handler lets through is
// logged with the event it came from, and the program keeps running.
template<typename Application>
class KLVRRWCGuardedApplication : public Application
{
public:
    using Application::Application;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return Application::notify(receiver, event);
        } catch (const KLVRAssertionException &exception) {
            report(receiver, event, exception.message());
        } catch (const std::exception &exception) {
            report(receiver, event, QString::fromLocal8Bit(exception.what()));
        } catch (...) {
            report(receiver, event, QStringLiteral("an unknown exception"));
        }
        return false;
    }

private:
    static void report(QObject *receiver, QEvent *event, const QString &what)
    {
        qCritical().noquote()
            << "KLVRRWCGuardedApplication: event" << int(event ? event->type() : 0) << "to" << (receiver ? receiver->metaObject()->className() : "nothing")
            << "failed:" << what;
    }
};

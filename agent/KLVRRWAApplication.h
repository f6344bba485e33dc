// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QCoreApplication>

// The agent's application object: the last floor under every event handler of every thread.
// An exception that a handler let through is logged and the event dropped, so that a fault in
// one request, timer or notice never ends a root daemon that must record the next sleep.
class KLVRRWAApplication : public QCoreApplication
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAApplication)

public:
    KLVRRWAApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

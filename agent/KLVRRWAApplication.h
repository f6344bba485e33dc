// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QCoreApplication>
#include <QTimer>

// The agent's application object: the last floor under every event handler of every thread.
// An exception that a handler let through is logged and the event dropped, so that a fault in
// one request, timer or notice never ends a root daemon that must record the next sleep.
// It also gives the heap back to the system once a burst of calls is over.
class KLVRRWAApplication : public QCoreApplication
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAApplication)

public:
    KLVRRWAApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

private:
    // A second after the last call from the bus the heap is handed back to the system, so that
    // a burst of callers leaves an idle agent as small as before.
    QTimer m_trimTimer;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerError.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QTimer>

// One privileged run of the client's agent program through /usr/bin/pkexec (install, update or
// removal of the system service), without blocking the event loop: pkexec asks for the
// administrator's password once and the program does every privileged step of the action.
// finished() comes exactly once, after the process has really ended; a run that takes longer
// than kTimeout is ended first and reported then.
class KLVRAgentPrivilegedJob : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRAgentPrivilegedJob)

public:
    enum class Action { Install, Update, Remove };
    static constexpr int kTimeout = 10 * 60 * 1000; // ms: the password prompt may wait that long

    KLVRAgentPrivilegedJob(Action action, const QString &agentProgram, const QDBusConnection &systemBus,
                           QObject *parent = nullptr);
    ~KLVRAgentPrivilegedJob() override;

    // Starts the run; finished() may come before this returns control to the event loop when
    // pkexec or polkit are missing, but never from inside start().
    void start();
    Action action() const { return m_action; }

Q_SIGNALS:
    void finished(const KLVRAgentControllerError &error);

private:
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void finish(const KLVRAgentControllerError &error);
    KLVRAgentControllerError failure(const QString &reason) const;
    KLVRAgentControllerError refusal(const QString &reason) const;
    bool isPolkitAvailable() const;

    Action m_action;
    QString m_agentProgram;
    QDBusConnection m_systemBus;
    QProcess m_process;
    QTimer m_timeout;
    bool m_timedOut = false;
    bool m_finished = false;
};

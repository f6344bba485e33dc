// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Runs programs that talk to the window under test (the python3-dbus script beside this file,
// the restwatch program) while this process goes on serving the bus: waiting spins the event
// loop instead of blocking it.
class KLVRScriptingClient
{
public:
    struct Result
    {
        int exitCode = -1;
        QByteArray output;
        QByteArray errors;
        QJsonValue json() const;
    };

    explicit KLVRScriptingClient(const QString &busAddress);

    // Starts the script with the command and its arguments.
    QProcess *startScript(const QStringList &arguments);
    // Starts a program with the bus as the session bus and environment added.
    QProcess *startProgram(const QString &program, const QStringList &arguments,
                           const QProcessEnvironment &environment = {});
    // Waits (up to 60 s) for every process given and collects their results.
    static std::vector<Result> finish(const std::vector<QProcess *> &processes);
    // Starts the script and waits for it.
    Result script(const QStringList &arguments);

private:
    QString m_address;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRScriptingClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

QJsonValue KLVRScriptingClient::Result::json() const
{
    QJsonParseError error;
    // A bare value is wrapped, since a document must be an array or an object.
    const QJsonDocument document = QJsonDocument::fromJson("[" + output + "]", &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonValue(QJsonValue::Undefined);
    return document.array().at(0);
}

KLVRScriptingClient::KLVRScriptingClient(const QString &busAddress)
    : m_address(busAddress)
{
}

QProcess *KLVRScriptingClient::startScript(const QStringList &arguments)
{
    return startProgram(QStringLiteral("/usr/bin/python3"),
                        QStringList{QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/client/scripting/scripting_client.py"),
                                    m_address}
                            + arguments);
}

QProcess *KLVRScriptingClient::startProgram(const QString &program, const QStringList &arguments,
                                            const QProcessEnvironment &environment)
{
    QProcessEnvironment merged = QProcessEnvironment::systemEnvironment();
    merged.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    merged.insert(environment);
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(merged);
    process->start(program, arguments);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

std::vector<KLVRScriptingClient::Result> KLVRScriptingClient::finish(const std::vector<QProcess *> &processes)
{
    const QDeadlineTimer deadline(60000);
    const auto running = [&processes] {
        for (QProcess *process : processes) {
            if (process->state() != QProcess::NotRunning)
                return true;
        }
        return false;
    };
    while (running() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    std::vector<Result> results;
    for (QProcess *process : processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
        Result result;
        result.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
        result.output = process->readAllStandardOutput();
        result.errors = process->readAllStandardError();
        results.push_back(result);
    }
    return results;
}

KLVRScriptingClient::Result KLVRScriptingClient::script(const QStringList &arguments)
{
    return finish({startScript(arguments)}).front();
}

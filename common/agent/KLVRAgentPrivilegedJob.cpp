// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentPrivilegedJob.h"

#include "KLVRAgentControllerInstallMode.h"
#include "KLVRSystemPath.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPrivilegedJob, "restwatch.agentcontroller.privileged")

namespace {
using Error = KLVRAgentControllerError;
using InstallMode = KLVRAgentControllerInstallMode;
}

KLVRAgentPrivilegedJob::KLVRAgentPrivilegedJob(Action action, const QString &agentProgram,
                                               const QDBusConnection &systemBus, QObject *parent)
    : QObject(parent)
    , m_action(action)
    , m_agentProgram(agentProgram)
    , m_systemBus(systemBus)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kTimeout);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_process.terminate();
        QTimer::singleShot(5000, &m_process, [this] { m_process.kill(); });
    });
    connect(&m_process, &QProcess::finished, this, &KLVRAgentPrivilegedJob::processFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(refusal(m_process.errorString()));
    });
}

KLVRAgentPrivilegedJob::~KLVRAgentPrivilegedJob()
{
    // A job ended with its owner leaves no pkexec behind.
    if (m_process.state() != QProcess::NotRunning) {
        m_process.disconnect(this);
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

Error KLVRAgentPrivilegedJob::failure(const QString &reason) const
{
    switch (m_action) {
    case Action::Remove:
        return Error(Error::RemoveSystemJob, reason);
    case Action::Install:
    case Action::Update:
        break;
    }
    return Error(Error::Bless, reason);
}

Error KLVRAgentPrivilegedJob::refusal(const QString &reason) const
{
    return Error(m_action == Action::Remove ? Error::RemoveAuthorization : Error::BlessAuthorization, reason);
}

bool KLVRAgentPrivilegedJob::isPolkitAvailable() const
{
    const QString polkit = QStringLiteral("org.freedesktop.PolicyKit1");
    QDBusConnectionInterface *bus = m_systemBus.isConnected() ? m_systemBus.interface() : nullptr;
    if (!bus)
        return false;
    return bus->isServiceRegistered(polkit).value() || bus->activatableServiceNames().value().contains(polkit);
}

void KLVRAgentPrivilegedJob::start()
{
    const QString launcher = KLVRSystemPath::resolve(QString::fromLatin1(InstallMode::kLauncher));
    if (!QFileInfo(launcher).isExecutable()) {
        QTimer::singleShot(0, this, [this] {
            finish(Error(Error::NoAuthorization, QStringLiteral("Install the Debian package pkexec to install the agent for all users.")));
        });
        return;
    }
    if (!isPolkitAvailable()) {
        QTimer::singleShot(0, this, [this] {
            finish(Error(Error::PolkitMissing, QStringLiteral("Install the Debian package polkitd.")));
        });
        return;
    }
    if (!QFileInfo(m_agentProgram).isExecutable()) {
        QTimer::singleShot(0, this, [this] { finish(failure(QStringLiteral("The agent program is missing: %1").arg(m_agentProgram))); });
        return;
    }
    const char *argument = m_action == Action::Install  ? InstallMode::kArgument
                           : m_action == Action::Update ? InstallMode::kUpdateArgument
                                                        : InstallMode::kRemoveArgument;
    qCInfo(lcPrivilegedJob).noquote() << "running" << launcher << m_agentProgram << argument;
    m_timeout.start();
    m_process.start(launcher, {m_agentProgram, QString::fromLatin1(argument)});
}

void KLVRAgentPrivilegedJob::processFinished(int exitCode, QProcess::ExitStatus status)
{
    m_timeout.stop();
    const QString output = QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
    if (m_timedOut) {
        finish(failure(QStringLiteral("No answer within %1 minutes. %2").arg(kTimeout / 60000).arg(output).trimmed()));
        return;
    }
    if (status != QProcess::NormalExit) {
        finish(failure(output.isEmpty() ? m_process.errorString() : output));
        return;
    }
    switch (exitCode) {
    case InstallMode::kSuccess:
        finish(Error());
        return;
    case InstallMode::kPkexecDismissed:
    case InstallMode::kPkexecNotAuthorized:
        finish(refusal(output));
        return;
    default:
        finish(failure(output));
        return;
    }
}

void KLVRAgentPrivilegedJob::finish(const Error &error)
{
    if (m_finished)
        return;
    m_finished = true;
    Q_EMIT finished(error);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAInstaller.h"

#include "KLVRAgentControllerInstallMode.h"
#include "KLVRSystemPath.h"
#include "KLVRSystemdManager.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcInstaller, "restwatch.installer")

namespace {
const QString kClassName = QStringLiteral("KLVRRWAInstaller");
const QString kAgentName = QStringLiteral("com.klvr.restwatch.agent");
constexpr QFileDevice::Permissions kExecutablePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
    | QFileDevice::ExeOther;
constexpr QFileDevice::Permissions kFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ReadGroup | QFileDevice::ReadOther;

QString systemFolder(const char *folder)
{
    return QString::fromLatin1(folder);
}
} // namespace

KLVRRWAInstaller::KLVRRWAInstaller(const QDBusConnection &systemBus)
    : m_bus(systemBus)
{
}

bool KLVRRWAInstaller::isInstallMode(const QStringList &arguments)
{
    return arguments.size() >= 2 && arguments.at(1) == QLatin1String(KLVRAgentControllerInstallMode::kArgument);
}

QString KLVRRWAInstaller::unitName()
{
    return kAgentName + QStringLiteral(".service");
}

QString KLVRRWAInstaller::installedExecutablePath()
{
    return systemFolder(KLVRAgentControllerInstallMode::kHelperFolder) + QLatin1Char('/') + kAgentName;
}

QString KLVRRWAInstaller::unitPath()
{
    return systemFolder(KLVRAgentControllerInstallMode::kUnitFolder) + QLatin1Char('/') + unitName();
}

QString KLVRRWAInstaller::busPolicyPath()
{
    return systemFolder(KLVRAgentControllerInstallMode::kBusPolicyFolder) + QLatin1Char('/') + kAgentName
           + QStringLiteral(".conf");
}

QString KLVRRWAInstaller::polkitActionsPath()
{
    return systemFolder(KLVRAgentControllerInstallMode::kPolkitActionsFolder) + QLatin1Char('/') + kAgentName
           + QStringLiteral(".policy");
}

int KLVRRWAInstaller::run(const QStringList &arguments)
{
    if (arguments.size() != 2 || !isInstallMode(arguments)) {
        qCCritical(lcInstaller).noquote() << "usage:" << QFileInfo(arguments.value(0)).fileName()
                                          << KLVRAgentControllerInstallMode::kArgument;
        return KLVRAgentControllerInstallMode::kUsage;
    }
    QString error;
    // The running program is the one to install, wherever the client keeps it.
    const QString source = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!install(source.isEmpty() ? QCoreApplication::applicationFilePath() : source, &error)) {
        qCCritical(lcInstaller).noquote() << error;
        return KLVRAgentControllerInstallMode::kFailure;
    }
    qCInfo(lcInstaller).noquote() << kClassName << "installed" << installedExecutablePath() << "and started" << unitName();
    return KLVRAgentControllerInstallMode::kSuccess;
}

bool KLVRRWAInstaller::install(const QString &sourceExecutable, QString *error)
{
    return copyExecutable(sourceExecutable, error)
           && writeResource(QStringLiteral(":/installer/") + unitName(), unitPath(), error)
           && writeResource(QStringLiteral(":/installer/") + kAgentName + QStringLiteral(".conf"), busPolicyPath(), error)
           && writeResource(QStringLiteral(":/installer/") + kAgentName + QStringLiteral(".policy"), polkitActionsPath(), error)
           && startUnit(error);
}

bool KLVRRWAInstaller::copyExecutable(const QString &source, QString *error)
{
    const QString target = KLVRSystemPath::resolve(installedExecutablePath());
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile()) {
        *error = QStringLiteral("%1 agent executable not found: %2").arg(kClassName, source);
        return false;
    }
    if (QFileInfo(target).canonicalFilePath() == sourceInfo.canonicalFilePath())
        return true; // reinstalling the installed copy
    const QString folder = QFileInfo(target).path();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("%1 cannot create %2").arg(kClassName, folder);
        return false;
    }
    // Copied beside the target and renamed over it, so that a running agent keeps its old file.
    QTemporaryFile copy(folder + QStringLiteral("/.") + kAgentName + QStringLiteral(".XXXXXX"));
    QFile input(source);
    if (!copy.open() || !input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 cannot copy %2 to %3: %4")
                     .arg(kClassName, source, folder, copy.isOpen() ? input.errorString() : copy.errorString());
        return false;
    }
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(1 << 20);
        if (chunk.isEmpty() || copy.write(chunk) != chunk.size()) {
            *error = QStringLiteral("%1 cannot copy %2: %3").arg(kClassName, source, copy.errorString());
            return false;
        }
    }
    copy.setPermissions(kExecutablePermissions);
    if (!copy.flush() || ::rename(QFile::encodeName(copy.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        *error = QStringLiteral("%1 cannot install %2: %3").arg(kClassName, target, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    copy.setAutoRemove(false);
    return true;
}

bool KLVRRWAInstaller::writeResource(const QString &resource, const QString &systemPath, QString *error)
{
    QFile input(resource);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 resource is missing: %2").arg(kClassName, resource);
        return false;
    }
    const QString target = KLVRSystemPath::resolve(systemPath);
    if (!QDir().mkpath(QFileInfo(target).path())) {
        *error = QStringLiteral("%1 cannot create %2").arg(kClassName, QFileInfo(target).path());
        return false;
    }
    QSaveFile output(target);
    if (!output.open(QIODevice::WriteOnly) || output.write(input.readAll()) < 0
        || !output.setPermissions(kFilePermissions) || !output.commit()) {
        *error = QStringLiteral("%1 cannot write %2: %3").arg(kClassName, target, output.errorString());
        return false;
    }
    return true;
}

bool KLVRRWAInstaller::startUnit(QString *error)
{
    // The bus daemon rereads its policy folder on its own as well; asking is only faster.
    const QDBusMessage reload = m_bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig")));
    if (reload.type() == QDBusMessage::ErrorMessage)
        qCInfo(lcInstaller).noquote() << kClassName << "bus policy reload:" << reload.errorMessage();

    KLVRSystemdManager manager(m_bus);
    if (!manager.enableUnitFiles({unitName()}) || !manager.reload() || !manager.startUnit(unitName())) {
        *error = QStringLiteral("%1 cannot enable and start %2: %3").arg(kClassName, unitName(), manager.lastError().message());
        return false;
    }
    return true;
}

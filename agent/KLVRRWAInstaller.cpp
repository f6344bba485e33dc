// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAInstaller.h"

#include "KLVRAgentControllerInstallMode.h"
#include "KLVRSystemPath.h"
#include "KLVRSystemdManager.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcInstaller, "restwatch.installer")

namespace {
using InstallMode = KLVRAgentControllerInstallMode;
const QString kClassName = QStringLiteral("KLVRRWAInstaller");
const QString kAgentName = QStringLiteral("com.klvr.restwatch.agent");
constexpr QFileDevice::Permissions kExecutablePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
    | QFileDevice::ExeOther;
constexpr QFileDevice::Permissions kFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ReadGroup | QFileDevice::ReadOther;
constexpr int kAgentTimeout = 5000;

QString systemFolder(const char *folder)
{
    return QString::fromLatin1(folder);
}

// The executable of this process: read through /proc, so that a path changed under it cannot
// swap what is installed.
QString selfExecutable()
{
    return KLVRSystemPath::resolve(QStringLiteral("/proc/self/exe"));
}

// The path pkexec was given for this program, as the polkit actions name it.
QString selfPath()
{
    const QString target = QFileInfo(selfExecutable()).symLinkTarget();
    return target.isEmpty() ? selfExecutable() : target;
}

bool removeIfPresent(const QString &systemPath, QStringList *failures)
{
    const QString path = KLVRSystemPath::resolve(systemPath);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    QFile file(path);
    if (file.remove()) {
        qCInfo(lcInstaller).noquote() << kClassName << "removed" << path;
        return true;
    }
    failures->append(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return false;
}
} // namespace

KLVRRWAInstaller::KLVRRWAInstaller(const QDBusConnection &systemBus)
    : m_bus(systemBus)
{
}

KLVRRWAInstaller::Mode KLVRRWAInstaller::modeOf(const QStringList &arguments)
{
    const QString argument = arguments.value(1);
    if (argument == QLatin1String(InstallMode::kArgument))
        return Mode::Install;
    if (argument == QLatin1String(InstallMode::kUpdateArgument))
        return Mode::Update;
    if (argument == QLatin1String(InstallMode::kRemoveArgument))
        return Mode::Remove;
    return Mode::None;
}

QString KLVRRWAInstaller::unitName()
{
    return kAgentName + QStringLiteral(".service");
}

QString KLVRRWAInstaller::installedExecutablePath()
{
    return systemFolder(InstallMode::kHelperFolder) + QLatin1Char('/') + kAgentName;
}

QString KLVRRWAInstaller::unitPath()
{
    return systemFolder(InstallMode::kUnitFolder) + QLatin1Char('/') + unitName();
}

QString KLVRRWAInstaller::busPolicyPath()
{
    return systemFolder(InstallMode::kBusPolicyFolder) + QLatin1Char('/') + kAgentName + QStringLiteral(".conf");
}

QString KLVRRWAInstaller::polkitActionsPath()
{
    return systemFolder(InstallMode::kPolkitActionsFolder) + QLatin1Char('/') + kAgentName + QStringLiteral(".policy");
}

bool KLVRRWAInstaller::makeFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeFolder(parent))
        return false;
    // mkdir's mode is cut by the umask; chmod is not.
    const QByteArray native = QFile::encodeName(clean);
    if (::mkdir(native.constData(), 0755) != 0 && errno != EEXIST)
        return false;
    return ::chmod(native.constData(), 0755) == 0 || QFileInfo(clean).isDir();
}

int KLVRRWAInstaller::run(const QStringList &arguments)
{
    const Mode mode = modeOf(arguments);
    if (arguments.size() != 2 || mode == Mode::None) {
        qCCritical(lcInstaller).noquote() << "usage:" << QFileInfo(arguments.value(0)).fileName()
                                          << InstallMode::kArgument << "|"
                                          << InstallMode::kUpdateArgument << "|"
                                          << InstallMode::kRemoveArgument;
        return KLVRAgentControllerInstallMode::kUsage;
    }
    ::umask(022);
    QString error;
    bool done = false;
    switch (mode) {
    case Mode::Install:
        done = install(selfExecutable(), selfPath(), &error);
        break;
    case Mode::Update:
        done = update(selfExecutable(), selfPath(), &error);
        break;
    case Mode::Remove:
        done = remove(&error);
        break;
    case Mode::None:
        break;
    }
    if (!done) {
        qCCritical(lcInstaller).noquote() << error;
        return KLVRAgentControllerInstallMode::kFailure;
    }
    qCInfo(lcInstaller).noquote() << kClassName << "done:" << arguments.at(1);
    return KLVRAgentControllerInstallMode::kSuccess;
}

bool KLVRRWAInstaller::install(const QString &sourceExecutable, const QString &helperPath, QString *error)
{
    if (!copyExecutable(sourceExecutable, error) || !writeFiles(helperPath, error))
        return false;
    KLVRSystemdManager manager(m_bus);
    if (!manager.reload() || !manager.enableUnitFiles({unitName()}) || !manager.startUnit(unitName())) {
        *error = QStringLiteral("%1 cannot enable and start %2: %3").arg(kClassName, unitName(), manager.lastError().message());
        return false;
    }
    return true;
}

bool KLVRRWAInstaller::update(const QString &sourceExecutable, const QString &helperPath, QString *error)
{
    // The new file replaces the old by a rename, so the running agent keeps its own until
    // systemd's restart job has stopped it; only then does the new one start.
    if (!copyExecutable(sourceExecutable, error) || !writeFiles(helperPath, error))
        return false;
    KLVRSystemdManager manager(m_bus);
    if (!manager.reload() || !manager.enableUnitFiles({unitName()}) || !manager.restartUnit(unitName())) {
        *error = QStringLiteral("%1 cannot restart %2: %3").arg(kClassName, unitName(), manager.lastError().message());
        return false;
    }
    return true;
}

bool KLVRRWAInstaller::remove(QString *error)
{
    KLVRSystemdManager manager(m_bus);
    // Links go while the unit file can still be read; a unit that is already gone has none.
    manager.disableUnitFiles({unitName()});
    if (!askAgentToRemoveFiles())
        qCInfo(lcInstaller).noquote() << kClassName << "the agent did not remove its files; removing them here";
    if (!manager.stopUnit(unitName()) && manager.lastError().name() != QLatin1String("org.freedesktop.systemd1.NoSuchUnit"))
        qCInfo(lcInstaller).noquote() << kClassName << "stopping" << unitName() << "failed:" << manager.lastError().message();

    QStringList failures;
    for (const QString &path : {unitPath(), installedExecutablePath(), busPolicyPath(), polkitActionsPath()})
        removeIfPresent(path, &failures);
    manager.reload();
    reloadBusPolicy();
    if (!failures.isEmpty()) {
        *error = QStringLiteral("%1 cannot remove %2").arg(kClassName, failures.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

bool KLVRRWAInstaller::askAgentToRemoveFiles()
{
    // Root passes the agent's polkit check without a prompt; the form keeps its place in the protocol.
    QByteArray form(KLVRAgentControllerInstallMode::kExternalFormLength, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(form.data()), form.size() / int(sizeof(quint32)));
    QDBusMessage request = QDBusMessage::createMethodCall(kAgentName + QStringLiteral("._service"),
                                                          QStringLiteral("/com/klvr/restwatch/agent"),
                                                          QStringLiteral("com.klvr.restwatch.KLVRAgentServiceProtocol"),
                                                          QStringLiteral("removeAgentFiles"));
    request << form;
    // The system service answers on the system bus; an agent that could not reach it (or runs in
    // a test's tree) on the session bus, when this process has one.
    QList<QDBusConnection> buses{m_bus};
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        buses.append(QDBusConnection::sessionBus());
    for (const QDBusConnection &bus : buses) {
        const QDBusMessage reply = bus.call(request, QDBus::Block, kAgentTimeout);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return reply.arguments().value(0).toBool();
    }
    return false;
}

void KLVRRWAInstaller::reloadBusPolicy()
{
    // The bus daemon rereads its policy folder on its own as well; asking is only faster.
    const QDBusMessage reload = m_bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig")));
    if (reload.type() == QDBusMessage::ErrorMessage)
        qCInfo(lcInstaller).noquote() << kClassName << "bus policy reload:" << reload.errorMessage();
}

bool KLVRRWAInstaller::copyExecutable(const QString &source, QString *error)
{
    const QString target = KLVRSystemPath::resolve(installedExecutablePath());
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists()) {
        *error = QStringLiteral("%1 agent executable not found: %2").arg(kClassName, source);
        return false;
    }
    if (QFileInfo(target).canonicalFilePath() == sourceInfo.canonicalFilePath())
        return true; // reinstalling the installed copy
    const QString folder = QFileInfo(target).path();
    if (!makeFolder(folder)) {
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
    for (;;) {
        const QByteArray chunk = input.read(1 << 20);
        if (chunk.isEmpty())
            break;
        if (copy.write(chunk) != chunk.size()) {
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

bool KLVRRWAInstaller::writeFiles(const QString &helperPath, QString *error)
{
    const QString resources = QStringLiteral(":/installer/") + kAgentName;
    if (!writeResource(resources + QStringLiteral(".service"), unitPath(), helperPath, error)
        || !writeResource(resources + QStringLiteral(".conf"), busPolicyPath(), helperPath, error)
        || !writeResource(resources + QStringLiteral(".policy"), polkitActionsPath(), helperPath, error))
        return false;
    reloadBusPolicy();
    return true;
}

bool KLVRRWAInstaller::writeResource(const QString &resource, const QString &systemPath, const QString &helperPath,
                                     QString *error)
{
    QFile input(resource);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 resource is missing: %2").arg(kClassName, resource);
        return false;
    }
    QByteArray text = input.readAll();
    text.replace(KLVRAgentControllerInstallMode::kHelperPathPlaceholder, helperPath.toHtmlEscaped().toUtf8());
    const QString target = KLVRSystemPath::resolve(systemPath);
    if (!makeFolder(QFileInfo(target).path())) {
        *error = QStringLiteral("%1 cannot create %2").arg(kClassName, QFileInfo(target).path());
        return false;
    }
    QSaveFile output(target);
    if (!output.open(QIODevice::WriteOnly) || output.write(text) < 0 || !output.setPermissions(kFilePermissions)
        || !output.commit()) {
        *error = QStringLiteral("%1 cannot write %2: %3").arg(kClassName, target, output.errorString());
        return false;
    }
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentService.h"

#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRPropertyList.h"
#include "KLVRSystemPath.h"
#include "KLVRUserDefaults.h"
#include "klvragentserviceprotocol_adaptor.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

Q_LOGGING_CATEGORY(lcAgentService, "com.klvr.restwatch.agent.housekeeping")

namespace {

const QString ClassName = QStringLiteral("KLVRAgentService");
const QString JobPathsKey = QStringLiteral("KLVRAgentServiceLaunchdJobPaths");
const QString JobFileExtension = QStringLiteral("service");
// The folder of locally installed units; /etc/systemd stays out of the agent's reach.
const QString ComputerLibrary = QStringLiteral("/usr/local/lib");
const QString FailedError = QStringLiteral("org.freedesktop.DBus.Error.Failed");

const QString PolkitService = QStringLiteral("org.freedesktop.PolicyKit1");
const QString PolkitPath = QStringLiteral("/org/freedesktop/PolicyKit1/Authority");
const QString PolkitInterface = QStringLiteral("org.freedesktop.PolicyKit1.Authority");

void logText(const QString &text)
{
    qCInfo(lcAgentService).noquote() << text;
}

QVariant plistValue(const QVariant &value, int depth = 0);

// D-Bus values inside a variant arrive as QDBusArgument for containers; turn them into the
// property-list types the defaults can store. Structures, descriptors and the like have no
// property-list form and come back invalid.
QVariant plistValueFromArgument(const QDBusArgument &argument, int depth)
{
    if (depth > 16)
        return {};
    switch (argument.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plistValue(argument.asVariant(), depth + 1);
    case QDBusArgument::ArrayType: {
        if (argument.currentSignature() == QLatin1String("ay")) {
            QByteArray bytes;
            argument >> bytes;
            return bytes;
        }
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd()) {
            const QVariant element = plistValue(argument.asVariant(), depth + 1);
            if (!element.isValid()) {
                argument.endArray();
                return {};
            }
            list.append(element);
        }
        argument.endArray();
        return list;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = plistValue(argument.asVariant(), depth + 1);
            const QVariant element = plistValue(argument.asVariant(), depth + 1);
            argument.endMapEntry();
            if (key.typeId() != QMetaType::QString || !element.isValid()) {
                argument.endMap();
                return {};
            }
            map.insert(key.toString(), element);
        }
        argument.endMap();
        return map;
    }
    default:
        return {};
    }
}

QVariant plistValue(const QVariant &value, int depth)
{
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::QByteArray:
        return value;
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::ULongLong:
        // Property lists hold signed integers; larger values keep their digits as text.
        return value.toULongLong() > quint64(std::numeric_limits<qint64>::max()) ? QVariant(value.toString())
                                                                               : QVariant(value.toLongLong());
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString &text : value.toStringList())
            list.append(text);
        return list;
    }
    default:
        break;
    }
    if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        return plistValue(value.value<QDBusVariant>().variant(), depth + 1);
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return plistValueFromArgument(value.value<QDBusArgument>(), depth);
    return {};
}

} // namespace

KLVRAgentService::KLVRAgentService(const QDBusConnection &connection, KLVRUserDefaults *defaults)
    : m_connection(connection)
    , m_defaults(defaults)
{
    m_defaultsTimer.setSingleShot(true);
    connect(&m_defaultsTimer, &QTimer::timeout, this, &KLVRAgentService::writeDefaults);
}

KLVRAgentService::~KLVRAgentService()
{
    writeDefaults();
    if (!m_registered)
        return;
    m_connection.unregisterService(connectionName());
    m_connection.unregisterObject(ObjectPath);
}

std::unique_ptr<KLVRAgentService> KLVRAgentService::create(const QDBusConnection &connection,
                                                           KLVRUserDefaults *defaults)
{
    const QString name = connectionName();
    std::unique_ptr<KLVRAgentService> service(new KLVRAgentService(connection, defaults));
    new KLVRAgentServiceProtocolAdaptor(service.get());
    QDBusConnection bus = connection;
    // The object goes up before the name, so that a caller who sees the name finds the object.
    const bool registered = bus.isConnected() && bus.registerObject(ObjectPath, service.get(), QDBusConnection::ExportAdaptors);
    if (!registered || !bus.registerService(name)) {
        if (registered)
            bus.unregisterObject(ObjectPath);
        logText(KLVRFormat::string("%@ service connection set-up failed: '%@'", ClassName, name));
        return nullptr;
    }
    service->m_registered = true;
    return service;
}

QString KLVRAgentService::connectionName()
{
    const QString identifier = KLVRBundle::main().bundleIdentifier();
    KLVR_ASSERT(!identifier.isEmpty(), KLVRFormat::string("%@ Info.plist is missing a bundle identifier.", ClassName));
    return identifier + QStringLiteral("._service");
}

QString KLVRAgentService::version()
{
    return KLVRBundle::main().version();
}

bool KLVRAgentService::removeAgentFiles(const QByteArray &authorization)
{
    // The size check comes first, so a malformed form never reaches polkit.
    if (authorization.size() != kAuthorizationFormSize || !calledFromDBus())
        return false;
    setDelayedReply(true);
    const QDBusMessage request = message();
    externalAuthorization(authorization, DaemonsModifyRight, request.service(), [this, request](bool granted) {
        QDBusMessage reply;
        try {
            reply = request.createReply(granted && removeAuthorizedAgentFiles());
        } catch (const KLVRAssertionException &exception) {
            reply = request.createErrorReply(FailedError, exception.message());
        }
        m_connection.send(reply);
    });
    return false;
}

bool KLVRAgentService::removeAuthorizedAgentFiles()
{
    if (removeLaunchdJobTickets() == 0) {
        logText(KLVRFormat::string("%@ nothing to do; no matched launchd jobs found.", ClassName));
        return false;
    }
    return removeAgent();
}

void KLVRAgentService::externalAuthorization(const QByteArray &form, const QString &right, const QString &subject,
                                             std::function<void(bool)> done)
{
    if (form.isNull())
        KLVRAssertionException::invalidParameter("inExternalAuthorization", __FILE__, __LINE__);
    if (right.isEmpty())
        KLVRAssertionException::invalidParameter("aRight", __FILE__, __LINE__);
    if (form.size() != kAuthorizationFormSize || subject.isEmpty()) {
        done(false);
        return;
    }

    QDBusArgument subjectArgument;
    subjectArgument.beginStructure();
    subjectArgument << QStringLiteral("system-bus-name")
                    << QVariantMap{{QStringLiteral("name"), QVariant::fromValue(subject)}};
    subjectArgument.endStructure();
    QDBusArgument details;
    details.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    details.endMap();

    QDBusMessage check = QDBusMessage::createMethodCall(PolkitService, PolkitPath, PolkitInterface,
                                                        QStringLiteral("CheckAuthorization"));
    // Flags 0: the caller must already hold the right; the agent never starts an authentication dialog.
    check << QVariant::fromValue(subjectArgument) << right << QVariant::fromValue(details) << quint32(0) << QString();
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(check, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done = std::move(done), right](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        bool granted = false;
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == QLatin1String("(bba{ss})")) {
            const QDBusArgument result = reply.arguments().constFirst().value<QDBusArgument>();
            bool challenge = false;
            result.beginStructure();
            result >> granted >> challenge;
            result.endStructure();
        } else {
            logText(KLVRFormat::string("%@ authorization check for %@ failed: %@", ClassName, right,
                                       reply.errorMessage()));
        }
        done(granted);
    });
}

int KLVRAgentService::removeLaunchdJobTickets()
{
    const QVariant jobPaths = KLVRBundle::main().requiredInfoValue(ClassName, JobPathsKey);
    KLVR_ASSERT(jobPaths.typeId() == QMetaType::QVariantList,
                KLVRFormat::string("%@ Info.plist %@ must be an array.", ClassName, JobPathsKey));
    const QString executable = QFileInfo(KLVRBundle::main().executablePath()).fileName();
    KLVR_ASSERT(!executable.isEmpty(), KLVRFormat::string("%@ invalid bundle executable: %@", ClassName,
                                                          KLVRBundle::main().executablePath()));
    const QString jobFile = executable + QLatin1Char('.') + JobFileExtension;

    int removed = 0;
    for (const QVariant &jobPath : jobPaths.toList()) {
        const QString candidate = QDir::cleanPath(KLVRSystemPath::resolve(ComputerLibrary + jobPath.toString() + jobFile));
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink())
            continue;
        // A link is removed as a link, whatever it points to.
        if (info.isDir() && !info.isSymLink()) {
            logText(KLVRFormat::string("%@ found an unexpected directory: %@", ClassName, candidate));
            continue;
        }
        QFile file(candidate);
        if (file.remove()) {
            logText(KLVRFormat::string("%@ removed launchd job ticket: %@", ClassName, candidate));
            ++removed;
        } else {
            logText(KLVRFormat::string("%@ failed to remove '%@': %@", ClassName, candidate, file.errorString()));
        }
    }
    return removed;
}

bool KLVRAgentService::removeAgent()
{
    const QString executable = KLVRBundle::main().executablePath();
    KLVR_ASSERT(!executable.isEmpty(), KLVRFormat::string("%@ invalid bundle executable: %@", ClassName, executable));
    if (!URLWithinComputerLibrary(executable)) {
        logText(KLVRFormat::string("%@ can not remove agents outside of Library: %@", ClassName, executable));
        return false;
    }
    const QFileInfo info(executable);
    if (info.exists() && !info.isDir()) {
        QFile file(executable);
        if (file.remove())
            return true;
        logText(KLVRFormat::string("%@ agent removed failed: %@", ClassName, file.errorString()));
        return false;
    }
    logText(KLVRFormat::string("%@ agent not removed; it is a directory or missing: %@", ClassName, executable));
    return false;
}

bool KLVRAgentService::URLWithinComputerLibrary(const QString &anAgentURL)
{
    if (anAgentURL.isEmpty())
        KLVRAssertionException::invalidParameter("anAgentURL", __FILE__, __LINE__);
    const QString library = QFileInfo(KLVRSystemPath::resolve(SystemHelperFolder)).canonicalFilePath();
    if (library.isEmpty()) {
        logText(KLVRFormat::string("%@ Library find failed.", ClassName));
        return false;
    }
    const QFileInfo agent(anAgentURL);
    QString resolved = agent.canonicalFilePath();
    if (resolved.isEmpty()) // gone already: compare the path as given
        resolved = QDir::cleanPath(agent.absoluteFilePath());
    // The separator keeps a sibling such as ".../restwatch-old/" outside.
    return resolved.startsWith(library + QLatin1Char('/'));
}

qsizetype KLVRAgentService::storedBytes(const QString &key, const QByteArray &serialized)
{
    return key.toUtf8().size() + serialized.size();
}

void KLVRAgentService::setDefaultsWithDictionary(const QVariantMap &defaults)
{
    KLVRUserDefaults *target = m_defaults ? m_defaults : KLVRUserDefaults::standard();
    if (defaults.size() > kMaxDefaultsPerCall) {
        replyError(QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded"),
                   KLVRFormat::string("%@ takes at most %d values at a time", ClassName, kMaxDefaultsPerCall));
        return;
    }
    // What is stored once the waiting values are written, and what that weighs.
    QVariantMap current = target->persistentValues();
    for (auto it = m_unwrittenDefaults.cbegin(); it != m_unwrittenDefaults.cend(); ++it)
        current.insert(it.key(), it.value());
    qsizetype total = 0;
    for (auto it = current.cbegin(); it != current.cend(); ++it)
        total += storedBytes(it.key(), KLVRPropertyList::write(it.value()));

    QStringList refused;
    QStringList overflow;
    bool changed = false;
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        const QString &key = it.key();
        const QVariant value = plistValue(it.value());
        // Slashes and backslashes would nest the key into groups of the settings file.
        const bool keyOK = !key.isEmpty() && key.size() <= kMaxDefaultKeyLength && !key.contains(QLatin1Char('/'))
                           && !key.contains(QLatin1Char('\\'));
        const QByteArray serialized = value.isValid() ? KLVRPropertyList::write(value) : QByteArray();
        const bool isNew = !current.contains(key);
        if (!keyOK || !value.isValid() || (isNew && current.size() >= kMaxStoredDefaults)
            || serialized.size() > kMaxDefaultValueBytes) {
            refused.append(key.left(kMaxDefaultKeyLength));
            continue;
        }
        const QByteArray old = isNew ? QByteArray() : KLVRPropertyList::write(current.value(key));
        if (!isNew && old == serialized)
            continue; // unchanged: nothing to write
        const qsizetype after = total - (isNew ? 0 : storedBytes(key, old)) + storedBytes(key, serialized);
        if (after > kMaxStoredDefaultsBytes) {
            overflow.append(key.left(kMaxDefaultKeyLength));
            continue;
        }
        total = after;
        current.insert(key, value);
        m_unwrittenDefaults.insert(key, value);
        changed = true;
    }
    if (changed)
        scheduleDefaultsWrite();
    if (!refused.isEmpty()) {
        logText(KLVRFormat::string("%@ ignored defaults: %@", ClassName, refused.join(QStringLiteral(", "))));
        replyError(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                   KLVRFormat::string("%@ ignored defaults without a storable key or value: %@", ClassName,
                                      refused.join(QStringLiteral(", "))));
    } else if (!overflow.isEmpty()) {
        logText(KLVRFormat::string("%@ ignored defaults beyond %d bytes in all: %@", ClassName, kMaxStoredDefaultsBytes,
                                   overflow.join(QStringLiteral(", "))));
        replyError(QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded"),
                   KLVRFormat::string("%@ keeps at most %d bytes of defaults; ignored: %@", ClassName,
                                      kMaxStoredDefaultsBytes, overflow.join(QStringLiteral(", "))));
    }
}

void KLVRAgentService::scheduleDefaultsWrite()
{
    if (m_defaultsTimer.isActive())
        return;
    const qint64 since = m_lastDefaultsWrite.isValid() ? m_lastDefaultsWrite.elapsed() : kDefaultsWriteIntervalMs;
    if (since >= kDefaultsWriteIntervalMs) {
        writeDefaults();
        return;
    }
    m_defaultsTimer.start(int(kDefaultsWriteIntervalMs - since));
}

void KLVRAgentService::writeDefaults()
{
    if (m_unwrittenDefaults.isEmpty())
        return;
    KLVRUserDefaults *target = m_defaults ? m_defaults : KLVRUserDefaults::standard();
    const QVariantMap written = std::exchange(m_unwrittenDefaults, {});
    for (auto it = written.cbegin(); it != written.cend(); ++it)
        target->setValue(it.key(), it.value());
    target->sync();
    m_lastDefaultsWrite.start();
    Q_EMIT defaultsDidChange(written);
}

void KLVRAgentService::replyError(const QString &name, const QString &text)
{
    // One-way callers get no answer; an unrequested reply would only be refused by the bus.
    if (calledFromDBus() && message().isReplyRequired())
        sendErrorReply(name, text);
}

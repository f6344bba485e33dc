// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAMonitorPowerEvent.h"

#include "KLVRRWAIdleTime.h"
#include "KLVRRWAInhibitor.h"
#include "KLVRRWALogindManagerProxy.h"
#include "KLVRRWAProcessList.h"
#include "KLVRRWAStore.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QThread>
#include <exception>
#include <unistd.h>

namespace {

const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLockWhat = QStringLiteral("sleep:shutdown");
const QString kLockWho = QStringLiteral("Rest Watch");
const QString kLockWhy = QStringLiteral("Recording power events");
const QString kLockMode = QStringLiteral("delay");
// logind waits at most InhibitDelayMaxSec (5 s by default) for delay locks: every call made
// while a sleep waits must end well inside that.
constexpr int kLogindTimeoutMs = 1000;
constexpr int kSystemdTimeoutMs = 500;

bool isRestartType(const QString &type)
{
    return type == QLatin1String("reboot") || type == QLatin1String("kexec") || type == QLatin1String("soft-reboot");
}

bool serviceMissing(const QDBusError &error)
{
    return error.type() == QDBusError::ServiceUnknown
           || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

KLVRRWAMonitorPowerEvent::KLVRRWAMonitorPowerEvent(KLVRRWAStore *aStore, const QDBusConnection &bus, QObject *parent)
    : KLVRRWAMonitor(aStore, parent)
    , m_bus(bus)
{
    KLVRRWAInhibitor::registerMetaTypes();
}

KLVRRWAMonitorPowerEvent::~KLVRRWAMonitorPowerEvent()
{
    stop();
}

QString KLVRRWAMonitorPowerEvent::descriptionForMessageType(quint32 messageType)
{
    switch (messageType) {
    case CanDevicePowerOff: return QStringLiteral("Can device power off");
    case DevicePoweringOff: return QStringLiteral("Device powering off");
    case DeviceWillPowerOn: return QStringLiteral("Device will power on");
    case DevicePoweredOn: return QStringLiteral("Device powered on");
    case CanSystemPowerOff: return QStringLiteral("Can system power off");
    case SystemWillPowerOff: return QStringLiteral("System will power off");
    case SystemWillNotPowerOff: return QStringLiteral("System will not power off");
    case CanSystemSleep: return QStringLiteral("Can system sleep");
    case SystemWillSleep: return QStringLiteral("System will sleep");
    case SystemWillNotSleep: return QStringLiteral("System will not sleep");
    case SystemHasPoweredOn: return QStringLiteral("System has powered on");
    case SystemWillRestart: return QStringLiteral("System will restart");
    case SystemWillPowerOn: return QStringLiteral("System will power on");
    }
    return QStringLiteral("Unknown");
}

bool KLVRRWAMonitorPowerEvent::runOnOwnThread(void (KLVRRWAMonitorPowerEvent::*work)())
{
    // The monitor may live on a thread of its own (the agent's sleep path); its proxies and
    // watcher must be made and dropped there.
    QThread *own = thread();
    if (own == QThread::currentThread() || !own->isRunning())
        return false;
    QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
    return true;
}

void KLVRRWAMonitorPowerEvent::start()
{
    if (runOnOwnThread(&KLVRRWAMonitorPowerEvent::start))
        return;
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected()) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: no system bus (%s); power events are not recorded",
                  qPrintable(m_bus.lastError().message()));
        return;
    }
    m_logind = std::make_unique<KLVRRWALogindManagerProxy>(LogindService, kLogindPath, m_bus);
    m_logind->setTimeout(kLogindTimeoutMs);
    connect(m_logind.get(), &KLVRRWALogindManagerProxy::PrepareForSleep, this, &KLVRRWAMonitorPowerEvent::prepareForSleep);
    connect(m_logind.get(), &KLVRRWALogindManagerProxy::PrepareForShutdown, this,
            &KLVRRWAMonitorPowerEvent::prepareForShutdown);
    connect(m_logind.get(), &KLVRRWALogindManagerProxy::PrepareForShutdownWithMetadata, this,
            &KLVRRWAMonitorPowerEvent::prepareForShutdownWithMetadata);

    m_watcher = new QDBusServiceWatcher(LogindService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &KLVRRWAMonitorPowerEvent::logindAppeared);
    takeDelayLock();
}

void KLVRRWAMonitorPowerEvent::stop()
{
    if (runOnOwnThread(&KLVRRWAMonitorPowerEvent::stop))
        return;
    if (!m_started)
        return;
    m_started = false;
    delete m_watcher;
    m_watcher = nullptr;
    m_logind.reset();
    releaseDelayLock();
}

void KLVRRWAMonitorPowerEvent::logindAppeared()
{
    qCInfo(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: systemd-logind is on the bus");
    if (m_started && !holdsDelayLock())
        takeDelayLock();
}

void KLVRRWAMonitorPowerEvent::takeDelayLock()
{
    if (holdsDelayLock() || !m_logind)
        return;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = m_logind->Inhibit(kLockWhat, kLockWho, kLockWhy, kLockMode);
    reply.waitForFinished();
    if (reply.isError()) {
        if (serviceMissing(reply.error()))
            qCWarning(lcRWAMonitor,
                      "KLVRRWAMonitorPowerEvent: systemd-logind is not on the system bus (%s); power events are "
                      "recorded once it appears",
                      qPrintable(reply.error().message()));
        else
            qCWarning(lcRWAMonitor,
                      "KLVRRWAMonitorPowerEvent could not take a delay lock: %s; events are still recorded, but "
                      "the system will not wait for them to be written",
                      qPrintable(reply.error().message()));
        return;
    }
    QDBusUnixFileDescriptor descriptor = reply.value();
    m_lockFd = descriptor.isValid() ? descriptor.takeFileDescriptor() : -1;
    if (m_lockFd < 0) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: logind returned no lock descriptor");
        return;
    }
    Q_EMIT delayLockTaken();
}

void KLVRRWAMonitorPowerEvent::releaseDelayLock()
{
    if (m_lockFd < 0)
        return;
    ::close(m_lockFd);
    m_lockFd = -1;
    Q_EMIT delayLockReleased();
}

namespace {
// A power notification must never end the agent: anything that goes wrong while recording is
// logged and the notification runs on (the lock is still released).
template<typename Work>
void recordGuarded(Work &&work)
{
    try {
        work();
    } catch (const std::exception &exception) {
        qCWarning(lcRWAMonitor, "Catch exception in power notification: %s", exception.what());
    }
}
} // namespace

bool KLVRRWAMonitorPowerEvent::flushStore()
{
    bool written = false;
    recordGuarded([&] {
        written = store()->writePending();
    });
    return written;
}

void KLVRRWAMonitorPowerEvent::writeAndRelease(const QElapsedTimer &since, const char *what)
{
    // The batch goes to disk before the lock: a battery that dies during the sleep must not
    // take the evening's events with it.
    const bool written = flushStore();
    releaseDelayLock();
    m_lastReleaseDelayMs = static_cast<double>(since.nsecsElapsed()) / 1e6;
    // The log's copy into the store file waits until the system no longer does.
    recordGuarded([&] {
        store()->checkpoint();
    });
    if (written)
        qCInfo(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: %s recorded and written in %.1f ms", what, m_lastReleaseDelayMs);
    else
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: %s recorded in %.1f ms but not written: the store cannot "
                                "be written now; the events are held until it can",
                  what, m_lastReleaseDelayMs);
}

void KLVRRWAMonitorPowerEvent::prepareForSleep(bool start)
{
    if (start) {
        QElapsedTimer since;
        since.start();
        recordGuarded([&] {
            bool idle = false;
            QVariantMap context = baseContext(&idle);
            context.insert(QStringLiteral("Inhibitors"), inhibitors());
            if (idle)
                storePowerEvent(CanSystemSleep, context);
            storePowerEvent(SystemWillSleep, context);
        });
        m_wakeCountsBeforeSleep = KLVRRWAWakeSources::snapshot();
        writeAndRelease(since, "sleep");
        return;
    }

    // No lock can be taken while the sleep runs; take the next one as soon as it is over.
    takeDelayLock();
    recordGuarded([&] {
        bool idle = false;
        QVariantMap context = baseContext(&idle);
        const QVariantMap wakeReason = KLVRRWAWakeSources::wakeReason(m_wakeCountsBeforeSleep);
        if (!wakeReason.isEmpty())
            context.insert(QStringLiteral("Wake Reason"), wakeReason);
        storePowerEvent(SystemHasPoweredOn, context);
    });
    m_wakeCountsBeforeSleep.clear();
}

void KLVRRWAMonitorPowerEvent::prepareForShutdownWithMetadata(bool start, const QVariantMap &metadata)
{
    if (start)
        m_shutdownType = metadata.value(QStringLiteral("type")).toString();
}

void KLVRRWAMonitorPowerEvent::prepareForShutdown(bool start)
{
    if (start) {
        QElapsedTimer since;
        since.start();
        recordGuarded([&] {
            bool idle = false;
            QVariantMap context = baseContext(&idle);
            context.insert(QStringLiteral("Inhibitors"), inhibitors());
            storePowerEvent(rebootUnderWay() ? SystemWillRestart : SystemWillPowerOff, context);
        });
        m_shutdownType.clear();
        writeAndRelease(since, "shutdown");
        return;
    }

    m_shutdownType.clear();
    takeDelayLock();
    recordGuarded([&] {
        storePowerEvent(SystemWillNotPowerOff);
    });
}

QVariantMap KLVRRWAMonitorPowerEvent::baseContext(bool *idle) const
{
    const KLVRRWAIdleTime idleTime = KLVRRWAIdleTime::read(m_bus, LogindService);
    *idle = idleTime.idle;
    return {{QStringLiteral("Idle Seconds"), idleTime.seconds}, {QStringLiteral("Processes"), processes()}};
}

void KLVRRWAMonitorPowerEvent::storePowerEvent(quint32 messageType)
{
    bool idle = false;
    storePowerEvent(messageType, baseContext(&idle));
}

void KLVRRWAMonitorPowerEvent::storePowerEvent(quint32 messageType, const QVariantMap &context)
{
    storeMessage(descriptionForMessageType(messageType), context);
}

QStringList KLVRRWAMonitorPowerEvent::processes() const
{
    return KLVRRWAProcessList::names();
}

QVariantList KLVRRWAMonitorPowerEvent::inhibitors() const
{
    QVariantList list;
    if (!m_logind)
        return list;
    QDBusPendingReply<KLVRRWAInhibitorList> reply = m_logind->ListInhibitors();
    reply.waitForFinished();
    if (reply.isError()) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent cannot list inhibitors: %s",
                  qPrintable(reply.error().message()));
        return list;
    }
    const KLVRRWAInhibitorList inhibitors = reply.value();
    for (const KLVRRWAInhibitor &inhibitor : inhibitors) {
        // Our own delay lock is always there and says nothing about this sleep.
        if (inhibitor.who == kLockWho && inhibitor.why == kLockWhy && inhibitor.mode == kLockMode)
            continue;
        list.append(inhibitor.toContext());
    }
    return list;
}

bool KLVRRWAMonitorPowerEvent::rebootUnderWay() const
{
    if (!m_shutdownType.isEmpty())
        return isRestartType(m_shutdownType);

    // Older systemd sends no metadata: a queued reboot, kexec or soft-reboot job tells instead.
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("ListJobs"));
    const QDBusMessage reply = QDBusConnection(m_bus).call(call, QDBus::Block, kSystemdTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()
        || !reply.arguments().constFirst().canConvert<QDBusArgument>())
        return false;
    const QDBusArgument jobs = reply.arguments().constFirst().value<QDBusArgument>();
    if (jobs.currentSignature() != QLatin1String("a(usssoo)"))
        return false;
    bool restart = false;
    jobs.beginArray();
    while (!jobs.atEnd()) {
        uint id = 0;
        QString unit, type, state;
        QDBusObjectPath jobPath, unitPath;
        jobs.beginStructure();
        jobs >> id >> unit >> type >> state >> jobPath >> unitPath;
        jobs.endStructure();
        if (type == QLatin1String("start") && unit.endsWith(QLatin1String(".target"))
            && isRestartType(unit.chopped(7)))
            restart = true;
    }
    jobs.endArray();
    return restart;
}

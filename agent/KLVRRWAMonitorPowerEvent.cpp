// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAMonitorPowerEvent.h"

#include "KLVRRWAIdleTime.h"
#include "KLVRRWAInhibitor.h"
#include "KLVRRWAProcessList.h"
#include "KLVRRWARawBus.h"
#include "KLVRRWAStore.h"

#include <QSocketNotifier>
#include <QThread>
#include <exception>
#include <utility>
#include <unistd.h>

namespace {

const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
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

bool serviceMissing(const QString &errorName)
{
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
           || errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

KLVRRWAMonitorPowerEvent::KLVRRWAMonitorPowerEvent(KLVRRWAStore *aStore, const QString &busAddress, QObject *parent)
    : KLVRRWAMonitor(aStore, parent)
    , m_busAddress(busAddress)
{
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
    auto bus = std::make_unique<KLVRRWARawBus>(m_busAddress);
    const bool subscribed =
        bus->open()
        && bus->addMatch(QStringLiteral("type='signal',sender='%1',path='%2',interface='%3'")
                             .arg(LogindService, kLogindPath, kLogindManager))
        && bus->addMatch(QStringLiteral("type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                                        "member='NameOwnerChanged',arg0='%1'").arg(LogindService));
    if (!subscribed) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: no system bus (%s); power events are not recorded",
                  qPrintable(bus->lastErrorMessage()));
        return;
    }
    m_bus = std::move(bus);
    m_bus->setSignalHandler([this](const QString &interface, const QString &member, const QVariantList &arguments) {
        busSignal(interface, member, arguments);
    });
    // Signals that came in while a call waited are in the connection already, not in the socket.
    m_bus->setWakeUpHandler([this] {
        if (!std::exchange(m_dispatchQueued, true))
            QMetaObject::invokeMethod(this, &KLVRRWAMonitorPowerEvent::dispatchBus, Qt::QueuedConnection);
    });
    m_busNotifier = new QSocketNotifier(m_bus->socket(), QSocketNotifier::Read, this);
    connect(m_busNotifier, &QSocketNotifier::activated, this, &KLVRRWAMonitorPowerEvent::dispatchBus);
    takeDelayLock();
    dispatchBus();
}

void KLVRRWAMonitorPowerEvent::dispatchBus()
{
    m_dispatchQueued = false;
    if (!m_bus)
        return;
    m_bus->dispatch();
    if (!m_bus->isConnected() && m_busNotifier) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent: the system bus went away; power events are not recorded");
        m_busNotifier->setEnabled(false);
    }
}

void KLVRRWAMonitorPowerEvent::busSignal(const QString &interface, const QString &member, const QVariantList &arguments)
{
    if (interface == QLatin1String("org.freedesktop.DBus")) {
        if (member == QLatin1String("NameOwnerChanged") && arguments.value(0).toString() == LogindService
            && !arguments.value(2).toString().isEmpty())
            logindAppeared();
        return;
    }
    if (interface != kLogindManager || arguments.isEmpty() || arguments.constFirst().typeId() != QMetaType::Bool)
        return;
    const bool start = arguments.constFirst().toBool();
    if (member == QLatin1String("PrepareForSleep"))
        prepareForSleep(start);
    else if (member == QLatin1String("PrepareForShutdown"))
        prepareForShutdown(start);
    else if (member == QLatin1String("PrepareForShutdownWithMetadata"))
        prepareForShutdownWithMetadata(start, arguments.value(1).toMap());
}

void KLVRRWAMonitorPowerEvent::stop()
{
    if (runOnOwnThread(&KLVRRWAMonitorPowerEvent::stop))
        return;
    if (!m_started)
        return;
    m_started = false;
    delete m_busNotifier;
    m_busNotifier = nullptr;
    m_bus.reset();
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
    if (holdsDelayLock() || !m_bus)
        return;
    const std::optional<QVariantList> reply = m_bus->call(LogindService, kLogindPath, kLogindManager, QStringLiteral("Inhibit"),
                                                          {kLockWhat, kLockWho, kLockWhy, kLockMode}, kLogindTimeoutMs);
    if (!reply) {
        if (serviceMissing(m_bus->lastErrorName()))
            qCWarning(lcRWAMonitor,
                      "KLVRRWAMonitorPowerEvent: systemd-logind is not on the system bus (%s); power events are "
                      "recorded once it appears",
                      qPrintable(m_bus->lastErrorMessage()));
        else
            qCWarning(lcRWAMonitor,
                      "KLVRRWAMonitorPowerEvent could not take a delay lock: %s; events are still recorded, but "
                      "the system will not wait for them to be written",
                      qPrintable(m_bus->lastErrorMessage()));
        return;
    }
    const QVariant descriptor = reply->value(0);
    m_lockFd = descriptor.typeId() == QMetaType::Int ? descriptor.toInt() : -1;
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
            QVariantList locks;
            QVariantMap context = baseContext(&idle, &locks);
            context.insert(QStringLiteral("Inhibitors"), locks);
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
            QVariantList locks;
            QVariantMap context = baseContext(&idle, &locks);
            context.insert(QStringLiteral("Inhibitors"), locks);
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

QVariantMap KLVRRWAMonitorPowerEvent::baseContext(bool *idle, QVariantList *locks) const
{
    // The questions go to logind together, and the process table is read while it answers.
    const quint32 idleCall = m_bus ? m_bus->send(LogindService, kLogindPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("GetAll"), {kLogindManager}, kLogindTimeoutMs)
                                   : 0;
    const quint32 locksCall = m_bus && locks ? m_bus->send(LogindService, kLogindPath, kLogindManager,
                                                           QStringLiteral("ListInhibitors"), {}, kLogindTimeoutMs)
                                             : 0;
    const QStringList names = processes();

    KLVRRWAIdleTime idleTime;
    const std::optional<QVariantList> reply = m_bus ? m_bus->answer(idleCall) : std::nullopt;
    if (reply && !reply->isEmpty())
        idleTime = KLVRRWAIdleTime::fromProperties(reply->constFirst().toMap());
    else
        qCWarning(lcRWAMonitor, "KLVRRWAIdleTime cannot read the idle hint from logind: %s",
                  qPrintable(m_bus ? m_bus->lastErrorMessage() : QStringLiteral("no system bus")));
    *idle = idleTime.idle;
    if (locks)
        *locks = m_bus ? inhibitors(m_bus->answer(locksCall)) : QVariantList();
    return {{QStringLiteral("Idle Seconds"), idleTime.seconds}, {QStringLiteral("Processes"), names}};
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

QVariantList KLVRRWAMonitorPowerEvent::inhibitors(const std::optional<QVariantList> &reply) const
{
    QVariantList list;
    if (!reply) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerEvent cannot list inhibitors: %s",
                  qPrintable(m_bus ? m_bus->lastErrorMessage() : QStringLiteral("no system bus")));
        return list;
    }
    const QVariantList inhibitors = reply->value(0).toList();
    for (const QVariant &fields : inhibitors) {
        const KLVRRWAInhibitor inhibitor = KLVRRWAInhibitor::fromFields(fields.toList());
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
    if (!m_bus)
        return false;
    const std::optional<QVariantList> reply =
        m_bus->call(QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
                    QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("ListJobs"), {}, kSystemdTimeoutMs);
    if (!reply)
        return false;
    const QVariantList jobs = reply->value(0).toList();
    for (const QVariant &job : jobs) {
        // (id, unit, type, state, job path, unit path)
        const QVariantList fields = job.toList();
        const QString unit = fields.value(1).toString();
        if (fields.value(2).toString() == QLatin1String("start") && unit.endsWith(QLatin1String(".target"))
            && isRestartType(unit.chopped(7)))
            return true;
    }
    return false;
}

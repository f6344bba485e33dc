// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAMonitor.h"
#include "KLVRRWAWakeSources.h"

#include <QElapsedTimer>
#include <QStringList>
#include <memory>
#include <optional>

class KLVRRWARawBus;
class QSocketNotifier;

// Records every sleep, wake, power-off and restart that systemd-logind announces, with the
// user's idle time, the process list and the inhibitor locks of that moment, and holds a delay
// lock ("sleep:shutdown") so that each event is on disk before the machine goes down.
//
// Creation (second in the controller's monitor list), on the system bus:
//     new KLVRRWAMonitorPowerEvent(store, QString(), controller);
// It talks to logind over a libdbus connection of its own (KLVRRWARawBus), read by the thread
// the monitor lives on, never by QtDBus's shared socket thread. In the agent that is a thread
// of its own, so that no caller of the agent's services can hold up a sleep; start() and stop()
// run there.
// Without logind on the bus it logs so, records nothing and takes its lock when logind appears.
class KLVRRWAMonitorPowerEvent : public KLVRRWAMonitor
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAMonitorPowerEvent)

public:
    static inline const QString Signature = QStringLiteral("com.klvr.monitor.watcher.powerevents");
    static inline const QString LogindService = QStringLiteral("org.freedesktop.login1");

    // The system's power message types; logind's signals are translated into them.
    enum MessageType : quint32 {
        CanDevicePowerOff = 0xE0000200,
        DevicePoweringOff = 0xE0000210,
        DeviceWillPowerOn = 0xE0000220,
        DevicePoweredOn = 0xE0000230,
        CanSystemPowerOff = 0xE0000240,
        SystemWillPowerOff = 0xE0000250,
        SystemWillNotPowerOff = 0xE0000260,
        CanSystemSleep = 0xE0000270,
        SystemWillSleep = 0xE0000280,
        SystemWillNotSleep = 0xE0000290,
        SystemHasPoweredOn = 0xE0000300,
        SystemWillRestart = 0xE0000310,
        SystemWillPowerOn = 0xE0000320,
    };

    // busAddress: the bus logind is on; empty for the system bus.
    explicit KLVRRWAMonitorPowerEvent(KLVRRWAStore *aStore, const QString &busAddress = QString(),
                                      QObject *parent = nullptr);
    ~KLVRRWAMonitorPowerEvent() override;

    QString signature() const override { return Signature; }
    // Subscribes to logind's PrepareForSleep/PrepareForShutdown and takes the delay lock.
    void start() override;
    // Unsubscribes and releases the lock.
    void stop() override;

    // The description of a message type; "Unknown" for any other value.
    static QString descriptionForMessageType(quint32 messageType);
    // Records one event with a fresh context ("Idle Seconds", "Processes").
    void storePowerEvent(quint32 messageType);
    // Records one event with the given context.
    void storePowerEvent(quint32 messageType, const QVariantMap &context);
    QStringList processes() const;
    bool holdsDelayLock() const { return m_lockFd >= 0; }
    // How long the last sleep or shutdown waited for this monitor: from logind's signal to the
    // release of the lock, in milliseconds (-1 before the first).
    double lastReleaseDelayMs() const { return m_lastReleaseDelayMs; }

Q_SIGNALS:
    // The delay lock was closed (the sleep or shutdown may proceed) or taken again.
    void delayLockReleased();
    void delayLockTaken();

private:
    void prepareForSleep(bool start);
    void prepareForShutdown(bool start);
    void prepareForShutdownWithMetadata(bool start, const QVariantMap &metadata);
    void logindAppeared();
    // Routes logind's signals and the appearance of its name.
    void busSignal(const QString &interface, const QString &member, const QVariantList &arguments);
    void dispatchBus();
    // "Idle Seconds" and "Processes"; idle receives logind's IdleHint, and locks, when given,
    // the other programs' inhibitor locks.
    QVariantMap baseContext(bool *idle, QVariantList *locks = nullptr) const;
    // The locks in ListInhibitors's answer, without our own.
    QVariantList inhibitors(const std::optional<QVariantList> &reply) const;
    bool rebootUnderWay() const;
    void takeDelayLock();
    void releaseDelayLock();
    // Writes the batch, then releases the lock, and notes how long the system waited.
    void writeAndRelease(const QElapsedTimer &since, const char *what);
    // Writes the queued events, leaving the log's checkpoint for after the release; a failure
    // is logged, never thrown, so the lock still goes.
    // Returns whether they were written.
    bool flushStore();
    // Runs work on the monitor's own thread and waits for it, when that is another running
    // thread; false when the caller is to run it itself.
    bool runOnOwnThread(void (KLVRRWAMonitorPowerEvent::*work)());

    QString m_busAddress;
    std::unique_ptr<KLVRRWARawBus> m_bus;
    QSocketNotifier *m_busNotifier = nullptr;
    bool m_dispatchQueued = false;
    int m_lockFd = -1;
    bool m_started = false;
    QString m_shutdownType; // from PrepareForShutdownWithMetadata, until the next PrepareForShutdown
    KLVRRWAWakeSources::Counts m_wakeCountsBeforeSleep;
    double m_lastReleaseDelayMs = -1;
};

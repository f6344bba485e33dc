// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

class KLVRRWAUPowerProxy;
class QDBusServiceWatcher;

// Records the state of every battery and UPS that UPower knows each time UPower reports a
// change: one "Power state changed" event per source, its context the power-source dictionary
// the client reads ("Name", "Power Source State", "Current Capacity", ...) plus the battery's
// health figures. Notices that arrive together (one PropertiesChanged per property, the AC
// adapter and the battery at once) are coalesced into one snapshot.
//
// Creation (third in the controller's monitor list), on the system bus:
//     new KLVRRWAMonitorPowerSource(store, QDBusConnection::systemBus(), controller);
// Without UPower on the bus it logs so and records power sources once UPower appears.
class KLVRRWAMonitorPowerSource : public KLVRRWAMonitor
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAMonitorPowerSource)

public:
    static inline const QString Signature = QStringLiteral("com.klvr.monitor.watcher.powersource");
    static inline const QString UPowerService = QStringLiteral("org.freedesktop.UPower");
    // How long a burst of notices may take to arrive before the snapshot is taken.
    static constexpr int kCoalesceMs = 100;

    // UPower device types and states.
    enum DeviceType : uint { LinePower = 1, Battery = 2, Ups = 3 };
    enum DeviceState : uint {
        Unknown = 0, Charging = 1, Discharging = 2, Empty = 3, FullyCharged = 4,
        PendingCharge = 5, PendingDischarge = 6,
    };

    KLVRRWAMonitorPowerSource(KLVRRWAStore *aStore, const QDBusConnection &bus, QObject *parent = nullptr);
    ~KLVRRWAMonitorPowerSource() override;

    QString signature() const override { return Signature; }
    void start() override;
    void stop() override;

    // Records the current state of every power source now.
    void storePowerSource();

    // Whether a UPower device (its org.freedesktop.UPower.Device properties) is a power source
    // worth recording: a battery that powers the machine, or a UPS.
    static bool isPowerSource(const QVariantMap &device);
    // The event context for one source. onAC: whether the machine runs on external power, when
    // known; a UPS decides by its own state.
    static QVariantMap describe(const QString &objectPath, const QVariantMap &device, std::optional<bool> onAC);

Q_SIGNALS:
    // One snapshot was recorded (count: events queued).
    void powerSourcesStored(int count);

private Q_SLOTS:
    // Not function-pointer connected: QDBusConnection::connect takes a slot signature, and this
    // is the one way to hear PropertiesChanged from every device path at once.
    void propertiesChanged(const QDBusMessage &message);

private:
    void noticeArrived();
    void deviceRemoved(const QDBusObjectPath &path);
    void upowerAppeared();
    QVariantMap deviceProperties(const QString &objectPath, bool *ok) const;
    std::optional<bool> onBattery() const;

    QDBusConnection m_bus;
    std::unique_ptr<KLVRRWAUPowerProxy> m_upower;
    QDBusServiceWatcher *m_watcher = nullptr;
    QTimer m_coalesce;
    bool m_started = false;
    // Last context recorded per device path, so that a device that goes away is recorded once
    // more as no longer present.
    QHash<QString, QVariantMap> m_lastContexts;
    QStringList m_removed;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAMonitorPowerSource.h"

#include "KLVRRWAUPowerProxy.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <exception>

namespace {

const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDaemonInterface = QStringLiteral("org.freedesktop.UPower");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kUPowerTimeoutMs = 2000;

// Device properties whose change is a change of a power source. UpdateTime, Energy, EnergyRate
// and Voltage move on every poll of an idle battery and would fill the store with repeats.
const QSet<QString> &noticeProperties()
{
    static const QSet<QString> names{
        QStringLiteral("Type"), QStringLiteral("PowerSupply"), QStringLiteral("Online"),
        QStringLiteral("IsPresent"), QStringLiteral("State"), QStringLiteral("Percentage"),
        QStringLiteral("TimeToEmpty"), QStringLiteral("TimeToFull"), QStringLiteral("EnergyFull"),
        QStringLiteral("EnergyFullDesign"), QStringLiteral("ChargeCycles")};
    return names;
}

QString lastPathComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool serviceMissing(const QDBusError &error)
{
    return error.type() == QDBusError::ServiceUnknown
           || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

KLVRRWAMonitorPowerSource::KLVRRWAMonitorPowerSource(KLVRRWAStore *aStore, const QDBusConnection &bus, QObject *parent)
    : KLVRRWAMonitor(aStore, parent)
    , m_bus(bus)
{
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(kCoalesceMs);
    connect(&m_coalesce, &QTimer::timeout, this, &KLVRRWAMonitorPowerSource::storePowerSource);
}

KLVRRWAMonitorPowerSource::~KLVRRWAMonitorPowerSource()
{
    stop();
}

void KLVRRWAMonitorPowerSource::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected()) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerSource: no system bus (%s); power sources are not recorded",
                  qPrintable(m_bus.lastError().message()));
        return;
    }
    m_upower = std::make_unique<KLVRRWAUPowerProxy>(UPowerService, kUPowerPath, m_bus);
    m_upower->setTimeout(kUPowerTimeoutMs);
    connect(m_upower.get(), &KLVRRWAUPowerProxy::DeviceAdded, this, &KLVRRWAMonitorPowerSource::noticeArrived);
    connect(m_upower.get(), &KLVRRWAUPowerProxy::DeviceRemoved, this, &KLVRRWAMonitorPowerSource::deviceRemoved);
    m_bus.connect(UPowerService, QString(), kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                  SLOT(propertiesChanged(QDBusMessage)));
    m_watcher = new QDBusServiceWatcher(UPowerService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &KLVRRWAMonitorPowerSource::upowerAppeared);

    // Learn the sources now (without recording), so that one removed before the first change
    // is still recorded as gone; this is also where a missing UPower shows.
    QDBusPendingReply<QList<QDBusObjectPath>> devices = m_upower->EnumerateDevices();
    devices.waitForFinished();
    if (devices.isError()) {
        if (serviceMissing(devices.error()))
            qCWarning(lcRWAMonitor,
                      "KLVRRWAMonitorPowerSource: UPower is not on the system bus (%s); power sources are "
                      "recorded once it appears",
                      qPrintable(devices.error().message()));
        else
            qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerSource cannot list UPower's devices: %s",
                      qPrintable(devices.error().message()));
        return;
    }
    const std::optional<bool> battery = onBattery();
    const std::optional<bool> ac = battery ? std::optional<bool>(!*battery) : std::nullopt;
    for (const QDBusObjectPath &path : devices.value()) {
        bool ok = false;
        const QVariantMap device = deviceProperties(path.path(), &ok);
        if (ok && isPowerSource(device))
            m_lastContexts.insert(path.path(), describe(path.path(), device, ac));
    }
}

void KLVRRWAMonitorPowerSource::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_coalesce.stop();
    if (m_bus.isConnected())
        m_bus.disconnect(UPowerService, QString(), kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                         SLOT(propertiesChanged(QDBusMessage)));
    delete m_watcher;
    m_watcher = nullptr;
    m_upower.reset();
}

void KLVRRWAMonitorPowerSource::upowerAppeared()
{
    qCInfo(lcRWAMonitor, "KLVRRWAMonitorPowerSource: UPower is on the bus");
    noticeArrived();
}

void KLVRRWAMonitorPowerSource::noticeArrived()
{
    // Not restarted by later notices, so that a steady stream still gives a snapshot per period.
    if (m_started && !m_coalesce.isActive())
        m_coalesce.start();
}

void KLVRRWAMonitorPowerSource::deviceRemoved(const QDBusObjectPath &path)
{
    if (m_lastContexts.contains(path.path()) && !m_removed.contains(path.path()))
        m_removed.append(path.path());
    noticeArrived();
}

void KLVRRWAMonitorPowerSource::propertiesChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString interface = arguments.at(0).toString();
    const QVariantMap changed = qdbus_cast<QVariantMap>(arguments.at(1));
    QStringList names = changed.keys();
    if (arguments.size() > 2)
        names += qdbus_cast<QStringList>(arguments.at(2));

    if (interface == kDaemonInterface) {
        if (names.contains(QStringLiteral("OnBattery")))
            noticeArrived();
        return;
    }
    if (interface != kDeviceInterface || message.path().endsWith(QLatin1String("/DisplayDevice")))
        return;
    for (const QString &name : std::as_const(names)) {
        if (noticeProperties().contains(name)) {
            noticeArrived();
            return;
        }
    }
}

QVariantMap KLVRRWAMonitorPowerSource::deviceProperties(const QString &objectPath, bool *ok) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(UPowerService, objectPath, kPropertiesInterface,
                                                       QStringLiteral("GetAll"));
    call << kDeviceInterface;
    const QDBusMessage reply = QDBusConnection(m_bus).call(call, QDBus::Block, kUPowerTimeoutMs);
    *ok = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    return *ok ? qdbus_cast<QVariantMap>(reply.arguments().constFirst()) : QVariantMap();
}

std::optional<bool> KLVRRWAMonitorPowerSource::onBattery() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(UPowerService, kUPowerPath, kPropertiesInterface,
                                                       QStringLiteral("Get"));
    call << kDaemonInterface << QStringLiteral("OnBattery");
    const QDBusMessage reply = QDBusConnection(m_bus).call(call, QDBus::Block, kUPowerTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return qdbus_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

void KLVRRWAMonitorPowerSource::storePowerSource()
{
    if (!m_upower)
        return;
    QDBusPendingReply<QList<QDBusObjectPath>> devices = m_upower->EnumerateDevices();
    devices.waitForFinished();
    if (devices.isError()) {
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerSource cannot list UPower's devices: %s",
                  qPrintable(devices.error().message()));
        return;
    }

    // One pass to read every device: the AC adapters decide "Power Source State" for batteries.
    QList<QPair<QString, QVariantMap>> sources;
    bool sawLinePower = false;
    bool linePowerOnline = false;
    for (const QDBusObjectPath &path : devices.value()) {
        bool ok = false;
        const QVariantMap device = deviceProperties(path.path(), &ok);
        if (!ok)
            continue;
        if (device.value(QStringLiteral("Type")).toUInt() == LinePower) {
            sawLinePower = true;
            linePowerOnline = linePowerOnline || device.value(QStringLiteral("Online")).toBool();
        } else if (isPowerSource(device)) {
            sources.append({path.path(), device});
        }
    }
    std::optional<bool> onAC;
    if (sawLinePower)
        onAC = linePowerOnline;
    else if (const std::optional<bool> battery = onBattery())
        onAC = !*battery;

    int count = 0;
    QSet<QString> present;
    for (const auto &[path, device] : std::as_const(sources)) {
        const QVariantMap context = describe(path, device, onAC);
        present.insert(path);
        m_lastContexts.insert(path, context);
        try {
            storeMessage(QStringLiteral("Power state changed"), context);
            ++count;
        } catch (const std::exception &exception) {
            qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerSource could not record %s: %s", qPrintable(path),
                      exception.what());
        }
    }
    // A source that went away is recorded once more as no longer present.
    for (const QString &path : std::as_const(m_removed)) {
        if (present.contains(path))
            continue;
        QVariantMap context = m_lastContexts.take(path);
        context.insert(QStringLiteral("Is Present"), false);
        context.insert(QStringLiteral("Is Charging"), false);
        context.insert(QStringLiteral("Is Charged"), false);
        try {
            storeMessage(QStringLiteral("Power state changed"), context);
            ++count;
        } catch (const std::exception &exception) {
            qCWarning(lcRWAMonitor, "KLVRRWAMonitorPowerSource could not record %s: %s", qPrintable(path),
                      exception.what());
        }
    }
    m_removed.clear();
    Q_EMIT powerSourcesStored(count);
}

bool KLVRRWAMonitorPowerSource::isPowerSource(const QVariantMap &device)
{
    const uint type = device.value(QStringLiteral("Type")).toUInt();
    return (type == Battery && device.value(QStringLiteral("PowerSupply")).toBool()) || type == Ups;
}

QVariantMap KLVRRWAMonitorPowerSource::describe(const QString &objectPath, const QVariantMap &device,
                                                std::optional<bool> onAC)
{
    const uint type = device.value(QStringLiteral("Type")).toUInt();
    const uint state = device.value(QStringLiteral("State")).toUInt();
    const QString nativePath = device.value(QStringLiteral("NativePath")).toString();
    const QString model = device.value(QStringLiteral("Model")).toString().trimmed();

    // The kernel's name ("BAT0") is what Linux users know their battery by and is unique.
    QString name = lastPathComponent(nativePath);
    if (name.isEmpty())
        name = model;
    if (name.isEmpty())
        name = lastPathComponent(objectPath);

    QVariantMap context;
    context.insert(QStringLiteral("Name"), name);
    context.insert(QStringLiteral("Type"), type == Ups ? QStringLiteral("UPS") : QStringLiteral("InternalBattery"));
    if (type != Ups)
        context.insert(QStringLiteral("Transport Type"), QStringLiteral("Internal"));
    else if (nativePath.contains(QLatin1String("usb"), Qt::CaseInsensitive)
             || nativePath.contains(QLatin1String("hiddev")))
        context.insert(QStringLiteral("Transport Type"), QStringLiteral("USB"));
    context.insert(QStringLiteral("Is Present"), device.value(QStringLiteral("IsPresent"), true).toBool());
    context.insert(QStringLiteral("Is Charging"), state == Charging);
    context.insert(QStringLiteral("Is Charged"), state == FullyCharged);

    bool external;
    if (type == Ups || !onAC.has_value())
        external = state != Discharging && state != Empty && state != PendingDischarge;
    else
        external = *onAC;
    context.insert(QStringLiteral("Power Source State"),
                   external ? QStringLiteral("AC Power") : QStringLiteral("Battery Power"));

    const double percentage = device.value(QStringLiteral("Percentage")).toDouble();
    context.insert(QStringLiteral("Current Capacity"), static_cast<int>(std::lround(std::clamp(percentage, 0.0, 100.0))));
    context.insert(QStringLiteral("Max Capacity"), 100);
    const qlonglong toEmpty = device.value(QStringLiteral("TimeToEmpty")).toLongLong();
    const qlonglong toFull = device.value(QStringLiteral("TimeToFull")).toLongLong();
    context.insert(QStringLiteral("Time to Empty"), toEmpty > 0 ? toEmpty / 60 : 0);
    context.insert(QStringLiteral("Time to Full Charge"), toFull > 0 ? toFull / 60 : 0);
    context.insert(QStringLiteral("Power Source ID"), static_cast<int>(qChecksum(objectPath.toUtf8())));

    // Battery health, which the client shows as extra attributes.
    const auto insertPositive = [&](const QString &key, const QString &property) {
        const QVariant value = device.value(property);
        if (value.isValid() && value.toDouble() > 0)
            context.insert(key, value.toDouble());
    };
    insertPositive(QStringLiteral("Energy"), QStringLiteral("Energy"));
    insertPositive(QStringLiteral("Energy Full"), QStringLiteral("EnergyFull"));
    insertPositive(QStringLiteral("Energy Full Design"), QStringLiteral("EnergyFullDesign"));
    insertPositive(QStringLiteral("Energy Rate"), QStringLiteral("EnergyRate"));
    insertPositive(QStringLiteral("Voltage"), QStringLiteral("Voltage"));
    const QVariant cycles = device.value(QStringLiteral("ChargeCycles"));
    if (cycles.isValid() && cycles.toInt() >= 0)
        context.insert(QStringLiteral("Charge Cycles"), cycles.toInt());
    const double full = device.value(QStringLiteral("EnergyFull")).toDouble();
    const double design = device.value(QStringLiteral("EnergyFullDesign")).toDouble();
    if (full > 0 && design > 0)
        context.insert(QStringLiteral("Health"), std::round(full / design * 1000.0) / 10.0);
    return context;
}

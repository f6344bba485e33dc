// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The power source monitor against python-dbusmock's upower on a private bus.
#include "KLVRBundle.h"
#include "KLVRRWAMonitorPowerSource.h"
#include "KLVRRWAMonitorTestSupport.h"
#include "KLVRRWAStore.h"
#include "KLVRTestBus.h"

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace KLVRRWAMonitorTestSupport;

namespace {

const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDevice = QStringLiteral("org.freedesktop.UPower.Device");
const QString kSignature = QStringLiteral("com.klvr.monitor.watcher.powersource");
const QString kBattery = QStringLiteral("/org/freedesktop/UPower/devices/battery_BAT0");
const QString kUps = QStringLiteral("/org/freedesktop/UPower/devices/ups_hiddev0");
const QString kAC = QStringLiteral("/org/freedesktop/UPower/devices/line_power_AC");

// The method list of python-dbusmock's AddObject, "a(ssss)"; always empty here.
struct MockMethod
{
    QString name, inSignature, outSignature, code;
};
using MockMethods = QList<MockMethod>;

QDBusArgument &operator<<(QDBusArgument &argument, const MockMethod &method)
{
    argument.beginStructure();
    argument << method.name << method.inSignature << method.outSignature << method.code;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MockMethod &method)
{
    argument.beginStructure();
    argument >> method.name >> method.inSignature >> method.outSignature >> method.code;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(MockMethod)
Q_DECLARE_METATYPE(MockMethods)

class tst_KLVRRWAMonitorPowerSource : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<KLVRTestBus> m_bus;
    std::unique_ptr<KLVRRWAStore> m_store;
    std::unique_ptr<KLVRRWAMonitorPowerSource> m_monitor;
    std::unique_ptr<QSignalSpy> m_snapshots;

    bool startUPower() { return m_bus->startMock(QStringLiteral("upower")); }

    void startMonitor()
    {
        m_monitor = std::make_unique<KLVRRWAMonitorPowerSource>(m_store.get(), m_bus->connection(QStringLiteral("monitor")));
        m_snapshots = std::make_unique<QSignalSpy>(m_monitor.get(), &KLVRRWAMonitorPowerSource::powerSourcesStored);
        m_monitor->start();
    }
    qsizetype snapshots() const { return m_snapshots->count(); }

    void mockCall(const QString &interface, const QString &method, const QVariantList &arguments)
    {
        const QDBusMessage reply = m_bus->call(kUPower, kUPowerPath, interface, method, arguments);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }

    void addDevice(const QString &path, const QVariantMap &properties)
    {
        mockCall(kMock, QStringLiteral("AddObject"), {path, kDevice, properties, QVariant::fromValue(MockMethods())});
        const QDBusMessage added = emitMockSignal(*m_bus, kUPower, kUPowerPath, kUPower, QStringLiteral("DeviceAdded"),
                                                  QStringLiteral("o"), {QVariant::fromValue(QDBusObjectPath(path))});
        QVERIFY2(added.type() == QDBusMessage::ReplyMessage, qPrintable(added.errorMessage()));
    }

    void setDevice(const QString &path, const QVariantMap &properties)
    {
        mockCall(kMock, QStringLiteral("SetDeviceProperties"), {QVariant::fromValue(QDBusObjectPath(path)), properties});
    }

    QVariantMap latestContext(const QString &name)
    {
        const QList<KLVRRWAEvent> events = storedEvents(*m_store, kSignature);
        for (auto it = events.crbegin(); it != events.crend(); ++it) {
            const QVariantMap context = properties(*it);
            if (context.value(QStringLiteral("Name")).toString() == name)
                return context;
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
        QVERIFY(m_dir.isValid());
        qDBusRegisterMetaType<MockMethod>();
        qDBusRegisterMetaType<MockMethods>();
    }

    void init()
    {
        static int run = 0;
        m_bus = std::make_unique<KLVRTestBus>();
        QVERIFY(m_bus->start());
        m_store = std::make_unique<KLVRRWAStore>(m_dir.filePath(QStringLiteral("store-%1.db").arg(++run)));
    }

    void cleanup()
    {
        m_snapshots.reset();
        m_monitor.reset();
        m_store.reset();
        m_bus.reset();
    }

    void eachNoticeRecordsEverySourceOnce_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("AC unplugged") << QStringLiteral("ac") << QStringLiteral("Power Source State") << QVariant(QStringLiteral("Battery Power"));
        QTest::newRow("charge change") << QStringLiteral("charge") << QStringLiteral("Current Capacity") << QVariant(41);
        QTest::newRow("battery starts charging") << QStringLiteral("charging") << QStringLiteral("Is Charging") << QVariant(true);
        QTest::newRow("battery added") << QStringLiteral("added") << QStringLiteral("Name") << QVariant(QStringLiteral("BAT0"));
    }

    void eachNoticeRecordsEverySourceOnce()
    {
        QFETCH(QString, change);
        QFETCH(QString, key);
        QFETCH(QVariant, value);

        QVERIFY(startUPower());
        addDevice(kAC, {{QStringLiteral("Type"), 1u}, {QStringLiteral("PowerSupply"), true}, {QStringLiteral("Online"), true},
                        {QStringLiteral("NativePath"), QStringLiteral("AC")}});
        addDevice(kUps, {{QStringLiteral("Type"), 3u}, {QStringLiteral("NativePath"), QStringLiteral("/dev/usb/hiddev0")},
                         {QStringLiteral("Model"), QStringLiteral("Back-UPS ES 700")}, {QStringLiteral("State"), 4u},
                         {QStringLiteral("IsPresent"), true}, {QStringLiteral("Percentage"), 100.0}});
        // A mouse: a battery that does not power the machine.
        addDevice(QStringLiteral("/org/freedesktop/UPower/devices/mouse_dev"),
                  {{QStringLiteral("Type"), 5u}, {QStringLiteral("PowerSupply"), false}, {QStringLiteral("Percentage"), 20.0}});
        const QVariantMap battery{{QStringLiteral("Type"), 2u}, {QStringLiteral("PowerSupply"), true},
                                  {QStringLiteral("NativePath"), QStringLiteral("BAT0")}, {QStringLiteral("IsPresent"), true},
                                  {QStringLiteral("State"), 4u}, {QStringLiteral("Percentage"), 42.0},
                                  {QStringLiteral("Energy"), 21.0}, {QStringLiteral("EnergyFull"), 50.0},
                                  {QStringLiteral("EnergyFullDesign"), 57.0}, {QStringLiteral("EnergyRate"), 0.0},
                                  {QStringLiteral("Voltage"), 12.1}, {QStringLiteral("ChargeCycles"), 311},
                                  {QStringLiteral("TimeToEmpty"), qlonglong(0)}, {QStringLiteral("TimeToFull"), qlonglong(0)}};
        if (change != QLatin1String("added"))
            addDevice(kBattery, battery);

        startMonitor();
        QTest::qWait(3 * KLVRRWAMonitorPowerSource::kCoalesceMs);
        QCOMPARE(snapshots(), 0); // nothing is recorded until something changes

        if (change == QLatin1String("ac")) {
            // A burst: the adapter, the daemon and the battery each announce their part.
            setDevice(kAC, {{QStringLiteral("Online"), false}});
            mockCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                     {kUPower, QStringLiteral("OnBattery"), QVariant::fromValue(QDBusVariant(true))});
            setDevice(kBattery, {{QStringLiteral("State"), 2u}, {QStringLiteral("TimeToEmpty"), qlonglong(7200)}});
        } else if (change == QLatin1String("charge")) {
            setDevice(kBattery, {{QStringLiteral("Percentage"), 41.2}, {QStringLiteral("Energy"), 20.6}});
        } else if (change == QLatin1String("charging")) {
            setDevice(kBattery, {{QStringLiteral("State"), 1u}});
        } else {
            addDevice(kBattery, battery);
        }

        QTRY_COMPARE(snapshots(), 1);
        QTest::qWait(3 * KLVRRWAMonitorPowerSource::kCoalesceMs);
        QCOMPARE(snapshots(), 1); // the burst gave one snapshot

        const QList<KLVRRWAEvent> events = storedEvents(*m_store, kSignature);
        QCOMPARE(descriptions(events), QStringList(2, QStringLiteral("Power state changed")));
        QStringList names;
        for (const KLVRRWAEvent &event : events)
            names.append(properties(event).value(QStringLiteral("Name")).toString());
        names.sort();
        QCOMPARE(names, QStringList({QStringLiteral("BAT0"), QStringLiteral("hiddev0")}));

        const QVariantMap context = latestContext(QStringLiteral("BAT0"));
        QCOMPARE(context.value(key), value);
        // The keys the client reads, and the health figures, on every battery event.
        for (const char *present : {"Type", "Transport Type", "Is Present", "Is Charging", "Is Charged", "Power Source State",
                                    "Current Capacity", "Max Capacity", "Time to Empty", "Time to Full Charge", "Power Source ID",
                                    "Energy", "Energy Full", "Energy Full Design", "Voltage", "Charge Cycles", "Health"})
            QVERIFY2(context.contains(QLatin1String(present)), present);
        QCOMPARE(context.value(QStringLiteral("Charge Cycles")).toInt(), 311);
        QCOMPARE(context.value(QStringLiteral("Health")).toDouble(), 87.7);
        if (change == QLatin1String("ac"))
            QCOMPARE(context.value(QStringLiteral("Time to Empty")).toInt(), 120);
        // The UPS keeps its own state: it still runs on mains.
        QCOMPARE(latestContext(QStringLiteral("hiddev0")).value(QStringLiteral("Power Source State")).toString(),
                 QStringLiteral("AC Power"));
    }

    void aRemovedSourceIsRecordedAsGone()
    {
        QVERIFY(startUPower());
        addDevice(kBattery, {{QStringLiteral("Type"), 2u}, {QStringLiteral("PowerSupply"), true},
                             {QStringLiteral("NativePath"), QStringLiteral("BAT0")}, {QStringLiteral("IsPresent"), true},
                             {QStringLiteral("State"), 2u}, {QStringLiteral("Percentage"), 64.0}});
        addDevice(kUps, {{QStringLiteral("Type"), 3u}, {QStringLiteral("NativePath"), QStringLiteral("hiddev0")},
                         {QStringLiteral("State"), 4u}, {QStringLiteral("IsPresent"), true}, {QStringLiteral("Percentage"), 100.0}});
        startMonitor();

        mockCall(kMock, QStringLiteral("RemoveDevice"), {QVariant::fromValue(QDBusObjectPath(kBattery))});
        QTRY_COMPARE(snapshots(), 1);
        QCOMPARE(storedEvents(*m_store, kSignature).size(), 2);
        const QVariantMap gone = latestContext(QStringLiteral("BAT0"));
        QCOMPARE(gone.value(QStringLiteral("Is Present")), QVariant(false));
        QCOMPARE(gone.value(QStringLiteral("Current Capacity")).toInt(), 64);
        QCOMPARE(latestContext(QStringLiteral("hiddev0")).value(QStringLiteral("Is Present")), QVariant(true));

        // Gone means gone: the next notice records the UPS alone.
        setDevice(kUps, {{QStringLiteral("Percentage"), 99.0}});
        QTRY_COMPARE(snapshots(), 2);
        QCOMPARE(storedEvents(*m_store, kSignature).size(), 3);
    }

    void noticesThatChangeNothingRecordedAreIgnored()
    {
        QVERIFY(startUPower());
        addDevice(kBattery, {{QStringLiteral("Type"), 2u}, {QStringLiteral("PowerSupply"), true},
                             {QStringLiteral("NativePath"), QStringLiteral("BAT0")}, {QStringLiteral("State"), 4u},
                             {QStringLiteral("Percentage"), 100.0}, {QStringLiteral("UpdateTime"), qulonglong(1)},
                             {QStringLiteral("Voltage"), 12.9}});
        startMonitor();

        // UPower's periodic refresh of an idle, full battery on AC.
        setDevice(kBattery, {{QStringLiteral("UpdateTime"), qulonglong(2)}, {QStringLiteral("Voltage"), 12.8}});
        setDevice(QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice"), {{QStringLiteral("Percentage"), 99.0}});
        QTest::qWait(4 * KLVRRWAMonitorPowerSource::kCoalesceMs);
        QCOMPARE(snapshots(), 0);

        setDevice(kBattery, {{QStringLiteral("Percentage"), 99.0}});
        QTRY_COMPARE(snapshots(), 1);
    }

    void noUPowerIsLoggedAndTheMonitorWaitsForIt()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("UPower is not on the system bus")));
        startMonitor();

        QVERIFY(startUPower());
        QTRY_COMPARE(snapshots(), 1); // UPower's arrival is a change: nothing to record yet
        addDevice(kBattery, {{QStringLiteral("Type"), 2u}, {QStringLiteral("PowerSupply"), true},
                             {QStringLiteral("NativePath"), QStringLiteral("BAT0")}, {QStringLiteral("Percentage"), 77.0}});
        QTRY_COMPARE(snapshots(), 2);
        QCOMPARE(latestContext(QStringLiteral("BAT0")).value(QStringLiteral("Current Capacity")).toInt(), 77);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorPowerSource)
#include "tst_KLVRRWAMonitorPowerSource.moc"

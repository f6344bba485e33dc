// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The real agent binary with its monitors on this machine's /proc and accounting files: on a bus
// without logind and UPower, as on this machine, and on a bus with python-dbusmock's logind and upower.
#include "KLVRAgentProcess.h"
#include "KLVRRWAMonitorTestSupport.h"

#include <QDBusObjectPath>
#include <QtTest>
#include <memory>

using namespace KLVRRWAMonitorTestSupport;

namespace {

const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");

QList<KLVRRWAEvent> eventsOf(KLVRAgentProcess &agent, const QString &monitor)
{
    QList<KLVRRWAEvent> result;
    for (const KLVRRWAEvent &event : agent.events())
        if (event.value(QStringLiteral("monitor")) == monitor)
            result.append(event);
    return result;
}

QStringList descriptionsOf(KLVRAgentProcess &agent, const QString &monitor)
{
    return descriptions(eventsOf(agent, monitor));
}

} // namespace

class tst_KLVRRWAMonitorsInAgent : public QObject
{
    Q_OBJECT

    std::unique_ptr<KLVRTestBus> m_bus;
    std::unique_ptr<KLVRAgentProcess> m_agent;

    bool upower(const QString &method, const QVariantList &arguments)
    {
        return m_bus->call(kUPower, kUPowerPath, kMock, method, arguments).type() == QDBusMessage::ReplyMessage;
    }

private Q_SLOTS:
    void init()
    {
        m_bus = std::make_unique<KLVRTestBus>();
        QVERIFY(m_bus->start());
        m_agent = std::make_unique<KLVRAgentProcess>(*m_bus);
        m_agent->useRealSystem();
    }

    void cleanup()
    {
        m_agent.reset();
        m_bus.reset();
    }

    void withoutLogindAndUPowerTheAgentRunsAndSaysWhatIsMissing()
    {
        QVERIFY(m_agent->start());
        QTRY_VERIFY(descriptionsOf(*m_agent, QStringLiteral("com.klvr.restwatch")).contains(QStringLiteral("Starting monitor")));
        QTRY_COMPARE(descriptionsOf(*m_agent, QStringLiteral("com.klvr.monitor.watcher.last")).count(QStringLiteral("startup")), 1);
        // Still serving a while later: no crash loop for want of system services.
        QTest::qWait(300);
        QCOMPARE(m_agent->process().state(), QProcess::Running);

        QCOMPARE(m_agent->stop(), 0);
        const QString log = m_agent->output();
        QVERIFY2(log.contains(QStringLiteral("systemd-logind is not on the system bus")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("UPower is not on the system bus")), qPrintable(log));
        QCOMPARE(KLVRAgentProcess::storedEvents(m_agent->userStorePath()).last(), QStringLiteral("com.klvr.restwatch|Stopping monitor"));
    }

    void agentRecordsSleepWakeAndPowerSources()
    {
        QVERIFY(startRecordingLogind(*m_bus, m_agent->userStorePath()));
        QVERIFY(m_bus->startMock(QStringLiteral("upower")));
        QVERIFY(upower(QStringLiteral("AddDischargingBattery"),
                       {QStringLiteral("mock_BAT"), QStringLiteral("Mock Battery"), 30.0, qlonglong(1200)}));
        QVERIFY(upower(QStringLiteral("AddChargingBattery"), {QStringLiteral("mock_UPS"), QStringLiteral("Mock UPS"), 80.0, qlonglong(600)}));
        // A UPS is type 3 (the template makes batteries).
        QVERIFY(upower(QStringLiteral("SetDeviceProperties"),
                       {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/freedesktop/UPower/devices/mock_UPS"))),
                        QVariantMap{{QStringLiteral("Type"), 3u}}}));

        QVERIFY(m_agent->start());
        QTRY_VERIFY(descriptionsOf(*m_agent, QStringLiteral("com.klvr.restwatch")).contains(QStringLiteral("Starting monitor")));

        // Sleep: written before the lock went, as logind saw it.
        emitLogind(*m_bus, QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {true});
        QTRY_COMPARE(releaseLog(*m_bus), QList<int>{1});
        emitLogind(*m_bus, QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {false});
        const QString powerEvents = QStringLiteral("com.klvr.monitor.watcher.powerevents");
        QTRY_COMPARE(descriptionsOf(*m_agent, powerEvents),
                     QStringList({QStringLiteral("System will sleep"), QStringLiteral("System has powered on")}));
        const QVariantMap wakeContext = properties(eventsOf(*m_agent, powerEvents).last());
        QVERIFY(wakeContext.value(QStringLiteral("Processes")).toStringList().size() > 1); // the real /proc
        QVERIFY(wakeContext.contains(QStringLiteral("Idle Seconds")));

        // The battery's charge changes: one event for each of the two sources.
        QVERIFY(upower(QStringLiteral("SetDeviceProperties"),
                       {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/freedesktop/UPower/devices/mock_BAT"))),
                        QVariantMap{{QStringLiteral("Percentage"), 29.0}, {QStringLiteral("Energy"), 29.0}}}));
        const QString powerSources = QStringLiteral("com.klvr.monitor.watcher.powersource");
        QTRY_COMPARE(descriptionsOf(*m_agent, powerSources).size(), 2);
        QStringList names;
        for (const KLVRRWAEvent &event : eventsOf(*m_agent, powerSources))
            names.append(properties(event).value(QStringLiteral("Name")).toString());
        names.sort();
        QCOMPARE(names, QStringList({QStringLiteral("Mock Battery"), QStringLiteral("Mock UPS")}));

        QCOMPARE(m_agent->stop(), 0);
        // The lock is gone with the agent.
        QTRY_COMPARE(releaseLog(*m_bus).size(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorsInAgent)
#include "tst_KLVRRWAMonitorsInAgent.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The real agent binary with its monitors: on a bus without logind and UPower, as on this
// machine, and on a bus with python-dbusmock's logind and upower.
#include "KLVRBundle.h"
#include "KLVRRWAMonitorTestSupport.h"
#include "KLVRTestBus.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>
#include <memory>

using namespace KLVRRWAMonitorTestSupport;

namespace {

const QString kAgent = QStringLiteral("com.klvr.restwatch.agent");
const QString kAgentPath = QStringLiteral("/com/klvr/restwatch/agent");
const QString kAgentInterface = QStringLiteral("com.klvr.restwatch.KLVRRWAServiceProtocol");
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

using Event = QMap<QString, QString>;

} // namespace

class tst_KLVRRWAMonitorsInAgent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void withoutLogindAndUPowerTheAgentRunsAndSaysWhatIsMissing();
    void agentRecordsSleepWakeAndPowerSources();

private:
    bool startAgent();
    QList<Event> events();
    QStringList descriptionsOf(const QString &monitor);
    int stopAgent();
    // Power events on disk at each release of a delay lock, as the logind mock saw them.
    QList<int> releaseLog()
    {
        return qdbus_cast<QList<int>>(m_bus->call(kLogind, kLogindPath, kMock, QStringLiteral("ReleaseLog")).arguments().value(0));
    }

    QString m_program;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KLVRTestBus> m_bus;
    std::unique_ptr<QProcess> m_agent;
};

void tst_KLVRRWAMonitorsInAgent::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/agent/Info.plist"));
    m_program = QStringLiteral(RESTWATCH_BINARY_DIR "/agent/com.klvr.restwatch.agent");
    if (!QFileInfo::exists(m_program))
        QSKIP("the agent executable is not built");
}

void tst_KLVRRWAMonitorsInAgent::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bus = std::make_unique<KLVRTestBus>();
    QVERIFY(m_bus->start());
}

void tst_KLVRRWAMonitorsInAgent::cleanup()
{
    if (m_agent && m_agent->state() != QProcess::NotRunning) {
        m_agent->kill();
        m_agent->waitForFinished(5000);
    }
    m_agent.reset();
    m_bus.reset();
    m_dir.reset();
}

bool tst_KLVRRWAMonitorsInAgent::startAgent()
{
    QProcessEnvironment environment = m_bus->environment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
    environment.remove(QStringLiteral("RESTWATCH_SYSROOT"));
    environment.remove(QStringLiteral("JOURNAL_STREAM"));
    m_agent = std::make_unique<QProcess>();
    m_agent->setProcessEnvironment(environment);
    m_agent->start(m_program, {});
    return m_agent->waitForStarted(5000) && m_bus->waitForName(kAgent, 15000);
}

QList<Event> tst_KLVRRWAMonitorsInAgent::events()
{
    const QDBusMessage reply = m_bus->call(kAgent, kAgentPath, kAgentInterface, QStringLiteral("sortedEventsFromDate"),
                                           {std::nan(""), std::nan("")});
    QList<Event> result;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("sortedEventsFromDate: %s", qPrintable(reply.errorMessage()));
        return result;
    }
    const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Event event;
        list >> event;
        result.append(event);
    }
    list.endArray();
    return result;
}

QStringList tst_KLVRRWAMonitorsInAgent::descriptionsOf(const QString &monitor)
{
    QStringList result;
    for (const Event &event : events())
        if (event.value(QStringLiteral("monitor")) == monitor)
            result.append(event.value(QStringLiteral("description")));
    return result;
}

int tst_KLVRRWAMonitorsInAgent::stopAgent()
{
    ::kill(static_cast<pid_t>(m_agent->processId()), SIGTERM);
    if (!m_agent->waitForFinished(10000))
        return -1;
    return m_agent->exitStatus() == QProcess::NormalExit ? m_agent->exitCode() : -1;
}

void tst_KLVRRWAMonitorsInAgent::withoutLogindAndUPowerTheAgentRunsAndSaysWhatIsMissing()
{
    QVERIFY(startAgent());
    QTRY_VERIFY(descriptionsOf(QStringLiteral("com.klvr.restwatch")).contains(QStringLiteral("Starting monitor")));
    QTRY_COMPARE(descriptionsOf(QStringLiteral("com.klvr.monitor.watcher.last")).count(QStringLiteral("startup")), 1);
    // Still serving a while later: no crash loop for want of system services.
    QTest::qWait(300);
    QCOMPARE(m_agent->state(), QProcess::Running);

    QCOMPARE(stopAgent(), 0);
    const QString log = QString::fromUtf8(m_agent->readAllStandardError());
    QVERIFY2(log.contains(QStringLiteral("systemd-logind is not on the system bus")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("UPower is not on the system bus")), qPrintable(log));

    // After the stop, "Stopping monitor" is the last event written.
    KLVRRWAStore store(m_dir->filePath(QStringLiteral("data/restwatch/store.db")));
    const QList<KLVRRWAEvent> stored = storedEvents(store);
    QVERIFY(!stored.isEmpty());
    qlonglong lastId = 0;
    QString lastDescription;
    for (const KLVRRWAEvent &event : stored)
        if (event.value(QStringLiteral("id")).toLongLong() > lastId) {
            lastId = event.value(QStringLiteral("id")).toLongLong();
            lastDescription = event.value(QStringLiteral("description"));
        }
    QCOMPARE(lastDescription, QStringLiteral("Stopping monitor"));
}

void tst_KLVRRWAMonitorsInAgent::agentRecordsSleepWakeAndPowerSources()
{
    QJsonObject parameters{{QStringLiteral("StorePath"), m_dir->filePath(QStringLiteral("data/restwatch/store.db"))}};
    QVERIFY(m_bus->startMock(QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/agent/monitors/logind_recording.py"),
                             QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact))));
    QVERIFY(m_bus->waitForName(kLogind));
    QVERIFY(m_bus->startMock(QStringLiteral("upower")));
    QVERIFY(m_bus->call(kUPower, kUPowerPath, kMock, QStringLiteral("AddDischargingBattery"),
                        {QStringLiteral("mock_BAT"), QStringLiteral("Mock Battery"), 30.0, qlonglong(1200)})
                .type() == QDBusMessage::ReplyMessage);
    QVERIFY(m_bus->call(kUPower, kUPowerPath, kMock, QStringLiteral("AddChargingBattery"),
                        {QStringLiteral("mock_UPS"), QStringLiteral("Mock UPS"), 80.0, qlonglong(600)})
                .type() == QDBusMessage::ReplyMessage);
    // A UPS is type 3 (the template makes batteries).
    QVERIFY(m_bus->call(kUPower, kUPowerPath, kMock, QStringLiteral("SetDeviceProperties"),
                        {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/freedesktop/UPower/devices/mock_UPS"))),
                         QVariantMap{{QStringLiteral("Type"), 3u}}})
                .type() == QDBusMessage::ReplyMessage);

    QVERIFY(startAgent());
    QTRY_VERIFY(descriptionsOf(QStringLiteral("com.klvr.restwatch")).contains(QStringLiteral("Starting monitor")));

    // Sleep: written before the lock went, as logind saw it.
    QVERIFY(emitMockSignal(*m_bus, kLogind, kLogindPath, QStringLiteral("org.freedesktop.login1.Manager"),
                           QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {true})
                .type() == QDBusMessage::ReplyMessage);
    QTRY_COMPARE(releaseLog(), QList<int>{1});

    QVERIFY(emitMockSignal(*m_bus, kLogind, kLogindPath, QStringLiteral("org.freedesktop.login1.Manager"),
                           QStringLiteral("PrepareForSleep"), QStringLiteral("b"), {false})
                .type() == QDBusMessage::ReplyMessage);
    QTRY_COMPARE(descriptionsOf(QStringLiteral("com.klvr.monitor.watcher.powerevents")),
                 QStringList({QStringLiteral("System will sleep"), QStringLiteral("System has powered on")}));
    Event wake;
    for (const Event &event : events())
        if (event.value(QStringLiteral("description")) == QLatin1String("System has powered on"))
            wake = event;
    const QVariantMap wakeContext = KLVRPropertyList::read(wake.value(QStringLiteral("properties")).toUtf8()).toMap();
    QVERIFY(wakeContext.value(QStringLiteral("Processes")).toStringList().size() > 1); // the real /proc
    QVERIFY(wakeContext.contains(QStringLiteral("Idle Seconds")));

    // The battery's charge changes: one event for each of the two sources.
    QVERIFY(m_bus->call(kUPower, kUPowerPath, kMock, QStringLiteral("SetDeviceProperties"),
                        {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/freedesktop/UPower/devices/mock_BAT"))),
                         QVariantMap{{QStringLiteral("Percentage"), 29.0}, {QStringLiteral("Energy"), 29.0}}})
                .type() == QDBusMessage::ReplyMessage);
    QTRY_COMPARE(descriptionsOf(QStringLiteral("com.klvr.monitor.watcher.powersource")).size(), 2);
    QStringList names;
    for (const Event &event : events())
        if (event.value(QStringLiteral("monitor")) == QLatin1String("com.klvr.monitor.watcher.powersource"))
            names.append(KLVRPropertyList::read(event.value(QStringLiteral("properties")).toUtf8())
                             .toMap().value(QStringLiteral("Name")).toString());
    names.sort();
    QCOMPARE(names, QStringList({QStringLiteral("Mock Battery"), QStringLiteral("Mock UPS")}));

    QCOMPARE(stopAgent(), 0);
    // The lock is gone with the agent.
    QTRY_COMPARE(releaseLog().size(), 2);
}

QTEST_GUILESS_MAIN(tst_KLVRRWAMonitorsInAgent)
#include "tst_KLVRRWAMonitorsInAgent.moc"

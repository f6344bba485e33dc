// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Several restwatch programs on one cache, as users run them: the window with `--print-log`
// beside it, loops of `--print-log`, and programs killed in the middle of a pull. None may
// abort, the cache must stay sound, and every event the agent holds must be in it exactly once.
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRCacheTestSupport.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <cmath>
#include <csignal>

using namespace KLVRCacheTestSupport;

class tst_KLVRRWCCacheSharing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void programsSharingTheCacheNeitherAbortNorLoseNorDoubleEvents();
    void aProgramKilledDuringAPullDoublesNothing();

private:
    QString cachePath() const { return m_environment.home() + QStringLiteral("/Documents/Rest Watch.rest-watch-events"); }
    QString storePath() const { return m_environment.dataHome() + QStringLiteral("/restwatch/store.db"); }
    QProcess *startClient(const QStringList &arguments);
    void emitSleepAndWake();
    // Every event the agent holds, as "date|monitor|description", in date order.
    QStringList agentEvents();
    void verifyCacheHoldsTheAgentsEventsOnce();

    KLVRAgentTestEnvironment m_environment;
    QList<QProcess *> m_clients;
};

void tst_KLVRRWCCacheSharing::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_environment.start(false, KLVRTestBus::Limits::System));
}

void tst_KLVRRWCCacheSharing::init()
{
    QVERIFY(m_environment.resetTree());
}

void tst_KLVRRWCCacheSharing::cleanup()
{
    for (QProcess *client : std::as_const(m_clients)) {
        client->kill();
        client->waitForFinished(5000);
        delete client;
    }
    m_clients.clear();
    m_environment.stopAgents();
}

QProcess *tst_KLVRRWCCacheSharing::startClient(const QStringList &arguments)
{
    auto *client = new QProcess;
    QProcessEnvironment environment = m_environment.agentEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    client->setProcessEnvironment(environment);
    client->setStandardOutputFile(QProcess::nullDevice());
    KLVRTestBus::endsWithTheTest(*client);
    client->start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), arguments);
    m_clients.append(client);
    return client;
}

void tst_KLVRRWCCacheSharing::emitSleepAndWake()
{
    for (bool sleeping : {true, false})
        m_environment.call(m_environment.systemBus(), QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"),
                           {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                            QStringLiteral("b"), QVariantList{sleeping}});
}

QStringList tst_KLVRRWCCacheSharing::agentEvents()
{
    // Read through the agent, which writes its batch first; then from its file.
    QDBusMessage read = QDBusMessage::createMethodCall(KLVRAgentTestEnvironment::kAgentName, QStringLiteral("/com/klvr/restwatch/agent"),
                                                       QStringLiteral("com.klvr.restwatch.KLVRRWAServiceProtocol"),
                                                       QStringLiteral("sortedEventsFromDate"));
    read << std::nan("") << std::nan("");
    m_environment.systemConnection().call(read);
    return query(storePath(), "SELECT CAST(date AS TEXT) || '|' || monitor || '|' || description FROM events ORDER BY date, id");
}

void tst_KLVRRWCCacheSharing::verifyCacheHoldsTheAgentsEventsOnce()
{
    QCOMPARE(query(cachePath(), "PRAGMA integrity_check"), QStringList{QStringLiteral("ok")});
    QStringList expected = agentEvents();
    QStringList cached = cachedEvents(cachePath());
    expected.sort();
    cached.sort();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(cached, expected);
}

void tst_KLVRRWCCacheSharing::programsSharingTheCacheNeitherAbortNorLoseNorDoubleEvents()
{
    KLVRTestBus &system = m_environment.systemBus();
    QVERIFY(system.startMock(QStringLiteral("logind")));
    QVERIFY(m_environment.waitForName(system, QStringLiteral("org.freedesktop.login1")));
    QVERIFY(writeAgentStore(storePath(), eventsEveryTenMinutes(KLVRAbsoluteTime::now().seconds() - 86400.0, 144)));
    QVERIFY(m_environment.startAgent());

    QList<int> exitCodes;
    const auto loop = [&](QProcess *&printer) {
        if (printer && printer->state() == QProcess::NotRunning) {
            QCOMPARE(printer->exitStatus(), QProcess::NormalExit);
            exitCodes.append(printer->exitCode());
            printer = nullptr;
        }
        if (!printer)
            printer = startClient({QStringLiteral("--print-log")});
    };
    const auto run = [&](std::chrono::seconds length, QList<QProcess *> printers) {
        QDeadlineTimer deadline(length);
        QDeadlineTimer nextEvent(300);
        while (!deadline.hasExpired()) {
            for (QProcess *&printer : printers)
                loop(printer);
            if (nextEvent.hasExpired()) {
                emitSleepAndWake();
                nextEvent = QDeadlineTimer(300);
            }
            QTest::qWait(50);
        }
        for (QProcess *printer : printers) {
            if (printer) {
                // One that ended during the last wait is no longer running, and waiting for it
                // answers false.
                QVERIFY(printer->state() == QProcess::NotRunning || printer->waitForFinished(60000));
                QCOMPARE(printer->exitStatus(), QProcess::NormalExit);
                exitCodes.append(printer->exitCode());
            }
        }
    };

    // The window, and the printout run again and again beside it.
    QProcess *window = startClient({});
    QVERIFY(window->waitForStarted(10000));
    run(std::chrono::seconds(15), {nullptr});
    // Still running after all of it; SIGTERM then ends it as it ends any Qt window.
    QCOMPARE(window->state(), QProcess::Running);
    window->terminate();
    QVERIFY(window->waitForFinished(10000));

    // Two printouts at once, again and again.
    run(std::chrono::seconds(15), {nullptr, nullptr});

    QVERIFY(exitCodes.size() >= 4);
    for (int code : std::as_const(exitCodes))
        QCOMPARE(code, 0);
    // A last printout takes what the agent wrote since.
    QProcess *last = startClient({QStringLiteral("--print-log")});
    QVERIFY(last->waitForFinished(60000));
    QCOMPARE(last->exitCode(), 0);
    verifyCacheHoldsTheAgentsEventsOnce();
}

void tst_KLVRRWCCacheSharing::aProgramKilledDuringAPullDoublesNothing()
{
    // A store large enough that caching it takes a while: a kill lands before, in and after it.
    QVERIFY(writeAgentStore(storePath(), eventsEveryTenMinutes(KLVRAbsoluteTime::now().seconds() - 40 * 86400.0, 5000, 300)));
    QVERIFY(m_environment.startAgent());
    QRandomGenerator random(1234);
    for (int round = 0; round < 8; ++round) {
        QProcess *printer = startClient({QStringLiteral("--print-log")});
        QVERIFY(printer->waitForStarted(10000));
        QTest::qWait(100 + random.bounded(1500));
        // A printout that already ended has no pid (0), and kill(0) would end this whole process group.
        const pid_t pid = pid_t(printer->processId());
        if (pid > 0)
            ::kill(pid, SIGKILL);
        // waitForFinished() answers false for a program that has ended already.
        QVERIFY(printer->state() == QProcess::NotRunning || printer->waitForFinished(10000));
    }
    QProcess *last = startClient({QStringLiteral("--print-log")});
    QVERIFY(last->waitForFinished(120000));
    QCOMPARE(last->exitCode(), 0);
    verifyCacheHoldsTheAgentsEventsOnce();
}

QTEST_GUILESS_MAIN(tst_KLVRRWCCacheSharing)
#include "tst_KLVRRWCCacheSharing.moc"

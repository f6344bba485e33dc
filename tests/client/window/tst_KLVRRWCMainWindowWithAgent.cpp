// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The real client window against the real agent on private buses: a week recorded earlier (in
// the client's cache) and what the agent adds, shown as a user opens it; and a first launch
// welcoming the user until the agent runs. Both are saved as
// screenshots under screenshots/ next to this test.
#include "KLVRAgentController.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCStore.h"
#include "KLVRRWCWelcomeController.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRUserDefaults.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

class tst_KLVRRWCMainWindowWithAgent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void windowShowsTheWeekTheAgentRecorded();
    void firstLaunchWelcomesUntilTheAgentRuns();
    void withoutADisplayTheProgramPrintsTheLog();

private:
    void openWindow();
    // Saves the window as the user sees it; the path, or an empty text when it failed.
    QString saveScreenshot(const QString &name);

    KLVRAgentTestEnvironment m_environment;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
};

void tst_KLVRRWCMainWindowWithAgent::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(QFile::exists(KLVRAgentTestEnvironment::agentBinary()));
    QVERIFY(m_environment.start(false, KLVRTestBus::Limits::Session));
}

void tst_KLVRRWCMainWindowWithAgent::init()
{
    QVERIFY(m_environment.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
}

void tst_KLVRRWCMainWindowWithAgent::cleanup()
{
    m_window.reset();
    m_delegate.reset();
    m_environment.stopAgents();
}

void tst_KLVRRWCMainWindowWithAgent::openWindow()
{
    m_window = std::make_unique<KLVRRWCMainWindow>(m_environment.systemConnection(), m_environment.sessionConnection());
    m_delegate->setWindow(m_window.get());
    m_window->resize(1100, 720);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_delegate->applicationDidFinishLaunching();
}

QString tst_KLVRRWCMainWindowWithAgent::saveScreenshot(const QString &name)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    return m_window->grab().save(path) ? path : QString();
}

void tst_KLVRRWCMainWindowWithAgent::windowShowsTheWeekTheAgentRecorded()
{
    const QList<QVariantMap> week = KLVRWindowTestSupport::recordedWeek();
    QVERIFY(week.size() > 60);
    {
        // What an earlier run of the client pulled; the agent adds what it recorded since.
        KLVRRWCStore store(m_environment.systemConnection(), m_environment.sessionConnection());
        store.cacheEvents(week);
    }
    QVERIFY(m_environment.startAgent());

    openWindow();
    KLVRRWCLog *log = m_window->log();
    const KLVRAbsoluteTime lastRecorded = KLVRAbsoluteTime::fromText(week.last().value(QStringLiteral("date")).toString());
    QTRY_VERIFY_WITH_TIMEOUT(log->finalDate() > lastRecorded && !m_window->store()->isPulling(), 30000);
    QCOMPARE(log->objectAtIndex(0)->date().toText(), week.first().value(QStringLiteral("date")).toString());
    // The replayed week, then the agent's own start from the pull that followed.
    QCOMPARE(log->pastEntry()->event(), QStringLiteral("Starting monitor"));
    QVERIFY(log->pastEntry()->date() > lastRecorded);

    KLVRAgentController *agent = m_window->agentController();
    QCOMPARE(agent->state(), int(KLVRAgentController::SessionApplication));
    QCOMPARE(m_window->agentStartStopAction()->text(), QStringLiteral("Remove Agent"));
    QCOMPARE(m_window->dateRange()->selectionTag(), int(KLVRRWCDateRangeController::LastSevenDays));
    QVERIFY(m_window->dateRange()->absoluteDuration().equal(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(
        KLVRWindowTestSupport::dayAt(-6), KLVRWindowTestSupport::dayAt(1).addSeconds(-1))));
    QVERIFY(log->countOfVisibleEntries() >= week.size() / 2);

    // No welcome over a filled graph, even after the welcome's first pass.
    KLVRRWCEntriesView *graph = m_window->entriesView();
    QTest::qWait(KLVRRWCWelcomeController::kFirstPassDelay + 200);
    QVERIFY(graph->labelBanner().isEmpty());
    QVERIFY(graph->labelTopLeft().isEmpty());
    QTRY_VERIFY(graph->cell().renderCount() > 0);
    QVERIFY(graph->height() > m_window->tableSlot()->height());

    const QString screenshot = saveScreenshot(QStringLiteral("main-window-week"));
    QVERIFY(!screenshot.isEmpty());
    qInfo("screenshot: %s", qPrintable(screenshot));
}

void tst_KLVRRWCMainWindowWithAgent::firstLaunchWelcomesUntilTheAgentRuns()
{
    // No process table in the tree: no agent of this machine can count as installed.
    const QString processTable = m_environment.sysroot() + QStringLiteral("/proc");
    QVERIFY(QFile::remove(processTable));

    QElapsedTimer clock;
    clock.start();
    openWindow();
    KLVRAgentController *agent = m_window->agentController();
    KLVRRWCEntriesView *graph = m_window->entriesView();
    QCOMPARE(agent->state(), int(KLVRAgentController::NotInstalled));
    QCOMPARE(m_window->agentStartStopAction()->text(), QStringLiteral("Install Agent…"));
    QCOMPARE(m_window->log()->count(), 0);

    QTRY_VERIFY_WITH_TIMEOUT(!graph->labelBanner().isEmpty(), 5000);
    QVERIFY2(clock.elapsed() >= KLVRRWCWelcomeController::kFirstPassDelay - 100, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(graph->labelBanner(), KLVRRWCWelcomeController::label(KLVRRWCWelcomeController::kLabelWelcome));
    QCOMPARE(graph->labelTopLeft(), KLVRRWCWelcomeController::label(KLVRRWCWelcomeController::kLabelClickStart));
    QVERIFY(graph->labelTopLeft().contains(QStringLiteral("Install Agent…")));
    QTest::qWait(100);
    const int paintedWithWelcome = graph->cell().renderCount();
    QVERIFY(paintedWithWelcome > 0);
    const QString screenshot = saveScreenshot(QStringLiteral("main-window-first-launch"));
    QVERIFY(!screenshot.isEmpty());
    qInfo("screenshot: %s", qPrintable(screenshot));

    // The agent starts: the labels go, and the graph is drawn again without them.
    QVERIFY(QFile::link(QStringLiteral("/proc"), processTable));
    QVERIFY(m_environment.startAgent());
    agent->updateState();
    QCOMPARE(agent->state(), int(KLVRAgentController::SessionApplication));
    QVERIFY(graph->labelBanner().isEmpty());
    QVERIFY(graph->labelTopLeft().isEmpty());
    QTRY_VERIFY(graph->cell().renderCount() > paintedWithWelcome);
    QCOMPARE(m_window->agentStartStopAction()->text(), QStringLiteral("Remove Agent"));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->log()->count() > 0, 15000);
    QVERIFY(graph->labelBanner().isEmpty());
}

void tst_KLVRRWCMainWindowWithAgent::withoutADisplayTheProgramPrintsTheLog()
{
    QVERIFY(m_environment.startAgent());
    QProcessEnvironment environment = m_environment.agentEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), {});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QString::fromUtf8(program.readAllStandardError()).contains(QStringLiteral("no display")));
    // The agent's start, as a tab-separated line.
    const QString printed = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(printed.contains(QStringLiteral("\tMonitoring started")), qPrintable(printed));
}

QTEST_MAIN(tst_KLVRRWCMainWindowWithAgent)
#include "tst_KLVRRWCMainWindowWithAgent.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// The agent's command and status in the real window, for each state the agent can be in, and the
// install and error alerts over it. With RESTWATCH_SCREENSHOT_DIR set (run under Xvfb with the
// xcb platform), every step is also saved as a picture of the whole screen.
#include "KLVRAgentController.h"
#include "KLVRAgentControllerAlertDialog.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRSessionProcesses.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <csignal>

namespace {

bool writeUnit(const QString &folder)
{
    QDir().mkpath(folder);
    QFile unit(folder + QStringLiteral("/com.klvr.restwatch.agent.service"));
    return unit.open(QIODevice::WriteOnly) && unit.write("[Service]\nExecStart=/bin/true\n") > 0;
}

template<class Dialog>
Dialog *waitFor()
{
    Dialog *found = nullptr;
    (void)QTest::qWaitFor([&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<Dialog *>(widget); dialog && dialog->isVisible())
                found = dialog;
        }
        return found != nullptr;
    }, 20000);
    return found;
}

} // namespace

class tst_KLVRAgentMenu : public QObject
{
    Q_OBJECT

    KLVRAgentTestEnvironment m_environment;
    std::unique_ptr<KLVRRWCMainWindow> m_window;

    void openWindow()
    {
        m_window = std::make_unique<KLVRRWCMainWindow>(m_environment.systemConnection(), m_environment.sessionConnection());
        m_window->agentController()->setEmbeddedAgentPath(KLVRAgentTestEnvironment::agentBinary());
        m_window->resize(980, 560);
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    QMenu *agentMenu() const
    {
        for (QAction *action : m_window->menuBar()->actions()) {
            if (action->text() == QLatin1String("&Agent"))
                return action->menu();
        }
        return nullptr;
    }

    void screenshot(const QString &name)
    {
        const QString folder = qEnvironmentVariable("RESTWATCH_SCREENSHOT_DIR");
        if (folder.isEmpty())
            return;
        QTest::qWait(300);
        QDir().mkpath(folder);
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(folder + QLatin1Char('/') + name + QStringLiteral(".png")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        QVERIFY(m_environment.start());
    }

    void init()
    {
        QVERIFY(m_environment.resetTree());
        KLVRWindowTestSupport::clearUserDefaults();
    }

    void cleanup()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget != m_window.get())
                widget->close();
        }
        m_window.reset();
        m_environment.stopAgents();
    }

    void commandAndStatusFollowEachState_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("enabled");

        QTest::newRow("1 not installed") << "" << "Agent: Not installed" << "Install Agent…" << true;
        QTest::newRow("2 system service") << "system unit,agent" << "Agent: Installed for all users" << "Remove Agent" << true;
        QTest::newRow("3 user service") << "user unit,agent" << "Agent: Installed for this user" << "Remove Agent" << true;
        QTest::newRow("4 session program") << "agent" << "Agent: Running in this session" << "Remove Agent" << true;
        QTest::newRow("6 silent unit") << "user unit" << "Agent: User service installed, not responding"
                                       << "Agent Not Responding…" << true;
        QTest::newRow("6 started elsewhere") << "foreign" << "Agent: Running, started outside Rest Watch"
                                             << "Agent Started Elsewhere" << false;
    }

    void commandAndStatusFollowEachState()
    {
        QFETCH(QString, setup);
        QFETCH(QString, status);
        QFETCH(QString, command);
        QFETCH(bool, enabled);

        const QStringList steps = setup.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (steps.contains(QLatin1String("system unit"))) {
            QVERIFY(writeUnit(m_environment.systemUnitFolder()));
            m_environment.reloadUnits(m_environment.systemBus());
        }
        if (steps.contains(QLatin1String("user unit"))) {
            QVERIFY(writeUnit(m_environment.userUnitFolder()));
            m_environment.reloadUnits(m_environment.sessionBus());
        }
        if (steps.contains(QLatin1String("agent")))
            QVERIFY(m_environment.startAgent());
        if (steps.contains(QLatin1String("foreign"))) {
            const QString elsewhere = m_environment.root() + QStringLiteral("/restwatch-agent-elsewhere");
            QVERIFY(QFile::copy(KLVRAgentTestEnvironment::agentBinary(), elsewhere));
            QVERIFY(m_environment.startAgent(elsewhere));
        }
        openWindow();
        const QLabel *label = m_window->findChild<QLabel *>(QStringLiteral("KLVRRWCMainWindow.agentStatus"));
        QVERIFY(label);
        QTRY_COMPARE(label->text(), status);
        QAction *action = m_window->agentStartStopAction();
        QCOMPARE(action->text(), command);
        QCOMPARE(action->isEnabled(), enabled);
        QMenu *menu = agentMenu();
        QVERIFY(menu && menu->actions().contains(action));
        menu->popup(m_window->mapToGlobal(m_window->menuBar()->actionGeometry(menu->menuAction()).bottomLeft()));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        screenshot(QStringLiteral("agent-state-") + QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(' '), 0, 0)
                   + QLatin1Char('-') + QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(' '), 1).replace(QLatin1Char(' '), QLatin1Char('-')));
        menu->hide();

        // A silent unit: the command explains and offers the removal instead of doing nothing.
        if (steps == QStringList{QStringLiteral("user unit")}) {
            action->trigger();
            KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
            QVERIFY(alert);
            QCOMPARE(alert->buttonCount(), 2);
            QCOMPARE(alert->button(0)->text(), QStringLiteral("Remove Agent"));
            QVERIFY(QTest::qWaitForWindowExposed(alert));
            screenshot(QStringLiteral("agent-state-6-silent-explanation"));
            QTest::mouseClick(alert->button(1), Qt::LeftButton);
        }

        // Agent killed while the window is open: the status follows within two seconds.
        if (steps == QStringList{QStringLiteral("agent")}) {
            if (const pid_t target = pid_t(KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName).value(0)); target > 0) // kill(0) would end the whole test run
                ::kill(target, SIGKILL);
            QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Agent: Not installed"), 2000);
            QCOMPARE(action->text(), QStringLiteral("Install Agent…"));
        }
    }

    void installAlertAndErrorAlertOverTheWindow()
    {
        QVERIFY(m_environment.installPkexec(false));
        openWindow();
        m_window->agentStartStopAction()->trigger();
        KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
        QVERIFY(alert);
        QVERIFY(QTest::qWaitForWindowExposed(alert));
        screenshot(QStringLiteral("install-alert"));
        alert->locationButton()->showPopup();
        screenshot(QStringLiteral("install-alert-locations"));
        alert->locationButton()->hidePopup();
        alert->locationButton()->setCurrentIndex(0);
        QTest::mouseClick(alert->button(0), Qt::LeftButton);
        QMessageBox *error = waitFor<QMessageBox>();
        QVERIFY(error);
        QCOMPARE(error->text(), QStringLiteral("pkexec is not installed."));
        QVERIFY(QTest::qWaitForWindowExposed(error));
        screenshot(QStringLiteral("error-alert-pkexec-missing"));
        QTest::mouseClick(error->button(QMessageBox::Ok), Qt::LeftButton);
    }

    // While the password is asked for, the window goes on and shows a busy bar; the refusal ends it.
    void busyBarWhileThePasswordIsAsked()
    {
        QFile pkexec(m_environment.sysroot() + QStringLiteral("/usr/bin/pkexec"));
        QVERIFY(pkexec.open(QIODevice::WriteOnly | QIODevice::Truncate));
        pkexec.write("#!/bin/sh\nsleep 3\necho 'Error executing command as another user: Request dismissed' >&2\nexit 126\n");
        pkexec.close();
        openWindow();
        m_window->resize(790, 480); // the whole status bar on the offscreen screen
        m_window->agentStartStopAction()->trigger();
        KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
        QVERIFY(alert);
        // For all users: the privileged run.
        alert->locationButton()->setCurrentIndex(alert->locationButton()->findData(1));
        QTest::mouseClick(alert->button(0), Qt::LeftButton);

        QProgressBar *bar = nullptr;
        QTRY_VERIFY((bar = visibleBusyBar()) != nullptr);
        QVERIFY(!m_window->agentStartStopAction()->isEnabled());
        // The window answers while pkexec runs: timers fire on time.
        QElapsedTimer clock;
        clock.start();
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
        tick.start(100);
        QTest::qWait(1000);
        QVERIFY2(ticks >= 5, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(clock.elapsed())));
        QVERIFY(bar->isVisible());
        screenshot(QStringLiteral("agent-busy"));

        QMessageBox *error = waitFor<QMessageBox>();
        QVERIFY(error);
        QCOMPARE(error->text(), QStringLiteral("You are not allowed to install the agent for all users."));
        QVERIFY(!bar->isVisible());
        QTest::mouseClick(error->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(m_window->agentStartStopAction()->isEnabled());
    }

private:
    QProgressBar *visibleBusyBar() const
    {
        for (QProgressBar *bar : m_window->findChildren<QProgressBar *>()) {
            if (bar->isVisible())
                return bar;
        }
        return nullptr;
    }
};

QTEST_MAIN(tst_KLVRAgentMenu)
#include "tst_KLVRAgentMenu.moc"

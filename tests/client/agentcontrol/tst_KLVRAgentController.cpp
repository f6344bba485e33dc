// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// The agent controller as a user meets it: the real controller, its real dialogs clicked with
// QTest, the real agent program, on private buses where python-dbusmock's systemd asks a polkit
// that counts password prompts, and pkexec asks that polkit too.
#include "KLVRAgentController.h"
#include "KLVRAgentControllerAlertDialog.h"
#include "KLVRAgentControllerDialogs.h"
#include "KLVRAgentControllerInstallMode.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRAgentUserInstallation.h"
#include "KLVRBundle.h"
#include "KLVRPropertyList.h"
#include "KLVRSessionProcesses.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

namespace {

const QString kBlessHelper = QString::fromLatin1(KLVRAgentControllerInstallMode::kBlessHelperAction);
const QString kPkexecAction = QStringLiteral("org.freedesktop.policykit.exec");
const QString kHelper = QStringLiteral("/usr/local/libexec/restwatch/com.klvr.restwatch.agent");

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

bool writeFile(const QString &path, const QByteArray &text, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0)
        return false;
    file.close();
    return !executable || file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

template<class Dialog>
Dialog *shown()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (auto *dialog = qobject_cast<Dialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

template<class Dialog>
Dialog *waitFor(int timeoutMs = 20000)
{
    Dialog *dialog = nullptr;
    (void)QTest::qWaitFor([&] { return (dialog = shown<Dialog>()) != nullptr; }, timeoutMs);
    return dialog;
}

QPushButton *buttonTitled(KLVRAgentControllerAlertDialog *dialog, const QString &title)
{
    for (int index = 0; index < dialog->buttonCount(); ++index) {
        if (dialog->button(index)->text() == title)
            return dialog->button(index);
    }
    return nullptr;
}

// The error alert's text and informative text, closed with its OK button as a user does.
QStringList takeErrorAlert(int timeoutMs = 20000)
{
    QMessageBox *box = waitFor<QMessageBox>(timeoutMs);
    if (!box)
        return {};
    const QStringList texts{box->text(), box->informativeText()};
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    (void)QTest::qWaitFor([] { return shown<QMessageBox>() == nullptr; }, 2000);
    return texts;
}

} // namespace

class tst_KLVRAgentController : public QObject
{
    Q_OBJECT

    KLVRAgentTestEnvironment m_environment;
    KLVRAgentControllerDialogs m_dialogs;
    QString m_clientInfo = QStringLiteral(":/client/Info.plist");

    std::unique_ptr<KLVRAgentController> makeController()
    {
        auto controller = std::make_unique<KLVRAgentController>(m_environment.systemConnection(),
                                                                m_environment.sessionConnection());
        controller->setEmbeddedAgentPath(KLVRAgentTestEnvironment::agentBinary());
        controller->setPresenter(&m_dialogs);
        return controller;
    }

    // The client as a newer build than the agent, so that an update is offered.
    void makeClientNewer()
    {
        QVariantMap info = KLVRPropertyList::readFile(m_clientInfo).toMap();
        info.insert(QStringLiteral("CFBundleVersion"), info.value(QStringLiteral("CFBundleVersion")).toString() + QStringLiteral(".1"));
        const QString path = m_environment.root() + QStringLiteral("/Info.plist");
        QVERIFY(writeFile(path, KLVRPropertyList::write(info)));
        KLVRBundle::setMain(path, QStringLiteral(":/client"));
    }

    // Opens the install alert with the Agent command and chooses with the mouse.
    void chooseInInstallAlert(KLVRAgentController &controller, const QString &button, int location)
    {
        controller.startStop();
        KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
        QVERIFY(alert);
        if (location) {
            QComboBox *locations = alert->locationButton();
            QVERIFY(locations);
            locations->setCurrentIndex(locations->findData(location));
        }
        QPushButton *target = buttonTitled(alert, button);
        QVERIFY2(target, qPrintable(button));
        QTest::mouseClick(target, Qt::LeftButton);
    }

    void installSystemService(KLVRAgentController &controller)
    {
        m_environment.setPolkitAllowed({kPkexecAction, kBlessHelper});
        chooseInInstallAlert(controller, QStringLiteral("Install"), 1);
        QTRY_COMPARE_WITH_TIMEOUT(controller.state(), int(KLVRAgentController::SystemService), 20000);
        QVERIFY(!controller.isBusy());
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(m_clientInfo);
        QVERIFY(QFileInfo(KLVRAgentTestEnvironment::agentBinary()).isExecutable());
        QVERIFY(m_environment.start());
    }

    void init()
    {
        KLVRBundle::setMain(m_clientInfo);
        QVERIFY(m_environment.resetTree());
    }

    void cleanup()
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            widget->close();
        QTest::qWait(10);
        for (qint64 pid : KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName))
            KLVRSessionProcesses::terminate(pid);
        m_environment.stopAgents();
        QVERIFY(m_environment.setPolkitRunning(true));
    }

    void installAlertShowsItsPartsInOrderAndEveryButtonCanBeClicked()
    {
        const auto controller = makeController();
        controller->startStop();
        KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        // Text, then the location pop-up, then the buttons: nothing lies on top of anything.
        const QLabel *informative = alert->findChild<QLabel *>(QStringLiteral("informative"));
        QVERIFY(informative);
        QComboBox *locations = alert->locationButton();
        QVERIFY(locations && locations->isVisible());
        QCOMPARE(locations->count(), 2);
        QCOMPARE(locations->itemData(0).toInt(), 1);
        QCOMPARE(locations->itemData(1).toInt(), 2);
        const QRect textRect(informative->mapTo(alert, QPoint()), informative->size());
        const QRect popUpRect(locations->mapTo(alert, QPoint()), locations->size());
        QVERIFY(popUpRect.top() >= textRect.bottom());
        QCOMPARE(alert->buttonCount(), 3);
        QStringList titles;
        QList<QRect> rects;
        for (int index = 0; index < 3; ++index) {
            QPushButton *button = alert->button(index);
            QVERIFY(button->isVisible() && button->isEnabled());
            titles << button->text();
            rects << QRect(button->mapTo(alert, QPoint()), button->size());
            QVERIFY2(rects.last().top() >= popUpRect.bottom(), qPrintable(button->text()));
            QVERIFY(alert->rect().contains(rects.last()));
            // The button itself receives a click at its centre.
            QCOMPARE(alert->childAt(rects.last().center()), button);
        }
        QCOMPARE(titles, (QStringList{QStringLiteral("Install"), QStringLiteral("Skip"), QStringLiteral("Cancel")}));
        // The default button is the first, rightmost; the others follow it to the left.
        QVERIFY(alert->button(0)->isDefault());
        QVERIFY(rects.at(0).left() > rects.at(1).right());
        QVERIFY(rects.at(1).left() > rects.at(2).right());
        QTest::mouseClick(alert->button(2), Qt::LeftButton);
        QTRY_VERIFY(!shown<KLVRAgentControllerAlertDialog>());
        QCOMPARE(controller->state(), int(KLVRAgentController::NotInstalled));
    }

    void eachInstallAlertAnswerChoosesItsInstallMode_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("location");
        QTest::addColumn<int>("state");

        QTest::newRow("Install, for me only") << "Install" << 2 << 3;
        QTest::newRow("Skip") << "Skip" << 0 << 4;
        QTest::newRow("Cancel") << "Cancel" << 0 << 1;
        QTest::newRow("Enter takes the default, Install") << "Enter" << 2 << 3;
        QTest::newRow("Escape cancels") << "Escape" << 0 << 1;
        QTest::newRow("Install, for all users") << "Install" << 1 << 2;
    }

    void eachInstallAlertAnswerChoosesItsInstallMode()
    {
        QFETCH(QString, answer);
        QFETCH(int, location);
        QFETCH(int, state);

        m_environment.setPolkitAllowed({kPkexecAction, kBlessHelper});
        const auto controller = makeController();
        if (answer == QLatin1String("Enter") || answer == QLatin1String("Escape")) {
            controller->startStop();
            KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
            QVERIFY(alert);
            alert->locationButton()->setCurrentIndex(alert->locationButton()->findData(location ? location : 1));
            QTest::keyClick(alert, answer == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_Escape);
        } else {
            chooseInInstallAlert(*controller, answer, location);
        }
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), state, 20000);
        QTRY_VERIFY(!controller->isExpectingStateChange() && !controller->isBusy());
        QCOMPARE(shown<QMessageBox>(), nullptr);
        QCOMPARE(controller->updateNotifications(), 0u);
        const bool systemUnit = QFileInfo::exists(m_environment.systemUnitFolder() + QStringLiteral("/com.klvr.restwatch.agent.service"));
        const bool userUnit = QFileInfo::exists(controller->jobTicketPath());
        QCOMPARE(systemUnit, state == 2);
        QCOMPARE(userUnit, state == 3);
        // The units' agents run from copies of the same name; without a unit there is one program or none.
        if (state == 1 || state == 4)
            QCOMPARE(KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName).size(), state == 4 ? 1 : 0);
        // Only the installation for all users asks for a password, and once.
        QCOMPARE(m_environment.polkitPrompts(), state == 2 ? QStringList{kPkexecAction} : QStringList());
    }

    void recognisesEachState_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("status");

        QTest::newRow("nothing") << "" << 1 << true << "Not installed";
        QTest::newRow("system unit, agent answers") << "system unit,agent" << 2 << true << "Installed for all users";
        QTest::newRow("user unit, agent answers") << "user unit,agent" << 3 << true << "Installed for this user";
        QTest::newRow("program in the session answers") << "agent" << 4 << true << "Running in this session";
        QTest::newRow("system unit, no answer") << "system unit" << 6 << false << "System service installed, not responding";
        QTest::newRow("user unit, no answer") << "user unit" << 6 << false << "User service installed, not responding";
        QTest::newRow("an agent started elsewhere answers") << "foreign" << 6 << false << "Running, started outside Rest Watch";
    }

    void recognisesEachState()
    {
        QFETCH(QString, setup);
        QFETCH(int, state);
        QFETCH(bool, enabled);
        QFETCH(QString, status);

        const QStringList steps = setup.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (steps.contains(QLatin1String("system unit"))) {
            QVERIFY(writeFile(m_environment.systemUnitFolder() + QStringLiteral("/com.klvr.restwatch.agent.service"),
                              "[Service]\nExecStart=/bin/true\n"));
            m_environment.reloadUnits(m_environment.systemBus());
        }
        if (steps.contains(QLatin1String("user unit"))) {
            QVERIFY(writeFile(m_environment.userUnitFolder() + QStringLiteral("/com.klvr.restwatch.agent.service"),
                              "[Service]\nExecStart=/bin/true\n"));
            m_environment.reloadUnits(m_environment.sessionBus());
        }
        if (steps.contains(QLatin1String("agent")))
            QVERIFY(m_environment.startAgent());
        if (steps.contains(QLatin1String("foreign"))) {
            // The real agent, from a file no unit names and the process table does not know by name.
            const QString elsewhere = m_environment.root() + QStringLiteral("/restwatch-agent-elsewhere");
            QVERIFY(QFile::copy(KLVRAgentTestEnvironment::agentBinary(), elsewhere));
            QVERIFY(m_environment.startAgent(elsewhere));
        }

        const auto controller = makeController();
        QCOMPARE(controller->state(), state);
        QCOMPARE(controller->isInstalled(), state != 1);
        QCOMPARE(controller->isEnabled(), enabled);
        QCOMPARE(controller->localisedStatus(), status);
        // An agent that answers but that this client did not start needs nothing: no command.
        QCOMPARE(controller->canStartStop(), setup != QLatin1String("foreign"));
    }

    void silentAgentGetsAnExplanationAndARemovalThatWorks()
    {
        // A user unit whose agent does not answer: the command explains and offers the removal.
        const auto controller = makeController();
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 2);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::UserService), 20000);
        if (const pid_t target = pid_t(m_environment.unitProcess(m_environment.sessionBus())); target > 0) // kill(0) would end the whole test run
            ::kill(target, SIGSTOP);
        const qint64 stopped = m_environment.unitProcess(m_environment.sessionBus());
        QVERIFY(stopped > 0);
        controller->updateState();
        QCOMPARE(controller->state(), int(KLVRAgentController::Inconsistent));
        QCOMPARE(controller->localisedStatus(), QStringLiteral("User service installed, not responding"));
        QVERIFY(controller->canStartStop());

        controller->startStop();
        KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>();
        QVERIFY(alert);
        QCOMPARE(alert->buttonCount(), 2);
        QVERIFY(alert->findChild<QLabel *>(QStringLiteral("informative"))->text().contains(QLatin1String("journalctl --user")));
        if (const pid_t target = pid_t(stopped); target > 0) // kill(0) would end the whole test run
            ::kill(target, SIGCONT);
        QTest::mouseClick(buttonTitled(alert, QStringLiteral("Remove Agent")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::NotInstalled), 20000);
        QVERIFY(!QFileInfo::exists(controller->jobTicketPath()));
        QVERIFY(!QFileInfo::exists(controller->userAgentPath()));
    }

    void agentThatEndsOrIsKilledIsSeenWithinTwoSeconds_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed") << int(SIGKILL);
        QTest::newRow("terminated") << int(SIGTERM);
    }

    void agentThatEndsOrIsKilledIsSeenWithinTwoSeconds()
    {
        QFETCH(int, signal);
        const auto controller = makeController();
        chooseInInstallAlert(*controller, QStringLiteral("Skip"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::SessionApplication), 20000);
        QTRY_VERIFY(!controller->isExpectingStateChange());
        const QList<qint64> agents = KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName);
        QCOMPARE(agents.size(), 1);
        QElapsedTimer clock;
        clock.start();
        if (const pid_t target = pid_t(agents.constFirst()); target > 0) // kill(0) would end the whole test run
            ::kill(target, signal);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::NotInstalled), 2000);
        QVERIFY(clock.elapsed() < 2000);
        // Removal is not offered for an agent that is gone, so no error 20 either.
        QCOMPARE(controller->localisedStartStopLabel(), QStringLiteral("Install Agent…"));
    }

    void systemServiceInstallUpdateAndRemovalEachAskOnce()
    {
        const auto controller = makeController();
        installSystemService(*controller);
        QCOMPARE(m_environment.polkitPrompts(), QStringList{kPkexecAction});
        const QString root = m_environment.sysroot();
        const QStringList installed{QStringLiteral("etc/dbus-1/system.d/com.klvr.restwatch.agent.conf"),
                                    QStringLiteral("usr/local/lib/systemd/system/com.klvr.restwatch.agent.service"),
                                    QStringLiteral("usr/local/libexec/restwatch/com.klvr.restwatch.agent"),
                                    QStringLiteral("usr/share/polkit-1/actions/com.klvr.restwatch.agent.policy")};
        const auto systemFiles = [&] {
            return KLVRAgentTestEnvironment::filesBelow(root).filter(QRegularExpression(QStringLiteral("^(etc|usr/local/lib|usr/local/libexec|usr/share)/")));
        };
        QCOMPARE(systemFiles(), installed);
        // pkexec's action for the client's copy of the agent is blesshelper from now on.
        QFile policy(root + QStringLiteral("/usr/share/polkit-1/actions/com.klvr.restwatch.agent.policy"));
        QVERIFY(policy.open(QIODevice::ReadOnly));
        QVERIFY(policy.readAll().contains("<annotate key=\"org.freedesktop.policykit.exec.path\">"
                                          + KLVRAgentTestEnvironment::agentBinary().toUtf8() + "</annotate>"));

        // Update: one prompt, and exactly one agent afterwards, the new one.
        makeClientNewer();
        controller->updateState();
        QVERIFY(controller->canUpdate());
        const qint64 before = m_environment.unitProcess(m_environment.systemBus());
        m_environment.setPolkitAllowed({kPkexecAction, kBlessHelper});
        controller->updateAgent();
        QVERIFY(controller->isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!controller->isBusy(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::SystemService), 20000);
        QCOMPARE(shown<QMessageBox>(), nullptr);
        QCOMPARE(m_environment.polkitPrompts(), QStringList{kBlessHelper});
        const qint64 after = m_environment.unitProcess(m_environment.systemBus());
        QVERIFY(after > 0 && after != before);
        QCOMPARE(m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("RestartUnit")).size(), 1);

        // Removal: one prompt, and every file the installation wrote is gone.
        m_environment.setPolkitAllowed({kPkexecAction, kBlessHelper});
        QCOMPARE(controller->localisedStartStopLabel(), QStringLiteral("Remove Agent"));
        controller->startStop();
        QTRY_VERIFY_WITH_TIMEOUT(!controller->isBusy(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::NotInstalled), 20000);
        QCOMPARE(shown<QMessageBox>(), nullptr);
        QCOMPARE(m_environment.polkitPrompts(), QStringList{kBlessHelper});
        QCOMPARE(systemFiles(), QStringList());
        QCOMPARE(m_environment.unitProcess(m_environment.systemBus()), qint64(0));
        // The client's own copy is not the helper and is still there for the next installation.
        QVERIFY(QFileInfo(KLVRAgentTestEnvironment::agentBinary()).isExecutable());
    }

    // The administrator may take longer over the password than an agent may take to answer: the
    // wait for the agent starts when the privileged run has ended.
    void aPasswordSlowerThanThePollingBoundIsNoError()
    {
        const QString pkexec = m_environment.sysroot() + QStringLiteral("/usr/bin/pkexec");
        QVERIFY(QFile::rename(pkexec, pkexec + QStringLiteral(".answer")));
        QVERIFY(writeFile(pkexec, "#!/bin/sh\nsleep 3\nexec \"$0.answer\" \"$@\"\n", true));
        const auto controller = makeController();
        controller->setPollingBound(1000);
        m_environment.setPolkitAllowed({kPkexecAction, kBlessHelper});
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 1);
        QVERIFY(controller->isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::SystemService), 20000);
        QCOMPARE(shown<QMessageBox>(), nullptr);
        QVERIFY(!controller->isBusy());
        QCOMPARE(m_environment.polkitPrompts(), QStringList{kPkexecAction});
    }

    void privilegedFailuresAreReportedForWhatTheyAre_data()
    {
        QTest::addColumn<bool>("pkexec");
        QTest::addColumn<bool>("polkit");
        QTest::addColumn<QStringList>("allowed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("prompts");

        QTest::newRow("pkexec missing") << false << true << QStringList{kPkexecAction} << "pkexec is not installed." << 0;
        QTest::newRow("polkit not running")
            << true << false << QStringList{kPkexecAction} << "polkit is not running, so no administrator password can be asked for." << 0;
        QTest::newRow("password refused") << true << true << QStringList() << "You are not allowed to install the agent for all users." << 1;
    }

    void privilegedFailuresAreReportedForWhatTheyAre()
    {
        QFETCH(bool, pkexec);
        QFETCH(bool, polkit);
        QFETCH(QStringList, allowed);
        QFETCH(QString, message);
        QFETCH(int, prompts);

        QVERIFY(m_environment.installPkexec(pkexec));
        m_environment.setPolkitAllowed(allowed);
        QVERIFY(m_environment.setPolkitRunning(polkit));
        const auto controller = makeController();
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 1);
        const QStringList alert = takeErrorAlert();
        QCOMPARE(alert.value(0), message);
        QCOMPARE(controller->state(), int(KLVRAgentController::NotInstalled));
        QVERIFY(!controller->isBusy());
        QVERIFY(!controller->isExpectingStateChange());
        if (polkit)
            QCOMPARE(m_environment.polkitPrompts().size(), prompts);
    }

    void failedPerUserInstallTakesBackItsCopySoThatARetrySucceeds()
    {
        const auto controller = makeController();
        // A file where the user unit folder belongs: the copy is made, the unit cannot be written.
        const QString unitFolder = m_environment.userUnitFolder();
        QVERIFY(writeFile(unitFolder, "in the way"));
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 2);
        QCOMPARE(takeErrorAlert().value(0), QStringLiteral("The folder for user services could not be created."));
        QCOMPARE(controller->state(), int(KLVRAgentController::NotInstalled));
        QVERIFY(!QFileInfo::exists(controller->userAgentPath()));

        QVERIFY(QFile::remove(unitFolder));
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 2);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::UserService), 20000);
        QCOMPARE(shown<QMessageBox>(), nullptr);
    }

    void perUserInstallOverAnExistingCopyFailsWithError9AndKeepsIt()
    {
        const auto controller = makeController();
        QVERIFY(writeFile(controller->userAgentPath(), "an older agent"));
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 2);
        QCOMPARE(takeErrorAlert().value(0), QStringLiteral("The agent could not be copied into its folder."));
        QCOMPARE(controller->lastError().code(), 9);
        QCOMPARE(QFile(controller->userAgentPath()).size(), qint64(14));
        QVERIFY(!QFileInfo::exists(controller->jobTicketPath()));
        QVERIFY(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("StartUnit")).isEmpty());
    }

    void userUnitRunsFromAFolderWithDollarsAndPercents()
    {
        // systemd would expand "$HOME" and "%h" in ExecStart if they were not escaped.
        const QString data = m_environment.root() + QStringLiteral("/da$HOME%h ta");
        QDir().mkpath(data);
        qputenv("XDG_DATA_HOME", data.toUtf8());
        const auto controller = makeController();
        chooseInInstallAlert(*controller, QStringLiteral("Install"), 2);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::UserService), 20000);
        QVERIFY(controller->userAgentPath().startsWith(data));
        QFile unit(controller->jobTicketPath());
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QVERIFY(unit.readAll().contains("/da$$HOME%%h ta/"));
    }

    void fiveSessionUpdatesInARowEachLeaveExactlyOneAgent()
    {
        const auto controller = makeController();
        chooseInInstallAlert(*controller, QStringLiteral("Skip"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::SessionApplication), 20000);
        makeClientNewer();
        for (int round = 0; round < 5; ++round) {
            controller->updateState();
            QTRY_VERIFY_WITH_TIMEOUT(controller->canUpdate(), 10000);
            const QList<qint64> old = KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName);
            QCOMPARE(old.size(), 1);
            controller->updateAgent();
            QTRY_VERIFY_WITH_TIMEOUT(!controller->isBusy() && !controller->isExpectingStateChange(), 20000);
            QCOMPARE(controller->state(), int(KLVRAgentController::SessionApplication));
            // The new agent keeps running: no second one that found the name taken and left.
            QTest::qWait(300);
            const QList<qint64> now = KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName);
            QCOMPARE(now.size(), 1);
            QVERIFY(now != old);
            QVERIFY(m_environment.waitForAgent(true, 5000));
            QCOMPARE(shown<QMessageBox>(), nullptr);
        }
    }

    void startThatNeverAnswersEndsPollingWithAnError()
    {
        // A program that starts but never takes the agent's name.
        const QString pidFile = m_environment.root() + QStringLiteral("/silent.pid");
        const QString silent = m_environment.root() + QStringLiteral("/bin/com.klvr.restwatch.agent");
        QVERIFY(writeFile(silent, "#!/bin/sh\necho $$ > '" + pidFile.toUtf8() + "'\nexec sleep 30\n", true));
        const auto controller = makeController();
        controller->setEmbeddedAgentPath(silent);
        controller->setPollingBound(1500);
        chooseInInstallAlert(*controller, QStringLiteral("Skip"), 0);
        QVERIFY(controller->isExpectingStateChange());
        const QStringList alert = takeErrorAlert(6000);
        QCOMPARE(alert.value(0), QStringLiteral("The agent did not answer within 1 seconds."));
        QVERIFY(!controller->isExpectingStateChange());
        QCOMPARE(controller->state(), int(KLVRAgentController::NotInstalled));
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly))
            if (const pid_t target = pid_t(pid.readAll().trimmed().toLongLong()); target > 0) // kill(0) would end the whole test run
                ::kill(target, SIGTERM);
    }

    void installModeMakesItsFoldersReadableWhateverTheUmask()
    {
        QProcess install;
        QProcessEnvironment environment = m_environment.agentEnvironment();
        environment.insert(QStringLiteral("RESTWATCH_TEST_ROOT"), QStringLiteral("1"));
        install.setProcessEnvironment(environment);
        install.setProcessChannelMode(QProcess::ForwardedChannels);
        const mode_t previous = ::umask(077);
        install.start(KLVRAgentTestEnvironment::agentBinary(), {QString::fromLatin1(KLVRAgentControllerInstallMode::kArgument)});
        const bool started = install.waitForStarted(5000);
        ::umask(previous);
        QVERIFY(started);
        QVERIFY(install.waitForFinished(30000));
        QCOMPARE(install.exitCode(), 0);
        const QString root = m_environment.sysroot();
        for (const QString &folder : {QStringLiteral("/usr/local/libexec/restwatch"), QStringLiteral("/usr/local/lib/systemd/system"),
                                      QStringLiteral("/etc/dbus-1/system.d"), QStringLiteral("/usr/share/polkit-1/actions")}) {
            struct stat status {};
            QCOMPARE(::stat(QFile::encodeName(root + folder).constData(), &status), 0);
            QCOMPARE(status.st_mode & 07777, mode_t(0755));
        }
        QCOMPARE(fileHash(root + kHelper), fileHash(KLVRAgentTestEnvironment::agentBinary()));
        QVERIFY(QFileInfo(root + kHelper).permissions().testFlag(QFileDevice::ExeOther));
        QVERIFY(m_environment.waitForAgent(true));
    }

    void defaultsHeldWhileTheAgentIsSilentAreMergedAndSentOnceItAnswers()
    {
        const auto controller = makeController();
        controller->setDefaultsWithDictionary({{QStringLiteral("highlight"), true}, {QStringLiteral("eventDetail"), 1}});
        controller->setDefaultsWithDictionary({{QStringLiteral("eventDetail"), 2}, {QStringLiteral("relativeDates"), false}});
        const QVariantMap merged{{QStringLiteral("highlight"), true},
                                 {QStringLiteral("eventDetail"), 2},
                                 {QStringLiteral("relativeDates"), false}};
        QCOMPARE(controller->pendingDefaults(), merged);

        QVERIFY(m_environment.startAgent());
        // The bus name appearing is enough: nobody has to ask for a new state.
        QTRY_VERIFY_WITH_TIMEOUT(controller->isInstalled(), 2000);
        QVERIFY(controller->pendingDefaults().isEmpty());
        const QString stored = m_environment.configHome() + QStringLiteral("/klvr/com.klvr.restwatch.agent.plist");
        QTRY_COMPARE_WITH_TIMEOUT(KLVRPropertyList::readFile(stored).toMap().value(QStringLiteral("eventDetail")).toInt(), 2, 10000);
        const QVariantMap values = KLVRPropertyList::readFile(stored).toMap();
        QCOMPARE(values.value(QStringLiteral("highlight")).toBool(), true);
        QCOMPARE(values.value(QStringLiteral("relativeDates")).toBool(), false);
    }

    void offersAnUpdateOncePerRunAndNotAfterAStart_data()
    {
        QTest::addColumn<bool>("newerClient");
        QTest::addColumn<bool>("startFirst");
        QTest::addColumn<bool>("offered");

        QTest::newRow("equal versions") << false << false << false;
        QTest::newRow("versions differ") << true << false << true;
        QTest::newRow("after the user started the agent") << true << true << false;
    }

    void offersAnUpdateOncePerRunAndNotAfterAStart()
    {
        QFETCH(bool, newerClient);
        QFETCH(bool, startFirst);
        QFETCH(bool, offered);

        if (newerClient)
            makeClientNewer();
        QVERIFY(m_environment.startAgent());
        const auto controller = makeController();
        QCOMPARE(controller->canUpdate(), newerClient);
        controller->applicationDidFinishLaunching();
        if (startFirst)
            controller->startWithState(KLVRAgentController::Inconsistent);
        KLVRAgentControllerAlertDialog *alert = waitFor<KLVRAgentControllerAlertDialog>(KLVRAgentController::kUpdateOfferDelay + 1000);
        QCOMPARE(alert != nullptr, offered);
        if (alert) {
            QCOMPARE(alert->buttonCount(), 2);
            QTest::mouseClick(alert->button(1), Qt::LeftButton);
            QTRY_COMPARE(controller->updateNotifications(), 0u);
        }
        controller->updateState();
        controller->update();
        QTest::qWait(KLVRAgentController::kUpdateOfferDelay + 200);
        QCOMPARE(shown<KLVRAgentControllerAlertDialog>(), nullptr);
    }
};

QTEST_MAIN(tst_KLVRAgentController)
#include "tst_KLVRAgentController.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"
#include "KLVRAgentControllerInstallMode.h"
#include "KLVRAgentControllerPresenter.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRPropertyList.h"
#include "KLVRSessionProcesses.h"

#include <QCryptographicHash>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QtTest>

namespace {

const QString kDaemonsModify = QString::fromLatin1(KLVRAgentControllerInstallMode::kDaemonsModifyAction);

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

QString writeScript(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0)
        return QString();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// Answers alerts the way a user would, one turn of the event loop later.
class FakePresenter : public KLVRAgentControllerPresenter
{
public:
    FakePresenter(int returnCode, int locationTag) : m_returnCode(returnCode), m_locationTag(locationTag) {}

    void showAlert(const KLVRAgentControllerAlert &alert, std::function<void(int, int)> done) override
    {
        alerts.append(alert);
        QTimer::singleShot(0, [this, done] { done(m_returnCode, m_locationTag); });
    }
    void presentError(const KLVRAgentControllerError &error) override { errors.append(error); }

    QList<KLVRAgentControllerAlert> alerts;
    QList<KLVRAgentControllerError> errors;

private:
    int m_returnCode;
    int m_locationTag;
};

// A housekeeping service that is no agent program and has no unit: answers from a thread of
// this process, so that the controller's blocking calls reach it.
class FakeAgentService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.klvr.restwatch.KLVRAgentServiceProtocol")

public:
    QString answer = QStringLiteral("244");
    bool broken = false;

public Q_SLOTS:
    QString version()
    {
        if (broken)
            sendErrorReply(QDBusError::Failed, QStringLiteral("the store is locked"));
        return answer;
    }
};

} // namespace

class tst_KLVRAgentController : public QObject
{
    Q_OBJECT

    KLVRAgentTestEnvironment m_environment;
    QThread m_fakeThread;
    FakeAgentService *m_fake = nullptr;
    QString m_authorizedLauncher;

    std::unique_ptr<KLVRAgentController> makeController()
    {
        auto controller = std::make_unique<KLVRAgentController>(m_environment.systemConnection(),
                                                                m_environment.sessionConnection());
        controller->setEmbeddedAgentPath(KLVRAgentTestEnvironment::agentBinary());
        controller->setPrivilegedLauncher(m_authorizedLauncher);
        return controller;
    }

    FakeAgentService *startFakeAgent()
    {
        m_fake = new FakeAgentService;
        m_fake->moveToThread(&m_fakeThread);
        QDBusConnection bus = m_environment.systemBus().connection(QStringLiteral("klvr-test-fake"));
        if (!bus.registerObject(QStringLiteral("/com/klvr/restwatch/agent"), m_fake, QDBusConnection::ExportAllSlots)
            || !bus.registerService(KLVRAgentTestEnvironment::kHousekeepingName))
            return nullptr;
        return m_fake;
    }

    KLVRAgentControllerError installSystemService(KLVRAgentController &controller)
    {
        const KLVRAgentControllerError error = controller.startWithState(KLVRAgentController::SystemService);
        if (!error && !QTest::qWaitFor([&] { return controller.state() == KLVRAgentController::SystemService; }, 15000))
            qWarning() << "the system service did not come up; state" << controller.state();
        return error;
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        qDBusRegisterMetaType<QMap<QString, QString>>();
        QVERIFY(QFileInfo(KLVRAgentTestEnvironment::agentBinary()).isExecutable());
        QVERIFY(m_environment.start());
        m_fakeThread.start();
    }

    void init()
    {
        QVERIFY(m_environment.resetTree());
        // pkexec as the tests have it: authorization granted, the environment kept.
        m_authorizedLauncher = writeScript(m_environment.root() + QStringLiteral("/pkexec"), "#!/bin/sh\nexec \"$@\"\n");
        QVERIFY(!m_authorizedLauncher.isEmpty());
    }

    void cleanup()
    {
        if (m_fake) {
            QDBusConnection bus = m_environment.systemBus().connection(QStringLiteral("klvr-test-fake"));
            bus.unregisterObject(QStringLiteral("/com/klvr/restwatch/agent"));
            bus.unregisterService(KLVRAgentTestEnvironment::kHousekeepingName);
            m_fake->deleteLater();
            m_fake = nullptr;
        }
        // Agents that the controller itself started in the session.
        for (qint64 pid : KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName))
            KLVRSessionProcesses::terminate(pid);
        m_environment.stopAgents();
    }

    void cleanupTestCase()
    {
        m_fakeThread.quit();
        m_fakeThread.wait();
    }

    void recognisesEachState_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("enabled");

        QTest::newRow("nothing") << "" << 1 << false << true;
        QTest::newRow("system unit, agent answers") << "system unit,agent" << 2 << true << true;
        QTest::newRow("user unit, agent answers") << "user unit,agent" << 3 << true << true;
        QTest::newRow("program in the session answers") << "agent" << 4 << true << true;
        QTest::newRow("system unit, no answer") << "system unit" << 6 << true << false;
        QTest::newRow("user unit, no answer") << "user unit" << 6 << true << false;
        QTest::newRow("an answer with no unit or program") << "fake" << 6 << true << false;
    }

    void recognisesEachState()
    {
        QFETCH(QString, setup);
        QFETCH(int, state);
        QFETCH(bool, installed);
        QFETCH(bool, enabled);

        const QStringList steps = setup.split(QLatin1Char(','), Qt::SkipEmptyParts);
        const auto writeUnit = [&](const QString &folder, KLVRTestBus &bus) {
            QDir().mkpath(folder);
            QFile unit(folder + QLatin1Char('/') + KLVRAgentTestEnvironment::kUnitName);
            QVERIFY(unit.open(QIODevice::WriteOnly));
            unit.write("[Service]\nExecStart=/bin/true\n");
            unit.close();
            m_environment.reloadUnits(bus);
        };
        if (steps.contains(QLatin1String("system unit")))
            writeUnit(m_environment.systemUnitFolder(), m_environment.systemBus());
        if (steps.contains(QLatin1String("user unit")))
            writeUnit(m_environment.userUnitFolder(), m_environment.sessionBus());
        if (steps.contains(QLatin1String("agent")))
            QVERIFY(m_environment.startAgent());
        if (steps.contains(QLatin1String("fake")))
            QVERIFY(startFakeAgent());

        const auto controller = makeController();
        QCOMPARE(controller->state(), state);
        QCOMPARE(controller->isInstalled(), installed);
        QCOMPARE(controller->isEnabled(), enabled);
        QCOMPARE(controller->localisedState().isEmpty(), false);
        QVERIFY(controller->localisedState() != QStringLiteral("KLVRAgentController.state.%1").arg(state));
    }

    void installsAndRemovesPerUserThroughTheInstallAlert()
    {
        const auto controller = makeController();
        QCOMPARE(controller->state(), int(KLVRAgentController::NotInstalled));
        FakePresenter presenter(KLVRAgentControllerAlert::kFirstButtonReturn, 2);
        controller->setPresenter(&presenter);

        controller->startStop();
        QTRY_COMPARE(presenter.alerts.size(), 1);
        QCOMPARE(presenter.alerts.constFirst().buttons.size(), 3);
        QCOMPARE(presenter.alerts.constFirst().locations.size(), 2);
        QVERIFY(presenter.alerts.constFirst().messageText.contains(QLatin1String("Rest Watch")));

        // The user's copy of the agent and its unit, and nothing else, then the unit is running.
        const QString copy = QStringLiteral("com.klvr.restwatch/com.klvr.restwatch.agent");
        const QString unit = QStringLiteral("systemd/user/com.klvr.restwatch.agent.service");
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::UserService), 15000);
        QVERIFY(presenter.errors.isEmpty());
        QCOMPARE(KLVRAgentTestEnvironment::filesBelow(m_environment.dataHome()).filter(QStringLiteral("com.klvr.restwatch/")),
                 QStringList{copy});
        QCOMPARE(KLVRAgentTestEnvironment::filesBelow(m_environment.configHome()).filter(QStringLiteral("systemd/")),
                 QStringList{unit});
        const QString copyPath = m_environment.dataHome() + QLatin1Char('/') + copy;
        QVERIFY(QFileInfo(copyPath).isExecutable());
        QCOMPARE(fileHash(copyPath), fileHash(KLVRAgentTestEnvironment::agentBinary()));
        QFile ticket(m_environment.configHome() + QLatin1Char('/') + unit);
        QVERIFY(ticket.open(QIODevice::ReadOnly));
        QVERIFY(ticket.readAll().contains("ExecStart=\"" + copyPath.toUtf8() + "\""));
        QCOMPARE(m_environment.unitActiveState(m_environment.sessionBus()), QStringLiteral("active"));
        QCOMPARE(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("EnableUnitFiles")).size(), 1);
        QCOMPARE(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("StartUnit")).size(), 1);
        QVERIFY(m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("StartUnit")).isEmpty());
        QVERIFY(!controller->isExpectingStateChange());

        // Removal stops and disables the unit, then leaves none of the files behind.
        controller->startStop();
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::NotInstalled), 15000);
        QVERIFY(presenter.errors.isEmpty());
        QCOMPARE(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("StopUnit")).size(), 1);
        const QList<QStringList> disabled = m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("DisableUnitFiles"));
        QCOMPARE(disabled.size(), 1);
        QCOMPARE(disabled.constFirst(), QStringList{KLVRAgentTestEnvironment::kUnitName});
        QVERIFY(KLVRAgentTestEnvironment::filesBelow(m_environment.dataHome()).filter(QStringLiteral("com.klvr.restwatch/")).isEmpty());
        QVERIFY(KLVRAgentTestEnvironment::filesBelow(m_environment.configHome()).filter(QStringLiteral("systemd/")).isEmpty());
        QVERIFY(controller->agentVersion().isNull());
    }

    void secondPerUserInstallOverAnExistingCopyFailsWithError9()
    {
        const auto controller = makeController();
        QDir().mkpath(controller->applicationSupportPath());
        QFile existing(controller->userAgentPath());
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("an older agent");
        existing.close();

        FakePresenter presenter(KLVRAgentControllerAlert::kFirstButtonReturn, 2);
        controller->setPresenter(&presenter);
        controller->startStop();
        QTRY_COMPARE(presenter.errors.size(), 1);
        QCOMPARE(presenter.errors.constFirst().domain(), QStringLiteral("KLVRAgentController"));
        QCOMPARE(presenter.errors.constFirst().code(), 9);
        QCOMPARE(presenter.errors.constFirst().localizedDescription(), QStringLiteral("The agent could not be copied into its folder."));
        QVERIFY(!controller->isExpectingStateChange());
        // The existing copy is kept and nothing was written or started.
        QCOMPARE(QFile(controller->userAgentPath()).size(), qint64(14));
        QVERIFY(!QFileInfo::exists(controller->jobTicketPath()));
        QVERIFY(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("StartUnit")).isEmpty());
    }

    void installModeWritesItsFilesIntoTheTreeAndEnablesTheUnit()
    {
        QProcess install;
        install.setProcessEnvironment(m_environment.agentEnvironment());
        install.setProcessChannelMode(QProcess::ForwardedChannels);
        install.start(KLVRAgentTestEnvironment::agentBinary(), {QString::fromLatin1(KLVRAgentControllerInstallMode::kArgument)});
        QVERIFY(install.waitForFinished(30000));
        QCOMPARE(install.exitCode(), 0);

        const QString root = m_environment.sysroot();
        const QStringList files = KLVRAgentTestEnvironment::filesBelow(root).filter(QRegularExpression(QStringLiteral("^(etc|usr)/")));
        QCOMPARE(files, (QStringList{QStringLiteral("etc/dbus-1/system.d/com.klvr.restwatch.agent.conf"),
                                     QStringLiteral("etc/systemd/system/com.klvr.restwatch.agent.service"),
                                     QStringLiteral("usr/local/libexec/restwatch/com.klvr.restwatch.agent"),
                                     QStringLiteral("usr/share/polkit-1/actions/com.klvr.restwatch.agent.policy")}));
        const QString executable = root + QStringLiteral("/usr/local/libexec/restwatch/com.klvr.restwatch.agent");
        QCOMPARE(fileHash(executable), fileHash(KLVRAgentTestEnvironment::agentBinary()));
        QVERIFY(QFileInfo(executable).permissions().testFlag(QFileDevice::ExeOther));
        QCOMPARE(fileHash(root + QStringLiteral("/etc/systemd/system/com.klvr.restwatch.agent.service")),
                 fileHash(QStringLiteral(RESTWATCH_SOURCE_DIR "/packaging/com.klvr.restwatch.agent.service")));
        QCOMPARE(fileHash(root + QStringLiteral("/usr/share/polkit-1/actions/com.klvr.restwatch.agent.policy")),
                 fileHash(QStringLiteral(RESTWATCH_SOURCE_DIR "/packaging/com.klvr.restwatch.agent.policy")));

        const QList<QStringList> enabled = m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("EnableUnitFiles"));
        QCOMPARE(enabled.size(), 1);
        QCOMPARE(enabled.constFirst(), QStringList{KLVRAgentTestEnvironment::kUnitName});
        QCOMPARE(m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("StartUnit")).size(), 1);
        QVERIFY(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("EnableUnitFiles")).isEmpty());
        // The unit's program is the installed copy, and it answers.
        QVERIFY(m_environment.waitForAgent(true));
    }

    void privilegedInstallationMapsTheLauncherOutcome_data()
    {
        QTest::addColumn<QByteArray>("launcher");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("state");

        QTest::newRow("authorized") << QByteArray("exec \"$@\"") << 0 << 2;
        QTest::newRow("dialog dismissed") << QByteArray("exit 126") << 1 << 1;
        QTest::newRow("not authorized") << QByteArray("echo 'Not authorized' >&2; exit 127") << 1 << 1;
        QTest::newRow("installation failed") << QByteArray("exit 1") << 2 << 1;
    }

    void privilegedInstallationMapsTheLauncherOutcome()
    {
        QFETCH(QByteArray, launcher);
        QFETCH(int, error);
        QFETCH(int, state);

        const auto controller = makeController();
        controller->setPrivilegedLauncher(writeScript(m_environment.root() + QStringLiteral("/launcher"),
                                                      "#!/bin/sh\n" + launcher + "\n"));
        const KLVRAgentControllerError result = installSystemService(*controller);
        QCOMPARE(result.code(), error);
        if (error) {
            QCOMPARE(result.domain(), QStringLiteral("KLVRAgentController"));
            QVERIFY(!controller->isExpectingStateChange());
        }
        QCOMPARE(controller->state(), state);
        QCOMPARE(controller->updateNotifications(), 0u);
    }

    void privilegedRemovalNeedsThePolkitRight_data()
    {
        QTest::addColumn<bool>("allowed");
        QTest::newRow("with the right") << true;
        QTest::newRow("without the right") << false;
    }

    void privilegedRemovalNeedsThePolkitRight()
    {
        QFETCH(bool, allowed);

        const auto controller = makeController();
        QVERIFY(!installSystemService(*controller));
        QCOMPARE(controller->state(), int(KLVRAgentController::SystemService));
        const QString unitFile = m_environment.systemUnitFolder() + QLatin1Char('/') + KLVRAgentTestEnvironment::kUnitName;
        const QString executable = m_environment.sysroot() + QStringLiteral("/usr/local/libexec/restwatch/com.klvr.restwatch.agent");
        QVERIFY(QFileInfo::exists(unitFile));

        m_environment.setPolkitAllowed(allowed ? QStringList{kDaemonsModify} : QStringList{});
        FakePresenter presenter(0, 0);
        controller->setPresenter(&presenter);
        const KLVRAgentControllerError error = controller->stop();
        if (allowed) {
            QVERIFY2(!error, qPrintable(error.presentationText()));
            QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::NotInstalled), 15000);
            QVERIFY(!QFileInfo::exists(unitFile));
            QVERIFY(!QFileInfo::exists(executable));
            QCOMPARE(m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("StopUnit")).size(), 1);
            QCOMPARE(m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("DisableUnitFiles")).size(), 1);
            QVERIFY(presenter.errors.isEmpty());
        } else {
            QCOMPARE(error.code(), 3);
            QCOMPARE(presenter.errors.size(), 1);
            QVERIFY(QFileInfo::exists(unitFile));
            QVERIFY(QFileInfo::exists(executable));
            QVERIFY(m_environment.unitCalls(m_environment.systemBus(), QStringLiteral("StopUnit")).isEmpty());
            controller->updateState();
            QCOMPARE(controller->state(), int(KLVRAgentController::SystemService));
        }
    }

    void sessionApplicationRunsAndStopsWithSigterm()
    {
        const auto controller = makeController();
        FakePresenter presenter(KLVRAgentControllerAlert::kFirstButtonReturn + 1, 0);
        controller->setPresenter(&presenter);
        controller->startStop();
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::SessionApplication), 15000);
        QCOMPARE(KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName).size(), 1);
        QVERIFY(m_environment.unitCalls(m_environment.sessionBus(), QStringLiteral("StartUnit")).isEmpty());

        QVERIFY(!controller->stop());
        QTRY_COMPARE_WITH_TIMEOUT(controller->state(), int(KLVRAgentController::NotInstalled), 15000);
        QVERIFY(KLVRSessionProcesses::processesNamed(KLVRAgentTestEnvironment::kAgentName).isEmpty());

        // With nothing running there is nothing to stop: error 20.
        QCOMPARE(controller->stopAgent().code(), 20);
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
        controller->updateState();
        QVERIFY(controller->isInstalled());
        QVERIFY(controller->pendingDefaults().isEmpty());

        // The agent keeps them in its own user defaults.
        const QString stored = m_environment.configHome() + QStringLiteral("/klvr/com.klvr.restwatch.agent.plist");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(stored), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(KLVRPropertyList::readFile(stored).toMap().value(QStringLiteral("eventDetail")).toInt(), 2, 10000);
        const QVariantMap values = KLVRPropertyList::readFile(stored).toMap();
        QCOMPARE(values.value(QStringLiteral("highlight")).toBool(), true);
        QCOMPARE(values.value(QStringLiteral("relativeDates")).toBool(), false);
    }

    void offersAnUpdateOncePerRunWhenVersionTextsDiffer_data()
    {
        QTest::addColumn<QString>("agentVersion");
        QTest::addColumn<bool>("broken");
        QTest::addColumn<bool>("startFirst");
        QTest::addColumn<bool>("updatable");
        QTest::addColumn<bool>("offered");

        QTest::newRow("equal texts") << "244" << false << false << false << false;
        QTest::newRow("suffix added") << "244.1" << false << false << true << true;
        QTest::newRow("older") << "243" << false << false << true << true;
        QTest::newRow("version unreadable reads 0") << "244" << true << false << true << true;
        // A start of any kind (here one that cannot happen) ends the offers of this run.
        QTest::newRow("after the user started the agent") << "243" << false << true << true << false;
    }

    void offersAnUpdateOncePerRunWhenVersionTextsDiffer()
    {
        QFETCH(QString, agentVersion);
        QFETCH(bool, broken);
        QFETCH(bool, startFirst);
        QFETCH(bool, updatable);
        QFETCH(bool, offered);

        FakeAgentService *fake = startFakeAgent();
        QVERIFY(fake);
        fake->answer = agentVersion;
        fake->broken = broken;
        const auto controller = makeController();
        QCOMPARE(controller->agentVersion(), broken ? QStringLiteral("0") : agentVersion);
        QCOMPARE(controller->canUpdate(), updatable);

        FakePresenter presenter(KLVRAgentControllerAlert::kFirstButtonReturn + 1, 0);
        controller->setPresenter(&presenter);
        controller->applicationDidFinishLaunching();
        if (startFirst)
            controller->startWithState(KLVRAgentController::Inconsistent);
        if (offered) {
            QTRY_COMPARE_WITH_TIMEOUT(presenter.alerts.size(), 1, 5000);
            QTRY_COMPARE(controller->updateNotifications(), 0u);
        }
        // Later state updates and requests offer nothing more in this run.
        controller->updateState();
        controller->update();
        QTest::qWait(KLVRAgentController::kUpdateOfferDelay + 200);
        QCOMPARE(presenter.alerts.size(), offered ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRAgentController)
#include "tst_KLVRAgentController.moc"

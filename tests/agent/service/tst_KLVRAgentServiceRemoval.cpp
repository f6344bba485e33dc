// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// removeAgentFiles end to end: the agent runs from a copy inside (or outside) the system helper
// folder of a temporary system root, and polkit is python-dbusmock's.
#include "KLVRAgentProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {
const QString AgentName = QStringLiteral("com.klvr.restwatch.agent");
const QString SystemUnit = QStringLiteral("/usr/local/lib/systemd/system/com.klvr.restwatch.agent.service");
const QString UserUnit = QStringLiteral("/usr/local/lib/systemd/user/com.klvr.restwatch.agent.service");

enum class Layout {
    InHelperFolder,   // usr/local/libexec/restwatch/<agent>
    HelperFolderLink, // usr/local/libexec/restwatch -> opt/restwatch, run through the link
    LinkToHelper,     // opt/link -> usr/local/libexec/restwatch, run through the link
    Outside,          // opt/elsewhere/<agent>
    SiblingFolder,    // usr/local/libexec/restwatch-old/<agent>: a name that only starts alike
};

bool makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("[Unit]\n") > 0;
}

// Places a copy of the agent in root as layout asks; returns the path to run it from.
QString installAgent(const QString &root, Layout layout)
{
    const QString helper = root + QStringLiteral("/usr/local/libexec/restwatch");
    QString folder = helper;
    QString runFrom = helper;
    QDir().mkpath(root + QStringLiteral("/usr/local/libexec"));
    QDir().mkpath(root + QStringLiteral("/opt"));
    switch (layout) {
    case Layout::InHelperFolder:
        break;
    case Layout::HelperFolderLink:
        folder = root + QStringLiteral("/opt/restwatch");
        QFile::link(folder, helper);
        break;
    case Layout::LinkToHelper:
        runFrom = root + QStringLiteral("/opt/link");
        QFile::link(helper, runFrom);
        break;
    case Layout::Outside:
        folder = runFrom = root + QStringLiteral("/opt/elsewhere");
        QDir().mkpath(helper);
        break;
    case Layout::SiblingFolder:
        folder = runFrom = helper + QStringLiteral("-old");
        QDir().mkpath(helper);
        break;
    }
    QDir().mkpath(folder);
    if (!QFile::copy(QStringLiteral(RESTWATCH_AGENT_PATH), folder + QLatin1Char('/') + AgentName))
        return QString();
    return runFrom + QLatin1Char('/') + AgentName;
}
} // namespace

Q_DECLARE_METATYPE(Layout)

class tst_KLVRAgentServiceRemoval : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void removesOnlyWhatItMay_data()
    {
        QTest::addColumn<int>("formSize");
        QTest::addColumn<bool>("authorized");
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<bool>("withUnits");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("logged");

        QTest::newRow("31-byte form") << 31 << true << Layout::InHelperFolder << true << false << QString();
        QTest::newRow("33-byte form") << 33 << true << Layout::InHelperFolder << true << false << QString();
        QTest::newRow("right not granted") << 32 << false << Layout::InHelperFolder << true << false << QString();
        QTest::newRow("authorized") << 32 << true << Layout::InHelperFolder << true << true
                                    << "KLVRAgentService found an unexpected directory: ";
        QTest::newRow("helper folder is a link") << 32 << true << Layout::HelperFolderLink << true << true
                                                 << "KLVRAgentService removed launchd job ticket: ";
        QTest::newRow("run through a link to the helper folder") << 32 << true << Layout::LinkToHelper << true << true
                                                                 << "KLVRAgentService removed launchd job ticket: ";
        QTest::newRow("outside the helper folder") << 32 << true << Layout::Outside << true << false
                                                   << "KLVRAgentService can not remove agents outside of Library: ";
        QTest::newRow("folder beside the helper folder") << 32 << true << Layout::SiblingFolder << true << false
                                                         << "KLVRAgentService can not remove agents outside of Library: ";
        QTest::newRow("no unit files") << 32 << true << Layout::InHelperFolder << false << false
                                       << "KLVRAgentService nothing to do; no matched launchd jobs found.";
    }
    void removesOnlyWhatItMay()
    {
        QFETCH(int, formSize);
        QFETCH(bool, authorized);
        QFETCH(Layout, layout);
        QFETCH(bool, withUnits);
        QFETCH(bool, answer);
        QFETCH(QString, logged);

        KLVRTestBus bus(KLVRTestBus::Limits::System);
        QVERIFY(bus.start());
        QVERIFY(bus.startMock(QStringLiteral("polkitd")));
        const QStringList allowed = authorized ? QStringList{QStringLiteral("com.klvr.restwatch.agent.daemons.modify")}
                                               : QStringList{QStringLiteral("com.klvr.restwatch.agent.blesshelper")};
        bus.call(QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                 QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("SetAllowed"), {allowed});

        KLVRAgentProcess agent(bus);
        const QString root = agent.sysroot();
        const QString executable = installAgent(root, layout);
        QVERIFY(!executable.isEmpty());
        const QString realExecutable = QFileInfo(executable).canonicalFilePath();
        if (withUnits) {
            QVERIFY(makeFile(root + SystemUnit));
            QVERIFY(QDir().mkpath(root + UserUnit)); // a directory in the way
        }
        QVERIFY(agent.start(executable));

        const QDBusMessage reply = agent.call(KLVRAgentProcess::HousekeepingService, KLVRAgentProcess::HousekeepingInterface,
                                              QStringLiteral("removeAgentFiles"), {QByteArray(formSize, '\x01')});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments().value(0).toBool(), answer);
        QCOMPARE(QFileInfo::exists(realExecutable), !answer);

        const bool unitsRemoved = formSize == 32 && authorized && withUnits;
        QCOMPARE(QFileInfo::exists(root + SystemUnit), withUnits && !unitsRemoved);
        QCOMPARE(QFileInfo(root + UserUnit).isDir(), withUnits);
        if (!logged.isEmpty())
            QVERIFY2(agent.output().contains(logged), qPrintable(agent.output()));
        QCOMPARE(agent.version(), QStringLiteral("244"));
        QCOMPARE(agent.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_KLVRAgentServiceRemoval)
#include "tst_KLVRAgentServiceRemoval.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Caches a user can end up with: random bytes, a file cut off, tables of another shape, a file
// this user may only read. The client keeps running, says what happened (on stderr for the
// printout, in the window otherwise), and takes the history back from the agent where it can.
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRCacheTestSupport.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"

#include <QApplication>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QtTest>
#include <unistd.h>

using namespace KLVRCacheTestSupport;

namespace {

constexpr int kAgentEvents = 60;

} // namespace

class tst_KLVRRWCDamagedCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void aDamagedCacheIsMovedAsideAndFilledAgain_data();
    void aDamagedCacheIsMovedAsideAndFilledAgain();
    void theWindowSaysSoAndShowsTheAgentsHistory();
    void aReadOnlyCacheIsShownWithAWarning();

private:
    QString cachePath() const { return m_environment.home() + QStringLiteral("/Documents/Rest Watch.rest-watch-events"); }
    QString storePath() const { return m_environment.dataHome() + QStringLiteral("/restwatch/store.db"); }
    // A sound cache of count events, written by the store itself.
    void writeCache(int count);
    void damage(const QString &kind);
    QStringList movedAside() const;

    KLVRAgentTestEnvironment m_environment;
};

void tst_KLVRRWCDamagedCache::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_environment.start(false, KLVRTestBus::Limits::System));
}

void tst_KLVRRWCDamagedCache::init()
{
    QVERIFY(m_environment.resetTree());
}

void tst_KLVRRWCDamagedCache::cleanup()
{
    m_environment.stopAgents();
}

void tst_KLVRRWCDamagedCache::writeCache(int count)
{
    const QDBusConnection none(QStringLiteral("klvr-test-no-bus"));
    KLVRRWCStore store(none, none);
    QList<QVariantMap> records;
    for (const StoredEvent &event : eventsEveryTenMinutes(KLVRAbsoluteTime::now().seconds() - 90 * 86400.0, count, 200))
        records.append({{QStringLiteral("date"), event.date}, {QStringLiteral("description"), event.description},
                        {QStringLiteral("monitor"), event.monitor}, {QStringLiteral("properties"), event.properties}});
    QVERIFY(store.cacheEvents(records));
}

void tst_KLVRRWCDamagedCache::damage(const QString &kind)
{
    QDir().mkpath(QFileInfo(cachePath()).path());
    QFile file(cachePath());
    if (kind == QLatin1String("random bytes")) {
        QByteArray bytes(70000, '\0');
        QRandomGenerator random(7);
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    } else if (kind == QLatin1String("cut off")) {
        writeCache(400);
        QVERIFY(file.size() > 200000);
        QVERIFY(file.resize(file.size() / 2));
    } else if (kind == QLatin1String("other columns")) {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(cachePath()).constData(), &db), SQLITE_OK);
        QVERIFY(exec(db, "CREATE TABLE cache ( 'when' TEXT, 'what' BLOB ); INSERT INTO cache VALUES ('yesterday', x'00');"));
        sqlite3_close(db);
    }
}

QStringList tst_KLVRRWCDamagedCache::movedAside() const
{
    return QDir(QFileInfo(cachePath()).path()).entryList({QStringLiteral("Rest Watch (damaged *).rest-watch-events")}, QDir::Files);
}

void tst_KLVRRWCDamagedCache::aDamagedCacheIsMovedAsideAndFilledAgain_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("random bytes") << QStringLiteral("random bytes");
    QTest::newRow("cut off") << QStringLiteral("cut off");
    QTest::newRow("other columns") << QStringLiteral("other columns");
}

void tst_KLVRRWCDamagedCache::aDamagedCacheIsMovedAsideAndFilledAgain()
{
    QFETCH(QString, kind);
    damage(kind);
    const QByteArray damaged = [&] { QFile f(cachePath()); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }();
    QVERIFY(writeAgentStore(storePath(), eventsEveryTenMinutes(KLVRAbsoluteTime::now().seconds() - 86400.0, kAgentEvents)));
    QVERIFY(m_environment.startAgent());

    QProcess printer;
    printer.setProcessEnvironment(m_environment.agentEnvironment());
    printer.start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), {QStringLiteral("--print-log")});
    QVERIFY(printer.waitForFinished(60000));
    const QString errors = QString::fromUtf8(printer.readAllStandardError());
    QCOMPARE(printer.exitStatus(), QProcess::NormalExit);
    QVERIFY2(printer.exitCode() == 0, qPrintable(errors));
    QVERIFY2(errors.contains(QLatin1String("was damaged")) && errors.contains(QLatin1String("moved aside")), qPrintable(errors));

    // The damaged file is kept, unchanged, under a dated name; the new cache holds the history.
    const QStringList aside = movedAside();
    QCOMPARE(aside.size(), 1);
    QVERIFY2(errors.contains(aside.constFirst()), qPrintable(errors));
    QFile kept(QFileInfo(cachePath()).dir().filePath(aside.constFirst()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), damaged);
    QCOMPARE(query(cachePath(), "PRAGMA integrity_check"), QStringList{QStringLiteral("ok")});
    QVERIFY(cachedEvents(cachePath()).size() >= kAgentEvents);
    const QString printed = QString::fromUtf8(printer.readAllStandardOutput());
    QVERIFY2(printed.count(QLatin1Char('\n')) >= kAgentEvents / 2, qPrintable(printed));

    // The next launch finds a sound cache: nothing more is moved aside.
    QProcess again;
    again.setProcessEnvironment(m_environment.agentEnvironment());
    again.start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), {QStringLiteral("--print-log")});
    QVERIFY(again.waitForFinished(60000));
    QCOMPARE(again.exitCode(), 0);
    QVERIFY(again.readAllStandardError().isEmpty() || movedAside().size() == 1);
    QCOMPARE(movedAside().size(), 1);
}

void tst_KLVRRWCDamagedCache::theWindowSaysSoAndShowsTheAgentsHistory()
{
    damage(QStringLiteral("random bytes"));
    QVERIFY(writeAgentStore(storePath(), eventsEveryTenMinutes(KLVRAbsoluteTime::now().seconds() - 86400.0, kAgentEvents)));
    QVERIFY(m_environment.startAgent());

    KLVRRWClientAppDelegate delegate;
    KLVRRWCMainWindow window(m_environment.systemConnection(), m_environment.sessionConnection());
    delegate.setWindow(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    delegate.applicationDidFinishLaunching();

    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = window.findChild<QMessageBox *>(QStringLiteral("cacheProblem"))) && box->isVisible());
    QVERIFY2(box->text().contains(QLatin1String("was damaged")), qPrintable(box->text()));
    QTRY_VERIFY_WITH_TIMEOUT(window.log()->count() >= kAgentEvents / 2 && !window.store()->isPulling(), 30000);
    QCOMPARE(movedAside().size(), 1);
    // Dismissed like any message; the window goes on.
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_VERIFY(!window.findChild<QMessageBox *>(QStringLiteral("cacheProblem")));
    QVERIFY(window.isVisible());
}

void tst_KLVRRWCDamagedCache::aReadOnlyCacheIsShownWithAWarning()
{
    writeCache(30);
    const qsizetype cached = cachedEvents(cachePath()).size();
    QCOMPARE(cached, 30);
    QFile::setPermissions(cachePath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString documents = QFileInfo(cachePath()).path();
    QFile::setPermissions(documents, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);

    QProcess printer;
    printer.setProcessEnvironment(m_environment.agentEnvironment());
    if (::geteuid() == 0) {
        // Root may write any file: the printout runs as nobody, which may only read it.
        for (QString folder = documents; folder.size() > 1 && folder != QDir::rootPath(); folder = QFileInfo(folder).path())
            QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther);
        printer.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                  QStringLiteral("--clear-groups"),
                                                  QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), QStringLiteral("--print-log")});
    } else {
        printer.start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), {QStringLiteral("--print-log")});
    }
    QVERIFY(printer.waitForFinished(60000));
    const QString errors = QString::fromUtf8(printer.readAllStandardError());
    QFile::setPermissions(documents, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(printer.exitStatus(), QProcess::NormalExit);
    QVERIFY2(printer.exitCode() == 0, qPrintable(errors));
    QVERIFY2(errors.contains(QLatin1String("can only be read")), qPrintable(errors));
    const QString printed = QString::fromUtf8(printer.readAllStandardOutput());
    QVERIFY2(printed.count(QLatin1Char('\n')) >= 15, qPrintable(printed));
    QVERIFY(movedAside().isEmpty());
    QCOMPARE(cachedEvents(cachePath()).size(), cached);
}

QTEST_MAIN(tst_KLVRRWCDamagedCache)
#include "tst_KLVRRWCDamagedCache.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The client's start-up: factory defaults registered before the window reads them, the launch
// sequence's order, the user guide, and quitting when the last window closes.
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCDateRangePopUp.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRUserDefaults.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Stands in for the desktop's viewer.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

class tst_KLVRRWClientAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void defaultsAreRegisteredBeforeTheWindowReadsThem();
    void aMissingDefaultsResourceIsAConfigurationFault();
    void userGuideIsOfferedOnlyWhenItExists_data();
    void userGuideIsOfferedOnlyWhenItExists();
    void userGuideOpensACopyWithTheDesktopViewerEveryTime();
    void launchReplaysTheCacheBeforeTheRememberedRangeIsJudged();
    void closingTheLastWindowOrQuitEndsTheApplication_data();
    void closingTheLastWindowOrQuitEndsTheApplication();

private:
    void restoreMainBundle() { KLVRBundle::setMain(QStringLiteral(":/client/Info.plist")); }

    KLVRWindowTestSupport m_support;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
};

void tst_KLVRRWClientAppDelegate::initTestCase()
{
    QVERIFY(m_support.resetTree());
    QVERIFY(m_support.startBus());
    restoreMainBundle();
}

void tst_KLVRRWClientAppDelegate::init()
{
    QVERIFY(m_support.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
}

void tst_KLVRRWClientAppDelegate::cleanup()
{
    restoreMainBundle();
    m_delegate.reset();
}

void tst_KLVRRWClientAppDelegate::defaultsAreRegisteredBeforeTheWindowReadsThem()
{
    // The date range falls back to today without a registered value; the Defaults say last 7 days.
    const auto window = m_support.makeWindow();
    QCOMPARE(KLVRUserDefaults::standard()->value(QStringLiteral("dateRange")).toInt(), 3);
    QCOMPARE(window->dateRange()->selectionTag(), 3);
    QCOMPARE(window->dateRangePopUp()->selectedTag(), 3);
    QCOMPARE(KLVRUserDefaults::standard()->value(QStringLiteral("relativeDates")).toBool(), true);

    const QVariantMap initial = KLVRRWClientAppDelegate::initialValues();
    QCOMPARE(initial.value(QStringLiteral("dateRange")).toInt(), 3);
    QCOMPARE(initial.value(QStringLiteral("highlightColour")).toString(), QStringLiteral("#FFF0A8"));
    QVERIFY(!initial.contains(QStringLiteral("initialValues")));
}

void tst_KLVRRWClientAppDelegate::aMissingDefaultsResourceIsAConfigurationFault()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"), QStringLiteral(":/nowhere"));
    QString message;
    try {
        KLVRRWClientAppDelegate::registerDefaults();
    } catch (const KLVRAssertionException &exception) {
        message = exception.message();
    }
    QCOMPARE(message, QStringLiteral("KLVRRWClientAppDelegate Missing 'Defaults.plist'."));
}

void tst_KLVRRWClientAppDelegate::userGuideIsOfferedOnlyWhenItExists_data()
{
    QTest::addColumn<QString>("resources");
    QTest::addColumn<bool>("offered");
    QTest::newRow("in the bundle") << QStringLiteral(":/client") << true;
    QTest::newRow("missing") << QStringLiteral(":/nowhere") << false;
}

void tst_KLVRRWClientAppDelegate::userGuideIsOfferedOnlyWhenItExists()
{
    QFETCH(QString, resources);
    QFETCH(bool, offered);
    const auto window = m_support.makeWindow();
    m_delegate->setWindow(window.get());
    QVERIFY(!window->userGuideAction()->isEnabled());

    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"), resources);
    QSignalSpy launched(m_delegate.get(), &KLVRRWClientAppDelegate::didFinishLaunching);
    m_delegate->applicationDidFinishLaunching();
    restoreMainBundle();
    QCOMPARE(launched.count(), 1);
    QCOMPARE(m_delegate->canOpenUserGuide(), offered);
    QCOMPARE(window->userGuideAction()->isEnabled(), offered);
}

void tst_KLVRRWClientAppDelegate::userGuideOpensACopyWithTheDesktopViewerEveryTime()
{
    UrlCatcher viewer;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");
    const auto window = m_support.makeWindow();
    m_delegate->setWindow(window.get());
    m_delegate->applicationDidFinishLaunching();
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    QFile resource(QStringLiteral(":/client/Rest Watch User Guide.html"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QByteArray guide = resource.readAll();
    QVERIFY(guide.contains("<title>Rest Watch User Guide</title>"));
    // F1 twice: the copy left by the first time must not stand in the way of the second.
    for (int time = 1; time <= 2; ++time) {
        QTest::keyClick(window.get(), Qt::Key_F1);
        QTRY_COMPARE(viewer.urls.size(), time);
        const QString copy = viewer.urls.last().toLocalFile();
        QVERIFY2(copy.startsWith(m_support.cacheHome() + QLatin1Char('/')), qPrintable(copy));
        QFile opened(copy);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), guide);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void tst_KLVRRWClientAppDelegate::launchReplaysTheCacheBeforeTheRememberedRangeIsJudged()
{
    // Twenty days cached; the user last looked at the ten days up to today, a range of their own.
    const QList<QVariantMap> cached = KLVRWindowTestSupport::dailyReadings(-20, 0);
    {
        KLVRRWCStore store(m_support.connection(), m_support.connection());
        store.cacheEvents(cached);
    }
    const KLVRAbsoluteTime start = KLVRWindowTestSupport::dayAt(-10);
    const KLVRAbsoluteTime end = KLVRWindowTestSupport::dayAt(1).addSeconds(-1);
    KLVRUserDefaults *defaults = KLVRUserDefaults::standard();
    defaults->setValue(QStringLiteral("dateRange"), int(KLVRRWCDateRangeController::Custom));
    defaults->setValue(QStringLiteral("KLVRRWCDateRangeController.duration.date"), start.seconds());
    defaults->setValue(QStringLiteral("KLVRRWCDateRangeController.duration.interval"), end.seconds() - start.seconds());

    const auto window = m_support.makeWindow();
    m_delegate->setWindow(window.get());
    QCOMPARE(window->log()->count(), 0);
    m_delegate->applicationDidFinishLaunching();

    // Every cached event was handed to the log (repeats may fold into duplicates).
    QVERIFY(window->log()->count() > 0);
    QCOMPARE(window->log()->objectAtIndex(0)->date().toText(), cached.first().value(QStringLiteral("date")).toString());
    QCOMPARE(window->log()->finalDate().toText(), cached.last().value(QStringLiteral("date")).toString());
    // Judged before the replay, only today would have been within the data.
    const KLVRRWCAbsoluteDuration shown = window->dateRange()->absoluteDuration();
    QCOMPARE(shown.startDate().toText(), start.toText());
    QCOMPARE(shown.endDate().toText(), end.toText());
    QCOMPARE(window->dateRange()->selectionTag(), int(KLVRRWCDateRangeController::Custom));
    QCOMPARE(window->dateRangePopUp()->selectedTag(), int(KLVRRWCDateRangeController::Custom));
}

void tst_KLVRRWClientAppDelegate::closingTheLastWindowOrQuitEndsTheApplication_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("window closed") << false;
    QTest::newRow("Ctrl+Q") << true;
}

void tst_KLVRRWClientAppDelegate::closingTheLastWindowOrQuitEndsTheApplication()
{
    QFETCH(bool, byKey);
    const auto window = m_support.makeWindow();
    m_delegate->setWindow(window.get());
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, window.get(), [&] {
        if (byKey)
            QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        else
            window->close();
    });
    // Should nothing end the application, this does, with another code.
    QTimer failsafe;
    failsafe.setSingleShot(true);
    connect(&failsafe, &QTimer::timeout, qApp, [] { QCoreApplication::exit(2); });
    failsafe.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(quitting.count(), 1);
}

QTEST_MAIN(tst_KLVRRWClientAppDelegate)
#include "tst_KLVRRWClientAppDelegate.moc"

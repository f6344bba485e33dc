// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The inspector in the real client window: following the log table's selection and opened from
// it with Return, beside the window, for an idle sleep and for two days; opened from the View menu; and reopened at launch when it was open at the last quit. The
// desktop (window and panel as placed on a 1600 x 900 screen) is saved as screenshots under
// screenshots/ next to this test.
#include "../model/KLVRModelTestSupport.h"
#include "KLVRBundle.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCInspectorController.h"
#include "KLVRRWCInspectorSubViewController.h"
#include "KLVRRWCInspectorWindow.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRUserDefaults.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>

using namespace KLVRModelTest;

namespace {

KLVRAbsoluteTime dayAt(int offset, const char *time)
{
    const QTime t = QTime::fromString(QString::fromLatin1(time), QStringLiteral("HH:mm:ss"));
    return KLVRWindowTestSupport::dayAt(offset, t.msecsSinceStartOfDay() / 1000.0);
}

QVariantMap battery(const QString &source, int percent, bool charging)
{
    QVariantMap properties = KLVRRecordTest::batteryProperties(source, charging, percent);
    properties.insert(QStringLiteral("Health"), 91.3);
    properties.insert(QStringLiteral("Charge Cycles"), 214);
    properties.insert(QStringLiteral("Time to Empty"), charging ? 0 : percent * 4);
    return properties;
}

// Two days before today as the agent records them on a laptop: on mains in the morning, on
// battery from ten, an idle sleep over lunch that the desktop's screen lock delayed and the lid
// ended, charging in the afternoon, the lid closed at night.
QVariantList twoDays()
{
    const QStringList processes{"systemd", "systemd-journald", "NetworkManager", "Xwayland", "gnome-shell", "firefox-esr",
                                "thunderbird", "evolution-alarm-notify", "gsd-power", "restwatch", "pipewire", "wireplumber"};
    QVariantList records;
    for (int offset : {-2, -1}) {
        QVariantMap sleep{{QStringLiteral("Idle Seconds"), 1260}, {QStringLiteral("Processes"), processes},
                          {QStringLiteral("Inhibitors"),
                           QVariantList{QVariantMap{{"Who", "GNOME Shell"}, {"Why", "GNOME needs to lock the screen"}, {"What", "sleep"}, {"Mode", "delay"}},
                                        QVariantMap{{"Who", "NetworkManager"}, {"Why", "NetworkManager needs to turn off networks"}, {"What", "sleep"}, {"Mode", "delay"}}}}};
        QVariantMap wake{{QStringLiteral("Idle Seconds"), 0}, {QStringLiteral("Processes"), processes},
                         {QStringLiteral("Wake Reason"), QVariantMap{{"IRQ", 9}, {"Sources", QVariantList{"PNP0C0D:00", "ACPI0003:00"}}}}};
        QVariantMap night = sleep;
        night.insert(QStringLiteral("Idle Seconds"), 0);
        records << record(dayAt(offset, "07:40:00"), QStringLiteral("System has powered on"), kPowerEvents, wake);
        records << record(dayAt(offset, "07:40:03"), QStringLiteral("Power state changed"), kPowerSource, battery("AC Power", 96, true));
        records << record(dayAt(offset, "08:30:00"), QStringLiteral("Power state changed"), kPowerSource, battery("AC Power", 100, false));
        records << record(dayAt(offset, "10:00:00"), QStringLiteral("Power state changed"), kPowerSource, battery("Battery Power", 100, false));
        records << record(dayAt(offset, "11:10:00"), QStringLiteral("Power state changed"), kPowerSource, battery("Battery Power", 78, false));
        records << record(dayAt(offset, "12:31:00"), QStringLiteral("Can system sleep"), kPowerEvents, sleep);
        records << record(dayAt(offset, "12:31:02"), QStringLiteral("Can system sleep"), kPowerEvents, sleep);
        records << record(dayAt(offset, "12:31:03"), QStringLiteral("System will sleep"), kPowerEvents, sleep);
        records << record(dayAt(offset, "13:20:00"), QStringLiteral("System has powered on"), kPowerEvents, wake);
        records << record(dayAt(offset, "13:20:02"), QStringLiteral("Power state changed"), kPowerSource, battery("Battery Power", 61, false));
        records << record(dayAt(offset, "15:45:00"), QStringLiteral("Power state changed"), kPowerSource, battery("AC Power", 38, true));
        records << record(dayAt(offset, "18:10:00"), QStringLiteral("Power state changed"), kPowerSource, battery("AC Power", 100, false));
        records << record(dayAt(offset, "22:45:00"), QStringLiteral("System will sleep"), kPowerEvents, night);
    }
    return records;
}

} // namespace

class TestInspectorInWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        QVERIFY(m_support.resetTree());
        QVERIFY(m_support.startBus());
    }
    void init()
    {
        QVERIFY(m_support.resetTree());
        KLVRWindowTestSupport::clearUserDefaults();
        m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
    }
    void cleanup()
    {
        m_window.reset();
        m_delegate.reset();
    }

    void panelBesideTheWindow_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("second");
        QTest::newRow("idle sleep") << "idle-sleep" << "EntrySubViewController:Event";
        QTest::newRow("two days") << "two-days" << "Selection:Event";
    }
    void panelBesideTheWindow()
    {
        QFETCH(QString, selection);
        QFETCH(QString, second);
        openWindow();
        KLVRRWCInspectorController *inspector = m_window->inspectorController();
        // The user selects rows in the log table and presses Return.
        KLVRRWCLogTableView *table = m_window->logTableView();
        const std::vector<KLVRRWCLogEntry *> &rows = m_window->logTableController()->arrangedObjects();
        if (selection == QLatin1String("two-days")) {
            table->selectAll();
        } else {
            const auto idle = std::find_if(rows.cbegin(), rows.cend(),
                                           [](const KLVRRWCLogEntry *e) { return e->event() == QLatin1String("Can system sleep"); });
            QVERIFY(idle != rows.cend());
            table->selectRow(int(idle - rows.cbegin()));
        }
        QTRY_COMPARE(inspector->selectedEntries().size(), selection == QLatin1String("two-days") ? qsizetype(rows.size()) : 1);
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Return);
        QTRY_VERIFY(inspector->isVisible());
        const auto &stack = inspector->subViewControllers();
        QVERIFY(stack.size() > 4);
        QCOMPARE(stack.at(1)->nibName().mid(16) + QLatin1Char(':') + stack.at(1)->attributeKey(), second);

        // Beside the window, not over it, and on the screen.
        const QRect panel = inspector->inspectorWindow()->frameGeometry();
        QVERIFY2(panel.left() > m_window->frameGeometry().right(), qPrintable(KLVRRWCInspectorWindow::stringFromRect(panel)));
        QVERIFY(m_window->screen()->availableGeometry().contains(panel));
        QVERIFY(!saveDesktop(selection).isEmpty());
    }

    void reopensAtLaunchWhenLeftOpen()
    {
        KLVRUserDefaults::standard()->setValue(QStringLiteral("info-visible"), true);
        openWindow();
        QTRY_VERIFY(m_window->inspectorController()->isVisible());
        QVERIFY(findMenuAction(m_window->inspectorController()->toggleAction()->text())->isChecked());
    }

private:
    void openWindow()
    {
        m_window = m_support.makeWindow();
        m_delegate->setWindow(m_window.get());
        m_window->resize(1000, 640);
        m_window->move(40, 60);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->log()->addExternalEntries(twoDays());
        m_delegate->applicationDidFinishLaunching();
        m_window->dateRange()->setAbsoluteDuration(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(dayAt(-2, "00:00:00"), dayAt(-1, "23:59:59")));
    }

    QAction *findMenuAction(const QString &text) const
    {
        for (QAction *menu : m_window->menuBar()->actions()) {
            if (!menu->menu())
                continue;
            for (QAction *action : menu->menu()->actions()) {
                if (action->text() == text)
                    return action;
            }
        }
        return nullptr;
    }

    // The main window and the panel where they stand on the screen.
    QString saveDesktop(const QString &name) const
    {
        QImage desktop(m_window->screen()->geometry().size(), QImage::Format_RGB32);
        desktop.fill(QColor(0x5a, 0x6e, 0x82));
        QPainter painter(&desktop);
        for (QWidget *window : {static_cast<QWidget *>(m_window.get()),
                                static_cast<QWidget *>(m_window->inspectorController()->inspectorWindow())}) {
            painter.drawPixmap(window->geometry().topLeft(), window->grab());
            painter.setPen(QColor(0x30, 0x30, 0x30));
            painter.drawRect(window->geometry().adjusted(-1, -1, 0, 0));
        }
        painter.end();
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/inspector-") + name + QStringLiteral(".png");
        return desktop.save(path) ? path : QString();
    }

    KLVRWindowTestSupport m_support;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
};

int main(int argc, char **argv)
{
    // A desktop-sized screen, so that the panel has room beside the window.
    QTemporaryFile screens(QDir::tempPath() + QStringLiteral("/restwatch-screens-XXXXXX.json"));
    if (screens.open()) {
        screens.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1600, "height": 900, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.flush();
        if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen"))
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    TestInspectorInWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_KLVRRWCInspectorInWindow.moc"

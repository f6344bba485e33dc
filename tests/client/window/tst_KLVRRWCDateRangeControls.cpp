// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The window's date range controls as a user works them: the range pop-up and the View menu's
// range items, the day and month steps and zooms from keys and toolbar, and the date-jump sheet.
#include "KLVRBundle.h"
#include "KLVRRWCDateJumpController.h"
#include "KLVRRWCDateRangeActions.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCDateRangePopUp.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRUserDefaults.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

using Tag = KLVRRWCDateRangeController::Tag;

namespace {

KLVRRWCAbsoluteDuration days(int startOffset, int count)
{
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(KLVRWindowTestSupport::dayAt(startOffset),
                                                             KLVRWindowTestSupport::dayAt(startOffset + count).addSeconds(-1));
}

int offsetOf(QDate day)
{
    return int(QDate::currentDate().daysTo(day));
}

} // namespace

class tst_KLVRRWCDateRangeControls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void rangesAreOfferedWhereTheLogHasData_data();
    void rangesAreOfferedWhereTheLogHasData();
    void choosingARangeFromPopUpOrMenuShowsItEverywhere();
    void stepsAndZoomsMoveTheRange_data();
    void stepsAndZoomsMoveTheRange();
    void dateJumpShowsExactlyThePickedDay_data();
    void dateJumpShowsExactlyThePickedDay();
    void dateJumpIsNotOfferedForAnEmptyLog();

private:
    void open(const QList<QVariantMap> &records);
    // The window's menu holding the action.
    QMenu *menuWith(const QAction *action) const
    {
        for (QAction *item : m_window->menuBar()->actions()) {
            if (item->menu() && item->menu()->actions().contains(action))
                return item->menu();
        }
        return nullptr;
    }

    KLVRWindowTestSupport m_support;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
};

void tst_KLVRRWCDateRangeControls::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_support.resetTree());
    QVERIFY(m_support.startBus());
}

void tst_KLVRRWCDateRangeControls::init()
{
    QVERIFY(m_support.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
}

void tst_KLVRRWCDateRangeControls::cleanup()
{
    m_window.reset();
    m_delegate.reset();
}

// A shown, active window whose log holds the records.
void tst_KLVRRWCDateRangeControls::open(const QList<QVariantMap> &records)
{
    m_window = m_support.makeWindow();
    m_delegate->setWindow(m_window.get());
    m_delegate->applicationDidFinishLaunching();
    m_window->log()->addExternalEntries(records);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    // The log's changes reach the controls through its coalesced notice.
    QTest::qWait(10);
}

void tst_KLVRRWCDateRangeControls::rangesAreOfferedWhereTheLogHasData_data()
{
    // Only the ranges whose state does not depend on today's weekday or day of the month.
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<int>>("enabled");
    QTest::addColumn<QList<int>>("disabled");
    QTest::newRow("nothing recorded") << 1 << 0 << QList<int>{Tag::Today, Tag::LastSevenDays, Tag::Everything}
                                      << QList<int>{Tag::Yesterday, Tag::LastMonth, Tag::LastWeek};
    QTest::newRow("data ending yesterday")
        << -40 << -1 << QList<int>{Tag::Yesterday, Tag::LastSevenDays, Tag::LastMonth, Tag::LastWeek, Tag::Everything}
        << QList<int>{Tag::Today};
    QTest::newRow("only last year") << -400 << -300 << QList<int>{Tag::Everything}
                                    << QList<int>{Tag::Today, Tag::Yesterday, Tag::LastSevenDays, Tag::LastMonth, Tag::LastWeek};
}

void tst_KLVRRWCDateRangeControls::rangesAreOfferedWhereTheLogHasData()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QList<int>, enabled);
    QFETCH(QList<int>, disabled);
    open(KLVRWindowTestSupport::dailyReadings(first, last));
    KLVRRWCDateRangeActions *actions = m_window->dateRangeActions();
    KLVRRWCDateRangePopUp *popUp = m_window->dateRangePopUp();

    // The View menu holds the same items as the pop-up: nine ranges and a separator.
    QMenu *view = menuWith(actions->zoomInAction());
    QCOMPARE(popUp->count(), 10);
    for (int tag = 1; tag <= 9; ++tag)
        QVERIFY(view->actions().contains(actions->tagAction(tag)));
    view->popup(m_window->mapToGlobal(QPoint(10, 10)));
    for (int tag : enabled) {
        QVERIFY2(actions->tagAction(tag)->isEnabled(), qPrintable(KLVRRWCDateRangeActions::titleForTag(tag)));
        QVERIFY2(popUp->isItemEnabled(popUp->indexOfTag(tag)), qPrintable(KLVRRWCDateRangeActions::titleForTag(tag)));
    }
    for (int tag : disabled) {
        QVERIFY2(!actions->tagAction(tag)->isEnabled(), qPrintable(KLVRRWCDateRangeActions::titleForTag(tag)));
        QVERIFY2(!popUp->isItemEnabled(popUp->indexOfTag(tag)), qPrintable(KLVRRWCDateRangeActions::titleForTag(tag)));
    }
    view->hide();
}

void tst_KLVRRWCDateRangeControls::choosingARangeFromPopUpOrMenuShowsItEverywhere()
{
    open(KLVRWindowTestSupport::dailyReadings(-40, -1));
    KLVRRWCDateRangeController *range = m_window->dateRange();
    KLVRRWCDateRangePopUp *popUp = m_window->dateRangePopUp();
    QCOMPARE(popUp->selectedTag(), int(Tag::LastSevenDays));

    // Up from "Last 7 Days" is "Yesterday".
    popUp->setFocus();
    QTest::keyClick(popUp, Qt::Key_Up);
    QCOMPARE(range->selectionTag(), int(Tag::Yesterday));
    QVERIFY(range->absoluteDuration().equal(days(-1, 1)));
    QVERIFY(m_window->dateRangeActions()->tagAction(Tag::Yesterday)->isChecked());

    // Further up, "Today" has no data: the pop-up passes over it and stays.
    QTest::keyClick(popUp, Qt::Key_Up);
    QCOMPARE(range->selectionTag(), int(Tag::Yesterday));

    // Ctrl+8 is the menu's "Everything".
    QTest::keyClick(m_window.get(), Qt::Key_8, Qt::ControlModifier);
    QCOMPARE(range->selectionTag(), int(Tag::Everything));
    QVERIFY(range->absoluteDuration().equal(days(-40, 40)));
    QCOMPARE(popUp->selectedTag(), int(Tag::Everything));
    QVERIFY(m_window->dateRangeActions()->tagAction(Tag::Everything)->isChecked());

    // Zooming in makes a range of no ready-made kind: the pop-up says so.
    QTest::keyClick(m_window.get(), Qt::Key_Plus, Qt::ControlModifier);
    QVERIFY(range->absoluteDuration().equal(days(-39, 38)));
    QCOMPARE(range->selectionTag(), int(Tag::Custom));
    QCOMPARE(popUp->selectedTag(), int(Tag::Custom));
    QCOMPARE(popUp->currentText(), QStringLiteral("Custom"));
}

void tst_KLVRRWCDateRangeControls::stepsAndZoomsMoveTheRange_data()
{
    QTest::addColumn<int>("startOffset");
    QTest::addColumn<int>("length");
    // A key sequence, or "toolbar:" and the item's short title.
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("expectedOffset");
    QTest::addColumn<int>("expectedLength");

    const int monthBack = offsetOf(QDate::currentDate().addDays(-12).addMonths(-1));
    QTest::newRow("day back") << -12 << 3 << "Ctrl+Left" << true << -13 << 3;
    QTest::newRow("day forward") << -12 << 3 << "Ctrl+Right" << true << -11 << 3;
    QTest::newRow("toolbar back") << -12 << 3 << "toolbar:Back" << true << -13 << 3;
    QTest::newRow("toolbar forward") << -12 << 3 << "toolbar:Forward" << true << -11 << 3;
    QTest::newRow("month back") << -12 << 3 << "Ctrl+Shift+Left" << true << monthBack << 3;
    QTest::newRow("zoom in") << -12 << 3 << "Ctrl++" << true << -11 << 1;
    QTest::newRow("zoom in without shift") << -12 << 3 << "Ctrl+=" << true << -11 << 1;
    QTest::newRow("toolbar zoom in") << -12 << 3 << "toolbar:Zoom In" << true << -11 << 1;
    QTest::newRow("zoom out") << -12 << 3 << "Ctrl+-" << true << -13 << 5;
    QTest::newRow("toolbar zoom out") << -12 << 3 << "toolbar:Zoom Out" << true << -13 << 5;
    QTest::newRow("one day cannot zoom in") << -10 << 1 << "Ctrl++" << false << -10 << 1;
    QTest::newRow("newest day cannot step forward") << -2 << 3 << "Ctrl+Right" << false << -2 << 3;
    QTest::newRow("first day cannot step back") << -100 << 2 << "toolbar:Back" << false << -100 << 2;
}

void tst_KLVRRWCDateRangeControls::stepsAndZoomsMoveTheRange()
{
    QFETCH(int, startOffset);
    QFETCH(int, length);
    QFETCH(QString, input);
    QFETCH(bool, enabled);
    QFETCH(int, expectedOffset);
    QFETCH(int, expectedLength);
    open(KLVRWindowTestSupport::dailyReadings(-100, 0));
    m_window->dateRange()->setAbsoluteDuration(days(startOffset, length));
    QVERIFY(m_window->dateRange()->absoluteDuration().equal(days(startOffset, length)));

    KLVRRWCDateRangeActions *actions = m_window->dateRangeActions();
    const bool viaToolbar = input.startsWith(QLatin1String("toolbar:"));
    const QKeySequence keys = QKeySequence::fromString(input);
    QAction *action = nullptr;
    for (QAction *candidate : {actions->dayBackwardAction(), actions->dayForwardAction(), actions->monthBackwardAction(),
                               actions->monthForwardAction(), actions->zoomInAction(), actions->zoomOutAction()}) {
        if (viaToolbar ? candidate->iconText() == input.mid(8) : candidate->shortcuts().contains(keys))
            action = candidate;
    }
    QVERIFY2(action, qPrintable(input));
    QCOMPARE(action->isEnabled(), enabled);
    if (viaToolbar) {
        QWidget *button = m_window->toolBar()->widgetForAction(action);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    } else {
        QTest::keySequence(m_window.get(), keys);
    }
    const KLVRRWCAbsoluteDuration shown = m_window->dateRange()->absoluteDuration();
    QCOMPARE(offsetOf(shown.startDate().toDateTime().date()), expectedOffset);
    QVERIFY2(shown.equal(days(expectedOffset, expectedLength)),
             qPrintable(shown.startDate().toDateTime().toString() + QStringLiteral(" .. ") + shown.endDate().toDateTime().toString()));
}

void tst_KLVRRWCDateRangeControls::dateJumpShowsExactlyThePickedDay_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("shown") << true;
    QTest::newRow("cancelled") << false;
}

void tst_KLVRRWCDateRangeControls::dateJumpShowsExactlyThePickedDay()
{
    QFETCH(bool, accepted);
    open(KLVRWindowTestSupport::dailyReadings(-20, -2));
    const KLVRRWCAbsoluteDuration before = m_window->dateRange()->absoluteDuration();
    KLVRRWCDateJumpController *jump = m_window->dateJumpController();
    QVERIFY(jump->showAction()->isEnabled());

    QTest::keyClick(m_window.get(), Qt::Key_J, Qt::ControlModifier);
    QDialog *sheet = jump->window();
    QTRY_VERIFY(sheet->isVisible());
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    QCOMPARE(sheet->parentWidget(), m_window.get());
    // The picker offers the days from the first to the newest entry, and today is past them.
    QCOMPARE(jump->date()->minimumDate(), QDate::currentDate().addDays(-20));
    QCOMPARE(jump->date()->maximumDate(), QDate::currentDate().addDays(-2));
    QCOMPARE(jump->date()->date(), QDate::currentDate().addDays(-2));

    jump->date()->setDate(QDate::currentDate().addDays(-5));
    if (accepted) {
        QTest::mouseClick(jump->okButton(), Qt::LeftButton);
    } else {
        QTest::keyClick(sheet, Qt::Key_Escape);
    }
    QTRY_VERIFY(!sheet->isVisible());
    const KLVRRWCAbsoluteDuration shown = m_window->dateRange()->absoluteDuration();
    if (accepted) {
        QCOMPARE(shown.startDate().toText(), KLVRWindowTestSupport::dayAt(-5).toText());
        QCOMPARE(shown.endDate().toText(), KLVRWindowTestSupport::dayAt(-4).addSeconds(-1).toText());
    } else {
        QVERIFY(shown.equal(before));
    }
}

void tst_KLVRRWCDateRangeControls::dateJumpIsNotOfferedForAnEmptyLog()
{
    open({});
    KLVRRWCDateJumpController *jump = m_window->dateJumpController();
    QVERIFY(!jump->showAction()->isEnabled());
    QVERIFY(menuWith(jump->showAction()));
    QTest::keyClick(m_window.get(), Qt::Key_J, Qt::ControlModifier);
    QTest::qWait(50);
    QVERIFY(!jump->window()->isVisible());

    // The first entry makes it available.
    m_window->log()->addExternalEntries(KLVRWindowTestSupport::dailyReadings(-3, -3));
    QVERIFY(jump->showAction()->isEnabled());
}

QTEST_MAIN(tst_KLVRRWCDateRangeControls)
#include "tst_KLVRRWCDateRangeControls.moc"

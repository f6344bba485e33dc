// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The log table in the real window over a recorded week: graph above, table below, a sleep
// selected with the wake that began it highlighted (saved as a screenshot under screenshots/
// next to this test); the graph's clicks selecting the nearest entry; Ctrl+F and Escape.
#include "KLVRBundle.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableModel.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRStringsTable.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

class tst_KLVRRWCLogTableWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void weekShowsASleepWithItsWakeHighlighted();
    void graphClicksSelectTheNearestEntry();
    void findKeyFiltersAndEscapeClears();

private:
    void openWindowOnTheWeek();

    KLVRWindowTestSupport m_support;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
};

void tst_KLVRRWCLogTableWindow::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    KLVRStringsTable::setLanguage(QStringLiteral("en"));
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_support.resetTree());
    QVERIFY(m_support.startBus());
}

void tst_KLVRRWCLogTableWindow::init()
{
    QVERIFY(m_support.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
}

void tst_KLVRRWCLogTableWindow::cleanup()
{
    m_window.reset();
    m_delegate.reset();
}

void tst_KLVRRWCLogTableWindow::openWindowOnTheWeek()
{
    {
        // What an earlier run pulled from the agent.
        KLVRRWCStore store(m_support.connection(), m_support.connection());
        store.cacheEvents(KLVRWindowTestSupport::recordedWeek());
    }
    m_window = m_support.makeWindow();
    m_delegate->setWindow(m_window.get());
    m_window->resize(1100, 760);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_delegate->applicationDidFinishLaunching();
    QTRY_VERIFY(m_window->logTableController()->model()->rowCount() > 40);
}

void tst_KLVRRWCLogTableWindow::weekShowsASleepWithItsWakeHighlighted()
{
    openWindowOnTheWeek();
    KLVRRWCLogTableController *controller = m_window->logTableController();
    KLVRRWCLogTableView *view = m_window->logTableView();
    QCOMPARE(controller->model()->rowCount(), int(m_window->log()->countOfVisibleEntries()));

    // Yesterday's lid sleep at 22:45; it ends the time awake that began with the wake at 13:15.
    int sleep = -1;
    for (int row = controller->model()->rowCount() - 1; row >= 0 && sleep < 0; --row) {
        const KLVRRWCLogEntry *entry = controller->model()->entryAt(row);
        if (entry->event() == QStringLiteral("System will sleep") && entry->pair()
            && entry->date() < KLVRWindowTestSupport::dayAt(0))
            sleep = row;
    }
    QVERIFY(sleep >= 0);
    const int wake = controller->model()->rowOf(controller->model()->entryAt(sleep)->pair());
    QVERIFY(wake >= 0 && wake < sleep);
    // Once the rows are laid out, scrolled to the wake.
    QTest::qWait(50);
    view->scrollTo(controller->model()->index(wake, 0), QAbstractItemView::PositionAtTop);
    QTest::qWait(50);
    const QRect cell = view->visualRect(controller->model()->index(sleep, 1));
    QVERIFY2(view->viewport()->rect().contains(cell.center()),
             qPrintable(QStringLiteral("rows %1 to %2, table %3 high").arg(wake).arg(sleep).arg(view->height())));
    // Clicked, as the user selects it.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(controller->selectedRows(), QList<int>{sleep});
    QTRY_COMPARE(controller->highlightEntries(), QSet<int>{wake});
    QTest::qWait(50);

    // The wake's summary cell shows the pill in the highlight colour of the Defaults.
    const QImage table = view->viewport()->grab().toImage();
    const QRect wakeCell = view->visualRect(controller->model()->index(wake, 1));
    int pill = 0;
    for (int x = wakeCell.left(); x <= wakeCell.right(); ++x)
        pill += table.pixelColor(x, wakeCell.center().y()).rgb() == QColor(0xFF, 0xF0, 0xA8).rgb();
    QVERIFY2(pill > wakeCell.width() / 2, qPrintable(QString::number(pill)));
    // The table sits under the graph, the filter in the toolbar.
    QVERIFY(view->mapTo(m_window.get(), QPoint(0, 0)).y() > m_window->entriesView()->mapTo(m_window.get(), QPoint(0, 0)).y());
    QVERIFY(m_window->filterField()->isVisible());

    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/main-window-week-table.png");
    QVERIFY(m_window->grab().save(path));
    qInfo("screenshot: %s", qPrintable(path));
}

void tst_KLVRRWCLogTableWindow::graphClicksSelectTheNearestEntry()
{
    openWindowOnTheWeek();
    KLVRRWCEntriesView *graph = m_window->entriesView();
    KLVRRWCLogTableController *controller = m_window->logTableController();
    QTRY_VERIFY(graph->cell().renderCount() > 0);
    const QRectF chart = graph->cell().chartRect();
    for (double fraction : {0.001, 0.37, 0.62, 0.999}) {
        m_window->logTableView()->clearSelection();
        const QPoint point(int(chart.left() + chart.width() * fraction), int(chart.center().y()));
        QTest::mouseClick(graph, Qt::LeftButton, {}, point);
        const KLVRAbsoluteTime picked = graph->selection();
        QVERIFY(picked.isValid());
        QTRY_COMPARE(controller->selectedRows().size(), 1);
        // No row lies nearer the picked date than the one selected.
        const double chosen = std::abs(controller->selectedObjects().first()->date().secondsSince(picked));
        for (const KLVRRWCLogEntry *entry : controller->arrangedObjects())
            QVERIFY(std::abs(entry->date().secondsSince(picked)) >= chosen);
        const QRect row = m_window->logTableView()->visualRect(controller->model()->index(controller->selectedRows().first(), 0));
        QVERIFY(m_window->logTableView()->viewport()->rect().intersects(row));
    }
}

void tst_KLVRRWCLogTableWindow::findKeyFiltersAndEscapeClears()
{
    openWindowOnTheWeek();
    KLVRRWCLogTableController *controller = m_window->logTableController();
    QStringList edit;
    for (QAction *action : m_window->menuBar()->actions()) {
        if (action->menu() && action->menu()->actions().contains(controller->selectPairAction())) {
            for (QAction *item : action->menu()->actions())
                edit << item->text();
        }
    }
    for (const QString &item : {"Copy", "Clear Filter", "Select Pair", "Extend Selection to Pair"})
        QVERIFY2(edit.contains(item), qPrintable(edit.join(QLatin1Char('|'))));

    const int all = controller->model()->rowCount();
    m_window->logTableView()->setFocus();
    QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(m_window->filterField()->hasFocus());
    QTest::keyClicks(m_window->filterField(), QStringLiteral("waking"));
    const int filtered = controller->model()->rowCount();
    QVERIFY(filtered > 0 && filtered < all);
    for (const KLVRRWCLogEntry *entry : controller->arrangedObjects())
        QVERIFY(entry->summary().contains(QStringLiteral("waking")));
    QVERIFY(controller->cancelFilterAction()->isEnabled());
    // Escape in the table clears the filter.
    m_window->logTableView()->setFocus();
    QTest::keyClick(m_window->logTableView(), Qt::Key_Escape);
    QCOMPARE(m_window->filterField()->text(), QString());
    QCOMPARE(controller->model()->rowCount(), all);
}

QTEST_MAIN(tst_KLVRRWCLogTableWindow)
#include "tst_KLVRRWCLogTableWindow.moc"

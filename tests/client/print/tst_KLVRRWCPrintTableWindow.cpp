// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// File > Print in the real window over a recorded week: the report holds what the log table
// shows, filtered by the search field, in the table's sort, in its columns (their order and
// widths as on screen, hidden ones left out), read back from the PDF with pdftotext.
#include "KLVRBundle.h"
#include "KLVRExportTestSupport.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableModel.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCPrintController.h"
#include "KLVRRWCPrintableReportView.h"
#include "KLVRRWCRelativeDateFormatter.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRStringsTable.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>

using namespace KLVRExportTest;

class tst_KLVRRWCPrintTableWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void printFollowsTheRowsTheTableShows();
    void reportHoldsTheFilteredSortedRowsInTheTablesColumns_data();
    void reportHoldsTheFilteredSortedRowsInTheTablesColumns();
    void hiddenColumnIsNotPrinted();

private:
    void openWindowOnTheWeek();
    // Prints through File > Print and the print dialog into a PDF; its text page by page.
    QStringList printThroughTheDialog(const QString &name);
    QString pdfPath(const QString &name) const { return m_output.filePath(name); }

    KLVRWindowTestSupport m_support;
    QTemporaryDir m_output;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
};

void tst_KLVRRWCPrintTableWindow::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    KLVRStringsTable::setLanguage(QStringLiteral("en"));
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_output.isValid());
    QVERIFY(m_support.resetTree());
    QVERIFY(m_support.startBus());
}

void tst_KLVRRWCPrintTableWindow::init()
{
    QVERIFY(m_support.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
}

void tst_KLVRRWCPrintTableWindow::cleanup()
{
    m_window.reset();
    m_delegate.reset();
}

void tst_KLVRRWCPrintTableWindow::openWindowOnTheWeek()
{
    {
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

QStringList tst_KLVRRWCPrintTableWindow::printThroughTheDialog(const QString &name)
{
    KLVRRWCPrintController *controller = m_window->printController();
    QPrinter *printer = controller->printer();
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdfPath(name));
    QSignalSpy printed(controller, &KLVRRWCPrintController::printed);
    controller->printAction()->trigger();
    auto *dialog = qobject_cast<QPrintDialog *>(controller->activeDialog());
    if (!dialog)
        return {};
    if (!QTest::qWaitFor([dialog] { return dialog->isVisible(); }))
        return {};
    QTest::keyClick(dialog, Qt::Key_Return);
    if (!QTest::qWaitFor([&printed] { return printed.size() == 1; }))
        return {};
    const Run text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdfPath(name), QStringLiteral("-")});
    if (!text.ok())
        return {};
    QStringList pages = QString::fromUtf8(text.output).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

void tst_KLVRRWCPrintTableWindow::printFollowsTheRowsTheTableShows()
{
    openWindowOnTheWeek();
    QAction *print = m_window->printController()->printAction();
    QVERIFY(print->isEnabled());
    // A filter that matches nothing leaves the table, and the report, empty.
    QTest::keyClicks(m_window->filterField(), QStringLiteral("no such event"));
    QCOMPARE(m_window->logTableController()->model()->rowCount(), 0);
    QVERIFY(m_window->log()->countOfVisibleEntries() > 0);
    QVERIFY(!print->isEnabled());
    QVERIFY(!m_window->printController()->previewAction()->isEnabled());
    m_window->filterField()->clear();
    QVERIFY(print->isEnabled());
}

void tst_KLVRRWCPrintTableWindow::reportHoldsTheFilteredSortedRowsInTheTablesColumns_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("sortBySummary");
    QTest::addColumn<bool>("eventFirst");
    QTest::newRow("filtered, by date") << QStringLiteral("BAT0") << false << false;
    QTest::newRow("filtered, by summary, columns swapped") << QStringLiteral("ing") << true << true;
    QTest::newRow("everything, date heading clicked") << QString() << false << false;
}

void tst_KLVRRWCPrintTableWindow::reportHoldsTheFilteredSortedRowsInTheTablesColumns()
{
    QFETCH(QString, filter);
    QFETCH(bool, sortBySummary);
    QFETCH(bool, eventFirst);
    openWindowOnTheWeek();
    KLVRRWCLogTableController *table = m_window->logTableController();
    KLVRRWCLogTableView *view = m_window->logTableView();
    KLVRRWCLogTableModel *model = table->model();
    const int all = model->rowCount();

    QTest::keyClicks(m_window->filterField(), filter);
    QHeaderView *header = view->horizontalHeader();
    // Sorted as a click on a column heading sorts.
    const int sortColumn = sortBySummary ? int(KLVRRWCLogTableModel::EventColumn) : int(KLVRRWCLogTableModel::DateColumn);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(sortColumn) + header->sectionSize(sortColumn) / 2, header->height() / 2));
    if (eventFirst)
        header->moveSection(header->visualIndex(KLVRRWCLogTableModel::EventColumn), 0);
    header->resizeSection(KLVRRWCLogTableModel::DateColumn, 190);

    const std::vector<KLVRRWCLogEntry *> arranged = table->arrangedObjects();
    QVERIFY(!arranged.empty());
    if (!filter.isEmpty())
        QVERIFY(int(arranged.size()) < all);
    if (sortBySummary) {
        QVERIFY(model->summaryOf(arranged.front()) <= model->summaryOf(arranged.back()));
        QVERIFY(model->summaryOf(arranged.front()) != model->summaryOf(arranged.back()));
    } else {
        QVERIFY(arranged.front()->date() != arranged.back()->date());
    }

    // The report's columns are the view's, as it shows them.
    const auto report = m_window->printController()->makeReport(m_window->printController()->printer());
    QCOMPARE(report->rows(), qint64(arranged.size()));
    const QList<KLVRRWCPrintableReportView::Column> columns = report->columns();
    QCOMPARE(columns.size(), 2);
    for (int visual = 0; visual < 2; ++visual) {
        const int logical = header->logicalIndex(visual);
        QCOMPARE(columns.at(visual).identifier, KLVRRWCLogTableModel::identifier(logical));
        QCOMPARE(columns.at(visual).title, model->headerData(logical, Qt::Horizontal).toString());
        QCOMPARE(columns.at(visual).width, double(header->sectionSize(logical)));
    }
    // (The last column stretches to the table's right edge, as the view shows it.)
    if (!eventFirst)
        QCOMPARE(columns.at(0).width, 190.0);

    const QString pdf = pdfPath(QStringLiteral("table-%1.pdf").arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')).remove(QLatin1Char(','))));
    const QStringList pages = printThroughTheDialog(QFileInfo(pdf).fileName());
    QVERIFY(!pages.isEmpty());
    QCOMPARE(qint64(pages.size()), report->pages());

    // Every printed row line, in print order: the lines under each page's headings.
    QStringList lines;
    const QString dateTitle = model->headerData(KLVRRWCLogTableModel::DateColumn, Qt::Horizontal).toString();
    const QString eventTitle = model->headerData(KLVRRWCLogTableModel::EventColumn, Qt::Horizontal).toString();
    for (const QString &page : pages) {
        bool underHeadings = false;
        for (const QString &line : page.split(QLatin1Char('\n'))) {
            const QString simplified = line.simplified();
            if (simplified.isEmpty())
                continue;
            if (!underHeadings) {
                // The headings, in the view's order.
                const QString headings = eventFirst ? eventTitle + QLatin1Char(' ') + dateTitle : dateTitle + QLatin1Char(' ') + eventTitle;
                underHeadings = simplified == headings;
                continue;
            }
            lines.append(line);
        }
        QVERIFY2(underHeadings, qPrintable(page));
    }
    QCOMPARE(lines.size(), int(arranged.size()));
    for (size_t row = 0; row < arranged.size(); ++row) {
        const QString &line = lines.at(int(row));
        const QString date = table->dateFormatter()->stringForDate(arranged[row]->date());
        const QString summary = KLVRRWCPrintableReportView::firstLine(model->summaryOf(arranged[row])).left(30);
        const qsizetype datePosition = line.indexOf(date);
        const qsizetype summaryPosition = line.indexOf(summary);
        QVERIFY2(datePosition >= 0 && summaryPosition >= 0,
                 qPrintable(QStringLiteral("row %1: '%2' wanted '%3' and '%4'").arg(row).arg(line, date, summary)));
        QVERIFY2(eventFirst == (summaryPosition < datePosition), qPrintable(line));
        if (!filter.isEmpty())
            QVERIFY2(line.contains(filter), qPrintable(line));
    }

    // Each report's first page as a picture, for people to look at.
    const QString shots = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(shots);
    const Run render = run(QStringLiteral("pdftoppm"),
                           {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-f"),
                            QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                            shots + QStringLiteral("/printed-") + QFileInfo(pdf).completeBaseName()});
    QVERIFY2(render.ok(), render.errors.constData());
}

void tst_KLVRRWCPrintTableWindow::hiddenColumnIsNotPrinted()
{
    openWindowOnTheWeek();
    KLVRRWCLogTableController *table = m_window->logTableController();
    m_window->logTableView()->horizontalHeader()->hideSection(KLVRRWCLogTableModel::DateColumn);
    const QStringList pages = printThroughTheDialog(QStringLiteral("no-dates.pdf"));
    QVERIFY(!pages.isEmpty());
    const QString firstDate = table->dateFormatter()->stringForDate(table->arrangedObjects().front()->date());
    const QString firstSummary = table->model()->summaryOf(table->arrangedObjects().front());
    QVERIFY2(pages.first().contains(firstSummary.left(30)), qPrintable(pages.first()));
    QVERIFY2(!pages.first().contains(firstDate), qPrintable(pages.first()));
}

QTEST_MAIN(tst_KLVRRWCPrintTableWindow)
#include "tst_KLVRRWCPrintTableWindow.moc"

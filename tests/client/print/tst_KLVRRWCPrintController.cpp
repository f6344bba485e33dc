// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRExportTestSupport.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCPrintController.h"
#include "KLVRRWCPrintableReportView.h"
#include "KLVRUserDefaults.h"
#include "KLVRWindowTestSupport.h"

#include <QAction>
#include <QDir>
#include <QMessageBox>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace KLVRExportTest;
using namespace KLVRRecordTest;

// File > Print…: the report's pages, read back from the PDF the printer writes.
class tst_KLVRRWCPrintController : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<KLVRUserDefaults> m_defaults;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<KLVRRWCLog> m_log;
    std::unique_ptr<KLVRRWCDateRangeController> m_dateRange;
    std::unique_ptr<KLVRRWCPrintController> m_controller;

    // count entries a minute apart, each its own row.
    static QVariantList ticks(int count, const QString &text = QStringLiteral("Tick %1"))
    {
        QVariantList records;
        for (int i = 0; i < count; ++i)
            records.append(record(utc("2024-03-04 08:00:00").addSeconds(60.0 * i), kLast, text.arg(i)));
        return records;
    }
    void showEverything(const QVariantList &records)
    {
        m_log->addExternalEntries(records);
        m_dateRange->setSelectionTag(KLVRRWCDateRangeController::Everything);
    }
    // Paper on which exactly rows rows fit.
    void usePaperForRows(int rows)
    {
        QPrinter *printer = m_controller->printer();
        const auto report = m_controller->makeReport(printer);
        const double unit = printer->resolution() / 72.0;
        const QMarginsF margins = printer->pageLayout().margins(QPageLayout::Point);
        const double height = margins.top() + margins.bottom()
                              + (report->headerHeight() + 1.25 * report->titleRowHeight() + (rows + 0.5) * report->rowHeight()) / unit;
        printer->setPageSize(QPageSize(QSizeF(595, height), QPageSize::Point, QString(), QPageSize::ExactMatch));
        QCOMPARE(m_controller->makeReport(printer)->rowsPerPage(), qint64(rows));
    }
    // The PDF's text, page by page.
    static QStringList pdfPages(const QString &pdf)
    {
        const Run text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        if (!text.ok())
            return {};
        QStringList pages = QString::fromUtf8(text.output).split(QLatin1Char('\f'));
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        return pages;
    }
    QString printToPdf(const QString &name)
    {
        QPrinter *printer = m_controller->printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = m_dir.filePath(name);
        printer->setOutputFileName(pdf);
        return m_controller->printReport(printer) ? pdf : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        useBerlinTime();
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        m_defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.test"),
                                                        m_dir.filePath(QStringLiteral("defaults-%1.plist").arg(QDateTime::currentMSecsSinceEpoch())));
        m_window = std::make_unique<QWidget>();
        m_window->resize(800, 600);
        m_window->show();
        m_log = std::make_unique<KLVRRWCLog>();
        m_dateRange = std::make_unique<KLVRRWCDateRangeController>(m_defaults.get());
        m_log->setDateRange(m_dateRange.get());
        m_controller = std::make_unique<KLVRRWCPrintController>(m_window.get());
        m_controller->setLog(m_log.get());
        m_controller->setDateRange(m_dateRange.get());
    }

    void cleanup()
    {
        m_controller.reset();
        m_log.reset();
        m_dateRange.reset();
        m_window.reset();
        m_defaults.reset();
    }

    void printIsEnabledOnlyWhileRowsShow()
    {
        QVERIFY(!m_controller->printAction()->isEnabled());
        showEverything(ticks(3));
        QVERIFY(m_controller->printAction()->isEnabled());
        QVERIFY(m_controller->previewAction()->isEnabled());
        // A range with nothing in it leaves nothing to print.
        m_dateRange->setAbsoluteDuration(KLVRRWCAbsoluteDuration(utc("2024-03-04 08:00:00").addSeconds(-86400.0), 3600.0));
        QCOMPARE(m_log->countOfVisibleEntries(), 0);
        QVERIFY(!m_controller->printAction()->isEnabled());
    }

    void pagesRoundUpAndEachCarriesItsHeader_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("pages");
        QTest::newRow("100 entries") << 100 << 3;
        QTest::newRow("80 entries") << 80 << 2;
        QTest::newRow("81 entries") << 81 << 3;
        QTest::newRow("1 entry") << 1 << 1;
    }
    void pagesRoundUpAndEachCarriesItsHeader()
    {
        QFETCH(int, entries);
        QFETCH(int, pages);
        showEverything(ticks(entries));
        usePaperForRows(40);
        QCOMPARE(m_controller->makeReport(m_controller->printer())->pages(), qint64(pages));

        const QString pdf = printToPdf(QStringLiteral("ticks-%1.pdf").arg(entries));
        QVERIFY(!pdf.isEmpty());
        const QStringList text = pdfPages(pdf);
        QCOMPARE(text.size(), pages);
        const QString title = m_dateRange->absoluteDuration().periodDescription();
        int printedRows = 0;
        for (int page = 1; page <= pages; ++page) {
            const QString &sheet = text.at(page - 1);
            QVERIFY2(sheet.contains(QStringLiteral("Page %1 of %2").arg(page).arg(pages)), qPrintable(sheet));
            QVERIFY2(sheet.contains(KLVRBundle::main().name()), qPrintable(sheet));
            QVERIFY2(sheet.contains(title), qPrintable(sheet));
            QVERIFY2(sheet.contains(QLatin1String("Date")) && sheet.contains(QLatin1String("Event")), qPrintable(sheet));
            printedRows += int(sheet.count(QRegularExpression(QStringLiteral("Tick \\d+"))));
        }
        QCOMPARE(printedRows, entries);
        // The last row is on the last page.
        QVERIFY(text.last().contains(QStringLiteral("Tick %1").arg(entries - 1)));
    }

    void cellsPrintTheirFirstLineOnly()
    {
        showEverything({record(utc("2024-03-04 08:00:00"), kLast, QStringLiteral("Lid closed\nby the cat")),
                        record(utc("2024-03-04 09:00:00"), kLast, QStringLiteral("Woken\u2028at nine"))});
        const QStringList text = pdfPages(printToPdf(QStringLiteral("lines.pdf")));
        QCOMPARE(text.size(), 1);
        QVERIFY2(text.at(0).contains(QLatin1String("Lid closed")) && text.at(0).contains(QLatin1String("Woken")), qPrintable(text.at(0)));
        QVERIFY2(!text.at(0).contains(QLatin1String("cat")) && !text.at(0).contains(QLatin1String("nine")), qPrintable(text.at(0)));
    }

    void narrowColumnsTakeThirtyPercentOfTheWidth()
    {
        showEverything(ticks(2));
        QList<KLVRRWCPrintableReportView::Column> columns = KLVRRWCPrintableReportView::defaultColumns();
        columns[0].width = 10.0;
        columns[1].width = 500.0;
        m_controller->setTable([this] {
            std::vector<const KLVRRWCLogEntry *> rows;
            for (qsizetype i = 0; i < m_log->countOfVisibleEntries(); ++i)
                rows.push_back(m_log->objectInVisibleEntriesAtIndex(i));
            return rows;
        }, [columns] { return columns; });
        const auto report = m_controller->makeReport(m_controller->printer());
        const double width = report->printableArea().width();
        const auto geometry = report->columnGeometry();
        QCOMPARE(geometry.size(), 2);
        QCOMPARE(geometry.at(0).first, report->printableArea().x());
        QCOMPARE(geometry.at(0).second, 0.3 * width);
        QCOMPARE(geometry.at(1).first, report->printableArea().x() + 0.3 * width);
        QCOMPARE(geometry.at(1).second, 500.0 / 512.0 * width);
    }

    void paperTooSmallForOneRowIsRefusedWithAMessage()
    {
        showEverything(ticks(5));
        QPrinter *printer = m_controller->printer();
        printer->setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Point);
        printer->setPageSize(QPageSize(QSizeF(200, 40), QPageSize::Point, QString(), QPageSize::ExactMatch));
        const auto report = m_controller->makeReport(printer);
        QVERIFY(!report->canPrint());
        QCOMPARE(report->pages(), qint64(0));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not one row fits")));
        QVERIFY(printToPdf(QStringLiteral("small.pdf")).isEmpty());
        auto *message = qobject_cast<QMessageBox *>(m_controller->messageBox());
        QVERIFY(message);
        QTRY_VERIFY(message->isVisible());
        QVERIFY2(message->text().contains(QLatin1String("not one row fits")), qPrintable(message->text()));
        message->button(QMessageBox::Ok)->click();
    }

    void printDialogPrintsARecordedWeek()
    {
        QVariantList records;
        for (const QVariantMap &r : KLVRWindowTestSupport::recordedWeek())
            records.append(r);
        showEverything(records);
        m_dateRange->setSelectionTag(KLVRRWCDateRangeController::LastSevenDays);
        const qsizetype rows = m_log->countOfVisibleEntries();
        QVERIFY(rows > 40);
        QPrinter *printer = m_controller->printer();
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = m_dir.filePath(QStringLiteral("week.pdf"));
        printer->setOutputFileName(pdf);

        QSignalSpy printed(m_controller.get(), &KLVRRWCPrintController::printed);
        m_controller->printAction()->trigger();
        auto *dialog = qobject_cast<QPrintDialog *>(m_controller->activeDialog());
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Return);
        QTRY_COMPARE(printed.size(), 1);
        const qint64 pages = printed.at(0).at(0).toLongLong();
        QCOMPARE(pdfPages(pdf).size(), int(pages));
        const QStringList text = pdfPages(pdf);
        QVERIFY2(text.at(0).contains(m_log->objectInVisibleEntriesAtIndex(0)->summary()), qPrintable(text.at(0)));

        // The first page as a picture, for people to look at.
        const QString shots = QStringLiteral(RESTWATCH_BINARY_DIR "/screenshots");
        QDir().mkpath(shots);
        const Run render = run(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"),
                                                            QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                            QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                                                            shots + QStringLiteral("/printed-week")});
        QVERIFY2(render.ok(), render.errors.constData());
        QVERIFY(!QImage(shots + QStringLiteral("/printed-week.png")).isNull());
    }
};

QTEST_MAIN(tst_KLVRRWCPrintController)
#include "tst_KLVRRWCPrintController.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCPrintableReportView.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

class KLVRRWCDateRangeController;
class KLVRRWCLog;
class KLVRRWCLogTableController;
class QAction;
class QPrinter;
class QProgressDialog;
class QWidget;

// File > Print… and File > Print Preview…: prints the rows the log table shows as a paginated
// report (KLVRRWCPrintableReportView) titled with the chosen date range's period, through the
// print dialog or the preview. The printer and its settings are kept from one print to the next.
// Long reports show their progress page by page and can be cancelled; paper on which not one
// row fits is refused with a message. Print is enabled only while the table shows a row.
// Main thread only.
class KLVRRWCPrintController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCPrintController)

public:
    using Rows = std::function<std::vector<const KLVRRWCLogEntry *>()>;
    using Columns = std::function<QList<KLVRRWCPrintableReportView::Column>()>;
    static constexpr int kProgressMinimumDuration = 400; // ms before the progress dialog shows

    // window: what the dialogs are modal on.
    explicit KLVRRWCPrintController(QWidget *window, QObject *parent = nullptr);
    ~KLVRRWCPrintController() override;

    // Outlets (not owned). Without a table the rows are the log's visible entries in the
    // report's default columns.
    void setDateRange(KLVRRWCDateRangeController *dateRange) { m_dateRange = dateRange; }
    void setLog(KLVRRWCLog *log);
    // The table's arranged rows and its columns; rowsChanged() re-checks the Print command.
    void setTable(Rows rows, Columns columns);
    void rowsChanged();
    // The log table whose arranged (filtered, sorted) rows are printed, in the columns its view
    // shows (their order, titles and widths as on screen, hidden ones left out), each cell the
    // text the table shows for it. Print follows the table's rows as they are rearranged.
    void setTableController(KLVRRWCLogTableController *tableController);
    KLVRRWCLogTableController *tableController() const;
    // The printed columns of the table as it is now; the default columns without a table view.
    QList<KLVRRWCPrintableReportView::Column> tableColumns() const;

    QAction *printAction() const { return m_printAction; }
    QAction *previewAction() const { return m_previewAction; }
    bool validatePrint() const;

    // The shared print settings.
    QPrinter *printer() const { return m_printer.get(); }
    // The report of what the table shows now, laid out for the printer.
    std::unique_ptr<KLVRRWCPrintableReportView> makeReport(QPrinter *printer) const;
    QString reportTitle() const;

    // Runs the print dialog, window-modal; printing starts when it is accepted.
    void print();
    void printPreview();
    // Prints the report on printer; false when nothing was printed (the message was shown for
    // paper that is too small, a cancelled print shows nothing).
    bool printReport(QPrinter *printer);

    QWidget *activeDialog() const { return m_activeDialog; }
    QWidget *messageBox() const { return m_messageBox; }

Q_SIGNALS:
    // A report was printed (pages of it).
    void printed(qint64 pages);

private:
    void showMessage(const QString &text);
    void updateActions();

    QPointer<QWidget> m_window;
    QPointer<KLVRRWCDateRangeController> m_dateRange;
    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCLogTableController> m_tableController;
    Rows m_rows;
    Columns m_columns;
    std::unique_ptr<QPrinter> m_printer;
    QAction *m_printAction = nullptr;
    QAction *m_previewAction = nullptr;
    QPointer<QWidget> m_activeDialog;
    QPointer<QWidget> m_messageBox;
};

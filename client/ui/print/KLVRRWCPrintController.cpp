// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPrintController.h"

#include "KLVRFormat.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableModel.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRRWCRelativeDateFormatter.h"
#include "KLVRStringsTable.h"

#include <QAction>
#include <QHeaderView>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

namespace {

QString localized(const QString &role)
{
    const QString table = QStringLiteral("KLVRRWCPrintController");
    return KLVRStringsTable::localizedString(table + QLatin1Char('.') + role, table);
}

} // namespace

KLVRRWCPrintController::KLVRRWCPrintController(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    m_printer->setDocName(KLVRRWCPrintableReportView::applicationName());
    m_printer->setFullPage(true);
    m_printer->setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);

    m_printAction = new QAction(localized(QStringLiteral("print")), this);
    m_printAction->setObjectName(QStringLiteral("KLVRRWCPrintController.print"));
    m_printAction->setShortcut(QKeySequence::Print);
    m_printAction->setIcon(QIcon::fromTheme(QStringLiteral("document-print")));
    connect(m_printAction, &QAction::triggered, this, &KLVRRWCPrintController::print);
    m_previewAction = new QAction(localized(QStringLiteral("preview")), this);
    m_previewAction->setObjectName(QStringLiteral("KLVRRWCPrintController.preview"));
    m_previewAction->setIcon(QIcon::fromTheme(QStringLiteral("document-print-preview")));
    connect(m_previewAction, &QAction::triggered, this, &KLVRRWCPrintController::printPreview);
    updateActions();
}

KLVRRWCPrintController::~KLVRRWCPrintController() = default;

void KLVRRWCPrintController::setLog(KLVRRWCLog *log)
{
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    if (m_log)
        connect(m_log, &KLVRRWCLog::visibleEntriesChanged, this, &KLVRRWCPrintController::updateActions);
    updateActions();
}

void KLVRRWCPrintController::setTable(Rows rows, Columns columns)
{
    m_rows = std::move(rows);
    m_columns = std::move(columns);
    updateActions();
}

void KLVRRWCPrintController::rowsChanged()
{
    updateActions();
}

void KLVRRWCPrintController::setTableController(KLVRRWCLogTableController *tableController)
{
    if (m_tableController)
        disconnect(m_tableController->model(), nullptr, this, nullptr);
    m_tableController = tableController;
    if (m_tableController) {
        // Every filter keystroke, sort and range change rearranges the rows.
        connect(m_tableController->model(), &KLVRRWCLogTableModel::didRearrange, this, &KLVRRWCPrintController::updateActions);
        connect(m_tableController->model(), &QAbstractItemModel::modelReset, this, &KLVRRWCPrintController::updateActions);
        // A filter's later rows arrive while the event loop is idle.
        connect(m_tableController->model(), &QAbstractItemModel::rowsInserted, this, &KLVRRWCPrintController::updateActions);
    }
    updateActions();
}

KLVRRWCLogTableController *KLVRRWCPrintController::tableController() const
{
    return m_tableController;
}

QList<KLVRRWCPrintableReportView::Column> KLVRRWCPrintController::tableColumns() const
{
    KLVRRWCLogTableView *view = m_tableController ? m_tableController->tableView() : nullptr;
    if (!view || view->model() != m_tableController->model())
        return KLVRRWCPrintableReportView::defaultColumns();
    const KLVRRWCLogTableModel *model = m_tableController->model();
    const QHeaderView *header = view->horizontalHeader();
    const QPointer<const KLVRRWCLogTableModel> source(model);
    const QPointer<KLVRRWCRelativeDateFormatter> dateFormatter(m_tableController->dateFormatter());
    QList<KLVRRWCPrintableReportView::Column> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical < 0 || header->isSectionHidden(logical))
            continue;
        KLVRRWCPrintableReportView::Column column;
        column.identifier = KLVRRWCLogTableModel::identifier(logical);
        column.title = model->headerData(logical, Qt::Horizontal).toString();
        column.width = header->sectionSize(logical);
        const QVariant alignment =
            model->rowCount() > 0 ? model->data(model->index(0, logical), Qt::TextAlignmentRole) : QVariant();
        if (alignment.isValid())
            column.alignment = Qt::Alignment(alignment.toInt()) & Qt::AlignHorizontal_Mask;
        // The texts come from the entry, not the row number, so that rows rearranged while a
        // long report prints cannot shift its cells.
        if (logical == KLVRRWCLogTableModel::DateColumn) {
            column.text = [dateFormatter](qsizetype, const KLVRRWCLogEntry *entry) {
                return dateFormatter ? dateFormatter->stringForDate(entry->date()) : QString();
            };
        } else {
            column.text = [source](qsizetype, const KLVRRWCLogEntry *entry) {
                return source ? source->summaryOf(entry) : QString();
            };
        }
        columns.append(column);
    }
    return columns;
}

void KLVRRWCPrintController::updateActions()
{
    const bool enabled = validatePrint();
    m_printAction->setEnabled(enabled);
    m_previewAction->setEnabled(enabled);
}

bool KLVRRWCPrintController::validatePrint() const
{
    if (m_tableController)
        return m_tableController->model()->rowCount() > 0;
    if (m_rows)
        return !m_rows().empty();
    return m_log && m_log->countOfVisibleEntries() > 0;
}

QString KLVRRWCPrintController::reportTitle() const
{
    return m_dateRange ? m_dateRange->absoluteDuration().periodDescription() : QString();
}

std::unique_ptr<KLVRRWCPrintableReportView> KLVRRWCPrintController::makeReport(QPrinter *printer) const
{
    std::vector<const KLVRRWCLogEntry *> rows;
    if (m_tableController) {
        const std::vector<KLVRRWCLogEntry *> &arranged = m_tableController->arrangedObjects();
        rows.assign(arranged.begin(), arranged.end());
    } else if (m_rows) {
        rows = m_rows();
    } else if (m_log) {
        const qsizetype count = m_log->countOfVisibleEntries();
        rows.reserve(size_t(count));
        for (qsizetype i = 0; i < count; ++i)
            rows.push_back(m_log->objectInVisibleEntriesAtIndex(i));
    }
    const QList<KLVRRWCPrintableReportView::Column> columns =
        m_tableController ? tableColumns() : (m_columns ? m_columns() : KLVRRWCPrintableReportView::defaultColumns());
    return std::make_unique<KLVRRWCPrintableReportView>(columns, std::move(rows), reportTitle(), printer->pageLayout(),
                                                        printer);
}

void KLVRRWCPrintController::print()
{
    if (!validatePrint())
        return;
    if (m_activeDialog)
        m_activeDialog->deleteLater();
    auto *dialog = new QPrintDialog(m_printer.get(), m_window);
    dialog->setObjectName(QStringLiteral("KLVRRWCPrintController.dialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // The page range the dialog offers ends at the report's last page.
    const std::unique_ptr<KLVRRWCPrintableReportView> report = makeReport(m_printer.get());
    dialog->setMinMax(1, int(std::max<qint64>(1, report->pages())));
    m_activeDialog = dialog;
    // Printing runs the event loop for its progress; it starts once the dialog has closed.
    connect(dialog, &QDialog::accepted, this, [this] { printReport(m_printer.get()); }, Qt::QueuedConnection);
    dialog->open();
}

void KLVRRWCPrintController::printPreview()
{
    if (!validatePrint())
        return;
    if (m_activeDialog)
        m_activeDialog->deleteLater();
    auto *dialog = new QPrintPreviewDialog(m_printer.get(), m_window);
    dialog->setObjectName(QStringLiteral("KLVRRWCPrintController.preview"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    m_activeDialog = dialog;
    connect(dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *printer) { printReport(printer); });
    dialog->open();
}

bool KLVRRWCPrintController::printReport(QPrinter *printer)
{
    const std::unique_ptr<KLVRRWCPrintableReportView> report = makeReport(printer);
    if (!report->canPrint()) {
        showMessage(localized(QStringLiteral("paperTooSmall")));
        return false;
    }
    if (report->pages() == 0)
        return false;

    qint64 from = 1;
    qint64 to = report->pages();
    if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
        from = std::max<qint64>(1, printer->fromPage());
        to = std::min<qint64>(to, std::max<qint64>(from, printer->toPage()));
    }
    if (from > to)
        return false;

    printer->setDocName(report->printJobTitle());
    QPainter painter;
    if (!painter.begin(printer)) {
        showMessage(KLVRFormat::string(localized(QStringLiteral("failed")), printer->outputFileName()));
        return false;
    }
    QProgressDialog progress(KLVRFormat::string(localized(QStringLiteral("progress")), from, to), localized(QStringLiteral("cancel")),
                             0, int(to - from + 1), m_window);
    progress.setObjectName(QStringLiteral("KLVRRWCPrintController.progress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressMinimumDuration);
    for (qint64 page = from; page <= to; ++page) {
        progress.setLabelText(KLVRFormat::string(localized(QStringLiteral("progress")), page, to));
        progress.setValue(int(page - from));
        QCoreApplication::processEvents();
        if (progress.wasCanceled()) {
            printer->abort();
            painter.end();
            return false;
        }
        if (page > from)
            printer->newPage();
        report->drawPage(painter, page);
    }
    painter.end();
    progress.setValue(int(to - from + 1));
    Q_EMIT printed(to - from + 1);
    return true;
}

void KLVRRWCPrintController::showMessage(const QString &text)
{
    qCWarning(lcRWCExport).noquote() << "KLVRRWCPrintController" << text;
    auto *box = new QMessageBox(QMessageBox::Warning, QString(), text, QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("KLVRRWCPrintController.message"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    m_messageBox = box;
    box->open();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <functional>
#include <vector>

class KLVRRWCLogEntry;
class QPainter;
class QPaintDevice;

// The log table as a paginated report: every row the table shows, in the table's columns, with
// a page header (the application's name, "Page %d of %d" and the report's title) and the
// column headings on every page.
//
// The report is one tall picture in device units with y growing downwards: page n is the
// slice rectForPage(n), one paper height below page n-1. Printing a page draws its slice
// (drawRect), translated onto the sheet. Geometry, worked out once at creation:
//   rowsPerPage = (printable height - header height - 1.25 x title row height) / row height,
//   truncated; pages = rows / rowsPerPage, rounded up;
//   a column's printed width = max(0.3, its width / table width) x printable width, so narrow
//   columns still show something (several narrow ones can run past the right margin).
// A cell shows the first line of its text only, cut short with an ellipsis when too wide.
// Paper on which not one row fits gives no pages and canPrint() false, never a division by
// zero. Needs no widgets; main thread only (it reads the log's entries).
class KLVRRWCPrintableReportView
{
public:
    struct Column
    {
        // "date", "event", ...: what the column shows.
        QString identifier;
        QString title;
        // The column's width in the table, in any unit: only its share of the table counts.
        double width = 0.0;
        Qt::Alignment alignment = Qt::AlignLeft;
        // The cell's text for a row (its index among the rows and its entry); a column without
        // one prints nothing.
        std::function<QString(qsizetype row, const KLVRRWCLogEntry *entry)> text;
    };

    // Design lengths, in points.
    static constexpr double kColumnPadding = 3.0;
    static constexpr double kSeparatorWidth = 0.25;
    static constexpr double kMinimumColumnShare = 0.3;

    // layout: paper and margins; device: what the report is measured for and drawn on (a
    // printer); rows are not owned and must live as long as the report.
    KLVRRWCPrintableReportView(const QList<Column> &columns, std::vector<const KLVRRWCLogEntry *> rows,
                               const QString &title, const QPageLayout &layout, const QPaintDevice *device);

    // A date and an event column showing the entry's date and summary, for a report without a
    // table to copy its columns from.
    static QList<Column> defaultColumns();

    qint64 pages() const { return m_pages; }
    qint64 rows() const { return qint64(m_rows.size()); }
    qint64 rowsPerPage() const { return m_rowsPerPage; }
    bool canPrint() const { return m_rowsPerPage > 0; }
    const QString &title() const { return m_title; }
    const QList<Column> &columns() const { return m_columns; }

    // Geometry in device units.
    double tableWidth() const { return m_tableWidth; }
    double columnPadding() const { return m_columnPadding; }
    double headerHeight() const { return m_headerHeight; }
    double titleRowHeight() const { return m_titleRowHeight; }
    double rowHeight() const { return m_rowHeight; }
    QRectF printableArea() const { return m_printableArea; }
    QSizeF paperSize() const { return m_paperSize; }
    // The slice of the report that is page n (1-based).
    QRectF rectForPage(qint64 page) const;
    // Where page n's header lies in the report.
    QRectF headerRectForPage(qint64 page) const;
    // Each column's printed left edge and width, in display order.
    QList<std::pair<double, double>> columnGeometry() const;

    // The header's page text for page n.
    QString pageText(qint64 page) const;
    // The application's name, shown in the header and naming the print job.
    static QString applicationName();
    QString printJobTitle() const { return applicationName(); }
    QFont fontForRow() const { return m_rowFont; }
    // A cell's text as printed: the first line only.
    static QString firstLine(const QString &text);

    // Draws what of the report meets dirty (report coordinates).
    void drawRect(QPainter &painter, const QRectF &dirty) const;
    // Draws page n on a sheet whose top left is the painter's origin.
    void drawPage(QPainter &painter, qint64 page) const;

private:
    void drawPageHeader(QPainter &painter, qint64 page, const QRectF &rect) const;
    void drawColumnHeadings(QPainter &painter, double y) const;
    void drawRow(QPainter &painter, qsizetype row, double y) const;

    QList<Column> m_columns;
    std::vector<const KLVRRWCLogEntry *> m_rows;
    QString m_title;
    const QPaintDevice *m_device;
    QFont m_rowFont;
    QFont m_headingFont;
    QFont m_headerFont;
    QFont m_headerTitleFont;
    double m_unit = 1.0; // device units per point
    qint64 m_pages = 0;
    qint64 m_rowsPerPage = 0;
    double m_tableWidth = 0.0;
    double m_columnPadding = 0.0;
    double m_headerHeight = 0.0;
    double m_titleRowHeight = 0.0;
    double m_rowHeight = 0.0;
    QRectF m_printableArea;
    QSizeF m_paperSize;
};

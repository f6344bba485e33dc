// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPrintableReportView.h"

#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRStringsTable.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

const QString kTable = QStringLiteral("KLVRRWCPrintableReportView");

QFont sizedFont(double points, bool bold)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFontMetricsF metrics(const QFont &font, const QPaintDevice *device)
{
    return QFontMetricsF(font, const_cast<QPaintDevice *>(device));
}

} // namespace

KLVRRWCPrintableReportView::KLVRRWCPrintableReportView(const QList<Column> &columns,
                                                       std::vector<const KLVRRWCLogEntry *> rows, const QString &title,
                                                       const QPageLayout &layout, const QPaintDevice *device)
    : m_columns(columns)
    , m_rows(std::move(rows))
    , m_title(title)
    , m_device(device)
    , m_rowFont(sizedFont(8.0, false))
    , m_headingFont(sizedFont(8.0, true))
    , m_headerFont(sizedFont(10.0, true))
    , m_headerTitleFont(sizedFont(9.0, false))
{
    const int resolution = device ? device->logicalDpiY() : 72;
    m_unit = resolution / 72.0;

    m_rowHeight = metrics(m_rowFont, device).height();
    m_tableWidth = 2.0;
    for (const Column &column : m_columns)
        m_tableWidth += column.width;
    m_columnPadding = kColumnPadding * m_unit;
    m_titleRowHeight = m_rowHeight;
    // The application's name and the page text on one line, the title on the next, a rule.
    m_headerHeight = metrics(m_headerFont, device).lineSpacing() + metrics(m_headerTitleFont, device).lineSpacing()
                     + 4.0 * m_unit;

    const QRectF paper = layout.fullRectPoints();
    const QMarginsF margins = layout.margins(QPageLayout::Point);
    m_paperSize = QSizeF(paper.width() * m_unit, paper.height() * m_unit);
    m_printableArea = QRectF(margins.left() * m_unit, margins.top() * m_unit,
                             (paper.width() - margins.left() - margins.right()) * m_unit,
                             (paper.height() - margins.top() - margins.bottom()) * m_unit);

    // The headings and the gap under them take a title row and a quarter.
    const double forRows = m_printableArea.height() - m_headerHeight - 1.25 * m_titleRowHeight;
    m_rowsPerPage = m_rowHeight > 0.0 && forRows > 0.0 ? qint64(std::floor(forRows / m_rowHeight)) : 0;
    if (m_rowsPerPage > 0)
        m_pages = (qint64(m_rows.size()) + m_rowsPerPage - 1) / m_rowsPerPage;
}

QList<KLVRRWCPrintableReportView::Column> KLVRRWCPrintableReportView::defaultColumns()
{
    Column date;
    date.identifier = QStringLiteral("date");
    date.title = KLVRStringsTable::localizedString(kTable + QStringLiteral(".date"), kTable);
    date.width = 160.0;
    date.text = [](qsizetype, const KLVRRWCLogEntry *entry) {
        return KLVRRWCAbsoluteDuration::dateDescription(entry->date());
    };
    Column event;
    event.identifier = QStringLiteral("event");
    event.title = KLVRStringsTable::localizedString(kTable + QStringLiteral(".event"), kTable);
    event.width = 480.0;
    event.text = [](qsizetype, const KLVRRWCLogEntry *entry) { return entry->summary(); };
    return {date, event};
}

QString KLVRRWCPrintableReportView::applicationName()
{
    return KLVRBundle::main().name();
}

QString KLVRRWCPrintableReportView::pageText(qint64 page) const
{
    return KLVRFormat::string(KLVRStringsTable::localizedString(QStringLiteral("Page %d of %d"), kTable), page, m_pages);
}

QString KLVRRWCPrintableReportView::firstLine(const QString &text)
{
    static const QString breaks = QStringLiteral("\n\r\x0b\x0c") + QChar(QChar::LineSeparator) + QChar(QChar::ParagraphSeparator)
                                  + QChar(0x85);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (breaks.contains(text.at(i)))
            return text.left(i);
    }
    return text;
}

QRectF KLVRRWCPrintableReportView::rectForPage(qint64 page) const
{
    return QRectF(0.0, double(page - 1) * m_paperSize.height(), m_paperSize.width(), m_paperSize.height());
}

QRectF KLVRRWCPrintableReportView::headerRectForPage(qint64 page) const
{
    return QRectF(m_printableArea.x(), rectForPage(page).top() + m_printableArea.top(), m_printableArea.width(),
                  m_headerHeight);
}

QList<std::pair<double, double>> KLVRRWCPrintableReportView::columnGeometry() const
{
    QList<std::pair<double, double>> geometry;
    double offset = 0.0;
    for (const Column &column : m_columns) {
        const double width = std::max(kMinimumColumnShare, column.width / m_tableWidth) * m_printableArea.width();
        geometry.append({m_printableArea.x() + offset, width});
        offset += width;
    }
    return geometry;
}

void KLVRRWCPrintableReportView::drawPage(QPainter &painter, qint64 page) const
{
    painter.save();
    painter.translate(0.0, -rectForPage(page).top());
    drawRect(painter, rectForPage(page));
    painter.restore();
}

void KLVRRWCPrintableReportView::drawRect(QPainter &painter, const QRectF &dirty) const
{
    if (!canPrint() || m_paperSize.height() <= 0.0)
        return;
    const double paperHeight = m_paperSize.height();
    const qint64 first = std::max<qint64>(1, qint64(std::floor(dirty.top() / paperHeight)) + 1);
    const qint64 last = std::min<qint64>(m_pages, qint64(std::ceil(dirty.bottom() / paperHeight)));
    for (qint64 page = first; page <= last; ++page) {
        const QRectF header = headerRectForPage(page);
        if (header.intersects(dirty))
            drawPageHeader(painter, page, header);
        double y = header.bottom();
        drawColumnHeadings(painter, y);
        y += 1.25 * m_titleRowHeight;
        const qint64 begin = (page - 1) * m_rowsPerPage;
        const qint64 end = std::min<qint64>(rows(), begin + m_rowsPerPage);
        for (qint64 row = begin; row < end; ++row, y += m_rowHeight) {
            if (QRectF(m_printableArea.x(), y, m_printableArea.width(), m_rowHeight).intersects(dirty))
                drawRow(painter, qsizetype(row), y);
        }
    }
}

void KLVRRWCPrintableReportView::drawPageHeader(QPainter &painter, qint64 page, const QRectF &rect) const
{
    painter.save();
    painter.setPen(Qt::black);
    const QFontMetricsF nameMetrics = metrics(m_headerFont, m_device);
    const QRectF firstLine(rect.x(), rect.y(), rect.width(), nameMetrics.lineSpacing());
    painter.setFont(m_headerFont);
    painter.drawText(firstLine, Qt::AlignLeft | Qt::AlignVCenter, applicationName());
    painter.setFont(m_headerTitleFont);
    painter.drawText(firstLine, Qt::AlignRight | Qt::AlignVCenter, pageText(page));
    const QFontMetricsF titleMetrics = metrics(m_headerTitleFont, m_device);
    const QRectF secondLine(rect.x(), firstLine.bottom(), rect.width(), titleMetrics.lineSpacing());
    painter.drawText(secondLine, Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(m_title, Qt::ElideRight, secondLine.width()));
    QPen rule(Qt::black);
    rule.setWidthF(0.5 * m_unit);
    painter.setPen(rule);
    const double ruleY = rect.bottom() - 1.5 * m_unit;
    painter.drawLine(QPointF(rect.left(), ruleY), QPointF(rect.right(), ruleY));
    painter.restore();
}

void KLVRRWCPrintableReportView::drawColumnHeadings(QPainter &painter, double y) const
{
    painter.save();
    painter.setPen(Qt::black);
    painter.setFont(m_headingFont);
    const QFontMetricsF headingMetrics = metrics(m_headingFont, m_device);
    const QList<std::pair<double, double>> geometry = columnGeometry();
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        const double width = std::max(0.0, geometry.at(i).second - m_columnPadding);
        const QRectF cell(geometry.at(i).first, y, width, m_titleRowHeight);
        painter.drawText(cell, int(m_columns.at(i).alignment) | Qt::AlignBottom | Qt::TextSingleLine,
                         headingMetrics.elidedText(m_columns.at(i).title, Qt::ElideRight, width));
    }
    painter.restore();
}

void KLVRRWCPrintableReportView::drawRow(QPainter &painter, qsizetype row, double y) const
{
    painter.save();
    painter.setPen(Qt::black);
    painter.setFont(m_rowFont);
    const QFontMetricsF rowMetrics = metrics(m_rowFont, m_device);
    const QList<std::pair<double, double>> geometry = columnGeometry();
    const KLVRRWCLogEntry *entry = m_rows[size_t(row)];
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        const Column &column = m_columns.at(i);
        if (column.identifier.isEmpty())
            qCWarning(lcRWCExport, "Error column does not have an identifier set!");
        if (!column.text)
            continue;
        const double width = std::max(0.0, geometry.at(i).second - m_columnPadding);
        const QString text = rowMetrics.elidedText(firstLine(column.text(row, entry)), Qt::ElideRight, width);
        painter.drawText(QRectF(geometry.at(i).first, y, width, m_rowHeight),
                         int(column.alignment) | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    // A light grey line under the row.
    QPen separator(QColor(191, 191, 191));
    separator.setWidthF(kSeparatorWidth * m_unit);
    painter.setPen(separator);
    const double bottom = y + m_rowHeight;
    painter.drawLine(QPointF(m_printableArea.left(), bottom), QPointF(m_printableArea.right(), bottom));
    painter.restore();
}

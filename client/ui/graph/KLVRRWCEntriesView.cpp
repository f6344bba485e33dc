// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesView.h"

#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCLog.h"

#include <QBuffer>
#include <QDrag>
#include <QHelpEvent>
#include <QImageWriter>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>

namespace {

QByteArray encode(const QImage &image, const QByteArray &format, int compression)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (compression >= 0)
        writer.setCompression(compression);
    if (!writer.write(image))
        return QByteArray();
    return data;
}

} // namespace

KLVRRWCEntriesView::KLVRRWCEntriesView(QWidget *parent) : QWidget(parent), m_cell(std::make_unique<KLVRRWCEntriesCell>())
{
    m_cell->setControlView(this);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

KLVRRWCEntriesView::~KLVRRWCEntriesView() = default;

void KLVRRWCEntriesView::setLog(KLVRRWCLog *log)
{
    if (m_log == log)
        return;
    disconnect(m_logConnection);
    m_log = log;
    if (log)
        m_logConnection = connect(log, &KLVRRWCLog::visibleEntriesChanged, this, &KLVRRWCEntriesView::dataSourceDidChange);
    m_cell->setLog(log);
    dataSourceDidChange();
}

void KLVRRWCEntriesView::setDateRange(KLVRRWCDateRangeController *dateRange)
{
    if (m_dateRange == dateRange)
        return;
    disconnect(m_dateRangeConnection);
    m_dateRange = dateRange;
    if (dateRange)
        m_dateRangeConnection = connect(dateRange, &KLVRRWCDateRangeController::absoluteDurationChanged, this,
                                        &KLVRRWCEntriesView::dataSourceDidChange);
    m_cell->setDateRange(dateRange);
    dataSourceDidChange();
}

void KLVRRWCEntriesView::dataSourceDidChange()
{
    // update() folds every request before the next paint into one redraw.
    m_cell->setDataSourceChanged(true);
    update();
}

bool KLVRRWCEntriesView::isTitled() const
{
    return m_cell->isTitled();
}

void KLVRRWCEntriesView::setTitled(bool titled)
{
    if (titled == m_cell->isTitled())
        return;
    m_cell->setTitled(titled);
    update();
}

bool KLVRRWCEntriesView::isBordered() const
{
    return m_cell->isBordered();
}

void KLVRRWCEntriesView::setBordered(bool bordered)
{
    if (bordered == m_cell->isBordered())
        return;
    m_cell->setBordered(bordered);
    update();
}

KLVRAbsoluteTime KLVRRWCEntriesView::selection() const
{
    return m_cell->selection();
}

void KLVRRWCEntriesView::setSelection(KLVRAbsoluteTime selection)
{
    const KLVRAbsoluteTime old = m_cell->selection();
    m_cell->setSelection(selection);
    if (!(old == selection) && (old.isValid() || selection.isValid()))
        Q_EMIT selectionChanged(selection);
}

QString KLVRRWCEntriesView::labelTopLeft() const
{
    return m_cell->labelTopLeft();
}

void KLVRRWCEntriesView::setLabelTopLeft(const QString &label)
{
    if (label == m_cell->labelTopLeft())
        return;
    m_cell->setLabelTopLeft(label);
    m_cell->setDataSourceChanged(true);
    m_cell->discardCachedImage();
    update();
}

QString KLVRRWCEntriesView::labelBanner() const
{
    return m_cell->labelBanner();
}

void KLVRRWCEntriesView::setLabelBanner(const QString &label)
{
    if (label == m_cell->labelBanner())
        return;
    m_cell->setLabelBanner(label);
    m_cell->setDataSourceChanged(true);
    m_cell->discardCachedImage();
    update();
}

QImage KLVRRWCEntriesView::imageValue() const
{
    return imageValueWithWidth(width(), height());
}

QImage KLVRRWCEntriesView::imageValueWithWidth(double width, double height) const
{
    return m_cell->imageWithSize(QSizeF(width, height));
}

QByteArray KLVRRWCEntriesView::PNGRepresentationOfImage(const QImage &image)
{
    return encode(image, "png", -1);
}

QByteArray KLVRRWCEntriesView::TIFFRepresentationOfImage(const QImage &image)
{
    // The TIFF writer's compression 1 is LZW.
    return encode(image, "tiff", 1);
}

QByteArray KLVRRWCEntriesView::PNGRepresentation() const
{
    return PNGRepresentationOfImage(imageValue());
}

QByteArray KLVRRWCEntriesView::TIFFRepresentation() const
{
    return TIFFRepresentationOfImage(imageValue());
}

QMimeData *KLVRRWCEntriesView::dragMimeData() const
{
    const QImage image = imageValue();
    auto *data = new QMimeData;
    data->setImageData(image);
    data->setData(QStringLiteral("image/png"), PNGRepresentationOfImage(image));
    const QByteArray tiff = TIFFRepresentationOfImage(image);
    if (!tiff.isEmpty())
        data->setData(QStringLiteral("image/tiff"), tiff);
    return data;
}

void KLVRRWCEntriesView::paint(QPainter &painter, const QRectF &rect) const
{
    m_cell->copy()->paint(painter, rect);
}

QSize KLVRRWCEntriesView::sizeHint() const
{
    return QSize(640, 240);
}

QSize KLVRRWCEntriesView::minimumSizeHint() const
{
    return QSize(240, 120);
}

bool KLVRRWCEntriesView::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    QRectF area;
    const QString text = m_cell->toolTipAt(help->pos(), &area);
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, this, area.toAlignedRect());
    }
    return true;
}

void KLVRRWCEntriesView::changeEvent(QEvent *event)
{
    // The border takes its colour from the palette.
    if (event->type() == QEvent::PaletteChange)
        dataSourceDidChange();
    QWidget::changeEvent(event);
}

void KLVRRWCEntriesView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_cell->drawInteriorWithFrame(painter, QRectF(rect()));
}

void KLVRRWCEntriesView::track(const QPointF &point)
{
    const KLVRAbsoluteTime old = m_cell->selection();
    m_cell->continueTracking(point);
    const KLVRAbsoluteTime now = m_cell->selection();
    if (!(old == now) && now.isValid())
        Q_EMIT selectionChanged(now);
    if (now.isValid())
        Q_EMIT activated(now);
}

void KLVRRWCEntriesView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (event->modifiers() & Qt::AltModifier)
        startDrag(event->position());
    track(event->position());
}

void KLVRRWCEntriesView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    track(event->position());
}

void KLVRRWCEntriesView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    track(event->position());
}

void KLVRRWCEntriesView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (event->modifiers() & Qt::AltModifier)
        startDrag(event->position());
    track(event->position());
    // Without any date picked so far there is no day to show.
    const KLVRAbsoluteTime day = m_cell->selection();
    if (!m_dateRange || !day.isValid())
        return;
    m_dateRange->setStartingDay(day);
    m_dateRange->setEndingDay(day);
}

void KLVRRWCEntriesView::startDrag(const QPointF &point)
{
    auto *drag = new QDrag(this);
    QMimeData *data = dragMimeData();
    drag->setPixmap(QPixmap::fromImage(qvariant_cast<QImage>(data->imageData())));
    // The picture leaves from where it stands, under the pointer.
    drag->setHotSpot(point.toPoint());
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

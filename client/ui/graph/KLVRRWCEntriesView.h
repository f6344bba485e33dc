// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"

#include <QByteArray>
#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <memory>

class KLVRRWCEntriesCell;
class QMimeData;

// The time-line graph of the main window. Owns no data: it draws the log's visible entries for
// the date range through its cell, redraws when either changes (a burst of changes gives one
// redraw), turns presses and drags inside the chart into a selected date (activated() on every
// step, for the log table to follow), zooms the range to the day under a double click, lets the
// picture be dragged out as an image with Alt held, and renders it at any size for export.
class KLVRRWCEntriesView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCEntriesView)
    Q_PROPERTY(bool titled READ isTitled WRITE setTitled)
    Q_PROPERTY(bool bordered READ isBordered WRITE setBordered)
    Q_PROPERTY(KLVRAbsoluteTime selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(QString labelTopLeft READ labelTopLeft WRITE setLabelTopLeft)
    Q_PROPERTY(QString labelBanner READ labelBanner WRITE setLabelBanner)

public:
    explicit KLVRRWCEntriesView(QWidget *parent = nullptr);
    ~KLVRRWCEntriesView() override;

    // The sources (not owned); the view follows their changes.
    KLVRRWCLog *log() const { return m_log; }
    void setLog(KLVRRWCLog *log);
    KLVRRWCDateRangeController *dateRange() const { return m_dateRange; }
    void setDateRange(KLVRRWCDateRangeController *dateRange);

    KLVRRWCEntriesCell &cell() { return *m_cell; }
    const KLVRRWCEntriesCell &cell() const { return *m_cell; }

    bool isTitled() const;
    void setTitled(bool titled);
    bool isBordered() const;
    void setBordered(bool bordered);
    // The date last picked with the mouse; invalid while none.
    KLVRAbsoluteTime selection() const;
    void setSelection(KLVRAbsoluteTime selection);
    // Rich-text labels over the picture (the welcome texts); empty for none.
    QString labelTopLeft() const;
    void setLabelTopLeft(const QString &label);
    QString labelBanner() const;
    void setLabelBanner(const QString &label);

    // The picture at the view's size, or at any size; the on-screen picture is left as it is.
    QImage imageValue() const;
    QImage imageValueWithWidth(double width, double height) const;
    QByteArray PNGRepresentation() const;
    // LZW-compressed TIFF.
    QByteArray TIFFRepresentation() const;
    static QByteArray PNGRepresentationOfImage(const QImage &image);
    static QByteArray TIFFRepresentationOfImage(const QImage &image);
    // What a drag of the picture carries: PNG, TIFF and the image itself. The caller owns it.
    QMimeData *dragMimeData() const;

    // Draws the picture afresh into rect: for printouts and other painters.
    void paint(QPainter &painter, const QRectF &rect) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void selectionChanged(KLVRAbsoluteTime selection);
    // The graph's action: sent on a press, while dragging and on release with the selection.
    void activated(KLVRAbsoluteTime selection);

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void dataSourceDidChange();
    // One step of mouse tracking at the point.
    void track(const QPointF &point);
    void startDrag(const QPointF &point);

    std::unique_ptr<KLVRRWCEntriesCell> m_cell;
    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCDateRangeController> m_dateRange;
    QMetaObject::Connection m_logConnection;
    QMetaObject::Connection m_dateRangeConnection;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesViewDisplayList.h"
#include "KLVRRWCEntriesViewMarkerInterval.h"
#include "KLVRRWCEntriesViewRaster.h"
#include "KLVRRWCLog.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

class KLVRRWCLogEntry;
class QPainter;
class QWidget;

// Lays out and draws the time-line picture for the chosen date range: a white panel with an
// optional border, the period as a title, the x-axis with up to two levels of date ticks and
// their labels, a dashed percentage grid when the log knows batteries, the state bands and
// battery curves of the display list, and two optional rich-text labels on top.
//
// Coordinates are the painter's: y grows downwards, the x-axis is the chart's bottom edge and
// 100 percent its top edge. One mapping (chartRect() and the range of the last layout) serves
// drawing, hit-testing and tool tips. The on-screen picture is cached and drawn again only
// when something it shows has changed. Main thread only.
class KLVRRWCEntriesCell
{
public:
    // A tick label as drawn: its rectangle, text and the tick's date.
    struct TickLabel
    {
        QRectF rect;
        QString text;
        KLVRAbsoluteTime date;
    };
    // One drawn level of ticks: the spacing, which marker drew it (0 long, 1 short), the x of
    // every tick and the labels that were drawn.
    struct TickLevel
    {
        KLVRRWCEntriesViewMarkerInterval interval;
        int marker = 0;
        QList<double> positions;
        QList<TickLabel> labels;
    };
    // A band's tool-tip area and the entry that answers it.
    struct ToolTipArea
    {
        QRectF rect;
        QString state;
        const KLVRRWCLogEntry *entry = nullptr;
    };

    KLVRRWCEntriesCell();
    ~KLVRRWCEntriesCell();
    Q_DISABLE_COPY_MOVE(KLVRRWCEntriesCell)

    // A cell with the same sources, switches and labels and a fresh picture, for rendering at
    // another size without disturbing this one's cached picture and geometry.
    std::unique_ptr<KLVRRWCEntriesCell> copy() const;

    // The entries to draw and the range to draw them for (neither owned).
    KLVRRWCLog *log() const { return m_log; }
    void setLog(KLVRRWCLog *log) { m_log = log; }
    KLVRRWCDateRangeController *dateRange() const { return m_dateRange; }
    // Asks the control view to redraw when the range object changes.
    void setDateRange(KLVRRWCDateRangeController *dateRange);
    // The widget asked to redraw; not owned.
    void setControlView(QWidget *view);

    // The cached picture is stale.
    bool dataSourceChanged() const { return m_dataSourceChanged; }
    void setDataSourceChanged(bool changed) { m_dataSourceChanged = changed; }
    const QImage &cachedImage() const { return m_cachedImage; }
    void discardCachedImage() { m_cachedImage = QImage(); }

    bool isTitled() const { return m_titled; }
    void setTitled(bool titled);
    bool isBordered() const { return m_bordered; }
    void setBordered(bool bordered);
    // The date last picked with the mouse; invalid while none. Not drawn.
    KLVRAbsoluteTime selection() const { return m_selection; }
    void setSelection(KLVRAbsoluteTime selection) { m_selection = selection; }
    // Rich text (Qt's HTML subset); empty means none.
    const QString &labelTopLeft() const { return m_labelTopLeft; }
    void setLabelTopLeft(const QString &label) { m_labelTopLeft = label; }
    const QString &labelBanner() const { return m_labelBanner; }
    void setLabelBanner(const QString &label) { m_labelBanner = label; }

    // Text styles: the desktop's general font for the title, its small font for tick labels
    // and the battery axis label, all in dark grey.
    const QFont &titleFont() const { return m_titleFont; }
    const QFont &axisLabelFont() const { return m_axisLabelFont; }
    const QFont &xAxisMarkerFont() const { return m_xAxisMarkerFont; }
    void setFonts(const QFont &title, const QFont &axisLabel, const QFont &xAxisMarker);
    static QColor textColour();

    const QList<QPainterPath> &markers() const { return m_markers; }
    const QList<KLVRRWCEntriesViewMarkerInterval> &markerIntervals() const { return m_markerIntervals; }
    const QHash<QString, QColor> &stateColours() const { return m_stateColours; }
    const QHash<QString, QColor> &batteryColours() const { return m_batteryColours; }

    // Geometry of the last layout.
    double xAxisMarkerTextHeight() const { return m_xAxisMarkerTextHeight; }
    double xAxisLineWidth() const { return m_xAxisLineWidth; }
    QRectF chartRect() const { return m_chartRect; }
    void setChartRect(const QRectF &rect) { m_chartRect = rect; }
    QRectF mediaRect() const { return m_mediaRect; }
    const QList<TickLevel> &tickLevels() const { return m_tickLevels; }
    const QList<ToolTipArea> &toolTipAreas() const { return m_toolTipAreas; }
    const KLVRRWCEntriesViewDisplayList &displayList() const { return m_displayList; }
    KLVRRWCEntriesViewDisplayList &displayList() { return m_displayList; }
    // The range the mapping uses: the one of the last layout or build.
    const KLVRRWCAbsoluteDuration &scaleRange() const { return m_scaleRange; }
    // How many times the picture was drawn from the model.
    int renderCount() const { return m_renderCount; }

    // The date range's span now, or an invalid one without a range.
    KLVRRWCAbsoluteDuration currentRange() const;

    // Dates, percentages and points.
    QPointF convertDateToPoint(KLVRAbsoluteTime date) const;
    QPointF convertDateAndPercentageToPoint(KLVRAbsoluteTime date, double percent) const;
    // Invalid when the point is not inside the chart.
    KLVRAbsoluteTime convertPointToDate(const QPointF &point) const;

    // Building the display list.
    void addState(const QString &state, const KLVRRWCLogEntry *entry, KLVRAbsoluteTime starting, KLVRAbsoluteTime ending,
                  KLVRRWCEntriesViewDisplayList &list) const;
    void prepareBatteriesWithoutVisibleEntries(KLVRRWCEntriesViewBatteries &batteries, const KLVRRWCAbsoluteDuration &range,
                                               const KLVRRWCLog *log) const;
    void prepareDisplayList(KLVRRWCEntriesViewDisplayList &list, const KLVRRWCAbsoluteDuration &range, const KLVRRWCLog *log);

    // Draws the picture for frame, from the cached image when it is still good.
    void drawInteriorWithFrame(QPainter &painter, const QRectF &frame);
    // Draws the whole picture afresh from the model: what the screen, exported pictures and
    // printouts share. Leaves the layout of this render in the cell.
    void paint(QPainter &painter, const QRectF &frame);
    // A fresh picture of the given size in logical pixels at the device pixel ratio.
    QImage imageWithSize(const QSizeF &size, qreal devicePixelRatio = 1.0) const;

    // The drawing steps of paint().
    void drawAxisWithFrame(QPainter &painter, const QRectF &frame);
    void drawEntries(QPainter &painter, const QRectF &frame);
    void drawLabelsWithFrame(QPainter &painter, const QRectF &frame) const;
    // Fills path with a vertical gradient made from the colour: darker at the top of rect,
    // lighter at its bottom.
    static void drawGradientWithBaseColour(QPainter &painter, const QColor &colour, const QRectF &rect, const QPainterPath &path);
    // The gradient's colours for a band colour: darker and more saturated at the top, lighter
    // and paler at the bottom.
    static std::pair<QColor, QColor> gradientColours(const QColor &colour);

    // Mouse tracking: a point inside the chart picks its date; any other point leaves the
    // selection alone. Each answers whether the point picked a date.
    static bool prefersTrackingUntilMouseUp() { return false; }
    bool startTracking(const QPointF &point) { return track(point); }
    bool continueTracking(const QPointF &point) { return track(point); }
    bool stopTracking(const QPointF &point) { return track(point); }

    // The text of the band under the point: the state it shows; empty when none.
    QString toolTipAt(const QPointF &point, QRectF *area = nullptr) const;

    // A poly-line as drawn: the points inside one column of the given width (a device pixel)
    // reduced to the first, lowest, highest and last, in line order, which covers the same
    // pixels; a year holds tens of thousands of samples across a thousand pixels.
    static std::vector<QPointF> simplifiedLine(const std::vector<QPointF> &line, double columnWidth);

    // A calendar format (strftime conversions) applied to a local date with English names.
    static QString formatDate(KLVRAbsoluteTime date, const QString &format);

private:
    bool track(const QPointF &point);
    // The date of the k-th tick from the range start: whole days follow the calendar.
    KLVRAbsoluteTime tickDate(double timeInterval, qint64 k) const;
    // One level of ticks for the range and chart of the last layout, labelled when asked and
    // room allows, with the outline of its ticks; and the level drawn.
    TickLevel layoutMarker(int marker, const KLVRRWCEntriesViewMarkerInterval &interval, bool label, QPainterPath &outline) const;
    void drawTickLevel(QPainter &painter, const TickLevel &level, const QPainterPath &outline) const;
    // The battery curves and their shadow over a layer whose pixels are points x scale + offset.
    void drawBatteries(QImage &layer, double scale, const QPointF &offset) const;

    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCDateRangeController> m_dateRange;
    QPointer<QWidget> m_controlView;
    bool m_dataSourceChanged = true;
    QImage m_cachedImage;
    bool m_titled = true;
    bool m_bordered = true;
    KLVRAbsoluteTime m_selection = KLVRAbsoluteTime::invalid();
    QFont m_titleFont;
    QFont m_axisLabelFont;
    QFont m_xAxisMarkerFont;
    QList<QPainterPath> m_markers;
    QList<double> m_markerWidths;
    QList<KLVRRWCEntriesViewMarkerInterval> m_markerIntervals;
    double m_xAxisMarkerTextHeight = 0.0;
    double m_xAxisLineWidth = 1.0;
    QRectF m_chartRect;
    QRectF m_mediaRect;
    QHash<QString, QColor> m_stateColours;
    QHash<QString, QColor> m_batteryColours;
    KLVRRWCEntriesViewDisplayList m_displayList;
    QString m_labelTopLeft;
    QString m_labelBanner;

    KLVRRWCAbsoluteDuration m_scaleRange{KLVRAbsoluteTime::invalid(), 0.0};
    // Working pictures kept from one render to the next, so that a redraw does not allocate them.
    QImage m_layer;
    mutable QImage m_curves;
    mutable std::vector<KLVRRWCEntriesViewRaster::Coverage> m_coverages;
    QList<TickLevel> m_tickLevels;
    // What the tick levels were laid out for, and their ticks' outlines.
    struct TickLayout
    {
        KLVRAbsoluteTime start = KLVRAbsoluteTime::invalid();
        double duration = 0.0;
        QRectF chart;
        QRectF media;
        double minimumSpacing = 0.0;
        QFont font;
        friend bool operator==(const TickLayout &, const TickLayout &) = default;
    };
    TickLayout m_tickLayout;
    QList<QPainterPath> m_tickOutlines;
    QList<ToolTipArea> m_toolTipAreas;
    int m_renderCount = 0;
};

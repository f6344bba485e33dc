// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

// The inspector's heading bar: a thin border and inset around a bar whose upper half is the
// base colour and whose lower half a gradient derived from it, an optional square image at the
// left and the title in the small control font. Its colours follow the desktop's palette and are
// taken again whenever the palette changes.
class KLVRRWCInspectorLabelView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCInspectorLabelView)

public:
    explicit KLVRRWCInspectorLabelView(QWidget *parent = nullptr);

    QString title() const { return m_title; }
    // The title is drawn in the small control font, in black.
    void setTitle(const QString &title);
    QPixmap image() const { return m_image; }
    void setImage(const QPixmap &image);

    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor &colour);
    QColor insetColor() const { return m_insetColor; }
    void setInsetColor(const QColor &colour);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &colour);
    double borderWidth() const { return m_borderWidth; }
    void setBorderWidth(double width);
    double insetWidth() const { return m_insetWidth; }
    void setInsetWidth(double width);

    // The gradient's two ends for a base colour, by hue, saturation and brightness: the start
    // lighter and paler, the end darker and more saturated (a grey stays grey).
    static QColor gradientStartColour(const QColor &base);
    static QColor gradientEndColour(const QColor &base);

    // Draws the bar into rect; the screen and any picture of the panel share it.
    void paint(QPainter &painter, const QRectF &rect) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The colours a palette change gives: shadow border, light inset, highlight background.
    void takeColoursFromPalette();
    QFont titleFont() const;

    QString m_title;
    QPixmap m_image;
    QColor m_borderColor;
    QColor m_insetColor;
    QColor m_backgroundColor;
    double m_borderWidth = 1.5;
    double m_insetWidth = 0.0;
};

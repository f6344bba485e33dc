// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorLabelView.h"

#include "KLVRRWCInspectorStyledTextDelegate.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTitleGap = 4.0;
constexpr double kTitlePadding = 3.0;

QColor adjusted(const QColor &base, double saturation, double brightness)
{
    float hue = 0, oldSaturation = 0, oldBrightness = 0, alpha = 0;
    base.toRgb().getHsvF(&hue, &oldSaturation, &oldBrightness, &alpha);
    return QColor::fromHsvF(hue, float(std::clamp(saturation, 0.0, 1.0)), float(std::clamp(brightness, 0.0, 1.0)), alpha);
}

double saturationOf(const QColor &colour)
{
    return colour.toRgb().hsvSaturationF();
}

double brightnessOf(const QColor &colour)
{
    return colour.toRgb().valueF();
}

} // namespace

KLVRRWCInspectorLabelView::KLVRRWCInspectorLabelView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KLVRRWCInspectorLabelView"));
    const QPalette &colours = palette();
    m_borderColor = colours.color(QPalette::Active, QPalette::Highlight);
    m_insetColor = colours.color(QPalette::Active, QPalette::Light);
    m_backgroundColor = colours.color(QPalette::Active, QPalette::Highlight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void KLVRRWCInspectorLabelView::setTitle(const QString &title)
{
    m_title = title;
    updateGeometry();
    update();
}

void KLVRRWCInspectorLabelView::setImage(const QPixmap &image)
{
    m_image = image;
    update();
}

void KLVRRWCInspectorLabelView::setBorderColor(const QColor &colour)
{
    m_borderColor = colour;
    update();
}

void KLVRRWCInspectorLabelView::setInsetColor(const QColor &colour)
{
    m_insetColor = colour;
    update();
}

void KLVRRWCInspectorLabelView::setBackgroundColor(const QColor &colour)
{
    m_backgroundColor = colour;
    update();
}

void KLVRRWCInspectorLabelView::setBorderWidth(double width)
{
    m_borderWidth = width;
    update();
}

void KLVRRWCInspectorLabelView::setInsetWidth(double width)
{
    m_insetWidth = width;
    update();
}

QColor KLVRRWCInspectorLabelView::gradientStartColour(const QColor &base)
{
    return adjusted(base, saturationOf(base) - 0.12, brightnessOf(base) + 0.3);
}

QColor KLVRRWCInspectorLabelView::gradientEndColour(const QColor &base)
{
    const double saturation = saturationOf(base);
    return adjusted(base, saturation > 0.04 ? saturation + 0.12 : 0.0, brightnessOf(base) - 0.09);
}

QFont KLVRRWCInspectorLabelView::titleFont() const
{
    return KLVRRWCInspectorStyledTextDelegate::smallFont(font());
}

QSize KLVRRWCInspectorLabelView::sizeHint() const
{
    const QFontMetricsF metrics(titleFont());
    const double inset = m_borderWidth + m_insetWidth;
    const double height = std::ceil(metrics.height() + 2 * (inset + kTitlePadding));
    const double width = std::ceil(2 * inset + kTitleGap * 2 + metrics.horizontalAdvance(m_title) + (m_image.isNull() ? 0 : height));
    return QSize(int(width), int(height));
}

void KLVRRWCInspectorLabelView::paint(QPainter &painter, const QRectF &rect) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r1 = rect.adjusted(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
    const QRectF r2 = r1.adjusted(m_insetWidth, m_insetWidth, -m_insetWidth, -m_insetWidth);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(m_insetColor, m_insetWidth));
    painter.drawRect(r1);
    painter.setPen(QPen(m_borderColor, m_borderWidth));
    painter.drawRect(rect);

    // The upper half is the plain base colour; the lower half runs from the darker end at the
    // middle to the lighter start at the bottom edge.
    const QRectF upper(r2.left(), r2.top(), r2.width(), r2.height() / 2.0);
    const QRectF lower(r2.left(), upper.bottom(), r2.width(), r2.height() - upper.height());
    QLinearGradient gradient(lower.bottomLeft(), lower.topLeft());
    gradient.setColorAt(0.0, gradientStartColour(m_backgroundColor));
    gradient.setColorAt(1.0, gradientEndColour(m_backgroundColor));
    painter.fillRect(lower, gradient);
    painter.fillRect(upper, m_backgroundColor);
    painter.setPen(QPen(m_backgroundColor, m_insetWidth));
    painter.drawRect(upper);

    double x = r2.left() + kTitleGap;
    if (!m_image.isNull()) {
        const double side = r2.height();
        painter.drawPixmap(QRectF(r2.topLeft(), QSizeF(side, side)), m_image, QRectF(m_image.rect()));
        x = r2.left() + side + kTitleGap;
    }
    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const double y = r2.top() + (r2.height() - metrics.height()) / 2.0;
    painter.drawText(QRectF(x, y, std::max(0.0, r2.right() - x), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(m_title, Qt::ElideRight, std::max(0.0, r2.right() - x)));
    painter.restore();
}

void KLVRRWCInspectorLabelView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()));
}

void KLVRRWCInspectorLabelView::changeEvent(QEvent *event)
{
    // The desktop's colour scheme changing is what a control tint change is elsewhere.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        takeColoursFromPalette();
    QWidget::changeEvent(event);
}

void KLVRRWCInspectorLabelView::takeColoursFromPalette()
{
    const QPalette &colours = palette();
    m_borderColor = colours.color(QPalette::Active, QPalette::Dark);
    m_insetColor = colours.color(QPalette::Active, QPalette::Light);
    m_backgroundColor = colours.color(QPalette::Active, QPalette::Highlight);
    update();
}

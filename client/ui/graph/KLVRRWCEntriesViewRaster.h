// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <vector>

class QImage;

// The graph's large fills and its curves, worked out pixel by pixel into a premultiplied ARGB
// picture (coordinates in its pixels): the painter's path filling and stroking slow down
// sharply with the thousands of thin bands and curve stretches of a long range, and these
// shapes are simple (runs of columns, lines about a pixel wide). Everything is antialiased
// and laid over what the picture holds.
class KLVRRWCEntriesViewRaster
{
public:
    // The bands of one state (side by side, not overlapping, all with the same top and
    // bottom) with a vertical gradient over the gradient rectangle, from top to bottom; top
    // corners rounded with the radius on bands wider than it.
    struct Bands
    {
        QList<QRectF> bands;
        QRectF gradient;
        QColor top;
        QColor bottom;
        double cornerRadius = 0.0;
    };
    // Lays the states' bands in order.
    static void fillBands(QImage &image, const QList<Bands> &states);
    // The colour over the area between a poly-line (points in increasing x) and a horizontal
    // baseline.
    static void fillUnder(QImage &image, const std::vector<QPointF> &line, double baseline, const QColor &colour);

    // How much lines of one colour cover each pixel. Lines add by the larger coverage, so the
    // joins and crossings of one colour do not darken.
    class Coverage
    {
    public:
        Coverage(int width, int height) : m_width(width), m_height(height), m_values(size_t(width) * size_t(height), 0) {}
        // Empty again, at the given size; keeps its memory when the size is the same.
        void reset(int width, int height);
        // A poly-line of the given width.
        void addLine(const std::vector<QPointF> &line, double lineWidth);

    private:
        friend class KLVRRWCEntriesViewRaster;
        // Widens the area that blendLines() visits.
        void include(double left, double top, double right, double bottom);
        // One segment, walking along x (flat) or y.
        template <bool flat>
        void addSegment(const QPointF &a, const QPointF &b, double reach);

        int m_width;
        int m_height;
        std::vector<uchar> m_values;
        int m_left = 0;
        int m_top = 0;
        int m_right = -1;
        int m_bottom = -1;
    };

    // An alpha mask of the image's alpha averaged over square blocks of the given size, one
    // mask pixel per block (blocks cut off at the image's edges count their missing pixels as
    // clear).
    static QImage averageAlpha(const QImage &image, int block);
    // Three passes of a box blur over an alpha mask approximate a Gaussian of the given
    // deviation.
    static void blurAlpha(QImage &mask, double sigma);

    // Lays black, with the alpha of the shadow magnified by the scale (bilinear, like a smooth
    // scaling painter) and moved down by drop pixels, and then the picture (of the image's size)
    // over the image.
    static void layShadowAndPicture(QImage &image, const QImage &shadow, int scale, double drop, const QImage &picture);

    // Lays each colour over the image where its coverage (of the image's size) has lines, in
    // order.
    static void blendLines(QImage &image, const std::vector<Coverage> &coverages, const QList<QColor> &colours);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewRaster.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

// Builds of the pixel loops for processors with 256-bit registers, picked when the program loads.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define RASTER_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RASTER_CLONES
#endif

namespace {

// Subsamples across and down a pixel under a rounded corner.
constexpr int kCornerSamples = 4;

// A colour's premultiplied components at full coverage, in 0..255.
struct Source
{
    float r, g, b, a;
};

Source sourceOf(const QColor &colour)
{
    const float a = float(colour.alphaF());
    return {float(colour.redF()) * a * 255.0f, float(colour.greenF()) * a * 255.0f, float(colour.blueF()) * a * 255.0f,
            a * 255.0f};
}

Source mix(const Source &top, const Source &bottom, double t)
{
    const auto lerp = [t](float x, float y) { return float(x + (y - x) * t); };
    return {lerp(top.r, bottom.r), lerp(top.g, bottom.g), lerp(top.b, bottom.b), lerp(top.a, bottom.a)};
}

QRgb pixelOf(const Source &source)
{
    return qRgba(int(source.r + 0.5f), int(source.g + 0.5f), int(source.b + 0.5f), int(source.a + 0.5f));
}

// All four 8-bit channels times a / 255, two at a time.
inline QRgb scaled(QRgb x, uint a)
{
    uint t = (x & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return x | t;
}

// A premultiplied source over a premultiplied destination.
inline QRgb over(QRgb destination, QRgb source)
{
    return source + scaled(destination, 255 - qAlpha(source));
}

// The same for one pixel at a time: most pixels are laid onto clear ones.
inline QRgb overPixel(QRgb destination, QRgb source)
{
    return destination ? over(destination, source) : source;
}

// Adds the alpha of each pixel of a row to its column's sum.
RASTER_CLONES void addAlpha(int *sums, const QRgb *line, int width)
{
    for (int x = 0; x < width; ++x)
        sums[x] += int(qAlpha(line[x]));
}

// Black over a row, at alphas mixed from two rows of them in 256ths by the second's weight in
// 256ths (each step cut down to whole values, as a smooth-scaling painter does), and then a
// row of premultiplied pixels over that.
RASTER_CLONES void overShadowAndRow(QRgb *line, const quint16 *first, const quint16 *second, int weight, const QRgb *source,
                                    int width)
{
    for (int x = 0; x < width; ++x) {
        const uint alpha = ((first[x] >> 8) * uint(256 - weight) + (second[x] >> 8) * uint(weight)) >> 8;
        line[x] = over(over(line[x], alpha << 24), source[x]);
    }
}

// One row of premultiplied pixels over another.
RASTER_CLONES void overRow(QRgb *line, const QRgb *source, int width)
{
    for (int x = 0; x < width; ++x)
        line[x] = over(line[x], source[x]);
}

// The source at each pixel's coverage over the pixels from first to last. Without branches,
// so that the compiler can work on several pixels at once, with the wider registers of the
// processors that have them.
RASTER_CLONES void overSpan(QRgb *line, const uchar *cover, QRgb source, int first, int last)
{
    for (int x = first; x <= last; ++x)
        line[x] = over(line[x], scaled(source, cover[x]));
}

inline uint coverage255(double coverage)
{
    return uint(std::clamp(coverage, 0.0, 1.0) * 255.0 + 0.5);
}

inline QRgb *row(uchar *bits, qsizetype bytesPerLine, int y)
{
    return reinterpret_cast<QRgb *>(bits + qsizetype(y) * bytesPerLine);
}

// std::floor and std::ceil to int, inline: without SSE 4.1 those are library calls, and the
// pixel loops make millions of them.
inline int floorToInt(double value)
{
    const int i = int(value);
    return i - (value < i ? 1 : 0);
}

inline int ceilToInt(double value)
{
    const int i = int(value);
    return i + (value > i ? 1 : 0);
}

double overlap(double a0, double a1, double b0, double b1)
{
    return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

// One state's bands ready to be laid row by row: how much of each pixel column they cover,
// the runs of covered columns, the pixels under rounded corners and the gradient.
class BandRows
{
public:
    BandRows(int width, int height, const KLVRRWCEntriesViewRaster::Bands &state)
        : m_gradient(state.gradient), m_top(sourceOf(state.top)), m_bottom(sourceOf(state.bottom))
    {
        const QList<QRectF> &bands = state.bands;
        if (bands.isEmpty())
            return;
        QRectF area = bands.first();
        for (const QRectF &band : bands)
            area |= band;
        m_bandTop = area.top();
        m_bandBottom = area.bottom();
        m_firstRow = std::max(0, int(std::floor(m_bandTop)));
        m_lastRow = std::min(height - 1, int(std::ceil(m_bandBottom)) - 1);
        const int firstColumn = std::max(0, int(std::floor(area.left())));
        const int lastColumn = std::min(width - 1, int(std::ceil(area.right())) - 1);
        if (m_lastRow < m_firstRow || lastColumn < firstColumn) {
            m_lastRow = m_firstRow - 1;
            return;
        }

        // How much of each pixel column the bands cover.
        std::vector<float> columns(size_t(width), 0.0f);
        for (const QRectF &band : bands) {
            const double left = std::max(band.left(), 0.0);
            const double right = std::min(band.right(), double(width));
            for (int c = int(left); c < width && c < right; ++c)
                columns[size_t(c)] += float(overlap(c, c + 1, left, right));
        }
        for (float &column : columns)
            column = std::min(column, 1.0f);

        // The pixels under rounded corners, whose coverage the arc decides.
        const double cornerRadius = state.cornerRadius;
        m_corners.resize(size_t(m_lastRow - m_firstRow + 1));
        for (const QRectF &band : bands) {
            if (!(band.width() > cornerRadius) || !(cornerRadius > 0.0))
                continue;
            const double r = std::min(cornerRadius, band.width() / 2.0);
            const double cy = m_bandTop + r;
            for (const bool leftCorner : {true, false}) {
                const double cx = leftCorner ? band.left() + r : band.right() - r;
                const int from = std::max(firstColumn, int(std::floor(leftCorner ? band.left() : cx)));
                const int to = std::min(lastColumn, int(std::ceil(leftCorner ? cx : band.right())) - 1);
                for (int row = m_firstRow; row <= std::min(m_lastRow, int(std::ceil(cy)) - 1); ++row) {
                    for (int c = from; c <= to; ++c) {
                        int inside = 0;
                        for (int i = 0; i < kCornerSamples; ++i) {
                            for (int j = 0; j < kCornerSamples; ++j) {
                                const double x = c + (i + 0.5) / kCornerSamples;
                                const double y = row + (j + 0.5) / kCornerSamples;
                                if (x < band.left() || x > band.right() || y < m_bandTop || y > m_bandBottom)
                                    continue;
                                const bool beyondArc = y < cy && (leftCorner ? x < cx : x > cx)
                                                       && (x - cx) * (x - cx) + (y - cy) * (y - cy) > r * r;
                                inside += beyondArc ? 0 : 1;
                            }
                        }
                        m_corners[size_t(row - m_firstRow)].emplace_back(c, float(inside) / (kCornerSamples * kCornerSamples));
                    }
                }
            }
        }

        // The runs of covered columns, so that rows skip the gaps between bands.
        m_across.assign(size_t(width), 0);
        for (int c = firstColumn; c <= lastColumn; ++c) {
            m_across[size_t(c)] = uchar(coverage255(columns[size_t(c)]));
            if (!m_across[size_t(c)])
                continue;
            if (!m_spans.empty() && m_spans.back().second == c - 1)
                m_spans.back().second = c;
            else
                m_spans.emplace_back(c, c);
        }
    }

    int firstRow() const { return m_firstRow; }
    int lastRow() const { return m_lastRow; }

    // Lays the bands' row y over the line.
    void fill(QRgb *line, int y)
    {
        const double t = m_gradient.height() > 0.0 ? std::clamp((y + 0.5 - m_gradient.top()) / m_gradient.height(), 0.0, 1.0) : 0.0;
        const QRgb source = scaled(pixelOf(mix(m_top, m_bottom, t)), coverage255(overlap(y, y + 1, m_bandTop, m_bandBottom)));
        // In the few rows under the corners, a corner pixel takes the arc's coverage (the
        // smallest where corners meet) instead of its column's.
        const uchar *cover = m_across.data();
        auto &rowCorners = m_corners[size_t(y - m_firstRow)];
        if (!rowCorners.empty()) {
            std::sort(rowCorners.begin(), rowCorners.end());
            m_cornerRow = m_across;
            for (auto corner = rowCorners.crbegin(); corner != rowCorners.crend(); ++corner)
                m_cornerRow[size_t(corner->first)] = uchar(coverage255(corner->second));
            cover = m_cornerRow.data();
        }
        for (const auto &[from, to] : m_spans)
            overSpan(line, cover, source, from, to);
    }

private:
    QRectF m_gradient;
    Source m_top;
    Source m_bottom;
    double m_bandTop = 0.0;
    double m_bandBottom = 0.0;
    int m_firstRow = 0;
    int m_lastRow = -1;
    std::vector<uchar> m_across;
    std::vector<std::pair<int, int>> m_spans;
    std::vector<std::vector<std::pair<int, float>>> m_corners;
    std::vector<uchar> m_cornerRow;
};

} // namespace

void KLVRRWCEntriesViewRaster::fillBands(QImage &image, const QList<Bands> &states)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    std::vector<BandRows> layers;
    int firstRow = image.height();
    int lastRow = -1;
    for (const Bands &state : states) {
        layers.emplace_back(image.width(), image.height(), state);
        firstRow = std::min(firstRow, layers.back().firstRow());
        lastRow = std::max(lastRow, layers.back().lastRow());
    }
    // Row by row, every state in turn, so that each row of the image is read and written while
    // it is at hand.
    uchar *bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    for (int y = firstRow; y <= lastRow; ++y) {
        QRgb *line = row(bits, bytesPerLine, y);
        for (BandRows &layer : layers) {
            if (y >= layer.firstRow() && y <= layer.lastRow())
                layer.fill(line, y);
        }
    }
}

void KLVRRWCEntriesViewRaster::fillUnder(QImage &image, const std::vector<QPointF> &line, double baseline, const QColor &colour)
{
    const size_t count = line.size();
    if (count < 2 || image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    const double left = line.front().x();
    const double right = line.back().x();
    if (!(right > left))
        return;
    const QRgb source = pixelOf(sourceOf(colour));
    uchar *bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();

    size_t k = 0;
    const int lastColumn = std::min(image.width() - 1, ceilToInt(right) - 1);
    for (int c = std::max(0, floorToInt(left)); c <= lastColumn; ++c) {
        const double across = overlap(c, c + 1, left, right);
        // The line's height at the column's middle.
        const double x = std::min(std::max(c + 0.5, left), right);
        while (k + 2 < count && line[k + 1].x() <= x)
            ++k;
        const QPointF &a = line[k];
        const QPointF &b = line[k + 1];
        const double y = b.x() > a.x() ? a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()) : b.y();
        const double high = std::min(y, baseline);
        const double low = std::max(y, baseline);
        const int firstRow = std::max(0, floorToInt(high));
        const int lastRow = std::min(image.height() - 1, ceilToInt(low) - 1);
        const uint sideways = coverage255(across);
        const QRgb column = sideways == 255 ? source : scaled(source, sideways);
        // Only the first and the last row can be covered in part.
        const auto partly = [&](int y) {
            const double down = overlap(y, y + 1, high, low);
            return down >= 1.0 ? column : scaled(column, coverage255(down));
        };
        uchar *pixel = bits + qsizetype(firstRow) * bytesPerLine + qsizetype(c) * qsizetype(sizeof(QRgb));
        for (int y = firstRow; y <= lastRow; ++y, pixel += bytesPerLine) {
            QRgb &value = *reinterpret_cast<QRgb *>(pixel);
            value = overPixel(value, y == firstRow || y == lastRow ? partly(y) : column);
        }
    }
}

void KLVRRWCEntriesViewRaster::Coverage::reset(int width, int height)
{
    if (width != m_width || height != m_height) {
        *this = Coverage(width, height);
        return;
    }
    for (int y = m_top; y <= m_bottom; ++y)
        std::fill_n(m_values.begin() + qsizetype(y) * m_width + m_left, m_right - m_left + 1, uchar(0));
    m_left = m_top = 0;
    m_right = m_bottom = -1;
}

void KLVRRWCEntriesViewRaster::Coverage::include(double left, double top, double right, double bottom)
{
    const int l = std::max(0, int(std::floor(left)));
    const int t = std::max(0, int(std::floor(top)));
    const int r = std::min(m_width - 1, int(std::ceil(right)));
    const int b = std::min(m_height - 1, int(std::ceil(bottom)));
    if (r < l || b < t)
        return;
    if (m_right < m_left) {
        m_left = l, m_top = t, m_right = r, m_bottom = b;
        return;
    }
    m_left = std::min(m_left, l);
    m_top = std::min(m_top, t);
    m_right = std::max(m_right, r);
    m_bottom = std::max(m_bottom, b);
}

void KLVRRWCEntriesViewRaster::Coverage::addLine(const std::vector<QPointF> &line, double lineWidth)
{
    // A pixel is covered by how far its centre lies inside the line's edge, up to one pixel:
    // a box filter's coverage for lines about as wide as a pixel.
    const double reach = lineWidth / 2.0 + 0.5;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        const QPointF a = line[i];
        const QPointF b = line[i + 1];
        const double dx = b.x() - a.x();
        const double dy = b.y() - a.y();
        if (!(std::sqrt(dx * dx + dy * dy) > 0.0))
            continue;
        include(std::min(a.x(), b.x()) - reach - 1.0, std::min(a.y(), b.y()) - reach - 1.0, std::max(a.x(), b.x()) + reach + 1.0,
                std::max(a.y(), b.y()) + reach + 1.0);
        if (std::abs(dx) >= std::abs(dy))
            addSegment<true>(a, b, reach);
        else
            addSegment<false>(a, b, reach);
    }
}

template <bool flat>
void KLVRRWCEntriesViewRaster::Coverage::addSegment(const QPointF &a, const QPointF &b, double reach)
{
    // Coordinates along the segment's longer direction (u) and across it (v).
    const double au = flat ? a.x() : a.y();
    const double av = flat ? a.y() : a.x();
    const double bu = flat ? b.x() : b.y();
    const double du = bu - au;
    const double dv = (flat ? b.y() : b.x()) - av;
    const double length = std::sqrt(du * du + dv * dv);
    const double eu = du / length;
    const double ev = dv / length;
    // How far a pixel's centre lies from the segment: across it in the middle, from the
    // nearer end beyond its ends.
    const auto distanceAt = [&](double pu, double pv) {
        const double along = pu * eu + pv * ev;
        if (along < 0.0)
            return std::sqrt(pu * pu + pv * pv);
        if (along > length)
            return std::sqrt((pu - du) * (pu - du) + (pv - dv) * (pv - dv));
        return std::abs(pu * ev - pv * eu);
    };
    const auto add = [reach](uchar &value, double distance) {
        value = std::max(value, uchar(std::min(std::max((reach - distance) * 255.0 + 0.5, 0.0), 255.0)));
    };
    // Walk along u; across it the line is at most this far from the point on its axis.
    const double slope = dv / du;
    const double across = reach * std::sqrt(1.0 + slope * slope);
    const double from = std::min(au, bu);
    const double to = std::max(au, bu);
    const int limit = flat ? m_width : m_height;
    const int sideLimit = flat ? m_height : m_width;
    const size_t alongStep = flat ? 1 : size_t(m_width);
    const size_t sideStep = flat ? size_t(m_width) : 1;
    // The steps away from the ends, whose pixels all lie beside the segment rather than beyond
    // an end, so that each is measured across it: their axis points lie this far along from
    // either end (a pixel lies along from its step's axis point by less than across times ev).
    const double margin = std::abs(ev) * (across + 1.0);
    const bool inner = margin <= length - margin;
    const double innerFrom = std::min(au + margin * du / length, au + (length - margin) * du / length);
    const double innerTo = std::max(au + margin * du / length, au + (length - margin) * du / length);
    for (int u = std::max(0, floorToInt(from - reach)); u <= std::min(limit - 1, ceilToInt(to + reach)); ++u) {
        const double pu = u + 0.5 - au;
        const double middle = av + (std::min(std::max(u + 0.5, from), to) - au) * slope;
        // Pixels whose centres lie within reach of the axis point.
        const int first = std::max(0, ceilToInt(middle - across - 0.5));
        const int last = std::min(sideLimit - 1, floorToInt(middle + across - 0.5));
        uchar *values = m_values.data() + size_t(u) * alongStep + size_t(first) * sideStep;
        if (inner && u + 0.5 >= innerFrom && u + 0.5 <= innerTo) {
            const double across0 = pu * ev - (first + 0.5 - av) * eu;
            for (int k = 0; k <= last - first; ++k)
                add(values[size_t(k) * sideStep], std::abs(across0 - k * eu));
        } else {
            for (int k = 0; k <= last - first; ++k)
                add(values[size_t(k) * sideStep], distanceAt(pu, first + k + 0.5 - av));
        }
    }
}

void KLVRRWCEntriesViewRaster::blendLines(QImage &image, const std::vector<Coverage> &coverages, const QList<QColor> &colours)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    const size_t count = std::min(coverages.size(), size_t(colours.size()));
    std::vector<QRgb> sources;
    int top = image.height();
    int bottom = -1;
    for (size_t k = 0; k < count; ++k) {
        sources.push_back(pixelOf(sourceOf(colours[qsizetype(k)])));
        if (coverages[k].m_right >= coverages[k].m_left) {
            top = std::min(top, coverages[k].m_top);
            bottom = std::max(bottom, coverages[k].m_bottom);
        }
    }
    // Row by row, every colour in turn, so that each row of the image is read and written
    // while it is at hand.
    uchar *bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    for (int y = std::max(0, top); y <= std::min(bottom, image.height() - 1); ++y) {
        QRgb *line = row(bits, bytesPerLine, y);
        for (size_t k = 0; k < count; ++k) {
            const Coverage &coverage = coverages[k];
            if (y < coverage.m_top || y > coverage.m_bottom || coverage.m_right < coverage.m_left
                || coverage.m_width != image.width())
                continue;
            overSpan(line, coverage.m_values.data() + size_t(y) * size_t(coverage.m_width), sources[k],
                     std::max(0, coverage.m_left), std::min(coverage.m_right, image.width() - 1));
        }
    }
}

QImage KLVRRWCEntriesViewRaster::averageAlpha(const QImage &image, int block)
{
    if (block < 1 || image.format() != QImage::Format_ARGB32_Premultiplied)
        return QImage();
    const int width = image.width();
    const int height = image.height();
    QImage mask((width + block - 1) / block, (height + block - 1) / block, QImage::Format_Alpha8);
    if (mask.isNull())
        return mask;
    // Each pixel column's sum over a block of rows first, then the columns of each block.
    std::vector<int> columns(static_cast<size_t>(width));
    for (int my = 0; my < mask.height(); ++my) {
        std::fill(columns.begin(), columns.end(), 0);
        for (int y = my * block; y < std::min(height, (my + 1) * block); ++y)
            addAlpha(columns.data(), reinterpret_cast<const QRgb *>(image.constScanLine(y)), width);
        uchar *out = mask.scanLine(my);
        for (int mx = 0; mx < mask.width(); ++mx) {
            const auto first = columns.cbegin() + mx * block;
            out[mx] = uchar(std::accumulate(first, first + std::min(block, width - mx * block), 0) / (block * block));
        }
    }
    return mask;
}

void KLVRRWCEntriesViewRaster::blurAlpha(QImage &mask, double sigma)
{
    if (mask.format() != QImage::Format_Alpha8)
        return;
    const int radius = std::max(1, int(std::lround((std::sqrt(4.0 * sigma * sigma + 1.0) - 1.0) / 2.0)));
    const int w = mask.width();
    const int h = mask.height();
    std::vector<int> line(size_t(std::max(w, h)));
    const auto pass = [&](uchar *first, int count, int stride) {
        for (int i = 0; i < count; ++i)
            line[size_t(i)] = first[i * stride];
        const int window = 2 * radius + 1;
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += (i >= 0 && i < count) ? line[size_t(i)] : 0;
        for (int i = 0; i < count; ++i) {
            first[i * stride] = uchar(sum / window);
            const int out = i - radius;
            const int in = i + radius + 1;
            sum += (in < count ? line[size_t(in)] : 0) - (out >= 0 ? line[size_t(out)] : 0);
        }
    };
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < h; ++y)
            pass(mask.scanLine(y), w, 1);
        for (int x = 0; x < w; ++x)
            pass(mask.bits() + x, h, int(mask.bytesPerLine()));
    }
}

void KLVRRWCEntriesViewRaster::layShadowAndPicture(QImage &image, const QImage &shadow, int scale, double drop, const QImage &picture)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied || shadow.format() != QImage::Format_Alpha8 || scale < 1
        || picture.format() != QImage::Format_ARGB32_Premultiplied || picture.size() != image.size())
        return;
    const int width = image.width();
    const int shadowWidth = shadow.width();
    const int shadowHeight = shadow.height();
    // Pixel centres sample the shadow between its pixels' centres, its edge pixels held beyond
    // them; weights in 256ths. Across, the same two columns and weight serve every row.
    std::vector<int> leftColumn(static_cast<size_t>(width));
    std::vector<int> rightColumn(static_cast<size_t>(width));
    std::vector<int> rightWeight(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double at = (x + 0.5) / scale - 0.5;
        const int left = floorToInt(at);
        rightWeight[size_t(x)] = int((at - left) * 256.0);
        leftColumn[size_t(x)] = std::clamp(left, 0, shadowWidth - 1);
        rightColumn[size_t(x)] = std::clamp(left + 1, 0, shadowWidth - 1);
    }
    // Each shadow row widened to the image's width once, as it is first needed.
    std::vector<std::vector<quint16>> wide(static_cast<size_t>(shadowHeight));
    const auto widened = [&](int row) -> const quint16 * {
        std::vector<quint16> &line = wide[size_t(row)];
        if (line.empty()) {
            line.resize(size_t(width));
            const uchar *alpha = shadow.constScanLine(row);
            for (int x = 0; x < width; ++x)
                line[size_t(x)] = quint16(alpha[leftColumn[size_t(x)]] * (256 - rightWeight[size_t(x)])
                                          + alpha[rightColumn[size_t(x)]] * rightWeight[size_t(x)]);
        }
        return line.data();
    };
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const auto *source = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        // The shadow covers the pixels whose centres lie inside its magnified rectangle.
        const double centre = y + 0.5 - drop;
        if (centre >= 0.0 && centre < double(shadowHeight) * scale) {
            const double at = centre / scale - 0.5;
            const int top = floorToInt(at);
            overShadowAndRow(line, widened(std::clamp(top, 0, shadowHeight - 1)), widened(std::clamp(top + 1, 0, shadowHeight - 1)),
                             int((at - top) * 256.0), source, width);
        } else {
            overRow(line, source, width);
        }
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesCell.h"

#include "KLVRRWCEntriesViewRaster.h"

#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntryPowerStatus.h"
#include "KLVRStringsTable.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTextDocument>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <deque>
#include <typeinfo>

namespace {

const QString kName = QStringLiteral("Name");
const QString kPowerSourceState = QStringLiteral("Power Source State");
const QString kDisconnected = QStringLiteral("Disconnected");
const QString kBatteryLabel = QStringLiteral("Battery\n%");
const QString kSampleMarkerText = QStringLiteral("Tuesday");

constexpr double kMediaInset = 10.0;
constexpr double kGap = 6.0;
constexpr double kSecondsPerDay = 86400.0;
// The battery curves cast one shadow: 8 points down, blurred over 18 points.
constexpr double kShadowOffset = 8.0;
constexpr double kShadowBlur = 18.0;
// The shadow is blurred at about a quarter of a point's resolution; it has no sharp detail.
constexpr double kShadowScale = 0.25;
constexpr double kBatteryLineWidth = 1.5;
// Layers are drawn at the device's resolution up to this many pixels per point.
constexpr double kMaximumLayerScale = 4.0;

QColor darkGrey()
{
    return QColor::fromRgbF(1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0);
}

QColor lightGrey()
{
    return QColor::fromRgbF(2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0);
}

// Fonts are sized in pixels so that a scaled painter (a printout) scales text with everything
// else instead of resolving point sizes at the printer's resolution.
QFont pixelSized(QFont font)
{
    if (font.pixelSize() > 0)
        return font;
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPixelSize(std::max(1, int(std::lround(font.pointSizeF() * dpi / 72.0))));
    return font;
}

// The desktop's small font; where the desktop names none smaller than its general font, the
// general font at the usual proportion of small to regular text (11 to 13).
QFont smallFont(const QFont &general)
{
    const QFont small = pixelSized(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
    const QFont regular = pixelSized(general);
    if (small.pixelSize() < regular.pixelSize())
        return small;
    QFont derived = regular;
    derived.setPixelSize(std::max(1, int(std::lround(regular.pixelSize() * 11.0 / 13.0))));
    return derived;
}

QString stateOfEntry(const KLVRRWCLogEntryPowerStatus *entry)
{
    return entry->connected() ? entry->property(kPowerSourceState).toString() : kDisconnected;
}

// The few names (groups, states, batteries) looked up once per entry: the model shares one
// copy of each name, so comparing addresses first avoids hashing tens of thousands of texts.
template <typename T>
class SmallMap
{
public:
    T *find(const QString &key)
    {
        for (auto &item : m_items) {
            if (item.first.constData() == key.constData() && item.first.size() == key.size())
                return &item.second;
        }
        for (auto &item : m_items) {
            if (item.first == key)
                return &item.second;
        }
        return nullptr;
    }
    T &insert(const QString &key, T value)
    {
        if (T *existing = find(key)) {
            *existing = std::move(value);
            return *existing;
        }
        m_items.emplace_back(key, std::move(value));
        return m_items.back().second;
    }
    template <typename Predicate>
    T *findIf(Predicate predicate)
    {
        for (auto &item : m_items) {
            if (predicate(item.second))
                return &item.second;
        }
        return nullptr;
    }
    qsizetype size() const { return qsizetype(m_items.size()); }
    const std::deque<std::pair<QString, T>> &items() const { return m_items; }

private:
    // A deque keeps the values where they are while others are added.
    std::deque<std::pair<QString, T>> m_items;
};

// Asks the processor to start fetching an entry that will be read soon.
inline void prefetch(const KLVRRWCLogEntry *entry)
{
#if defined(__GNUC__)
    const auto *bytes = reinterpret_cast<const char *>(entry);
    for (size_t line = 0; line < sizeof(KLVRRWCLogEntryPowerStatus); line += 64)
        __builtin_prefetch(bytes + line);
#else
    Q_UNUSED(entry);
#endif
}

// The image the painter paints, when pixels can be laid into it directly: the frame fills it,
// nothing clips or changes how paint is combined, and no other image shares its pixels.
QImage *plainlyPaintedImage(QPainter &painter, const QRect &pixels)
{
    QPaintDevice *device = painter.device();
    if (!device || device->devType() != QInternal::Image)
        return nullptr;
    auto *image = static_cast<QImage *>(device);
    if (image->format() != QImage::Format_ARGB32_Premultiplied || image->rect() != pixels || !image->isDetached()
        || painter.hasClipping() || painter.compositionMode() != QPainter::CompositionMode_SourceOver
        || painter.opacity() != 1.0)
        return nullptr;
    return image;
}

// Whole-day spacings that the calendar, not the clock, should step.
qint64 wholeDays(double timeInterval)
{
    if (timeInterval < kSecondsPerDay || std::fmod(timeInterval, kSecondsPerDay) != 0.0)
        return 0;
    return qint64(timeInterval / kSecondsPerDay);
}

} // namespace

KLVRRWCEntriesCell::KLVRRWCEntriesCell()
{
    const QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    setFonts(general, smallFont(general), smallFont(general));

    QPainterPath longTick;
    longTick.moveTo(0.0, 0.0);
    longTick.lineTo(0.0, 4.0);
    QPainterPath shortTick;
    shortTick.moveTo(0.0, 0.0);
    shortTick.lineTo(0.0, 3.0);
    m_markers = {longTick, shortTick};
    m_markerWidths = {1.0, 0.5};

    m_markerIntervals = {
        {31449600.0, QStringLiteral("%Y")},        // 52 weeks
        {604800.0, QStringLiteral("%e %B")},       // a week
        {86400.0, QStringLiteral("%A, %e %B")},    // a day
        {3600.0, QStringLiteral("%I:%M %p")},      // an hour
        {60.0, QStringLiteral("%I:%M %p")},        // a minute
    };

    m_displayList.setSelectorString(&KLVRRWCEntriesViewDisplayList::pathForState, QStringLiteral("Off"));
    m_displayList.setSelectorString(&KLVRRWCEntriesViewDisplayList::roundedPathForState, QStringLiteral("Asleep"));
    m_displayList.setSelectorString(&KLVRRWCEntriesViewDisplayList::roundedPathForState, QStringLiteral("Unmonitored"));

    m_stateColours = {
        {QStringLiteral("Unmonitored"), QColor::fromRgbF(0.0, 0.0, 0.0, 0.4)},
        {QStringLiteral("Off"), QColor::fromRgbF(0.0481521, 0.0699218, 0.176471, 0.85143)},
        {QStringLiteral("Asleep"), QColor::fromRgbF(0.028552, 0.0109792, 0.38914, 0.690476)},
    };
    // The desktop's usual green for "on mains" and orange for "draining".
    m_batteryColours = {
        {QStringLiteral("AC Power"), QColor(0x27, 0xae, 0x60)},
        {QStringLiteral("Battery Power"), QColor(0xf6, 0x74, 0x00)},
    };
}

KLVRRWCEntriesCell::~KLVRRWCEntriesCell() = default;

std::unique_ptr<KLVRRWCEntriesCell> KLVRRWCEntriesCell::copy() const
{
    auto cell = std::make_unique<KLVRRWCEntriesCell>();
    cell->m_log = m_log;
    cell->m_dateRange = m_dateRange;
    cell->m_titled = m_titled;
    cell->m_bordered = m_bordered;
    cell->m_selection = m_selection;
    cell->m_labelTopLeft = m_labelTopLeft;
    cell->m_labelBanner = m_labelBanner;
    cell->setFonts(m_titleFont, m_axisLabelFont, m_xAxisMarkerFont);
    return cell;
}

void KLVRRWCEntriesCell::setDateRange(KLVRRWCDateRangeController *dateRange)
{
    if (m_dateRange == dateRange)
        return;
    m_dateRange = dateRange;
    m_dataSourceChanged = true;
    if (m_controlView)
        m_controlView->update();
}

void KLVRRWCEntriesCell::setControlView(QWidget *view)
{
    m_controlView = view;
}

void KLVRRWCEntriesCell::setTitled(bool titled)
{
    if (m_titled != titled)
        m_dataSourceChanged = true;
    m_titled = titled;
}

void KLVRRWCEntriesCell::setBordered(bool bordered)
{
    if (m_bordered != bordered)
        m_dataSourceChanged = true;
    m_bordered = bordered;
}

void KLVRRWCEntriesCell::setFonts(const QFont &title, const QFont &axisLabel, const QFont &xAxisMarker)
{
    m_titleFont = pixelSized(title);
    m_axisLabelFont = pixelSized(axisLabel);
    m_xAxisMarkerFont = pixelSized(xAxisMarker);
    m_dataSourceChanged = true;
}

QColor KLVRRWCEntriesCell::textColour()
{
    return darkGrey();
}

KLVRRWCAbsoluteDuration KLVRRWCEntriesCell::currentRange() const
{
    if (!m_dateRange || !m_dateRange->hasAbsoluteDuration())
        return KLVRRWCAbsoluteDuration(KLVRAbsoluteTime::invalid(), 0.0);
    return m_dateRange->absoluteDuration();
}

// --- Mapping ---------------------------------------------------------------------------------

QPointF KLVRRWCEntriesCell::convertDateToPoint(KLVRAbsoluteTime date) const
{
    const double duration = m_scaleRange.duration();
    if (!(duration > 0.0) || !m_scaleRange.contains(date))
        return QPointF(0.0, 0.0);
    return QPointF(m_chartRect.x() + (m_chartRect.width() / duration) * date.secondsSince(m_scaleRange.startDate()),
                   m_chartRect.bottom());
}

QPointF KLVRRWCEntriesCell::convertDateAndPercentageToPoint(KLVRAbsoluteTime date, double percent) const
{
    // A date outside the range still gets its height, at x = 0.
    const double y = m_chartRect.bottom() - (m_chartRect.height() / 100.0) * percent;
    return QPointF(convertDateToPoint(date).x(), y);
}

KLVRAbsoluteTime KLVRRWCEntriesCell::convertPointToDate(const QPointF &point) const
{
    const QRectF &c = m_chartRect;
    const bool inside = point.x() >= c.left() && point.x() < c.right() && point.y() >= c.top() && point.y() < c.bottom();
    if (!inside || !m_scaleRange.startDate().isValid())
        return KLVRAbsoluteTime::invalid();
    return m_scaleRange.startDate().addSeconds((point.x() - c.x()) * (m_scaleRange.duration() / c.width()));
}

// --- Building the display list ---------------------------------------------------------------

void KLVRRWCEntriesCell::addState(const QString &state, const KLVRRWCLogEntry *entry, KLVRAbsoluteTime starting,
                                  KLVRAbsoluteTime ending, KLVRRWCEntriesViewDisplayList &list) const
{
    if (state.isEmpty())
        return;
    // An interval reaching past either end of the range is cut at that end; one that lies
    // wholly outside it shows nothing.
    const KLVRAbsoluteTime first = m_scaleRange.startDate();
    const KLVRAbsoluteTime last = m_scaleRange.endDate();
    const KLVRAbsoluteTime a = std::clamp(starting, first, last);
    const KLVRAbsoluteTime b = std::clamp(ending, first, last);
    if (b < a)
        return;
    const QPointF from = convertDateToPoint(a);
    const double x2 = convertDateToPoint(b).x();
    const QRectF bounds(from.x(), m_chartRect.top(), x2 - from.x(), m_chartRect.height() - m_xAxisLineWidth);
    list.addState(KLVRRWCEntriesViewState::stateWithBounds(bounds, state, entry));
}

void KLVRRWCEntriesCell::prepareBatteriesWithoutVisibleEntries(KLVRRWCEntriesViewBatteries &batteries,
                                                               const KLVRRWCAbsoluteDuration &range,
                                                               const KLVRRWCLog *log) const
{
    const KLVRAbsoluteTime start = range.startDate();
    QStringList names = log->batteryEnumerator();
    names.sort();
    for (const QString &name : std::as_const(names)) {
        const qint64 index = log->entryBeforeDate(start);
        if (index == KLVRRWCLog::NotFound)
            continue;
        // The battery's last sample at or before the start: the curve runs from it to the next.
        const KLVRRWCLogEntry *candidate = log->objectAtIndex(qsizetype(index));
        const auto *entry = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(candidate);
        if (!entry || entry->property(kName).toString() != name || entry->date() > start)
            entry = log->powerEventForBatteryBefore(name, candidate);
        if (!entry)
            continue;
        batteries.setLastEntry(entry, name);
        const auto *later = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(entry->previous());
        const double charge = later ? KLVRRWCLog::interpolatePercentageChargedForDate(start, entry, later)
                                    : double(entry->percentageCharged());
        batteries.addSegment(KLVRRWCEntriesViewBatterySegment::batterySegmentForState(
                                 stateOfEntry(entry), convertDateAndPercentageToPoint(start, charge)),
                             name);
    }
}

void KLVRRWCEntriesCell::prepareDisplayList(KLVRRWCEntriesViewDisplayList &list, const KLVRRWCAbsoluteDuration &range,
                                            const KLVRRWCLog *log)
{
    m_scaleRange = range;
    list.removeAllObjects();
    if (!log || log->count() == 0 || !range.startDate().isValid() || !(range.duration() > 0.0))
        return;

    KLVRRWCEntriesViewBatteries &batteries = list.batteries();
    const KLVRAbsoluteTime start = range.startDate();
    const KLVRAbsoluteTime end = range.endDate();
    // What the first pass keeps for each group: its newest visible entry so far and, for a
    // power source, its name, its last sample and its curve.
    struct Group
    {
        const KLVRRWCLogEntry *last = nullptr;
        bool isSource = false;
        QString name;
        const KLVRRWCLogEntryPowerStatus *lastSample = nullptr;
        bool lastConnected = false;
        QList<KLVRRWCEntriesViewBatterySegment> *segments = nullptr;
    };
    SmallMap<Group> groups;
    // Entries of one group are chained, so an entry nearly always follows the newest one seen
    // of its group; its group's name (a copy for every entry) is read only when it does not.
    const auto groupOf = [&groups](const KLVRRWCLogEntry *entry) -> Group & {
        if (const KLVRRWCLogEntry *older = entry->next()) {
            if (Group *group = groups.findIf([older](const Group &group) { return group.last == older; }))
                return *group;
        }
        const QString name = entry->group();
        Group *group = groups.find(name);
        return group ? *group : groups.insert(name, Group());
    };

    // Whether each kind of entry met is a power status, by its type: a dynamic cast for every
    // entry costs more than the rest of its work.
    std::vector<std::pair<const std::type_info *, bool>> kinds;
    const auto asStatus = [&kinds](const KLVRRWCLogEntry *entry) -> const KLVRRWCLogEntryPowerStatus * {
        const std::type_info *type = &typeid(*entry);
        for (const auto &[known, isStatus] : kinds) {
            if (known == type)
                return isStatus ? static_cast<const KLVRRWCLogEntryPowerStatus *>(entry) : nullptr;
        }
        const auto *status = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(entry);
        kinds.emplace_back(type, status != nullptr);
        return status;
    };

    // Intervals that end inside the range, and the battery samples inside it.
    const qsizetype visibleCount = log->countOfVisibleEntries();
    const KLVRRWCLogEntry *firstVisible = visibleCount > 0 ? log->objectInVisibleEntriesAtIndex(0) : nullptr;
    // The walk waits mostly on entries coming from memory (a few hundred bytes each, scattered
    // by the allocator), so each is asked for a dozen entries ahead.
    const auto &entries = log->entries();
    const size_t firstIndex = size_t(log->visibleRange().location);
    for (qsizetype i = 0; i < visibleCount; ++i) {
        const KLVRRWCLogEntry *entry = log->objectInVisibleEntriesAtIndex(i);
        if (firstIndex + size_t(i) + 12 < entries.size())
            prefetch(entries[firstIndex + size_t(i) + 12].get());
        Group &group = groupOf(entry);
        group.last = entry;
        if (!entry->pairRepresents().isEmpty() && entry->pair())
            addState(entry->pair()->pairRepresents(), entry, std::max(entry->pair()->date(), start), entry->finalDate(), list);

        const KLVRRWCLogEntryPowerStatus *status = asStatus(entry);
        if (!status)
            continue;
        if (!group.isSource) {
            group.isSource = true;
            group.name = status->hasProperty(kName) ? status->property(kName).toString() : QString();
            if (!group.name.isNull())
                group.segments = &batteries.segments(group.name);
        }
        if (!group.segments)
            continue;
        // A sample that does not change the battery's presence has its older neighbour's,
        // which saves reading its properties.
        const bool connected = status->change() != KLVRRWCLogEntryPowerStatus::ChangePresence && group.lastSample
                                       && status->next() == group.lastSample
                                   ? group.lastConnected
                                   : status->connected();
        group.lastSample = status;
        group.lastConnected = connected;
        QList<KLVRRWCEntriesViewBatterySegment> &segments = *group.segments;
        if (segments.isEmpty()) {
            const KLVRRWCLogEntryPowerStatus *before = log->powerEventForBatteryBefore(group.name, firstVisible);
            if (before) {
                const double charge = KLVRRWCLog::interpolatePercentageChargedForDate(start, before, status);
                segments.append(KLVRRWCEntriesViewBatterySegment::batterySegmentForState(
                    before->property(kPowerSourceState).toString(), convertDateAndPercentageToPoint(start, charge)));
            } else {
                // The battery's first sample ever, which reports its presence as a change: the
                // coloured curve starts with the segment that change opens.
                segments.append(KLVRRWCEntriesViewBatterySegment::batterySegment());
            }
        }
        const double charge = status->percentageCharged();
        const QPointF point = convertDateAndPercentageToPoint(status->date(), charge);
        if (connected)
            segments.last().addPoint(point);
        else
            segments.last().disconnectionPoint(point);

        // A change of presence or source starts a new stretch at this sample; the level held
        // over its merged duplicates already belongs to the new stretch.
        if (status->change() == KLVRRWCLogEntryPowerStatus::ChangePresence)
            segments.append(KLVRRWCEntriesViewBatterySegment::batterySegmentForState(stateOfEntry(status), point));
        else if (status->change() == KLVRRWCLogEntryPowerStatus::ChangeSourceState)
            segments.append(KLVRRWCEntriesViewBatterySegment::batterySegmentForState(status->property(kPowerSourceState).toString(), point));
        const KLVRAbsoluteTime finalDate = status->finalDate();
        if (finalDate != status->date() && range.contains(finalDate))
            segments.last().addPoint(convertDateAndPercentageToPoint(finalDate, charge));
    }
    for (const auto &[name, group] : groups.items()) {
        if (group.lastSample)
            batteries.setLastEntry(group.lastSample, group.name);
    }

    // Intervals that begin inside the range and end after it.
    for (const auto &[name, group] : groups.items()) {
        const KLVRRWCLogEntry *newer = group.last->previous();
        if (newer && newer->pair() && !newer->pairRepresents().isEmpty())
            addState(newer->pair()->pairRepresents(), newer, std::max(newer->pair()->date(), start),
                     std::min(newer->date(), end), list);
    }

    // Groups with no change inside the range: the interval that spans it.
    SmallMap<bool> remaining;
    const QSet<QString> allGroups = log->groups();
    for (const QString &group : allGroups)
        remaining.insert(group, true);
    qsizetype remainingCount = remaining.size();
    qint64 index = log->entryBeforeDate(end);
    if (index != KLVRRWCLog::NotFound) {
        for (; remainingCount > 0 && index < log->count(); ++index) {
            const KLVRRWCLogEntry *entry = log->objectAtIndex(qsizetype(index));
            bool *open = remaining.find(entry->group());
            if (!open || !*open)
                continue;
            *open = false;
            --remainingCount;
            const KLVRRWCLogEntry *pair = entry->pair();
            if (!pair || pair->pairRepresents().isEmpty())
                continue;
            const KLVRAbsoluteTime a = std::max(pair->date(), start);
            const KLVRAbsoluteTime b = std::min(entry->date(), end);
            if (!(a < start) && !(b > end))
                addState(pair->pairRepresents(), entry, a, b, list);
        }
    }

    if (log->supportsBatteries() && batteries.isEmpty())
        prepareBatteriesWithoutVisibleEntries(batteries, range, log);

    // Every curve runs on to the end of the range, towards the battery's next sample.
    const QStringList names = batteries.names();
    for (const QString &name : names) {
        KLVRRWCEntriesViewBatterySegment *segment = batteries.currentSegmentForBattery(name);
        const KLVRRWCLogEntryPowerStatus *last = batteries.lastEntryForBattery(name);
        if (!segment || !last)
            continue;
        if (const auto *later = dynamic_cast<const KLVRRWCLogEntryPowerStatus *>(last->previous()))
            segment->addPoint(convertDateAndPercentageToPoint(end, KLVRRWCLog::interpolatePercentageChargedForDate(end, last, later)));
    }
}

// --- Drawing ---------------------------------------------------------------------------------

void KLVRRWCEntriesCell::drawInteriorWithFrame(QPainter &painter, const QRectF &frame)
{
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (frame.size() * dpr).toSize();
    if (pixels.isEmpty())
        return;
    if (m_cachedImage.isNull() || m_dataSourceChanged || m_cachedImage.size() != pixels
        || m_cachedImage.devicePixelRatio() != dpr) {
        if (m_cachedImage.size() != pixels)
            m_cachedImage = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_cachedImage.setDevicePixelRatio(dpr);
        // The picture lays its white panel over the whole frame; only pixels that the frame
        // covers in part need white underneath as well.
        if (QSizeF(pixels) != frame.size() * dpr)
            m_cachedImage.fill(Qt::white);
        QPainter imagePainter(&m_cachedImage);
        imagePainter.translate(-frame.topLeft());
        paint(imagePainter, frame);
        imagePainter.end();
        m_dataSourceChanged = false;
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(frame.topLeft(), m_cachedImage);
    painter.restore();
}

void KLVRRWCEntriesCell::paint(QPainter &painter, const QRectF &frame)
{
    ++m_renderCount;
    m_scaleRange = currentRange();
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    drawAxisWithFrame(painter, frame);
    drawEntries(painter, frame);
    drawLabelsWithFrame(painter, frame);
    painter.restore();
}

QImage KLVRRWCEntriesCell::imageWithSize(const QSizeF &size, qreal devicePixelRatio) const
{
    const QSize pixels = (size * devicePixelRatio).toSize();
    if (pixels.isEmpty())
        return QImage();
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    copy()->paint(painter, QRectF(QPointF(0.0, 0.0), size));
    painter.end();
    return image;
}

void KLVRRWCEntriesCell::drawAxisWithFrame(QPainter &painter, const QRectF &frame)
{
    const double duration = m_scaleRange.duration();
    const bool scaled = m_scaleRange.startDate().isValid() && duration > 0.0;
    const bool batteries = m_log && m_log->supportsBatteries();

    painter.fillRect(frame, Qt::white);
    if (m_bordered) {
        const QPalette palette = m_controlView ? m_controlView->palette() : QGuiApplication::palette();
        painter.setPen(QPen(palette.color(QPalette::Mid), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame.adjusted(0.5, 0.5, -0.5, -0.5));
    }

    const QString title = scaled ? m_scaleRange.periodDescription() : QString();
    const QFontMetricsF titleMetrics(m_titleFont);
    const QSizeF titleSize(titleMetrics.horizontalAdvance(title), titleMetrics.height());
    const QString batteryLabel = KLVRStringsTable::localizedString(kBatteryLabel, QStringLiteral("KLVRRWCEntriesCell"));
    const QSizeF batteryLabelSize = QFontMetricsF(m_axisLabelFont).size(0, batteryLabel);
    const double sampleHeight = QFontMetricsF(m_xAxisMarkerFont).size(0, kSampleMarkerText).height();

    m_mediaRect = frame.adjusted(kMediaInset, kMediaInset, -kMediaInset, -kMediaInset);
    QRectF r = m_mediaRect;
    painter.setPen(darkGrey());
    if (m_titled) {
        const double width = std::min(m_mediaRect.width(), titleSize.width());
        const QRectF titleRect(m_mediaRect.x() + (m_mediaRect.width() - width) / 2.0, m_mediaRect.bottom() - titleSize.height(),
                               width, titleSize.height());
        painter.setFont(m_titleFont);
        painter.drawText(titleRect, Qt::AlignHCenter | Qt::AlignTop, titleMetrics.elidedText(title, Qt::ElideRight, width + 0.5));
        r.setBottom(r.bottom() - titleSize.height() - kGap);
    }
    m_xAxisMarkerTextHeight = float(sampleHeight + kGap);
    r.setBottom(r.bottom() - m_xAxisMarkerTextHeight);
    if (batteries) {
        r.setLeft(r.left() + batteryLabelSize.width() + kGap);
        // Centred a quarter of its height above the middle of the chart.
        const double labelBottom = r.bottom() - (r.height() - batteryLabelSize.height() / 2.0) / 2.0;
        const QRectF labelRect(m_mediaRect.x(), labelBottom - batteryLabelSize.height(), batteryLabelSize.width(),
                               batteryLabelSize.height());
        painter.setFont(m_axisLabelFont);
        painter.drawText(labelRect, Qt::AlignHCenter | Qt::AlignTop, batteryLabel);
    }
    if (r.width() < 0.0)
        r.setWidth(0.0);
    if (r.height() < 0.0)
        r.setHeight(0.0);
    m_chartRect = r;

    painter.setPen(QPen(darkGrey(), m_xAxisLineWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(r.left(), r.bottom()), QPointF(r.right(), r.bottom()));
    if (batteries) {
        // Grid lines at 20, 40, 60, 80 and 100 percent; dashes are in units of the line width.
        QPen grid(lightGrey(), m_xAxisLineWidth / 2.0, Qt::CustomDashLine, Qt::FlatCap);
        grid.setDashPattern({1.0 / grid.widthF(), 3.0 / grid.widthF()});
        painter.setPen(grid);
        for (int step = 1; step <= 5; ++step) {
            const double y = r.bottom() - step * r.height() / 5.0;
            painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        }
    }

    // The ticks depend on the range and the layout alone: a redraw for new entries reuses them.
    const double minimumSpacing = std::min(10.0, frame.width() / 10.0);
    const TickLayout layout{m_scaleRange.startDate(), duration, r, m_mediaRect, minimumSpacing, m_xAxisMarkerFont};
    if (!(layout == m_tickLayout)) {
        m_tickLayout = layout;
        m_tickLevels.clear();
        m_tickOutlines.clear();
        if (!scaled || !(r.width() > 0.0))
            return;
        const double pixelsPerSecond = r.width() / duration;
        bool label = true;
        int marker = 0;
        for (const KLVRRWCEntriesViewMarkerInterval &interval : std::as_const(m_markerIntervals)) {
            if (marker >= m_markers.size())
                break;
            const double spacing = interval.timeInterval() * pixelsPerSecond;
            if (spacing > minimumSpacing && spacing < r.width()) {
                QPainterPath outline;
                m_tickLevels.append(layoutMarker(marker, interval, label, outline));
                m_tickOutlines.append(outline);
                if (!m_tickLevels.last().labels.isEmpty())
                    label = false;
                ++marker;
            }
        }
    }
    for (qsizetype i = 0; i < m_tickLevels.size(); ++i)
        drawTickLevel(painter, m_tickLevels[i], m_tickOutlines[i]);
}

KLVRAbsoluteTime KLVRRWCEntriesCell::tickDate(double timeInterval, qint64 k) const
{
    const KLVRAbsoluteTime start = m_scaleRange.startDate();
    const qint64 days = wholeDays(timeInterval);
    if (days == 0)
        return start.addSeconds(timeInterval * double(k));
    // A day made longer or shorter by a clock change keeps its ticks at local midnight.
    const QDateTime origin = start.toDateTime();
    return start.addSeconds(double(origin.msecsTo(origin.addDays(days * k))) / 1000.0);
}

KLVRRWCEntriesCell::TickLevel KLVRRWCEntriesCell::layoutMarker(int marker, const KLVRRWCEntriesViewMarkerInterval &interval,
                                                                bool label, QPainterPath &outline) const
{
    const double duration = m_scaleRange.duration();
    const double count = duration / interval.timeInterval();
    const double pixelsPerSecond = m_chartRect.width() / duration;
    const bool labelling = label && count >= 2.0 && !interval.dateFormat().isEmpty();
    const QFontMetricsF metrics(m_xAxisMarkerFont);
    const KLVRAbsoluteTime end = m_scaleRange.endDate();

    TickLevel level;
    level.interval = interval;
    level.marker = marker;
    QRectF lastLabel;
    // One tick at the start and one per interval after it, up to but not at the end. The
    // ticks make one outline: they never touch, and a year has hundreds.
    for (qint64 k = 0;; ++k) {
        const KLVRAbsoluteTime date = tickDate(interval.timeInterval(), k);
        if (k > 0 && !(date < end))
            break;
        const double x = m_chartRect.x() + date.secondsSince(m_scaleRange.startDate()) * pixelsPerSecond;
        outline.addPath(m_markers.at(marker).translated(x, m_chartRect.bottom()));
        level.positions.append(x);
        if (!labelling)
            continue;
        const QString text = formatDate(date, interval.dateFormat());
        const QSizeF size = metrics.size(0, text);
        const QRectF rect(x - size.width() / 2.0, m_chartRect.bottom() + m_xAxisMarkerTextHeight - size.height(), size.width(),
                          size.height());
        if (!m_mediaRect.contains(rect) || (!lastLabel.isNull() && rect.intersects(lastLabel)) || !(rect.left() > m_chartRect.x()))
            continue;
        level.labels.append({rect, text, date});
        // Half a label's width stays free before the next one.
        lastLabel = QRectF(rect.x(), rect.y(), rect.width() * 1.5, rect.height());
    }
    return level;
}

void KLVRRWCEntriesCell::drawTickLevel(QPainter &painter, const TickLevel &level, const QPainterPath &outline) const
{
    painter.save();
    painter.setPen(QPen(darkGrey(), m_markerWidths.value(level.marker, 1.0), Qt::SolidLine, Qt::FlatCap));
    painter.setFont(m_xAxisMarkerFont);
    for (const TickLabel &label : level.labels)
        painter.drawText(label.rect, Qt::AlignHCenter | Qt::AlignTop, label.text);
    painter.drawPath(outline);
    painter.restore();
}

void KLVRRWCEntriesCell::drawEntries(QPainter &painter, const QRectF &frame)
{
    prepareDisplayList(m_displayList, m_scaleRange, m_log);

    m_toolTipAreas.clear();
    SmallMap<bool> drawn;
    for (const KLVRRWCEntriesViewState &band : m_displayList.states()) {
        if (!(band.bounds().width() > 2.0))
            continue;
        const bool *coloured = drawn.find(band.state());
        if (!coloured)
            coloured = &drawn.insert(band.state(), m_stateColours.contains(band.state()));
        if (*coloured)
            m_toolTipAreas.append({band.bounds(), band.state(), band.entry()});
    }
    if (frame.isEmpty())
        return;

    // Bands, shadow and curves are laid pixel by pixel in the device's own pixels; a painter
    // that rotates, shears or prints at a printer's resolution gets the bands as outlines
    // instead.
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    const QRect pixels = device.mapRect(frame).toAlignedRect();
    const bool direct = device.type() <= QTransform::TxScale && scale > 0.0 && std::abs(device.m22() - scale) < 1e-9
                        && scale <= kMaximumLayerScale;
    painter.save();
    if (direct) {
        // Into the image being painted, when the painter paints it plainly and the frame fills
        // it; otherwise into a clear layer that is drawn over it afterwards.
        QImage *target = plainlyPaintedImage(painter, pixels);
        if (!target) {
            if (m_layer.size() != pixels.size())
                m_layer = QImage(pixels.size(), QImage::Format_ARGB32_Premultiplied);
            m_layer.setDevicePixelRatio(1.0);
            m_layer.fill(Qt::transparent);
        }
        QImage &layer = target ? *target : m_layer;
        const QPointF offset = QPointF(device.dx(), device.dy()) - pixels.topLeft();
        const auto map = [&](const QRectF &r) { return QRectF(r.topLeft() * scale + offset, r.size() * scale); };
        QList<KLVRRWCEntriesViewRaster::Bands> states;
        for (const QString &state : m_displayList.stateOrder()) {
            const QColor colour = m_stateColours.value(state);
            const QList<QRectF> runs = m_displayList.mergedBoundsForState(state);
            if (!colour.isValid() || runs.isEmpty())
                continue;
            QList<QRectF> mapped;
            mapped.reserve(runs.size());
            QRectF bounds = runs.first();
            for (const QRectF &run : runs) {
                bounds |= run;
                mapped.append(map(run));
            }
            const auto [dark, light] = gradientColours(colour);
            states.append({mapped, map(bounds), dark, light, m_displayList.cornerRadiusForState(state) * scale});
        }
        KLVRRWCEntriesViewRaster::fillBands(layer, states);
        drawBatteries(layer, scale, offset);
        if (!target) {
            layer.setDevicePixelRatio(scale);
            painter.drawImage(device.inverted().map(QPointF(pixels.topLeft())), layer);
        }
    } else {
        for (const QString &state : m_displayList.stateOrder()) {
            const QColor colour = m_stateColours.value(state);
            const QList<QRectF> runs = m_displayList.mergedBoundsForState(state);
            if (!colour.isValid() || runs.isEmpty())
                continue;
            QRectF bounds = runs.first();
            QPainterPath path;
            for (const QRectF &run : runs) {
                bounds |= run;
                path.addPath(m_displayList.outlineForState(state, run));
            }
            drawGradientWithBaseColour(painter, colour, bounds, path);
        }
        const double layerScale = std::clamp(std::hypot(device.m11(), device.m12()), 1.0, kMaximumLayerScale);
        QImage layer((frame.size() * layerScale).toSize(), QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        drawBatteries(layer, layerScale, -frame.topLeft() * layerScale);
        layer.setDevicePixelRatio(layerScale);
        painter.drawImage(frame.topLeft(), layer);
    }
    painter.restore();
}

void KLVRRWCEntriesCell::drawBatteries(QImage &layer, double scale, const QPointF &offset) const
{
    if (m_displayList.batteries().isEmpty())
        return;

    // The curves are drawn as one group that casts one shadow, so where they cross the shadow
    // does not darken twice: each stretch's area down to the axis at a tenth of its colour's
    // opacity, then the lines.
    if (m_curves.size() != layer.size())
        m_curves = QImage(layer.size(), QImage::Format_ARGB32_Premultiplied);
    QImage &curves = m_curves;
    curves.fill(Qt::transparent);
    const double baseline = m_chartRect.bottom() * scale + offset.y();
    // One coverage per line colour, in the order the colours first appear.
    QList<QColor> order;
    for (const auto &segments : m_displayList.batteries().batterySegments()) {
        for (const KLVRRWCEntriesViewBatterySegment &segment : segments) {
            const QColor colour = m_batteryColours.value(segment.state());
            if (!colour.isValid() || !segment.hasPath())
                continue;
            std::vector<QPointF> points = simplifiedLine(segment.points(), 1.0 / scale);
            for (QPointF &point : points)
                point = point * scale + offset;
            QColor fill = colour;
            fill.setAlphaF(colour.alphaF() / 10.0);
            KLVRRWCEntriesViewRaster::fillUnder(curves, points, baseline, fill);
            qsizetype index = order.indexOf(colour);
            if (index < 0) {
                index = order.size();
                order.append(colour);
                if (m_coverages.size() < size_t(order.size()))
                    m_coverages.emplace_back(0, 0);
                m_coverages[size_t(index)].reset(curves.width(), curves.height());
            }
            m_coverages[size_t(index)].addLine(points, kBatteryLineWidth * scale);
        }
    }
    // Colours meet only where a stretch ends, so their order does not show.
    KLVRRWCEntriesViewRaster::blendLines(curves, m_coverages, order);

    // The shadow: the group's coverage averaged over blocks of about a quarter of a point,
    // blurred, in black at a third of it, further down.
    const int block = std::max(1, int(std::lround(scale / kShadowScale)));
    QImage mask = KLVRRWCEntriesViewRaster::averageAlpha(curves, block);
    if (mask.isNull())
        return;
    KLVRRWCEntriesViewRaster::blurAlpha(mask, kShadowBlur / 2.0 * scale / block);
    for (int y = 0; y < mask.height(); ++y) {
        uchar *alpha = mask.scanLine(y);
        for (int x = 0; x < mask.width(); ++x)
            alpha[x] = uchar(alpha[x] / 3);
    }
    KLVRRWCEntriesViewRaster::layShadowAndPicture(layer, mask, block, kShadowOffset * scale, curves);
}

std::vector<QPointF> KLVRRWCEntriesCell::simplifiedLine(const std::vector<QPointF> &line, double columnWidth)
{
    const size_t count = line.size();
    if (count <= 4 || !(columnWidth > 0.0))
        return line;
    const auto columnOf = [columnWidth](const QPointF &point) {
        const double column = point.x() / columnWidth;
        const qint64 whole = qint64(column);
        return whole - (column < double(whole) ? 1 : 0);
    };
    std::vector<QPointF> simple;
    simple.reserve(count);
    simple.push_back(line.front());
    qint64 column = columnOf(line.front());
    for (size_t first = 0; first < count;) {
        // The run of points in one column: its first, lowest, highest and last, in line order.
        size_t last = first;
        size_t lowest = first;
        size_t highest = first;
        qint64 next = column;
        while (last + 1 < count && (next = columnOf(line[last + 1])) == column) {
            ++last;
            if (line[last].y() > line[lowest].y())
                lowest = last;
            if (line[last].y() < line[highest].y())
                highest = last;
        }
        const size_t kept[4] = {first, std::min(lowest, highest), std::max(lowest, highest), last};
        size_t previous = 0;
        for (const size_t index : kept) {
            if (index > previous) {
                simple.push_back(line[index]);
                previous = index;
            }
        }
        first = last + 1;
        column = next;
    }
    return simple;
}

void KLVRRWCEntriesCell::drawLabelsWithFrame(QPainter &painter, const QRectF &frame) const
{
    const auto draw = [&](const QString &html, const auto &place) {
        if (html.isEmpty())
            return;
        QTextDocument document;
        document.setDocumentMargin(0.0);
        document.setDefaultFont(m_titleFont);
        document.setHtml(html);
        const QSizeF size = document.size();
        painter.save();
        painter.translate(place(size));
        document.drawContents(&painter);
        painter.restore();
    };
    draw(m_labelTopLeft, [&](const QSizeF &) { return frame.topLeft(); });
    // Centred across, its middle three fifths of the height up from the bottom.
    draw(m_labelBanner, [&](const QSizeF &size) {
        const double fromBottom = std::floor(frame.height() * 3.0 / 5.0 - size.height() / 2.0);
        return QPointF(frame.x() + std::floor(frame.width() / 2.0 - size.width() / 2.0),
                       frame.y() + frame.height() - fromBottom - size.height());
    });
}

std::pair<QColor, QColor> KLVRRWCEntriesCell::gradientColours(const QColor &colour)
{
    const QColor hsv = colour.toHsv();
    const float h = hsv.hsvHueF();
    const float s = hsv.hsvSaturationF();
    const float v = hsv.valueF();
    const float a = hsv.alphaF();
    const QColor dark = QColor::fromHsvF(h, s > 0.04f ? std::min(s + 0.12f, 1.0f) : 0.0f, std::max(v - 0.09f, 0.0f), a);
    const QColor light = QColor::fromHsvF(h, std::max(s - 0.12f, 0.0f), std::min(v + 0.3f, 1.0f), a);
    return {dark, light};
}

void KLVRRWCEntriesCell::drawGradientWithBaseColour(QPainter &painter, const QColor &colour, const QRectF &rect,
                                                    const QPainterPath &path)
{
    const auto [dark, light] = gradientColours(colour);
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, dark);
    gradient.setColorAt(1.0, light);
    painter.fillPath(path, gradient);
}

// --- Interaction -----------------------------------------------------------------------------

bool KLVRRWCEntriesCell::track(const QPointF &point)
{
    const KLVRAbsoluteTime date = convertPointToDate(point);
    if (!date.isValid())
        return false;
    m_selection = date;
    return true;
}

QString KLVRRWCEntriesCell::toolTipAt(const QPointF &point, QRectF *area) const
{
    // The state drawn last lies on top.
    const QStringList &order = m_displayList.stateOrder();
    for (auto state = order.crbegin(); state != order.crend(); ++state) {
        for (auto it = m_toolTipAreas.crbegin(); it != m_toolTipAreas.crend(); ++it) {
            if (it->state != *state || !it->rect.contains(point))
                continue;
            if (area)
                *area = it->rect;
            const QString text = it->entry ? it->entry->toolTip() : QString();
            return text.isEmpty() ? it->state : text;
        }
    }
    return QString();
}

QString KLVRRWCEntriesCell::formatDate(KLVRAbsoluteTime date, const QString &format)
{
    const QDateTime local = date.toDateTime();
    const QDate day = local.date();
    const QTime time = local.time();
    const QLocale c = QLocale::c();
    const auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString text;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar ch = format.at(i);
        if (ch != QLatin1Char('%') || i + 1 == format.size()) {
            text += ch;
            continue;
        }
        switch (format.at(++i).unicode()) {
        case 'Y': text += QString::number(day.year()); break;
        case 'y': text += two(day.year() % 100); break;
        case 'm': text += two(day.month()); break;
        case 'd': text += two(day.day()); break;
        // The day of the month without padding, as the period titles write it.
        case 'e': text += QString::number(day.day()); break;
        case 'B': text += c.monthName(day.month(), QLocale::LongFormat); break;
        case 'b': text += c.monthName(day.month(), QLocale::ShortFormat); break;
        case 'A': text += c.dayName(day.dayOfWeek(), QLocale::LongFormat); break;
        case 'a': text += c.dayName(day.dayOfWeek(), QLocale::ShortFormat); break;
        case 'H': text += two(time.hour()); break;
        case 'I': text += two(time.hour() % 12 == 0 ? 12 : time.hour() % 12); break;
        case 'M': text += two(time.minute()); break;
        case 'S': text += two(time.second()); break;
        case 'p': text += time.hour() < 12 ? c.amText() : c.pmText(); break;
        case '%': text += QLatin1Char('%'); break;
        default: text += QLatin1Char('%') + format.at(i); break;
        }
    }
    return text;
}

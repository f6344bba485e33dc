// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDateRangeController.h"

#include "KLVRAssertionException.h"
#include "KLVRUserDefaults.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <algorithm>

namespace {

const QString kDateRangeKey = QStringLiteral("dateRange");
const QString kDurationDateKey = QStringLiteral("KLVRRWCDateRangeController.duration.date");
const QString kDurationIntervalKey = QStringLiteral("KLVRRWCDateRangeController.duration.interval");

// The timer also looks at the calendar at least this often, because its clock stands still
// while the machine sleeps and the day may have changed meanwhile.
constexpr qint64 kDayCheckInterval = 60 * 1000;

QDate localDay(KLVRAbsoluteTime time)
{
    return time.toDateTime().date();
}

KLVRAbsoluteTime startOfDay(QDate day)
{
    return KLVRAbsoluteTime::fromDateTime(day.startOfDay());
}

KLVRAbsoluteTime endOfDay(QDate day)
{
    return startOfDay(day.addDays(1)).addSeconds(-1.0);
}

KLVRAbsoluteTime addDays(KLVRAbsoluteTime time, int days)
{
    return KLVRAbsoluteTime::fromDateTime(time.toDateTime().addDays(days));
}

// Dates beyond any calendar (a script may send anything) are taken as the calendar's ends.
KLVRAbsoluteTime withinCalendar(KLVRAbsoluteTime time)
{
    return std::clamp(time, KLVRRWCDateRangeController::platformDistantPast(), KLVRRWCDateRangeController::platformDistantFuture());
}

KLVRRWCAbsoluteDuration spanOfDays(QDate first, QDate last)
{
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(startOfDay(first), endOfDay(last));
}

} // namespace

KLVRRWCDateRangeController::KLVRRWCDateRangeController(KLVRUserDefaults *defaults, QObject *parent, Clock clock)
    : QObject(parent)
    , m_defaults(defaults ? defaults : KLVRUserDefaults::standard())
    , m_clock(std::move(clock))
{
    m_passingMidnightTimer.setSingleShot(true);
    m_passingMidnightTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_passingMidnightTimer, &QTimer::timeout, this, &KLVRRWCDateRangeController::checkDayChange);
    connect(m_defaults, &KLVRUserDefaults::valueChanged, this, [this](const QString &key, const QVariant &value) {
        if (key == kDateRangeKey)
            setSelectionTag(value.toInt());
    });
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &KLVRRWCDateRangeController::saveState);

    initPrecalculatedDurations();
    const QVariant stored = m_defaults->value(kDateRangeKey);
    int tag = stored.isValid() ? stored.toInt() : int(Today);
    if (tag < 1 || tag > kSpanCount)
        tag = Today;
    m_publishedTag = stored.isValid() ? stored.toInt() : 0;
    setSelectionTag(tag);
    armMidnightTimer();
    // Until the log supplies the real limits, only today is within reach.
    const KLVRAbsoluteTime today = now();
    setDistantPast(today, today);
}

KLVRRWCDateRangeController::~KLVRRWCDateRangeController() = default;

KLVRAbsoluteTime KLVRRWCDateRangeController::floorDate(KLVRAbsoluteTime aDate)
{
    if (!aDate.isValid())
        KLVRAssertionException::invalidParameter("aDate", __FILE__, __LINE__);
    return startOfDay(localDay(aDate));
}

KLVRAbsoluteTime KLVRRWCDateRangeController::ceilingDate(KLVRAbsoluteTime aDate)
{
    if (!aDate.isValid())
        KLVRAssertionException::invalidParameter("aDate", __FILE__, __LINE__);
    return endOfDay(localDay(aDate));
}

qint64 KLVRRWCDateRangeController::msecsUntilNextMidnight(KLVRAbsoluteTime now)
{
    const QDateTime current = now.toDateTime();
    return current.msecsTo(current.date().addDays(1).startOfDay());
}

KLVRAbsoluteTime KLVRRWCDateRangeController::platformDistantPast()
{
    // 0001-01-01 00:00:00 UTC
    return KLVRAbsoluteTime(-63114076800.0);
}

KLVRAbsoluteTime KLVRRWCDateRangeController::platformDistantFuture()
{
    // 4001-01-01 00:00:00 UTC
    return KLVRAbsoluteTime(63113904000.0);
}

KLVRAbsoluteTime KLVRRWCDateRangeController::distantPast() const
{
    return m_distantPast.value_or(platformDistantPast());
}

KLVRAbsoluteTime KLVRRWCDateRangeController::distantFuture() const
{
    return m_distantFuture.value_or(platformDistantFuture());
}

KLVRAbsoluteTime KLVRRWCDateRangeController::now() const
{
    return m_clock ? m_clock() : KLVRAbsoluteTime::now();
}

void KLVRRWCDateRangeController::setAbsoluteDuration(const KLVRRWCAbsoluteDuration &span)
{
    applySpan(span);
}

KLVRRWCAbsoluteDuration KLVRRWCDateRangeController::normalised(const KLVRRWCAbsoluteDuration &span) const
{
    if (!span.startDate().isValid() || !span.endDate().isValid())
        KLVRAssertionException::invalidParameter("aDuration", __FILE__, __LINE__);
    KLVRAbsoluteTime start = floorDate(withinCalendar(span.startDate()));
    KLVRAbsoluteTime end = ceilingDate(withinCalendar(span.endDate()));
    // An end before the start: the span runs from the start to the next midnight.
    if (end < start)
        end = startOfDay(localDay(start).addDays(1));
    // Clamp an end only when the span reaches into the data; a span wholly outside it stays as
    // chosen (and shows nothing) rather than turning inside out.
    const KLVRAbsoluteTime past = distantPast();
    const KLVRAbsoluteTime future = distantFuture();
    if (start < past && end >= past)
        start = past;
    if (end > future && start <= future)
        end = future;
    return KLVRRWCAbsoluteDuration::absoluteDurationFromDate(start, end);
}

void KLVRRWCDateRangeController::applySpan(const KLVRRWCAbsoluteDuration &span, int readyMadeTag)
{
    const KLVRRWCAbsoluteDuration result = normalised(span);
    // A ready-made span is adjusted where it is kept, so that it is recognised, and offered, as
    // it was shown.
    if (readyMadeTag >= 1 && readyMadeTag < kSpanCount)
        m_precalculatedDurations[readyMadeTag - 1] = result;
    const bool changed = !m_hasSpan || !m_absoluteDuration.equal(result);
    m_absoluteDuration = result;
    m_hasSpan = true;
    // A ready-made span chosen by its tag keeps it, even where kept within the data it equals
    // another one: the choice must not turn into "everything" while the data is one day long.
    if (readyMadeTag >= 1 && readyMadeTag < kSpanCount) {
        if (m_selectionTag != readyMadeTag)
            setSelectionTag(readyMadeTag);
    } else {
        updateSelectionTagWithAbsoluteDuration(result);
    }
    if (changed)
        Q_EMIT absoluteDurationChanged(m_absoluteDuration);
}

void KLVRRWCDateRangeController::updateSelectionTagWithAbsoluteDuration(const KLVRRWCAbsoluteDuration &span)
{
    // Where ready-made spans coincide (on a Sunday this week is the last seven days), the last
    // one equal to the span gives the tag.
    int tag = kSpanCount;
    for (int index = 0; index < kSpanCount - 1; ++index) {
        if (m_precalculatedDurations[index].equal(span))
            tag = index + 1;
    }
    if (tag != m_selectionTag)
        setSelectionTag(tag);
}

void KLVRRWCDateRangeController::setSelectionTag(int tag)
{
    if (tag == m_selectionTag)
        return;
    m_selectionTag = tag;
    if (tag > 0 && tag < kSpanCount)
        applySpan(m_precalculatedDurations[tag - 1], tag);
    else
        m_selectionTag = kSpanCount;
    publishSelectionTag();
}

void KLVRRWCDateRangeController::publishSelectionTag()
{
    if (m_publishedTag == m_selectionTag)
        return;
    m_publishedTag = m_selectionTag;
    if (m_defaults && m_defaults->value(kDateRangeKey).toInt() != m_selectionTag)
        m_defaults->setValue(kDateRangeKey, m_selectionTag);
    Q_EMIT selectionTagChanged(m_selectionTag);
}

bool KLVRRWCDateRangeController::canSelectTag(int tag) const
{
    if (tag < 1 || tag > kSpanCount)
        return false;
    // Only a span that lies wholly within the data is offered.
    const KLVRRWCAbsoluteDuration &span = m_precalculatedDurations[tag - 1];
    return span.startDate() >= distantPast() && span.endDate() <= distantFuture();
}

bool KLVRRWCDateRangeController::canZoomIn() const
{
    // More than one local day, counted by the calendar: a day of 23 or 25 hours, or one that
    // ends at the next midnight rather than at 23:59:59, is still one day.
    return m_hasSpan && floorDate(m_absoluteDuration.endDate().addSeconds(-1.0)) > m_absoluteDuration.startDate();
}

bool KLVRRWCDateRangeController::canZoomOut() const
{
    return m_hasSpan && m_absoluteDuration.duration() < kMaximumZoomOut;
}

bool KLVRRWCDateRangeController::canForward() const
{
    return m_hasSpan && m_absoluteDuration.endDate() < distantFuture();
}

bool KLVRRWCDateRangeController::canBackward() const
{
    return m_hasSpan && m_absoluteDuration.startDate() > distantPast();
}

bool KLVRRWCDateRangeController::validateAction(Action action) const
{
    switch (action) {
    case Action::ZoomIn:
        return canZoomIn();
    case Action::ZoomOut:
        return canZoomOut();
    case Action::DayForward:
    case Action::MonthForward:
        return canForward();
    case Action::DayBackward:
    case Action::MonthBackward:
        return canBackward();
    case Action::Other:
        break;
    }
    return true;
}

void KLVRRWCDateRangeController::zoomIn()
{
    if (!canZoomIn())
        return;
    applySpan(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(addDays(m_absoluteDuration.startDate(), 1),
                                                                 addDays(m_absoluteDuration.endDate(), -1)));
}

void KLVRRWCDateRangeController::zoomOut()
{
    if (!canZoomOut())
        return;
    applySpan(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(addDays(m_absoluteDuration.startDate(), -1),
                                                                 addDays(m_absoluteDuration.endDate(), 1)));
}

void KLVRRWCDateRangeController::shiftDuration(int hours, int days, int months)
{
    if (!m_hasSpan)
        return;
    const QDateTime start = m_absoluteDuration.startDate().toDateTime();
    // Counting days rather than seconds keeps a one-day span one day long across a 23- or
    // 25-hour day.
    const qint64 coveredDays = start.date().daysTo(localDay(m_absoluteDuration.endDate()));
    const QDateTime moved = start.addMonths(months).addDays(days).addSecs(qint64(hours) * 3600);
    applySpan(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(KLVRAbsoluteTime::fromDateTime(moved),
                                                                 endOfDay(moved.date().addDays(coveredDays))));
}

void KLVRRWCDateRangeController::dayForward()
{
    if (canForward())
        shiftDuration(0, 1, 0);
}

void KLVRRWCDateRangeController::dayBackward()
{
    if (canBackward())
        shiftDuration(0, -1, 0);
}

void KLVRRWCDateRangeController::monthForward()
{
    if (canForward())
        shiftDuration(0, 0, 1);
}

void KLVRRWCDateRangeController::monthBackward()
{
    if (canBackward())
        shiftDuration(0, 0, -1);
}

void KLVRRWCDateRangeController::setStartingDay(KLVRAbsoluteTime date)
{
    date = withinCalendar(date);
    const KLVRAbsoluteTime end = m_hasSpan ? m_absoluteDuration.endDate() : ceilingDate(date);
    applySpan(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(floorDate(date), end));
}

void KLVRRWCDateRangeController::setEndingDay(KLVRAbsoluteTime date)
{
    date = withinCalendar(date);
    const KLVRAbsoluteTime start = m_hasSpan ? m_absoluteDuration.startDate() : floorDate(date);
    applySpan(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(start, ceilingDate(date)));
}

void KLVRRWCDateRangeController::setDistantPast(KLVRAbsoluteTime distantPast, KLVRAbsoluteTime distantFuture)
{
    KLVRAbsoluteTime past = floorDate(distantPast);
    KLVRAbsoluteTime future = ceilingDate(distantFuture);
    if (future < past) {
        past = floorDate(distantFuture);
        future = ceilingDate(distantPast);
    }
    m_distantPast = past;
    m_distantFuture = future;
    initPrecalculatedDurations();
    synchronise();
}

void KLVRRWCDateRangeController::initPrecalculatedDurations()
{
    const QDate today = localDay(now());
    m_calculatedDay = today;
    const QDate firstOfMonth(today.year(), today.month(), 1);
    // dayOfWeek(): 1 Monday .. 7 Sunday; weeks run Monday to Sunday.
    const QDate monday = today.addDays(1 - today.dayOfWeek());

    QList<KLVRRWCAbsoluteDuration> spans;
    spans.reserve(kSpanCount);
    spans.append(spanOfDays(today, today));
    spans.append(spanOfDays(today.addDays(-1), today.addDays(-1)));
    spans.append(spanOfDays(today.addDays(-6), today));
    // This month ends at the midnight that starts its last day; applying it raises the end to
    // 23:59:59.
    spans.append(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(startOfDay(firstOfMonth),
                                                                  startOfDay(firstOfMonth.addMonths(1).addDays(-1))));
    spans.append(spanOfDays(firstOfMonth.addMonths(-1), firstOfMonth.addDays(-1)));
    spans.append(spanOfDays(monday, monday.addDays(6)));
    spans.append(spanOfDays(monday.addDays(-7), monday.addDays(-1)));
    spans.append(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(distantPast(), distantFuture()));
    // Kept as calculated: each is kept within the data only when it is applied.
    spans.append(KLVRRWCAbsoluteDuration(now(), 0.0));
    m_precalculatedDurations = spans;
}

void KLVRRWCDateRangeController::synchronise()
{
    if (m_selectionTag >= 1 && m_selectionTag < kSpanCount) {
        applySpan(m_precalculatedDurations[m_selectionTag - 1], m_selectionTag);
        return;
    }
    if (!m_hasSpan)
        return;
    int tag = kSpanCount;
    for (int index = 0; index < kSpanCount - 1; ++index) {
        if (m_precalculatedDurations[index].equal(m_absoluteDuration)) {
            tag = index + 1;
            break;
        }
    }
    setSelectionTag(tag);
}

void KLVRRWCDateRangeController::passingMidnightUpdate()
{
    initPrecalculatedDurations();
    synchronise();
}

void KLVRRWCDateRangeController::armMidnightTimer()
{
    const qint64 untilMidnight = msecsUntilNextMidnight(now());
    m_passingMidnightTimer.start(int(std::clamp<qint64>(untilMidnight, 0, kDayCheckInterval)));
}

void KLVRRWCDateRangeController::checkDayChange()
{
    if (localDay(now()) != m_calculatedDay)
        passingMidnightUpdate();
    armMidnightTimer();
}

void KLVRRWCDateRangeController::restoreState()
{
    if (!m_defaults)
        return;
    const double date = m_defaults->value(kDurationDateKey).toDouble();
    const double interval = m_defaults->value(kDurationIntervalKey).toDouble();
    // Values that are missing or not positive are ignored, and so are values beyond any
    // calendar; the tag then decides the span.
    const bool usable = date > 0 && interval > 0 && KLVRAbsoluteTime(date + interval) < platformDistantFuture();
    if (usable)
        applySpan(KLVRRWCAbsoluteDuration(KLVRAbsoluteTime(date), interval));
    else if (!m_hasSpan)
        setSelectionTag(Today);
}

void KLVRRWCDateRangeController::saveState()
{
    if (!m_defaults || !m_hasSpan)
        return;
    m_defaults->setValue(kDurationDateKey, m_absoluteDuration.startDate().seconds());
    m_defaults->setValue(kDurationIntervalKey, m_absoluteDuration.duration());
    m_defaults->sync();
}

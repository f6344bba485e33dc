// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCAbsoluteDuration.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <optional>

class KLVRUserDefaults;

// The visible date range: one span of whole local days that everything the main window shows
// is limited to. Offers the ready-made spans (tags 1 to 8), steps and zooms the span, keeps it
// inside the days the log holds data for, refreshes the ready-made spans when the day changes
// and remembers the span between runs. The log follows absoluteDuration. Main thread only.
class KLVRRWCDateRangeController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCDateRangeController)
    Q_PROPERTY(KLVRRWCAbsoluteDuration absoluteDuration READ absoluteDuration WRITE setAbsoluteDuration NOTIFY absoluteDurationChanged)
    Q_PROPERTY(int selectionTag READ selectionTag WRITE setSelectionTag NOTIFY selectionTagChanged)

public:
    enum Tag {
        Today = 1,
        Yesterday = 2,
        LastSevenDays = 3,
        ThisMonth = 4,
        LastMonth = 5,
        ThisWeek = 6,
        LastWeek = 7,
        Everything = 8,
        Custom = 9, // the span matches none of the ready-made ones
    };
    Q_ENUM(Tag)
    static constexpr int kSpanCount = 9;
    // Zooming out stops at this length (1068 days).
    static constexpr double kMaximumZoomOut = 92275200.0;

    using Clock = std::function<KLVRAbsoluteTime()>;

    // defaults: where the tag and the span are remembered (the standard defaults when none);
    // clock: the time source for "today" (the system clock when none).
    explicit KLVRRWCDateRangeController(KLVRUserDefaults *defaults = nullptr, QObject *parent = nullptr, Clock clock = {});
    ~KLVRRWCDateRangeController() override;

    // The local midnight that starts the date's day, and one second before the next one.
    static KLVRAbsoluteTime floorDate(KLVRAbsoluteTime aDate);
    static KLVRAbsoluteTime ceilingDate(KLVRAbsoluteTime aDate);
    // Time from now to the next local midnight, by the calendar (so 23 or 25 hours across a
    // daylight-saving change).
    static qint64 msecsUntilNextMidnight(KLVRAbsoluteTime now);

    // The visible span; invalid (NaN start) until one has been chosen.
    KLVRRWCAbsoluteDuration absoluteDuration() const { return m_absoluteDuration; }
    bool hasAbsoluteDuration() const { return m_hasSpan; }
    // Applies a span: widened to whole local days (an end before the start runs to the next
    // midnight) and kept inside the data's limits where it reaches into them.
    void setAbsoluteDuration(const KLVRRWCAbsoluteDuration &span);

    int selectionTag() const { return m_selectionTag; }
    // Shows a ready-made span (1 to 8); anything else marks the span as custom.
    void setSelectionTag(int tag);
    // A ready-made span is offered when it lies wholly within the data.
    bool canSelectTag(int tag) const;

    bool canZoomIn() const;
    bool canZoomOut() const;
    bool canForward() const;
    bool canBackward() const;

    // The span from the date's midnight to the current end, and from the current start to the
    // date's 23:59:59.
    Q_INVOKABLE void setStartingDay(KLVRAbsoluteTime date);
    Q_INVOKABLE void setEndingDay(KLVRAbsoluteTime date);
    // Moves the span by calendar offsets, keeping the number of days it covers.
    void shiftDuration(int hours, int days, int months);

    // The earliest start and latest end a span may reach: the first and last day with data.
    Q_INVOKABLE void setDistantPast(KLVRAbsoluteTime distantPast, KLVRAbsoluteTime distantFuture);
    KLVRAbsoluteTime distantPast() const;
    KLVRAbsoluteTime distantFuture() const;
    static KLVRAbsoluteTime platformDistantPast();
    static KLVRAbsoluteTime platformDistantFuture();

    // Index tag - 1 holds the ready-made span of that tag, as calculated until it is applied and
    // as applied since; the last slot is a placeholder.
    const QList<KLVRRWCAbsoluteDuration> &precalculatedDurations() const { return m_precalculatedDurations; }
    void initPrecalculatedDurations();
    void synchronise();

    // Ready for the main window's actions: each does nothing when its test fails.
    enum class Action { ZoomIn, ZoomOut, DayForward, DayBackward, MonthForward, MonthBackward, Other };
    bool validateAction(Action action) const;

    // Remembers the span, and applies the remembered one again (the tag follows it). Call
    // restoreState once the log holds its cached events, so the remembered span is judged
    // against the real limits.
    Q_INVOKABLE void restoreState();
    Q_INVOKABLE void saveState();

public Q_SLOTS:
    void zoomIn();
    void zoomOut();
    void dayForward();
    void dayBackward();
    void monthForward();
    void monthBackward();
    // Recalculates the ready-made spans for the new day, so a range shown as today moves on.
    void passingMidnightUpdate();

Q_SIGNALS:
    void absoluteDurationChanged(const KLVRRWCAbsoluteDuration &absoluteDuration);
    void selectionTagChanged(int selectionTag);

private:
    KLVRAbsoluteTime now() const;
    // Whole local days, clamped to the data where the span reaches into it.
    KLVRRWCAbsoluteDuration normalised(const KLVRRWCAbsoluteDuration &span) const;
    // readyMadeTag: the tag whose ready-made span this is, which is adjusted along with it.
    void applySpan(const KLVRRWCAbsoluteDuration &span, int readyMadeTag = 0);
    void updateSelectionTagWithAbsoluteDuration(const KLVRRWCAbsoluteDuration &span);
    void publishSelectionTag();
    void armMidnightTimer();
    void checkDayChange();

    QPointer<KLVRUserDefaults> m_defaults;
    Clock m_clock;
    KLVRRWCAbsoluteDuration m_absoluteDuration{KLVRAbsoluteTime::invalid(), 0.0};
    bool m_hasSpan = false;
    int m_selectionTag = 0;
    int m_publishedTag = 0;
    QList<KLVRRWCAbsoluteDuration> m_precalculatedDurations;
    // The local day the ready-made spans were calculated for.
    QDate m_calculatedDay;
    QTimer m_passingMidnightTimer;
    std::optional<KLVRAbsoluteTime> m_distantPast;
    std::optional<KLVRAbsoluteTime> m_distantFuture;
};

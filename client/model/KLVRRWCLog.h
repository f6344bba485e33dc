// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCLogEntry.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

class KLVRRWCLogEntryPowerStatus;

// A run of entries: location and length.
struct KLVRRWCRange
{
    quint64 location = 0;
    quint64 length = 0;
    friend bool operator==(const KLVRRWCRange &a, const KLVRRWCRange &b) { return a.location == b.location && a.length == b.length; }
};
Q_DECLARE_METATYPE(KLVRRWCRange)

// The client's model of everything the agent told it: the ordered, linked entries made from the
// events the store hands over, their groups, the latest entry of every power source, and the run
// of entries inside the date range currently chosen. Only the store writes to it; every view
// reads it. Main thread only.
//
// Observation: visibleEntriesChanged() is emitted (after visibleEntriesAboutToChange()) every
// time the visible range is recomputed; countChanged(), finalDateChanged() and
// batteriesChanged() follow a batch. didChange() is the coalesced form for views that redraw: a
// burst of batches and range changes gives one didChange() from a zero-timeout timer.
class KLVRRWCLog : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCLog)
    Q_PROPERTY(qsizetype count READ count NOTIFY countChanged)
    Q_PROPERTY(KLVRAbsoluteTime finalDate READ finalDate NOTIFY finalDateChanged)
    Q_PROPERTY(KLVRRWCRange visibleRange READ visibleRange NOTIFY visibleEntriesChanged)
    Q_PROPERTY(qsizetype countOfVisibleEntries READ countOfVisibleEntries NOTIFY visibleEntriesChanged)
    Q_PROPERTY(bool supportsBatteries READ supportsBatteries NOTIFY batteriesChanged)

public:
    // entryBeforeDate() when no entry fits.
    static constexpr qint64 NotFound = std::numeric_limits<qint64>::max();

    using EntryFactory = std::function<std::unique_ptr<KLVRRWCLogEntry>(KLVRAbsoluteTime date, const QString &event,
                                                                        const QString &monitor,
                                                                        KLVRRWCPropertyDictionary properties)>;

    explicit KLVRRWCLog(QObject *parent = nullptr);
    ~KLVRRWCLog() override;

    // The date range outlet (not owned): any object with a readable, notifying property
    // "absoluteDuration" of type KLVRRWCAbsoluteDuration and an invokable
    // setDistantPast(KLVRAbsoluteTime, KLVRAbsoluteTime). The log follows the property and hands
    // the object its limits after every batch. Passing nothing detaches.
    void setDateRange(QObject *dateRange);
    QObject *dateRange() const { return m_dateRange; }

    // Takes a batch of event records, oldest first: maps (or QVariants holding maps) with text
    // values under "date" (seconds since 2001 as text), "description", "monitor" and
    // "properties" (an XML or binary property list as text or bytes, or "NULL"). A record that cannot be read is
    // logged and skipped; the rest of the batch goes on.
    void addExternalEntries(const QVariantList &records);
    void addExternalEntries(const QList<QVariantMap> &records);
    // A new unlinked entry of the kind the description calls for (a plain entry when none).
    std::unique_ptr<KLVRRWCLogEntry> entryWithDate(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                                   KLVRRWCPropertyDictionary properties) const;
    std::unique_ptr<KLVRRWCLogEntry> entryWithDate(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                                   const QVariantMap &properties) const;

    // An event record read, as addExternalEntries() reads each record before taking it in.
    struct Event
    {
        KLVRAbsoluteTime date;
        QString description;
        QString monitor;
        KLVRRWCPropertyDictionary properties;
    };
    // Reads one record as addExternalEntries() does; false, with the logged line, for a record it
    // skips.
    bool readEvent(const QVariantMap &record, Event *event) const;
    // Reads an event from a record's fields as they lie in a buffer: the date as "%lf" text, the
    // properties as ASCII text ("NULL" or a property list; null when the record has none). For
    // a reader of years of records that need not build a dictionary for each. True when the
    // event reads cleanly; false, with nothing logged, for anything else, which the caller then
    // hands to readEvent() as a record for its verdict.
    static bool readEvent(QByteArrayView date, const QString &description, const QString &monitor,
                          QByteArrayView properties, Event *event);
    // The same with properties beyond ASCII, as a text (null when the record has none).
    static bool readEvent(QByteArrayView date, const QString &description, const QString &monitor,
                          const QString &properties, Event *event);
    // Takes events read by readEvent(), oldest first, as addExternalEntries() takes its records.
    void addEvents(std::vector<Event> events);

    qsizetype count() const { return qsizetype(m_entries.size()); }
    KLVRRWCLogEntry *objectAtIndex(qsizetype index) const;
    const std::vector<std::unique_ptr<KLVRRWCLogEntry>> &entries() const { return m_entries; }
    // The date of the last event taken in (a duplicate's too); distantPast() while empty.
    KLVRAbsoluteTime finalDate() const { return m_finalDate; }
    // The earliest and latest representable dates (year 1 and year 4001).
    static constexpr KLVRAbsoluteTime distantPast() { return KLVRAbsoluteTime(-63114076800.0); }
    static constexpr KLVRAbsoluteTime distantFuture() { return KLVRAbsoluteTime(63113904000.0); }
    // The newest listed entry, or nothing.
    KLVRRWCLogEntry *pastEntry() const { return m_pastEntry; }
    // The latest power-status entry of each power source, by its "Name".
    const QHash<QString, KLVRRWCLogEntryPowerStatus *> &batteries() const { return m_batteries; }
    // The newest listed entry of each group.
    const QHash<QString, KLVRRWCLogEntry *> &finalGroupEntries() const { return m_finalGroupEntries; }
    // Event description -> kind.
    const QHash<QString, EntryFactory> &entryClasses() const { return m_entryClasses; }

    KLVRRWCRange visibleRange() const { return m_visibleRange; }
    qsizetype countOfVisibleEntries() const { return qsizetype(m_visibleRange.length); }
    KLVRRWCLogEntry *objectInVisibleEntriesAtIndex(qsizetype index) const;
    QList<KLVRRWCLogEntry *> visibleEntriesArray() const;
    // Recomputes the visible range from the date range's current interval (or the interval set
    // with setVisibleInterval() when there is no date range).
    void updateVisibleEntries();
    // The interval to show when no date range object is attached.
    void setVisibleInterval(const KLVRRWCAbsoluteDuration &interval);

    QSet<QString> groups() const;
    bool supportsBatteries() const { return !m_batteries.isEmpty(); }
    QStringList batteryEnumerator() const;

    // Index of the first entry later than date, or of the last entry when none is later;
    // NotFound when the log is empty or its first entry is not earlier than date.
    qint64 entryBeforeDate(KLVRAbsoluteTime date) const;

    // The nearest listed power-status entry named name before (after) entry in the log's order;
    // nothing when there is none or entry is not listed in this log.
    KLVRRWCLogEntryPowerStatus *powerEventForBatteryBefore(const QString &name, const KLVRRWCLogEntry *entry) const;
    KLVRRWCLogEntryPowerStatus *powerEventForBatteryAfter(const QString &name, const KLVRRWCLogEntry *entry) const;
    // The charge at date on the straight line through a and b; a's charge when both are equal or
    // b is not later than a.
    static float interpolatePercentageChargedForDate(KLVRAbsoluteTime date, const KLVRRWCLogEntryPowerStatus *a,
                                                     const KLVRRWCLogEntryPowerStatus *b);

    bool validateMenuItem() const { return true; }

Q_SIGNALS:
    void countChanged();
    void finalDateChanged();
    void batteriesChanged();
    void visibleEntriesAboutToChange();
    void visibleEntriesChanged();
    // Coalesced: once after a burst of batches and range changes.
    void didChange();

private Q_SLOTS:
    void dateRangeDidChange();

private:
    const EntryFactory *factoryFor(const QString &event) const;
    static std::unique_ptr<KLVRRWCLogEntry> makeEntry(const EntryFactory *factory, KLVRAbsoluteTime date, const QString &event,
                                                      const QString &monitor, KLVRRWCPropertyDictionary properties);
    void tellDateRangeLimits();
    KLVRRWCAbsoluteDuration currentInterval() const;
    void setVisibleRange(KLVRRWCRange range);
    void scheduleDidChange();

    QPointer<QObject> m_dateRange;
    QMetaObject::Connection m_dateRangeConnection;
    QHash<QString, EntryFactory> m_entryClasses;
    std::vector<std::unique_ptr<KLVRRWCLogEntry>> m_entries;
    // The entries' dates in seconds, side by side, for the binary searches of ranges.
    std::vector<double> m_dates;
    KLVRRWCRange m_visibleRange;
    QHash<QString, KLVRRWCLogEntryPowerStatus *> m_batteries;
    // Listed power-status entries of each source, by index, for the battery look-ups.
    QHash<QString, std::vector<qsizetype>> m_batteryIndexes;
    KLVRAbsoluteTime m_finalDate = distantPast();
    QHash<QString, KLVRRWCLogEntry *> m_finalGroupEntries;
    KLVRRWCLogEntry *m_pastEntry = nullptr;
    KLVRRWCAbsoluteDuration m_visibleInterval;
    bool m_hasVisibleInterval = false;
    QTimer m_didChangeTimer;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCPropertyDictionary.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <vector>

class KLVRRWCLog;
class KLVRRWCLogEntryEnumerator;
class KLVRRWCGroupEnumerator;

// One logging category for the client's model (durations, entries, the log).
Q_DECLARE_LOGGING_CATEGORY(lcRWCModel)

// One line of the client's log: one agent event, or several near-identical events folded into
// one (the later ones become its duplicates). Entries are made, linked and awakened by the log;
// awakening lets the kind work out its pair, the state that begins at it and its summary.
//
// Links: past = the entry listed just before this one (any group); next = the next OLDER entry
// of the same group; previous = the next NEWER entry of the same group; pair = the entry this
// one is paired with. All links are plain pointers valid for the log's lifetime (the log owns
// listed entries, each entry owns its duplicates, nothing is ever removed).
//
// Not a QObject on purpose: a log holds hundreds of thousands of entries. Main thread only.
class KLVRRWCLogEntry
{
public:
    // The designated initializer: monitor is the signature; the entry shows the "Monitor"
    // table's display name for it, groups under the raw signature and, until awakened, sums
    // itself up with the "Summary" table's text for the description.
    KLVRRWCLogEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor, const QVariantMap &properties);
    KLVRRWCLogEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor, KLVRRWCPropertyDictionary properties);
    virtual ~KLVRRWCLogEntry();
    Q_DISABLE_COPY_MOVE(KLVRRWCLogEntry)

    // A new entry of the same kind made from date, event, monitor (the display name takes the
    // place of the signature) and properties; it takes over past, previous, next and container,
    // gets copies of the duplicates (each entry owns its own) and is awakened.
    std::unique_ptr<KLVRRWCLogEntry> copy() const;

    // The log that lists this entry, or nothing for a duplicate.
    KLVRRWCLog *containerLog() const { return m_containerLog; }
    // The entry this one was merged into, or nothing for a listed entry.
    KLVRRWCLogEntry *containerEntry() const { return m_containerEntry; }
    void setContainer(KLVRRWCLog *log) { m_containerLog = log; m_containerEntry = nullptr; }
    void setContainer(KLVRRWCLogEntry *entry) { m_containerEntry = entry; m_containerLog = nullptr; }
    // Position in the log's entries; -1 while not listed.
    qsizetype indexInLog() const { return m_index; }
    void setIndexInLog(qsizetype index) { m_index = index; }

    KLVRAbsoluteTime date() const { return m_date; }
    const QString &event() const { return m_event; }
    const QString &monitor() const { return m_monitor; }
    // The event's property dictionary (empty when it carried none). A "Processes" list is held
    // as a KLVRRWCProcessList; QVariant::toList()/toStringList() convert it.
    QVariantMap properties() const { return m_properties.toMap(); }
    // One property without building the whole dictionary; invalid when absent.
    QVariant property(const QString &key) const { return m_properties.value(key); }
    bool hasProperty(const QString &key) const { return m_properties.contains(key); }
    const KLVRRWCPropertyDictionary &propertyDictionary() const { return m_properties; }

    KLVRRWCLogEntry *past() const { return m_past; }
    void setPast(KLVRRWCLogEntry *entry) { m_past = entry; }
    KLVRRWCLogEntry *next() const { return m_next; }
    void setNext(KLVRRWCLogEntry *entry) { m_next = entry; }
    KLVRRWCLogEntry *previous() const { return m_previous; }
    void setPrevious(KLVRRWCLogEntry *entry) { m_previous = entry; }
    KLVRRWCLogEntry *pair() const { return m_pair; }
    void setPair(KLVRRWCLogEntry *entry) { m_pair = entry; }
    // The state that begins at this entry ("Asleep", "Awake", ...); empty for none.
    const QString &pairRepresents() const { return m_pairRepresents; }
    void setPairRepresents(const QString &state) { m_pairRepresents = state; }
    // The one-line text. Worked out from the entry's final links and properties when asked
    // (years of entries keep no texts nobody reads); setSummary() fixes a text instead.
    QString summary() const { return m_summary.isNull() ? computeSummary() : m_summary; }
    void setSummary(const QString &summary) { m_summary = summary; }

    // The key under which the log chains entries together: the raw signature here; kinds
    // answer their own.
    virtual QString group() const { return m_group; }
    void setGroup(const QString &group) { m_group = group; }

    // Later events merged into this one, in arrival order.
    const std::vector<std::unique_ptr<KLVRRWCLogEntry>> &duplicates() const;
    qsizetype duplicateCount() const { return m_duplicates ? qsizetype(m_duplicates->size()) : 0; }
    // The date of the last duplicate, or this entry's own date.
    KLVRAbsoluteTime finalDate() const;

    // Sent once by the log after the whole batch is linked.
    virtual void awakeFromLog();
    // Sets the base attributes ("Duplicates", "Processes"); kinds add theirs first.
    virtual void initAttributes();
    // Whether a newer entry of the same group repeats this one and should be merged into it.
    virtual bool isLike(const KLVRRWCLogEntry &entry) const;
    // Appends the entry to the duplicates and becomes its container.
    void mergeEntry(std::unique_ptr<KLVRRWCLogEntry> entry);

    // Attribute form: names in the order first set, and a name-to-value map (values are texts,
    // numbers, date lists, dictionaries or KLVRRWCDuration). Built when first asked for, so that
    // duplicates merged after awakening are included.
    QStringList attributes() const;
    QVariantMap attributeValues() const;
    // The same names and values, without keeping them in the entry when it had not kept them
    // already: a reader that goes once over years of entries (an export) would keep them all.
    void readAttributesOnce(QStringList *names, QVariantMap *values) const;
    QVariant attributeForKey(const QString &key) const;
    void setAttributeValue(const QVariant &value, const QString &key);

    // Comparisons with a date: this entry's date minus the given date.
    double timeIntervalDistanceFrom(KLVRAbsoluteTime date) const { return m_date.secondsSince(date); }
    bool before(KLVRAbsoluteTime date) const { return timeIntervalDistanceFrom(date) < 0.0; }
    bool after(KLVRAbsoluteTime date) const { return timeIntervalDistanceFrom(date) > 0.0; }
    bool equal(KLVRAbsoluteTime date) const { return timeIntervalDistanceFrom(date) == 0.0; }

    // Walks past, past's past, ... (this entry excluded).
    KLVRRWCLogEntryEnumerator pastEnumerator() const;
    // Walks next, next's next, ... (older entries of the same group).
    KLVRRWCGroupEnumerator pastGroupEnumerator() const;

    // The entry itself when it begins a state, else the nearest older entry that does.
    static const KLVRRWCLogEntry *pairAtTimeOfEntry(const KLVRRWCLogEntry *entry);
    // The state in force at date, judged from entry; "Awake" when nothing earlier is known.
    static QString pairRepresentsAtDate(KLVRAbsoluteTime date, const KLVRRWCLogEntry *entry);
    // "Power Source State" at or before entry; "Unknown" when none is known.
    static QString powerSourceAtTimeOfEntry(const KLVRRWCLogEntry *entry);

    // Graph tool tip: the state that the interval ending at this entry represents.
    QString toolTip() const;

    // "date<TAB>summary<TAB>attributes"; description() and exportAsTabSeparatedString() answer the same.
    QString stringValue() const;
    QString description() const { return stringValue(); }
    QString exportAsTabSeparatedString() const { return stringValue(); }
    QString attributesAsString() const;
    // "Date", "Summary", "Monitor" and "Attributes" (property-list safe), filled in that order
    // up to the first missing (empty) value.
    QVariantMap exportAsDictionary() const;
    // Durations become their short text and process lists plain lists, recursively.
    static QVariant propertyListSafe(const QVariant &value);

    // Whether the entry (or, for a duplicate, its container) lies in the log's visible range.
    bool visible() const;
    // "summary", "monitor", "group" and "date".
    QVariantMap scriptingProperties() const;

    static QString localizedStringForKey(const QString &key, const QString &value, const QString &table);
    static QString localizedStringForMonitor(const QString &key, const QString &value);
    static QString localizedStringForSummary(const QString &key, const QString &value);
    // The "General" table's text for key (key itself when missing).
    static QString general(const QString &key);
    // The text "%@" gives for an attribute value: dates in their default text, durations in
    // their short text, lists as "(a, b)".
    static QString describe(const QVariant &value);
    // Registers the model's value types with QVariant (conversions to text and lists); idempotent.
    static void registerTypes();

protected:
    // The summary as the kind words it: here the "Summary" table's text for the description.
    virtual QString computeSummary() const;
    // Makes an unlinked entry of this entry's kind (used by copy()).
    virtual std::unique_ptr<KLVRRWCLogEntry> makeEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                                       KLVRRWCPropertyDictionary properties) const;
    // Drops built attributes so that the next read builds them again.
    void invalidateAttributes();

private:
    struct Attributes
    {
        QStringList names;
        QVariantMap values;
    };
    Attributes &ensureAttributes() const;

    KLVRRWCLog *m_containerLog = nullptr;
    KLVRRWCLogEntry *m_containerEntry = nullptr;
    KLVRAbsoluteTime m_date;
    QString m_event;
    QString m_monitor;
    KLVRRWCPropertyDictionary m_properties;
    KLVRRWCLogEntry *m_past = nullptr;
    mutable std::unique_ptr<Attributes> m_attributes;
    std::unique_ptr<std::vector<std::unique_ptr<KLVRRWCLogEntry>>> m_duplicates;
    QString m_group;
    KLVRRWCLogEntry *m_previous = nullptr;
    KLVRRWCLogEntry *m_next = nullptr;
    KLVRRWCLogEntry *m_pair = nullptr;
    QString m_pairRepresents;
    QString m_summary;
    qsizetype m_index = -1;
};

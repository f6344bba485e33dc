// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLog.h"
#include "KLVRRWCSortDescriptor.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QTimer>
#include <vector>

class KLVRRWCLogEntry;
class KLVRRWCRelativeDateFormatter;

// The log table's rows: the log's visible entries, filtered and then sorted ("arranged"). Row
// numbers everywhere in the table (selection, highlighting, copying) index the arranged entries.
//
// Filtering keeps the entries whose summary holds the filter text literally (case counts), in
// the order given; the sort descriptors then order them. Nothing is formatted up front: the
// summaries that filtering and sorting need are worked out on first use and kept (an entry's
// summary never changes once it is listed), and a filter that only grows narrows the current
// rows instead of going over the visible entries again.
//
// While the rows are in date order, a filter goes over the entries a slice at a time: the first
// slice (a few milliseconds' worth) replaces the rows, the rest are appended while the event loop
// is idle, so that a keystroke whose summaries are not known yet never holds the window up. The
// rows shown are always the first rows of the final arrangement, in order; finishArranging()
// completes the pass at once for whoever needs every row.
class KLVRRWCLogTableModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCLogTableModel)

public:
    enum Column { DateColumn = 0, EventColumn = 1, ColumnCount = 2 };
    enum Role { EntryRole = Qt::UserRole + 1 };

    // Column identifiers: "date" yields an entry's date, "event" the whole entry.
    static inline const QString kDateIdentifier = QStringLiteral("date");
    static inline const QString kEventIdentifier = QStringLiteral("event");
    // Sort keys of the columns.
    static inline const QString kDateKey = QStringLiteral("date");
    static inline const QString kSummaryKey = QStringLiteral("summary");

    explicit KLVRRWCLogTableModel(QObject *parent = nullptr);
    ~KLVRRWCLogTableModel() override;

    // The log (not owned); its visible entries are the rows' source, followed as they change.
    KLVRRWCLog *log() const { return m_log; }
    void setLog(KLVRRWCLog *log);
    // How the date column is written (not owned).
    void setDateFormatter(KLVRRWCRelativeDateFormatter *formatter);

    const QString &filterString() const { return m_filterString; }
    void setFilterString(const QString &filterString);
    const QList<KLVRRWCSortDescriptor> &sortDescriptors() const { return m_sortDescriptors; }
    void setSortDescriptors(const QList<KLVRRWCSortDescriptor> &descriptors);

    // Filters the visible entries and sorts them again.
    void rearrangeObjects();
    const std::vector<KLVRRWCLogEntry *> &arrangedObjects() const { return m_arranged; }
    KLVRRWCLogEntry *entryAt(int row) const;
    // The row of the entry (by identity), or -1.
    int rowOf(const KLVRRWCLogEntry *entry) const;
    // The entry's summary, worked out once.
    QString summaryOf(const KLVRRWCLogEntry *entry) const;
    // Whether every visible entry's summary is known (they are worked out a few milliseconds at
    // a time while the event loop is idle, so that the first filter keystroke finds them).
    bool summariesReady() const { return !m_warmer.isActive() && !m_pass.active; }
    // Whether rows are still being appended to the arrangement, and completing it now.
    bool isArranging() const { return m_pass.active; }
    void finishArranging();
    // At most this many entries examined per slice (besides the time limit); 0 for no limit.
    void setEntriesPerSlice(qsizetype entries) { m_entriesPerSlice = entries; }

    static QString identifier(int column);
    static QString sortKey(int column);
    static int columnForSortKey(const QString &key);
    // A column's value for an entry: "date" its date, "event" the entry itself.
    static QVariant valueForKey(KLVRRWCLogEntry *entry, const QString &identifier);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A click on a column's header: its key first, in the given direction, the older keys after.
    void sort(int column, Qt::SortOrder order) override;

Q_SIGNALS:
    void sortDescriptorsChanged();
    // Around every rearrangement (the rows are replaced; selections must be carried over).
    void aboutToRearrange();
    void didRearrange();
    // Once the arrangement is complete: after every didRearrange, at once when it took one
    // slice.
    void didFinishArranging();

private:
    struct Source
    {
        const KLVRRWCLog *log = nullptr;
        KLVRRWCRange range;
        qsizetype count = 0;
        friend bool operator==(const Source &, const Source &) = default;
    };
    Source currentSource() const;
    // Whether the source's entries go by date (they do unless the clock went back).
    bool isDateOrdered(const Source &source) const;
    void warmSummaries();
    bool passes(const KLVRRWCLogEntry *entry, const QString &filter) const;
    void sortArranged();
    // Whether a orders before b by the sort descriptors (ties: false).
    bool arrangedBefore(const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) const;
    // Adds the passing entries of the next runs of equal dates to rows until the pass is over
    // (true) or the time or entry limit is reached.
    bool advancePass(std::vector<KLVRRWCLogEntry *> &rows, qint64 milliseconds);
    void continuePass();
    void endPass();

    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCRelativeDateFormatter> m_dateFormatter;
    QString m_filterString;
    QList<KLVRRWCSortDescriptor> m_sortDescriptors;
    std::vector<KLVRRWCLogEntry *> m_arranged;
    // What the arranged rows were made from, and with which filter.
    Source m_arrangedSource;
    QString m_arrangedFilter;
    mutable Source m_orderedSource;
    // Summaries by index in the log; a null text is one not worked out yet.
    mutable std::vector<QString> m_summaries;
    QTimer m_warmer;
    qsizetype m_warmNext = 0;
    // The filter going over the entries a slice at a time: what it filters, the entries left
    // ([next, end) ascending, [begin, next) descending).
    struct Pass
    {
        bool active = false;
        Source source;
        QString filter;
        bool descending = false;
        qsizetype begin = 0;
        qsizetype end = 0;
        qsizetype next = 0;
    };
    Pass m_pass;
    QTimer m_passTimer;
    qsizetype m_entriesPerSlice = 0;
};

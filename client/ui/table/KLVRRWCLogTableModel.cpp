// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogTableModel.h"

#include "KLVRRWCLogEntry.h"
#include "KLVRRWCRelativeDateFormatter.h"
#include "KLVRStringsTable.h"

#include <QElapsedTimer>
#include <algorithm>

namespace {

const QString kTable = QStringLiteral("KLVRRWCLogTableController");
// How long a keystroke's own slice of filtering may take, and each slice after it.
constexpr qint64 kFirstSliceMilliseconds = 8;
constexpr qint64 kIdleSliceMilliseconds = 4;

} // namespace

KLVRRWCLogTableModel::KLVRRWCLogTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_warmer.setSingleShot(true);
    m_warmer.setInterval(0);
    connect(&m_warmer, &QTimer::timeout, this, &KLVRRWCLogTableModel::warmSummaries);
    m_passTimer.setSingleShot(true);
    m_passTimer.setInterval(0);
    connect(&m_passTimer, &QTimer::timeout, this, &KLVRRWCLogTableModel::continuePass);
}

void KLVRRWCLogTableModel::warmSummaries()
{
    // A running filter works the summaries out itself, and starts this again when it is done.
    if (!m_log || m_pass.active)
        return;
    const KLVRRWCRange range = m_log->visibleRange();
    const qsizetype end = qsizetype(std::min<quint64>(range.location + range.length, m_log->entries().size()));
    m_warmNext = std::max(m_warmNext, qsizetype(range.location));
    QElapsedTimer clock;
    clock.start();
    // A few milliseconds at a time, so that the window stays responsive.
    while (m_warmNext < end) {
        summaryOf(m_log->entries()[size_t(m_warmNext++)].get());
        if ((m_warmNext & 255) == 0 && clock.elapsed() >= 4) {
            m_warmer.start();
            return;
        }
    }
}

KLVRRWCLogTableModel::~KLVRRWCLogTableModel() = default;

void KLVRRWCLogTableModel::setLog(KLVRRWCLog *log)
{
    if (m_log == log)
        return;
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    m_summaries.clear();
    if (m_log)
        connect(m_log, &KLVRRWCLog::visibleEntriesChanged, this, &KLVRRWCLogTableModel::rearrangeObjects);
    rearrangeObjects();
}

void KLVRRWCLogTableModel::setDateFormatter(KLVRRWCRelativeDateFormatter *formatter)
{
    m_dateFormatter = formatter;
}

void KLVRRWCLogTableModel::setFilterString(const QString &filterString)
{
    if (m_filterString == filterString)
        return;
    m_filterString = filterString;
    rearrangeObjects();
}

void KLVRRWCLogTableModel::setSortDescriptors(const QList<KLVRRWCSortDescriptor> &descriptors)
{
    if (m_sortDescriptors == descriptors)
        return;
    m_sortDescriptors = descriptors;
    if (currentSource() == m_arrangedSource && m_arrangedFilter == m_filterString) {
        Q_EMIT aboutToRearrange();
        beginResetModel();
        sortArranged();
        endResetModel();
        Q_EMIT didRearrange();
        Q_EMIT didFinishArranging();
    } else {
        rearrangeObjects();
    }
    Q_EMIT sortDescriptorsChanged();
}

KLVRRWCLogTableModel::Source KLVRRWCLogTableModel::currentSource() const
{
    if (!m_log)
        return {};
    return Source{m_log.data(), m_log->visibleRange(), m_log->count()};
}

bool KLVRRWCLogTableModel::passes(const KLVRRWCLogEntry *entry, const QString &filter) const
{
    return summaryOf(entry).contains(filter, Qt::CaseSensitive);
}

void KLVRRWCLogTableModel::rearrangeObjects()
{
    const bool wasArranging = m_pass.active;
    m_passTimer.stop();
    m_pass.active = false;
    const Source source = currentSource();
    std::vector<KLVRRWCLogEntry *> arranged;
    bool complete = true;
    bool sorted = false;
    const bool narrowing =
        !wasArranging && source == m_arrangedSource && !m_arrangedFilter.isEmpty() && m_filterString.contains(m_arrangedFilter);
    qsizetype begin = 0;
    qsizetype end = 0;
    if (m_log) {
        begin = qsizetype(source.range.location);
        end = qsizetype(std::min<quint64>(source.range.location + source.range.length, m_log->entries().size()));
        end = std::max(begin, end);
    }
    if (narrowing) {
        // The rows that pass the longer filter are among those that passed the shorter one, and
        // they are already in order.
        arranged.reserve(m_arranged.size());
        for (KLVRRWCLogEntry *entry : m_arranged) {
            if (passes(entry, m_filterString))
                arranged.push_back(entry);
        }
        sorted = true;
    } else if (m_log && (m_sortDescriptors.isEmpty() || m_sortDescriptors.first().key == kDateKey) && isDateOrdered(source)) {
        m_pass = Pass{true, source, m_filterString, !m_sortDescriptors.isEmpty() && !m_sortDescriptors.first().ascending, begin, end, 0};
        m_pass.next = m_pass.descending ? end : begin;
        complete = advancePass(arranged, kFirstSliceMilliseconds);
        m_pass.active = !complete;
        sorted = true;
    } else if (m_log) {
        const auto &entries = m_log->entries();
        arranged.reserve(size_t(end - begin));
        for (qsizetype i = begin; i < end; ++i) {
            KLVRRWCLogEntry *entry = entries[size_t(i)].get();
            if (m_filterString.isEmpty() || passes(entry, m_filterString))
                arranged.push_back(entry);
        }
    }
    if (!narrowing && m_log && m_log->countOfVisibleEntries() > 0) {
        m_warmNext = begin;
        m_warmer.start();
    }
    Q_EMIT aboutToRearrange();
    beginResetModel();
    m_arranged = std::move(arranged);
    m_arrangedSource = complete ? source : Source{};
    m_arrangedFilter = complete ? m_filterString : QString();
    if (!sorted)
        sortArranged();
    endResetModel();
    Q_EMIT didRearrange();
    if (complete)
        Q_EMIT didFinishArranging();
    else
        m_passTimer.start();
}

bool KLVRRWCLogTableModel::isDateOrdered(const Source &source) const
{
    if (m_orderedSource == source)
        return true;
    const auto &entries = m_log->entries();
    const qsizetype begin = qsizetype(source.range.location);
    const qsizetype end = qsizetype(std::min<quint64>(source.range.location + source.range.length, entries.size()));
    for (qsizetype i = begin + 1; i < end; ++i) {
        if (entries[size_t(i)]->date() < entries[size_t(i - 1)]->date())
            return false;
    }
    m_orderedSource = source;
    return true;
}

bool KLVRRWCLogTableModel::advancePass(std::vector<KLVRRWCLogEntry *> &rows, qint64 milliseconds)
{
    const auto &entries = m_log->entries();
    const bool tiesSorted = m_sortDescriptors.size() > 1;
    QElapsedTimer clock;
    clock.start();
    qsizetype examined = 0;
    qsizetype nextCheck = 64;
    while (m_pass.descending ? m_pass.next > m_pass.begin : m_pass.next < m_pass.end) {
        if (milliseconds >= 0 && examined > 0 && m_entriesPerSlice > 0 && examined >= m_entriesPerSlice)
            return false;
        if (examined >= nextCheck) {
            nextCheck = examined + 64;
            if (milliseconds >= 0 && clock.elapsed() >= milliseconds)
                return false;
        }
        // The next run of entries sharing a date, in the log's order, which equal dates keep
        // whichever way the dates go.
        qsizetype first = 0;
        qsizetype last = 0;
        if (m_pass.descending) {
            last = m_pass.next;
            first = last - 1;
            const KLVRAbsoluteTime date = entries[size_t(first)]->date();
            while (first > m_pass.begin && entries[size_t(first - 1)]->date() == date)
                --first;
            m_pass.next = first;
        } else {
            first = m_pass.next;
            last = first + 1;
            const KLVRAbsoluteTime date = entries[size_t(first)]->date();
            while (last < m_pass.end && entries[size_t(last)]->date() == date)
                ++last;
            m_pass.next = last;
        }
        const size_t from = rows.size();
        for (qsizetype i = first; i < last; ++i) {
            KLVRRWCLogEntry *entry = entries[size_t(i)].get();
            if (m_pass.filter.isEmpty() || passes(entry, m_pass.filter))
                rows.push_back(entry);
        }
        // Equal dates go by the later keys.
        if (tiesSorted && rows.size() - from > 1) {
            std::stable_sort(rows.begin() + qsizetype(from), rows.end(),
                             [this](const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) { return arrangedBefore(a, b); });
        }
        examined += last - first;
    }
    return true;
}

void KLVRRWCLogTableModel::continuePass()
{
    if (!m_pass.active)
        return;
    if (!m_log || currentSource() != m_pass.source) {
        // The entries changed under the pass; their own signal starts a new one, or this does.
        rearrangeObjects();
        return;
    }
    std::vector<KLVRRWCLogEntry *> rows;
    const bool complete = advancePass(rows, kIdleSliceMilliseconds);
    if (!rows.empty()) {
        const int first = int(m_arranged.size());
        beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
        m_arranged.insert(m_arranged.end(), rows.begin(), rows.end());
        endInsertRows();
    }
    if (complete)
        endPass();
    else
        m_passTimer.start();
}

void KLVRRWCLogTableModel::finishArranging()
{
    if (!m_pass.active)
        return;
    m_passTimer.stop();
    if (!m_log || currentSource() != m_pass.source) {
        rearrangeObjects();
        finishArranging();
        return;
    }
    std::vector<KLVRRWCLogEntry *> rows;
    // Without a time limit the pass runs to its end.
    advancePass(rows, -1);
    if (!rows.empty()) {
        const int first = int(m_arranged.size());
        beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
        m_arranged.insert(m_arranged.end(), rows.begin(), rows.end());
        endInsertRows();
    }
    endPass();
}

void KLVRRWCLogTableModel::endPass()
{
    m_pass.active = false;
    m_arrangedSource = m_pass.source;
    m_arrangedFilter = m_pass.filter;
    m_warmer.start();
    Q_EMIT didFinishArranging();
}

bool KLVRRWCLogTableModel::arrangedBefore(const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) const
{
    for (const KLVRRWCSortDescriptor &d : m_sortDescriptors) {
        int c = 0;
        if (d.key == kDateKey)
            c = a->date() < b->date() ? -1 : (b->date() < a->date() ? 1 : 0);
        else
            c = summaryOf(a).compare(summaryOf(b));
        if (c != 0)
            return d.ascending ? c < 0 : c > 0;
    }
    return false;
}

void KLVRRWCLogTableModel::sortArranged()
{
    if (m_arranged.size() < 2)
        return;
    // Every sort starts from the log's order, so that ties come out the same whatever was shown
    // before.
    const auto byIndex = [](const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) { return a->indexInLog() < b->indexInLog(); };
    if (!std::is_sorted(m_arranged.begin(), m_arranged.end(), byIndex))
        std::sort(m_arranged.begin(), m_arranged.end(), byIndex);
    if (m_sortDescriptors.isEmpty())
        return;
    const KLVRRWCSortDescriptor &first = m_sortDescriptors.first();
    if (first.key == kDateKey) {
        // The log lists entries by date, so a date sort is mostly done already: only ties
        // between equal dates are left to the later keys.
        if (!first.ascending) {
            std::reverse(m_arranged.begin(), m_arranged.end());
            // Equal dates keep the log's order, as a stable sort would leave them.
            for (auto run = m_arranged.begin(); run != m_arranged.end();) {
                auto end = std::find_if(run, m_arranged.end(), [run](const KLVRRWCLogEntry *e) { return e->date() != (*run)->date(); });
                std::reverse(run, end);
                run = end;
            }
        }
        const bool ordered = std::is_sorted(m_arranged.begin(), m_arranged.end(), [&first](const KLVRRWCLogEntry *a, const KLVRRWCLogEntry *b) {
            return first.ascending ? a->date() < b->date() : a->date() > b->date();
        });
        if (ordered && m_sortDescriptors.size() == 1)
            return;
    }
    // Summaries compared literally, as the platform's plain string comparison does.
    const bool bySummary = std::any_of(m_sortDescriptors.begin(), m_sortDescriptors.end(),
                                       [](const KLVRRWCSortDescriptor &d) { return d.key == kSummaryKey; });
    struct Item
    {
        KLVRRWCLogEntry *entry;
        QString summary;
    };
    std::vector<Item> items;
    items.reserve(m_arranged.size());
    for (KLVRRWCLogEntry *entry : m_arranged)
        items.push_back(Item{entry, bySummary ? summaryOf(entry) : QString()});
    const QList<KLVRRWCSortDescriptor> descriptors = m_sortDescriptors;
    std::stable_sort(items.begin(), items.end(), [&descriptors](const Item &a, const Item &b) {
        for (const KLVRRWCSortDescriptor &d : descriptors) {
            int c = 0;
            if (d.key == kDateKey)
                c = a.entry->date() < b.entry->date() ? -1 : (b.entry->date() < a.entry->date() ? 1 : 0);
            else
                c = a.summary.compare(b.summary);
            if (c != 0)
                return d.ascending ? c < 0 : c > 0;
        }
        return false;
    });
    for (size_t i = 0; i < items.size(); ++i)
        m_arranged[i] = items[i].entry;
}

KLVRRWCLogEntry *KLVRRWCLogTableModel::entryAt(int row) const
{
    return row >= 0 && size_t(row) < m_arranged.size() ? m_arranged[size_t(row)] : nullptr;
}

int KLVRRWCLogTableModel::rowOf(const KLVRRWCLogEntry *entry) const
{
    if (!entry)
        return -1;
    const auto it = std::find(m_arranged.begin(), m_arranged.end(), entry);
    return it == m_arranged.end() ? -1 : int(it - m_arranged.begin());
}

QString KLVRRWCLogTableModel::summaryOf(const KLVRRWCLogEntry *entry) const
{
    const qsizetype index = entry->indexInLog();
    if (index < 0 || !m_log || entry->containerLog() != m_log)
        return entry->summary();
    if (size_t(index) >= m_summaries.size())
        m_summaries.resize(size_t(m_log->count()));
    QString &summary = m_summaries[size_t(index)];
    if (summary.isNull()) {
        summary = entry->summary();
        // An empty summary is worked out again each time; it is rare and cheap.
    }
    return summary;
}

QString KLVRRWCLogTableModel::identifier(int column)
{
    return column == DateColumn ? kDateIdentifier : kEventIdentifier;
}

QString KLVRRWCLogTableModel::sortKey(int column)
{
    return column == DateColumn ? kDateKey : kSummaryKey;
}

int KLVRRWCLogTableModel::columnForSortKey(const QString &key)
{
    return key == kDateKey ? DateColumn : (key == kSummaryKey ? EventColumn : -1);
}

QVariant KLVRRWCLogTableModel::valueForKey(KLVRRWCLogEntry *entry, const QString &identifier)
{
    if (!entry)
        return QVariant();
    if (identifier == kDateIdentifier)
        return QVariant::fromValue(entry->date());
    return QVariant::fromValue(entry);
}

int KLVRRWCLogTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_arranged.size());
}

int KLVRRWCLogTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant KLVRRWCLogTableModel::data(const QModelIndex &index, int role) const
{
    KLVRRWCLogEntry *entry = index.isValid() ? entryAt(index.row()) : nullptr;
    if (!entry)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == DateColumn)
            return m_dateFormatter ? m_dateFormatter->stringForDate(entry->date()) : entry->date().toDateTime().toString();
        return summaryOf(entry);
    case EntryRole:
        return QVariant::fromValue(entry);
    case Qt::TextAlignmentRole:
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant KLVRRWCLogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    const QString key = kTable + QStringLiteral(".column.") + identifier(section);
    return KLVRStringsTable::localizedString(key, kTable);
}

Qt::ItemFlags KLVRRWCLogTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

void KLVRRWCLogTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    QList<KLVRRWCSortDescriptor> descriptors{{sortKey(column), order == Qt::AscendingOrder}};
    for (const KLVRRWCSortDescriptor &older : std::as_const(m_sortDescriptors)) {
        if (older.key != descriptors.first().key)
            descriptors.append(older);
    }
    setSortDescriptors(descriptors);
}

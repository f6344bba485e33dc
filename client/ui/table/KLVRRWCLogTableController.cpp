// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogTableController.h"

#include "BLRoundedTableCell.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntryFormatter.h"
#include "KLVRRWCLogTableModel.h"
#include "KLVRRWCLogTableRows.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRRWCRelativeDateFormatter.h"
#include "KLVRStringsTable.h"
#include "KLVRUserDefaults.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <mutex>

static void initTableResources()
{
    Q_INIT_RESOURCE(table);
}

namespace {

const QString kTable = QStringLiteral("KLVRRWCLogTableController");
const QString kRelativeDates = QStringLiteral("relativeDates");
const QString kEventDetail = QStringLiteral("eventDetail");
const QString kHighlight = QStringLiteral("highlight");
const QString kHighlightColour = QStringLiteral("highlightColour");
const QString kColumnSortDescriptors = QStringLiteral("columnSortDescriptors");

QString localized(const QString &role)
{
    return KLVRStringsTable::localizedString(kTable + QLatin1Char('.') + role, kTable);
}

// A colour as the defaults may hold it: a colour, or its name ("#FFF0A8"); invalid otherwise.
QColor colourFrom(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QColor>())
        return value.value<QColor>();
    if (value.metaType() == QMetaType::fromType<QString>())
        return QColor::fromString(value.toString());
    return QColor();
}

} // namespace

KLVRRWCLogTableController::KLVRRWCLogTableController(QObject *parent)
    : QObject(parent),
      m_model(new KLVRRWCLogTableModel(this)),
      m_summaryFormatter(std::make_unique<KLVRRWCLogEntryFormatter>()),
      m_dateFormatter(new KLVRRWCRelativeDateFormatter(this)),
      m_summaryCell(new BLRoundedTableCell(this))
{
    static std::once_flag once;
    std::call_once(once, initTableResources);
    m_model->setDateFormatter(m_dateFormatter);
    m_summaryCell->setFormatter(m_summaryFormatter.get());
    m_summaryCell->setBackgroundQuery([this](int row, QColor *colour) { return drawsBackground(row, colour); });

    m_didChangeTimer.setSingleShot(true);
    m_didChangeTimer.setInterval(0);
    connect(&m_didChangeTimer, &QTimer::timeout, this, &KLVRRWCLogTableController::tableSelectionCoalescedDidChange);
    m_selectByDateTimer.setSingleShot(true);
    m_selectByDateTimer.setInterval(0);
    connect(&m_selectByDateTimer, &QTimer::timeout, this, &KLVRRWCLogTableController::coalescedSelectEntryByDate);

    m_selectPairAction = new QAction(localized(QStringLiteral("selectPair")), this);
    connect(m_selectPairAction, &QAction::triggered, this, &KLVRRWCLogTableController::selectPair);
    m_extendSelectionToPairAction = new QAction(localized(QStringLiteral("extendSelectionToPair")), this);
    connect(m_extendSelectionToPairAction, &QAction::triggered, this, &KLVRRWCLogTableController::extendSelectionToPair);
    m_cancelFilterAction = new QAction(localized(QStringLiteral("cancelFilter")), this);
    m_cancelFilterAction->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(m_cancelFilterAction, &QAction::triggered, this, &KLVRRWCLogTableController::cancelFilter);
    m_findAction = new QAction(localized(QStringLiteral("find")), this);
    m_findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_findAction->setIcon(QIcon::fromTheme(QStringLiteral("edit-find")));
    connect(m_findAction, &QAction::triggered, this, [this] {
        if (m_filterField) {
            m_filterField->setFocus(Qt::ShortcutFocusReason);
            m_filterField->selectAll();
        }
    });

    connect(m_model, &KLVRRWCLogTableModel::aboutToRearrange, this, &KLVRRWCLogTableController::rememberSelection);
    connect(m_model, &KLVRRWCLogTableModel::didRearrange, this, &KLVRRWCLogTableController::restoreSelection);
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { restoreSelectionInRows(first, last); });
    connect(m_model, &KLVRRWCLogTableModel::didFinishArranging, this, &KLVRRWCLogTableController::finishRestoringSelection);
    connect(m_model, &KLVRRWCLogTableModel::sortDescriptorsChanged, this, [this] {
        if (m_awake)
            defaults()->setValue(kColumnSortDescriptors, KLVRRWCSortDescriptor::toPropertyList(m_model->sortDescriptors()));
    });
    validateActions();
}

KLVRRWCLogTableController::~KLVRRWCLogTableController()
{
    if (m_tableView) {
        m_tableView->setCopyDelegate(nullptr);
        m_tableView->setModel(nullptr);
    }
}

KLVRUserDefaults *KLVRRWCLogTableController::defaults() const
{
    return m_defaults ? m_defaults.data() : KLVRUserDefaults::standard();
}

void KLVRRWCLogTableController::setLog(KLVRRWCLog *log)
{
    m_log = log;
    m_model->setLog(log);
}

void KLVRRWCLogTableController::setTableView(KLVRRWCLogTableView *tableView)
{
    m_tableView = tableView;
}

KLVRRWCLogTableView *KLVRRWCLogTableController::tableView() const
{
    return m_tableView;
}

void KLVRRWCLogTableController::setFilterField(QLineEdit *filterField)
{
    m_filterField = filterField;
}

QLineEdit *KLVRRWCLogTableController::filterField() const
{
    return m_filterField;
}

void KLVRRWCLogTableController::setUserDefaults(KLVRUserDefaults *defaults)
{
    m_defaults = defaults;
}

void KLVRRWCLogTableController::awakeFromNib()
{
    KLVRUserDefaults *settings = defaults();
    connect(settings, &KLVRUserDefaults::valueChanged, this, [this](const QString &key, const QVariant &) { userDefaultDidChange(key); });
    m_dateFormatter->awakeFromNib(settings);
    readHighlightSettings();
    m_highlightEntries.clear();

    m_model->setFilterString(QString());
    if (m_filterField) {
        m_filterField->setPlaceholderText(localized(QStringLiteral("filter.placeholder")));
        m_filterField->setClearButtonEnabled(true);
        m_filterField->clear();
        // Every keystroke filters.
        connect(m_filterField, &QLineEdit::textChanged, this, &KLVRRWCLogTableController::setFilterString);
    }

    const QList<KLVRRWCSortDescriptor> stored = KLVRRWCSortDescriptor::fromPropertyList(
        settings->value(kColumnSortDescriptors), {KLVRRWCLogTableModel::kDateKey, KLVRRWCLogTableModel::kSummaryKey});
    m_model->setSortDescriptors(stored);

    if (m_tableView) {
        m_tableView->setModel(m_model);
        m_tableView->setItemDelegateForColumn(KLVRRWCLogTableModel::EventColumn, m_summaryCell);
        m_tableView->setCopyDelegate(this);
        QHeaderView *header = m_tableView->horizontalHeader();
        if (!stored.isEmpty()) {
            header->setSortIndicator(KLVRRWCLogTableModel::columnForSortKey(stored.first().key),
                                     stored.first().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        } else {
            header->setSortIndicator(-1, Qt::AscendingOrder);
        }
        connect(m_tableView, &KLVRRWCLogTableView::doubleAction, this, &KLVRRWCLogTableController::doubleClickShowInformationPanel);
        connect(m_tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &KLVRRWCLogTableController::tableViewSelectionDidChange);
        connect(m_dateFormatter, &KLVRRWCRelativeDateFormatter::relativeDatesChanged, m_tableView->viewport(),
                qOverload<>(&QWidget::update));
        fitDateColumn();
    }
    m_awake = true;
    adjustRowHeight();
    validateActions();
}

QString KLVRRWCLogTableController::filterString() const
{
    return m_model->filterString();
}

void KLVRRWCLogTableController::setFilterString(const QString &filterString)
{
    if (m_filterField && m_filterField->text() != filterString)
        m_filterField->setText(filterString); // comes back here through textChanged
    m_model->setFilterString(filterString);
    validateActions();
}

QList<KLVRRWCSortDescriptor> KLVRRWCLogTableController::sortDescriptors() const
{
    return m_model->sortDescriptors();
}

void KLVRRWCLogTableController::setSortDescriptors(const QList<KLVRRWCSortDescriptor> &descriptors)
{
    m_model->setSortDescriptors(descriptors);
    if (m_tableView && !descriptors.isEmpty()) {
        m_tableView->horizontalHeader()->setSortIndicator(KLVRRWCLogTableModel::columnForSortKey(descriptors.first().key),
                                                          descriptors.first().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

void KLVRRWCLogTableController::setHighlightRelated(bool highlightRelated)
{
    if (m_highlightRelated == highlightRelated)
        return;
    m_highlightRelated = highlightRelated;
    if (highlightRelated)
        tableSelectionCoalescedDidChange();
    if (m_tableView)
        m_tableView->viewport()->update();
}

void KLVRRWCLogTableController::setHighlightColour(const QColor &colour)
{
    m_highlightColour = colour.isValid() ? colour : kDefaultHighlightColour;
    if (m_tableView && !m_highlightEntries.isEmpty())
        m_tableView->viewport()->update();
}

bool KLVRRWCLogTableController::drawsBackground(int row, QColor *colour) const
{
    if (!m_highlightRelated || !m_highlightEntries.contains(row))
        return false;
    if (colour)
        *colour = m_highlightColour;
    return true;
}

const std::vector<KLVRRWCLogEntry *> &KLVRRWCLogTableController::arrangedObjects() const
{
    m_model->finishArranging();
    return m_model->arrangedObjects();
}

QList<int> KLVRRWCLogTableController::selectedRows() const
{
    return m_tableView ? m_tableView->selectedRows() : QList<int>();
}

QList<KLVRRWCLogEntry *> KLVRRWCLogTableController::selectedObjects() const
{
    QList<KLVRRWCLogEntry *> entries;
    for (int row : selectedRows()) {
        if (KLVRRWCLogEntry *entry = m_model->entryAt(row))
            entries.append(entry);
    }
    return entries;
}

QAction *KLVRRWCLogTableController::copyAction() const
{
    return m_tableView ? m_tableView->copyAction() : nullptr;
}

void KLVRRWCLogTableController::filter()
{
    m_model->rearrangeObjects();
}

void KLVRRWCLogTableController::cancelFilter()
{
    if (!m_filterField || m_filterField->text().isEmpty())
        return;
    // Emptying the field filters again through its own action.
    m_filterField->clear();
}

void KLVRRWCLogTableController::tableViewCancel(KLVRRWCLogTableView *)
{
    cancelFilter();
}

void KLVRRWCLogTableController::selectEntryByDate(QObject *sender)
{
    if (!sender || sender->metaObject()->indexOfProperty("selection") < 0)
        return;
    m_selectByDateSender = sender;
    m_selectByDateTimer.start();
}

void KLVRRWCLogTableController::coalescedSelectEntryByDate()
{
    if (!m_selectByDateSender || !m_tableView)
        return;
    const QVariant selection = m_selectByDateSender->property("selection");
    if (selection.metaType() != QMetaType::fromType<KLVRAbsoluteTime>() || !selection.value<KLVRAbsoluteTime>().isValid())
        return;
    const int row = nearestVisibleEntryToDate(selection.value<KLVRAbsoluteTime>());
    if (row < 0)
        return;
    selectRows({row}, false);
}

int KLVRRWCLogTableController::nearestVisibleEntryToDate(KLVRAbsoluteTime date) const
{
    const std::vector<KLVRRWCLogEntry *> &arranged = arrangedObjects();
    if (!m_rowsByDateValid) {
        m_rowsByDate.clear();
        m_rowsByDate.reserve(arranged.size());
        for (size_t row = 0; row < arranged.size(); ++row)
            m_rowsByDate.emplace_back(arranged[row]->date().seconds(), int(row));
        // Stable, so that equal dates keep their row order.
        std::stable_sort(m_rowsByDate.begin(), m_rowsByDate.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        m_rowsByDateValid = true;
    }
    if (m_rowsByDate.empty())
        return -1;
    const double d = date.seconds();
    if (m_rowsByDate.front().first > d)
        return m_rowsByDate.front().second;
    if (m_rowsByDate.back().first < d)
        return m_rowsByDate.back().second;
    // The first entry after the date, and the one before it.
    const auto later = std::upper_bound(m_rowsByDate.begin(), m_rowsByDate.end(), d,
                                        [](double value, const auto &item) { return value < item.first; });
    // Nothing after it: the last entry lies exactly at the date.
    if (later == m_rowsByDate.end())
        return m_rowsByDate.back().second;
    const auto earlier = later - 1;
    // A tie goes to the later entry.
    return (later->first - d) > std::abs(earlier->first - d) ? earlier->second : later->second;
}

bool KLVRRWCLogTableController::validateCancelFilter() const
{
    return m_filterField && !m_filterField->text().isEmpty();
}

bool KLVRRWCLogTableController::validateSelectPair() const
{
    const QList<int> rows = selectedRows();
    if (rows.size() != 1)
        return false;
    const KLVRRWCLogEntry *entry = m_model->entryAt(rows.first());
    return entry && entry->pair() && m_model->rowOf(entry->pair()) >= 0;
}

void KLVRRWCLogTableController::validateActions()
{
    m_cancelFilterAction->setEnabled(validateCancelFilter());
    const bool pair = validateSelectPair();
    m_selectPairAction->setEnabled(pair);
    m_extendSelectionToPairAction->setEnabled(pair);
}

void KLVRRWCLogTableController::selectPair()
{
    m_model->finishArranging();
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const KLVRRWCLogEntry *entry = m_model->entryAt(rows.first());
    const int pairRow = entry ? m_model->rowOf(entry->pair()) : -1;
    if (pairRow >= 0)
        selectRows({pairRow}, false);
}

void KLVRRWCLogTableController::extendSelectionToPair()
{
    m_model->finishArranging();
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    const KLVRRWCLogEntry *entry = m_model->entryAt(rows.first());
    const int pairRow = entry ? m_model->rowOf(entry->pair()) : -1;
    if (pairRow < 0)
        return;
    QList<int> range;
    for (int row = std::min(rows.first(), pairRow); row <= std::max(rows.first(), pairRow); ++row)
        range.append(row);
    selectRows(range, true);
}

void KLVRRWCLogTableController::selectRows(const QList<int> &rows, bool extend)
{
    if (!m_tableView || rows.isEmpty())
        return;
    QItemSelection selection;
    const int lastColumn = m_model->columnCount() - 1;
    // Runs of neighbouring rows make one range each.
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        selection.select(m_model->index(rows[i], 0), m_model->index(rows[j], lastColumn));
        i = j + 1;
    }
    QItemSelectionModel *model = m_tableView->selectionModel();
    model->select(selection, (extend ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) | QItemSelectionModel::Rows);
    model->setCurrentIndex(m_model->index(rows.last(), 0), QItemSelectionModel::NoUpdate);
    m_tableView->doItemsLayout();
    m_tableView->scrollTo(m_model->index(rows.last(), 0));
}

void KLVRRWCLogTableController::doubleClickShowInformationPanel()
{
    Q_EMIT showInformationPanel(this);
}

void KLVRRWCLogTableController::adjustRowHeight()
{
    m_summaryFormatter->setShowDetail(defaults()->boolValue(kEventDetail));
    m_summaryCell->invalidate();
    if (!m_tableView)
        return;
    const double height = m_summaryFormatter->rowHeight(m_tableView->font());
    m_tableView->verticalHeader()->setDefaultSectionSize(int(std::ceil(height)));
    m_tableView->viewport()->update();
}

void KLVRRWCLogTableController::fitDateColumn()
{
    // Wide enough for the longest day and time the locale writes.
    const QFontMetrics metrics(m_tableView->font());
    const KLVRAbsoluteTime sample = KLVRAbsoluteTime::fromDateTime(QDateTime(QDate(2026, 12, 28), QTime(23, 58, 59)));
    QString widest = m_dateFormatter->stringForDate(sample);
    for (const QString &day : {QStringLiteral("Yesterday"), QStringLiteral("Tomorrow")}) {
        const QString text = day + QStringLiteral(", ") + m_dateFormatter->timeFormatter().toString(QTime(23, 58), QLocale::ShortFormat);
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(widest))
            widest = text;
    }
    m_tableView->horizontalHeader()->resizeSection(KLVRRWCLogTableModel::DateColumn, metrics.horizontalAdvance(widest) + 28);
}

void KLVRRWCLogTableController::tableViewSelectionDidChange()
{
    // The user chose rows while the filter was still adding some: theirs is the selection now.
    m_rememberedSelection.clear();
    m_rememberedCurrent = nullptr;
    validateActions();
    // Handled once the burst of changes is over.
    m_didChangeTimer.start();
}

void KLVRRWCLogTableController::tableSelectionCoalescedDidChange()
{
    if (m_highlightRelated) {
        const QSet<int> remembered = m_highlightEntries;
        m_highlightEntries.clear();
        const QList<int> rows = selectedRows();
        if (rows.size() == 1) {
            const KLVRRWCLogEntry *entry = m_model->entryAt(rows.first());
            const int pairRow = entry ? m_model->rowOf(entry->pair()) : -1;
            if (pairRow >= 0)
                m_highlightEntries.insert(pairRow);
        }
        if (m_highlightEntries != remembered && m_tableView)
            m_tableView->viewport()->update();
    }
    Q_EMIT selectionDidChange();
}

void KLVRRWCLogTableController::userDefaultDidChange(const QString &key)
{
    if (key.contains(kHighlight)) {
        readHighlightSettings();
        if (!m_highlightEntries.isEmpty() && m_tableView)
            m_tableView->viewport()->update();
    }
    if (key.contains(kRelativeDates) && m_tableView)
        m_tableView->viewport()->update();
    if (key.contains(kEventDetail))
        adjustRowHeight();
}

void KLVRRWCLogTableController::readHighlightSettings()
{
    setHighlightColour(colourFrom(defaults()->value(kHighlightColour)));
    setHighlightRelated(defaults()->boolValue(kHighlight));
}

void KLVRRWCLogTableController::rememberSelection()
{
    m_rowsByDateValid = false;
    if (m_restoring) {
        // A filter was still adding rows: what it had not brought back yet stays remembered.
        for (int row : selectedRows())
            m_rememberedSelection.insert(m_model->entryAt(row));
        return;
    }
    m_rememberedSelection.clear();
    m_rememberedCurrent = nullptr;
    m_rememberedTop = nullptr;
    m_rememberedAtEnd = false;
    if (!m_tableView || !m_tableView->selectionModel())
        return;
    const QScrollBar *bar = m_tableView->verticalScrollBar();
    m_rememberedAtEnd = bar->maximum() > 0 && bar->value() == bar->maximum();
    m_rememberedTop = bar->value() > 0 ? m_model->entryAt(m_tableView->rowAt(0)) : nullptr;
    for (int row : selectedRows())
        m_rememberedSelection.insert(m_model->entryAt(row));
    m_rememberedCurrent = m_model->entryAt(m_tableView->selectionModel()->currentIndex().row());
}

void KLVRRWCLogTableController::restoreSelection()
{
    m_rowsByDateValid = false;
    if (m_tableView && m_tableView->selectionModel() && !m_rememberedSelection.isEmpty()) {
        {
            const QSignalBlocker blocker(m_tableView->selectionModel());
            m_tableView->selectionModel()->clearSelection();
        }
        restoreSelectionInRows(0, m_model->rowCount() - 1);
    }
    // Until the model says the rows are complete (at once when they took one slice).
    m_restoring = true;
}

void KLVRRWCLogTableController::restoreSelectionInRows(int first, int last)
{
    m_rowsByDateValid = false;
    if (!m_tableView || !m_tableView->selectionModel())
        return;
    if (!m_rememberedSelection.isEmpty() && first <= last) {
        QList<int> rows;
        int current = -1;
        const std::vector<KLVRRWCLogEntry *> &arranged = m_model->arrangedObjects();
        for (int row = first; row <= last; ++row) {
            if (m_rememberedSelection.contains(arranged[size_t(row)])) {
                rows.append(row);
                if (arranged[size_t(row)] == m_rememberedCurrent)
                    current = row;
            }
        }
        if (!rows.isEmpty()) {
            const QSignalBlocker blocker(m_tableView->selectionModel());
            QItemSelection selection;
            const int lastColumn = m_model->columnCount() - 1;
            for (qsizetype i = 0; i < rows.size();) {
                qsizetype j = i;
                while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
                    ++j;
                selection.select(m_model->index(rows[i], 0), m_model->index(rows[j], lastColumn));
                i = j + 1;
            }
            m_tableView->selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (current >= 0)
                m_tableView->selectionModel()->setCurrentIndex(m_model->index(current, 0), QItemSelectionModel::NoUpdate);
        }
        // The view learns of the selection it was given behind the blocker.
        m_tableView->viewport()->update();
    }
    // The row that was on top, once it is back.
    if (m_rememberedTop && !m_rememberedAtEnd) {
        const int top = m_model->rowOf(m_rememberedTop);
        if (top >= first && top <= last) {
            m_tableView->doItemsLayout();
            m_tableView->scrollTo(m_model->index(top, 0), QAbstractItemView::PositionAtTop);
            m_rememberedTop = nullptr;
        }
    }
}

void KLVRRWCLogTableController::finishRestoringSelection()
{
    m_restoring = false;
    m_rowsByDateValid = false;
    if (m_tableView && m_rememberedAtEnd) {
        // The scroll range of the new rows, before scrolling in them.
        m_tableView->doItemsLayout();
        m_tableView->scrollToBottom();
    }
    m_rememberedSelection.clear();
    m_rememberedCurrent = nullptr;
    m_rememberedTop = nullptr;
    m_rememberedAtEnd = false;
    validateActions();
    if (m_tableView && m_tableView->copyAction())
        m_tableView->copyAction()->setEnabled(m_tableView->validateCopy());
    // The partner's row may have moved, or gone.
    tableSelectionCoalescedDidChange();
}

bool KLVRRWCLogTableController::writeRows(KLVRRWCLogTableView *tableView, const QList<int> &rows, QMimeData *data)
{
    if (rows.isEmpty() || !data)
        return false;
    QList<int> columns;
    const QHeaderView *header = tableView ? tableView->horizontalHeader() : nullptr;
    for (int visual = 0; visual < m_model->columnCount(); ++visual) {
        const int logical = header ? header->logicalIndex(visual) : visual;
        if (!header || !header->isSectionHidden(logical))
            columns.append(logical);
    }
    KLVRRWCLogTableRows out(tableView ? tableView->font() : QFont());
    for (int row : rows) {
        KLVRRWCLogEntry *entry = m_model->entryAt(row);
        if (!entry)
            continue;
        KLVRRWCLogTableRows::Row cells;
        for (int column : std::as_const(columns)) {
            const QVariant value = KLVRRWCLogTableModel::valueForKey(entry, KLVRRWCLogTableModel::identifier(column));
            cells.append(column == KLVRRWCLogTableModel::DateColumn ? m_dateFormatter->attributedStringForObjectValue(value)
                                                                    : m_summaryFormatter->attributedStringForObjectValue(value));
        }
        out.append(cells);
    }
    if (out.isEmpty())
        return false;
    out.writeTo(data);
    return true;
}

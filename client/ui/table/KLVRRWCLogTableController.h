// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCLogTableViewCopy.h"
#include "KLVRRWCSortDescriptor.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <memory>
#include <vector>

class BLRoundedTableCell;
class KLVRRWCLog;
class KLVRRWCLogEntry;
class KLVRRWCLogEntryFormatter;
class KLVRRWCLogTableModel;
class KLVRRWCLogTableView;
class KLVRRWCRelativeDateFormatter;
class KLVRUserDefaults;
class QAction;
class QLineEdit;

// The log table's controller: it holds the log's visible entries as the table's rows (through
// its model), filters them by the search field's text, sorts them and remembers the sort, gives
// selected rows out for Copy and dragging, and highlights the partner of the selected entry
// (the wake that ends a sleep, the sleep that a wake ends) with a pill in the summary column.
//
// Others drive it: the graph's action asks it to select the entry nearest a date
// (selectEntryByDate, coalesced until the event loop is idle); the inspector reads its
// selection and opens on showInformationPanel() (a double click, Enter or Return). It follows
// the user defaults "relativeDates", "eventDetail", "highlight" and "highlightColour" live, and
// keeps the sort under "columnSortDescriptors". Main thread only.
class KLVRRWCLogTableController : public QObject, public KLVRRWCLogTableViewCopy
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCLogTableController)

public:
    // The default highlight colour, for a stored value that is not a colour.
    static inline const QColor kDefaultHighlightColour = QColor(0xFF, 0xF0, 0xA8);

    explicit KLVRRWCLogTableController(QObject *parent = nullptr);
    ~KLVRRWCLogTableController() override;

    // Outlets (not owned), set before awakeFromNib().
    void setLog(KLVRRWCLog *log);
    KLVRRWCLog *log() const { return m_log; }
    void setTableView(KLVRRWCLogTableView *tableView);
    KLVRRWCLogTableView *tableView() const;
    void setFilterField(QLineEdit *filterField);
    QLineEdit *filterField() const;
    // Where the settings are read; the program's own unless set.
    void setUserDefaults(KLVRUserDefaults *defaults);

    // Connects the view, the field, the settings and the actions; call once the outlets are set.
    void awakeFromNib();

    KLVRRWCLogTableModel *model() const { return m_model; }
    KLVRRWCLogEntryFormatter *summaryFormatter() const { return m_summaryFormatter.get(); }
    KLVRRWCRelativeDateFormatter *dateFormatter() const { return m_dateFormatter; }
    BLRoundedTableCell *summaryCell() const { return m_summaryCell; }

    QString filterString() const;
    void setFilterString(const QString &filterString);
    QList<KLVRRWCSortDescriptor> sortDescriptors() const;
    // Sorts and stores the sort under "columnSortDescriptors".
    void setSortDescriptors(const QList<KLVRRWCSortDescriptor> &descriptors);

    bool highlightRelated() const { return m_highlightRelated; }
    void setHighlightRelated(bool highlightRelated);
    // Rows painted highlighted.
    const QSet<int> &highlightEntries() const { return m_highlightEntries; }
    QColor highlightColour() const { return m_highlightColour; }
    void setHighlightColour(const QColor &colour);
    // Whether the summary cell of the row draws its pill, and in which colour.
    bool drawsBackground(int row, QColor *colour = nullptr) const;

    // The rows' entries, every one (a filter still adding rows is completed first), and the
    // selected ones in row order.
    const std::vector<KLVRRWCLogEntry *> &arrangedObjects() const;
    QList<KLVRRWCLogEntry *> selectedObjects() const;
    QList<int> selectedRows() const;

    // Actions.
    void filter();
    void cancelFilter();
    void selectEntryByDate(QObject *sender);
    void selectPair();
    void extendSelectionToPair();
    void doubleClickShowInformationPanel();
    void adjustRowHeight();
    // The row nearest the date among the rows, or -1 when there are none.
    int nearestVisibleEntryToDate(KLVRAbsoluteTime date) const;

    // Menu validation.
    bool validateCancelFilter() const;
    bool validateSelectPair() const;

    QAction *selectPairAction() const { return m_selectPairAction; }
    QAction *extendSelectionToPairAction() const { return m_extendSelectionToPairAction; }
    QAction *cancelFilterAction() const { return m_cancelFilterAction; }
    QAction *findAction() const { return m_findAction; }
    QAction *copyAction() const;

    // KLVRRWCLogTableViewCopy
    bool writeRows(KLVRRWCLogTableView *tableView, const QList<int> &rows, QMimeData *data) override;
    void tableViewCancel(KLVRRWCLogTableView *tableView) override;

Q_SIGNALS:
    // The inspector's cue: a double click, Enter or Return in the table.
    void showInformationPanel(KLVRRWCLogTableController *controller);
    // Once after a burst of selection changes (and after the rows were rearranged).
    void selectionDidChange();

private:
    void tableViewSelectionDidChange();
    void tableSelectionCoalescedDidChange();
    void coalescedSelectEntryByDate();
    void userDefaultDidChange(const QString &key);
    void readHighlightSettings();
    void validateActions();
    void rememberSelection();
    void restoreSelection();
    void restoreSelectionInRows(int first, int last);
    void finishRestoringSelection();
    void selectRows(const QList<int> &rows, bool extend);
    void fitDateColumn();
    KLVRUserDefaults *defaults() const;

    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCLogTableView> m_tableView;
    QPointer<QLineEdit> m_filterField;
    QPointer<KLVRUserDefaults> m_defaults;
    KLVRRWCLogTableModel *m_model = nullptr;
    std::unique_ptr<KLVRRWCLogEntryFormatter> m_summaryFormatter;
    KLVRRWCRelativeDateFormatter *m_dateFormatter = nullptr;
    BLRoundedTableCell *m_summaryCell = nullptr;

    bool m_highlightRelated = false;
    QSet<int> m_highlightEntries;
    QColor m_highlightColour = kDefaultHighlightColour;

    QAction *m_selectPairAction = nullptr;
    QAction *m_extendSelectionToPairAction = nullptr;
    QAction *m_cancelFilterAction = nullptr;
    QAction *m_findAction = nullptr;

    // "didChange" and "selectByDate": each handled once the event loop is idle.
    QTimer m_didChangeTimer;
    QTimer m_selectByDateTimer;
    QPointer<QObject> m_selectByDateSender;

    // Carried over a rearrangement.
    QSet<const KLVRRWCLogEntry *> m_rememberedSelection;
    const KLVRRWCLogEntry *m_rememberedCurrent = nullptr;
    // The entry in the top row, so that new rows do not move what the user is reading; or
    // whether the view showed the last row, so that it follows the newest.
    const KLVRRWCLogEntry *m_rememberedTop = nullptr;
    bool m_rememberedAtEnd = false;
    // From a rearrangement until its rows are complete.
    bool m_restoring = false;
    // The rows by date, for the nearest entry; made when first needed after a rearrangement.
    mutable std::vector<std::pair<double, int>> m_rowsByDate;
    mutable bool m_rowsByDateValid = false;
    bool m_awake = false;
};

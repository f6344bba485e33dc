// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

class KLVRRWCDateRangeController;
class KLVRRWCInspectorSubViewController;
class KLVRRWCInspectorWindow;
class KLVRRWCLog;
class KLVRRWCLogEntry;
class KLVRUserDefaults;
class QAction;
class QWidget;

// The inspector: a floating panel beside the main window describing what the log table has
// selected, one entry in full or, for several, the statistics of the time they span.
//
// Who talks to it: the table hands over its selected entries (setSelectedEntries) and asks for
// the panel (showInformationPanel, on a double click, Return or Enter); the log's visible
// entries and the date range's span only make it look again. It reads the entries; it changes
// nothing in the model.
//
// Every refresh builds the stack of items from scratch: a heading "Summary", the entry or the
// selection, then a heading and an item for each of its attributes, or only "No Selection". While
// the panel is visible, changes are coalesced into one refresh when the event loop is next idle
// (didChange() is sent just before it); while hidden, nothing is followed, and showing the panel
// refreshes it. The panel fits itself around the stack, keeping its top-right corner. Its visible
// state is the user default "info-visible", and it reopens at launch when that was true.
// Main thread only.
class KLVRRWCInspectorController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCInspectorController)

public:
    // defaults: where "info-visible" and the panel's frame are kept; parentWindow: the main
    // window, over which the panel floats.
    explicit KLVRRWCInspectorController(KLVRUserDefaults *defaults, QWidget *parentWindow = nullptr, QObject *parent = nullptr);
    ~KLVRRWCInspectorController() override;

    void setDateRange(KLVRRWCDateRangeController *dateRange);
    void setLog(KLVRRWCLog *log);

    const QList<KLVRRWCLogEntry *> &selectedEntries() const { return m_selectedEntries; }
    // False while the panel has not been made.
    bool isVisible() const;
    // The panel and its container, made on first use.
    KLVRRWCInspectorWindow *inspectorWindow();
    QWidget *containerView();
    // Shows and hides the panel, checked while it is visible (the window's menu carries it).
    QAction *toggleAction() const { return m_toggleAction; }

    const std::vector<std::unique_ptr<KLVRRWCInspectorSubViewController>> &subViewControllers() const { return m_subViewControllers; }
    void addSubViewController(std::unique_ptr<KLVRRWCInspectorSubViewController> item);
    void removeSubViewController(const KLVRRWCInspectorSubViewController *item);
    void removeAllSubViewControllers();
    // Stacks the items' views top down in the container and fits the panel around them.
    void layoutSubViewControllers();

    // The frame name under which the panel's frame is kept.
    static QString frameName();
    static constexpr const char *kVisibleKey = "info-visible";

public Q_SLOTS:
    // The entries the table has selected, in the table's order (the log owns them).
    void setSelectedEntries(const QList<KLVRRWCLogEntry *> &entries);
    // Brings the panel to the front with fresh contents.
    void showInformationPanel();
    void hideInformationPanel();
    // Rebuilds the stack now.
    void updateContents();
    // Reopens the panel on the next pass of the event loop when it was open at the last quit.
    void applicationDidFinishLaunching();

Q_SIGNALS:
    // The coalesced refresh is about to run.
    void didChange();
    // The stack was rebuilt.
    void contentsUpdated();

private:
    // Something the contents depend on changed: refresh once when idle, if the panel shows.
    void observedValueChanged();
    void loadInspector();
    void placeBesideParent();
    void setVisibleDefault(bool visible);
    void defaultsValueChanged(const QString &key, const QVariant &value);

    QPointer<KLVRUserDefaults> m_defaults;
    QPointer<QWidget> m_parentWindow;
    QPointer<KLVRRWCDateRangeController> m_dateRange;
    QPointer<KLVRRWCLog> m_log;
    QList<KLVRRWCLogEntry *> m_selectedEntries;
    std::unique_ptr<KLVRRWCInspectorWindow> m_window;
    std::vector<std::unique_ptr<KLVRRWCInspectorSubViewController>> m_subViewControllers;
    QTimer m_coalesce;
    QAction *m_toggleAction = nullptr;
    bool m_placeBesideParent = false;
};

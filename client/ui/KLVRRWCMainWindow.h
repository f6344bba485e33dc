// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class KLVRAgentController;
class KLVRAgentControllerDialogs;
class KLVRRWCDateJumpController;
class KLVRRWCDateRangeActions;
class KLVRRWCDateRangeController;
class KLVRRWCDateRangePopUp;
class KLVRRWCEntriesView;
class KLVRRWCInspectorController;
class KLVRRWCExportController;
class KLVRRWCLog;
class KLVRRWCLogSlice;
class KLVRRWCLogTableController;
class KLVRRWCLogTableView;
class KLVRRWCPrintController;
class KLVRRWCStore;
class KLVRRWCWelcomeController;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSplitter;
class QToolBar;

// The Rest Watch window and the objects behind it: it creates the agent controller, the log,
// the date range, the store and the visible slice, connects them, and shows the toolbar (range
// pop-up, day steps, zooms, the agent's start/stop), the time-line graph and, below it, the log
// table. The window owns all of these; they live as long as it does.
class KLVRRWCMainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCMainWindow)

public:
    // systemBus/sessionBus: where the agent is looked for (system bus first) and where the
    // client's update endpoint is vended.
    explicit KLVRRWCMainWindow(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
                               QWidget *parent = nullptr);
    ~KLVRRWCMainWindow() override;

    // Registers the window's resources (labels, strings tables), which live in a static library.
    static void ensureResourcesLoaded();

    KLVRAgentController *agentController() const { return m_agentController.get(); }
    KLVRRWCLog *log() const { return m_log.get(); }
    KLVRRWCDateRangeController *dateRange() const { return m_dateRange.get(); }
    KLVRRWCStore *store() const { return m_store.get(); }
    KLVRRWCLogSlice *visibleSlice() const { return m_visibleSlice.get(); }
    KLVRRWCWelcomeController *welcomeController() const { return m_welcomeController.get(); }
    KLVRRWCDateJumpController *dateJumpController() const { return m_dateJumpController.get(); }
    KLVRRWCDateRangeActions *dateRangeActions() const { return m_dateRangeActions; }
    KLVRRWCDateRangePopUp *dateRangePopUp() const { return m_dateRangePopUp; }
    KLVRRWCEntriesView *entriesView() const { return m_entriesView; }
    KLVRRWCInspectorController *inspectorController() const { return m_inspectorController.get(); }
    // The log table under the graph, its controller and the filter field in the toolbar.
    KLVRRWCLogTableController *logTableController() const { return m_logTableController; }
    KLVRRWCLogTableView *logTableView() const { return m_logTableView; }
    QLineEdit *filterField() const { return m_filterField; }
    KLVRRWCExportController *exportController() const { return m_exportController.get(); }
    KLVRRWCPrintController *printController() const { return m_printController.get(); }

    // The place above the table where the graph sits, and the place of the log table.
    QWidget *graphSlot() const { return m_graphSlot; }
    QWidget *tableSlot() const { return m_tableSlot; }
    QToolBar *toolBar() const { return m_toolBar; }

    // Commands the application connects.
    QAction *userGuideAction() const { return m_userGuideAction; }
    QAction *quitAction() const { return m_quitAction; }
    QAction *refreshAction() const { return m_refreshAction; }
    QAction *agentStartStopAction() const { return m_agentStartStopAction; }

private:
    void createObjects(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);
    void createActions();
    void createMenus();
    void createToolBar();
    void createCentralWidget();
    void createExportAndPrint();
    void updateAgentItems();
    void showAbout();
    void showCacheProblem(const QString &message);

    // Model objects, in the order they depend on each other (destroyed in reverse).
    std::unique_ptr<KLVRAgentController> m_agentController;
    std::unique_ptr<KLVRRWCLog> m_log;
    std::unique_ptr<KLVRRWCDateRangeController> m_dateRange;
    std::unique_ptr<KLVRRWCStore> m_store;
    std::unique_ptr<KLVRRWCLogSlice> m_visibleSlice;
    std::unique_ptr<KLVRAgentControllerDialogs> m_agentDialogs;
    std::unique_ptr<KLVRRWCWelcomeController> m_welcomeController;
    std::unique_ptr<KLVRRWCDateJumpController> m_dateJumpController;
    // The inspector's panel floats over this window: the controller goes before the window does.
    std::unique_ptr<KLVRRWCInspectorController> m_inspectorController;
    std::unique_ptr<KLVRRWCExportController> m_exportController;
    std::unique_ptr<KLVRRWCPrintController> m_printController;

    KLVRRWCDateRangeActions *m_dateRangeActions = nullptr;
    KLVRRWCDateRangePopUp *m_dateRangePopUp = nullptr;
    QToolBar *m_toolBar = nullptr;
    QSplitter *m_splitter = nullptr;
    QWidget *m_graphSlot = nullptr;
    KLVRRWCEntriesView *m_entriesView = nullptr;
    QWidget *m_tableSlot = nullptr;
    KLVRRWCLogTableController *m_logTableController = nullptr;
    KLVRRWCLogTableView *m_logTableView = nullptr;
    QLineEdit *m_filterField = nullptr;
    QLabel *m_agentStatus = nullptr;
    QProgressBar *m_agentBusy = nullptr;
    QAction *m_userGuideAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_refreshAction = nullptr;
    QAction *m_agentStartStopAction = nullptr;
};

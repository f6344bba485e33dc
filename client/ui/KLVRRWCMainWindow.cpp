// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCMainWindow.h"

#include "KLVRAgentController.h"
#include "KLVRAgentControllerDialogs.h"
#include "KLVRBundle.h"
#include "KLVRFormat.h"
#include "KLVRRWCDateJumpController.h"
#include "KLVRRWCDateRangeActions.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCDateRangePopUp.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCInspectorController.h"
#include "KLVRRWCExportController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCLogTableController.h"
#include "KLVRRWCLogTableView.h"
#include "KLVRRWCPrintController.h"
#include "KLVRRWCStore.h"
#include "KLVRRWCWelcomeController.h"
#include "KLVRStringsTable.h"
#include "KLVRUserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <mutex>

static void initMainWindowResources()
{
    Q_INIT_RESOURCE(KLVRRWCMainWindow);
}

namespace {

const QString kTable = QStringLiteral("KLVRRWCMainWindow");

QString localized(const QString &role)
{
    return KLVRStringsTable::localizedString(kTable + QLatin1Char('.') + role, kTable);
}

// A magnifying glass with a plus or a minus, for desktops whose icon theme has no zoom icons.
QIcon drawnZoomIcon(const QPalette &palette, bool zoomIn)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        QPen pen(palette.color(QPalette::WindowText), 1.5 * unit, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const QRectF lens(1.5 * unit, 1.5 * unit, 9 * unit, 9 * unit);
        painter.drawEllipse(lens);
        pen.setWidthF(2.5 * unit);
        painter.setPen(pen);
        painter.drawLine(QPointF(10 * unit, 10 * unit), QPointF(14.5 * unit, 14.5 * unit));
        pen.setWidthF(1.5 * unit);
        painter.setPen(pen);
        const QPointF centre = lens.center();
        painter.drawLine(centre - QPointF(2.5 * unit, 0), centre + QPointF(2.5 * unit, 0));
        if (zoomIn)
            painter.drawLine(centre - QPointF(0, 2.5 * unit), centre + QPointF(0, 2.5 * unit));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

KLVRRWCMainWindow::KLVRRWCMainWindow(const QDBusConnection &systemBus, const QDBusConnection &sessionBus, QWidget *parent)
    : QMainWindow(parent)
{
    ensureResourcesLoaded();
    setObjectName(kTable);
    setWindowTitle(KLVRBundle::main().name());
    createObjects(systemBus, sessionBus);
    createActions();
    createCentralWidget();
    createToolBar();
    createExportAndPrint();
    createMenus();

    m_agentStatus = new QLabel(this);
    m_agentStatus->setObjectName(QStringLiteral("KLVRRWCMainWindow.agentStatus"));
    // Shown while a privileged run or an update waits, so that the window says it is working.
    m_agentBusy = new QProgressBar(this);
    m_agentBusy->setObjectName(QStringLiteral("KLVRRWCMainWindow.agentBusy"));
    m_agentBusy->setRange(0, 0);
    m_agentBusy->setMaximumWidth(120);
    m_agentBusy->setTextVisible(false);
    statusBar()->addPermanentWidget(m_agentBusy);
    statusBar()->addPermanentWidget(m_agentStatus);
    connect(m_agentController.get(), &KLVRAgentController::stateChanged, this, &KLVRRWCMainWindow::updateAgentItems);
    connect(m_agentController.get(), &KLVRAgentController::installedChanged, this, &KLVRRWCMainWindow::updateAgentItems);
    connect(m_agentController.get(), &KLVRAgentController::busyChanged, this, &KLVRRWCMainWindow::updateAgentItems);
    updateAgentItems();
    connect(m_store.get(), &KLVRRWCStore::cacheProblemOccurred, this, &KLVRRWCMainWindow::showCacheProblem);
    resize(980, 660);
}

KLVRRWCMainWindow::~KLVRRWCMainWindow()
{
    // The views go before the objects they show.
    delete takeCentralWidget();
    m_welcomeController.reset();
    m_dateJumpController.reset();
    m_inspectorController.reset();
    m_exportController.reset();
    m_printController.reset();
}

void KLVRRWCMainWindow::showCacheProblem(const QString &message)
{
    // Told without stopping the window: the history comes back from the agent meanwhile.
    auto *box = new QMessageBox(QMessageBox::Warning, KLVRBundle::main().name(), message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("cacheProblem"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    if (m_store->isReadOnly())
        setWindowTitle(KLVRBundle::main().name() + QStringLiteral(" \u2014 ") + localized(QStringLiteral("readOnly")));
}

void KLVRRWCMainWindow::ensureResourcesLoaded()
{
    static std::once_flag once;
    std::call_once(once, initMainWindowResources);
}

void KLVRRWCMainWindow::createObjects(const QDBusConnection &systemBus, const QDBusConnection &sessionBus)
{
    m_agentController = std::make_unique<KLVRAgentController>(systemBus, sessionBus);
    m_agentDialogs = std::make_unique<KLVRAgentControllerDialogs>(this);
    m_agentController->setPresenter(m_agentDialogs.get());

    m_log = std::make_unique<KLVRRWCLog>();
    m_dateRange = std::make_unique<KLVRRWCDateRangeController>();
    m_log->setDateRange(m_dateRange.get());

    m_store = std::make_unique<KLVRRWCStore>(systemBus, sessionBus);
    m_store->setAgentController(m_agentController.get());
    m_store->setLogController(m_log.get());
    m_store->awakeFromNib();

    m_visibleSlice = std::make_unique<KLVRRWCLogSlice>();
    m_visibleSlice->setDateRange(m_dateRange.get());
    m_visibleSlice->setLog(m_log.get());

    m_dateJumpController = std::make_unique<KLVRRWCDateJumpController>(this);
    m_dateJumpController->setLog(m_log.get());
    m_dateJumpController->setVisibleSlice(m_visibleSlice.get());

    m_inspectorController = std::make_unique<KLVRRWCInspectorController>(KLVRUserDefaults::standard(), this);
    m_inspectorController->setDateRange(m_dateRange.get());
    m_inspectorController->setLog(m_log.get());
}

void KLVRRWCMainWindow::createActions()
{
    m_dateRangeActions = new KLVRRWCDateRangeActions(m_dateRange.get(), this);
    // The log's limits move with every batch it takes in, and with them what can be chosen.
    connect(m_log.get(), &KLVRRWCLog::didChange, m_dateRangeActions, &KLVRRWCDateRangeActions::validate);

    const QPalette palette = this->palette();
    QStyle *style = this->style();
    m_dateRangeActions->dayBackwardAction()->setIcon(QIcon::fromTheme(QStringLiteral("go-previous"), style->standardIcon(QStyle::SP_ArrowBack)));
    m_dateRangeActions->dayForwardAction()->setIcon(QIcon::fromTheme(QStringLiteral("go-next"), style->standardIcon(QStyle::SP_ArrowForward)));
    m_dateRangeActions->zoomInAction()->setIcon(QIcon::fromTheme(QStringLiteral("zoom-in"), drawnZoomIcon(palette, true)));
    m_dateRangeActions->zoomOutAction()->setIcon(QIcon::fromTheme(QStringLiteral("zoom-out"), drawnZoomIcon(palette, false)));
    m_dateJumpController->showAction()->setIcon(QIcon::fromTheme(QStringLiteral("go-jump"), QIcon()));

    m_agentStartStopAction = new QAction(this);
    connect(m_agentStartStopAction, &QAction::triggered, m_agentController.get(), &KLVRAgentController::startStop);

    m_refreshAction = new QAction(localized(QStringLiteral("refresh")), this);
    m_refreshAction->setShortcut(QKeySequence(Qt::Key_F5));
    connect(m_refreshAction, &QAction::triggered, m_store.get(), [this] { m_store->sync(); });

    m_quitAction = new QAction(localized(QStringLiteral("quit")), this);
    // Spelled out: the standard keys of some platform themes have no quit key.
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quitAction->setMenuRole(QAction::QuitRole);
    m_quitAction->setIcon(QIcon::fromTheme(QStringLiteral("application-exit")));
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    m_userGuideAction = new QAction(KLVRFormat::string(localized(QStringLiteral("userGuide")), KLVRBundle::main().name()), this);
    m_userGuideAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_userGuideAction->setIcon(QIcon::fromTheme(QStringLiteral("help-contents")));
    // Enabled by the application once it knows there is a guide to open.
    m_userGuideAction->setEnabled(false);

    m_aboutAction = new QAction(KLVRFormat::string(localized(QStringLiteral("about")), KLVRBundle::main().name()), this);
    m_aboutAction->setMenuRole(QAction::AboutRole);
    connect(m_aboutAction, &QAction::triggered, this, &KLVRRWCMainWindow::showAbout);
}

void KLVRRWCMainWindow::createMenus()
{
    QMenu *file = menuBar()->addMenu(localized(QStringLiteral("menu.file")));
    file->addAction(m_refreshAction);
    file->addSeparator();
    file->addAction(m_exportController->exportAction());
    file->addSeparator();
    file->addAction(m_printController->previewAction());
    file->addAction(m_printController->printAction());
    file->addSeparator();
    file->addAction(m_quitAction);

    QMenu *edit = menuBar()->addMenu(localized(QStringLiteral("menu.edit")));
    edit->addAction(m_logTableController->copyAction());
    edit->addSeparator();
    edit->addAction(m_logTableController->findAction());
    edit->addAction(m_logTableController->cancelFilterAction());
    edit->addSeparator();
    edit->addAction(m_logTableController->selectPairAction());
    edit->addAction(m_logTableController->extendSelectionToPairAction());

    QMenu *view = menuBar()->addMenu(localized(QStringLiteral("menu.view")));
    const QList<QAction *> &tags = m_dateRangeActions->tagActions();
    for (QAction *tag : tags) {
        if (tag == tags.last())
            view->addSeparator();
        view->addAction(tag);
    }
    view->addSeparator();
    view->addAction(m_dateRangeActions->zoomInAction());
    view->addAction(m_dateRangeActions->zoomOutAction());
    view->addSeparator();
    view->addAction(m_inspectorController->toggleAction());
    m_dateRangeActions->validateBeforeShowing(view);

    QMenu *go = menuBar()->addMenu(localized(QStringLiteral("menu.go")));
    go->addAction(m_dateRangeActions->dayBackwardAction());
    go->addAction(m_dateRangeActions->dayForwardAction());
    go->addSeparator();
    go->addAction(m_dateRangeActions->monthBackwardAction());
    go->addAction(m_dateRangeActions->monthForwardAction());
    go->addSeparator();
    go->addAction(m_dateJumpController->showAction());
    m_dateRangeActions->validateBeforeShowing(go);

    QMenu *agent = menuBar()->addMenu(localized(QStringLiteral("menu.agent")));
    agent->addAction(m_agentStartStopAction);

    QMenu *help = menuBar()->addMenu(localized(QStringLiteral("menu.help")));
    help->addAction(m_userGuideAction);
    help->addSeparator();
    help->addAction(m_aboutAction);
}

void KLVRRWCMainWindow::createToolBar()
{
    m_toolBar = addToolBar(localized(QStringLiteral("toolbar")));
    m_toolBar->setObjectName(QStringLiteral("KLVRRWCMainWindow.toolbar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    m_dateRangePopUp = new KLVRRWCDateRangePopUp(m_dateRangeActions, m_toolBar);
    m_dateRangePopUp->setToolTip(localized(QStringLiteral("range.toolTip")));
    m_toolBar->addWidget(m_dateRangePopUp);
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_dateRangeActions->dayBackwardAction());
    m_toolBar->addAction(m_dateRangeActions->dayForwardAction());
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_dateRangeActions->zoomOutAction());
    m_toolBar->addAction(m_dateRangeActions->zoomInAction());

    auto *spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);
    m_toolBar->addAction(m_agentStartStopAction);
    m_toolBar->addSeparator();
    m_toolBar->addWidget(m_filterField);
}

void KLVRRWCMainWindow::createCentralWidget()
{
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);

    m_graphSlot = new QWidget(m_splitter);
    m_graphSlot->setObjectName(QStringLiteral("KLVRRWCMainWindow.graph"));
    auto *graphLayout = new QVBoxLayout(m_graphSlot);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    m_entriesView = new KLVRRWCEntriesView(m_graphSlot);
    m_entriesView->setLog(m_log.get());
    m_entriesView->setDateRange(m_dateRange.get());
    graphLayout->addWidget(m_entriesView);

    m_tableSlot = new QWidget(m_splitter);
    m_tableSlot->setObjectName(QStringLiteral("KLVRRWCMainWindow.table"));
    auto *tableLayout = new QVBoxLayout(m_tableSlot);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    m_logTableView = new KLVRRWCLogTableView(m_tableSlot);
    tableLayout->addWidget(m_logTableView);
    m_filterField = new QLineEdit(this);
    m_filterField->setObjectName(QStringLiteral("KLVRRWCMainWindow.filter"));
    m_filterField->setMaximumWidth(220);
    m_filterField->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), QLineEdit::LeadingPosition);
    m_logTableController = new KLVRRWCLogTableController(this);
    m_logTableController->setLog(m_log.get());
    m_logTableController->setTableView(m_logTableView);
    m_logTableController->setFilterField(m_filterField);
    m_logTableController->awakeFromNib();
    // The inspector follows the table's selection and opens on its double click, Return or Enter.
    connect(m_logTableController, &KLVRRWCLogTableController::selectionDidChange, m_inspectorController.get(),
            [this] { m_inspectorController->setSelectedEntries(m_logTableController->selectedObjects()); });
    connect(m_logTableController, &KLVRRWCLogTableController::showInformationPanel, m_inspectorController.get(),
            &KLVRRWCInspectorController::showInformationPanel);
    // The graph's action selects the entry nearest the date picked.
    connect(m_entriesView, &KLVRRWCEntriesView::activated, m_logTableController,
            [this] { m_logTableController->selectEntryByDate(m_entriesView); });

    m_splitter->addWidget(m_graphSlot);
    m_splitter->addWidget(m_tableSlot);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);
    m_splitter->setSizes({390, 260});
    setCentralWidget(m_splitter);

    m_welcomeController = std::make_unique<KLVRRWCWelcomeController>();
    m_welcomeController->setAgentController(m_agentController.get());
    m_welcomeController->setLog(m_log.get());
    m_welcomeController->setEntriesView(m_entriesView);
    m_welcomeController->awakeFromNib();
}

void KLVRRWCMainWindow::createExportAndPrint()
{
    m_exportController = std::make_unique<KLVRRWCExportController>(this);
    m_exportController->setLog(m_log.get());
    m_exportController->setEntriesView(m_entriesView);

    m_printController = std::make_unique<KLVRRWCPrintController>(this);
    m_printController->setDateRange(m_dateRange.get());
    m_printController->setLog(m_log.get());
    m_printController->setTableController(m_logTableController);
}

void KLVRRWCMainWindow::updateAgentItems()
{
    const KLVRAgentController *agent = m_agentController.get();
    m_agentStartStopAction->setText(agent->localisedStartStopLabel());
    // In state 6 the command explains (and for a silent agent offers removal); an agent started
    // elsewhere needs nothing, so the command is off and its tip says why.
    QIcon icon;
    if (agent->state() == KLVRAgentController::Inconsistent)
        icon = QIcon::fromTheme(QStringLiteral("dialog-warning"), style()->standardIcon(QStyle::SP_MessageBoxWarning));
    else if (agent->isInstalled())
        icon = QIcon::fromTheme(QStringLiteral("media-playback-stop"), style()->standardIcon(QStyle::SP_MediaStop));
    else
        icon = QIcon::fromTheme(QStringLiteral("media-playback-start"), style()->standardIcon(QStyle::SP_MediaPlay));
    m_agentStartStopAction->setIcon(icon);
    m_agentStartStopAction->setEnabled(agent->canStartStop());
    m_agentStartStopAction->setToolTip(agent->localisedStatus());
    m_agentStatus->setText(KLVRFormat::string(localized(QStringLiteral("status.agent")), agent->localisedStatus()));
    m_agentBusy->setVisible(agent->isBusy());
}

void KLVRRWCMainWindow::showAbout()
{
    const KLVRBundle &bundle = KLVRBundle::main();
    QMessageBox::about(this, KLVRFormat::string(localized(QStringLiteral("about")), bundle.name()),
                       KLVRFormat::string(localized(QStringLiteral("about.text")), bundle.name(), bundle.version()));
}

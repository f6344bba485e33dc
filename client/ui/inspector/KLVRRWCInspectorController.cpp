// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorController.h"

#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCInspectorStrings.h"
#include "KLVRRWCInspectorSubViewController.h"
#include "KLVRRWCInspectorViews.h"
#include "KLVRRWCInspectorWindow.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntrySelection.h"
#include "KLVRUserDefaults.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <utility>
#include <cmath>

namespace {
const QString kVisible = QString::fromLatin1(KLVRRWCInspectorController::kVisibleKey);
constexpr int kGapToParent = 8;
} // namespace

KLVRRWCInspectorController::KLVRRWCInspectorController(KLVRUserDefaults *defaults, QWidget *parentWindow, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_parentWindow(parentWindow)
{
    // One refresh per idle pass, however many changes came before it.
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(0);
    connect(&m_coalesce, &QTimer::timeout, this, &KLVRRWCInspectorController::didChange);
    connect(this, &KLVRRWCInspectorController::didChange, this, &KLVRRWCInspectorController::updateContents);

    m_toggleAction = new QAction(KLVRRWCInspectorStrings::localized(QStringLiteral("KLVRRWCInspectorController.show")), this);
    m_toggleAction->setCheckable(true);
    m_toggleAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(m_toggleAction, &QAction::triggered, this, [this](bool checked) {
        if (checked)
            showInformationPanel();
        else
            hideInformationPanel();
    });

    if (m_defaults)
        connect(m_defaults, &KLVRUserDefaults::valueChanged, this, &KLVRRWCInspectorController::defaultsValueChanged);
}

KLVRRWCInspectorController::~KLVRRWCInspectorController()
{
    // The items' views live in the panel: they go first.
    removeAllSubViewControllers();
}

void KLVRRWCInspectorController::setDateRange(KLVRRWCDateRangeController *dateRange)
{
    if (m_dateRange)
        disconnect(m_dateRange, nullptr, this, nullptr);
    m_dateRange = dateRange;
    if (dateRange)
        connect(dateRange, &KLVRRWCDateRangeController::absoluteDurationChanged, this, &KLVRRWCInspectorController::observedValueChanged);
}

void KLVRRWCInspectorController::setLog(KLVRRWCLog *log)
{
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    if (log)
        connect(log, &KLVRRWCLog::visibleEntriesChanged, this, &KLVRRWCInspectorController::observedValueChanged);
}

void KLVRRWCInspectorController::setSelectedEntries(const QList<KLVRRWCLogEntry *> &entries)
{
    m_selectedEntries = entries;
    observedValueChanged();
}

void KLVRRWCInspectorController::observedValueChanged()
{
    if (isVisible())
        m_coalesce.start();
}

bool KLVRRWCInspectorController::isVisible() const
{
    return m_window && m_window->isVisible();
}

QString KLVRRWCInspectorController::frameName()
{
    return QStringLiteral("KLVRRWCInspectorController");
}

KLVRRWCInspectorWindow *KLVRRWCInspectorController::inspectorWindow()
{
    if (!m_window)
        loadInspector();
    return m_window.get();
}

QWidget *KLVRRWCInspectorController::containerView()
{
    return inspectorWindow()->containerView();
}

void KLVRRWCInspectorController::loadInspector()
{
    m_window = std::make_unique<KLVRRWCInspectorWindow>(m_parentWindow);
    m_window->setWindowTitle(KLVRRWCInspectorStrings::localized(QStringLiteral("KLVRRWCInspectorController.title")));
    // Without a remembered frame the panel is placed beside the window once it knows its size.
    m_placeBesideParent = !m_window->setFrameUsingName(frameName(), m_defaults);
    m_window->setFrameAutosaveName(frameName(), m_defaults);
    // Closing the panel is the user's choice to keep it closed; the main window closing is not.
    connect(m_window.get(), &KLVRRWCInspectorWindow::closedByUser, this, [this] {
        setVisibleDefault(false);
        m_toggleAction->setChecked(false);
    });
}

void KLVRRWCInspectorController::placeBesideParent()
{
    if (!m_parentWindow)
        return;
    // Right of the main window where the screen has room, else inside its right edge.
    const QRect parent = m_parentWindow->frameGeometry();
    const QScreen *screen = m_parentWindow->screen() ? m_parentWindow->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : parent;
    QRect frame(QPoint(parent.right() + 1 + kGapToParent, parent.top()), m_window->size());
    if (frame.right() > available.right())
        frame.moveRight(parent.right() - kGapToParent);
    m_window->setGeometry(frame);
}

void KLVRRWCInspectorController::showInformationPanel()
{
    KLVRRWCInspectorWindow *window = inspectorWindow();
    updateContents();
    if (std::exchange(m_placeBesideParent, false))
        placeBesideParent();
    window->show();
    window->raise();
    m_toggleAction->setChecked(true);
    setVisibleDefault(true);
}

void KLVRRWCInspectorController::hideInformationPanel()
{
    m_coalesce.stop();
    if (m_window)
        m_window->hide();
    m_toggleAction->setChecked(false);
    setVisibleDefault(false);
}

void KLVRRWCInspectorController::setVisibleDefault(bool visible)
{
    if (m_defaults)
        m_defaults->setValue(kVisible, visible);
}

void KLVRRWCInspectorController::defaultsValueChanged(const QString &key, const QVariant &value)
{
    // The visible state is bound both ways: restoring the factory settings closes the panel.
    if (key != kVisible || value.toBool() == isVisible())
        return;
    if (value.toBool())
        showInformationPanel();
    else
        hideInformationPanel();
}

void KLVRRWCInspectorController::applicationDidFinishLaunching()
{
    if (m_defaults && m_defaults->value(kVisible).toBool())
        QTimer::singleShot(0, this, &KLVRRWCInspectorController::showInformationPanel);
}

void KLVRRWCInspectorController::addSubViewController(std::unique_ptr<KLVRRWCInspectorSubViewController> item)
{
    if (item)
        m_subViewControllers.push_back(std::move(item));
}

void KLVRRWCInspectorController::removeSubViewController(const KLVRRWCInspectorSubViewController *item)
{
    const auto found = std::find_if(m_subViewControllers.begin(), m_subViewControllers.end(),
                                    [item](const auto &candidate) { return candidate.get() == item; });
    if (found == m_subViewControllers.end())
        return;
    (*found)->removeView();
    m_subViewControllers.erase(found);
}

void KLVRRWCInspectorController::removeAllSubViewControllers()
{
    // Works on the list taken out, so that nothing sees a half-emptied stack.
    std::vector<std::unique_ptr<KLVRRWCInspectorSubViewController>> items;
    items.swap(m_subViewControllers);
    for (const auto &item : items)
        item->removeView();
}

void KLVRRWCInspectorController::updateContents()
{
    m_coalesce.stop();
    removeAllSubViewControllers();
    if (m_selectedEntries.isEmpty()) {
        addSubViewController(KLVRRWCInspectorSubViewController::withMessage(KLVRRWCInspectorStrings::localized(QStringLiteral("No Selection"))));
    } else {
        const KLVRRWCLogEntrySelection selection(m_selectedEntries);
        addSubViewController(KLVRRWCInspectorSubViewController::withLabel(KLVRRWCInspectorStrings::localized(QStringLiteral("Summary"))));
        addSubViewController(KLVRRWCInspectorSubViewController::withAttributeValue(QVariant::fromValue(selection), QStringLiteral("Event")));
        for (const QString &name : selection.attributes()) {
            const QVariant value = selection.attributeForKey(name);
            if (!value.isValid())
                continue;
            addSubViewController(KLVRRWCInspectorSubViewController::withLabel(name));
            addSubViewController(KLVRRWCInspectorSubViewController::withAttributeValue(value, name));
        }
    }
    layoutSubViewControllers();
    Q_EMIT contentsUpdated();
}

void KLVRRWCInspectorController::layoutSubViewControllers()
{
    float height = 0;
    float width = 0;
    for (const auto &item : m_subViewControllers) {
        if (const QWidget *view = item->view()) {
            height += float(view->height());
            width = std::max(width, float(view->width()));
        }
    }
    const int w = int(std::ceil(width));
    const int h = int(std::ceil(height));

    QWidget *container = containerView();
    int y = 0;
    for (const auto &item : m_subViewControllers) {
        QWidget *view = item->view();
        if (!view)
            continue;
        if (view->parentWidget() != container)
            view->setParent(container);
        view->setGeometry(0, y, w, view->height());
        view->show();
        y += view->height();
    }
    container->setGeometry(0, 0, w, h);

    // The panel keeps its top-right corner: it grows down and to the left.
    KLVRRWCInspectorWindow *window = inspectorWindow();
    const QRect old = window->geometry();
    const QRect frame(old.x() + old.width() - w, old.y(), w, h);
    window->setFixedSize(w, h);
    if (frame != window->geometry())
        window->setGeometry(frame);
}

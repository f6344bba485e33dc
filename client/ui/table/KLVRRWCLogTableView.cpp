// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogTableView.h"

#include "KLVRRWCLogTableViewCopy.h"
#include "KLVRStringsTable.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <memory>

KLVRRWCLogTableView::KLVRRWCLogTableView(QWidget *parent)
    : QTableView(parent)
{
    setObjectName(QStringLiteral("KLVRRWCLogTableView"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setTabKeyNavigation(false);
    setSortingEnabled(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSortIndicatorShown(true);
    // Our own drag: only sideways motion starts one.
    setDragEnabled(false);

    m_copyAction = new QAction(KLVRStringsTable::localizedString(QStringLiteral("KLVRRWCLogTableView.copy"),
                                                                 QStringLiteral("KLVRRWCLogTableController")),
                               this);
    m_copyAction->setShortcut(QKeySequence::Copy);
    m_copyAction->setIcon(QIcon::fromTheme(QStringLiteral("edit-copy")));
    connect(m_copyAction, &QAction::triggered, this, &KLVRRWCLogTableView::copy);
    updateCopyAction();
}

KLVRRWCLogTableView::~KLVRRWCLogTableView() = default;

void KLVRRWCLogTableView::setCopyDelegate(KLVRRWCLogTableViewCopy *delegate)
{
    m_copyDelegate = delegate;
    updateCopyAction();
}

bool KLVRRWCLogTableView::validateCopy() const
{
    if (!m_copyDelegate)
        return true;
    return selectionModel() && selectionModel()->hasSelection();
}

void KLVRRWCLogTableView::updateCopyAction()
{
    m_copyAction->setEnabled(validateCopy());
}

void KLVRRWCLogTableView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QTableView::selectionChanged(selected, deselected);
    updateCopyAction();
}

QList<int> KLVRRWCLogTableView::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void KLVRRWCLogTableView::copy()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty() || !m_copyDelegate)
        return;
    auto data = std::make_unique<QMimeData>();
    if (m_copyDelegate->writeRows(this, rows, data.get()))
        QGuiApplication::clipboard()->setMimeData(data.release());
}

void KLVRRWCLogTableView::moveToBeginningOfDocument()
{
    if (model() && model()->rowCount() > 0)
        scrollTo(model()->index(0, 0), QAbstractItemView::PositionAtTop);
}

void KLVRRWCLogTableView::moveToEndOfDocument()
{
    if (model() && model()->rowCount() > 0)
        scrollTo(model()->index(model()->rowCount() - 1, 0), QAbstractItemView::PositionAtBottom);
}

void KLVRRWCLogTableView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
        Q_EMIT doubleAction(this);
        event->accept();
        return;
    case Qt::Key_Home:
        moveToBeginningOfDocument();
        event->accept();
        return;
    case Qt::Key_End:
        moveToEndOfDocument();
        event->accept();
        return;
    case Qt::Key_Escape:
        if (m_copyDelegate)
            m_copyDelegate->tableViewCancel(this);
        event->accept();
        return;
    default:
        break;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void KLVRRWCLogTableView::mousePressEvent(QMouseEvent *event)
{
    m_pressPosition = event->position().toPoint();
    const QModelIndex index = indexAt(m_pressPosition);
    m_pressedOnSelection = event->button() == Qt::LeftButton && index.isValid() && selectionModel()
                           && selectionModel()->isRowSelected(index.row(), QModelIndex()) && event->modifiers() == Qt::NoModifier;
    m_dragDecided = false;
    // A press on a selected row may begin a drag of the whole selection: keep it until release.
    if (m_pressedOnSelection)
        return;
    QTableView::mousePressEvent(event);
}

void KLVRRWCLogTableView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressedOnSelection && !m_dragDecided && (event->buttons() & Qt::LeftButton)) {
        const QPoint delta = event->position().toPoint() - m_pressPosition;
        if (delta.manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragDecided = true;
        if (std::abs(delta.x()) > std::abs(delta.y())) {
            m_pressedOnSelection = false;
            startRowDrag();
            return;
        }
        // Up or down: select as a press there would have.
        m_pressedOnSelection = false;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(m_pressPosition), event->globalPosition(), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QTableView::mousePressEvent(&press);
    }
    QTableView::mouseMoveEvent(event);
}

void KLVRRWCLogTableView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_pressedOnSelection) {
        // A click on a selected row without a drag: it becomes the selection.
        m_pressedOnSelection = false;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(m_pressPosition), event->globalPosition(), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QTableView::mousePressEvent(&press);
    }
    QTableView::mouseReleaseEvent(event);
}

void KLVRRWCLogTableView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        Q_EMIT doubleAction(this);
}

void KLVRRWCLogTableView::startRowDrag()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty() || !m_copyDelegate)
        return;
    auto data = std::make_unique<QMimeData>();
    if (!m_copyDelegate->writeRows(this, rows, data.get()))
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data.release());
    // Rows leave the table as a copy; the table itself takes no drops.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

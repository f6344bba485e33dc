// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QPoint>
#include <QTableView>

class KLVRRWCLogTableViewCopy;
class QAction;

// The log table's view: whole rows selected; Enter and Return act as a double click (the
// double action); Home and End scroll to the first and the last row; Escape asks the delegate to
// cancel; Copy and a sideways drag give the selected rows out through the delegate, dragged out
// as a copy. Moving the mouse up or down with the button held extends the selection, never drags.
class KLVRRWCLogTableView : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCLogTableView)

public:
    explicit KLVRRWCLogTableView(QWidget *parent = nullptr);
    ~KLVRRWCLogTableView() override;

    // The rows' writer and Escape's handler (not owned); nothing disables Copy's check.
    KLVRRWCLogTableViewCopy *copyDelegate() const { return m_copyDelegate; }
    void setCopyDelegate(KLVRRWCLogTableViewCopy *delegate);

    // The Copy command: enabled while rows are selected (when a delegate writes rows).
    QAction *copyAction() const { return m_copyAction; }
    bool validateCopy() const;

    // The selected rows in ascending order.
    QList<int> selectedRows() const;
    // Copies the selected rows to the clipboard through the delegate.
    void copy();
    void moveToBeginningOfDocument();
    void moveToEndOfDocument();

Q_SIGNALS:
    // A double click, Enter or Return.
    void doubleAction(KLVRRWCLogTableView *sender);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

private:
    void startRowDrag();
    void updateCopyAction();

    KLVRRWCLogTableViewCopy *m_copyDelegate = nullptr;
    QAction *m_copyAction = nullptr;
    QPoint m_pressPosition;
    bool m_pressedOnSelection = false;
    bool m_dragDecided = false;
};

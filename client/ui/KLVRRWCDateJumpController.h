// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLog.h"
#include "KLVRRWCLogSlice.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

class QAction;
class QDateEdit;
class QPushButton;
class QWidget;

// The "go to date" sheet: a date picker limited to the days the log holds, which moves the
// visible range to the one chosen day.
class KLVRRWCDateJumpController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCDateJumpController)

public:
    // window: the main window the sheet belongs to.
    explicit KLVRRWCDateJumpController(QWidget *window, QObject *parent = nullptr);
    ~KLVRRWCDateJumpController() override;

    // Links (not owned).
    void setVisibleSlice(KLVRRWCLogSlice *visibleSlice) { m_visibleSlice = visibleSlice; }
    void setLog(KLVRRWCLog *log);

    QDialog *window() const { return m_window; }
    QDateEdit *date() const { return m_date; }
    QPushButton *okButton() const { return m_ok; }
    // The menu item that opens the sheet; enabled while the log holds entries.
    QAction *showAction() const { return m_showAction; }

    // Whether the sheet has anything to offer: the log holds entries.
    bool validateShow() const;

public Q_SLOTS:
    // Limits the picker to the log's first and newest entry, sets it to today and opens the sheet.
    void show();
    // Shows the picked day, from its midnight to 23:59:59, and closes the sheet.
    void ok();
    void cancel();
    void hide();

private:
    void validate();

    QPointer<KLVRRWCLogSlice> m_visibleSlice;
    QPointer<KLVRRWCLog> m_log;
    QPointer<QDialog> m_window;
    QDateEdit *m_date = nullptr;
    QPushButton *m_ok = nullptr;
    QAction *m_showAction = nullptr;
};

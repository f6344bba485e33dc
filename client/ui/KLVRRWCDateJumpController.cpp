// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCDateJumpController.h"

#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRStringsTable.h"

#include <QAction>
#include <QDate>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kTable = QStringLiteral("KLVRRWCDateJumpController");

QString localized(const QString &role)
{
    return KLVRStringsTable::localizedString(kTable + QLatin1Char('.') + role, kTable);
}

QDate localDay(KLVRAbsoluteTime time)
{
    return time.toDateTime().date();
}

} // namespace

KLVRRWCDateJumpController::KLVRRWCDateJumpController(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(new QDialog(window))
    , m_date(new QDateEdit(m_window))
    , m_showAction(new QAction(this))
{
    KLVRRWCMainWindow::ensureResourcesLoaded();
    m_window->setObjectName(kTable);
    m_window->setWindowTitle(localized(QStringLiteral("title")));
    // A sheet: it blocks its own window only.
    m_window->setWindowModality(Qt::WindowModal);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));

    auto *layout = new QVBoxLayout(m_window);
    auto *message = new QLabel(localized(QStringLiteral("message")), m_window);
    message->setWordWrap(true);
    layout->addWidget(message);
    auto *form = new QFormLayout;
    form->addRow(localized(QStringLiteral("date")), m_date);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(m_window);
    m_ok = buttons->addButton(localized(QStringLiteral("ok")), QDialogButtonBox::AcceptRole);
    m_ok->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &KLVRRWCDateJumpController::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &KLVRRWCDateJumpController::cancel);

    m_showAction->setText(localized(QStringLiteral("show")));
    m_showAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    connect(m_showAction, &QAction::triggered, this, &KLVRRWCDateJumpController::show);
    validate();
}

KLVRRWCDateJumpController::~KLVRRWCDateJumpController()
{
    // The sheet belongs to the main window; it goes with this controller.
    delete m_window;
}

void KLVRRWCDateJumpController::setLog(KLVRRWCLog *log)
{
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    if (m_log)
        connect(m_log, &KLVRRWCLog::countChanged, this, &KLVRRWCDateJumpController::validate);
    validate();
}

bool KLVRRWCDateJumpController::validateShow() const
{
    return m_log && m_log->count() > 0;
}

void KLVRRWCDateJumpController::validate()
{
    m_showAction->setEnabled(validateShow());
}

void KLVRRWCDateJumpController::show()
{
    if (validateShow()) {
        const KLVRRWCLogEntry *first = m_log->objectAtIndex(0);
        const KLVRRWCLogEntry *newest = m_log->pastEntry() ? m_log->pastEntry() : first;
        m_date->setDateRange(localDay(first->date()), localDay(newest->date()));
    } else {
        m_date->clearMinimumDate();
        m_date->clearMaximumDate();
    }
    // Today, or the nearest day the log holds.
    m_date->setDate(QDate::currentDate());
    m_window->open();
}

void KLVRRWCDateJumpController::ok()
{
    // Noon stands for the day: no clock change moves it into another day.
    const KLVRAbsoluteTime day = KLVRAbsoluteTime::fromDateTime(QDateTime(m_date->date(), QTime(12, 0)));
    if (m_visibleSlice) {
        m_visibleSlice->setStart(day);
        m_visibleSlice->setEnd(day);
    }
    hide();
}

void KLVRRWCDateJumpController::cancel()
{
    hide();
}

void KLVRRWCDateJumpController::hide()
{
    m_window->done(QDialog::Rejected);
}

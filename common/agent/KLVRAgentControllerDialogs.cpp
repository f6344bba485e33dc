// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentControllerDialogs.h"

#include "KLVRAgentControllerAlertDialog.h"

#include <QMessageBox>

KLVRAgentControllerDialogs::KLVRAgentControllerDialogs(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
}

void KLVRAgentControllerDialogs::showAlert(const KLVRAgentControllerAlert &alert,
                                           std::function<void(int returnCode, int locationTag)> done)
{
    auto *dialog = new KLVRAgentControllerAlertDialog(alert, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    connect(dialog, &QDialog::finished, this, [dialog, done](int) { done(dialog->returnCode(), dialog->locationTag()); });
    dialog->open();
}

void KLVRAgentControllerDialogs::presentError(const KLVRAgentControllerError &error)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QString(), error.localizedDescription(), QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("KLVRAgentControllerErrorAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    if (error.underlyingDescription() != error.localizedDescription())
        box->setInformativeText(error.underlyingDescription());
    box->open();
}

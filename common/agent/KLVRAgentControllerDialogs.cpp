// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentControllerDialogs.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

KLVRAgentControllerDialogs::KLVRAgentControllerDialogs(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
}

void KLVRAgentControllerDialogs::showAlert(const KLVRAgentControllerAlert &alert,
                                           std::function<void(int returnCode, int locationTag)> done)
{
    auto *box = new QMessageBox(QMessageBox::Information, QString(), alert.messageText, QMessageBox::NoButton, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    box->setInformativeText(alert.informativeText);

    QComboBox *locations = nullptr;
    if (!alert.locations.isEmpty()) {
        // QMessageBox has no accessory view; its grid layout takes one more row above the buttons.
        locations = new QComboBox(box);
        for (const auto &[tag, title] : alert.locations)
            locations->addItem(title, tag);
        if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
            grid->addWidget(locations, grid->rowCount() - 1, 1, 1, grid->columnCount() - 1);
    }

    QList<QAbstractButton *> buttons;
    for (int index = 0; index < alert.buttons.size(); ++index) {
        const QMessageBox::ButtonRole role = index == 0 ? QMessageBox::AcceptRole
                                             : index == alert.buttons.size() - 1 ? QMessageBox::RejectRole
                                                                                 : QMessageBox::ActionRole;
        buttons.append(box->addButton(alert.buttons.at(index), role));
    }
    if (!buttons.isEmpty())
        box->setDefaultButton(qobject_cast<QPushButton *>(buttons.constFirst()));

    connect(box, &QMessageBox::finished, this, [box, buttons, locations, done](int) {
        const int index = buttons.indexOf(box->clickedButton());
        const int returnCode = index >= 0 ? KLVRAgentControllerAlert::kFirstButtonReturn + index
                                          : KLVRAgentControllerAlert::kFirstButtonReturn + int(buttons.size()) - 1;
        done(returnCode, locations ? locations->currentData().toInt() : 0);
    });
    box->open();
}

void KLVRAgentControllerDialogs::presentError(const KLVRAgentControllerError &error)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QString(), error.localizedDescription(), QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    if (error.underlyingDescription() != error.localizedDescription())
        box->setInformativeText(error.underlyingDescription());
    box->open();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerPresenter.h"

#include <QObject>
#include <QPointer>
#include <QWidget>


// The agent controller's alerts and errors as Qt dialogs, modal to the main window.
class KLVRAgentControllerDialogs : public QObject, public KLVRAgentControllerPresenter
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRAgentControllerDialogs)

public:
    explicit KLVRAgentControllerDialogs(QWidget *window = nullptr, QObject *parent = nullptr);

    void setWindow(QWidget *window) { m_window = window; }

    void showAlert(const KLVRAgentControllerAlert &alert,
                   std::function<void(int returnCode, int locationTag)> done) override;
    void presentError(const KLVRAgentControllerError &error) override;

private:
    QPointer<QWidget> m_window;
};

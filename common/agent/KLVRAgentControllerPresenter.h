// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerError.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

// What an alert of the agent controller shows. Buttons answer 1000, 1001, ... in their order.
struct KLVRAgentControllerAlert
{
    static constexpr int kFirstButtonReturn = 1000;

    QString messageText;
    QString informativeText;
    QStringList buttons;
    // The install alert's location choice: (tag, title) pairs and the label before the pop-up;
    // empty for other alerts.
    QList<QPair<int, QString>> locations;
    QString locationLabel;
    // Warning style (a problem to look at) rather than informational.
    bool warning = false;
    // Help anchor when the application has a help book; empty otherwise.
    QString helpAnchor;
};

// Shows the agent controller's alerts and errors to the user; the widget implementation lives
// apart so that the controller itself needs no GUI.
class KLVRAgentControllerPresenter
{
public:
    virtual ~KLVRAgentControllerPresenter() = default;

    // Shows the alert without blocking and calls done exactly once with the button's return code
    // and the chosen location tag (0 when the alert has no location choice).
    virtual void showAlert(const KLVRAgentControllerAlert &alert,
                           std::function<void(int returnCode, int locationTag)> done) = 0;
    virtual void presentError(const KLVRAgentControllerError &error) = 0;
};

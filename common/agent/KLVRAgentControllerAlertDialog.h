// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentControllerPresenter.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QPushButton;

// An alert of the agent controller as a dialog laid out top to bottom: icon and texts, the
// location pop-up (install alert only), then the buttons. The first button is the default one
// and sits rightmost, the others follow it to the left in their order; Escape and closing the
// window answer with the last button, as a cancel button does.
class KLVRAgentControllerAlertDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRAgentControllerAlertDialog)

public:
    explicit KLVRAgentControllerAlertDialog(const KLVRAgentControllerAlert &alert, QWidget *parent = nullptr);

    // 1000 for the first button, 1001 for the second, ...; the last button's code when the
    // dialog was closed another way.
    int returnCode() const { return m_returnCode; }
    // The chosen location's tag, 0 without a location pop-up.
    int locationTag() const;

    QPushButton *button(int index) const { return m_buttons.value(index); }
    int buttonCount() const { return int(m_buttons.size()); }
    QComboBox *locationButton() const { return m_locations; }

protected:
    void reject() override;

private:
    QList<QPushButton *> m_buttons;
    QComboBox *m_locations = nullptr;
    int m_returnCode = 0;
};

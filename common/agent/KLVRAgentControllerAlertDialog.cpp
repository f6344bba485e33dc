// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentControllerAlertDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

KLVRAgentControllerAlertDialog::KLVRAgentControllerAlertDialog(const KLVRAgentControllerAlert &alert, QWidget *parent)
    : QDialog(parent)
    , m_returnCode(KLVRAgentControllerAlert::kFirstButtonReturn + int(alert.buttons.size()) - 1)
{
    setObjectName(QStringLiteral("KLVRAgentControllerAlertDialog"));
    setWindowTitle(alert.messageText);

    auto *texts = new QVBoxLayout;
    auto *message = new QLabel(alert.messageText, this);
    message->setObjectName(QStringLiteral("message"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setWordWrap(true);
    texts->addWidget(message);
    if (!alert.informativeText.isEmpty()) {
        auto *informative = new QLabel(alert.informativeText, this);
        informative->setObjectName(QStringLiteral("informative"));
        informative->setWordWrap(true);
        texts->addWidget(informative);
    }
    if (!alert.locations.isEmpty()) {
        auto *row = new QHBoxLayout;
        m_locations = new QComboBox(this);
        m_locations->setObjectName(QStringLiteral("location"));
        for (const auto &[tag, title] : alert.locations)
            m_locations->addItem(title, tag);
        if (!alert.locationLabel.isEmpty()) {
            auto *label = new QLabel(alert.locationLabel, this);
            label->setBuddy(m_locations);
            row->addWidget(label);
        }
        row->addWidget(m_locations);
        row->addStretch(1);
        texts->addSpacing(6);
        texts->addLayout(row);
    }

    auto *top = new QHBoxLayout;
    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(alert.warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    top->addSpacing(8);
    top->addLayout(texts, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (int index = 0; index < alert.buttons.size(); ++index) {
        auto *button = new QPushButton(alert.buttons.at(index), this);
        button->setObjectName(QStringLiteral("button%1").arg(index));
        button->setAutoDefault(false);
        m_buttons.append(button);
        connect(button, &QPushButton::clicked, this, [this, index] {
            m_returnCode = KLVRAgentControllerAlert::kFirstButtonReturn + index;
            done(m_returnCode);
        });
    }
    // Rightmost first, as alerts place their default button.
    for (auto it = m_buttons.crbegin(); it != m_buttons.crend(); ++it)
        buttons->addWidget(*it);
    if (!m_buttons.isEmpty()) {
        m_buttons.constFirst()->setDefault(true);
        m_buttons.constFirst()->setFocus();
    }

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // Long informative texts wrap instead of making one very wide window.
    for (QLabel *label : findChildren<QLabel *>())
        if (label->wordWrap())
            label->setFixedWidth(qMax(420, label->fontMetrics().averageCharWidth() * 60));
}

int KLVRAgentControllerAlertDialog::locationTag() const
{
    return m_locations ? m_locations->currentData().toInt() : 0;
}

void KLVRAgentControllerAlertDialog::reject()
{
    m_returnCode = KLVRAgentControllerAlert::kFirstButtonReturn + int(m_buttons.size()) - 1;
    done(m_returnCode);
}

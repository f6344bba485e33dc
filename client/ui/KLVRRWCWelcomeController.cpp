// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCWelcomeController.h"

#include "KLVRAgentController.h"
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCMainWindow.h"

#include <QFile>

KLVRRWCWelcomeController::KLVRRWCWelcomeController(QObject *parent)
    : QObject(parent)
{
    KLVRRWCMainWindow::ensureResourcesLoaded();
    m_firstPass.setSingleShot(true);
    m_firstPass.setInterval(kFirstPassDelay);
    connect(&m_firstPass, &QTimer::timeout, this, &KLVRRWCWelcomeController::applyLogLabels);
}

KLVRRWCWelcomeController::~KLVRRWCWelcomeController() = default;

void KLVRRWCWelcomeController::awakeFromNib()
{
    if (m_agentController)
        connect(m_agentController, &KLVRAgentController::installedChanged, this, &KLVRRWCWelcomeController::applyLogLabels);
    if (m_log)
        connect(m_log, &KLVRRWCLog::visibleEntriesChanged, this, &KLVRRWCWelcomeController::applyLogLabels);
    m_firstPass.start();
}

QString KLVRRWCWelcomeController::label(const QString &name)
{
    const QString path = KLVRBundle::main().pathForResource(name, QStringLiteral("html"));
    QFile file(path);
    KLVR_ASSERT(!path.isEmpty() && file.open(QIODevice::ReadOnly), QStringLiteral("Label '%1' missing").arg(name));
    return QString::fromUtf8(file.readAll());
}

void KLVRRWCWelcomeController::applyLogLabels()
{
    if (!m_entriesView)
        return;
    m_entriesView->setLabelTopLeft(QString());
    m_entriesView->setLabelBanner(QString());
    const bool installed = m_agentController && m_agentController->isInstalled();
    const bool hasEntries = m_log && m_log->count() > 0;
    if (!installed && !hasEntries) {
        m_entriesView->setLabelTopLeft(label(kLabelClickStart));
        m_entriesView->setLabelBanner(label(kLabelWelcome));
    }
    // The view's label setters leave the picture on screen as it was; without a redraw the
    // welcome would stay after the agent was installed.
    m_entriesView->update();
}

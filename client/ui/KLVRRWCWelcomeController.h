// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentController.h"
#include "KLVRRWCDateRangeController.h" // completes the view's date range pointer
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCLog.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

// The welcome labels of a first launch: while the agent is not installed and the log holds
// nothing, the graph shows a welcome banner and, in its top-left corner, how to start the agent.
class KLVRRWCWelcomeController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCWelcomeController)

public:
    // The first pass waits this long, so that the agent's state and the cache replay settle.
    static constexpr int kFirstPassDelay = 1000; // ms
    static inline const QString kLabelClickStart = QStringLiteral("KLVRRWCWelcomeControllerLabelClickStart");
    static inline const QString kLabelWelcome = QStringLiteral("KLVRRWCWelcomeControllerLabelWelcome");

    explicit KLVRRWCWelcomeController(QObject *parent = nullptr);
    ~KLVRRWCWelcomeController() override;

    // Outlets (not owned), set before awakeFromNib().
    void setAgentController(KLVRAgentController *agentController) { m_agentController = agentController; }
    void setEntriesView(KLVRRWCEntriesView *entriesView) { m_entriesView = entriesView; }
    void setLog(KLVRRWCLog *log) { m_log = log; }
    KLVRAgentController *agentController() const { return m_agentController; }
    KLVRRWCEntriesView *entriesView() const { return m_entriesView; }
    KLVRRWCLog *log() const { return m_log; }

    // Follows the agent's installation and the log's visible entries, and schedules the first
    // pass after kFirstPassDelay.
    void awakeFromNib();

    // The rich text of a label resource of the main bundle; a missing one is a packaging fault.
    static QString label(const QString &name);

public Q_SLOTS:
    // Clears both labels, and sets them again only while the agent is not installed and the log
    // is empty.
    void applyLogLabels();

private:
    QPointer<KLVRAgentController> m_agentController;
    QPointer<KLVRRWCEntriesView> m_entriesView;
    QPointer<KLVRRWCLog> m_log;
    QTimer m_firstPass;
};

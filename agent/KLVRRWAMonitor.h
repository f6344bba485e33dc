// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>

class KLVRRWAStore;

// One logging category for every monitor of the agent.
Q_DECLARE_LOGGING_CATEGORY(lcRWAMonitor)

// A source of events in the agent. A monitor knows its signature, is started once and stopped
// once by the agent controller (start order: agent, power events, power sources, accounting;
// stop order reversed), and records what it observes by queueing events in the store.
//
// The store is not owned (the controller owns it and outlives every monitor) and must be given.
// Monitors live on the main thread; storeMessage() may be called from any thread because it only
// queues the event in the store, whose batch is locked.
class KLVRRWAMonitor : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWAMonitor)

public:
    // Throws "Invalid parameter not satisfying: aStore" without a store.
    explicit KLVRRWAMonitor(KLVRRWAStore *aStore, QObject *parent = nullptr);
    ~KLVRRWAMonitor() override;

    KLVRRWAStore *store() const { return m_store; }
    // The monitor's fixed signature, written with each of its events.
    virtual QString signature() const = 0;

    // Do nothing here; each monitor subscribes and unsubscribes in its own.
    virtual void start();
    virtual void stop();

    // Queues an event dated now (read from the clock at the call); no context is stored as "NULL".
    // Throws "Invalid parameter not satisfying: aMessage" without a text.
    void storeMessage(const QString &aMessage, const std::optional<QVariantMap> &context = std::nullopt);
    // Queues an event at the given time.
    void storeMessage(const QString &aMessage, const std::optional<QVariantMap> &context, KLVRAbsoluteTime time);

private:
    KLVRRWAStore *m_store = nullptr;
};

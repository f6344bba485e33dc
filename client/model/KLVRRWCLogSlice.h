// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <memory>

class KLVRRWCLogEntry;
class KLVRRWCLogEntrySelection;

// What the main window shows, as one object scripts can read: the visible span, its entries
// and its statistics. Holds no state of its own: every property reads through to the date
// range and the log, with a fresh selection for the figures.
class KLVRRWCLogSlice : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCLogSlice)
    Q_PROPERTY(KLVRAbsoluteTime start READ start WRITE setStart NOTIFY changed)
    Q_PROPERTY(KLVRAbsoluteTime end READ end WRITE setEnd NOTIFY changed)
    Q_PROPERTY(double duration READ duration NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QVariantMap summary READ summary NOTIFY changed)
    Q_PROPERTY(double awake READ awake NOTIFY changed)
    Q_PROPERTY(double asleep READ asleep NOTIFY changed)
    Q_PROPERTY(double off READ off NOTIFY changed)

public:
    explicit KLVRRWCLogSlice(QObject *parent = nullptr);
    ~KLVRRWCLogSlice() override;

    // Links (not owned).
    void setDateRange(KLVRRWCDateRangeController *dateRange);
    KLVRRWCDateRangeController *dateRange() const { return m_dateRange; }
    void setLog(KLVRRWCLog *log);
    KLVRRWCLog *log() const { return m_log; }

    // The span's start; setting it shows the span from that day's midnight to the current end.
    KLVRAbsoluteTime start() const;
    void setStart(KLVRAbsoluteTime date);
    // The span's end; setting it shows the span from the current start to that day's 23:59:59.
    KLVRAbsoluteTime end() const;
    void setEnd(KLVRAbsoluteTime date);
    QList<KLVRRWCLogEntry *> events() const;
    double duration() const;
    QString title() const;
    // Seconds per usage state over the span; empty when no entry is visible.
    QVariantMap summary() const;
    double awake() const { return summaryValue(QStringLiteral("Awake")); }
    double asleep() const { return summaryValue(QStringLiteral("Asleep")); }
    double off() const { return summaryValue(QStringLiteral("Off")); }

    // The statistics of entries over the current span; nothing for no entries.
    std::unique_ptr<KLVRRWCLogEntrySelection> selectionFromEvents(const QList<KLVRRWCLogEntry *> &events) const;

Q_SIGNALS:
    // The span or the visible entries changed.
    void changed();

private:
    double summaryValue(const QString &state) const;

    QPointer<KLVRRWCDateRangeController> m_dateRange;
    QPointer<KLVRRWCLog> m_log;
    QMetaObject::Connection m_dateRangeConnection;
    QMetaObject::Connection m_logConnection;
};

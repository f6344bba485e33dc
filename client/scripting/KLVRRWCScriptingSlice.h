// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCScriptingTypes.h"
#include "KLVRRWCSliceFigures.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <optional>

class KLVRRWCLogSlice;
class KLVRRWCScriptingGraph;

// The visible slice for scripts (com.klvr.restwatch.LogSlice): the window's range, readable and
// settable by day, its entries by index range, its figures, and the export of its graph. The
// figures of one state of the range are computed once and kept until the range or the log
// changes; each change is announced with PropertiesChanged (a burst of changes gives one).
class KLVRRWCScriptingSlice : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCScriptingSlice)
    Q_PROPERTY(QString start READ start WRITE setStart)
    Q_PROPERTY(QString end READ end WRITE setEnd)
    Q_PROPERTY(double duration READ duration)
    Q_PROPERTY(QString title READ title)
    Q_PROPERTY(uint eventCount READ eventCount)
    Q_PROPERTY(KLVRRWCSecondsByName summary READ summary)
    Q_PROPERTY(double awake READ awake)
    Q_PROPERTY(double asleep READ asleep)
    Q_PROPERTY(double off READ off)
    Q_PROPERTY(KLVRRWCSecondsByName powerSource READ powerSource)
    Q_PROPERTY(KLVRRWCBatteryFigures batteries READ batteries)

public:
    static inline const QString kInterface = QStringLiteral("com.klvr.restwatch.LogSlice");

    // connection and path: where PropertiesChanged is sent. graph: may be null (no export).
    KLVRRWCScriptingSlice(KLVRRWCLogSlice *slice, const KLVRRWCScriptingGraph *graph, const QDBusConnection &connection,
                          const QString &path, QObject *parent = nullptr);

    QString start() const;
    void setStart(const QString &date);
    QString end() const;
    void setEnd(const QString &date);
    double duration() const;
    QString title() const;
    uint eventCount() const;
    KLVRRWCSecondsByName summary() const { return figures().usage; }
    double awake() const { return figures().usageSeconds(QStringLiteral("Awake")); }
    double asleep() const { return figures().usageSeconds(QStringLiteral("Asleep")); }
    double off() const { return figures().usageSeconds(QStringLiteral("Off")); }
    KLVRRWCSecondsByName powerSource() const { return figures().powerSource; }
    KLVRRWCBatteryFigures batteries() const { return figures().batteries; }

public Q_SLOTS:
    void setStartingDay(const QString &date);
    void setEndingDay(const QString &date);
    QVariantMap events(uint location, uint length);
    void Export(const QVariantMap &arguments);

private:
    const KLVRRWCSliceFigures &figures() const;
    void sliceDidChange();
    void announceChanges();
    // The date of a text, or an error reply to the caller and an invalid time.
    KLVRAbsoluteTime dateArgument(const QString &text);

    QPointer<KLVRRWCLogSlice> m_slice;
    const KLVRRWCScriptingGraph *m_graph = nullptr;
    QDBusConnection m_connection;
    QString m_path;
    QTimer m_announceTimer;
    mutable std::optional<KLVRRWCSliceFigures> m_figures;
};

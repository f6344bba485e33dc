// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class KLVRRWCLog;
class KLVRRWCLogSlice;
class KLVRRWCScriptingDatabase;
class KLVRRWCScriptingGraph;
class KLVRRWCScriptingSlice;

// The running window's scripting face on the session bus: owns the name com.klvr.restwatch
// and serves the log as /com/klvr/restwatch/database and the visible slice as
// /com/klvr/restwatch/visibleSlice. The name is asked for without queueing and without letting
// anyone replace it, so a second window never takes it from the first; that second window then
// simply runs without scripting. Everything ends with the object.
class KLVRRWCScriptingService : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCScriptingService)

public:
    static inline const QString kServiceName = QStringLiteral("com.klvr.restwatch");
    static inline const QString kDatabasePath = QStringLiteral("/com/klvr/restwatch/database");
    static inline const QString kSlicePath = QStringLiteral("/com/klvr/restwatch/visibleSlice");

    // None of the objects is owned; graph may be null (the export then fails).
    KLVRRWCScriptingService(const QDBusConnection &connection, KLVRRWCLog *log, KLVRRWCLogSlice *slice,
                            const KLVRRWCScriptingGraph *graph, QObject *parent = nullptr);
    ~KLVRRWCScriptingService() override;

    // Registers the objects and takes the name; false (with a log line) when the bus is not
    // there or another process holds the name.
    bool start();
    bool isServing() const { return m_serving; }

    KLVRRWCScriptingDatabase *database() const { return m_database.get(); }
    KLVRRWCScriptingSlice *slice() const { return m_slice.get(); }

private:
    void stop();

    QDBusConnection m_connection;
    std::unique_ptr<KLVRRWCScriptingDatabase> m_database;
    std::unique_ptr<KLVRRWCScriptingSlice> m_slice;
    bool m_serving = false;
};

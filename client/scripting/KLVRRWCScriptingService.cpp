// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingService.h"

#include "KLVRRWCDatabaseAdaptor.h"
#include "KLVRRWCLogSliceAdaptor.h"
#include "KLVRRWCScriptingDatabase.h"
#include "KLVRRWCScriptingSlice.h"

#include <QDBusConnectionInterface>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcScriptingService, "restwatch.scripting.service")

KLVRRWCScriptingService::KLVRRWCScriptingService(const QDBusConnection &connection, KLVRRWCLog *log,
                                                 KLVRRWCLogSlice *slice, const KLVRRWCScriptingGraph *graph,
                                                 QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_database(std::make_unique<KLVRRWCScriptingDatabase>(log))
    , m_slice(std::make_unique<KLVRRWCScriptingSlice>(slice, graph, connection, kSlicePath))
{
    // The adaptors belong to their objects and go with them.
    new KLVRRWCDatabaseAdaptor(m_database.get());
    new KLVRRWCLogSliceAdaptor(m_slice.get());
}

KLVRRWCScriptingService::~KLVRRWCScriptingService()
{
    stop();
}

bool KLVRRWCScriptingService::start()
{
    if (m_serving)
        return true;
    QDBusConnectionInterface *bus = m_connection.isConnected() ? m_connection.interface() : nullptr;
    if (!bus) {
        qCInfo(lcScriptingService) << "KLVRRWCScriptingService no session bus; scripting is off";
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        qCInfo(lcScriptingService) << "KLVRRWCScriptingService" << kServiceName
                                   << "is held by another window; this one runs without scripting";
        return false;
    }
    const auto options = QDBusConnection::ExportAdaptors;
    if (!m_connection.registerObject(kDatabasePath, m_database.get(), options)
        || !m_connection.registerObject(kSlicePath, m_slice.get(), options)) {
        qCWarning(lcScriptingService) << "KLVRRWCScriptingService cannot register its objects";
        m_connection.unregisterObject(kDatabasePath);
        bus->unregisterService(kServiceName);
        return false;
    }
    m_serving = true;
    return true;
}

void KLVRRWCScriptingService::stop()
{
    if (!m_serving)
        return;
    m_serving = false;
    m_connection.unregisterObject(kDatabasePath);
    m_connection.unregisterObject(kSlicePath);
    if (m_connection.isConnected())
        m_connection.interface()->unregisterService(kServiceName);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRPropertyList.h"
#include "KLVRRWAStore.h"
#include "KLVRTestBus.h"

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QtTest>

// Shared helpers of the monitor tests: reading the store back, fake system trees, mock calls.
namespace KLVRRWAMonitorTestSupport {

inline const QString kLogind = QStringLiteral("org.freedesktop.login1");
inline const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
inline const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

inline QList<KLVRRWAEvent> storedEvents(KLVRRWAStore &store)
{
    return store.sortedEntriesFromDate(KLVRAbsoluteTime::invalid(), KLVRAbsoluteTime::invalid()).value_or(KLVRRWAEventTable()).toList();
}

inline QList<KLVRRWAEvent> storedEvents(KLVRRWAStore &store, const QString &monitor)
{
    QList<KLVRRWAEvent> result;
    for (const KLVRRWAEvent &event : storedEvents(store))
        if (event.value(QStringLiteral("monitor")) == monitor)
            result.append(event);
    return result;
}

inline QStringList descriptions(const QList<KLVRRWAEvent> &events)
{
    QStringList result;
    for (const KLVRRWAEvent &event : events)
        result.append(event.value(QStringLiteral("description")));
    return result;
}

inline QVariantMap properties(const KLVRRWAEvent &event)
{
    return KLVRPropertyList::read(event.value(QStringLiteral("properties")).toUtf8()).toMap();
}

inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

// A /proc tree under root with one comm file per (pid, name).
inline void writeProcTree(const QString &root, const QList<QPair<int, QByteArray>> &processes)
{
    QDir(root + QStringLiteral("/proc")).removeRecursively();
    for (const auto &[pid, name] : processes)
        QVERIFY(writeFile(QStringLiteral("%1/proc/%2/comm").arg(root).arg(pid), name + '\n'));
}

// Asks a python-dbusmock object to emit a signal.
inline QDBusMessage emitMockSignal(KLVRTestBus &bus, const QString &service, const QString &path,
                                   const QString &interface, const QString &name, const QString &signature,
                                   const QVariantList &arguments)
{
    return bus.call(service, path, kMock, QStringLiteral("EmitSignal"), {interface, name, signature, arguments});
}

// python-dbusmock's logind, which also notes at each release of a delay lock how many power
// events the store at storePath held then (see logind_recording.py).
inline bool startRecordingLogind(KLVRTestBus &bus, const QString &storePath, QJsonObject parameters = {})
{
    parameters.insert(QStringLiteral("StorePath"), storePath);
    return bus.startMock(QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/agent/monitors/logind_recording.py"),
                         QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact)))
           && bus.waitForName(kLogind);
}

inline void emitLogind(KLVRTestBus &bus, const QString &name, const QString &signature, const QVariantList &arguments)
{
    const QDBusMessage reply = emitMockSignal(bus, kLogind, kLogindPath, kLogindManager, name, signature, arguments);
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
}

// Power events on disk at each release of a delay lock, as the recording logind saw them.
inline QList<int> releaseLog(KLVRTestBus &bus)
{
    return qdbus_cast<QList<int>>(bus.call(kLogind, kLogindPath, kMock, QStringLiteral("ReleaseLog")).arguments().value(0));
}

} // namespace KLVRRWAMonitorTestSupport

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAMonitorLast.h"

#include "KLVRBundle.h"
#include "KLVRRWABootTime.h"
#include "KLVRRWAStore.h"
#include "KLVRRWAWtmpDbReader.h"
#include "KLVRRWAWtmpReader.h"
#include "KLVRSystemPath.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

QVariantMap eventTimeContext(KLVRAbsoluteTime time)
{
    return {{QStringLiteral("event_time"), time.seconds()}};
}

} // namespace

KLVRRWAMonitorLast::KLVRRWAMonitorLast(KLVRRWAStore *aStore, QObject *parent)
    : KLVRRWAMonitor(aStore, parent)
{
}

KLVRRWAMonitorLast::~KLVRRWAMonitorLast()
{
    waitForScan();
}

double KLVRRWAMonitorLast::lastStart()
{
    const QString text = store()->settingText(LastStartSetting);
    if (text.isNull())
        return 0.0;
    const KLVRAbsoluteTime time = KLVRAbsoluteTime::fromText(text);
    return time.isValid() ? time.seconds() : 0.0;
}

void KLVRRWAMonitorLast::setLastStart(double lastStart)
{
    store()->setSettingText(LastStartSetting, KLVRAbsoluteTime(lastStart).toText());
}

double KLVRRWAMonitorLast::uptime() const
{
    return KLVRRWABootTime::uptime();
}

bool KLVRRWAMonitorLast::isLater(KLVRAbsoluteTime time, double since)
{
    // The last start travels as "%lf" text; comparing whole microseconds keeps a record dated
    // exactly at it from counting as later through a rounding of the last digit.
    return std::llround(time.seconds() * 1e6) > std::llround(since * 1e6);
}

void KLVRRWAMonitorLast::start()
{
    const double previousStart = lastStart();
    const KLVRAbsoluteTime now = KLVRAbsoluteTime::now();
    const KLVRAbsoluteTime bootTime = now.addSeconds(-uptime());
    if (isLater(bootTime, previousStart))
        storeMessage(QStringLiteral("startup"), eventTimeContext(bootTime), bootTime);
    m_unsavedLastStart = now.seconds();
    storeAccountEventsSince(previousStart, now.seconds());
}

void KLVRRWAMonitorLast::stop()
{
    waitForScan();
    finishStart();
}

void KLVRRWAMonitorLast::finishStart()
{
    if (std::isnan(m_unsavedLastStart))
        return;
    if (!store()->flush()) {
        // Saved after the write that finally takes these events (the store retries on its own).
        qCWarning(lcRWAMonitor, "KLVRRWAMonitorLast: the boot records are not written yet; the last start is "
                                "saved once they are");
        connect(store(), &KLVRRWAStore::entriesAddedChanged, this, &KLVRRWAMonitorLast::finishStart,
                static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
        return;
    }
    disconnect(store(), &KLVRRWAStore::entriesAddedChanged, this, &KLVRRWAMonitorLast::finishStart);
    const double start = m_unsavedLastStart;
    m_unsavedLastStart = qQNaN();
    setLastStart(start);
}

void KLVRRWAMonitorLast::waitForScan()
{
    if (m_scan.joinable())
        m_scan.join();
}

void KLVRRWAMonitorLast::storeAccountEventsSince(double since, double until)
{
    if (std::isnan(until))
        until = KLVRAbsoluteTime::now().seconds();
    waitForScan();
    // Paths and configuration are read here, on the main thread; the scan only reads files and
    // queues events.
    const QString wtmpPath = KLVRSystemPath::resolve(QStringLiteral("/var/log/wtmp"));
    const QString wtmpDbPath = KLVRSystemPath::resolve(QStringLiteral("/var/lib/wtmpdb/wtmp.db"));
    const QString wtmpDbQuery = KLVRBundle::main().requiredInfoValue(QStringLiteral("KLVRRWAMonitorLast"),
                                                                     WtmpDbSelectKey).toString();
    m_scan = std::thread([this, since, until, wtmpPath, wtmpDbPath, wtmpDbQuery] {
        int queued = 0;
        int future = 0;
        const KLVRRWAAccountingRecords records = accountingRecords(wtmpPath, wtmpDbPath, wtmpDbQuery);
        for (const KLVRRWAAccountingRecord &record : records) {
            if (!isLater(record.time, since))
                continue;
            // A record from a clock that was wrong would otherwise be recorded at every start.
            if (isLater(record.time, until)) {
                ++future;
                continue;
            }
            const QString description = record.kind == KLVRRWAAccountingRecord::Kind::Boot
                                            ? QStringLiteral("accounting boot")
                                            : QStringLiteral("accounting shut down");
            try {
                storeMessage(description, eventTimeContext(record.time), record.time);
                ++queued;
            } catch (const std::exception &exception) {
                qCWarning(lcRWAMonitor, "KLVRRWAMonitorLast could not queue %s: %s", qPrintable(description),
                          exception.what());
            }
        }
        if (future > 0)
            qCWarning(lcRWAMonitor, "KLVRRWAMonitorLast ignores %d accounting records dated after now", future);
        Q_EMIT scanFinished(queued);
        QMetaObject::invokeMethod(this, &KLVRRWAMonitorLast::finishStart, Qt::QueuedConnection);
    });
}

KLVRRWAAccountingRecords KLVRRWAMonitorLast::accountingRecords(const QString &wtmpPath, const QString &wtmpDbPath,
                                                               const QString &wtmpDbQuery)
{
    KLVRRWAAccountingRecords records = KLVRRWAWtmpReader::read(wtmpPath);
    // A system that moved to wtmpdb may have imported its old wtmp file: keep each record once.
    const KLVRRWAAccountingRecords fromDb = KLVRRWAWtmpDbReader::read(wtmpDbPath, wtmpDbQuery);
    for (const KLVRRWAAccountingRecord &record : fromDb) {
        const bool known = std::any_of(records.cbegin(), records.cend(), [&](const KLVRRWAAccountingRecord &other) {
            return other.kind == record.kind && std::llround(other.time.seconds() * 1e6) == std::llround(record.time.seconds() * 1e6);
        });
        if (!known)
            records.append(record);
    }
    return records;
}

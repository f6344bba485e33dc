// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRTestBus.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>
#include <memory>

class KLVRRWCMainWindow;

// What the window tests share: a fresh home, XDG folders and an empty system root per test
// (so no agent of the machine is found), one private bus standing in for both buses, and a
// week of a laptop's life as the agent records it.
class KLVRWindowTestSupport
{
public:
    // Points this process at a new tree; false when it could not be made.
    bool resetTree();
    QString root() const { return m_tree ? m_tree->path() : QString(); }
    QString home() const { return root() + QStringLiteral("/home"); }
    QString cacheHome() const { return root() + QStringLiteral("/cache"); }

    // Starts the private bus once.
    bool startBus();
    KLVRTestBus &bus() { return *m_bus; }
    QDBusConnection connection() { return m_bus->connection(QStringLiteral("klvr-window-test")); }

    // Forgets every setting an earlier test stored.
    static void clearUserDefaults();

    // A window on the private bus (both buses), as the program makes it.
    std::unique_ptr<KLVRRWCMainWindow> makeWindow();

    // The local midnight of the day offset days from today, plus seconds.
    static KLVRAbsoluteTime dayAt(int offset, double seconds = 0.0);
    // Event records (the agent's returned form) with one battery reading a day from the first
    // to the last day offset, at noon (today's before now); days later than today are left out.
    static QList<QVariantMap> dailyReadings(int firstOffset, int lastOffset);
    // The last seven days (today included, up to now) of a laptop: mornings on mains charging,
    // unplugged at work, an idle sleep over lunch, plugged in again in the afternoon, a lid
    // sleep at night, and a restart mid-week.
    static QList<QVariantMap> recordedWeek(KLVRAbsoluteTime now = KLVRAbsoluteTime::now());

private:
    std::unique_ptr<QTemporaryDir> m_tree;
    std::unique_ptr<KLVRTestBus> m_bus;
};

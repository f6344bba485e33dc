// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>
#include <QtGlobal>

// The user's idle time as systemd-logind reports it: while the manager's IdleHint is true,
// the time since IdleSinceHint (realtime microseconds); otherwise 0.
struct KLVRRWAIdleTime
{
    bool idle = false; // logind's IdleHint
    int seconds = 0;   // whole seconds idle, truncated; 0 when not idle or unknown

    // Reads the hints from logind's manager on the given bus. A failure gives {false, 0} and
    // one warning line.
    static KLVRRWAIdleTime read(const QDBusConnection &bus,
                                const QString &service = QStringLiteral("org.freedesktop.login1"));
    // The same from the manager's properties as GetAll gives them (a failure as above).
    static KLVRRWAIdleTime fromProperties(const QVariantMap &properties);
    // Whole seconds from idleSinceUsec to nowUsec (both realtime microseconds), clamped to
    // 0..INT_MAX; a zero or future idleSince gives 0.
    static int secondsBetween(quint64 idleSinceUsec, qint64 nowUsec);
    static qint64 realtimeNowUsec();
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// One inhibitor lock as logind's ListInhibitors reports it (D-Bus "(ssssuu)").
struct KLVRRWAInhibitor
{
    QString what;
    QString who;
    QString why;
    QString mode;
    quint32 uid = 0;
    quint32 pid = 0;

    // {"Who", "Why", "What", "Mode"}: the form stored with power events.
    QVariantMap toContext() const;
    // Registers the D-Bus marshalling of the type and its list (idempotent).
    static void registerMetaTypes();
};

using KLVRRWAInhibitorList = QList<KLVRRWAInhibitor>;

QDBusArgument &operator<<(QDBusArgument &argument, const KLVRRWAInhibitor &inhibitor);
const QDBusArgument &operator>>(const QDBusArgument &argument, KLVRRWAInhibitor &inhibitor);

Q_DECLARE_METATYPE(KLVRRWAInhibitor)
Q_DECLARE_METATYPE(KLVRRWAInhibitorList)

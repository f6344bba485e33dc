// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>
#include <QVariantList>
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
    // From the structure's six fields in their order; missing fields stay empty.
    static KLVRRWAInhibitor fromFields(const QVariantList &fields);
};

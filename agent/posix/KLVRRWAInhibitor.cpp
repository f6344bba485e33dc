// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAInhibitor.h"

QVariantMap KLVRRWAInhibitor::toContext() const
{
    return {{QStringLiteral("Who"), who},
            {QStringLiteral("Why"), why},
            {QStringLiteral("What"), what},
            {QStringLiteral("Mode"), mode}};
}

KLVRRWAInhibitor KLVRRWAInhibitor::fromFields(const QVariantList &fields)
{
    KLVRRWAInhibitor inhibitor;
    inhibitor.what = fields.value(0).toString();
    inhibitor.who = fields.value(1).toString();
    inhibitor.why = fields.value(2).toString();
    inhibitor.mode = fields.value(3).toString();
    inhibitor.uid = fields.value(4).toUInt();
    inhibitor.pid = fields.value(5).toUInt();
    return inhibitor;
}

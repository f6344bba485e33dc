// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAInhibitor.h"

#include <QDBusMetaType>

QVariantMap KLVRRWAInhibitor::toContext() const
{
    return {{QStringLiteral("Who"), who},
            {QStringLiteral("Why"), why},
            {QStringLiteral("What"), what},
            {QStringLiteral("Mode"), mode}};
}

void KLVRRWAInhibitor::registerMetaTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<KLVRRWAInhibitor>();
        qDBusRegisterMetaType<KLVRRWAInhibitorList>();
        return true;
    }();
    Q_UNUSED(registered);
}

QDBusArgument &operator<<(QDBusArgument &argument, const KLVRRWAInhibitor &inhibitor)
{
    argument.beginStructure();
    argument << inhibitor.what << inhibitor.who << inhibitor.why << inhibitor.mode << inhibitor.uid << inhibitor.pid;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, KLVRRWAInhibitor &inhibitor)
{
    argument.beginStructure();
    argument >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> inhibitor.uid >> inhibitor.pid;
    argument.endStructure();
    return argument;
}

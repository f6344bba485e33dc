// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRSystemPath.h"

#include <QDir>

QString KLVRSystemPath::root()
{
    QString sysroot = qEnvironmentVariable("RESTWATCH_SYSROOT");
    while (sysroot.endsWith(QLatin1Char('/')))
        sysroot.chop(1);
    return sysroot;
}

QString KLVRSystemPath::resolve(const QString &absolutePath)
{
    const QString sysroot = root();
    if (sysroot.isEmpty() || !absolutePath.startsWith(QLatin1Char('/')))
        return absolutePath;
    return sysroot + absolutePath;
}

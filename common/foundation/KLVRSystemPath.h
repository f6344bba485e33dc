// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

// Every absolute system path the programs touch (/var/lib, /var/log/wtmp, /etc/systemd,
// /usr/local/libexec/restwatch, /proc, /sys) goes through here, so that tests can run the
// programs unprivileged against a tree named by RESTWATCH_SYSROOT.
class KLVRSystemPath
{
public:
    static QString resolve(const QString &absolutePath);
    static QByteArray resolveNative(const QString &absolutePath) { return resolve(absolutePath).toLocal8Bit(); }
    // The root in force ("" when none): for turning a resolved path back into a system path.
    static QString root();
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAWakeSources.h"

#include "KLVRSystemPath.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

QByteArray readTrimmed(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    if (!*ok)
        return {};
    const QByteArray data = file.read(256);
    // pm_wakeup_irq opens but fails to read (ENODATA) when no interrupt woke the machine.
    *ok = !data.isEmpty();
    return data.trimmed();
}

} // namespace

KLVRRWAWakeSources::Counts KLVRRWAWakeSources::snapshot()
{
    Counts counts;
    const QDir dir(KLVRSystemPath::resolve(QStringLiteral("/sys/class/wakeup")));
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool nameOk = false;
        bool countOk = false;
        const QByteArray name = readTrimmed(dir.filePath(entry + QStringLiteral("/name")), &nameOk);
        const QByteArray count = readTrimmed(dir.filePath(entry + QStringLiteral("/event_count")), &countOk);
        if (!countOk)
            continue;
        counts.insert(entry, {nameOk ? QString::fromUtf8(name) : entry, count.toULongLong()});
    }
    return counts;
}

QVariantMap KLVRRWAWakeSources::wakeReason(const Counts &before)
{
    QVariantMap reason;
    bool ok = false;
    const QByteArray irq = readTrimmed(KLVRSystemPath::resolve(QStringLiteral("/sys/power/pm_wakeup_irq")), &ok);
    bool isNumber = false;
    const qlonglong irqNumber = irq.toLongLong(&isNumber);
    if (ok && isNumber)
        reason.insert(QStringLiteral("IRQ"), irqNumber);

    if (!before.isEmpty()) {
        const Counts after = snapshot();
        QStringList entries = after.keys();
        // wakeup0, wakeup1, ... wakeup10: keep the kernel's numbering order.
        std::sort(entries.begin(), entries.end(), [](const QString &a, const QString &b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        QStringList risen;
        for (const QString &entry : std::as_const(entries)) {
            const auto old = before.constFind(entry);
            const Source &now = after[entry];
            if (old != before.cend() && old->name == now.name && now.events > old->events)
                risen.append(now.name);
        }
        if (!risen.isEmpty())
            reason.insert(QStringLiteral("Sources"), risen);
    }
    return reason;
}

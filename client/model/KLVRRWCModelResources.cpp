// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCModelResources.h"

#include "KLVRStringsTable.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QtGlobal>
#include <mutex>
#include <optional>

static void initModelResources()
{
    Q_INIT_RESOURCE(model);
}

void KLVRRWCModelResources::ensureLoaded()
{
    static std::once_flag once;
    std::call_once(once, initModelResources);
}

QString KLVRRWCModelResources::localizedString(const QString &key, const QString &value, const QString &table)
{
    // Entries ask the same table for the same interned keys over and over.
    thread_local struct { QString table; QString key; QString value; QString text; } memo[4];
    // The same shared texts come back: equal storage answers before the characters are compared.
    const auto same = [](const QString &a, const QString &b) {
        return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
    };
    for (const auto &m : memo) {
        if (!m.key.isNull() && same(m.key, key) && same(m.table, table) && same(m.value, value))
            return m.text;
    }
    ensureLoaded();
    static QMutex lock;
    static QHash<QString, QHash<QString, std::optional<QString>>> cache;
    QMutexLocker locker(&lock);
    QHash<QString, std::optional<QString>> &texts = cache[table];
    auto it = texts.constFind(key);
    if (it == texts.cend()) {
        static const QString missing = QStringLiteral("\x01missing\x01");
        const QString text = KLVRStringsTable::localizedString(key, missing, table);
        it = texts.insert(key, text == missing ? std::nullopt : std::optional<QString>(text));
    }
    const QString text = it->has_value() ? **it : value;
    if (!key.isEmpty()) {
        thread_local unsigned next = 0;
        auto &m = memo[next++ % 4];
        m = {table, key, value, text};
    }
    return text;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRStringsTable.h"

#include "KLVRPropertyList.h"

#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QVariantMap>

namespace {
QMutex tablesLock;
QHash<QString, QVariantMap> tables; // "<language>/<table>" -> texts
QString forcedLanguage;

const QVariantMap &table(const QString &language, const QString &name)
{
    const QString key = language + QLatin1Char('/') + name;
    auto it = tables.find(key);
    if (it == tables.end())
        it = tables.insert(key, KLVRPropertyList::readFile(QStringLiteral(":/strings/%1.plist").arg(key)).toMap());
    return *it;
}
}

QString KLVRStringsTable::localizedString(const QString &key, const QString &defaultValue, const QString &tableName)
{
    QMutexLocker locker(&tablesLock);
    const QString language = forcedLanguage.isEmpty() ? QLocale().name().section(QLatin1Char('_'), 0, 0) : forcedLanguage;
    for (const QString &lang : {language, QStringLiteral("en")}) {
        const QVariantMap &texts = table(lang, tableName);
        const auto it = texts.constFind(key);
        if (it != texts.cend())
            return it->toString();
    }
    return defaultValue;
}

void KLVRStringsTable::setLanguage(const QString &language)
{
    QMutexLocker locker(&tablesLock);
    forcedLanguage = language;
}

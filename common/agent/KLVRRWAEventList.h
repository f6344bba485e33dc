// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QList>
#include <QMap>
#include <QString>

// Events as they travel on the bus (aa{ss}): each one "id", "date", "monitor", "description" and
// "properties", all text.
using KLVRRWAEvent = QMap<QString, QString>;
using KLVRRWAEventList = QList<KLVRRWAEvent>;

// Reads one event off the bus. The five keys every event carries are kept as one static text
// each, so a long list holds no key copies of its own: fewer allocations to make and to free.
inline const QDBusArgument &operator>>(const QDBusArgument &argument, KLVRRWAEvent &event)
{
    static const QString knownKeys[] = {QStringLiteral("date"), QStringLiteral("description"), QStringLiteral("id"),
                                        QStringLiteral("monitor"), QStringLiteral("properties")};
    event.clear();
    argument.beginMap();
    while (!argument.atEnd()) {
        QString key;
        QString value;
        argument.beginMapEntry();
        argument >> key >> value;
        argument.endMapEntry();
        for (const QString &known : knownKeys) {
            if (known == key) {
                key = known;
                break;
            }
        }
        // Keys arrive in order from the agent, so the end is the right place to start looking.
        event.insert(event.cend(), key, value);
    }
    argument.endMap();
    return argument;
}

// Makes both types known to QtDBus; call before the first call that carries them.
inline void KLVRRWARegisterEventListType()
{
    qDBusRegisterMetaType<KLVRRWAEvent>();
    qDBusRegisterMetaType<KLVRRWAEventList>();
}

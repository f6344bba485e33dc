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

// Makes both types known to QtDBus; call before the first call that carries them.
inline void KLVRRWARegisterEventListType()
{
    qDBusRegisterMetaType<KLVRRWAEvent>();
    qDBusRegisterMetaType<KLVRRWAEventList>();
}

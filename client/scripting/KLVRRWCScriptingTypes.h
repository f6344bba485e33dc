// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// The values the scripting objects send: entries as dictionaries, seconds per state name, and
// each battery's figures by name.
using KLVRRWCScriptRecords = QList<QVariantMap>;
using KLVRRWCSecondsByName = QMap<QString, double>;
using KLVRRWCBatteryFigures = QMap<QString, QMap<QString, double>>;

namespace KLVRRWCScriptingTypes {
// Teaches QtDBus the three types; safe to call more than once.
void registerTypes();
} // namespace KLVRRWCScriptingTypes

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingTypes.h"

#include <QDBusMetaType>

void KLVRRWCScriptingTypes::registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<KLVRRWCScriptRecords>();
        qDBusRegisterMetaType<KLVRRWCSecondsByName>();
        qDBusRegisterMetaType<KLVRRWCBatteryFigures>();
        return true;
    }();
    Q_UNUSED(registered);
}

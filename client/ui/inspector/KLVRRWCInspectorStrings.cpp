// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorStrings.h"

#include "KLVRStringsTable.h"

#include <mutex>

static void initInspectorResources()
{
    Q_INIT_RESOURCE(KLVRRWCInspectorController);
}

QString KLVRRWCInspectorStrings::localized(const QString &key)
{
    static std::once_flag once;
    std::call_once(once, initInspectorResources);
    return KLVRStringsTable::localizedString(key, QStringLiteral("KLVRRWCInspectorController"));
}

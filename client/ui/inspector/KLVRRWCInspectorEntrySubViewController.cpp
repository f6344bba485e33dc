// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorEntrySubViewController.h"

KLVRRWCInspectorEntrySubViewController::KLVRRWCInspectorEntrySubViewController(KLVRRWCLogEntry *entry)
    : KLVRRWCInspectorSubViewController(QVariant::fromValue(entry), QStringLiteral("Event"),
                                        QStringLiteral("KLVRRWCInspectorEntrySubViewController"))
{
    loadView();
}

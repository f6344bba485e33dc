// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

// The inspector's texts, from its own strings table "KLVRRWCInspectorController" (the key
// itself when missing); the table is a resource of the widget library, registered on first use.
class KLVRRWCInspectorStrings
{
public:
    static QString localized(const QString &key);
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>
#include <QVariant>

// Reads numbers out of event properties the lenient way property lists were always read: a
// number or a boolean as it is, a text by its leading number ("42 %" is 42), anything else 0.
// Out-of-range values saturate instead of wrapping.
class KLVRRWCPropertyValue
{
public:
    static qint32 intValue(const QVariant &value);
    static float floatValue(const QVariant &value);
    static double doubleValue(const QVariant &value);
    // The text a summary shows for a value; the "General" table's "unknown" when missing.
    static QString text(const QVariant &value);
};

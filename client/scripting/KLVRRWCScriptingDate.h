// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QString>

// Dates as scripts see them: ISO 8601 text with the local offset ("2026-11-02T08:00:00+01:00",
// with milliseconds only when the time has them). Read back, a text with an offset or "Z" is
// that instant, one without is local time, and a date alone is that day's local midnight.
namespace KLVRRWCScriptingDate {

QString toText(KLVRAbsoluteTime date);
// An invalid time when the text is none of the forms above.
KLVRAbsoluteTime fromText(const QString &text);
// Whether the text names a whole day (no time of day).
bool isDay(const QString &text);

} // namespace KLVRRWCScriptingDate

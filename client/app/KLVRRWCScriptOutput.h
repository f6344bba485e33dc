// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCCommandLine.h"
#include "KLVRRWCScriptingTypes.h"
#include "KLVRRWCSliceFigures.h"

#include <QTextStream>

// What the commands for scripts print: log entries as text lines, tab-separated values with a
// header or a JSON array, and a slice's figures as aligned text or one JSON object. Dates are
// ISO 8601 with the local offset except in the text lines, which keep the log's own form.
namespace KLVRRWCScriptOutput {

// records: entries as the database hands them out ("date", "summary", "monitor", "group",
// "attributes"); only those from from to to (each invalid for no limit) are printed.
void printEntries(const KLVRRWCScriptRecords &records, KLVRRWCCommandLine::Format format, KLVRAbsoluteTime from,
                  KLVRAbsoluteTime to, QTextStream &output);
void printFigures(const KLVRRWCSliceFigures &figures, bool json, QTextStream &output);

} // namespace KLVRRWCScriptOutput

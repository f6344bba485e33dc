// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCScriptingError.h"

#include <QSizeF>
#include <QString>
#include <QVariantMap>

class KLVRRWCScriptingGraph;

// The export command of the visible slice: writes the graph as a PNG file. Arguments by key:
// "destinationFile" (absolute path or file: URL), "width" and "height" (150 to 15000, default
// the graph's size), "title" and "border" (0 to 1, default 1). Every argument is checked before
// anything is drawn, so a refused argument leaves no file behind.
class KLVRRWCScriptingExport
{
public:
    static constexpr double kMinimumSide = 150.0;
    static constexpr double kMaximumSide = 15000.0;

    struct Request
    {
        QString destinationFile;
        double width = 0.0;
        double height = 0.0;
        bool titled = true;
        bool bordered = true;
    };

    // Reads the arguments against their bounds; the error says which was refused.
    static KLVRRWCScriptingError readArguments(const QVariantMap &arguments, const QSizeF &defaultSize, Request &request);
    // A numeric argument: the default when missing, the value when inside the bounds.
    static KLVRRWCScriptingError evaluatedNumericArgument(const QVariantMap &arguments, const QString &key,
                                                          double minimum, double maximum, double base, double &value);
    // Reads, draws and writes (not atomically, as a plain file write).
    static KLVRRWCScriptingError run(const KLVRRWCScriptingGraph &graph, const QVariantMap &arguments);
};

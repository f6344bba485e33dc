// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QImage>
#include <QSizeF>

// The graph as the export command needs it, so that the scripting objects need no widgets:
// its size on screen and its picture drawn afresh at any size, with or without title and border.
class KLVRRWCScriptingGraph
{
public:
    virtual ~KLVRRWCScriptingGraph() = default;
    virtual QSizeF currentSize() const = 0;
    // Leaves the on-screen graph's own title and border switches as they were.
    virtual QImage image(double width, double height, bool titled, bool bordered) const = 0;
};

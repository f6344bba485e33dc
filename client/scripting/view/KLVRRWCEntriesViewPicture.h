// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCScriptingGraph.h"

#include <QPointer>

class KLVRRWCEntriesView;

// The window's graph for the export command: its size on screen and its picture at any size,
// drawn by the graph's own painting with the title and border switches set for the picture only.
class KLVRRWCEntriesViewPicture : public KLVRRWCScriptingGraph
{
public:
    explicit KLVRRWCEntriesViewPicture(KLVRRWCEntriesView *view);

    QSizeF currentSize() const override;
    QImage image(double width, double height, bool titled, bool bordered) const override;

private:
    QPointer<KLVRRWCEntriesView> m_view;
};

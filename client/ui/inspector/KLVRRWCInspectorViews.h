// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

class KLVRRWCInspectorSubViewController;
class QWidget;

// Builds the view of each kind of inspector item by the kind's name, with the item as its owner
// (the source of what it shows): "KLVRRWCInspectorLabelSubViewController" (a heading bar),
// "KLVRRWCInspectorMessageSubViewController", "KLVRRWCInspectorEntrySubViewController",
// "KLVRRWCInspectorSelection", "KLVRRWCInspectorArraySubViewController",
// "KLVRRWCInspectorDictionarySubViewController" (a table with a "key" column) and
// "KLVRRWCInspectorScalarSubViewController". Each view is sized to what it shows and named after
// its kind; an unknown name is an assertion failure "Unable to load %@ nib.".
class KLVRRWCInspectorViews
{
public:
    // A new parentless view; the caller owns it.
    static QWidget *load(const QString &nibName, KLVRRWCInspectorSubViewController *owner);

    // The narrowest an item is laid out, so that short headings do not make a sliver of a panel.
    static constexpr int kMinimumWidth = 260;
    // Lists longer than this scroll.
    static constexpr int kMaximumVisibleRows = 12;
    // Wide values are cut at this width (the full text is in the cell's tool tip).
    static constexpr int kMaximumWidth = 460;
};

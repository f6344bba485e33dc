// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCInspectorSubViewController.h"

class KLVRRWCInspectorLabelView;

// A heading of the inspector's stack: a heading bar titled with the text (the item's key).
class KLVRRWCInspectorLabelSubViewController : public KLVRRWCInspectorSubViewController
{
public:
    explicit KLVRRWCInspectorLabelSubViewController(const QString &text);

    KLVRRWCInspectorLabelView *labelView() const { return m_labelView; }

protected:
    void viewDidLoad() override;

private:
    KLVRRWCInspectorLabelView *m_labelView = nullptr;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorLabelSubViewController.h"

#include "KLVRRWCInspectorLabelView.h"
#include "KLVRRWCInspectorViews.h"

#include <algorithm>

KLVRRWCInspectorLabelSubViewController::KLVRRWCInspectorLabelSubViewController(const QString &text)
    : KLVRRWCInspectorSubViewController(QVariant(), text, QStringLiteral("KLVRRWCInspectorLabelSubViewController"))
{
    loadView();
    if (m_labelView) {
        m_labelView->setTitle(text);
        const QSize hint = view()->sizeHint();
        view()->resize(std::max(hint.width(), KLVRRWCInspectorViews::kMinimumWidth), hint.height());
    }
}

void KLVRRWCInspectorLabelSubViewController::viewDidLoad()
{
    m_labelView = view() ? view()->findChild<KLVRRWCInspectorLabelView *>() : nullptr;
    if (!m_labelView)
        m_labelView = qobject_cast<KLVRRWCInspectorLabelView *>(view());
}

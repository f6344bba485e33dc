// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCEntriesViewPicture.h"

#include "KLVRRWCEntriesView.h"

KLVRRWCEntriesViewPicture::KLVRRWCEntriesViewPicture(KLVRRWCEntriesView *view)
    : m_view(view)
{
}

QSizeF KLVRRWCEntriesViewPicture::currentSize() const
{
    return m_view ? QSizeF(m_view->size()) : QSizeF();
}

QImage KLVRRWCEntriesViewPicture::image(double width, double height, bool titled, bool bordered) const
{
    if (!m_view)
        return QImage();
    const bool wasTitled = m_view->isTitled();
    const bool wasBordered = m_view->isBordered();
    m_view->setTitled(titled);
    m_view->setBordered(bordered);
    QImage picture = m_view->imageValueWithWidth(width, height);
    m_view->setTitled(wasTitled);
    m_view->setBordered(wasBordered);
    return picture;
}

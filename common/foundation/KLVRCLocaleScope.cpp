// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRCLocaleScope.h"

KLVRCLocaleScope::KLVRCLocaleScope()
    : m_previous(uselocale(cLocale()))
{
}

KLVRCLocaleScope::~KLVRCLocaleScope()
{
    if (m_previous)
        uselocale(m_previous);
}

locale_t KLVRCLocaleScope::cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

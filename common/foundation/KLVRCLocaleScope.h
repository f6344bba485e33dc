// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QtGlobal>
#include <locale.h>

// Puts the calling thread under the C locale for its lifetime, so that the C library (and
// libraries written on it, such as libplist's real numbers) reads and writes numbers with '.'
// whatever the user's LC_NUMERIC. Other threads keep their locale.
class KLVRCLocaleScope
{
    Q_DISABLE_COPY(KLVRCLocaleScope)

public:
    KLVRCLocaleScope();
    ~KLVRCLocaleScope();

    // The process-wide C locale object, made once.
    static locale_t cLocale();

private:
    locale_t m_previous = nullptr;
};

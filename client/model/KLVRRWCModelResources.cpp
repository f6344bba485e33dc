// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCModelResources.h"

#include <QtGlobal>
#include <mutex>

static void initModelResources()
{
    Q_INIT_RESOURCE(model);
}

void KLVRRWCModelResources::ensureLoaded()
{
    static std::once_flag once;
    std::call_once(once, initModelResources);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

// The model's strings tables are compiled into its static library; a static library's
// resources register only when something asks for them, so every table lookup asks first.
class KLVRRWCModelResources
{
public:
    static void ensureLoaded();
};

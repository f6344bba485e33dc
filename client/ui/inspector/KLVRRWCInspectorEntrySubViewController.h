// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCInspectorSubViewController.h"

// An item showing one log entry under the key "Event": its summary, date, event and monitor.
class KLVRRWCInspectorEntrySubViewController : public KLVRRWCInspectorSubViewController
{
public:
    explicit KLVRRWCInspectorEntrySubViewController(KLVRRWCLogEntry *entry);

    KLVRRWCLogEntry *entry() const { return attributeValue().value<KLVRRWCLogEntry *>(); }
};

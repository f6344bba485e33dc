// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QObject>

// A client's callback endpoint: counts the agent's eventsDidChange notices.
class KLVRTestUpdateReceiver : public QObject
{
    Q_OBJECT

public:
    int notices = 0;
    void eventsDidChange() { ++notices; }
};

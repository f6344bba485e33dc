// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QString>
#include <QTimeZone>

// Writes many dates as KLVRRWCScriptingDate::toText does, a page of entries at a time: the local
// offset is looked up once per stretch between two of the zone's transitions and the digits are
// written directly, instead of a time zone lookup and a formatted QDateTime for every date.
// One writer per page; not shared between threads.
class KLVRRWCScriptingDateWriter
{
public:
    KLVRRWCScriptingDateWriter();

    QString text(KLVRAbsoluteTime date);

private:
    void lookUpOffset(qint64 msecs);

    QTimeZone m_zone;
    // The offset holds for UTC milliseconds in [m_from, m_to).
    qint64 m_from = 0;
    qint64 m_to = 0;
    int m_offset = 0;
};

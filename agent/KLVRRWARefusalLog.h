// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QString>

// Log lines for refused calls, at most one per kind of refusal in each interval: a caller that
// floods the agent must not flood the journal too. The line after a quiet spell says how many
// like it were left out.
class KLVRRWARefusalLog
{
public:
    using Category = const QLoggingCategory &(*)();

    explicit KLVRRWARefusalLog(Category category, int intervalMs = 10000)
        : m_category(category)
        , m_intervalMs(intervalMs)
    {
    }

    // Logs text unless a line of this kind went out less than the interval ago.
    void log(const QString &kind, const QString &text);

private:
    struct Kind
    {
        QElapsedTimer last;
        int suppressed = 0;
    };
    Category m_category;
    int m_intervalMs;
    QHash<QString, Kind> m_kinds;
};

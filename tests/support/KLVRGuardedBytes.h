// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>

// A copy of some bytes that ends exactly where an inaccessible page begins: a reader that goes
// one byte beyond them faults at once, in any build, instead of reading whatever lies there.
class KLVRGuardedBytes
{
public:
    explicit KLVRGuardedBytes(const QByteArray &bytes);
    ~KLVRGuardedBytes();
    Q_DISABLE_COPY(KLVRGuardedBytes)

    const char *data() const { return m_data; }
    qsizetype size() const { return m_size; }

private:
    char *m_map = nullptr;
    size_t m_mapSize = 0;
    const char *m_data = nullptr;
    qsizetype m_size = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRGuardedBytes.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

KLVRGuardedBytes::KLVRGuardedBytes(const QByteArray &bytes)
    : m_size(bytes.size())
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (size_t(bytes.size()) + page - 1) / page * page;
    m_mapSize = dataPages + page;
    void *map = mmap(nullptr, m_mapSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    Q_ASSERT(map != MAP_FAILED);
    m_map = static_cast<char *>(map);
    mprotect(m_map + dataPages, page, PROT_NONE);
    char *start = m_map + dataPages - size_t(bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(start, bytes.constData(), size_t(bytes.size()));
    m_data = start;
}

KLVRGuardedBytes::~KLVRGuardedBytes()
{
    munmap(m_map, m_mapSize);
}

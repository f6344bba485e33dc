// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAWtmpReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
#include <utmp.h>
#include <vector>

KLVRRWAAccountingRecords KLVRRWAWtmpReader::read(const QString &path)
{
    KLVRRWAAccountingRecords records;
    // Non-blocking, so that a FIFO or device at the path cannot hold the scan (and the agent's
    // stop) for ever; only a regular file is read.
    const int fd = open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return records;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        syslog(LOG_ERR, "KLVRRWAWtmpReader skips %s: not a regular file", path.toLocal8Bit().constData());
        close(fd);
        return records;
    }

    // Read many records at a time; a wtmp file holds every login since it was rotated.
    std::vector<utmp> buffer(256);
    const size_t bufferBytes = buffer.size() * sizeof(utmp);
    size_t filled = 0;
    for (;;) {
        const ssize_t got = ::read(fd, reinterpret_cast<char *>(buffer.data()) + filled, bufferBytes - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += static_cast<size_t>(got);
        const size_t whole = filled / sizeof(utmp);
        for (size_t i = 0; i < whole; ++i) {
            const utmp &entry = buffer[i];
            const bool shutdown = entry.ut_type == RUN_LVL
                                  && strncmp(entry.ut_user, "shutdown", sizeof entry.ut_user) == 0;
            if (entry.ut_type != BOOT_TIME && !shutdown)
                continue;
            records.append({shutdown ? KLVRRWAAccountingRecord::Kind::Shutdown : KLVRRWAAccountingRecord::Kind::Boot,
                            timeOf(entry.ut_tv.tv_sec, entry.ut_tv.tv_usec)});
        }
        const size_t rest = filled - whole * sizeof(utmp);
        memmove(buffer.data(), reinterpret_cast<char *>(buffer.data()) + whole * sizeof(utmp), rest);
        filled = rest;
    }
    close(fd);
    return records;
}

KLVRAbsoluteTime KLVRRWAWtmpReader::timeOf(qint64 seconds, qint64 microseconds)
{
    return KLVRAbsoluteTime(static_cast<double>(seconds - static_cast<qint64>(KLVRAbsoluteTime::kUnixOffset))
                            + static_cast<double>(microseconds) * 0.000001);
}

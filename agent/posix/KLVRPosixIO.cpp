// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRPosixIO.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int KLVRReadExact(int fd, void *buffer, size_t size, size_t *bytesRead)
{
    auto *cursor = static_cast<char *>(buffer);
    size_t done = 0;
    int err = 0;
    while (done < size) {
        const ssize_t count = ::read(fd, cursor + done, size - done);
        if (count > 0) {
            done += size_t(count);
        } else if (count == 0) {
            err = EPIPE;
            break;
        } else if (errno != EINTR) {
            err = errno;
            break;
        }
    }
    if (bytesRead)
        *bytesRead = done;
    return err;
}

int KLVRWriteExact(int fd, const void *buffer, size_t size, size_t *bytesWritten)
{
    const auto *cursor = static_cast<const char *>(buffer);
    size_t done = 0;
    int err = 0;
    while (done < size) {
        const ssize_t count = ::write(fd, cursor + done, size - done);
        if (count >= 0) {
            done += size_t(count);
        } else if (errno != EINTR) {
            err = errno;
            break;
        }
    }
    if (bytesWritten)
        *bytesWritten = done;
    return err;
}

void KLVRPosixAssertFailed(const char *condition, const char *file, int line)
{
    char number[16];
    int length = 0;
    char digits[16];
    unsigned value = line > 0 ? unsigned(line) : 0u;
    do {
        digits[length++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0 && length < int(sizeof(digits)));
    for (int i = 0; i < length; ++i)
        number[i] = digits[length - 1 - i];

    const auto put = [](const char *text, size_t size) { (void)!::write(STDERR_FILENO, text, size); };
    put(file, std::strlen(file));
    put(":", 1);
    put(number, size_t(length));
    put(": Assertion failed: ", 20);
    put(condition, std::strlen(condition));
    put("\n", 1);
    std::abort();
}

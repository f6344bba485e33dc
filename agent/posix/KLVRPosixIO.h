// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <cstddef>

// Small UNIX read and write routines for the agent's low-level modules.

// Reads exactly size bytes, looping over partial reads and retrying interrupted ones.
// Returns 0, EPIPE when the descriptor reached end of file first, or the failing call's errno.
// bytesRead (optional) receives the count read before the result.
int KLVRReadExact(int fd, void *buffer, size_t size, size_t *bytesRead = nullptr);

// Writes exactly size bytes, looping over partial writes and retrying interrupted ones.
// Returns 0 or the failing call's errno; bytesWritten (optional) receives the count written.
int KLVRWriteExact(int fd, const void *buffer, size_t size, size_t *bytesWritten = nullptr);

// Writes "file:line: Assertion failed: condition" to standard error and aborts. Safe in signal
// context: it only calls write(2) and abort(3).
[[noreturn]] void KLVRPosixAssertFailed(const char *condition, const char *file, int line);

// Contract checks of the low-level modules: a failure aborts the process.
#define KLVR_POSIX_ASSERT(condition) \
    do { if (!(condition)) KLVRPosixAssertFailed(#condition, __FILE__, __LINE__); } while (0)

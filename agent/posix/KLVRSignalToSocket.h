// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <csignal>

// Turns caught signals into events of the calling thread's event loop, so that no work happens in
// signal context: the catching handler only writes the signal's information record to one end of
// a socket pair, and a socket notifier on the other end hands the record to the callback.
// Process-wide state; one installation per process, for the process's lifetime.

using KLVRSignalToSocketCallback = void (*)(const siginfo_t *sigInfo, void *refCon);

// Catches every signal from 1 to 31 that sigSet holds. Returns 0 or an errno value (EINVAL when
// the socket notifier could not be made). Contract violations abort the process.
int InstallSignalToSocket(const sigset_t *sigSet, KLVRSignalToSocketCallback callback, void *refCon);

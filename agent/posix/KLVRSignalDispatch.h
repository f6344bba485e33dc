// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <csignal>

// The agent's signals and the roles they play: SIGTERM and SIGQUIT quit, SIGINT interrupts,
// SIGHUP restarts, SIGUSR1 rotates and SIGUSR2 fetches. Each caught signal is written to the
// system log and handed to its role's handler on the main thread.

using KLVRSignalRoleHandler = void (*)(int sig);

// The agent's signal set: SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1 and SIGUSR2.
sigset_t KLVRAgentSignalSet();

// Keeps the five role handlers (any may be null: its signal is then only logged) and catches the
// agent's signal set on the calling thread's event loop. Returns 0 or an errno value.
int InstallSignalHandlers(KLVRSignalRoleHandler quit, KLVRSignalRoleHandler interrupt,
                          KLVRSignalRoleHandler restart, KLVRSignalRoleHandler rotate,
                          KLVRSignalRoleHandler fetch);

// Logs the signal and calls its role handler.
void SignalRunLoopCallback(const siginfo_t *sigInfo, void *refCon);

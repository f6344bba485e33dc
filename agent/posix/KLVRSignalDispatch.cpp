// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRSignalDispatch.h"

#include "KLVRSignalToSocket.h"

#include <initializer_list>
#include <syslog.h>

namespace {

enum Role { Quit, Interrupt, Restart, Rotate, Fetch, RoleCount };

KLVRSignalRoleHandler gSignalHandlers[RoleCount] = {};

void callRole(Role role, int sig)
{
    if (gSignalHandlers[role])
        gSignalHandlers[role](sig);
}

} // namespace

sigset_t KLVRAgentSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&set, sig);
    return set;
}

int InstallSignalHandlers(KLVRSignalRoleHandler quit, KLVRSignalRoleHandler interrupt,
                          KLVRSignalRoleHandler restart, KLVRSignalRoleHandler rotate,
                          KLVRSignalRoleHandler fetch)
{
    gSignalHandlers[Quit] = quit;
    gSignalHandlers[Interrupt] = interrupt;
    gSignalHandlers[Restart] = restart;
    gSignalHandlers[Rotate] = rotate;
    gSignalHandlers[Fetch] = fetch;
    const sigset_t set = KLVRAgentSignalSet();
    return InstallSignalToSocket(&set, SignalRunLoopCallback, nullptr);
}

void SignalRunLoopCallback(const siginfo_t *sigInfo, void *)
{
    const int sig = sigInfo->si_signo;
    switch (sig) {
    case SIGHUP:
        syslog(LOG_INFO, "SIGHUP/restart signal caught");
        callRole(Restart, sig);
        break;
    case SIGINT:
        syslog(LOG_INFO, "SIGINT/interrupt signal caught");
        callRole(Interrupt, sig);
        break;
    case SIGTERM:
    case SIGQUIT:
        syslog(LOG_INFO, "SIGTERM/SIGQUIT/quit signal caught");
        callRole(Quit, sig);
        break;
    case SIGUSR1:
        syslog(LOG_INFO, "SIGUSR1/rotate signal caught");
        callRole(Rotate, sig);
        break;
    case SIGUSR2:
        syslog(LOG_INFO, "SIGUSR2/fetch signal caught");
        callRole(Fetch, sig);
        break;
    default:
        syslog(LOG_ERR, "%s: Unknown signal %d caught and ignored", "SignalRunLoopCallback", sig);
        break;
    }
}

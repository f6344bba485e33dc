// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

// The agent executable's privileged modes, which the client runs as root through pkexec: one run
// per user action (install, update or removal of the system service), so that the administrator
// is asked once. Exit codes stay clear of pkexec's own 126 (dismissed) and 127 (not authorized).
struct KLVRAgentControllerInstallMode
{
    static constexpr const char *kArgument = "--install-system";
    static constexpr const char *kUpdateArgument = "--update-system";
    static constexpr const char *kRemoveArgument = "--remove-system";
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    static constexpr int kUsage = 2;
    static constexpr int kPkexecDismissed = 126;
    static constexpr int kPkexecNotAuthorized = 127;
    // The only pkexec the client runs: by absolute path, never looked up in PATH.
    static constexpr const char *kLauncher = "/usr/bin/pkexec";
    // The system helper folder and the unit's, D-Bus policy's and polkit actions' folders. The unit
    // goes to the folder systemd reads for local units, so that the running agent needs no write
    // access to /etc/systemd to remove it.
    static constexpr const char *kHelperFolder = "/usr/local/libexec/restwatch";
    static constexpr const char *kUnitFolder = "/usr/local/lib/systemd/system";
    static constexpr const char *kBusPolicyFolder = "/etc/dbus-1/system.d";
    static constexpr const char *kPolkitActionsFolder = "/usr/share/polkit-1/actions";
    // Stands in the polkit actions for the path of the program pkexec runs in these modes.
    static constexpr const char *kHelperPathPlaceholder = "@RESTWATCH_CLIENT_AGENT@";
    // polkit actions: pkexec of the client's agent, and removal of the agent's own files.
    static constexpr const char *kBlessHelperAction = "com.klvr.restwatch.agent.blesshelper";
    static constexpr const char *kDaemonsModifyAction = "com.klvr.restwatch.agent.daemons.modify";
    // Length of the authorization form that removeAgentFiles expects.
    static constexpr int kExternalFormLength = 32;
};

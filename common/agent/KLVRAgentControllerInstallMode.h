// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

// The agent executable's install mode, which the client runs as root through pkexec. Exit codes
// stay clear of pkexec's own 126 (dismissed) and 127 (not authorized).
struct KLVRAgentControllerInstallMode
{
    static constexpr const char *kArgument = "--install-system";
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    static constexpr int kUsage = 2;
    static constexpr int kPkexecDismissed = 126;
    static constexpr int kPkexecNotAuthorized = 127;
    // The system helper folder and the unit's, D-Bus policy's and polkit actions' folders.
    static constexpr const char *kHelperFolder = "/usr/local/libexec/restwatch";
    static constexpr const char *kUnitFolder = "/etc/systemd/system";
    static constexpr const char *kBusPolicyFolder = "/etc/dbus-1/system.d";
    static constexpr const char *kPolkitActionsFolder = "/usr/share/polkit-1/actions";
    // polkit actions that the system service's installation and removal ask for.
    static constexpr const char *kBlessHelperAction = "com.klvr.restwatch.agent.blesshelper";
    static constexpr const char *kDaemonsModifyAction = "com.klvr.restwatch.agent.daemons.modify";
    // Length of the authorization form that removeAgentFiles expects.
    static constexpr int kExternalFormLength = 32;
};

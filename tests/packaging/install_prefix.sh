#!/bin/sh
# Installs the build under another prefix (into a scratch root) and checks what users of that prefix
# rely on: the client and its own copy of the agent are where the client looks for it, that copy
# is not the system helper (which removing the system service deletes), and the pkexec action
# names the copy under the prefix given at install time.
set -eu
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=/opt/restwatch-test
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
copy=$prefix/libexec/restwatch-client/com.klvr.restwatch.agent
[ -x "$root$prefix/bin/restwatch" ] || fail "no client at $prefix/bin/restwatch"
[ -x "$root$copy" ] || fail "no agent copy at $copy"
[ -f "$root/etc/dbus-1/system.d/com.klvr.restwatch.agent.conf" ] || fail "no D-Bus policy"
policy=$root/usr/share/polkit-1/actions/com.klvr.restwatch.agent.policy
[ -f "$policy" ] || fail "no polkit actions"
grep -q "<annotate key=\"org.freedesktop.policykit.exec.path\">$copy</annotate>" "$policy" \
  || fail "the pkexec action does not name $copy: $(grep exec.path "$policy")"
[ "$copy" != /usr/local/libexec/restwatch/com.klvr.restwatch.agent ] || fail "the copy is the system helper"
# The client's relative agent folder leads from the installed client to the copy.
folder=$(sed -n '/KLVRAgentControllerAgentFolder/,/<\/array>/s:.*<string>\(.*\)</string>.*:\1:p' \
  "$(dirname "$0")/../../resources/client/Info.plist" | head -1)
[ -x "$(cd "$root$prefix/bin" && cd "$folder" && pwd)/com.klvr.restwatch.agent" ] \
  || fail "the client's agent folder $folder does not lead to the copy"
echo "installed under $prefix: client, agent copy, D-Bus policy, polkit actions naming the copy"

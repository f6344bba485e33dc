#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
#
# The system unit's exposure as systemd rates it stays at 2.0 or lower. Skipped (77) where
# systemd-analyze cannot rate a unit file offline.
unit="$1"
report=$(systemd-analyze security --offline=true "$unit" 2>&1) || { echo "$report"; exit 77; }
level=$(printf '%s\n' "$report" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$level" ] || { printf '%s\n' "$report"; exit 77; }
echo "exposure $level"
awk -v level="$level" 'BEGIN { exit !(level <= 2.0) }'

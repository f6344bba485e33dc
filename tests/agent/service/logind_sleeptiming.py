# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
'''python-dbusmock's logind template, timing how long a sleep waits for its delay locks: the
mock method Sleep() emits PrepareForSleep(true) and notes the moment; when a delay lock is
released after that, the wait in milliseconds is appended to the list SleepLog() returns.
Wake() emits PrepareForSleep(false).'''

import os
import time

from dbusmock.templates import logind
from dbusmock.templates.logind import *  # noqa: F401,F403 (the stock methods and constants)
from dbusmock.templates.logind import MAIN_IFACE, MOCK_IFACE, mockobject
import dbus
from gi.repository import GLib

_state = {'asleep_at': None, 'log': []}


def load(mock, parameters):
    logind.load(mock, parameters)


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h')
def Inhibit(_, what, who, why, mode):
    if not hasattr(mockobject, 'inhibitors'):
        mockobject.inhibitors = []
    fd_r, fd_w = os.pipe()
    inhibitor = (what, who, why, mode, 0, 123456)
    mockobject.inhibitors.append(inhibitor)

    def dropped(fd, _cond):
        if mode == 'delay' and _state['asleep_at'] is not None:
            _state['log'].append((time.monotonic() - _state['asleep_at']) * 1000.0)
            _state['asleep_at'] = None
        os.close(fd)
        mockobject.inhibitors.remove(inhibitor)
        return False

    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, fd_r, GLib.IO_HUP, dropped)
    GLib.idle_add(os.close, fd_w)
    return fd_w


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Sleep(self):
    _state['asleep_at'] = time.monotonic()
    self.EmitSignal(MAIN_IFACE, 'PrepareForSleep', 'b', [True])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Wake(self):
    self.EmitSignal(MAIN_IFACE, 'PrepareForSleep', 'b', [False])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='ad')
def SleepLog(_):
    return dbus.Array(_state['log'], signature='d')


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='i')
def DelayLocks(_):
    return len([i for i in getattr(mockobject, 'inhibitors', []) if i[3] == 'delay'])

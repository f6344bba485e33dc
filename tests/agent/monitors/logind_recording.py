# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
'''python-dbusmock's logind template, plus a record of what the store held at the moment each
delay lock was released: the parameter "StorePath" names the SQLite store to look into, and
the mock method ReleaseLog() returns, for every released delay lock in order, how many events
of the power event monitor the store held when logind saw the lock go.'''

import os
import sqlite3

from dbusmock.templates import logind
from dbusmock.templates.logind import *  # noqa: F401,F403 (the stock methods and constants)
from dbusmock.templates.logind import MAIN_IFACE, MOCK_IFACE, mockobject
import dbus
from gi.repository import GLib

_state = {'store': '', 'log': []}


def load(mock, parameters):
    logind.load(mock, parameters)
    _state['store'] = parameters.get('StorePath', '')


def _stored_power_events():
    if not _state['store'] or not os.path.exists(_state['store']):
        return -1
    try:
        db = sqlite3.connect(f'file:{_state["store"]}?mode=ro', uri=True, timeout=2)
        try:
            return db.execute("SELECT COUNT(*) FROM events WHERE monitor = "
                              "'com.klvr.monitor.watcher.powerevents'").fetchone()[0]
        finally:
            db.close()
    except sqlite3.Error:
        return -2


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h')
def Inhibit(_, what, who, why, mode):
    if not hasattr(mockobject, 'inhibitors'):
        mockobject.inhibitors = []
    fd_r, fd_w = os.pipe()
    inhibitor = (what, who, why, mode, 1000, 123456)
    mockobject.inhibitors.append(inhibitor)

    def dropped(fd, _cond):
        if mode == 'delay':
            _state['log'].append(_stored_power_events())
        os.close(fd)
        mockobject.inhibitors.remove(inhibitor)
        return False

    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, fd_r, GLib.IO_HUP, dropped)
    GLib.idle_add(os.close, fd_w)
    return fd_w


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='ai')
def ReleaseLog(_):
    return dbus.Array(_state['log'], signature='i')

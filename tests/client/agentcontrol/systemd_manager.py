# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
#
# python-dbusmock template for the agent control tests: the systemd template, taught what systemd's
# manager does with unit files and processes, and, with the parameter {"polkit": true} (the system
# manager), to ask polkit about every caller of a call that changes something, as systemd does:
# Reload loads the units whose files exist in the configured folder and drops the others,
# StartUnit runs the unit's ExecStart, StopUnit ends that process and waits for it, RestartUnit
# does both in one job. UnitCalls lists the first argument of each call of a method.
import os
import shlex
import subprocess

import dbus
from dbusmock import MOCK_IFACE, mockobject
from dbusmock.templates import systemd as base
from dbusmock.templates.systemd import AddMockUnit, GetUnit  # noqa: F401 (the mock's own methods)

BUS_NAME = base.BUS_NAME
MAIN_OBJ = base.MAIN_OBJ
MAIN_IFACE = base.MAIN_IFACE
UNIT_IFACE = base.UNIT_IFACE
SYSTEM_BUS = True

POLKIT = ('org.freedesktop.PolicyKit1', '/org/freedesktop/PolicyKit1/Authority',
          'org.freedesktop.PolicyKit1.Authority')
MANAGE_UNITS = 'org.freedesktop.systemd1.manage-units'
MANAGE_UNIT_FILES = 'org.freedesktop.systemd1.manage-unit-files'
RELOAD = 'org.freedesktop.systemd1.reload-daemon'


def load(mock, parameters):
    base.load(mock, parameters)
    mock.check_polkit = bool(parameters.get('polkit', False))
    mock.unit_folder = ''
    mock.unit_root = ''
    mock.unit_environment = {}
    mock.unit_processes = {}


def _authorize(mock, sender, action):
    if not mock.check_polkit:
        return
    authority = mock.connection.get_object(POLKIT[0], POLKIT[1])
    subject = dbus.Struct(('system-bus-name', {'name': dbus.String(sender, variant_level=1)}), signature='sa{sv}')
    granted, _, _ = authority.CheckAuthorization(subject, action, dbus.Dictionary({}, signature='ss'),
                                                 dbus.UInt32(1), '', dbus_interface=POLKIT[2], timeout=60)
    if not granted:
        raise dbus.exceptions.DBusException('Access denied', name='org.freedesktop.DBus.Error.AccessDenied')


def _no_such_unit(name):
    return dbus.exceptions.DBusException(f'Unit {name} not loaded.', name='org.freedesktop.systemd1.NoSuchUnit')


def _unit_files(mock):
    folder = mock.unit_folder
    if not folder or not os.path.isdir(folder):
        return set()
    return {name for name in os.listdir(folder) if name.endswith('.service')}


def _running(mock, name):
    process = mock.unit_processes.get(name)
    return process is not None and process.poll() is None


def _set_active(mock, name, state):
    mockobject.objects[mock.units[name]].UpdateProperties(UNIT_IFACE, {'ActiveState': state})


def _start(mock, name):
    if name not in mock.units:
        raise _no_such_unit(name)
    with open(os.path.join(mock.unit_folder, name), encoding='utf-8') as unit:
        lines = [line.strip() for line in unit if line.strip().startswith('ExecStart=')]
    # systemd's own unescaping of "$$" and "%%" before the words are split.
    argv = shlex.split(lines[-1][len('ExecStart='):].replace('$$', '$').replace('%%', '%'))
    if mock.unit_root and os.path.exists(mock.unit_root + argv[0]):
        argv[0] = mock.unit_root + argv[0]
    if not _running(mock, name):
        mock.unit_processes[name] = subprocess.Popen(argv, env=dict(mock.unit_environment))
    _set_active(mock, name, 'active')


def _stop(mock, name):
    process = mock.unit_processes.pop(name, None)
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='', sender_keyword='sender')
def Reload(self, sender=None):
    _authorize(self, sender, RELOAD)
    _reload(self)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def ReloadUnits(self):
    '''Reload as the test itself asks for it: no polkit check, not logged.'''
    _reload(self)


def _reload(mock):
    present = _unit_files(mock)
    for name in present:
        if name not in mock.units:
            mock.AddMockUnit(name)
    for name in list(mock.units):
        if name not in present and not _running(mock, name):
            mock.RemoveObject(mock.units.pop(name))


@dbus.service.method(MAIN_IFACE, in_signature='asbb', out_signature='ba(sss)', sender_keyword='sender')
def EnableUnitFiles(self, files, runtime, force, sender=None):
    _authorize(self, sender, MANAGE_UNIT_FILES)
    present = _unit_files(self)
    for name in files:
        if str(name) not in present:
            raise dbus.exceptions.DBusException(f'Unit file {name} does not exist.',
                                                name='org.freedesktop.DBus.Error.FileNotFound')
    return (dbus.Boolean(False), dbus.Array([], signature='(sss)'))


@dbus.service.method(MAIN_IFACE, in_signature='asb', out_signature='a(sss)', sender_keyword='sender')
def DisableUnitFiles(self, files, runtime, sender=None):
    _authorize(self, sender, MANAGE_UNIT_FILES)
    return dbus.Array([], signature='(sss)')


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o', sender_keyword='sender')
def StartUnit(self, name, mode, sender=None):
    _authorize(self, sender, MANAGE_UNITS)
    _start(self, str(name))
    return dbus.ObjectPath('/org/freedesktop/systemd1/job/1')


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o', sender_keyword='sender')
def StopUnit(self, name, mode, sender=None):
    _authorize(self, sender, MANAGE_UNITS)
    name = str(name)
    if name not in self.units:
        raise _no_such_unit(name)
    _stop(self, name)
    _set_active(self, name, 'inactive')
    return dbus.ObjectPath('/org/freedesktop/systemd1/job/2')


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o', sender_keyword='sender')
def RestartUnit(self, name, mode, sender=None):
    _authorize(self, sender, MANAGE_UNITS)
    name = str(name)
    if name not in self.units:
        raise _no_such_unit(name)
    _stop(self, name)
    _start(self, name)
    return dbus.ObjectPath('/org/freedesktop/systemd1/job/3')


@dbus.service.method(MOCK_IFACE, in_signature='ssa{ss}', out_signature='')
def ConfigureUnits(self, folder, root, environment):
    self.unit_folder, self.unit_root = str(folder), str(root)
    self.unit_environment = {str(key): str(value) for key, value in environment.items()}


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def StopAllUnits(self):
    for name in list(self.unit_processes):
        _stop(self, name)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='aas')
def UnitCalls(self, method):
    calls = []
    for _, called, arguments in self.call_log:
        if called == method:
            first = arguments[0] if arguments else []
            calls.append([str(value) for value in first] if isinstance(first, list) else [str(first)])
    return dbus.Array(calls, signature='as')


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='i')
def UnitProcess(self, name):
    process = self.unit_processes.get(str(name))
    return process.pid if process is not None and process.poll() is None else 0

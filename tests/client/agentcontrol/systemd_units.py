# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
#
# What systemd's manager does with unit files and processes, added to python-dbusmock's systemd
# template by the agent control tests: Reload loads the units whose files exist in the configured
# folder and drops the others, StartUnit runs the unit's ExecStart, StopUnit ends that process and
# waits for it, as systemd's own stop job does. UnitCalls lists each logged call's first argument.
import os
import shlex
import subprocess

import dbus

UNIT_IFACE = 'org.freedesktop.systemd1.Unit'


def _no_such_unit(name):
    return dbus.exceptions.DBusException(f'Unit {name} not loaded.', name='org.freedesktop.systemd1.NoSuchUnit')


def _processes(mock):
    if not hasattr(mock, 'unit_processes'):
        mock.unit_processes = {}
    return mock.unit_processes


def _unit_files(mock):
    folder = getattr(mock, 'unit_folder', '')
    if not folder or not os.path.isdir(folder):
        return set()
    return {name for name in os.listdir(folder) if name.endswith('.service')}


def _running(mock, name):
    process = _processes(mock).get(name)
    return process is not None and process.poll() is None


def configure(mock, objects, args):
    mock.unit_folder, mock.unit_root, environment = str(args[0]), str(args[1]), args[2]
    mock.unit_environment = {str(key): str(value) for key, value in environment.items()}


def reload(mock, objects, args):
    present = _unit_files(mock)
    for name in present:
        if name not in mock.units:
            mock.AddMockUnit(name)
    for name in list(mock.units):
        if name not in present and not _running(mock, name):
            mock.RemoveObject(mock.units.pop(name))


def enable_unit_files(mock, objects, args):
    present = _unit_files(mock)
    for name in args[0]:
        if str(name) not in present:
            raise dbus.exceptions.DBusException(f'Unit file {name} does not exist.',
                                                name='org.freedesktop.DBus.Error.FileNotFound')
    return (dbus.Boolean(False), dbus.Array([], signature='(sss)'))


def disable_unit_files(mock, objects, args):
    return dbus.Array([], signature='(sss)')


def start_unit(mock, objects, args):
    name = str(args[0])
    if name not in mock.units:
        raise _no_such_unit(name)
    with open(os.path.join(mock.unit_folder, name), encoding='utf-8') as unit:
        lines = [line.strip() for line in unit if line.strip().startswith('ExecStart=')]
    argv = shlex.split(lines[-1][len('ExecStart='):])
    if mock.unit_root and os.path.exists(mock.unit_root + argv[0]):
        argv[0] = mock.unit_root + argv[0]
    if not _running(mock, name):
        _processes(mock)[name] = subprocess.Popen(argv, env=dict(mock.unit_environment))
    objects[mock.units[name]].UpdateProperties(UNIT_IFACE, {'ActiveState': 'active'})
    return '/org/freedesktop/systemd1/job/1'


def stop_unit(mock, objects, args):
    name = str(args[0])
    if name not in mock.units:
        raise _no_such_unit(name)
    _stop(mock, name)
    objects[mock.units[name]].UpdateProperties(UNIT_IFACE, {'ActiveState': 'inactive'})
    return '/org/freedesktop/systemd1/job/2'


def unit_calls(mock, objects, args):
    calls = []
    for _, method, arguments in mock.call_log:
        if method == args[0]:
            first = arguments[0] if arguments else []
            calls.append([str(value) for value in first] if isinstance(first, list) else [str(first)])
    return dbus.Array(calls, signature='as')


def stop_all(mock, objects, args):
    for name in list(_processes(mock)):
        _stop(mock, name)


def _stop(mock, name):
    process = _processes(mock).pop(name, None)
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()

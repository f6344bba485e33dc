# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
#
# python-dbusmock template for the agent control tests: polkit's authority as an administrator at
# the keyboard meets it. A process whose environment holds RESTWATCH_TEST_ROOT=1 (what the tests'
# pkexec runs) counts as root and is always authorized. For anybody else, an action in the allowed
# list is granted after one password prompt when the caller allows interaction, and then kept for
# the caller's later checks (auth_admin_keep); any other action is refused, after a prompt when
# interaction was allowed. Prompts() lists the action of every prompt, oldest first.
import dbus
from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.PolicyKit1'
MAIN_OBJ = '/org/freedesktop/PolicyKit1/Authority'
MAIN_IFACE = 'org.freedesktop.PolicyKit1.Authority'
SYSTEM_BUS = True


def load(mock, _parameters):
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({
        'BackendName': 'local',
        'BackendVersion': '0.8.15',
        'BackendFeatures': dbus.UInt32(1, variant_level=1),
    }, signature='sv'))
    mock.allowed_actions = set()
    mock.temporary = set()
    mock.prompts = []


def _pid(mock, subject):
    kind, details = subject
    if kind == 'unix-process':
        return int(details['pid'])
    if kind == 'system-bus-name':
        bus = mock.connection.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus')
        return int(bus.GetConnectionUnixProcessID(details['name'], dbus_interface='org.freedesktop.DBus'))
    return 0


def _is_root(pid):
    try:
        with open(f'/proc/{pid}/environ', 'rb') as environ:
            return b'RESTWATCH_TEST_ROOT=1' in environ.read().split(b'\0')
    except OSError:
        return False


@dbus.service.method(MAIN_IFACE, in_signature='(sa{sv})sa{ss}us', out_signature='(bba{ss})')
def CheckAuthorization(self, subject, action_id, _details, flags, _cancellation_id):
    action = str(action_id)
    interactive = bool(flags & 1)
    if _is_root(_pid(self, subject)) or action in self.temporary:
        return (True, False, dbus.Dictionary({}, signature='ss'))
    if interactive:
        self.prompts.append(action)
    if action in self.allowed_actions:
        if interactive:
            self.temporary.add(action)
            return (True, False, dbus.Dictionary({}, signature='ss'))
        return (False, True, dbus.Dictionary({}, signature='ss'))
    return (False, False, dbus.Dictionary({}, signature='ss'))


@dbus.service.method(MAIN_IFACE, in_signature='(sa{sv})ss')
def RegisterAuthenticationAgent(_self, _subject, _locale, _object_path):
    pass


@dbus.service.method(MOCK_IFACE, in_signature='as', out_signature='')
def SetAllowed(self, actions):
    '''The actions an administrator's password is given for; forgets kept authorizations and prompts.'''
    self.allowed_actions = {str(action) for action in actions}
    self.temporary = set()
    self.prompts = []


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Prompts(self):
    return dbus.Array(self.prompts, signature='s')

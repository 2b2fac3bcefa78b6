#!/usr/bin/env python3
"""A desktop portal stand-in for Kelpie's portal tests.

It owns org.freedesktop.portal.Desktop and
org.freedesktop.impl.portal.PermissionStore on the bus given with --address
and serves the parts of the Screenshot, GlobalShortcuts, host Registry and
permission store interfaces Kelpie uses. The test tells it how to answer
through the io.kelpie.test.FakePortal interface on the desktop object and
reads back every call it received.
"""

import argparse
import json

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

DESKTOP_NAME = 'org.freedesktop.portal.Desktop'
DESKTOP_PATH = '/org/freedesktop/portal/desktop'
STORE_NAME = 'org.freedesktop.impl.portal.PermissionStore'
STORE_PATH = '/org/freedesktop/impl/portal/PermissionStore'
SCREENSHOT = 'org.freedesktop.portal.Screenshot'
SHORTCUTS = 'org.freedesktop.portal.GlobalShortcuts'
REGISTRY = 'org.freedesktop.host.portal.Registry'
REQUEST = 'org.freedesktop.portal.Request'
CONTROL = 'io.kelpie.test.FakePortal'
APP_ID = 'io.kelpie.Kelpie'


def plain(value):
    """A D-Bus value as JSON-ready Python data."""
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.String, dbus.ObjectPath, str)):
        return str(value)
    if isinstance(value, float):
        return float(value)
    return int(value)


def object_path_element(sender):
    return sender[1:].replace('.', '_')


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, DESKTOP_PATH)
        self.bus = bus
        # method name -> answers still to give, each a dict with code,
        # results and timing
        self.answers = {}
        self.calls = []
        self.permission = ''
        self.registry = True
        self.shortcuts_version = 1

    def record(self, method, sender, args):
        self.calls.append({'method': method, 'sender': str(sender), 'args': plain(args)})

    def respond(self, path, code, results):
        message = dbus.lowlevel.SignalMessage(path, REQUEST, 'Response')
        message.append(dbus.UInt32(code), dbus.Dictionary(results, signature='sv'),
                       signature='ua{sv}')
        self.bus.send_message(message)
        return False

    def request(self, method, sender, options, defaults=None):
        """Answers a call through its Request as the test asked; returns the handle."""
        queue = self.answers.get(method, [])
        answer = queue.pop(0) if queue else {'code': 0, 'results': {}, 'timing': 'after'}
        results = dict(defaults or {})
        results.update(answer['results'])
        token = str(options.get('handle_token', 'untokened'))
        path = f'{DESKTOP_PATH}/request/{object_path_element(sender)}/{token}'
        timing = answer['timing']
        if timing == 'elsewhere':
            # An older portal: the handle is not the one the token predicts.
            path = f'{DESKTOP_PATH}/request/elsewhere/{token}'
        if timing == 'before':
            self.respond(path, answer['code'], results)
        elif timing in ('after', 'elsewhere'):
            GLib.timeout_add(20, self.respond, path, answer['code'], results)
        return dbus.ObjectPath(path)

    # --- the portal ---

    @dbus.service.method(REGISTRY, in_signature='sa{sv}', out_signature='',
                         sender_keyword='sender')
    def Register(self, app_id, options, sender=None):
        if not self.registry:
            raise dbus.exceptions.DBusException(
                'No such interface', name='org.freedesktop.DBus.Error.UnknownMethod')
        self.record('Register', sender, [app_id, options])

    @dbus.service.method(SCREENSHOT, in_signature='sa{sv}', out_signature='o',
                         sender_keyword='sender')
    def Screenshot(self, parent_window, options, sender=None):
        self.record('Screenshot', sender, [parent_window, options])
        return self.request('Screenshot', sender, options)

    @dbus.service.method(SHORTCUTS, in_signature='a{sv}', out_signature='o',
                         sender_keyword='sender')
    def CreateSession(self, options, sender=None):
        self.record('CreateSession', sender, [options])
        token = str(options.get('session_handle_token', 'untokened'))
        session = f'{DESKTOP_PATH}/session/{object_path_element(sender)}/{token}'
        return self.request('CreateSession', sender, options, {'session_handle': session})

    @dbus.service.method(SHORTCUTS, in_signature='oa(sa{sv})sa{sv}', out_signature='o',
                         sender_keyword='sender')
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        self.record('BindShortcuts', sender, [session, shortcuts, parent_window, options])
        return self.request('BindShortcuts', sender, options, {'shortcuts': shortcuts})

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v',
                         sender_keyword='sender')
    def Get(self, interface, name, sender=None):
        self.record('Get', sender, [interface, name])
        if interface == SHORTCUTS and name == 'version' and self.shortcuts_version:
            return dbus.UInt32(self.shortcuts_version)
        raise dbus.exceptions.DBusException(
            'No such property', name='org.freedesktop.DBus.Error.InvalidArgs')

    # --- what the test tells it ---

    @dbus.service.method(CONTROL, in_signature='sua{sv}s', out_signature='')
    def Answer(self, method, code, results, timing):
        """Queues the answer to the next call of `method`: response `code`
        with `results`, sent 'after' the call returns, 'before' it returns,
        'never', or 'elsewhere' (after, on a handle the token does not
        predict)."""
        self.answers.setdefault(str(method), []).append(
            {'code': int(code), 'results': dict(results), 'timing': str(timing)})

    @dbus.service.method(CONTROL, in_signature='s', out_signature='')
    def SetPermission(self, entry):
        """The application's screenshot permission: 'yes', 'no' or '' (none)."""
        self.permission = str(entry)

    @dbus.service.method(CONTROL, in_signature='b', out_signature='')
    def SetRegistry(self, present):
        self.registry = bool(present)

    @dbus.service.method(CONTROL, in_signature='u', out_signature='')
    def SetShortcutsVersion(self, version):
        """0 leaves the shortcuts interface's version out, as a portal without it."""
        self.shortcuts_version = int(version)

    @dbus.service.method(CONTROL, in_signature='os', out_signature='')
    def Activate(self, session, shortcut_id):
        message = dbus.lowlevel.SignalMessage(DESKTOP_PATH, SHORTCUTS, 'Activated')
        message.append(dbus.ObjectPath(session), shortcut_id, dbus.UInt64(1234),
                       dbus.Dictionary({}, signature='sv'), signature='osta{sv}')
        self.bus.send_message(message)

    @dbus.service.method(CONTROL, in_signature='', out_signature='s')
    def Calls(self):
        return json.dumps(self.calls)


class PermissionStore(dbus.service.Object):
    def __init__(self, bus, portal):
        super().__init__(bus, STORE_PATH)
        self.portal = portal

    @dbus.service.method(STORE_NAME, in_signature='ss', out_signature='a{sas}v')
    def Lookup(self, table, entry_id):
        self.portal.record('Lookup', '', [table, entry_id])
        if table != 'screenshot' or entry_id != 'screenshot' or not self.portal.permission:
            raise dbus.exceptions.DBusException(
                'No entry', name='org.freedesktop.portal.Error.NotFound')
        permissions = dbus.Dictionary({APP_ID: dbus.Array([self.portal.permission],
                                                          signature='s')}, signature='sas')
        return permissions, dbus.String('', variant_level=1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--address', required=True)
    arguments = parser.parse_args()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(arguments.address)
    portal = Portal(bus)
    PermissionStore(bus, portal)
    # Names last: a test waits for them, and then everything is in place.
    names = [dbus.service.BusName(STORE_NAME, bus), dbus.service.BusName(DESKTOP_NAME, bus)]
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _connection: loop.quit())
    loop.run()
    del names


if __name__ == '__main__':
    main()

#!/usr/bin/python3
"""A minimal desktop notification service on the session bus. It keeps every Notify call, hands
them out as JSON through Shown(), and emits ActionInvoked when a test calls Invoke()."""
import json

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
TEST = "org.vornask.TestNotifications"


class Service(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.shown = []
        self.last_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if replaces == 0:
            self.last_id += 1
        self.shown.append({"app": str(app), "replaces": int(replaces), "icon": str(icon),
                           "summary": str(summary), "body": str(body),
                           "actions": [str(a) for a in actions], "timeout": int(timeout)})
        return replaces or self.last_id

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        self.NotificationClosed(nid, 3)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ["stand-in", "vornask tests", "1", "1.2"]

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, nid, key):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.method(TEST, in_signature="", out_signature="s")
    def Shown(self):
        return json.dumps(self.shown)

    @dbus.service.method(TEST, in_signature="us", out_signature="")
    def Invoke(self, nid, key):
        self.ActionInvoked(nid, key)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    service = Service(bus)
    name = dbus.service.BusName(NAME, bus)
    GLib.MainLoop().run()
    del service, name


if __name__ == "__main__":
    main()

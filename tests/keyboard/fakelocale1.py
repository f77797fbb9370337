#!/usr/bin/python3
# A stand-in for systemd-localed on a private bus: answers mutter's one
# question at start, the keyboard layout (org.freedesktop.locale1 X11Layout,
# X11Variant, X11Options), with the layout, variant and options given as
# arguments.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

Interface = "org.freedesktop.locale1"


class Locale(dbus.service.Object):
    def __init__(self, bus, properties):
        super().__init__(bus, "/org/freedesktop/locale1")
        self.properties = properties

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
layout, variant, options = (sys.argv[1:] + ["", "", ""])[:3]
service = Locale(bus, {"X11Layout": layout, "X11Model": "pc105", "X11Variant": variant, "X11Options": options})
name = dbus.service.BusName(Interface, bus)
GLib.MainLoop().run()

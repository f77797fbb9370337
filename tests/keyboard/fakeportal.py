#!/usr/bin/python3
# A desktop portal of version 2 on a private bus, which Debian 12 cannot
# run (its portal is version 1 and keeps no grant): it grants the keyboard
# without asking, hands out a new restore token at each start, and writes
# the options of each SelectDevices to the file given as argument, a line
# each. Keys go nowhere.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PATH = "/org/freedesktop/portal/desktop"
REMOTE_DESKTOP = "org.freedesktop.portal.RemoteDesktop"


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Portal(dbus.service.Object):
    starts = 0

    def answer(self, sender, options, results):
        path = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), options["handle_token"])
        request = Request(bus, path)
        GLib.idle_add(lambda: request.Response(dbus.UInt32(0), dbus.Dictionary(results, signature="sv")))
        return dbus.ObjectPath(path)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return {"version": dbus.UInt32(2), "AvailableDeviceTypes": dbus.UInt32(1)}[name]

    @dbus.service.method(REMOTE_DESKTOP, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        return self.answer(sender, options, {"session_handle": PATH + "/session/1"})

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectDevices(self, session, options, sender):
        with open(sys.argv[1], "a") as log:
            log.write("persist_mode=%s restore_token=%s\n"
                      % (options.get("persist_mode", ""), options.get("restore_token", "")))
        return self.answer(sender, options, {})

    @dbus.service.method(REMOTE_DESKTOP, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent, options, sender):
        self.starts += 1
        return self.answer(sender, options, {"devices": dbus.UInt32(1), "restore_token": "granted-%d" % self.starts})

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oa{sv}iu")
    def NotifyKeyboardKeycode(self, session, options, keycode, state):
        pass


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
portal = Portal(bus, PATH)
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus, replace_existing=True)
GLib.MainLoop().run()

#!/usr/bin/python3
"""A receiver built on GTK 3's keyboard handling (GDK's keymap and its input
method): a text view that keeps OUTPUT_FILE equal to its text (UTF-8) and
writes its X window id to ID_FILE once it is shown. Used by the typing tests.

Usage: gtktextreceiver.py OUTPUT_FILE ID_FILE
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import GdkX11, GLib, Gtk  # GdkX11: the GDK window then has get_xid


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    output, id_file = sys.argv[1], sys.argv[2]
    # Whole files replaced at once: a reader never sees one half written.
    GLib.file_set_contents(output, b"")
    window = Gtk.Window(default_width=600, default_height=400)
    view = Gtk.TextView()
    window.add(view)
    buffer = view.get_buffer()
    saving = []

    def save_text():
        saving.clear()
        GLib.file_set_contents(output, buffer.props.text.encode("utf-8"))
        return GLib.SOURCE_REMOVE

    def changed(_buffer):
        # Saved 20 ms after the first change since the last save, with what came meanwhile.
        if not saving:
            saving.append(GLib.timeout_add(20, save_text))
    buffer.connect("changed", changed)

    def mapped(*_):
        GLib.file_set_contents(id_file, str(window.get_window().get_xid()).encode())
        return False
    window.connect("map-event", mapped)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    view.grab_focus()
    Gtk.main()


main()

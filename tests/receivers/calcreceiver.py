#!/usr/bin/python3
"""A receiver in a spreadsheet: LibreOffice Calc on its own X11 toolkit
(SAL_USE_VCLPLUGIN=gen), or with --gtk on GTK 3, with a new sheet whose
first cell has the focus. Keeps OUTPUT_FILE equal to the texts of column A,
each followed by a line feed (a Return ends a cell and moves down), and
writes the window's id to ID_FILE once the sheet is shown. The cells are
read over UNO from a pipe the office accepts on.

Usage: calcreceiver.py [--gtk] OUTPUT_FILE ID_FILE
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import uno


def save(path, data):
    temporary = path + ".new"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def connect(pipe, deadline):
    resolver = uno.getComponentContext().ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", uno.getComponentContext())
    while True:
        try:
            return resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        except Exception:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


def main():
    arguments = sys.argv[1:]
    gtk = arguments[:1] == ["--gtk"]
    if gtk:
        arguments = arguments[1:]
    if len(arguments) != 2:
        sys.exit(__doc__)
    output, id_file = arguments
    work = tempfile.mkdtemp(prefix="bexlow-calc.")
    pipe = os.path.basename(work)
    environment = dict(os.environ, SAL_USE_VCLPLUGIN="gtk3" if gtk else "gen")
    office = subprocess.Popen(
        ["soffice", "-env:UserInstallation=file://" + work, "--accept=pipe,name=%s;urp;" % pipe,
         "--norestore", "--nologo", "--nofirststartwizard", "--calc"],
        env=environment, start_new_session=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        save(output, b"")
        deadline = time.monotonic() + 90
        context = connect(pipe, deadline)
        desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
        document = None
        while document is None or not hasattr(document, "Sheets"):
            document = desktop.getCurrentComponent()
            time.sleep(0.1)
        cells = document.Sheets.getByIndex(0)
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "LibreOffice Calc"],
                                capture_output=True, text=True, timeout=60).stdout.split()[-1]
        save(id_file, window.encode())
        saved = None
        while True:
            texts = []
            for (text,) in cells.getCellRangeByName("A1:A1000").getDataArray():
                if text == "":
                    break
                texts.append("%s\n" % text)
            value = "".join(texts).encode("utf-8")
            if value != saved:
                save(output, value)
                saved = value
            time.sleep(0.1)
    finally:
        os.killpg(office.pid, signal.SIGKILL)
        office.wait()
        shutil.rmtree(work, ignore_errors=True)


main()

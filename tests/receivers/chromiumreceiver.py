#!/usr/bin/env python3
"""A receiver in a browser: Chromium showing a page with one focused text
area, in X11 mode or with --wayland natively on Wayland. Keeps OUTPUT_FILE
equal to the text area's value (UTF-8), writes the browser window's id (on
Wayland: "wayland") to ID_FILE once the page has the focus, and keeps
MODS_FILE, when given, equal to the number of key presses that came with
Ctrl, Alt or Meta.
The value is read over the DevTools protocol on a pipe (fds 3 and 4) every
50 ms. Used by the typing tests and the benchmark.

Usage: chromiumreceiver.py [--wayland] OUTPUT_FILE ID_FILE [MODS_FILE]
"""
import ctypes
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

PAGE = """<!doctype html><meta charset="utf-8"><title>bexlow receiver</title>
<textarea id="text" autofocus style="width:95vw;height:90vh"></textarea>
<script>
const text = document.getElementById('text');
let mods = 0;
text.addEventListener('keydown', e => { if (e.ctrlKey || e.altKey || e.metaKey) mods++; });
</script>
"""


class DevTools:
    """The DevTools protocol on Chromium's pipe: NUL-terminated JSON. Only
    replies are wanted: events and stray messages are passed over."""

    def __init__(self, to_browser, from_browser):
        self.to_browser, self.from_browser = to_browser, from_browser
        self.buffer = b""
        self.last_id = 0

    def send(self, method, session=None, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.read()
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def read(self):
        while b"\0" not in self.buffer:
            data = os.read(self.from_browser, 1 << 20)
            if not data:
                raise EOFError("the browser closed its DevTools pipe")
            self.buffer += data
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)


def save(path, data):
    """Whole files replaced at once: a reader never sees one half written."""
    temporary = path + ".new"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def start_browser(work, platform):
    to_browser_read, to_browser = os.pipe()
    from_browser, from_browser_write = os.pipe()
    libc = ctypes.CDLL(None, use_errno=True)

    def in_child():
        os.dup2(to_browser_read, 3)
        os.dup2(from_browser_write, 4)
        libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG: dies with this script
    browser = subprocess.Popen(
        ["chromium", "--no-sandbox", "--user-data-dir=" + os.path.join(work, "profile"), "--ozone-platform=" + platform,
         "--disable-gpu", "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--password-store=basic", "--remote-debugging-pipe",
         "--window-position=0,0", "--window-size=900,600", "--app=data:text/html," + urllib.parse.quote(PAGE)],
        preexec_fn=in_child, pass_fds=(3, 4, to_browser_read, from_browser_write), start_new_session=True,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "chromium.log"), "w"))
    os.close(to_browser_read)
    os.close(from_browser_write)
    return browser, DevTools(to_browser, from_browser)


def stop(browser):
    """Ends the browser and every process it started (its process group),
    which write to the profile until they are gone."""
    try:
        os.killpg(browser.pid, signal.SIGTERM)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            browser.poll()
            os.killpg(browser.pid, 0)
            time.sleep(0.05)
        os.killpg(browser.pid, signal.SIGKILL)
        time.sleep(0.2)
    except ProcessLookupError:
        pass
    browser.wait()


def main():
    arguments = sys.argv[1:]
    wayland = arguments[:1] == ["--wayland"]
    if wayland:
        arguments = arguments[1:]
    if len(arguments) not in (2, 3):
        sys.exit(__doc__)
    output, id_file = arguments[0], arguments[1]
    mods_file = arguments[2] if len(arguments) == 3 else None
    work = tempfile.mkdtemp(prefix="bexlow-chromium.")
    browser = None
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        save(output, b"")
        browser, devtools = start_browser(work, "wayland" if wayland else "x11")
        deadline = time.monotonic() + 60
        pages = []
        while not pages and time.monotonic() < deadline:
            pages = [t for t in devtools.send("Target.getTargets")["targetInfos"] if t["type"] == "page"]
            time.sleep(0.1)
        session = devtools.send("Target.attachToTarget", targetId=pages[0]["targetId"], flatten=True)["sessionId"]

        def evaluate(expression):
            return devtools.send("Runtime.evaluate", session, expression=expression, returnByValue=True)["result"].get("value")
        while evaluate("document.readyState") != "complete":
            time.sleep(0.05)
        # Keys typed before the page has the focus would be lost. On Wayland
        # the compositor gives the new window the focus by itself.
        window = "wayland"
        if not wayland:
            window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(browser.pid)],
                                    capture_output=True, text=True, timeout=30).stdout.split()[-1]
        while not evaluate("text.focus(), document.hasFocus() && document.activeElement === text"):
            if not wayland:
                subprocess.run(["xdotool", "windowfocus", "--sync", window], timeout=10)
            time.sleep(0.05)
        save(id_file, window.encode())
        saved, saved_mods = "", None
        while True:
            time.sleep(0.05)
            value, mods = evaluate("[text.value, mods]")
            if value != saved:
                save(output, value.encode("utf-8"))
                saved = value
            if mods_file and mods != saved_mods:
                save(mods_file, str(mods).encode())
                saved_mods = mods
    except EOFError:
        pass
    finally:
        if browser:
            stop(browser)
        shutil.rmtree(work, ignore_errors=True)


main()

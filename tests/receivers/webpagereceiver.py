#!/usr/bin/env python3
"""Serves a page with one text area on 127.0.0.1 (the port goes to PORT_FILE)
and keeps OUTPUT_FILE equal to the area's text (UTF-8), MODS_FILE to the
number of key presses that came with Ctrl, Alt or Meta.
Usage: webpagereceiver.py OUTPUT_FILE MODS_FILE PORT_FILE"""
import http.server
import os
import sys

PAGE = b"""<!doctype html><meta charset="utf-8"><title>receiver</title>
<textarea id="t" autofocus style="width:95vw;height:90vh"></textarea>
<script>
const t = document.getElementById('t'); let mods = 0, last = null;
t.addEventListener('keydown', e => { if (e.ctrlKey || e.altKey || e.metaKey) mods++; });
t.focus();
setInterval(() => {
  const now = JSON.stringify([t.value, mods]);
  if (now !== last) { last = now; fetch('/', {method: 'POST', body: now}); }
}, 50);
</script>"""


def replace(path, data):
    with open(path + '.new', 'wb') as f:
        f.write(data)
    os.replace(path + '.new', path)


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.end_headers()
        self.wfile.write(PAGE)

    def do_POST(self):
        import json
        text, mods = json.loads(self.rfile.read(int(self.headers['Content-Length'])))
        replace(sys.argv[1], text.encode('utf-8', 'surrogatepass'))
        replace(sys.argv[2], str(mods).encode())
        self.send_response(204)
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
replace(sys.argv[3], str(server.server_address[1]).encode())
server.serve_forever()

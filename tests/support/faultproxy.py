#!/usr/bin/env python3
"""Stands between the program and a CardDAV server on loopback and fails the
way networks and servers do, at the requests a rules file names.

    faultproxy.py SERVER_PORT RULES LOG

Prints the port it listens on, then forwards every request. Before each
request it reads RULES, lines of "METHOD N ACTION [SECONDS]": the Nth request
of METHOD counted since the rules last changed meets ACTION:

    drop        the connection closed before the request reaches the server
    drop-after  the server answers, the connection is closed instead of the answer
    delay S     forwarded after S seconds
    415, 500... answered so, never forwarded; a 4xx with a message, as
                sabre/dav (Nextcloud's server) gives one
    500-after   forwarded, and the server's answer replaced by 500
    503 S       answered 503 with Retry-After: S, never forwarded (429 S likewise)
    rename      stored under another name ("x" before its own), said in Location
    truncate    the server's list of cards answered with none of them and, as
                RFC 6578 marks a list cut short, a 507 for the address book

Each request is logged to LOG as "time METHOD path status-or-action".
"""

import http.client
import http.server
import re
import socket
import struct
import sys
import threading
import time
from http import HTTPStatus

server_port, rules_path, log_path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
lock = threading.Lock()
counts = {}
rules_seen = None

def action_for(method):
    global rules_seen
    try:
        with open(rules_path) as f:
            rules = f.read()
    except FileNotFoundError:
        rules = ""
    with lock:
        if rules != rules_seen:
            rules_seen = rules
            counts.clear()
        counts[method] = counts.get(method, 0) + 1
        for line in rules.splitlines():
            words = line.split()
            if len(words) >= 3 and words[0] == method and words[1] in ("*", str(counts[method])):
                return words[2], float(words[3]) if len(words) > 3 else 0.0
    return None, 0.0


def log(method, path, what):
    with lock, open(log_path, "a") as f:
        f.write(f"{time.monotonic():.3f} {method} {path} {what}\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def drop(self):
        # Reset, not a tidy close: the client sees the connection break, as when a network goes.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True

    def answer(self, status, reason, headers, body):
        self.send_response_only(status, reason)
        for name, value in headers:
            if name.lower() not in ("transfer-encoding", "connection", "content-length", "keep-alive"):
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def forward(self):
        method = self.command
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        action, seconds = action_for(method)
        log(method, self.path, action or "forwarded")
        if action == "drop":
            return self.drop()
        if action == "delay":
            time.sleep(seconds)
        if action and action.isdigit():
            retry = [("Retry-After", str(int(seconds)))] if action in ("503", "429") else []
            message = b'<d:error xmlns:d="DAV:" xmlns:s="http://sabredav.org/ns"><s:message>Refused by the proxy</s:message></d:error>'
            return self.answer(int(action), HTTPStatus(int(action)).phrase, retry, message if action[0] == "4" else b"")
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("connection", "keep-alive")}
        path = self.path
        if action == "rename":
            path = path[:path.rindex("/") + 1] + "x" + path[path.rindex("/") + 1:]
        upstream = http.client.HTTPConnection("127.0.0.1", server_port, timeout=120)
        upstream.request(method, path, body, headers)
        response = upstream.getresponse()
        data = response.read()
        upstream.close()
        log(method, self.path, str(response.status))
        if action == "drop-after":
            return self.drop()
        if action == "500-after":
            return self.answer(500, HTTPStatus(500).phrase, [], b"")
        if action == "truncate":
            data = re.sub(rb"<(\w+:)?response>.*?</(\w+:)?response>", b"", data, flags=re.S)
            cut = ('<D:response xmlns:D="DAV:"><D:href>%s</D:href><D:status>HTTP/1.1 507 Insufficient Storage'
                   '</D:status></D:response>' % path).encode()
            data = re.sub(rb"<(\w+:)?sync-token>", lambda token: cut + token.group(0), data, count=1)
        located = [("Location", path)] if action == "rename" else []
        self.answer(response.status, response.reason, response.getheaders() + located, data)


for verb in ("GET", "HEAD", "PUT", "DELETE", "POST", "OPTIONS", "PROPFIND", "PROPPATCH", "REPORT", "MKCOL"):
    setattr(Handler, "do_" + verb, Handler.forward)

proxy = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(proxy.server_address[1], flush=True)
proxy.serve_forever()

#!/usr/bin/env python3
"""An imitation of the update server for the tests: HTTPS on localhost.

It makes a throw-away certificate authority and a certificate for the host
"localhost" signed by it (with the openssl command, into the folder given with
--dir; nothing of it is kept anywhere else), and serves three origins, each
on a free port the system picks:

  a          the base origin, certificate from the throw-away authority
  b          another origin with the same certificate: where redirects go
  untrusted  a certificate for localhost from a second authority that no
             test ever trusts

What each origin serves comes from the routes file (--routes), read again for
every request so that a test can change it while the server runs:

  {"a": {"/quorvane/stable.json": ROUTE, ...}, "b": {...}, "untrusted": {...}}

A ROUTE is an object with any of these members:

  status    the status code (200 when absent)
  location  the Location header, for a redirect
  json      a JSON value sent as the body; an object goes out as an update
            manifest signed with the tests' key, as scripts/sign-manifest.py
            signs a release's
  signed    for a json object: "good" (the default), "none" (no signature),
            "bad" (the signature of other bytes) or "tampered" (signed, then
            its version changed)
  text      a text sent as the body
  file      a file sent as the body (relative to the routes file's folder)
  pattern   that many bytes of the pattern byte i = (i * 7 + 3) % 251,
            made while sending, never held whole in memory
  length    false: no Content-Length; the body ends when the connection closes
  cut       close the connection after this many bytes of the body, whatever
            the Content-Length promised

In every text of a route, "{a}", "{b}" and "{untrusted}" stand for the
origin's address (https://localhost:PORT). A path without a route is a 404.

Every request is appended to requests.log in the folder as one JSON object
per line, written before the answer goes out:
  {"origin": "a", "method": "GET", "path": "/quorvane/stable.json?x=1",
   "authorization": "Bearer ..." or null, "accept": ..., "userAgent": ...}

When the server listens it writes ready.json into the folder:
  {"a": PORT, "b": PORT, "untrusted": PORT, "ca": "FOLDER/ca.der",
   "log": "FOLDER/requests.log"}
It ends on SIGTERM, and by itself once the process given with --parent is gone.
"""

import argparse
import http.server
import json
import os
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import runpy
import types

HERE = os.path.dirname(os.path.abspath(__file__))
TEST_KEY = os.path.join(HERE, "..", "..", "keys", "update-test-key.pem")


def load_signer():
    # The release script's own functions, so the tests sign as a release does.
    names = runpy.run_path(os.path.join(HERE, "..", "..", "..", "scripts", "sign-manifest.py"),
                           run_name="sign_manifest")
    return types.SimpleNamespace(**names)


signer = load_signer()


def manifest_body(value, how):
    unsigned = (json.dumps(value, indent=2, ensure_ascii=False) + "\n").encode("utf-8")
    if how == "none":
        return unsigned
    if how == "bad":
        return signer.add_signature(unsigned, signer.signature_of(unsigned + b" ", TEST_KEY))
    signed = signer.sign_bytes(unsigned, TEST_KEY)
    if how == "tampered":
        signed = signed.replace(b'"version": "', b'"version": "9', 1)
    return signed

ORIGINS = ("a", "b", "untrusted")
CHUNK = 64 * 1024
# One whole number of periods of the pattern, so that repeating the block
# continues the pattern.
PATTERN_BLOCK = bytes((i * 7 + 3) % 251 for i in range(251 * 256))


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_authority(folder, name, subject):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
            "-keyout", name + ".key", "-out", name + ".pem", "-subj", subject,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)


def make_server_certificate(folder, authority, name):
    with open(os.path.join(folder, "server.ext"), "w", encoding="ascii") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=DNS:localhost\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
            "-out", name + ".csr", "-subj", "/CN=localhost", cwd=folder)
    openssl("x509", "-req", "-sha256", "-days", "2", "-in", name + ".csr",
            "-CA", authority + ".pem", "-CAkey", authority + ".key", "-set_serial",
            str(int(time.time() * 1000)), "-extfile", "server.ext", "-out", name + ".pem",
            cwd=folder)


def make_certificates(folder):
    make_authority(folder, "ca", "/CN=Quorvane test authority")
    make_server_certificate(folder, "ca", "server")
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=folder)
    make_authority(folder, "other-ca", "/CN=Quorvane untrusted authority")
    make_server_certificate(folder, "other-ca", "untrusted")


def tls_context(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return context


class RequestLog:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8")

    def add(self, entry):
        with self.lock:
            self.file.write(json.dumps(entry) + "\n")
            self.file.flush()


def fill(value, origins):
    """Replaces the origin placeholders in every text of a route."""
    if isinstance(value, str):
        for name, address in origins.items():
            value = value.replace("{" + name + "}", address)
        return value
    if isinstance(value, list):
        return [fill(v, origins) for v in value]
    if isinstance(value, dict):
        return {k: fill(v, origins) for k, v in value.items()}
    return value


def pattern_pieces(size):
    offset = 0
    while offset < size:
        start = offset % len(PATTERN_BLOCK)
        piece = PATTERN_BLOCK[start:start + min(CHUNK, size - offset)]
        offset += len(piece)
        yield piece


def file_pieces(path):
    with open(path, "rb") as f:
        while True:
            piece = f.read(CHUNK)
            if not piece:
                return
            yield piece


class Handler(http.server.BaseHTTPRequestHandler):
    # One request per connection; a body without Content-Length ends with it.
    protocol_version = "HTTP/1.0"
    server_version = "QuorvaneImitation/1"

    def setup(self):
        self.request.settimeout(60)
        self.request = self.server.tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        server = self.server
        server.requests.add({
            "origin": server.name,
            "method": self.command,
            "path": self.path,
            "authorization": self.headers.get("Authorization"),
            "accept": self.headers.get("Accept"),
            "userAgent": self.headers.get("User-Agent"),
        })
        route = self.route()
        if route is None:
            route = {"status": 404, "text": "no route for " + self.path.split("?")[0]}
        self.answer(fill(route, server.addresses))

    def route(self):
        try:
            with open(self.server.routes_path, encoding="utf-8") as f:
                routes = json.load(f)
        except (OSError, ValueError) as e:
            return {"status": 500, "text": "routes file unreadable: %s" % e}
        return routes.get(self.server.name, {}).get(self.path.split("?")[0])

    def answer(self, route):
        content_type = "application/octet-stream"
        if "json" in route and isinstance(route["json"], dict):
            data = manifest_body(route["json"], route.get("signed", "good"))
            size, pieces, content_type = len(data), [data], "application/json"
        elif "json" in route:
            data = json.dumps(route["json"]).encode("utf-8")
            size, pieces, content_type = len(data), [data], "application/json"
        elif "file" in route:
            path = os.path.join(os.path.dirname(self.server.routes_path), route["file"])
            size, pieces = os.path.getsize(path), file_pieces(path)
        elif "pattern" in route:
            size, pieces = int(route["pattern"]), pattern_pieces(int(route["pattern"]))
        else:
            data = route.get("text", "").encode("utf-8")
            size, pieces, content_type = len(data), [data], "text/plain; charset=utf-8"

        self.send_response(int(route.get("status", 200)))
        self.send_header("Content-Type", content_type)
        if "location" in route:
            self.send_header("Location", route["location"])
        if route.get("length", True):
            self.send_header("Content-Length", str(size))
        self.end_headers()

        budget = int(route.get("cut", size))
        try:
            for piece in pieces:
                if budget <= 0:
                    break
                piece = piece[:budget]
                self.wfile.write(piece)
                budget -= len(piece)
            self.wfile.flush()
        except (OSError, ssl.SSLError):
            # The client stopped reading: a refused body is not read to its end.
            pass
        self.close_connection = True


class OriginServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def __init__(self, name, context, routes_path, requests, host="127.0.0.1", port=0):
        self.name = name
        self.tls = context
        self.routes_path = routes_path
        self.requests = requests
        self.addresses = {}
        super().__init__((host, port), Handler)

    def handle_error(self, request, client_address):
        # A refused certificate or a dropped connection is part of the tests.
        error = sys.exc_info()[1]
        sys.stderr.write("%s: %s: %s\n" % (self.name, type(error).__name__, error))


class OriginServer6(OriginServer):
    address_family = socket.AF_INET6


def watch_parent(pid):
    while True:
        time.sleep(1)
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            os._exit(0)
        except PermissionError:
            pass


def main():
    parser = argparse.ArgumentParser(description="imitation update server over HTTPS")
    parser.add_argument("--dir", required=True, help="folder for the certificates, the log and ready.json")
    parser.add_argument("--routes", required=True, help="the routes file (JSON)")
    parser.add_argument("--parent", type=int, help="end once this process is gone")
    args = parser.parse_args()

    folder = os.path.abspath(args.dir)
    os.makedirs(folder, exist_ok=True)
    make_certificates(folder)
    requests = RequestLog(os.path.join(folder, "requests.log"))
    routes_path = os.path.abspath(args.routes)

    servers = {}
    listeners = []
    for name in ORIGINS:
        context = tls_context(folder, "untrusted" if name == "untrusted" else "server")
        servers[name] = OriginServer(name, context, routes_path, requests)
        listeners.append(servers[name])
        # Where "localhost" also names ::1, a client may try that first.
        try:
            listeners.append(OriginServer6(name, context, routes_path, requests, "::1",
                                           servers[name].server_address[1]))
        except OSError:
            pass
    addresses = {name: "https://localhost:%d" % s.server_address[1] for name, s in servers.items()}
    for s in listeners:
        s.addresses = addresses
        threading.Thread(target=s.serve_forever, daemon=True).start()

    ready = {name: s.server_address[1] for name, s in servers.items()}
    ready["ca"] = os.path.join(folder, "ca.der")
    ready["log"] = os.path.join(folder, "requests.log")
    with open(os.path.join(folder, "ready.json.tmp"), "w", encoding="utf-8") as f:
        json.dump(ready, f)
    os.replace(os.path.join(folder, "ready.json.tmp"), os.path.join(folder, "ready.json"))

    if args.parent:
        threading.Thread(target=watch_parent, args=(args.parent,), daemon=True).start()
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Loopback peers for the tests and the demo: an HTTP and an HTTPS server with
test endpoints, and a proxy that stands in for any host name (it answers
CONNECT itself, with a certificate from the test authority). Requests for a
virtual-hosted S3 name are checked like S3 does, with botocore's own
Signature Version 4 code, and answered from <root>/s3/<bucket>/<key>.

usage: peer_server.py --root DIR --cert PEM --ports FILE [--keys KEYID:SECRET]
"""
import argparse
import hashlib
import json
import os
import re
import socket
import ssl
import subprocess
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

S3_HOST = re.compile(r"^(?P<bucket>[a-z0-9.\-]+)\.s3[.-](?P<region>[a-z0-9\-]+)\.amazonaws\.com$")
EVENTS = {}
EVENTS_LOCK = threading.Lock()
FAULT_REQUESTS = {}  # token -> the Range header of every request ("" for none)
ACTIVE = {}          # token -> requests in flight (busy-extra)
FLIPPED = {}         # token -> a damaged part was served (flip-once)
SERVED = [0]         # body bytes sent for files (whole or in parts) since the last /reset
STALL_SECONDS = 75   # longer than two of the client's 30 s waits


def event(token):
    with EVENTS_LOCK:
        return EVENTS.setdefault(token, threading.Event())


def pattern(n):
    return bytes(i % 251 for i in range(n))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TarnwickPeer/1.0"

    def log_message(self, fmt, *args):
        if self.server.verbose:
            super().log_message(fmt, *args)

    # --- helpers -------------------------------------------------------
    def send_body(self, status, body, content_type="application/octet-stream", length=True, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def host(self):
        return (self.headers.get("Host") or "").split(":")[0].lower()

    # --- proxy ----------------------------------------------------------
    def do_CONNECT(self):
        if self.server.proxy_credentials and \
                self.headers.get("Proxy-Authorization", "") != "Basic " + self.server.proxy_credentials:
            self.send_response(407, "Proxy Authentication Required")
            self.send_header("Proxy-Authenticate", 'Basic realm="tarnwick-test"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        # "untrusted.*" gets a certificate that no trusted authority issued;
        # any host name outside the certificate's list gets one for others.
        untrusted = self.path.lower().startswith("untrusted.")
        context = self.server.untrusted_context if untrusted else self.server.tls_context
        tls = context.wrap_socket(self.connection, server_side=True)
        Handler(tls, self.client_address, self.server)
        self.close_connection = True

    # --- requests -------------------------------------------------------
    def do_GET(self):
        # The authenticating proxy takes nothing but tunnels: a request sent to
        # it directly, outside TLS, is recorded (see /faults/authproxy-plain)
        # and refused, with or without credentials.
        if self.server.proxy_credentials and not isinstance(self.connection, ssl.SSLSocket):
            with EVENTS_LOCK:
                FAULT_REQUESTS.setdefault("authproxy-plain", []).append(self.path)
            if self.headers.get("Proxy-Authorization", "") != "Basic " + self.server.proxy_credentials:
                self.send_response(407, "Proxy Authentication Required")
                self.send_header("Proxy-Authenticate", 'Basic realm="tarnwick-test"')
                self.send_header("Content-Length", "0")
                return self.end_headers()
            return self.send_body(400, b"only tunnels go through this proxy\n", "text/plain")
        path = self.path
        if path.startswith("http://") or path.startswith("https://"):
            path = "/" + path.split("/", 3)[3] if path.count("/") >= 3 else "/"
        match = S3_HOST.match(self.host())
        if match:
            return self.s3(match.group("bucket"), match.group("region"), path)
        parts = [urllib.parse.unquote(p) for p in path.split("?")[0].split("/")[1:]]
        route = getattr(self, "route_" + parts[0].replace("-", "_"), None) if parts else None
        if route is None:
            return self.send_body(404, b"not found\n", "text/plain")
        return route(parts[1:])

    def route_len(self, args):
        self.send_body(200, pattern(int(args[0])))

    def route_status(self, args):
        self.send_body(int(args[0]), b"")

    def route_redirect(self, args):
        self.send_response(302)
        self.send_header("Location", "/len/" + args[0])
        self.send_header("Content-Length", "0")
        self.end_headers()

    def route_redirect_to(self, args):
        """/redirect-to/<host>: to /headers on this server, named by that host."""
        scheme = "https" if isinstance(self.connection, ssl.SSLSocket) else "http"
        self.send_response(302)
        self.send_header("Location", "%s://%s:%d/headers" % (scheme, args[0], self.server.server_address[1]))
        self.send_header("Content-Length", "0")
        self.end_headers()

    def route_etag(self, args):
        """/etag/<n>: n pattern bytes with an ETag; 304 to an If-None-Match for it."""
        etag = '"e%s"' % args[0]
        if self.headers.get("If-None-Match") == etag:
            self.send_response(304)
            self.send_header("ETag", etag)
            return self.end_headers()
        self.send_body(200, pattern(int(args[0])), headers=[("ETag", etag)])

    def route_chunked(self, args):
        self.send_chunked(pattern(int(args[0])))

    def route_endless(self, args):
        """/endless/<chunked|length>: a body without end, as fast as the client
        takes it, chunked or under a Content-Length of 1 TB; it stops only
        when the client closes the connection."""
        self.send_response(200)
        if args and args[0] == "length":
            self.send_header("Content-Length", str(1 << 40))
        else:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        piece = pattern(16384)
        try:
            while True:
                self.wfile.write(piece if args and args[0] == "length" else b"%x\r\n%s\r\n" % (len(piece), piece))
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            pass

    def route_short(self, args):
        announced, sent = int(args[0]), int(args[1])
        self.send_response(200)
        self.send_header("Content-Length", str(announced))
        self.end_headers()
        self.wfile.write(pattern(sent))
        self.wfile.flush()
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def route_slow(self, args):
        size, delay = int(args[0]), int(args[1]) / 1000.0
        body = pattern(size)
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        for i in range(0, size, 1024):
            self.wfile.write(body[i:i + 1024])
            self.wfile.flush()
            time.sleep(delay)

    def route_headers(self, args):
        self.send_body(200, str(self.headers).encode(), "text/plain")

    def read_file(self, args):
        """The bytes of a file under files/, or None."""
        files = os.path.realpath(os.path.join(self.server.root, "files"))
        path = os.path.realpath(os.path.join(files, *args))
        if not path.startswith(files + os.sep) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def send_chunked(self, body):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for i in range(0, len(body), 3000):
            piece = body[i:i + 3000]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def route_chunked_files(self, args):
        """A file under files/ without Content-Length, in chunks."""
        body = self.read_file(args)
        if body is None:
            return self.send_body(404, b"not found\n", "text/plain")
        self.send_chunked(body)

    def route_mangle(self, args):
        """A published body under files/, damaged one way: cut (the connection
        closes after half of it), longer / shorter (the size prefix says one
        byte more / less than the stream gives), flip (a byte in the middle of
        the stream inverted), trailing (bytes after the end of the stream)."""
        kind, body = args[0], self.read_file(args[1:])
        if body is None:
            return self.send_body(404, b"not found\n", "text/plain")
        size = int.from_bytes(body[:4], "little")
        if kind == "cut":
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return self.connection.shutdown(socket.SHUT_RDWR)
        if kind in ("longer", "shorter"):
            body = (size + (1 if kind == "longer" else -1)).to_bytes(4, "little") + body[4:]
        elif kind == "flip":
            middle = len(body) // 2
            body = body[:middle] + bytes(b ^ 0xFF for b in body[middle:middle + 16]) + body[middle + 16:]
        elif kind == "trailing":
            body += b"trailing bytes"
        self.send_body(200, body)

    def route_files(self, args):
        body = self.read_file(args)
        if body is None:
            return self.send_body(404, b"not found\n", "text/plain")
        self.send_ranged(body, pause=self.server.files_delay)

    def route_capped(self, args):
        """A file under files/ (ranges too) at --connection-rate bytes a second
        on each connection, as a server that shapes its connections."""
        body = self.read_file(args)
        if body is None:
            return self.send_body(404, b"not found\n", "text/plain")
        self.send_ranged(body, pause=65536 / self.server.connection_rate)

    def route_release(self, args):
        """Where a publisher's release build puts the application: the same files."""
        self.route_files(args)

    def route_hold(self, args):
        """Sends half of a file under files/, then waits for /unhold/<token> (at most 120 s)."""
        token = args[0]
        path = os.path.join(self.server.root, "files", *args[1:])
        with open(path, "rb") as f:
            body = f.read()
        half = len(body) // 2
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:half])
        self.wfile.flush()
        event(token).wait(120)
        self.wfile.write(body[half:])

    def route_unhold(self, args):
        event(args[0]).set()
        self.send_body(200, b"released\n", "text/plain")

    @staticmethod
    def etag(body):
        return '"%s"' % hashlib.sha256(body).hexdigest()[:32]

    def send_ranged(self, body, flip=False, pause=0, etag=None):
        """The body, or the part that a "Range: bytes=N-" or "bytes=N-M" asks
        for, with its ETag; an If-Match for another ETag gets 412. flip: a
        byte of the part inverted (not of a whole body). pause: seconds after
        every 64 KiB. etag: another ETag than the body's."""
        etag = etag or self.etag(body)
        match = self.headers.get("If-Match")
        if match is not None and (match != etag or match.startswith("W/")):  # a strong comparison
            return self.send_body(412, b"", headers=[("ETag", etag)])
        asked = re.match(r"bytes=(\d+)-(\d*)$", self.headers.get("Range", ""))
        if not asked:
            return self.send_paced(200, body, [("ETag", etag)], pause)
        start = int(asked.group(1))
        end = min(int(asked.group(2)), len(body) - 1) if asked.group(2) else len(body) - 1
        if start >= len(body) or start > end:
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % len(body))
            self.send_header("Content-Length", "0")
            return self.end_headers()
        part = body[start:end + 1]
        if flip:
            part = part[:len(part) // 2] + bytes([part[len(part) // 2] ^ 0xFF]) + part[len(part) // 2 + 1:]
        headers = [("Content-Range", "bytes %d-%d/%d" % (start, end, len(body))), ("ETag", etag)]
        self.send_paced(206, part, headers, pause)

    def send_paced(self, status, body, headers, pause):
        with EVENTS_LOCK:
            SERVED[0] += len(body)
        if not pause:
            return self.send_body(status, body, headers=headers)
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        for i in range(0, len(body), 65536):
            self.wfile.write(body[i:i + 65536])
            self.wfile.flush()
            time.sleep(pause)

    def send_half_and(self, body, then):
        """Announces the whole body, with its ETag, sends half of it, then drops or stalls."""
        self.send_response(200)
        self.send_header("ETag", self.etag(body))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:len(body) // 2])
        self.wfile.flush()
        if then == "stall":
            time.sleep(STALL_SECONDS)
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def send_half_unannounced(self, body, chunked):
        """Half the body without a length: in chunks that stop before the last
        one, or delimited by the connection's close; then the connection closes."""
        self.send_response(200)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        half = body[:len(body) // 2]
        self.wfile.write(b"%x\r\n%s\r\n" % (len(half), half) if chunked else half)
        self.wfile.flush()
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def route_fault(self, args):
        """/fault/<mode>/<token>/<file under files/>: a download that meets a
        fault; every request is recorded under the token (see /faults/): its
        Range header ("" for none), or "map" for the block map beside the file."""
        mode, token = args[0], args[1]
        with EVENTS_LOCK:
            requests = FAULT_REQUESTS.setdefault(token, [])
            requests.append("map" if args[-1].endswith(".blocks") else self.headers.get("Range", ""))
            first = len(requests) == 1
        if mode == "redirect-http":
            return self.redirect("http://downloads.tarnwick.example/fault/record/%s-http/x" % token)
        if mode == "redirect-loop":
            return self.redirect(self.path)
        body = self.read_file(args[2:]) if len(args) > 2 else b"recorded\n"
        if body is None or mode == "missing":
            return self.send_body(404, b"not found\n", "text/plain")
        if mode == "always-drop" or (first and mode in ("drop-once", "ignore-range")):
            return self.send_half_and(body, "drop")
        if first and mode == "stall-once":
            return self.send_half_and(body, "stall")
        if first and mode in ("chunkcut-once", "closecut-once"):
            return self.send_half_unannounced(body, chunked=mode == "chunkcut-once")
        if first and mode == "shrink-once":
            # Announces twice the body, sends it whole and drops: the body
            # has shrunk when the rest is asked for.
            self.send_response(200)
            self.send_header("Content-Length", str(2 * len(body)))
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()
            self.close_connection = True
            return self.connection.shutdown(socket.SHUT_RDWR)
        if first and mode in ("busy-once", "busy-negative-once"):
            self.send_response(503)
            self.send_header("Retry-After", "-5" if mode == "busy-negative-once" else "1")
            self.send_header("Content-Length", "0")
            return self.end_headers()
        if first and mode == "mute-once":
            time.sleep(STALL_SECONDS)
            self.close_connection = True
            return
        if first and mode == "tls-close-once":
            self.connection.unwrap()  # TLS ends, the connection stays open
            time.sleep(STALL_SECONDS)
            self.close_connection = True
            return
        if mode in ("ignore-range", "whole"):
            return self.send_body(200, body)
        if mode == "nomap" and args[-1].endswith(".blocks"):
            return self.send_body(404, b"not found\n", "text/plain")
        if mode == "busy-extra" and "Range" in self.headers:
            # One connection at a time: any other is turned away.
            with EVENTS_LOCK:
                busy = ACTIVE.get(token, 0) > 0
                ACTIVE[token] = ACTIVE.get(token, 0) + (0 if busy else 1)
            if busy:
                return self.send_body(503, b"", headers=[("Retry-After", "1")])
            try:
                return self.send_ranged(body)
            finally:
                with EVENTS_LOCK:
                    ACTIVE[token] -= 1
        if mode == "weak-etag":
            return self.send_ranged(body, etag="W/" + self.etag(body))
        if mode == "longer-ranges" and "Range" in self.headers:
            # Each part is honest, then 3,000 bytes more follow on the kept-alive connection.
            self.send_ranged(body)
            self.wfile.write((b"Server sends more " * 200)[:3000])
            return
        # slow (and replaced): parts come at about 6 MB/s, slowly enough for a
        # stream of a large body to share its tail with more connections.
        slow = 0.01 if mode in ("slow", "replaced") and "Range" in self.headers else 0
        if mode == "replaced":
            # The object is replaced after its first part: later ones, asked
            # for with If-Match, get 412; a plain GET gets the new one.
            with EVENTS_LOCK:
                parts = sum(1 for r in requests if r.startswith("bytes="))
            return self.send_ranged(body, etag=None if parts <= 1 else '"replaced"', pause=slow)
        # flip-once: the first part served has a damaged byte; flip-ranges: every part.
        flip = "Range" in self.headers and (mode == "flip-ranges" or (mode == "flip-once" and not FLIPPED.get(token)))
        if flip:
            FLIPPED[token] = True
        self.send_ranged(body, flip=flip, pause=slow)

    def route_feed(self, args):
        """/feed/<name>: <root>/feeds/<name>, with its ETag and a 304 to an
        If-None-Match for it. Every request is recorded under "feed": the
        If-None-Match it sent, the bytes of its request line and headers, and
        those of the answer (status line, headers and body)."""
        body = None
        path = os.path.join(self.server.root, "feeds", os.path.basename(args[0])) if args else ""
        if os.path.isfile(path):
            with open(path, "rb") as f:
                body = f.read()
        etag = self.etag(body) if body is not None else ""
        unchanged = body is not None and self.headers.get("If-None-Match", "") == etag
        if body is None:
            self.send_response(404)
            body = b""
        elif unchanged:
            self.send_response(304)
            self.send_header("ETag", etag)
            body = b""
        else:
            self.send_response(200)
            self.send_header("ETag", etag)
            self.send_header("Content-Type", "text/plain")
        if not unchanged:
            self.send_header("Content-Length", str(len(body)))
        asked = len(self.requestline) + 4 + sum(len(k) + len(v) + 4 for k, v in self.headers.items())
        answer = sum(len(line) for line in self._headers_buffer) + 2 + len(body)
        with EVENTS_LOCK:
            FAULT_REQUESTS.setdefault("feed", []).append(
                {"if-none-match": self.headers.get("If-None-Match", ""), "request": asked, "answer": answer,
                 "bytes": len(body)})
        self.end_headers()
        self.wfile.write(body)

    def route_sign_feed(self, args):
        """/sign-feed/<name>?key=a|b&product=..&version=..&setup=<file under
        files/>&url=..[&expires=N][&withdrawn=V]: <root>/feeds/<name>, made by
        twpack with the tests' feed key ("a", the one the agent carries) or
        another one ("b"); see <data>/feed-signer.json."""
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        with open(os.path.join(self.server.root, "..", "feed-signer.json")) as f:
            signer = json.load(f)
        os.makedirs(os.path.join(self.server.root, "feeds"), exist_ok=True)
        command = [signer["twpack"], "feed", os.path.join(self.server.root, "feeds", os.path.basename(args[0])),
                   "--key", signer["keys"][query["key"][0]], "--product", query["product"][0],
                   "--version", query["version"][0], "--setup-url", query["url"][0],
                   "--setup", os.path.join(self.server.root, "files", query["setup"][0]),
                   "--expires-days", query.get("expires", ["30"])[0]]
        for version in query.get("withdrawn", []):
            command += ["--withdrawn", version]
        done = subprocess.run(command, capture_output=True, text=True)
        self.send_body(200 if done.returncode == 0 else 500, (done.stdout + done.stderr).encode(), "text/plain")

    def route_sign_program(self, args):
        """/sign-program/<file under files/>: signed in place with osslsigncode
        and the build's code-signing certificate, as the publisher signs."""
        with open(os.path.join(self.server.root, "..", "feed-signer.json")) as f:
            signer = json.load(f)
        path = os.path.join(self.server.root, "files", *args)
        done = subprocess.run(["osslsigncode", "sign", "-certs", signer["code_cert"], "-key", signer["code_key"],
                               "-h", "sha256", "-in", path, "-out", path + ".signed"], capture_output=True, text=True)
        if done.returncode == 0:
            os.replace(path + ".signed", path)
        self.send_body(200 if done.returncode == 0 else 500, (done.stdout + done.stderr).encode(), "text/plain")

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def route_faults(self, args):
        with EVENTS_LOCK:
            requests = list(FAULT_REQUESTS.get(args[0], []))
        self.send_body(200, json.dumps(requests).encode(), "application/json")

    def route_served(self, args):
        with EVENTS_LOCK:
            served = SERVED[0]
        self.send_body(200, json.dumps({"bytes": served}).encode(), "application/json")

    def route_reset(self, args):
        with EVENTS_LOCK:
            EVENTS.clear()
            FAULT_REQUESTS.clear()
            ACTIVE.clear()
            FLIPPED.clear()
            SERVED[0] = 0
        self.send_body(200, b"reset\n", "text/plain")

    # --- S3 -------------------------------------------------------------
    def s3_error(self, status, code, message):
        body = ("<?xml version='1.0' encoding='UTF-8'?>\n<Error><Code>%s</Code><Message>%s</Message></Error>"
                % (code, message)).encode()
        self.send_body(status, body, "application/xml")

    def s3(self, bucket, region, path):
        from botocore.auth import S3SigV4Auth
        from botocore.awsrequest import AWSRequest
        from botocore.credentials import Credentials

        auth = self.headers.get("Authorization", "")
        found = re.match(r"AWS4-HMAC-SHA256 Credential=([^/]+)/(\d{8})/([^/]+)/s3/aws4_request,"
                         r"\s*SignedHeaders=([^,]+),\s*Signature=([0-9a-f]{64})$", auth)
        if not found:
            return self.s3_error(403, "AccessDenied", "Missing or malformed Authorization")
        key_id, date, scope_region, signed, signature = found.groups()
        secret = self.server.keys.get(key_id)
        if secret is None:
            return self.s3_error(403, "InvalidAccessKeyId", "Unknown key id")
        amz_date = self.headers.get("x-amz-date", "")
        if scope_region != region or not amz_date.startswith(date):
            return self.s3_error(403, "AuthorizationHeaderMalformed", "Scope does not match the request")
        headers = {name: self.headers.get(name) for name in signed.split(";")}
        if None in headers.values():
            return self.s3_error(403, "AccessDenied", "A signed header is missing")
        request = AWSRequest(method="GET", url="https://%s%s" % (self.host(), path), headers=headers)
        request.context["timestamp"] = amz_date
        signer = S3SigV4Auth(Credentials(key_id, secret), "s3", region)
        expected = signer.signature(signer.string_to_sign(request, signer.canonical_request(request)), request)
        if expected != signature:
            return self.s3_error(403, "SignatureDoesNotMatch", "The request signature does not match")
        key = urllib.parse.unquote(path.split("?")[0].lstrip("/"))
        # "fault/drop-once/<token>/<key>": the first request breaks halfway;
        # the x-amz-date of every request is recorded under the token.
        fault = re.match(r"fault/drop-once/([^/]+)/(.+)$", key)
        first = False
        if fault:
            token, key = fault.groups()
            with EVENTS_LOCK:
                dates = FAULT_REQUESTS.setdefault(token, [])
                dates.append(amz_date)
                first = len(dates) == 1
        target = os.path.join(self.server.root, "s3", bucket, *key.split("/"))
        if not os.path.isfile(target):
            return self.s3_error(404, "NoSuchKey", "The specified key does not exist")
        with open(target, "rb") as f:
            body = f.read()
        if first:
            return self.send_half_and(body, "drop")
        self.send_body(200, body)


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--ports", required=True)
    parser.add_argument("--keys", action="append", default=[])
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--files-delay-ms", type=int, default=0, help="pause after every 64 KiB of /files/")
    parser.add_argument("--connection-rate", type=int, default=4 * 1024 * 1024,
                        help="bytes a second on each connection of /capped/")
    options = parser.parse_args()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert)
    untrusted_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    untrusted_context.load_cert_chain(os.path.join(os.path.dirname(options.cert), "untrusted.pem"))
    keys = dict(k.split(":", 1) for k in options.keys)
    servers = {}
    for name in ("http", "https", "proxy", "authproxy"):
        server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        server.daemon_threads = True
        server.root, server.tls_context, server.keys, server.verbose = options.root, context, keys, options.verbose
        server.untrusted_context = untrusted_context
        server.files_delay = options.files_delay_ms / 1000.0
        server.connection_rate = options.connection_rate
        # The second proxy lets only user "proxyuser", password "proxypass" through.
        server.proxy_credentials = "cHJveHl1c2VyOnByb3h5cGFzcw==" if name == "authproxy" else None
        if name == "https":
            server.socket = context.wrap_socket(server.socket, server_side=True)
        servers[name] = server
        serve(server)
    with open(options.ports + ".tmp", "w") as f:
        json.dump({name: s.server_address[1] for name, s in servers.items()}, f)
    os.replace(options.ports + ".tmp", options.ports)
    threading.Event().wait()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""A small HTTP/1.1 server that serves a folder and misbehaves on request.

Used by the download tests (started on 127.0.0.1 with a free port), by the
benchmark, and as the sample update server of the demo. Standard library only.

Command line:
    test_server.py --root DIR [--host 127.0.0.1] [--port 0] [--state-dir DIR]
                   [--rules FILE] [--max-seconds 1800] [--tls-cert PEM --tls-key PEM]

  --root        folder served: GET /a/b.txt sends DIR/a/b.txt
  --port        0 (default) picks a free port
  --state-dir   once listening, the server writes its port to STATE_DIR/port
                and its process id to STATE_DIR/pid
  --rules       JSON file {"/path": {"rule": value, ...}, ...}
  --max-seconds the server stops by itself after this long (default 1800)
  --tls-cert, --tls-key
                speak HTTPS with this certificate (chain) and key, PEM files;
                everything else stays the same. A client that rejects the
                certificate shows in the log as "TLS <reason>" lines.
SIGTERM and SIGINT stop it too.

Paths are percent-decoded to bytes and used as file names as they are (so
"%e9" names the byte 0xE9); a backslash counts as "/", as on IIS.

Rules, per path (control API, rule file, or query parameters of the request
itself, for example GET /f.bin?stall_after=100):
  status=N          answer status N with a short text body instead of the file
  authenticate=A,B  with status: one WWW-Authenticate header per comma-separated
                    offer (for example Basic realm="x",NTLM,Negotiate)
  redirect=URL      answer redirect_status (default 302) with Location URL
  delay_ms=N        wait N ms before sending the headers
  stall_after=N     after the headers and N body bytes, send nothing for
                    stall_ms (default: until the server stops), then
                    after_stall=close (default) closes the connection, or
                    after_stall=resume sends the rest
  close_after=N     send the headers (full length) and N bytes, then close
  rate=N            send the body at about N bytes per second, in pieces
                    every 50 ms
  length=chunked    no Content-Length, chunked transfer encoding
  length=close      no Content-Length, the body ends when the connection closes
  etag=TEXT         send ETag "TEXT" instead of the file's own (size and time);
                    etag=none sends no ETag and no Last-Modified
  ranges=ignore     answer Range requests with the whole file (200)
  encoding=gzip     send the body gzip-compressed with Content-Encoding: gzip,
                    whatever the request accepts
  endless=1         a body that never ends (no Content-Length, zeros until the
                    client or the server stops)

Every file answer carries ETag and Last-Modified. "Range: bytes=N-" or
"bytes=N-M" gets 206 with Content-Range, or 416 when N is at or beyond the end;
with If-Range, a validator that is not the current ETag or Last-Modified gets
the whole file (200) instead.

Control API (same port):
  PUT  /__control/file?path=/p        store the request body as the file at /p
  GET  /__control/rule?path=/p&k=v... set the rules of /p (replacing earlier ones)
  GET  /__control/clear?path=/p       drop the rules of /p
  GET  /__control/reset[?prefix=/p]   drop the rules and logged requests (of paths
                                      starting with /p)
  GET  /__control/log[?prefix=/p]     the requests received (control requests
                                      excluded), one a line:
                                      METHOD TARGET<TAB>Name: value<TAB>...
  GET  /__control/ping                "ok"
"""
import argparse
import email.utils
import gzip
import io
import json
import os
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

RULE_KEYS = {"status", "redirect", "redirect_status", "delay_ms", "stall_after", "stall_ms",
             "after_stall", "close_after", "rate", "length", "etag", "ranges", "encoding",
             "endless", "authenticate"}
INT_KEYS = {"status", "redirect_status", "delay_ms", "stall_after", "stall_ms", "close_after",
            "rate"}
MAX_LOG = 20000
PIECE = 1 << 20


class Limited:
    """Reads at most `left` bytes of `source`."""

    def __init__(self, source, left):
        self.source, self.left = source, left

    def read(self, size):
        data = self.source.read(min(size, self.left))
        self.left -= len(data)
        return data


class Zeros:
    def read(self, size):
        return bytes(size)


def parse_range(header, size):
    """(start, end) inclusive for "bytes=N-" or "bytes=N-M"; "bad" for N >= size;
    None for anything this server does not serve as a range."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    first, _, last = header[len("bytes="):].partition("-")
    if not first.isdigit() or (last and not last.isdigit()):
        return None
    start = int(first)
    end = min(int(last), size - 1) if last else size - 1
    if start >= size:
        return "bad"
    return (start, end) if start <= end else None


class Closed(Exception):
    """The response ends here by closing the connection."""


def unquote(text):
    """Percent-decoded to bytes, as a str that names those exact bytes on disk."""
    return os.fsdecode(urllib.parse.unquote_to_bytes(text.replace("+", " ")))


def normal_path(path):
    return "/" + path.replace("\\", "/").lstrip("/")


def query_pairs(query):
    pairs = []
    for item in query.split("&"):
        if item:
            key, _, value = item.partition("=")
            pairs.append((unquote(key), unquote(value)))
    return pairs


def logged_path(line):
    """The request target of a log line."""
    return line.split(" ", 1)[1].split("\t", 1)[0]


def parse_rules(pairs):
    rules = {}
    for key, value in pairs:
        if key in RULE_KEYS:
            rules[key] = int(value) if key in INT_KEYS else value
    return rules


class State:
    def __init__(self, root, rules):
        self.root = os.path.realpath(root)
        self.rules = rules
        self.log = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()

    def file_path(self, path):
        if "\0" in path:
            return None
        full = os.path.realpath(os.path.join(self.root, path.lstrip("/")))
        if full != self.root and not full.startswith(self.root + os.sep):
            return None
        return full


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PelmoraTestServer/1"

    def log_message(self, format, *args):
        pass

    @property
    def state(self):
        return self.server.state

    def do_GET(self):
        self.handle_request(send_body=True)

    def do_HEAD(self):
        self.handle_request(send_body=False)

    def do_PUT(self):
        target = urllib.parse.urlsplit(self.path)
        if target.path != "/__control/file":
            return self.send_text(405, "only control files can be put\n")
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        paths = [v for k, v in query_pairs(target.query) if k == "path"]
        full = self.state.file_path(normal_path(paths[0])) if paths else None
        if full is None:
            return self.send_text(400, "bad path\n")
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full + ".tmp", "wb") as out:
            out.write(body)
        os.replace(full + ".tmp", full)
        self.send_text(200, "stored %d\n" % len(body))

    def handle_request(self, send_body):
        target = urllib.parse.urlsplit(self.path)
        if target.path.startswith("/__control/"):
            return self.control(target.path[len("/__control/"):], target.query)
        path = normal_path(os.fsdecode(urllib.parse.unquote_to_bytes(target.path)))
        with self.state.lock:
            if len(self.state.log) < MAX_LOG:
                headers = "\t".join("%s: %s" % (k, v) for k, v in self.headers.items())
                self.state.log.append("%s %s\t%s" % (self.command, self.path, headers))
            rules = dict(self.state.rules.get(path, {}))
        rules.update(parse_rules(query_pairs(target.query)))
        try:
            self.respond(path, rules, send_body)
        except (Closed, ConnectionError, socket.timeout):
            self.close_connection = True

    def control(self, command, query):
        pairs = query_pairs(query)
        args = dict(pairs)
        path = normal_path(args.get("path", "/"))
        with self.state.lock:
            if command == "rule":
                self.state.rules[path] = parse_rules(pairs)
                text = "ok\n"
            elif command == "clear":
                self.state.rules.pop(path, None)
                text = "ok\n"
            elif command == "reset":
                prefix = args.get("prefix", "")
                self.state.rules = {p: r for p, r in self.state.rules.items()
                                    if not p.startswith(prefix)}
                self.state.log = [l for l in self.state.log if not logged_path(l).startswith(prefix)]
                text = "ok\n"
            elif command == "log":
                prefix = args.get("prefix", "")
                lines = [l for l in self.state.log if logged_path(l).startswith(prefix)]
                text = "".join(l + "\n" for l in lines)
            elif command == "ping":
                text = "ok\n"
            else:
                text = None
        if text is None:
            return self.send_text(404, "unknown control command\n")
        self.send_text(200, text)

    def send_text(self, status, text, extra=()):
        body = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def pause(self, seconds):
        if self.state.stopping.wait(seconds):
            raise Closed()

    def respond(self, path, rules, send_body):
        if "delay_ms" in rules:
            self.pause(rules["delay_ms"] / 1000.0)
        if "redirect" in rules:
            return self.send_text(rules.get("redirect_status", 302), "moved\n",
                                  [("Location", rules["redirect"])])
        if "status" in rules:
            offers = [("WWW-Authenticate", offer.strip())
                      for offer in rules.get("authenticate", "").split(",") if offer.strip()]
            return self.send_text(rules["status"], "error page %d for %s\n" % (rules["status"], path),
                                  offers)
        full = self.state.file_path(path)
        if full is None or not os.path.isfile(full):
            return self.send_text(404, "not found: %s\n" % path)
        if rules.get("endless"):
            return self.send_endless(rules, send_body)
        stat = os.stat(full)
        size = stat.st_size
        etag = rules.get("etag", "%x-%x" % (size, stat.st_mtime_ns))
        modified = email.utils.formatdate(stat.st_mtime, usegmt=True)
        validators = [] if etag == "none" else [("ETag", '"%s"' % etag),
                                                ("Last-Modified", modified)]
        if rules.get("encoding") == "gzip":
            with open(full, "rb") as f:
                body = gzip.compress(f.read())
            return self.send_body_bytes(body, validators + [("Content-Encoding", "gzip")],
                                        rules, send_body)
        span = None
        if rules.get("ranges") != "ignore":
            span = parse_range(self.headers.get("Range"), size)
            condition = self.headers.get("If-Range")
            if span is not None and condition is not None and (
                    etag == "none" or condition not in ('"%s"' % etag, modified)):
                span = None
        if span == "bad":
            return self.send_text(416, "range not satisfiable\n",
                                  [("Content-Range", "bytes */%d" % size)] + validators)
        framing = rules.get("length", "")
        if span:
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (span[0], span[1], size))
            size = span[1] - span[0] + 1
        else:
            self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        for name, value in validators:
            self.send_header(name, value)
        if framing == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        elif framing != "close":
            self.send_header("Content-Length", str(size))
        if framing == "close" or "close_after" in rules or (
                "stall_after" in rules and rules.get("after_stall", "close") == "close"):
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if not send_body:
            return
        with open(full, "rb") as source:
            if span:
                source.seek(span[0])
            if not rules.keys() & {"stall_after", "close_after", "rate", "length"}:
                self.wfile.flush()
                self.connection.sendfile(source, offset=span[0] if span else 0, count=size)
                return
            self.send_shaped(Limited(source, size), rules, chunked=framing == "chunked")
        if framing == "close":
            self.close_connection = True

    def send_body_bytes(self, body, headers, rules, send_body):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.send_shaped(io.BytesIO(body), rules, chunked=False)

    def send_endless(self, rules, send_body):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.close_connection = True
        self.end_headers()
        if send_body:
            self.send_shaped(Zeros(), dict(rules, rate=rules.get("rate", 1 << 24)), chunked=False)

    def send_shaped(self, source, rules, chunked):
        rate = rules.get("rate")
        piece = max(1, rate // 20) if rate else PIECE
        stall_at = rules.get("stall_after")
        close_at = rules.get("close_after")
        sent = 0
        while True:
            limit = piece
            for mark in (stall_at, close_at):
                if mark is not None and sent < mark:
                    limit = min(limit, mark - sent)
            if stall_at is not None and sent == stall_at:
                stall_at = None
                self.wfile.flush()
                stall_ms = rules.get("stall_ms")
                self.pause(stall_ms / 1000.0 if stall_ms is not None else None)
                if rules.get("after_stall", "close") == "close":
                    raise Closed()
                continue
            if close_at is not None and sent >= close_at:
                raise Closed()
            data = source.read(limit)
            if not data:
                break
            self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data) if chunked else data)
            sent += len(data)
            if rate:
                self.wfile.flush()
                self.pause(len(data) / rate)
        if chunked:
            self.wfile.write(b"0\r\n\r\n")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128
    tls = None  # an ssl.SSLContext when serving HTTPS
    HANDSHAKE_SECONDS = 30

    def finish_request(self, request, client_address):
        if self.tls is None:
            return super().finish_request(request, client_address)
        # The handshake runs on the request's own thread: a client that stalls
        # in it must not hold up accepting the others.
        try:
            request.settimeout(self.HANDSHAKE_SECONDS)
            secure = self.tls.wrap_socket(request, server_side=True)
            secure.settimeout(None)
        except (ssl.SSLError, OSError) as error:
            with self.state.lock:
                if len(self.state.log) < MAX_LOG:
                    self.state.log.append("TLS %s\t" % (getattr(error, "reason", None) or error))
            return
        try:
            super().finish_request(secure, client_address)
        finally:
            self.shutdown_request(secure)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--state-dir")
    parser.add_argument("--rules")
    parser.add_argument("--max-seconds", type=float, default=1800)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    options = parser.parse_args()
    if bool(options.tls_cert) != bool(options.tls_key):
        parser.error("--tls-cert and --tls-key go together")

    rules = {}
    if options.rules:
        with open(options.rules, encoding="utf-8") as f:
            for path, values in json.load(f).items():
                rules[normal_path(path)] = parse_rules(
                    (k, str(v)) for k, v in values.items())
    server = Server((options.host, options.port), Handler)
    server.state = State(options.root, rules)
    if options.tls_cert:
        server.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server.tls.load_cert_chain(options.tls_cert, options.tls_key)

    def stop(*_):
        server.state.stopping.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(options.max_seconds, stop)
    timer.daemon = True
    timer.start()

    port = server.server_address[1]
    if options.state_dir:
        for name, value in (("pid", os.getpid()), ("port", port)):
            temporary = os.path.join(options.state_dir, name + ".tmp")
            with open(temporary, "w") as f:
                f.write("%d\n" % value)
            os.replace(temporary, os.path.join(options.state_dir, name))
    scheme = "https" if server.tls else "http"
    print("serving %s on %s://%s:%d/" % (options.root, scheme, options.host, port), flush=True)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The loopback HTTP/1.0 server of the tests: the maker's web server of the update road and the
misbehaving server of the transfer tests in one.

Listens on 127.0.0.1 only. Writes "PORT CLOSED_PORT PORT80 PROXY_PORT" into --port-file once it
listens; CLOSED_PORT is a port bound but never listening, so a connection to it is refused; PORT80
is 80 when a twin could listen on port 80 as well (else 0; only asked for with --port80);
PROXY_PORT is a forwarding proxy: it takes requests whose target is a whole "http://" URL of a
name of 127.0.0.1, logs their request lines (/_proxylog) and passes them on, a reset of the
server's reply as a reset. It ends by itself after --lifetime seconds.

With --tls DIR (the certificates of testca.sh) it also listens with TLS, with the same
behaviours, and writes a second line "TLS OTHERNAME UNTRUSTED EXPIRED TLS13 SEGMENTED": servers
with the good certificate, one for another name, one from an untrusted CA, an expired one, one
that speaks only TLS 1.3, and a relay to the first that hands its bytes on in segments of a few
bytes each. The proxy opens tunnels (CONNECT) to loopback ports as well; /_mode?path=CONNECT&
proxyauth=1 makes it answer them with 407.

With --root DIR it serves the files below DIR ("Updates.ini", "Updates/<file>.zip") with
Content-Length, and a path that names no file there (nor a behaviour below) is 404. Without it,
such a path answers 200 with a short text naming the path.

Control requests (not recorded):
  /_last                  the bytes of the latest request
  /_count                 how many requests came since /_reset
  /_reset                 forgets the latest request and the count
  /_log                   the request lines received so far, one per line; the "Range" and
                          "If-Range" lines of a request follow its line, indented by two blanks
  /_proxylog              the same for the requests the proxy passed on
  /_mode?path=P&rate=N     send P at N bytes per second (0: as fast as possible)
  /_mode?path=P&reset=N    send N bytes of P's body, then reset the connection
  /_mode?path=P&status=C   answer P with status C and a small HTML body
  /_mode?path=P&cut=N      send N bytes of P's body, wait half a second, then reset
  /_mode?path=P&stall=N    send N bytes of P's body, then nothing until the client goes
  /_mode?path=P&nolength=1 answer P without Content-Length (the body ends with the connection)
  /_mode?path=P&etag=N     send P with the ETag "vN" (the test says when the file is another);
                          lastmod=1: with Last-Modified (from the file's time)
  /_mode?path=P&ranges=1   answer "Range: bytes=N-" for P with 206 and the rest, unless an
                          "If-Range" names other bytes (then 200 and the whole file); N beyond the
                          file is 416
  /_mode?path=P&proxyauth=1 the proxy answers requests for P with 407 (it wants a password)
  /_mode?path=P&moved=1    answer the next request for P with a redirection to P itself (with
                          a body of 4000 bytes), then serve P as the other modes say
  /_mode?path=P&tlsmoved=1 a request for P without TLS is answered with 301 to the same path on
                          the TLS server (https://localhost:TLS/P); plainmoved=1: one over TLS
                          with 301 to the server without TLS
  /_clear                  back to serving every file plainly
  /_symlink?link=L&target=T a symbolic link L to T (Unix paths), as another process of the
                          same user makes one; with away=1 what is at L is first renamed to L.weg.
                          The body is "ok", or the error
  /_rmtree?path=P          removes the folder P (a Unix path) with everything in it, links as links

Other paths pick a behaviour (query arguments in brackets):
  /echo                   200, the request bytes as the body
  /file[size,keep]        200 with Content-Length, `size` bytes of the pattern i % 251, then the
                          connection stays open `keep` seconds (as a proxy keeps it)
  /nolength[size]         the same without Content-Length
  /wronglength[size,say]  announces `say` bytes, sends `size`
  /status[code]           that status with a small HTML body
  /noreason               "HTTP/1.0 200" without a reason phrase
  /silent[secs]           reads the request, then sends nothing for `secs` (or until the
                          client goes), then closes
  /late[secs]             silent for `secs`, then a small 200 reply
  /drip[n,gap]            200, then one byte every `gap` seconds, `n` bytes in all
  /hdrip[n,gap]           a header line of `n` bytes, one every `gap` seconds, then a small body
  /stall[after,secs]      200, `after` bytes, then silence for `secs` (or until the client
                          goes)
  /close-header           closes in the middle of the header
  /close-body             announces 1000 bytes, sends 300 and closes
  /longline[len]          a header line of `len` bytes (default 1 MB)
  /manylines[n]           a header of `n` lines of 10 bytes each
  /bigheader[mb]          `mb` MB of header lines of 8000 bytes (default 1536)
  /raw[b,keep,reset]      the bytes `b` (percent-encoded, Latin-1) as the whole reply, then open
                          for `keep` seconds; with reset=1 the close is a reset (RST)
  /loop                   302 to /loop, for ever
  /redirect[to,cookie,nolocation]
                          302 with Location `to` (as given; none with nolocation=1) and the
                          cookie `cookie` (default id=42)
"""
import argparse
import email.utils
import os
import re
import select
import shutil
import signal
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse

lock = threading.Lock()
last_request = b""
request_count = 0
request_log = []  # the request lines, for /_log
proxy_log = []  # the request lines the proxy passed on, for /_proxylog
modes = {}  # path -> dict of mode values, for the files below ROOT
ROOT = None
PLAIN_PORT = 0  # the server without TLS
TLS_PORT = 0  # the TLS server with the good certificate (the segmenting relay's peer)
BEHAVIOURS = {"/echo", "/file", "/nolength", "/raw", "/manylines", "/bigheader", "/wronglength", "/status",
              "/noreason", "/silent", "/late", "/drip", "/hdrip", "/stall", "/close-header", "/close-body",
              "/longline", "/loop", "/redirect"}

PATTERN = bytes(i % 251 for i in range(251 * 1024))


def send_pattern(sock, size):
    sent = 0
    block = 251 * 256
    while sent < size:
        chunk = PATTERN[sent % 251: sent % 251 + min(block, size - sent)]
        sock.sendall(chunk)
        sent += len(chunk)


class Handler(socketserver.BaseRequestHandler):
    def next_request(self):
        """The request's bytes; empty when the client went away before sending one."""
        try:
            return self.read_request()
        except OSError:
            return b""

    def read_request(self):
        data = b""
        self.request.settimeout(30)
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(65536)
            if not chunk:
                return data
            data += chunk
        head, _, rest = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n"):
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                try:
                    length = int(value.strip())
                except ValueError:
                    length = 0
        while len(rest) < length:
            chunk = self.request.recv(65536)
            if not chunk:
                break
            rest += chunk
        return head + b"\r\n\r\n" + rest

    def reply(self, status, body, extra=b"", length=True):
        head = b"HTTP/1.0 " + status + b"\r\n" + extra
        if length:
            head += b"Content-Length: " + str(len(body)).encode() + b"\r\n"
        self.request.sendall(head + b"Content-Type: text/html\r\n\r\n" + body)

    def wait_quiet(self, secs):
        """Sleeps up to `secs`, ending early when the client closes."""
        end = time.monotonic() + secs
        while time.monotonic() < end:
            ready, _, _ = select.select([self.request], [], [], max(0.0, end - time.monotonic()))
            if ready:
                try:
                    if not self.request.recv(4096):
                        return
                except OSError:
                    return

    def handle(self):
        global last_request, request_count
        raw = self.next_request()
        if not raw:
            return
        first = raw.split(b"\r\n", 1)[0].decode("latin-1")
        headers = request_headers(raw)
        logged = first + "".join("\n  %s: %s" % (name, headers[name.lower()])
                                 for name in ("Range", "If-Range") if name.lower() in headers)
        words = first.split(" ")
        target = words[1] if len(words) > 1 else "/"
        if target.startswith("http://"):  # through a proxy: the whole URL
            target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
        url = urllib.parse.urlsplit(target)
        path = url.path
        args = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True, encoding="latin-1"))

        if path.startswith("/_"):
            with lock:
                if path == "/_last":
                    body = last_request
                elif path == "/_count":
                    body = str(request_count).encode()
                elif path == "/_log":
                    body = "".join(line + "\n" for line in request_log).encode("latin-1")
                elif path == "/_proxylog":
                    body = "".join(line + "\n" for line in proxy_log).encode("latin-1")
                elif path == "/_mode":
                    mode = dict(urllib.parse.parse_qsl(url.query))
                    modes.setdefault(mode.pop("path"), {}).update({k: int(v) for k, v in mode.items()})
                    body = b"ok"
                elif path == "/_clear":
                    modes.clear()
                    body = b"ok"
                elif path == "/_symlink":
                    args = dict(urllib.parse.parse_qsl(url.query))
                    try:
                        if args.get("away") == "1":
                            os.rename(args["link"], args["link"] + ".weg")
                        os.symlink(args["target"], args["link"])
                        body = b"ok"
                    except (OSError, KeyError) as e:
                        body = str(e).encode("latin-1", "replace")
                elif path == "/_rmtree":
                    args = dict(urllib.parse.parse_qsl(url.query))
                    shutil.rmtree(args.get("path", ""), ignore_errors=True)
                    body = b"ok"
                else:
                    request_count = 0
                    last_request = b""
                    body = b"reset"
            self.reply(b"200 OK", body)
            return
        with lock:
            last_request = raw
            request_count += 1
            request_log.append(logged)

        try:
            if ROOT is not None and path not in BEHAVIOURS:
                self.serve_file(urllib.parse.unquote(path, encoding="latin-1"), headers)
            else:
                self.behave(path, args, raw)
        except OSError:
            pass

    def serve_file(self, path, headers):
        """A file below ROOT as the maker's web server sends it, in the mode set for its path."""
        sock = self.request
        with lock:
            mode = dict(modes.get(path, {}))

        def head(status, reason, length, extra=""):
            text = "HTTP/1.0 %d %s\r\nContent-Type: application/octet-stream\r\n" % (status, reason) + extra
            if length is not None:
                text += "Content-Length: %d\r\n" % length
            sock.sendall((text + "\r\n").encode("latin-1"))

        secure = isinstance(sock, ssl.SSLSocket)
        if (mode.get("tlsmoved") and not secure) or (mode.get("plainmoved") and secure):
            target = ("http://localhost:%d" % PLAIN_PORT if secure else "https://localhost:%d" % TLS_PORT) + path
            head(301, "Moved Permanently", 0, "Location: %s\r\n" % urllib.parse.quote(target, safe=":/", encoding="latin-1"))
            return
        if mode.get("moved"):
            with lock:
                modes[path].pop("moved", None)
            body = b"moved " * 666 + b"here"
            head(302, "Found", len(body), "Location: %s\r\n" % urllib.parse.quote(path, encoding="latin-1"))
            sock.sendall(body)
            return
        if "status" in mode:
            body = b"<html><body>Fehler %d</body></html>" % mode["status"]
            head(mode["status"], "Error", len(body))
            sock.sendall(body)
            return
        local = os.path.normpath(os.path.join(ROOT, path.lstrip("/")))
        if not local.startswith(ROOT + os.sep) or not os.path.isfile(local):
            body = b"<html><body>404 Not Found</body></html>"
            head(404, "Not Found", len(body))
            sock.sendall(body)
            return
        with open(local, "rb") as f:
            body = f.read()
        etag = '"v%d"' % mode.get("etag", 0)
        modified = email.utils.formatdate(os.stat(local).st_mtime, usegmt=True)
        extra = ("ETag: %s\r\n" % etag if mode.get("etag") else "") + \
                ("Last-Modified: %s\r\n" % modified if mode.get("lastmod") else "")
        wanted = re.fullmatch(r"bytes=(\d+)-", headers.get("range", "").strip())
        condition = headers.get("if-range")
        if mode.get("ranges") and wanted and (condition is None or condition in (etag, modified)):
            start = int(wanted.group(1))
            if start >= len(body):
                head(416, "Range Not Satisfiable", 0, extra + "Content-Range: bytes */%d\r\n" % len(body))
                return
            extra += "Content-Range: bytes %d-%d/%d\r\n" % (start, len(body) - 1, len(body))
            head(206, "Partial Content", len(body) - start, extra)
            body = body[start:]
        else:
            head(200, "OK", None if mode.get("nolength") else len(body), extra)
        limit = mode.get("reset", mode.get("stall", mode.get("cut", len(body))))
        rate = mode.get("rate", 0)
        sent, start = 0, time.monotonic()
        block = 16384 if rate else 65536
        while sent < min(limit, len(body)):
            piece = body[sent:min(sent + block, limit)]
            sock.sendall(piece)
            sent += len(piece)
            if rate:
                wait = start + sent / rate - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
        if "cut" in mode:
            time.sleep(0.5)  # the client has read every byte before the reset comes
        if "reset" in mode or "cut" in mode:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
        elif "stall" in mode:
            try:
                while sock.recv(4096):
                    pass
            except OSError:
                pass

    def behave(self, path, args, raw):
        sock = self.request
        if path == "/echo":
            self.reply(b"200 OK", raw)
        elif path == "/file" or path == "/nolength":
            size = int(args.get("size", "1000"))
            head = b"HTTP/1.0 200 OK\r\n"
            if path == "/file":
                head += b"Content-Length: " + str(size).encode() + b"\r\n"
            sock.sendall(head + b"\r\n")
            send_pattern(sock, size)
            self.wait_quiet(float(args.get("keep", "0")))
        elif path == "/raw":
            sock.sendall(args.get("b", "").encode("latin-1"))
            self.wait_quiet(float(args.get("keep", "0")))
            if args.get("reset") == "1":
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
        elif path == "/manylines":
            n = int(args.get("n", "1000000"))
            sock.sendall(b"HTTP/1.0 200 OK\r\n")
            block = b"X: 12345\r\n" * 10000
            for _ in range(n // 10000):
                sock.sendall(block)
            sock.sendall(b"X: 12345\r\n" * (n % 10000) + b"\r\nbody")
        elif path == "/bigheader":
            mb = int(args.get("mb", "1536"))
            sock.sendall(b"HTTP/1.0 200 OK\r\n")
            line = b"X-Big: " + b"b" * 7991 + b"\r\n"
            for _ in range(mb * 131):
                sock.sendall(line)
            sock.sendall(b"\r\nbody")
        elif path == "/wronglength":
            size = int(args.get("size", "100"))
            say = args.get("say", "10").encode()
            sock.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: " + say + b"\r\n\r\n")
            send_pattern(sock, size)
        elif path == "/status":
            code = args.get("code", "404")
            body = b"<html><body>Error " + code.encode() + b"</body></html>"
            self.reply(code.encode() + b" Something", body)
        elif path == "/noreason":
            self.reply(b"200", b"no reason")
        elif path == "/silent":
            self.wait_quiet(float(args.get("secs", "30")))
        elif path == "/late":
            self.wait_quiet(float(args.get("secs", "5")))
            self.reply(b"200 OK", b"late")
        elif path == "/drip":
            n = int(args.get("n", "12"))
            gap = float(args.get("gap", "1"))
            sock.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: " + str(n).encode() + b"\r\n\r\n")
            for i in range(n):
                time.sleep(gap)
                sock.sendall(bytes([ord("a") + i % 26]))
        elif path == "/hdrip":
            n = int(args.get("n", "12"))
            gap = float(args.get("gap", "1"))
            sock.sendall(b"HTTP/1.0 200 OK\r\nX-Slow: ")
            for _ in range(n):
                time.sleep(gap)
                sock.sendall(b"s")
            sock.sendall(b"\r\nContent-Length: 4\r\n\r\nslow")
        elif path == "/stall":
            n = int(args.get("after", "1000"))
            sock.sendall(b"HTTP/1.0 200 OK\r\n\r\n")
            send_pattern(sock, n)
            self.wait_quiet(float(args.get("secs", "30")))
        elif path == "/close-header":
            sock.sendall(b"HTTP/1.0 200 OK\r\nContent-Le")
        elif path == "/close-body":
            sock.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n")
            send_pattern(sock, 300)
        elif path == "/longline":
            size = int(args.get("len", str(1 << 20)))
            sock.sendall(b"HTTP/1.0 200 OK\r\nX-Long: " + b"x" * size + b"\r\n\r\nbody")
        elif path == "/loop":
            self.reply(b"302 Found", b"again", b"Location: /loop\r\n")
        elif path == "/redirect":
            extra = b"Set-Cookie: " + args.get("cookie", "id=42").encode("latin-1") + b"\r\n"
            if args.get("nolocation") != "1":
                extra += b"Location: " + args.get("to", "/echo").encode("latin-1") + b"\r\n"
            self.reply(b"302 Found", b"moved", extra)
        else:
            self.reply(b"200 OK", b"path " + path.encode())


def loopback(host):
    """True for a name this machine resolves to 127.0.0.1: the proxy passes on to nothing else."""
    try:
        return socket.gethostbyname(host or "") == "127.0.0.1"
    except OSError:
        return False


def request_headers(raw):
    """The header lines of a request, by lower-case name."""
    headers = {}
    for line in raw.split(b"\r\n\r\n", 1)[0].split(b"\r\n")[1:]:
        name, _, value = line.decode("latin-1").partition(":")
        headers[name.strip().lower()] = value.strip()
    return headers


class ProxyHandler(Handler):
    """A forwarding proxy for loopback servers: the request goes on with its path only and
    without Proxy-Connection; the reply comes back byte for byte, a reset as a reset."""

    def handle(self):
        raw = self.next_request()
        if not raw:
            return
        head, _, rest = raw.partition(b"\r\n\r\n")
        lines = head.split(b"\r\n")
        words = lines[0].decode("latin-1").split(" ")
        with lock:
            proxy_log.append(lines[0].decode("latin-1"))
        if words[0] == "CONNECT" and len(words) == 3:
            host, _, port = words[1].rpartition(":")
            with lock:
                password = modes.get("CONNECT", {}).get("proxyauth")
            if password:
                self.reply(b"407 Proxy Authentication Required", b"password please",
                           b'Proxy-Authenticate: Basic realm="Firma"\r\n')
            elif not loopback(host) or not port.isdigit():
                self.reply(b"502 Bad Gateway", b"only loopback servers")
            else:
                self.request.sendall(b"HTTP/1.0 200 Connection established\r\n\r\n")
                tunnel(self.request, int(port))
            return
        target = urllib.parse.urlsplit(words[1] if len(words) == 3 else "")
        if target.scheme != "http" or not loopback(target.hostname):
            self.reply(b"502 Bad Gateway", b"only loopback servers")
            return
        with lock:
            password = modes.get(target.path, {}).get("proxyauth")
        if password:
            self.reply(b"407 Proxy Authentication Required", b"password please",
                       b'Proxy-Authenticate: Basic realm="Firma"\r\n')
            return
        path = target.path or "/"
        if target.query:
            path += "?" + target.query
        forwarded = [("%s %s %s" % (words[0], path, words[2])).encode("latin-1")]
        forwarded += [line for line in lines[1:] if not line.lower().startswith(b"proxy-connection:")]
        try:
            upstream = socket.create_connection(("127.0.0.1", target.port or 80), timeout=30)
        except OSError:
            self.reply(b"502 Bad Gateway", b"server not reached")
            return
        with upstream:
            upstream.sendall(b"\r\n".join(forwarded) + b"\r\n\r\n" + rest)
            try:
                while True:
                    chunk = upstream.recv(65536)
                    if not chunk:
                        break
                    self.request.sendall(chunk)
            except ConnectionResetError:
                self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.request.close()
            except OSError:
                pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


class TlsServer(Server):
    """The same server behind TLS; the handshake runs in the connection's own thread."""

    def __init__(self, address, handler, context):
        self.context = context
        super().__init__(address, handler)

    def get_request(self):
        sock, address = super().get_request()
        return self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), address

    def handle_error(self, request, client_address):
        pass  # a refused handshake is the client's choice


def relay(one, other, piece=0):
    """Hands the bytes of `one` on to `other` until either ends; `piece`: in segments that size."""
    try:
        while True:
            chunk = one.recv(65536)
            if not chunk:
                break
            if not piece:
                other.sendall(chunk)
                continue
            for at in range(0, len(chunk), piece):
                other.sendall(chunk[at:at + piece])
                time.sleep(0.0002)
    except OSError:
        pass
    for s in (one, other):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def tunnel(client, port, piece=0):
    """Joins `client` with 127.0.0.1:`port`, both ways, until both ends are done."""
    try:
        upstream = socket.create_connection(("127.0.0.1", port), timeout=30)
    except OSError:
        return False
    upstream.settimeout(None)
    client.settimeout(None)
    back = threading.Thread(target=relay, args=(upstream, client, piece), daemon=True)
    back.start()
    relay(client, upstream)
    back.join(30)
    upstream.close()
    return True


class SegmentingRelay(socketserver.BaseRequestHandler):
    """Everything to the TLS server, its answer back in pieces of 5 bytes, each its own segment."""

    def handle(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        tunnel(self.request, TLS_PORT, 5)


def tls_servers(folder):
    """Starts the TLS servers (see the top) and returns their ports."""
    global TLS_PORT
    ports = []
    for name, newest in (("good", False), ("othername", False), ("untrusted", False),
                         ("expired", False), ("good", True)):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, name + ".pem"))
        if newest:
            context.minimum_version = ssl.TLSVersion.TLSv1_3
        server = TlsServer(("127.0.0.1", 0), Handler, context)
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
        ports.append(server.server_address[1])
    TLS_PORT = ports[0]
    segmenting = Server(("127.0.0.1", 0), SegmentingRelay)
    threading.Thread(target=segmenting.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    return ports + [segmenting.server_address[1]]


def main():
    global ROOT
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", help="the folder whose files it serves")
    parser.add_argument("--port80", action="store_true", help="a twin on port 80 where it can be had")
    parser.add_argument("--lifetime", type=float, default=1800, help="seconds before it stops")
    parser.add_argument("--tls", help="the folder of testca.sh's certificates: TLS servers too")
    opts = parser.parse_args()
    if opts.root:
        ROOT = os.path.realpath(opts.root)

    server = Server(("127.0.0.1", opts.port), Handler)
    global PLAIN_PORT
    PLAIN_PORT = server.server_address[1]
    proxy = Server(("127.0.0.1", 0), ProxyHandler)
    threading.Thread(target=proxy.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    closed.bind(("127.0.0.1", 0))  # bound, never listening: connections are refused
    # A twin on port 80 where that port can be had, for URLs without a port.
    twin = None
    try:
        if opts.port80:
            twin = Server(("127.0.0.1", 80), Handler)
            threading.Thread(target=twin.serve_forever, kwargs={"poll_interval": 0.2},
                             daemon=True).start()
    except OSError:
        twin = None
    tmp = opts.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d %d %d %d\n" % (server.server_address[1], closed.getsockname()[1],
                                    80 if twin else 0, proxy.server_address[1]))
        if opts.tls:
            f.write(" ".join(str(p) for p in tls_servers(opts.tls)) + "\n")
    os.replace(tmp, opts.port_file)

    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    threading.Timer(opts.lifetime, server.shutdown).start()
    server.serve_forever(poll_interval=0.2)
    os._exit(0)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The maker's web server for the tests of the update road, on 127.0.0.1 only.

Serves the files below --root ("Updates.ini", "Updates/<file>.zip") as HTTP/1.0 replies with
Content-Length, and writes its port into --port-file once it listens. Control requests (not
served from the folder, not logged):
  /_mode?path=P&rate=N     send P at N bytes per second (0: as fast as possible)
  /_mode?path=P&reset=N    send N bytes of P's body, then reset the connection
  /_mode?path=P&status=C   answer P with status C and a small HTML body
  /_mode?path=P&stall=N    send N bytes of P's body, then nothing until the client goes
  /_mode?path=P&nolength=1 answer P without Content-Length (the body ends with the connection)
  /_clear                  back to serving everything plainly
  /_log                    the request lines received so far, one per line
It ends by itself after --lifetime seconds.
"""
import argparse
import os
import socket
import socketserver
import struct
import threading
import time
import urllib.parse

lock = threading.Lock()
modes = {}  # path -> dict of mode values
log = []


def reply(sock, status, body, reason="OK", length=None, announce=True):
    head = "HTTP/1.0 %d %s\r\nContent-Type: application/octet-stream\r\n" % (status, reason)
    if announce:
        head += "Content-Length: %d\r\n" % (len(body) if length is None else length)
    head += "\r\n"
    sock.sendall(head.encode("latin-1"))
    return body


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(30)
        data = b""
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = sock.recv(4096)
            if not chunk:
                return
            data += chunk
        line = data.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        if len(parts) < 2:
            return
        url = urllib.parse.urlsplit(parts[1])
        path = urllib.parse.unquote(url.path, encoding="latin-1")
        query = dict(urllib.parse.parse_qsl(url.query))
        if path == "/_mode":
            with lock:
                modes.setdefault(query.pop("path"), {}).update({k: int(v) for k, v in query.items()})
            sock.sendall(reply(sock, 200, b"ok"))
            return
        if path == "/_clear":
            with lock:
                modes.clear()
            sock.sendall(reply(sock, 200, b"ok"))
            return
        if path == "/_log":
            with lock:
                body = "".join(l + "\n" for l in log).encode("latin-1")
            sock.sendall(reply(sock, 200, body))
            return
        with lock:
            log.append(line)
            mode = dict(modes.get(path, {}))
        if "status" in mode:
            body = b"<html><body>Fehler %d</body></html>" % mode["status"]
            sock.sendall(reply(sock, mode["status"], body, reason="Error"))
            return
        local = os.path.normpath(os.path.join(ROOT, path.lstrip("/")))
        if not local.startswith(ROOT + os.sep) or not os.path.isfile(local):
            sock.sendall(reply(sock, 404, b"<html><body>404 Not Found</body></html>", reason="Not Found"))
            return
        with open(local, "rb") as f:
            body = f.read()
        reply(sock, 200, body, announce=not mode.get("nolength"))
        limit = mode.get("reset", mode.get("stall", len(body)))
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
        if "reset" in mode:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
        elif "stall" in mode:
            try:
                while sock.recv(4096):
                    pass
            except OSError:
                pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ROOT
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--lifetime", type=int, default=600)
    args = ap.parse_args()
    ROOT = os.path.realpath(args.root)
    server = Server(("127.0.0.1", 0), Handler)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The https rows of the download benchmark (tls_download.sh starts it with the trust in place):
httpget.exe and wininet_get.exe fetch the same files from one loopback TLS server, alternately,
--runs times each; the medians and their ratio are printed, then httpget's peak working set."""
import argparse
import http.server
import os
import re
import ssl
import statistics
import subprocess
import tempfile
import threading
import time

MB = 1 << 20


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--size-mb", type=int, default=64)
    parser.add_argument("--runs", type=int, default=5)
    opts = parser.parse_args()

    served = tempfile.mkdtemp(prefix="ostvane-tls", dir="/dev/shm")
    written = tempfile.mkdtemp(prefix="ostvane-tls-out", dir="/dev/shm")
    block = os.urandom(MB)
    with open(os.path.join(served, "big.bin"), "wb") as f:
        for _ in range(opts.size_mb):
            f.write(block)
    with open(os.path.join(served, "small.bin"), "wb") as f:
        f.write(block[:1024])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(opts.cert)
    handler = lambda *a, **k: Handler(*a, directory=served, **k)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "https://localhost:%d/" % server.server_address[1]
    target = "Z:" + os.path.join(written, "out.bin").replace("/", "\\")
    keeper = subprocess.Popen([opts.wine, os.path.join(opts.bin, "desktop_keeper.exe"), "3600"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)

    def run(program, url, stats=False):
        out = os.path.join(written, "stdout.txt")
        with open(out, "w") as f:
            code = subprocess.call([opts.wine, os.path.join(opts.bin, program)] + (["--stats"] if stats else []) +
                                   [url, target], stdout=f, stderr=subprocess.STDOUT)
        text = open(out).read()
        m = re.search(r"(\d+) bytes in ([\d.]+) s", text)
        if code != 0 or not m:
            raise SystemExit("%s failed: %s" % (program, text))
        s = re.search(r"peak working set (\d+) bytes", text)
        return int(m.group(1)), float(m.group(2)), int(s.group(1)) if s else 0

    try:
        run("httpget.exe", base + "small.bin")  # warm up
        run("wininet_get.exe", base + "small.bin")
        times = {("httpget.exe", "big"): [], ("wininet_get.exe", "big"): [],
                 ("httpget.exe", "small"): [], ("wininet_get.exe", "small"): []}
        for _ in range(opts.runs):
            for program in ("httpget.exe", "wininet_get.exe"):
                for name in ("big", "small"):
                    got, secs, _ = run(program, base + name + ".bin")
                    if name == "big" and got != opts.size_mb * MB:
                        raise SystemExit("%s received %d bytes" % (program, got))
                    times[(program, name)].append(secs)
        med = {k: statistics.median(v) for k, v in times.items()}
        size = opts.size_mb * MB
        print("https from one loopback TLS server (Python ssl), into a file, median of %d runs:" % opts.runs)
        for program, label in (("httpget.exe", "httpget"), ("wininet_get.exe", "WinINet")):
            print("  %-8s %d MB in %.3f s (%.0f MB/s); 1 KB in %.3f s" %
                  (label, opts.size_mb, med[(program, "big")], size / MB / med[(program, "big")],
                   med[(program, "small")]))
        print("  ratio WinINet / httpget time: %.2f for %d MB (goal 1.1, at least 1.0), %.2f for 1 KB" %
              (med[("wininet_get.exe", "big")] / med[("httpget.exe", "big")], opts.size_mb,
               med[("wininet_get.exe", "small")] / med[("httpget.exe", "small")]))
        _, _, small_peak = run("httpget.exe", base + "small.bin", stats=True)
        _, _, big_peak = run("httpget.exe", base + "big.bin", stats=True)
        print("  httpget peak working set: %.1f MB for 1 KB, %.1f MB for %d MB" %
              (small_peak / MB, big_peak / MB, opts.size_mb))
    finally:
        keeper.kill()
        server.shutdown()
        subprocess.call(["rm", "-rf", served, written])


if __name__ == "__main__":
    main()

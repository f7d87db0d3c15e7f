#!/usr/bin/env python3
"""Download benchmark of the HTTP client; started by bench/download.sh, which prepares Wine.

Prints, for one loopback server (tests/net/testserver.py on 127.0.0.1):
  throughput  MB/s of httpget.exe (the client's Get into a file), of a bare blocking Winsock loop
              under Wine (winsock_floor.exe) and of native curl, each the median of --runs, and
              the ratios;
  memory      httpget's peak working set for a 1 KB, the 256 MB and a 1 GB download;
  waiting     CPU time httpget uses while Get waits --wait seconds on a silent server.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MB = 1 << 20


def run(cmd):
    """Runs cmd; returns (stdout, wall seconds)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL)
    out, err = proc.communicate()
    wall = time.monotonic() - start
    if proc.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(cmd), out.decode(), err.decode()))
    return out.decode(), wall


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="build/x86_64/bin")
    parser.add_argument("--wine", default="/usr/lib/wine/wine64")
    parser.add_argument("--size-mb", type=int, default=256)
    parser.add_argument("--big-mb", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--wait", type=float, default=5.0)
    opts = parser.parse_args()

    here = os.path.dirname(os.path.abspath(__file__))
    work = tempfile.mkdtemp(prefix="netbench")
    port_file = os.path.join(work, "port")
    server = subprocess.Popen([sys.executable, os.path.join(here, "..", "tests", "net",
                                                             "testserver.py"),
                               "--port-file", port_file, "--lifetime", "900"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            if os.path.exists(port_file):
                break
            time.sleep(0.05)
        port = int(open(port_file).read().split()[0])
        size = opts.size_mb * MB
        path = "/file?size=%d" % size
        url = "http://127.0.0.1:%d%s" % (port, path)
        target = os.path.join(work, "out.bin")
        wine_target = "Z:" + target.replace("/", "\\")
        httpget = [opts.wine, os.path.join(opts.bin, "httpget.exe"), "--stats"]

        def httpget_run(u):
            out, wall = run(httpget + [u, wine_target])
            m = re.search(r"(\d+) bytes in ([\d.]+) s", out)
            s = re.search(r"cpu ([\d.]+) s, peak working set (\d+) bytes", out)
            return int(m.group(1)), float(m.group(2)), float(s.group(1)), int(s.group(2))

        def floor_run():
            out, wall = run([opts.wine, os.path.join(opts.bin, "winsock_floor.exe"), "127.0.0.1",
                             str(port), path, wine_target])
            m = re.search(r"(\d+) bytes .* in ([\d.]+) s", out)
            return float(m.group(2))

        def curl_run():
            start = time.monotonic()
            subprocess.run(["curl", "-s", "-o", target, url], check=True)
            return time.monotonic() - start

        figures = {"httpget (Get)": [], "bare Winsock loop": [], "curl": []}
        for _ in range(opts.runs):
            got, secs, _, _ = httpget_run(url)
            if got != size:
                sys.exit("httpget received %d of %d bytes" % (got, size))
            figures["httpget (Get)"].append(secs)
            figures["bare Winsock loop"].append(floor_run())
            figures["curl"].append(curl_run())
        print("throughput, %d MB from 127.0.0.1 into a file (median of %d runs):"
              % (opts.size_mb, opts.runs))
        rates = {}
        for name, secs in figures.items():
            rates[name] = opts.size_mb / statistics.median(secs)
            print("  %-20s %8.1f MB/s" % (name, rates[name]))
        print("  httpget / bare Winsock loop  %.2f" % (rates["httpget (Get)"] /
                                                     rates["bare Winsock loop"]))
        print("  httpget / curl               %.2f" % (rates["httpget (Get)"] / rates["curl"]))
        print("  bare Winsock loop / curl     %.2f" % (rates["bare Winsock loop"] / rates["curl"]))

        print("memory, httpget's peak working set:")
        _, _, _, idle = httpget_run("http://127.0.0.1:%d/file?size=1024" % port)
        print("  %-20s %8.1f MB" % ("1 KB download", idle / MB))
        for mb in (opts.size_mb, opts.big_mb):
            got, secs, _, peak = httpget_run("http://127.0.0.1:%d/file?size=%d" % (port, mb * MB))
            print("  %-20s %8.1f MB  (%+.1f MB; %.1f MB/s)" % ("%d MB download" % mb, peak / MB,
                                                              (peak - idle) / MB, mb / secs))
        os.remove(target)

        print("waiting, Get on a server silent for %.0f s:" % opts.wait)
        _, _, cpu_quick, _ = httpget_run("http://127.0.0.1:%d/file?size=1024" % port)
        _, secs, cpu_wait, _ = httpget_run("http://127.0.0.1:%d/late?secs=%g" % (port, opts.wait))
        extra = max(0.0, cpu_wait - cpu_quick)
        print("  CPU %.3f s over %.1f s (%.3f s for a quick request): %.2f %% of one core"
              % (cpu_wait, secs, cpu_quick, 100.0 * extra / secs))
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

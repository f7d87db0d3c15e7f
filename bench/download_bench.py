#!/usr/bin/env python3
"""Download benchmark of the HTTP client; started by bench/download.sh, which prepares Wine.

The server must not set the pace: Python's http.server (or nginx with --server nginx) serves a
file from a RAM-backed folder (/dev/shm) on 127.0.0.1, far faster than either client takes it.
Wine's desktop process is kept running by desktop_keeper.exe for the whole run, and the measured
programs write their output into files, never into a pipe.

Prints:
  throughput  httpget.exe (the client's Get, as the update wizard runs it) beside a bare blocking
              Winsock recv loop (winsock_floor.exe) and the same loop on a non-blocking socket
              (what every socket in asynchronous-notification mode is), into "NUL" and into a file
              (in a RAM-backed folder too, so that the disk does not set the pace), and beside the
              platform's own client (wininet_get.exe: WinINet's InternetReadFile in 64 KiB reads)
              into the file; runs alternate between the programs (and which one starts a round);
              the median, the fastest and the slowest of --runs, from the programs' own clocks
              (request to last byte) and from the process's wall time; the ratio of the medians;
  road        (unless --no-road) road_bench.exe: the wizard of Notizkasten.exe downloading a 20 MB
              archive beside httpget's transfer of it, and the progress display's processor time
              while the archive streams in at --rate bytes per second (the server sets that pace,
              which is the point there), with and without the display;
  memory      httpget's peak working set for a 1 KB download and for the big files;
  waiting     CPU time httpget uses while Get waits --wait seconds on a silent server;
  table       the rows of the goals side by side, with the machine's load.
"""
import argparse
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

MB = 1 << 20


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_listening(port, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.05)
    sys.exit("the server on port %d did not start" % port)


class Runner:
    """Starts Wine programs with their output in a file; returns (output, wall seconds)."""

    def __init__(self, wine, work, pin):
        self.wine = wine
        self.log = os.path.join(work, "out.txt")
        self.pin = pin

    def run(self, cmd, check=True):
        """Also keeps the processor time of the program's own process (Wine runs the program in
        the process it starts; the wineserver's share is not in it) in self.cpu."""
        with open(self.log, "wb") as out:
            start = time.monotonic()
            proc = subprocess.Popen(self.pin + [self.wine] + cmd, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.STDOUT)
            _, status, usage = os.wait4(proc.pid, 0)
            wall = time.monotonic() - start
            proc.returncode = os.waitstatus_to_exitcode(status)
            self.cpu = usage.ru_utime + usage.ru_stime
        text = open(self.log, "rb").read().decode("latin-1")
        if check and proc.returncode != 0:
            sys.exit("failed (%d): %s\n%s" % (proc.returncode, " ".join(cmd), text))
        return text, wall


def start_server(kind, folder, port, work, nginx_binary, pin):
    if kind == "nginx":
        conf = os.path.join(work, "nginx.conf")
        with open(conf, "w") as f:
            f.write("daemon off; worker_processes 1; pid %s/nginx.pid; error_log %s/error.log;\n"
                    "events {}\nhttp { access_log off; sendfile on;\n"
                    "  client_body_temp_path %s; proxy_temp_path %s; fastcgi_temp_path %s;\n"
                    "  uwsgi_temp_path %s; scgi_temp_path %s;\n"
                    "  server { listen 127.0.0.1:%d; root %s; } }\n"
                    % ((work,) * 7 + (port, folder)))
        cmd = [nginx_binary, "-c", conf, "-p", work]
    else:
        cmd = [sys.executable, "-m", "http.server", "--bind", "127.0.0.1", "--directory", folder,
               str(port)]
    server = subprocess.Popen(pin + cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    wait_listening(port)
    return server


def summary(values):
    return statistics.median(values), min(values), max(values)


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def run_road(opts, runner, here, work, server_pin):
    """The wizard's download beside httpget's, and the progress display's cost: road_bench.exe
    against the tests' loopback server serving the road's folder (make_road.py). Returns the
    figures of the table: (wizard / httpget, display's share of a core in %, its two lines)."""
    road = os.path.join(work, "road")
    subprocess.run([sys.executable, os.path.join(here, "..", "scripts", "make_road.py"), road, opts.bin],
                   check=True, stdout=subprocess.DEVNULL)
    port_file = os.path.join(work, "road-port")
    server = subprocess.Popen(server_pin + [sys.executable, os.path.join(here, "..", "tests", "support",
                                                                         "testserver.py"),
                                            "--root", os.path.join(road, "root"), "--port-file", port_file,
                                            "--lifetime", "3600"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):
            if os.path.exists(port_file) and open(port_file).read().strip():
                break
            time.sleep(0.05)
        authority = "127.0.0.1:%s" % open(port_file).read().split()[0]

        def winpath(path):
            return "Z:" + path.replace("/", "\\")

        bench = os.path.join(opts.bin, "road_bench.exe")
        temp = winpath(os.path.join(road, "temp")) + "\\"
        text, _ = runner.run([bench, str(opts.road_runs), authority,
                              winpath(os.path.join(road, "prog", "Notizkasten.exe")), temp, "0"])
        text2, _ = runner.run([bench, "display", authority, temp, str(opts.rate)])
        text = (text + text2).replace("\r", "")
        print("road, the wizard of Notizkasten.exe and httpget on a 20 MB archive (road_bench.exe), load %s:"
              % load())
        for line in text.splitlines():
            print("  " + line)
        ratio = re.search(r"ratio\s+wizard / httpget transfer ([\d.]+)", text)
        display = re.search(r"display\s+at \d+ bytes/s the progress display costs ([-\d.]+) s of ([\d.]+) s: "
                            r"([-\d.]+) %", text)
        download = re.search(r"download\s+wizard \(Weiter > to complete\) ([\d.]+) s \| httpget transfer ([\d.]+) s",
                             text)
        return (float(ratio.group(1)), float(display.group(3)),
                "%.3f s vs %.3f s" % (float(download.group(1)), float(download.group(2))),
                "%s s of processor in %s s" % (display.group(1), display.group(2)))
    finally:
        server.terminate()
        server.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="build/i686/bin or build/x86_64/bin")
    parser.add_argument("--wine", default="/usr/bin/wine")
    parser.add_argument("--size-mb", type=int, default=256)
    parser.add_argument("--big-mb", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--wait", type=float, default=5.0)
    parser.add_argument("--server", choices=["python", "nginx"], default="python")
    parser.add_argument("--nginx", default="nginx", help="the nginx program for --server nginx")
    parser.add_argument("--ram", default="/dev/shm", help="a RAM-backed folder for the files")
    parser.add_argument("--raw", action="store_true", help="also print every run's figures")
    parser.add_argument("--no-pin", action="store_true",
                        help="let the scheduler move server and clients between processors")
    parser.add_argument("--no-road", action="store_true", help="without the wizard's rows")
    parser.add_argument("--road-runs", type=int, default=5, help="runs of the wizard beside httpget")
    parser.add_argument("--rate", type=int, default=4000000,
                        help="bytes per second for the progress display's cost")
    parser.add_argument("--no-memory", action="store_true", help="without the memory and waiting figures")
    opts = parser.parse_args()

    here = os.path.dirname(os.path.abspath(__file__))
    work = tempfile.mkdtemp(prefix="netbench", dir=opts.ram)
    served = tempfile.mkdtemp(prefix="ostvane-bench", dir=opts.ram)
    os.chmod(served, 0o755)  # nginx's worker reads it as another user
    # The file written is RAM-backed too: the disk's write-back would set the pace otherwise.
    written = tempfile.mkdtemp(prefix="ostvane-bench-out", dir=opts.ram)
    out_bin = os.path.join(written, "out.bin")
    # With two processors or more, the server runs on the first and the measured program on the
    # second (download.sh puts the wineserver there too): left to the scheduler, both contenders
    # flip between a fast and a slow placement from one run to the next, and the medians say
    # more about that than about the programs.
    pinned = not opts.no_pin and shutil.which("taskset") and (os.cpu_count() or 1) >= 2
    server_pin = ["taskset", "-c", "0"] if pinned else []
    client_pin = ["taskset", "-c", "1"] if pinned else []
    runner = Runner(opts.wine, work, client_pin)
    keeper = subprocess.Popen([opts.wine, os.path.join(opts.bin, "desktop_keeper.exe"), "3600"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    server = silent = None
    rows = []  # (what, measured, ratio, goal)
    began = time.monotonic()
    try:
        block = os.urandom(MB)
        for name, mb in (("small.bin", 0), ("big.bin", opts.size_mb), ("huge.bin", opts.big_mb)):
            with open(os.path.join(served, name), "wb") as f:
                if mb == 0:
                    f.write(block[:1024])
                for _ in range(mb):
                    f.write(block)
        port = free_port()
        server = start_server(opts.server, served, port, work, opts.nginx, server_pin)
        time.sleep(2)  # the desktop process is up before the first measurement
        base = "http://127.0.0.1:%d/" % port
        size = opts.size_mb * MB
        targets = {"NUL": "NUL", "file": "Z:" + out_bin.replace("/", "\\")}

        def httpget(url, target, stats=False):
            text, wall = runner.run([os.path.join(opts.bin, "httpget.exe")] +
                                    (["--stats"] if stats else []) + [url, target])
            m = re.search(r"(\d+) bytes in ([\d.]+) s", text)
            s = re.search(r"cpu ([\d.]+) s, peak working set (\d+) bytes", text)
            return (int(m.group(1)), float(m.group(2)), wall,
                    float(s.group(1)) if s else 0.0, int(s.group(2)) if s else 0)

        def floor(target, nonblocking=False):
            text, wall = runner.run([os.path.join(opts.bin, "winsock_floor.exe"), "127.0.0.1",
                                     str(port), "/big.bin", target] +
                                    (["nonblocking"] if nonblocking else []))
            m = re.search(r"(\d+) bytes .* in ([\d.]+) s", text)
            return int(m.group(1)), float(m.group(2)), wall

        def wininet(target):
            text, wall = runner.run([os.path.join(opts.bin, "wininet_get.exe"), base + "big.bin", target])
            m = re.search(r"(\d+) bytes in ([\d.]+) s", text)
            return int(m.group(1)), float(m.group(2)), wall

        httpget(base + "small.bin", "NUL")  # warm up: Wine's files, the server, the page cache
        floor("NUL")
        wininet("NUL")
        figures = {}
        loads = []
        for round_ in range(opts.runs):
            loads.append(load())
            for tname, target in targets.items():
                contenders = ["httpget", "floor", "nonblocking"] + (["wininet"] if tname == "file" else [])
                if round_ % 2:
                    contenders.reverse()
                for who in contenders:
                    # Each contender writes a new file: the one before is gone, so that none of
                    # them pays for freeing it (httpget would only after its transfer, when it
                    # moves its file into place) and all take their memory from the same state.
                    if os.path.exists(out_bin):
                        os.remove(out_bin)
                    if who == "httpget":
                        got, secs, wall, _, _ = httpget(base + "big.bin", target)
                        if got != size:
                            sys.exit("httpget received %d of %d bytes" % (got, size))
                    elif who == "wininet":
                        got, secs, wall = wininet(target)
                        if got != size:
                            sys.exit("WinINet received %d of %d bytes" % (got, size))
                    else:
                        got, secs, wall = floor(target, who == "nonblocking")
                        if got < size:
                            sys.exit("the bare loop received %d of %d bytes" % (got, size))
                    figures.setdefault((who, tname), []).append((secs, wall, runner.cpu))
                    if opts.raw:
                        print("  run %d %-11s into %-4s %.3f s own clock, %.3f s wall, %.3f s CPU"
                              % (round_ + 1, who, tname, secs, wall, runner.cpu), flush=True)

        print("throughput, %d MB from %s on 127.0.0.1 (RAM-backed file), %d alternating runs%s, "
              "load at each round's start %s:"
              % (opts.size_mb, "nginx" if opts.server == "nginx" else "Python's http.server",
                 opts.runs, ", server on processor 0, clients on 1" if pinned else "",
                 " | ".join(loads)))
        print("  %-34s %28s   %s" % ("", "own clock: median (min-max)",
                                     "process wall, CPU: medians"))
        labels = (("httpget", "httpget (Get)"), ("floor", "bare blocking recv loop"),
                  ("nonblocking", "bare non-blocking loop"), ("wininet", "WinINet (InternetReadFile)"))
        for tname in targets:
            medians = {}
            for who, label in labels:
                if (who, tname) not in figures:
                    continue
                own = summary([s for s, _, _ in figures[(who, tname)]])
                wall = summary([w for _, w, _ in figures[(who, tname)]])
                cpu = summary([c for _, _, c in figures[(who, tname)]])
                medians[who] = (own[0], wall[0])
                print("  %-34s %7.3f s (%.3f-%.3f) %6.0f MB/s   %6.3f s, %.3f s"
                      % (label + " into " + tname, own[0], own[1], own[2], opts.size_mb / own[0],
                         wall[0], cpu[0]))
            for peer, label, goal in (("floor", "bare loop", "at least 0.9 x" if tname == "NUL" else "at least 0.95 x"),
                                      ("nonblocking", "non-blocking loop", None),
                                      ("wininet", "WinINet", "at least 1.1 x")):
                if peer not in medians:
                    continue
                # The runs of one round are closest in time, so their ratio is the least touched
                # by whatever else the machine does meanwhile.
                pairs = [f[0] / h[0] for f, h in zip(figures[(peer, tname)], figures[("httpget", tname)])]
                ratio = medians[peer][0] / medians["httpget"][0]
                print("  %-34s %7.2f x by own clock, %.2f x by wall time; per round: median %.2f x "
                      "(%.2f-%.2f)"
                      % ("httpget / %s into %s" % (label, tname), ratio,
                         medians[peer][1] / medians["httpget"][1], statistics.median(pairs),
                         min(pairs), max(pairs)))
                if goal:
                    rows.append(("httpget against %s into %s" % (label if peer != "floor" else "the bare blocking loop",
                                                               "NUL" if tname == "NUL" else "a file"),
                                 "%.3f s vs %.3f s" % (medians["httpget"][0], medians[peer][0]),
                                 "%.2f x (rounds %.2f x)" % (ratio, statistics.median(pairs)), goal))
        os.remove(out_bin)

        if not opts.no_road:
            wizard_ratio, display_share, download_text, display_text = run_road(opts, runner, here, work,
                                                                                server_pin)
            rows.append(("the wizard's download of 20 MB against httpget's", download_text,
                         "%.2f x" % wizard_ratio, "at most 1.1 x"))
            rows.append(("the progress display at %.0f MB/s" % (opts.rate / 1e6), display_text,
                         "%.1f %% of a core" % display_share, "under 1 %"))

        if not opts.no_memory:
            print("memory, httpget's peak working set:")
            _, _, _, _, idle = httpget(base + "small.bin", "NUL", stats=True)
            print("  %-20s %8.1f MB" % ("1 KB download", idle / MB))
            for name, mb in (("big.bin", opts.size_mb), ("huge.bin", opts.big_mb)):
                for tname, target in targets.items():
                    _, secs, _, _, peak = httpget(base + name, target, stats=True)
                    print("  %-20s %8.1f MB  (%+.1f MB; %.0f MB/s)" % (
                        "%d MB into %s" % (mb, tname), peak / MB, (peak - idle) / MB, mb / secs))
            os.remove(out_bin)

            print("waiting, Get on a server silent for %.0f s:" % opts.wait)
            port_file = os.path.join(work, "port")
            silent = subprocess.Popen([sys.executable, os.path.join(here, "..", "tests", "support",
                                                                    "testserver.py"),
                                       "--port-file", port_file, "--lifetime", "600"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists(port_file):
                    break
                time.sleep(0.05)
            silent_base = "http://127.0.0.1:%s/" % open(port_file).read().split()[0]
            _, _, _, cpu_quick, _ = httpget(silent_base + "file?size=1024", "NUL", stats=True)
            _, secs, _, cpu_wait, _ = httpget(silent_base + "late?secs=%g" % opts.wait, "NUL",
                                              stats=True)
            extra = max(0.0, cpu_wait - cpu_quick)
            print("  CPU %.3f s over %.1f s (%.3f s for a quick request): %.2f %% of one core"
                  % (cpu_wait, secs, cpu_quick, 100.0 * extra / secs))

        print("table (%s, %s; load now %s; the whole run took %.0f s):"
              % (os.path.basename(os.path.dirname(os.path.abspath(opts.bin))), opts.wine, load(),
                 time.monotonic() - began))
        print("  | %-52s | %-32s | %-24s | %-15s |" % ("what", "medians", "measured", "goal"))
        for what, measured, ratio, goal in rows:
            print("  | %-52s | %-32s | %-24s | %-15s |" % (what, measured, ratio, goal))
    finally:
        for proc in (server, silent, keeper):
            if proc:
                proc.terminate()
                proc.wait()
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(served, ignore_errors=True)
        shutil.rmtree(written, ignore_errors=True)


if __name__ == "__main__":
    main()

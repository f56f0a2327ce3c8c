#!/usr/bin/env python3
"""Load benchmark of the bridge (`tessel serve`): SESSIONS sessions opened at
once, each drawing its view, turning pages, printing to a pdf: printer and
syncing to the device simulator, then closing; then a bounded soak in which
a few sessions at a time go through the same steps over and over while the
bridge's memory is sampled. Prints the errors and the p50/p99 latency of
every action, and the bridge's memory at the start and the end of the soak.

usage: load.py BUILD_DIR [--sessions 64] [--soak SECONDS] [--soak-sessions 8]
                         [--view WxH] [--work DIR]

Everything listens on 127.0.0.1. The soak lasts 600 s unless --soak says
otherwise (0 skips it)."""
import argparse
import http.client
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

VIEW_GOAL_SECONDS = 3.0


class Bridge:
    """A `tessel serve` on a free port with its own printer file, flash
    file and temporary folder."""

    def __init__(self, build, work, max_sessions):
        self.tmp = os.path.join(work, "tmp")
        os.makedirs(self.tmp, exist_ok=True)
        env = dict(os.environ, TMPDIR=self.tmp, TESSEL_SIM_FLASH=os.path.join(work, "flash.bin"))
        command = [os.path.join(build, "apps", "tessel"), "serve", "--port", "0",
                   "--printer", "pdf:" + os.path.join(work, "print.pdf"),
                   "--library", os.path.join(build, "device", "AtUsbHidSimulator.so"),
                   "--max-sessions", str(max_sessions)]
        self.proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.proc.stdout.readline()
        if "http://127.0.0.1:" not in line:
            raise SystemExit("the bridge did not start: " + line)
        self.port = int(line.split("http://127.0.0.1:")[1].split("/")[0])
        self.origin = "http://127.0.0.1:%d" % self.port
        # The rest of its output is read and dropped, so it never blocks.
        threading.Thread(target=self.proc.stdout.read, daemon=True).start()

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def children(self):
        count = 0
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as stat:
                        if int(stat.read().rsplit(")", 1)[1].split()[1]) == self.proc.pid:
                            count += 1
                except (OSError, ValueError, IndexError):
                    pass
        return count

    def stop(self):
        started = time.monotonic()
        self.proc.terminate()
        code = self.proc.wait(timeout=10)
        return code, time.monotonic() - started


class Recorder:
    """Latencies per action and the errors, from every thread."""

    def __init__(self):
        self.lock = threading.Lock()
        self.times = {}
        self.errors = []

    def add(self, action, seconds, error=None):
        with self.lock:
            self.times.setdefault(action, []).append(seconds)
            if error:
                self.errors.append("%s: %s" % (action, error))

    def report(self, title):
        print("\n%s: %d errors" % (title, len(self.errors)))
        kinds = {}
        for error in self.errors:
            kinds.setdefault(error[:100], []).append(error)
        for kind, errors in sorted(kinds.items(), key=lambda item: -len(item[1]))[:10]:
            print("  %5d x %s" % (len(errors), errors[0]))
        print("  %-8s %6s %9s %9s %9s" % ("action", "count", "p50 s", "p99 s", "max s"))
        for action in ("create", "view", "next", "prev", "print", "sync", "close"):
            values = sorted(self.times.get(action, []))
            if values:
                p99 = values[min(len(values) - 1, int(round(0.99 * (len(values) - 1))))]
                print("  %-8s %6d %9.3f %9.3f %9.3f" % (action, len(values), statistics.median(values), p99, values[-1]))


def post(bridge, path, body, token=None, timeout=600):
    """One request on a connection of its own: (status, headers, bytes)."""
    connection = http.client.HTTPConnection("127.0.0.1", bridge.port, timeout=timeout)
    headers = {"Origin": bridge.origin, "Content-Type": "application/json"}
    if token:
        headers["X-Tessel-Token"] = token
    try:
        connection.request("POST", "/api/" + path, json.dumps(body), headers)
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


def one_session(bridge, recorder, view_size, start=None):
    """A page's life: open, draw, turn pages, print, sync, close."""
    if start is not None:
        start.wait()
    width, height = view_size

    def step(action, path, body, token=None, expect=200):
        began = time.monotonic()
        try:
            status, headers, data = post(bridge, path, body, token)
        except OSError as error:
            recorder.add(action, time.monotonic() - began, repr(error))
            return None
        seconds = time.monotonic() - began
        problem = None
        if status != expect:
            problem = "%d %s" % (status, data[:200].decode("utf-8", "replace"))
        elif path.endswith("/call") and not json.loads(data).get("ok"):
            problem = "not ok: " + data.decode("utf-8", "replace")
        elif action == "view" and seconds > VIEW_GOAL_SECONDS:
            problem = "answered in %.2f s" % seconds
        recorder.add(action, seconds, problem)
        return data if problem is None else None

    created = step("create", "sessions", {}, expect=201)
    if created is None:
        return
    session = json.loads(created)
    base, token = "sessions/%s/" % session["id"], session["token"]
    view = lambda: step("view", base + "view", {"width": width, "height": height}, token)
    view()
    for action, member in (("next", "NextPage"), ("next", "NextPage"), ("prev", "PrevPage")):
        step(action, base + "call", {"member": member}, token)
        view()
    step("print", base + "call", {"member": "Print"}, token)
    step("sync", base + "call", {"member": "Sync"}, token)
    view()
    step("close", base + "close", {}, token)


def burst(bridge, sessions, view_size):
    recorder = Recorder()
    start = threading.Barrier(sessions)
    threads = [threading.Thread(target=one_session, args=(bridge, recorder, view_size, start)) for _ in range(sessions)]
    began = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    recorder.report("%d sessions at once (%.1f s)" % (sessions, time.monotonic() - began))
    return recorder


def soak(bridge, seconds, sessions, view_size):
    recorder = Recorder()
    deadline = time.monotonic() + seconds
    samples = []

    def worker():
        while time.monotonic() < deadline:
            one_session(bridge, recorder, view_size)

    threads = [threading.Thread(target=worker) for _ in range(sessions)]
    began = time.monotonic()
    for thread in threads:
        thread.start()
    while any(thread.is_alive() for thread in threads):
        samples.append((time.monotonic() - began, bridge.rss_kib()))
        time.sleep(5)
    for thread in threads:
        thread.join()
    recorder.report("soak: %d sessions at a time for %.0f s" % (sessions, time.monotonic() - began))
    # The first minute warms up (thread stacks, allocator arenas); growth is
    # judged between the minute after it and the last minute.
    early = [kib for at, kib in samples if 60 <= at < 120] or [samples[0][1]]
    late = [kib for at, kib in samples if at >= samples[-1][0] - 60]
    print("  bridge memory (VmRSS): %d KiB in the 2nd minute, %d KiB in the last, %d KiB at most"
          % (statistics.median(early), statistics.median(late), max(kib for _, kib in samples)))
    return recorder


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--sessions", type=int, default=64)
    parser.add_argument("--soak", type=int, default=600)
    parser.add_argument("--soak-sessions", type=int, default=8)
    parser.add_argument("--view", default="816x1056")
    parser.add_argument("--work")
    args = parser.parse_args()
    view_size = tuple(int(side) for side in args.view.split("x"))
    work = args.work or tempfile.mkdtemp(prefix="tessel-bridge-load-")
    bridge = Bridge(os.path.abspath(args.build), work, max(args.sessions, args.soak_sessions))
    errors = 0
    try:
        print("bridge on port %d, memory at start %d KiB" % (bridge.port, bridge.rss_kib()))
        errors += len(burst(bridge, args.sessions, view_size).errors)
        print("  bridge memory after the burst: %d KiB" % bridge.rss_kib())
        if args.soak > 0:
            errors += len(soak(bridge, args.soak, args.soak_sessions, view_size).errors)
        left = bridge.children()
        print("\ncontrol processes left: %d, files left: %d" % (left, len(os.listdir(bridge.tmp))))
    finally:
        code, seconds = bridge.stop()
        print("SIGTERM: exit status %d after %.2f s" % (code, seconds))
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if errors or code != 0 else 0


if __name__ == "__main__":
    sys.exit(main())

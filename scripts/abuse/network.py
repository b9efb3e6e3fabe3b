#!/usr/bin/env python3
"""Network attacks on a hosting runtime process, one line per case.

A net_probe process hosts a session on 127.0.0.1; raw sockets then play idle
connections, slow senders, half-open peers, malformed packets, forged ids, floods,
deaf peers, broadcast bursts and connect/close churn against it. Beside every case
a monitor peer keeps asking the host (a ping every 20 ms, reading whatever else
arrives) and the host's resident memory, descriptors and processor time are read
from /proc. Each case is bounded in time; the whole run takes about two minutes.

Usage: network.py BIN_DIR      (BIN_DIR holds net_probe; exit 1 when a case fails)
Not run by CI: run it by hand after changing the network code, e.g.
    python3 scripts/abuse/network.py build/bin
"""
import os
import select
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

# ---- the wire, from its tables -------------------------------------------------------


def msg(kind, target, origin, payload=b"", length=None):
    n = len(payload) if length is None else length
    return b"CRVN" + bytes([kind]) + struct.pack("<iii", n, target, origin) + payload


def frame(packet):
    return b"NL" + struct.pack(">H", len(packet)) + packet


def join_record(name, hidden=0):
    field = name.encode()[:126].ljust(127, b"\0")
    return struct.pack("<ii", -1, -1) + bytes([hidden]) + field + b"\0" * 16


class Peer:
    """A raw connection that reads whole packets."""

    def __init__(self, port, rcvbuf=None):
        self.s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if rcvbuf:
            self.s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
        self.s.connect(("127.0.0.1", port))
        self.buf = b""
        self.id = -1

    def send(self, packet, timeout=5.0):
        data = frame(packet)
        self.s.settimeout(timeout)
        try:
            self.s.sendall(data)
            return True
        except OSError:
            return False

    def read(self, timeout):
        """The next packet (type, target, origin, payload), None on time-out, "end" when closed."""
        until = time.monotonic() + timeout
        while True:
            if len(self.buf) >= 4:
                n = struct.unpack(">H", self.buf[2:4])[0]
                if len(self.buf) >= 4 + n:
                    p, self.buf = self.buf[4:4 + n], self.buf[4 + n:]
                    if len(p) < 17:
                        return (-1, 0, 0, b"")
                    length, target, origin = struct.unpack("<iii", p[5:17])
                    return (p[4], target, origin, p[17:])
            left = until - time.monotonic()
            if left < 0:
                return None
            r, _, _ = select.select([self.s], [], [], left)
            if not r:
                return None
            try:
                chunk = self.s.recv(65536)
            except OSError:
                return "end"
            if not chunk:
                return "end"
            self.buf += chunk

    def join(self, name, timeout=3.0):
        if not self.send(msg(1, 0, 0, join_record(name))):
            return -1
        until = time.monotonic() + timeout
        while time.monotonic() < until:
            p = self.read(until - time.monotonic())
            if p is None or p == "end":
                return -1
            if p[0] == 2:
                self.id = p[1]
                return p[1]
        return -1

    def ask(self, kind, payload=b"", timeout=3.0, origin=None):
        """A request's reply payload, None when none came in time."""
        requester = self.id if origin is None else origin
        if not self.send(msg(kind, 0, requester, payload)):
            return None
        until = time.monotonic() + timeout
        while time.monotonic() < until:
            p = self.read(until - time.monotonic())
            if p is None or p == "end":
                return None
            if p[0] == kind and p[1] == requester and p[2] == 0:
                return p[3]
        return None

    def closed_within(self, timeout):
        """True once the host ended the connection (reads and drops whatever comes first)."""
        until = time.monotonic() + timeout
        while True:
            left = until - time.monotonic()
            if left < 0:
                return False
            r, _, _ = select.select([self.s], [], [], left)
            if not r:
                return False
            try:
                if not self.s.recv(65536):
                    return True
            except OSError:
                return True

    def close(self):
        self.s.close()


def send_reading(peer, data, limit=30.0):
    """Sends data while reading (and dropping) what arrives: a sender that never read
    its own copies would be held back by the host as any peer that stops reading."""
    peer.s.setblocking(False)
    until = time.monotonic() + limit
    try:
        while data and time.monotonic() < until:
            r, w, _ = select.select([peer.s], [peer.s], [], 0.1)
            if r:
                try:
                    peer.s.recv(65536)
                except BlockingIOError:
                    pass
            if w:
                try:
                    data = data[peer.s.send(data):]
                except BlockingIOError:
                    pass
    finally:
        peer.s.setblocking(True)
    return not data


# ---- the host and the monitor ------------------------------------------------------------


class Host:
    def __init__(self, bin_dir, temp):
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", TMPDIR=temp)
        env.pop("DISPLAY", None)
        self.p = subprocess.Popen([os.path.join(bin_dir, "net_probe")], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, env=env, text=True, bufsize=1)
        assert self.p.stdout.readline().strip() == "ready", "net_probe did not start"
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        assert self.run("HostGame %d" % self.port) == "1", "HostGame failed"
        self.player = self.run("CreatePlayer host")
        self.temp = temp

    def run(self, line):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()
        return self.p.stdout.readline().strip()

    def proc(self, name):
        return "/proc/%d/%s" % (self.p.pid, name)

    def rss_kib(self):
        with open(self.proc("status")) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def fds(self):
        return len(os.listdir(self.proc("fd")))

    def cpu_seconds(self):
        with open(self.proc("stat")) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def log(self):
        text = ""
        for name in os.listdir(self.temp):
            if name.endswith(".log"):
                with open(os.path.join(self.temp, name), errors="replace") as f:
                    text += f.read()
        return text

    def quit(self):
        try:
            self.p.stdin.write("Quit\n")
            self.p.stdin.flush()
            self.p.wait(10)
        except Exception:
            self.p.kill()
        return self.p.returncode


class Monitor(threading.Thread):
    """Pings the host every 20 ms and keeps the round trips; reads everything else."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.peer = Peer(port)
        self.id = self.peer.join("monitor")
        self.lock = threading.Lock()
        self.rtts = []
        self.misses = 0
        self.stop = False
        self.data = []

    def run(self):
        while not self.stop:
            start = time.monotonic()
            if not self.peer.send(msg(104, 0, self.id)):
                self.misses += 1
                return
            got = False
            while time.monotonic() - start < 3:
                p = self.peer.read(3 - (time.monotonic() - start))
                if p is None or p == "end":
                    break
                if p[0] == 104 and p[1] == self.id:
                    got = True
                    break
                if p[0] == 3:
                    with self.lock:
                        self.data.append(p)
            with self.lock:
                if got:
                    self.rtts.append(time.monotonic() - start)
                else:
                    self.misses += 1
            time.sleep(0.02)

    def take(self):
        """Worst round trip (ms) and misses since the last take."""
        with self.lock:
            worst = max(self.rtts) * 1000 if self.rtts else float("nan")
            misses = self.misses
            self.rtts, self.misses = [], 0
            return worst, misses

    def take_data(self):
        with self.lock:
            d, self.data = self.data, []
            return d


# ---- the cases ---------------------------------------------------------------------------


def idle_connections(h, mon):
    peers = [Peer(h.port) for _ in range(90)]
    closed = sum(p.closed_within(13) for p in peers[:1])
    closed += sum(p.closed_within(2) for p in peers[1:])
    for p in peers:
        p.close()
    late = Peer(h.port)
    joined = late.join("after idle") > 0
    late.close()
    return closed == 90 and joined, "%d of 90 closed by the join deadline, a new player joins: %s" % (closed, joined)


def slow_senders(h, mon):
    peers = [Peer(h.port) for _ in range(10)]
    data = frame(msg(1, 0, 0, join_record("slow")))
    for i in range(0, len(data), 8):
        for p in peers:
            p.s.sendall(data[i:i + 8])
        time.sleep(0.15)
    ids = [0] * len(peers)
    for k, p in enumerate(peers):
        r = p.read(3)
        ids[k] = r[1] if r not in (None, "end") and r[0] == 2 else -1
        p.close()
    ok = all(i > 0 for i in ids)
    return ok, "10 joins trickled in 8 bytes per 150 ms over %.1f s: %d answered" % (
        len(data) / 8 * 0.15, sum(i > 0 for i in ids))


def half_open_peers(h, mon):
    good = 0
    for _ in range(20):
        p = Peer(h.port)
        pid = p.join("half")
        p.send(msg(104, 0, pid))
        p.s.shutdown(socket.SHUT_WR)
        r = p.read(3)
        ok = r not in (None, "end") and r[0] == 104 and r[1] == pid
        good += ok and p.closed_within(3)
        p.close()
    return good == 20, "%d of 20 got their reply after closing their side, then were closed" % good


def malformed_packets(h, mon):
    cases = [
        (b"GET / HTTP/1.0\r\n\r\n", True),
        (frame(msg(3, 5, 5, b"abc", length=1000000)), False),
        (frame(msg(3, 5, 5, b"abc", length=-5)), False),
        (frame(msg(3, 5, 5, b"x" * 2983)), False),
        (b"NL" + struct.pack(">H", 20000) + b"x" * 20000, True),
        (frame(b"") + frame(b"CRV") + frame(b"XXXX" + b"\0" * 13), False),
        (b"".join(frame(msg(t, 0, 101)) for t in (0, 5, 99, 200, 255)), False),
        (frame(msg(1, 0, 0, b"j" * 151)), False),
        (frame(msg(104, 0, 101))[:9], False),
        (os.urandom(4096), True),
    ]
    bad = []
    for k, (raw, ends) in enumerate(cases):
        p = Peer(h.port)
        p.s.sendall(raw)
        if ends and not p.closed_within(2):
            bad.append(k)
        p.close()
    alive = mon.peer is not None and Peer(h.port).join("after garbage") > 0
    return not bad and alive, "%d kinds; lost framing ends the connection%s; host answers after: %s" % (
        len(cases), "" if not bad else " (not for %s)" % bad, alive)


def forged_ids(h, mon):
    a = Peer(h.port)
    aid = a.join("forger")
    mon.take_data()
    a.send(msg(3, mon.id, mon.id, b"forged data"))            # under the monitor's id
    a.send(msg(3, -1, int(h.player), b"forged broadcast"))    # under the host's player
    a.send(msg(3, mon.id, 424242, b"nobody's data"))
    reply = a.ask(101, origin=mon.id, timeout=1)               # a request for somebody else
    a.send(msg(4, 0, mon.id))                                  # a leave for somebody else
    a.send(msg(3, mon.id, aid, b"honest"))
    time.sleep(0.5)
    got = [p[3] for p in mon.take_data()]
    count = a.ask(101)
    a.close()
    ok = got == [b"honest"] and reply is None and count is not None and struct.unpack("<i", count)[0] >= 2
    return ok, "monitor got %s; foreign request answered: %s; monitor still counted: %s" % (
        got, reply is not None, count is not None and struct.unpack("<i", count)[0] >= 2)


def floods(h, mon):
    reader = Peer(h.port)
    rid = reader.join("reader")
    n, senders = 20000, 4
    done = []

    def flood(k):
        p = Peer(h.port)
        pid = p.join("flood%d" % k)
        burst = b"".join(frame(msg(3, rid, pid, b"%d:%d" % (k, i))) for i in range(n))
        p.s.sendall(burst)
        done.append(p)

    threads = [threading.Thread(target=flood, args=(k,)) for k in range(senders)]
    start = time.monotonic()
    for t in threads:
        t.start()
    nxt = [0] * senders
    total = disorder = 0
    while total < n * senders and time.monotonic() - start < 30:
        p = reader.read(3)
        if p is None or p == "end":
            break
        k, i = map(int, p[3].split(b":"))
        disorder += i != nxt[k]
        nxt[k] = i + 1
        total += 1
    for t in threads:
        t.join()
    for p in done:
        p.close()
    reader.close()
    took = time.monotonic() - start
    return total == n * senders and not disorder, "%d senders x %d messages: %d arrived, %d out of order, %.1f s (%.0f msgs/s)" % (
        senders, n, total, disorder, took, total / took)


def deaf_peers(h, mon):
    deaf = []
    for k in range(3):
        p = Peer(h.port, rcvbuf=4096)
        p.join("deaf%d" % k)
        deaf.append(p)
    sender = Peer(h.port)
    sid = sender.join("broadcaster")
    mon.take_data()
    log_before = len(h.log())
    payload = b"b" * 2048
    sent = 0
    start = time.monotonic()
    cut = None
    sender.s.setblocking(False)
    pending = b""
    while time.monotonic() - start < 20:
        if not pending:
            pending = frame(msg(3, -1, sid, payload))
        try:
            n = sender.s.send(pending)
            pending = pending[n:]
            if not pending:
                sent += 1
        except BlockingIOError:
            select.select([sender.s], [sender.s], [], 0.01)
        try:
            while sender.s.recv(65536):
                pass
        except BlockingIOError:
            pass
        if cut is None and h.log().count("read nothing for", log_before) >= 3:
            cut = time.monotonic() - start
        if cut is not None and time.monotonic() - start > cut + 1:
            break
    sender.s.setblocking(True)
    time.sleep(1)
    for _ in range(50):
        got = sum(1 for p in mon.take_data())
        mon.data_seen = getattr(mon, "data_seen", 0) + got
        if mon.data_seen >= sent:
            break
        sender.s.setblocking(False)
        try:
            while sender.s.recv(65536):
                pass
        except BlockingIOError:
            pass
        sender.s.setblocking(True)
        time.sleep(0.1)
    seen = mon.data_seen
    mon.data_seen = 0
    ended = sum(p.closed_within(5) for p in deaf)
    for p in deaf + [sender]:
        p.close()
    ok = cut is not None and 9 <= cut <= 15 and ended == 3 and seen == sent
    return ok, "3 deaf peers cut after %s s (%d ended); %d of %d broadcasts reached the monitor" % (
        "%.1f" % cut if cut else "never", ended, seen, sent)


def broadcast_bursts(h, mon):
    readers = []
    for k in range(30):
        p = Peer(h.port)
        p.join("r%d" % k)
        readers.append(p)
    sender = Peer(h.port)
    sid = sender.join("burst")
    mon.take_data()
    bursts, size = 10, 500
    counts = [0] * len(readers)
    stop = threading.Event()

    def read_all(k):
        while not stop.is_set():
            p = readers[k].read(0.2)
            if p not in (None, "end") and p[0] == 3:
                counts[k] += 1

    threads = [threading.Thread(target=read_all, args=(k,)) for k in range(len(readers))]
    for t in threads:
        t.start()
    start = time.monotonic()
    for b in range(bursts):
        send_reading(sender, b"".join(frame(msg(3, -1, sid, b"x" * 1024)) for _ in range(size)))
        time.sleep(0.2)
    total = bursts * size
    while min(counts) < total and time.monotonic() - start < 30:
        time.sleep(0.1)
        sender.s.setblocking(False)
        try:
            while sender.s.recv(65536):
                pass
        except BlockingIOError:
            pass
        sender.s.setblocking(True)
    stop.set()
    for t in threads:
        t.join()
    for p in readers + [sender]:
        p.close()
    mon.take_data()
    return min(counts) == total, "%d bursts of %d x 1 KB to 31 readers: fewest received %d of %d" % (
        bursts, size, min(counts), total)


def churn(h, mon):
    before = h.fds()
    for _ in range(2000):
        s = socket.socket()
        s.connect(("127.0.0.1", h.port))
        s.close()
    time.sleep(1)
    after = h.fds()
    return after <= before + 2, "2,000 connect/close cycles: host descriptors %d before, %d after" % (before, after)


CASES = [
    ("idle connections", idle_connections),
    ("slow senders", slow_senders),
    ("half-open peers", half_open_peers),
    ("malformed packets", malformed_packets),
    ("forged ids", forged_ids),
    ("floods", floods),
    ("deaf peers", deaf_peers),
    ("broadcast bursts", broadcast_bursts),
    ("connect/close churn", churn),
]


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    failed = passed = 0
    worst_all = 0.0
    with tempfile.TemporaryDirectory() as temp:
        host = Host(sys.argv[1], temp)
        mon = Monitor(host.port)
        mon.start()
        print("host pid %d port %d: RSS %d KiB, %d descriptors at the start" % (host.p.pid, host.port, host.rss_kib(), host.fds()))
        for name, case in CASES:
            mon.take()
            cpu0, t0 = host.cpu_seconds(), time.monotonic()
            try:
                ok, detail = case(host, mon)
            except Exception as e:  # a case that breaks is a failed case
                ok, detail = False, "error: %r" % e
            time.sleep(0.3)  # the monitor asks at least once after the case
            wall = time.monotonic() - t0
            cpu = (host.cpu_seconds() - cpu0) / wall * 100
            worst, misses = mon.take()
            held = ok and misses == 0 and worst < 500
            worst_all = max(worst_all, worst)
            print("%-20s %-6s worst round trip %6.1f ms, misses %d; host RSS %6d KiB, %3d descriptors, cpu %5.1f %% over %4.1f s; %s" % (
                name, "held" if held else "FAILED", worst, misses, host.rss_kib(), host.fds(), cpu, wall, detail), flush=True)
            passed += held
            failed += not held
        mon.stop = True
        mon.join(5)
        status = host.quit()
        print("host ended with status %s; worst round trip of the run %.1f ms" % (status, worst_all))
    print("abuse network: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

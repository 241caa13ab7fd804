#!/usr/bin/env python3
"""Measures a built gateway under load with quell-sim and prints one table.

Started by bench/run.sh (which builds build-bench and isolates the run); by
hand: bench/measure.py BUILD_DIR [--repeat N] [--idle-seconds S] [--quick].

One gateway runs in a scratch copy of examples/workdir with 32 configured
lines on serial adapters that are not plugged in (a station's rack with its
lines unplugged is the idle case that costs the most) and a station client
on 8040 that reads and counts every forwarded event. Then, each run
repeated: its idle CPU, DC-09 datagrams a second with a window of
outstanding datagrams, DC-09 reply times at a fixed 2,000 a second, and
ADM-CID over TCP from 1,000 modules at once.
"""
import argparse, os, re, socket, statistics, subprocess, sys, threading, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from smoke_common import Smoke  # noqa: E402

LINES = 32
MARKER = b";MLR_EVENT|"


def station_lines():
    """24 modem lines and 8 receiver lines, COM1..COM32 on absent adapters."""
    records, ports = [], []
    for i in range(1, LINES + 1):
        if i <= 24:
            records.append("GSM line %d;GSM XCALL;0;COM%d,9600,8,0,0,0;ONLINE;"
                           "KEY01 KEY02 KEY03 KEY04;M1;E130 E130 E130 E130;" % (i, i))
        else:
            records.append("Receiver %d;MLR;0;COM%d,9600,8,0,0,0;ONLINE;"
                           "KEY_01 KEY_02 KEY_03 KEY_04;;;" % (i, i))
        ports.append("COM%d=/dev/ttyUSB%d" % (i, i - 1))
    return "".join(r + "\r\n" for r in records), "".join(p + "\r\n" for p in ports)


class Client(threading.Thread):
    """The station client on 8040: counts the forwarded events."""

    def __init__(self):
        super().__init__(daemon=True)
        self.sock = None
        self.events = 0
        self.stop = False

    def connect(self, timeout=15):
        end = time.time() + timeout
        while time.time() < end:
            try:
                self.sock = socket.create_connection(("127.0.0.1", 8040), timeout=1)
                self.sock.settimeout(0.5)
                return True
            except OSError:
                time.sleep(0.2)
        return False

    def run(self):
        tail = b""
        while not self.stop:
            try:
                data = self.sock.recv(1 << 16)
            except socket.timeout:
                continue
            except OSError:
                return
            if not data:
                return
            # The kept tail is shorter than the marker: never counted twice.
            data = tail + data
            self.events += data.count(MARKER)
            tail = data[-(len(MARKER) - 1):]


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime, all threads


def idle_cpu(pid, seconds):
    hz = os.sysconf("SC_CLK_TCK")
    t0, c0 = time.time(), cpu_ticks(pid)
    time.sleep(seconds)
    t1, c1 = time.time(), cpu_ticks(pid)
    return 100.0 * (c1 - c0) / hz / (t1 - t0)


def sim(build, *args, timeout=600):
    out = subprocess.run([os.path.join(build, "quell-sim")] + list(args), stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, timeout=timeout).stdout.decode()
    return out


def number(pattern, text):
    m = re.search(pattern, text)
    if not m:
        raise RuntimeError("no %r in:\n%s" % (pattern, text))
    return float(m.group(1))


def dc09_flood(build, count, window):
    out = sim(build, "dc09", "127.0.0.1:8005", "--count", str(count), "--window", str(window),
              "--quiet", "--timeout", "5000")
    sent = number(r"sent (\d+):", out)
    ack = number(r"ACK (\d+),", out)
    return {"rate": number(r"([\d.]+) messages/s", out), "sent": sent, "bad": sent - ack}


def dc09_fixed(build, rate, seconds):
    out = sim(build, "dc09", "127.0.0.1:8005", "--count", str(int(rate * seconds)), "--rate",
              str(rate), "--quiet", "--timeout", "5000")
    sent = number(r"sent (\d+):", out)
    return {"p50": number(r"p50 ([\d.]+) ms", out), "p99": number(r"p99 ([\d.]+) ms", out),
            "p999": number(r"p99.9 ([\d.]+) ms", out),
            "bad": sent - number(r"ACK (\d+),", out)}


def ip_fleet(build, modules, messages):
    out = sim(build, "ip", "127.0.0.1:8097", "--modules", str(modules), "--messages",
              str(messages), "--quiet", "--timeout", "10000")
    reply = out[out.index("send to reply:"):]
    return {"rate": number(r"([\d.]+) messages/s", out), "p99": number(r"p99 ([\d.]+) ms", reply),
            "greeted": number(r"greeted (\d+)", out),
            "bad": modules * messages - number(r"ACK (\d+),", out)}


def tcp_fixed(rate, seconds, modules=10):
    """ADM-CID events over TCP at a fixed total rate from a few modules, each
    waiting for its ACK: send-to-ACK latency percentiles in ms."""
    latencies, bad, lock = [], [0], threading.Lock()

    def module(i):
        s = socket.create_connection(("127.0.0.1", 8096), timeout=5)
        got = b""
        while len(got) < 24:
            got += s.recv(24 - len(got))
        period = modules / float(rate)
        start = time.perf_counter() + i * period / modules
        for k in range(int(rate * seconds / modules)):
            due = start + k * period
            pause = due - time.perf_counter()
            if pause > 0:
                time.sleep(pause)
            t0 = time.perf_counter()
            s.sendall(b'"ADM-CID"0001R0001L0001[#00%04d|1130 01 015]' % (6000 + i))
            reply = s.recv(16)
            with lock:
                latencies.append((time.perf_counter() - t0) * 1000)
                bad[0] += reply != b"ACK\r"
        s.close()

    threads = [threading.Thread(target=module, args=(i,)) for i in range(modules)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    latencies.sort()
    pick = lambda p: latencies[min(len(latencies) - 1, int(p / 100.0 * len(latencies)))]
    return {"p50": pick(50), "p99": pick(99), "bad": bad[0], "sent": len(latencies)}


def store_figures(build):
    out = subprocess.run([os.path.join(build, "store_bench"), "--rows", "100000", "--seconds", "5"],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600).stdout.decode()
    return {"rows": number(r"store rows/s ([\d.]+)", out),
            "per": number(r"([\d.]+) rows a commit", out),
            "f99": number(r"commit at full rate p50 [\d.]+ ms p99 ([\d.]+) ms", out),
            "c50": number(r"commit at 2,000/s p50 ([\d.]+) ms", out),
            "c99": number(r"commit at 2,000/s p50 [\d.]+ ms p99 ([\d.]+) ms", out),
            "a99": number(r"completion at 2,000/s p50 [\d.]+ ms p99 ([\d.]+) ms", out)}


def spread(values, fmt):
    values = sorted(values)
    med = statistics.median(values)
    if len(values) == 1:
        return fmt % med, ""
    return fmt % med, (fmt + " - " + fmt) % (values[0], values[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--idle-seconds", type=float, default=30)
    ap.add_argument("--quick", action="store_true", help="small counts, one run")
    a = ap.parse_args()
    if a.quick:
        a.repeat, a.idle_seconds = 1, 5
    flood_count = 20000 if a.quick else 200000
    fixed_seconds = 2 if a.quick else 10
    tcp_messages = 2 if a.quick else 20

    run = Smoke(a.build, "quell-bench-")
    lines, ports = station_lines()
    run.write("ConnectionType.ini", lines)
    run.write("ComPorts.ini", ports)
    log = open(run.path("gateway.log"), "wb")
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    gw = subprocess.Popen([os.path.join(run.build, "quell-server")], cwd=run.work, env=env,
                          stdout=log, stderr=subprocess.STDOUT)
    client = Client()
    try:
        if not client.connect():
            sys.exit("no Wardex client port; see %s" % run.path("gateway.log"))
        client.start()
        time.sleep(5)  # start-up: lines open (or fail to), first polls
        results = {k: [] for k in ("idle", "flood", "fixed", "tcp", "tcpfixed", "store")}
        for i in range(a.repeat):
            print("run %d/%d: load %s" % (i + 1, a.repeat, os.getloadavg()[0]), file=sys.stderr)
            results["idle"].append(idle_cpu(gw.pid, a.idle_seconds))
            results["flood"].append(dc09_flood(a.build, flood_count, 64))
            results["fixed"].append(dc09_fixed(a.build, 2000, fixed_seconds))
            results["tcp"].append(ip_fleet(a.build, 1000, tcp_messages))
            results["tcpfixed"].append(tcp_fixed(2000, fixed_seconds))
            if gw.poll() is not None:
                sys.exit("the gateway ended; see %s" % run.path("gateway.log"))
        time.sleep(1)
        expected = sum(r["sent"] for r in results["flood"]) + \
            sum(int(2000 * fixed_seconds) for _ in results["fixed"]) + \
            1000 * tcp_messages * a.repeat + sum(r["sent"] for r in results["tcpfixed"])
        forwarded = client.events
    finally:
        client.stop = True
        gw.terminate()
        gw.wait(timeout=15)
        log.close()
    # The store alone, on the same disk, after the gateway has ended.
    for i in range(a.repeat):
        results["store"].append(store_figures(a.build))

    rows = []

    def row(what, key, fmt, aim, ok):
        med, rng = spread([key(r) for r in results[what[0]]], fmt)
        rows.append((what[1], med, rng, aim, "yes" if ok else "not yet"))

    fl, fx, tc = results["flood"], results["fixed"], results["tcp"]
    row(("flood", "DC-09 UDP datagrams/s (window 64), store on"), lambda r: r["rate"], "%.0f", "> 50,000",
        all(r["rate"] > 50000 for r in fl))
    row(("flood", "  wrong or missing DC-09 replies"), lambda r: r["bad"], "%.0f", "0",
        all(r["bad"] == 0 for r in fl))
    for k, label in (("p50", "p50"), ("p99", "p99"), ("p999", "p99.9")):
        row(("fixed", "DC-09 ACK latency %s at 2,000/s, ms" % label), lambda r, k=k: r[k], "%.2f",
            "< 2 ms" if k == "p99" else "", k != "p99" or all(r["p99"] < 2 for r in fx))
    row(("fixed", "  wrong or missing replies at 2,000/s"), lambda r: r["bad"], "%.0f", "0",
        all(r["bad"] == 0 for r in fx))
    row(("tcp", "ADM-CID TCP, 1,000 modules: messages/s"), lambda r: r["rate"], "%.0f", "", True)
    row(("tcp", "ADM-CID TCP, 1,000 modules: p99 ACK, ms"), lambda r: r["p99"], "%.2f", "", True)
    row(("tcp", "  modules served / messages not ACKed"),
        lambda r: r["greeted"] * 100000 + r["bad"], "%.0f", "1,000 / 0",
        all(r["greeted"] >= 1000 and r["bad"] == 0 for r in tc))
    rows[-1] = (rows[-1][0], "%d / %d" % (min(r["greeted"] for r in tc), max(r["bad"] for r in tc)),
                "", rows[-1][3], rows[-1][4])
    row(("tcpfixed", "ADM-CID TCP at 2,000/s (10 modules): p50 ACK, ms"), lambda r: r["p50"],
        "%.2f", "", True)
    row(("tcpfixed", "ADM-CID TCP at 2,000/s (10 modules): p99 ACK, ms"), lambda r: r["p99"],
        "%.2f", "< 2 ms", all(r["p99"] < 2 for r in results["tcpfixed"]))
    row(("store", "Store alone: rows/s (group commit)"), lambda r: r["rows"], "%.0f", "", True)
    row(("store", "Store alone: rows a commit at full rate"), lambda r: r["per"], "%.0f", "", True)
    row(("store", "Store alone: commit p99 at full rate, ms"), lambda r: r["f99"], "%.2f", "", True)
    row(("store", "Store alone: commit p50 at 2,000/s, ms"), lambda r: r["c50"], "%.2f", "", True)
    row(("store", "Store alone: commit p99 at 2,000/s, ms"), lambda r: r["c99"], "%.2f", "", True)
    row(("store", "Store alone: row to completion at 2,000/s p99, ms"), lambda r: r["a99"],
        "%.2f", "", True)
    row(("idle", "Idle CPU, %d lines, %% of one core" % LINES), lambda r: r, "%.2f", "< 0.5 %",
        all(r < 0.5 for r in results["idle"]))
    rows.append(("Events forwarded to the 8040 client", "%d of %d" % (forwarded, expected), "",
                 "all", "yes" if forwarded >= expected else "not yet"))

    print("| Measure | Median | Spread (min - max, %d runs) | Aim | Met |" % a.repeat)
    print("|---|---|---|---|---|")
    for r in rows:
        print("| %s | %s | %s | %s | %s |" % r)


if __name__ == "__main__":
    main()

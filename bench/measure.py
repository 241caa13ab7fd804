#!/usr/bin/env python3
"""Measures a built gateway under load with quell-sim and prints one table.

Started by bench/run.sh (which builds build-bench and isolates the run); by
hand: bench/measure.py BUILD_DIR [--repeat N] [--idle-seconds S] [--quick].

One gateway runs in a scratch copy of examples/workdir with 32 configured
lines on serial adapters that are not plugged in (a station's rack with its
lines unplugged is the idle case that costs the most) and a station client
on 8040 that reads and counts every forwarded event. Then, each run
repeated: its idle CPU, this machine's limits (bench/limit/: a bare UDP echo
with the same window and datagram sizes, and one fdatasync of a 4 KiB
append in the same file system), DC-09 datagrams a second with a window of
outstanding datagrams, DC-09 reply times at a fixed 2,000 a second (also with
the store on a PostgreSQL server started on this machine, against the events
file in the same runs), and
ADM-CID over TCP from 1,000 modules at once and from 50 connections in
lock-step (each message sent once the previous one's ACK came). Then, each run, a gateway
with DC09.ini (the standard DC-09 receiver) takes the same two DC-09 loads,
plain and encrypted, and a fresh gateway without it takes them plain, the
two taking turns, to compare them under the same load. Last, the
monitoring surface: a fresh gateway without Monitoring.ini, one with it and
a scrape of /metrics every second, and (with --before BUILD) the gateway of
an earlier build, taking turns, each with the DC-09 flood, DC-09 at
2,000/s and ADM-CID from 1,000 modules.
"""
import argparse, fcntl, os, re, socket, statistics, subprocess, sys, threading, time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from smoke_common import Smoke  # noqa: E402
HERE = os.path.dirname(os.path.abspath(__file__))

LINES = 32
# The lock-step ADM-CID load: connections, messages on each.
LOCKSTEP = (50, 200)
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


class LogTail:
    """Takes the gateway's standard output as a service manager would and
    keeps its last megabyte for gateway.log (`tail -c`). Written to a file
    as it comes, a flood's journal (over 100 bytes an event) reached the
    disk in bursts that the event store's syncs waited behind; read by
    Python it cost a third of the DC-09 rate."""

    def __init__(self, path):
        self.out = open(path, "ab")
        self.tail = subprocess.Popen(["tail", "-c", str(1 << 20)], stdin=subprocess.PIPE,
                                     stdout=self.out)
        self.write_fd = self.tail.stdin.fileno()
        try:
            fcntl.fcntl(self.write_fd, 1031, 1 << 20)  # F_SETPIPE_SZ: no wait on a slow turn
        except OSError:
            pass

    def start(self):
        self.tail.stdin.close()  # the gateway holds the pipe now

    def close(self):
        self.tail.wait(timeout=15)
        self.out.close()


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


# The standard receiver's accounts: 1234 plain, 123F with an AES-128 key.
DC09_INI = "[Accounts]\r\n1234=1234\r\n123F=123F,000102030405060708090A0B0C0D0E0F\r\n"
ENCRYPTED = ("--account", "123F", "--key", "000102030405060708090A0B0C0D0E0F")


def dc09_flood(build, count, window, *extra):
    out = sim(build, "dc09", "127.0.0.1:8005", "--count", str(count), "--window", str(window),
              "--quiet", "--timeout", "5000", *extra)
    sent = number(r"sent (\d+):", out)
    ack = number(r"ACK (\d+),", out)
    return {"rate": number(r"([\d.]+) messages/s", out), "sent": sent, "bad": sent - ack}


def settle(client):
    """Waits until the client has read all a flood's events (or 15 s), so a
    fixed-rate phase that follows measures its own replies and not the
    gateway and the client still busy with the flood's tail."""
    seen = -1
    for _ in range(30):
        if client.events == seen:
            return
        seen = client.events
        time.sleep(0.5)


def dc09_fixed(build, rate, seconds, *extra):
    out = sim(build, "dc09", "127.0.0.1:8005", "--count", str(int(rate * seconds)), "--rate",
              str(rate), "--quiet", "--timeout", "5000", *extra)
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


def tcp_fixed(build, rate, seconds, modules=10):
    """ADM-CID events over TCP at a fixed total rate from a few modules
    (quell-sim ip --rate), each waiting for its ACK: send-to-ACK latency."""
    out = sim(build, "ip", "127.0.0.1:8096", "--modules", str(modules), "--messages",
              str(int(rate * seconds / modules)), "--rate", str(rate), "--account-base", "6000",
              "--quiet", "--timeout", "5000")
    reply = out[out.index("send to reply:"):]
    sent = int(rate * seconds / modules) * modules
    return {"p50": number(r"p50 ([\d.]+) ms", reply), "p99": number(r"p99 ([\d.]+) ms", reply),
            "bad": sent - number(r"ACK (\d+),", out), "sent": sent}


def bare_echo(build, *args):
    """The bare UDP echo (limit_udp_echo on a free loopback port) under its
    client (limit_udp_client): 69-byte requests, 24-byte replies."""
    echo = subprocess.Popen([os.path.join(build, "limit_udp_echo")], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    try:
        port = int(number(r"listening on 127\.0\.0\.1:(\d+)", echo.stdout.readline().decode()))
        out = subprocess.run([os.path.join(build, "limit_udp_client"), "127.0.0.1:%d" % port]
                             + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=600).stdout.decode()
    finally:
        echo.terminate()
        echo.wait(timeout=15)
    sent = number(r"sent (\d+):", out)
    result = {"rate": number(r"([\d.]+) datagrams/s", out), "p50": number(r"p50 ([\d.]+) ms", out),
              "p99": number(r"p99 ([\d.]+) ms", out),
              "bad": sent - number(r"replies (\d+),", out)}
    if result["bad"]:
        print("bare UDP echo: %d of %d replies missing" % (result["bad"], sent), file=sys.stderr)
    return result


def bare_fdatasync(build, directory, count):
    """One fdatasync of a 4 KiB append (limit_fdatasync) in directory."""
    out = subprocess.run([os.path.join(build, "limit_fdatasync"), "--dir", directory, "--count",
                          str(count)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         timeout=600).stdout.decode()
    return {"p50": number(r"p50 ([\d.]+) ms", out), "p99": number(r"p99 ([\d.]+) ms", out)}


def store_figures(build):
    out = subprocess.run([os.path.join(build, "store_bench"), "--rows", "100000", "--seconds", "5"],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600).stdout.decode()
    return {"rows": number(r"store rows/s ([\d.]+)", out),
            "per": number(r"([\d.]+) rows a commit", out),
            "f99": number(r"commit at full rate p50 [\d.]+ ms p99 ([\d.]+) ms", out),
            "c50": number(r"commit at 2,000/s p50 ([\d.]+) ms", out),
            "c99": number(r"commit at 2,000/s p50 [\d.]+ ms p99 ([\d.]+) ms", out),
            "a99": number(r"completion at 2,000/s p50 [\d.]+ ms p99 ([\d.]+) ms", out)}


class Scraper(threading.Thread):
    """GET /metrics once a second, as Prometheus would, until stopped."""

    def __init__(self, port=9464):
        super().__init__(daemon=True)
        self.port, self.stop, self.scrapes, self.failures = port, False, 0, 0
        self.start()

    def run(self):
        while not self.stop:
            try:
                with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % self.port,
                                            timeout=5) as r:
                    r.read()
                self.scrapes += 1
            except OSError:
                self.failures += 1
            time.sleep(1)


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
    ap.add_argument("--before", help="the build dir of an earlier gateway for the monitoring rows")
    ap.add_argument("--monitoring-only", action="store_true",
                    help="only the monitoring rows (without, with and a scrape, --before)")
    a = ap.parse_args()
    if a.quick:
        a.repeat, a.idle_seconds = 1, 5
    flood_count = 20000 if a.quick else 200000
    sync_count = 500 if a.quick else 2000
    fixed_seconds = 2 if a.quick else 10
    tcp_messages = 2 if a.quick else 20

    def start(run):
        """The gateway in run's directory with the 32 lines, and its counting client."""
        lines, ports = station_lines()
        run.write("ConnectionType.ini", lines)
        run.write("ComPorts.ini", ports)
        log = LogTail(run.path("gateway.log"))
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        gw = subprocess.Popen([os.path.join(run.build, "quell-server")], cwd=run.work, env=env,
                              stdout=log.write_fd, stderr=subprocess.STDOUT)
        log.start()
        client = Client()
        if not client.connect():
            gw.kill()
            log.close()
            sys.exit("no Wardex client port; see %s" % run.path("gateway.log"))
        client.start()
        return gw, client, log

    def stop(gw, client, log):
        client.stop = True
        gw.terminate()
        gw.wait(timeout=15)
        log.close()

    results = {}
    rows = []
    if not a.monitoring_only:
        rows = main_rows(a, start, stop, flood_count, fixed_seconds, tcp_messages, sync_count,
                         results)
    monitoring_rows(a, start, stop, flood_count, fixed_seconds, tcp_messages, results, rows)

    print("| Measure | Median | Spread (min - max, %d runs) | Aim | Met |" % a.repeat)
    print("|---|---|---|---|---|")
    for r in rows:
        print("| %s | %s | %s | %s | %s |" % r)


def row_adder(results, rows):
    def row(what, key, fmt, aim, ok):
        med, rng = spread([key(r) for r in results[what[0]]], fmt)
        rows.append((what[1], med, rng, aim, "yes" if ok else "not yet"))
    return row


def main_rows(a, start, stop, flood_count, fixed_seconds, tcp_messages, sync_count, results):
    run = Smoke(a.build, "quell-bench-")
    gw, client, log = start(run)
    try:
        time.sleep(5)  # start-up: lines open (or fail to), first polls
        results.update({k: [] for k in ("idle", "flood", "fixed", "tcp", "lockstep", "tcpfixed",
                                        "store", "echo", "echofixed", "fsync")})
        for i in range(a.repeat):
            print("run %d/%d: load %s" % (i + 1, a.repeat, os.getloadavg()[0]), file=sys.stderr)
            results["idle"].append(idle_cpu(gw.pid, a.idle_seconds))
            # Each limit is taken next to the gateway's figure it bounds.
            results["echo"].append(bare_echo(a.build, "--count", str(flood_count), "--window",
                                             "64"))
            results["flood"].append(dc09_flood(a.build, flood_count, 64))
            settle(client)
            results["fsync"].append(bare_fdatasync(a.build, run.work, sync_count))
            results["fixed"].append(dc09_fixed(a.build, 2000, fixed_seconds))
            results["echofixed"].append(bare_echo(a.build, "--count",
                                                  str(int(2000 * fixed_seconds)), "--rate", "2000"))
            results["tcp"].append(ip_fleet(a.build, 1000, tcp_messages))
            settle(client)
            # quell-sim ip sends a module's next message only after the
            # reply to its last one: 50 x 200 is the lock-step load.
            results["lockstep"].append(ip_fleet(a.build, LOCKSTEP[0], LOCKSTEP[1]))
            settle(client)
            results["tcpfixed"].append(tcp_fixed(a.build, 2000, fixed_seconds))
            if gw.poll() is not None:
                sys.exit("the gateway ended; see %s" % run.path("gateway.log"))
        time.sleep(1)
        expected = sum(r["sent"] for r in results["flood"]) + \
            sum(int(2000 * fixed_seconds) for _ in results["fixed"]) + \
            1000 * tcp_messages * a.repeat + LOCKSTEP[0] * LOCKSTEP[1] * a.repeat + \
            sum(r["sent"] for r in results["tcpfixed"])
        forwarded = client.events
    finally:
        stop(gw, client, log)

    # The standard DC-09 receiver (a gateway with DC09.ini) against the
    # plain one, each started afresh per run and the two taking turns, so
    # that both see the same load on a shared machine.
    std_run = Smoke(a.build, "quell-bench-dc09-")
    std_run.write("DC09.ini", DC09_INI)
    pair_run = Smoke(a.build, "quell-bench-pair-")
    for k in ("sflood", "sfixed", "eflood", "efixed", "pflood", "pfixed", "gflood", "gfixed"):
        results[k] = []
    # The store on a PostgreSQL server on this machine (a cluster of its
    # own), taking turns with the paired gateway on the events file.
    pg_run, pg_state = None, os.path.join(pair_run.work, "pg-server")
    if os.path.exists("/usr/lib/postgresql/15/bin/initdb"):
        subprocess.check_call([os.path.join(HERE, "..", "tools", "pg_test_server.sh"), "start",
                               pg_state], stdout=subprocess.DEVNULL)
        conninfo = open(pg_state).readline().strip()
        subprocess.check_call(["/usr/lib/postgresql/15/bin/psql", "-X", "-q", "-c",
                               "CREATE DATABASE quell", conninfo + " dbname=postgres"])
        pg_run = Smoke(a.build, "quell-bench-pg-")
        pg_run.write("EventStore.ini", "[Store]\r\nBackend=postgresql\r\nConninfo=%s dbname=quell"
                     "\r\nNode=bench\r\n" % conninfo)
    std_expected = std_forwarded = 0
    for i in range(a.repeat):
        order = (std_run, pair_run, pg_run) if i % 2 == 0 else (pg_run, pair_run, std_run)
        for r in order:
            if r is None:
                continue
            name = "DC09.ini" if r is std_run else "PostgreSQL" if r is pg_run else "paired"
            print("%s run %d/%d: load %s" % (name, i + 1, a.repeat, os.getloadavg()[0]),
                  file=sys.stderr)
            gw, client, log = start(r)
            try:
                time.sleep(5)
                if r is pair_run or r is pg_run:
                    k = "p" if r is pair_run else "g"
                    results[k + "flood"].append(dc09_flood(a.build, flood_count, 64))
                    settle(client)
                    results[k + "fixed"].append(dc09_fixed(a.build, 2000, fixed_seconds))
                    continue
                for kind, extra in (("s", ()), ("e", ENCRYPTED)):
                    results[kind + "flood"].append(dc09_flood(a.build, flood_count, 64, *extra))
                    settle(client)
                    results[kind + "fixed"].append(dc09_fixed(a.build, 2000, fixed_seconds,
                                                              *extra))
                    std_expected += results[kind + "flood"][-1]["sent"] + int(2000 * fixed_seconds)
                settle(client)  # the client may still be reading what a fast run sent
                std_forwarded += client.events
            finally:
                if gw.poll() is not None:
                    sys.exit("the gateway ended; see %s" % r.path("gateway.log"))
                stop(gw, client, log)
    if pg_run:
        subprocess.call([os.path.join(HERE, "..", "tools", "pg_test_server.sh"), "stop", pg_state])
    # The store alone, on the same disk, after the gateways have ended.
    for i in range(a.repeat):
        results["store"].append(store_figures(a.build))

    rows = []
    row = row_adder(results, rows)

    fl, fx, tc = results["flood"], results["fixed"], results["tcp"]
    # This machine's limits of the same runs: the gateway's aims are ratios to them.
    echo_rate = statistics.median(r["rate"] for r in results["echo"])
    sync_p99 = statistics.median(r["p99"] for r in results["fsync"])
    row(("echo", "Bare UDP echo: datagrams/s (window 64)"), lambda r: r["rate"], "%.0f", "", True)
    row(("echofixed", "Bare UDP echo: p99 reply at 2,000/s, ms"), lambda r: r["p99"], "%.2f", "",
        True)
    fs = results["fsync"]
    rows.append(("fdatasync of a 4 KiB append: p50 / p99, ms",
                 "%.2f / %.2f" % (statistics.median(r["p50"] for r in fs), sync_p99),
                 "" if len(fs) == 1 else "%.2f - %.2f / %.2f - %.2f" % (
                     min(r["p50"] for r in fs), max(r["p50"] for r in fs),
                     min(r["p99"] for r in fs), max(r["p99"] for r in fs)), "", "yes"))
    rate = statistics.median(r["rate"] for r in fl)
    row(("flood", "DC-09 UDP datagrams/s (window 64), store on"), lambda r: r["rate"], "%.0f",
        ">= 50 %% of bare echo (%.0f %%)" % (100 * rate / echo_rate), rate >= 0.5 * echo_rate)
    row(("flood", "  wrong or missing DC-09 replies"), lambda r: r["bad"], "%.0f", "0",
        all(r["bad"] == 0 for r in fl))
    p99 = statistics.median(r["p99"] for r in fx)
    for k, label in (("p50", "p50"), ("p99", "p99"), ("p999", "p99.9")):
        row(("fixed", "DC-09 ACK latency %s at 2,000/s, ms" % label), lambda r, k=k: r[k], "%.2f",
            "<= 2 x fdatasync p99 (%.2f x)" % (p99 / sync_p99) if k == "p99" else "",
            k != "p99" or p99 <= 2 * sync_p99)
    row(("fixed", "  wrong or missing replies at 2,000/s"), lambda r: r["bad"], "%.0f", "0",
        all(r["bad"] == 0 for r in fx))
    row(("tcp", "ADM-CID TCP, 1,000 modules: messages/s"), lambda r: r["rate"], "%.0f", "", True)
    row(("tcp", "ADM-CID TCP, 1,000 modules: p99 ACK, ms"), lambda r: r["p99"], "%.2f", "", True)
    row(("tcp", "  modules served / messages not ACKed"),
        lambda r: r["greeted"] * 100000 + r["bad"], "%.0f", "1,000 / 0",
        all(r["greeted"] >= 1000 and r["bad"] == 0 for r in tc))
    rows[-1] = (rows[-1][0], "%d / %d" % (min(r["greeted"] for r in tc), max(r["bad"] for r in tc)),
                "", rows[-1][3], rows[-1][4])
    ls = results["lockstep"]
    ls_rate = statistics.median(r["rate"] for r in ls)
    row(("lockstep", "ADM-CID TCP, 50 connections x 200 lock-step: messages/s"),
        lambda r: r["rate"], "%.0f", ">= 60,000", ls_rate >= 60000)
    row(("lockstep", "  messages not ACKed"), lambda r: r["bad"], "%.0f", "0",
        all(r["bad"] == 0 for r in ls))
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

    # The standard receiver against the plain one of the same runs.
    base_rate = statistics.median(r["rate"] for r in results["pflood"])
    base_p99 = statistics.median(r["p99"] for r in results["pfixed"])
    row(("pflood", "Paired plain receiver: datagrams/s (window 64)"), lambda r: r["rate"], "%.0f",
        "", True)
    row(("pfixed", "Paired plain receiver: p99 ACK at 2,000/s, ms"), lambda r: r["p99"], "%.2f",
        "", True)
    for kind, label in (("s", "plain"), ("e", "encrypted")):
        flood, fixed = results[kind + "flood"], results[kind + "fixed"]
        rate = statistics.median(r["rate"] for r in flood)
        p99 = statistics.median(r["p99"] for r in fixed)
        row((kind + "flood", "DC09.ini, %s: datagrams/s (window 64)" % label),
            lambda r: r["rate"], "%.0f", ">= 95 %% of paired (%.0f %%)" % (100 * rate / base_rate),
            rate >= 0.95 * base_rate)
        row((kind + "fixed", "DC09.ini, %s: p99 ACK at 2,000/s, ms" % label), lambda r: r["p99"],
            "%.2f", "<= 1.1 x paired (%.2f x)" % (p99 / base_p99), p99 <= 1.1 * base_p99)
        row((kind + "flood", "  wrong or missing replies"),
            lambda r: r["bad"], "%.0f", "0",
            all(r["bad"] == 0 for r in flood + fixed))
    if results["gflood"]:
        rate = statistics.median(r["rate"] for r in results["gflood"])
        row(("gflood", "PostgreSQL store: datagrams/s (window 64)"), lambda r: r["rate"], "%.0f",
            ">= 50 %% of paired (%.0f %%)" % (100 * rate / base_rate), rate >= 0.5 * base_rate)
        row(("gfixed", "PostgreSQL store: p99 ACK at 2,000/s, ms"), lambda r: r["p99"], "%.2f",
            "< 3 ms", all(r["p99"] < 3 for r in results["gfixed"]))
        row(("gflood", "  wrong or missing replies"), lambda r: r["bad"], "%.0f", "0",
            all(r["bad"] == 0 for r in results["gflood"] + results["gfixed"]))
    rows.append(("Events forwarded with DC09.ini", "%d of %d" % (std_forwarded, std_expected), "",
                 "all", "yes" if std_forwarded >= std_expected else "not yet"))

    return rows


def monitoring_rows(a, start, stop, flood_count, fixed_seconds, tcp_messages, results, rows):
    # Monitoring: without the file, with it and a scrape a second, and the
    # earlier build, each started afresh per run, taking turns.
    here = os.path.abspath(a.build)
    variants = [("mwithout", Smoke(a.build, "quell-bench-nomon-"), here),
                ("mwith", Smoke(a.build, "quell-bench-mon-"), here)]
    variants[1][1].write("Monitoring.ini", "[Http]\r\nListen=127.0.0.1:9464\r\n")
    if a.before:
        variants.insert(0, ("mbefore", Smoke(a.build, "quell-bench-before-"),
                            os.path.abspath(a.before)))
    scrapes = failed_scrapes = 0
    for i in range(a.repeat):
        for name, r, server_build in variants[i % len(variants):] + variants[:i % len(variants)]:
            print("monitoring %s run %d/%d: load %s" % (name, i + 1, a.repeat, os.getloadavg()[0]),
                  file=sys.stderr)
            r.build = server_build  # the gateway's build; quell-sim stays this build's
            gw, client, log = start(r)
            scraper = Scraper() if name == "mwith" else None
            try:
                time.sleep(5)
                for k in ("flood", "fixed", "tcp"):
                    results.setdefault(name + k, [])
                results[name + "flood"].append(dc09_flood(a.build, flood_count, 64))
                settle(client)
                results[name + "fixed"].append(dc09_fixed(a.build, 2000, fixed_seconds))
                results[name + "tcp"].append(ip_fleet(a.build, 1000, tcp_messages))
            finally:
                if scraper:
                    scraper.stop = True
                    scrapes += scraper.scrapes
                    failed_scrapes += scraper.failures
                if gw.poll() is not None:
                    sys.exit("the gateway ended; see %s" % r.path("gateway.log"))
                stop(gw, client, log)

    row = row_adder(results, rows)

    def median(key, field):
        return statistics.median(r[field] for r in results[key])

    base = "mbefore" if a.before else None
    for name, label in (("mbefore", "Build before monitoring"),
                        ("mwithout", "Without Monitoring.ini"),
                        ("mwith", "Monitoring.ini, /metrics scraped every second")):
        if name + "flood" not in results:
            continue
        ref = base if name == "mwithout" else ("mwithout" if name == "mwith" else None)
        for field, key, what, fmt in (("rate", "flood", "DC-09 datagrams/s (window 64)", "%.0f"),
                                      ("rate", "tcp", "ADM-CID TCP messages/s, 1,000 modules", "%.0f"),
                                      ("p99", "fixed", "DC-09 p99 ACK at 2,000/s, ms", "%.2f")):
            aim, ok = "", True
            if ref:
                mine, theirs = median(name + key, field), median(ref + key, field)
                if field == "rate":
                    aim = ">= 97 %% of %s (%.0f %%)" % (ref[1:], 100 * mine / theirs)
                    ok = mine >= 0.97 * theirs
                else:
                    aim = "<= 1.1 x %s (%.2f x)" % (ref[1:], mine / theirs)
                    ok = mine <= 1.1 * theirs
            row((name + key, "%s: %s" % (label, what)), lambda r, f=field: r[f], fmt, aim, ok)
    if "mwithfixed" in results:
        rows.append(("  scrapes of /metrics during those runs / failed", "%d / %d" % (
            scrapes, failed_scrapes), "", "> 0 / 0",
            "yes" if scrapes > 0 and not failed_scrapes else "not yet"))


if __name__ == "__main__":
    main()

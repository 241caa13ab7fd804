#!/usr/bin/env python3
"""The monitoring surface on the real gateway, checked with Prometheus' own
tools (about 60 s).

Starts build/quell-server in a scratch working directory with
Monitoring.ini, store-offline on and the console off (so accepted events
wait for it), then:

  m  /metrics passes `promtool check metrics` (exit 3, lint problems,
     fails like 1) and carries the exact Content-Type;
  p  a real Prometheus (private tsdb path, a free loopback port) scrapes the
     gateway every second while quell-sim sends TCP and DC-09 events; the
     counters read back through Prometheus' query API equal what was sent,
     and the pending rows equal the rows the events file keeps pending;
  h  /health/live and /health/ready answer 200 with JSON bodies;
  6  a second Listen= on [::1] (served through the gateway's IPv6 relay)
     answers /metrics and /health/ready over IPv6 (skipped, with a line,
     where ::1 cannot be bound);
  s  the status page, parsed with html.parser, shows the lines with their
     states, the console and its queue, and the last events;
  b  bad requests: a 1 MB header, a header that never ends, a request line
     cut off, POST, an upgrade request, 2,000 idle connections: each gets an
     error or a close, /health/live answers within 1 s meanwhile and DC-09
     datagrams are still answered.

Prometheus and the gateway are stopped at the end, also on failure. Runs
in its own network namespace when unshare allows it.

usage: tools/monitoring_check.py [path/to/build]
"""
import argparse, html.parser, http.client, json, os, shutil, socket, sqlite3, subprocess, sys
import tempfile, time, urllib.request, urllib.error, urllib.parse

from smoke_common import Smoke

HTTP_PORT = 9464
CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8"


def isolate():
    """Runs this script again inside a fresh network namespace when possible."""
    if os.environ.get("QUELL_MONITORING_INSIDE") or subprocess.call(
            ["unshare", "-n", "true"], stderr=subprocess.DEVNULL) != 0:
        return
    os.environ["QUELL_MONITORING_INSIDE"] = "1"
    cmd = 'ip link set lo up; XDG_RUNTIME_DIR=$(mktemp -d) exec "$@"'
    os.execvp("unshare", ["unshare", "-n", "sh", "-c", cmd, "sh", sys.executable,
                          os.path.abspath(__file__)] + sys.argv[1:])


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def free_port6():
    """A free port on ::1, or None where IPv6 loopback is missing."""
    try:
        s = socket.socket(socket.AF_INET6)
        s.bind(("::1", 0))
    except OSError:
        return None
    port = s.getsockname()[1]
    s.close()
    return port


def get6(path, port, timeout=5):
    """(status, headers, body) of a GET to [::1]:port; status 0 when nothing answered."""
    conn = http.client.HTTPConnection("::1", port, timeout=timeout)
    try:
        conn.request("GET", path)
        r = conn.getresponse()
        return r.status, r.headers, r.read().decode("utf-8")
    except OSError:
        return 0, {}, ""
    finally:
        conn.close()


def get(path, port=HTTP_PORT, timeout=5):
    """(status, headers, body) of a GET; status 0 when nothing answered."""
    try:
        with urllib.request.urlopen("http://127.0.0.1:%d%s" % (port, path), timeout=timeout) as r:
            return r.status, r.headers, r.read().decode("utf-8")
    except urllib.error.HTTPError as e:
        return e.code, e.headers, e.read().decode("utf-8", "replace")
    except OSError:
        return 0, {}, ""


def raw(request, timeout=8, port=HTTP_PORT):
    """Sends bytes; returns (answer, closed) once the server closes or timeout."""
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    try:
        s.sendall(request)
    except OSError:
        pass
    s.settimeout(timeout)
    answer, closed = b"", False
    end = time.time() + timeout
    try:
        while time.time() < end:
            chunk = s.recv(65536)
            if not chunk:
                closed = True
                break
            answer += chunk
    except ConnectionResetError:
        closed = True
    except socket.timeout:
        pass
    s.close()
    return answer, closed


class Page(html.parser.HTMLParser):
    """The status page's tables by id: lists of rows of cell texts."""

    def __init__(self):
        super().__init__()
        self.tables, self.table, self.row, self.cell = {}, None, None, None
        self.scripts = 0

    def handle_starttag(self, tag, attrs):
        if tag == "script":
            self.scripts += 1
        if tag == "table":
            self.table = self.tables.setdefault(dict(attrs).get("id", ""), [])
        elif tag == "tr" and self.table is not None:
            self.row = []
            self.table.append(self.row)
        elif tag in ("td", "th") and self.row is not None:
            self.cell = ""

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.row.append(self.cell)
            self.cell = None
        elif tag == "table":
            self.table = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


class Check:
    def __init__(self, build):
        self.run = Smoke(build, "quell-monitoring-")
        self.failed = False
        self.prometheus = None
        self.prom_port = free_port()
        self.port6 = free_port6()

    def note(self, what, ok, text):
        print("[%5.1f s] %s %s: %s" % (self.run.elapsed(), what, "ok  " if ok else "FAIL", text),
              flush=True)
        self.failed |= not ok

    def sim(self, *args):
        return subprocess.run([os.path.join(self.run.build, "quell-sim")] + list(args),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)

    def start(self):
        r = self.run
        listen = "Listen=127.0.0.1:%d\r\n" % HTTP_PORT
        if self.port6:
            listen += "Listen=[::1]:%d\r\n" % self.port6
        r.write("Monitoring.ini", "[Http]\r\n" + listen)
        r.write("param0", "01:00:00\r\n1\r\n0\r\n1\r\n")  # store offline on
        self.gateway = r.gateway()
        end = time.time() + 30
        while get("/health/live")[0] != 200:
            if time.time() > end or self.gateway.poll() is not None:
                r.fail("the monitoring port never answered /health/live")
            time.sleep(0.2)

    def start_prometheus(self):
        tsdb = self.run.path("tsdb")
        config = self.run.path("prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                    "scrape_configs:\n  - job_name: quell\n    static_configs:\n"
                    "      - targets: ['127.0.0.1:%d']\n" % HTTP_PORT)
        self.prom_log = open(self.run.path("prometheus.log"), "wb")
        self.prometheus = subprocess.Popen(
            ["prometheus", "--config.file=" + config, "--storage.tsdb.path=" + tsdb,
             "--web.listen-address=127.0.0.1:%d" % self.prom_port],
            stdout=self.prom_log, stderr=subprocess.STDOUT)

    def query(self, expr):
        """The value of an instant query's single result, or None."""
        url = "/api/v1/query?query=" + urllib.parse.quote(expr)
        status, _, body = get(url, port=self.prom_port)
        if status != 200:
            return None
        result = json.loads(body)["data"]["result"]
        return float(result[0]["value"][1]) if len(result) == 1 else None

    def wait_query(self, expr, want, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            value = self.query(expr)
            if value == want:
                return value
            time.sleep(0.5)
        return self.query(expr)

    def stop(self):
        if self.prometheus and self.prometheus.poll() is None:
            self.prometheus.terminate()
            try:
                self.prometheus.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.prometheus.kill()
                self.prometheus.wait()
        return self.run.stop()

    # --- the checks -------------------------------------------------------
    def check_metrics(self):
        status, headers, body = get("/metrics")
        self.note("m", status == 200 and headers.get("Content-Type") == CONTENT_TYPE,
                  "GET /metrics %s, Content-Type %r" % (status, headers.get("Content-Type")))
        lint = subprocess.run(["promtool", "check", "metrics"], input=body.encode(),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.note("m", lint.returncode == 0, "promtool check metrics exit %d %s" % (
            lint.returncode, lint.stdout.decode().strip()[:2000]))

    def check_counts(self):
        self.start_prometheus()
        tcp = self.sim("ip", "127.0.0.1:8097", "--modules", "4", "--messages", "25")
        dc09 = self.sim("dc09", "127.0.0.1:8005", "--count", "60", "--quiet")
        self.note("p", tcp.returncode == 0 and dc09.returncode == 0,
                  "quell-sim sent 100 TCP and 60 DC-09 events (exit %d, %d)" % (
                      tcp.returncode, dc09.returncode))
        expect = [('quell_events_accepted_total{road="tcp"}', 100),
                  ('quell_events_accepted_total{road="dc09"}', 60),
                  ('quell_replies_total{road="tcp",kind="ACK"}', 100),
                  ('quell_replies_total{road="dc09",kind="ACK"}', 60),
                  ('quell_replies_total{road="tcp",kind="NACK"}', 0),
                  ('quell_reply_seconds_count{road="dc09"}', 60),
                  ('quell_store_up', 1)]
        for expr, want in expect:
            got = self.wait_query(expr, want)
            self.note("p", got == want, "%s through Prometheus: %s (sent %s)" % (expr, got, want))
        db = sqlite3.connect(self.run.path("Events.db"), timeout=10)
        kept = db.execute("SELECT count(*) FROM events WHERE console_state = 1").fetchone()[0]
        db.close()
        got = self.wait_query('quell_pending_rows{target="console"}', kept)
        self.note("p", got == kept and kept == 160,
                  "pending rows for the silent console: %s, kept in the file: %d" % (got, kept))

    def check_health(self):
        for path in ("/health/live", "/health/ready"):
            status, headers, body = get(path)
            try:
                parsed = json.loads(body)
            except ValueError:
                parsed = None
            self.note("h", status == 200 and parsed is not None,
                      "GET %s %d %s" % (path, status, body.strip()[:300]))

    def check_ipv6(self):
        if not self.port6:
            print("[%5.1f s] 6 skipped: ::1 cannot be bound here" % self.run.elapsed(), flush=True)
            return
        status, headers, body = get6("/metrics", self.port6)
        self.note("6", status == 200 and headers.get("Content-Type") == CONTENT_TYPE
                  and "quell_build_info" in body,
                  "GET http://[::1]:%d/metrics %s, Content-Type %r" % (
                      self.port6, status, headers.get("Content-Type")))
        status, _, body = get6("/health/ready", self.port6)
        try:
            parsed = json.loads(body)
        except ValueError:
            parsed = None
        self.note("6", status == 200 and parsed is not None,
                  "GET http://[::1]:%d/health/ready %d %s" % (self.port6, status, body.strip()[:200]))

    def check_page(self):
        status, headers, body = get("/")
        page = Page()
        page.feed(body)
        csp = headers.get("Content-Security-Policy")
        self.note("s", status == 200 and csp == "default-src 'none'; style-src 'unsafe-inline'"
                  and page.scripts == 0, "GET / %d, CSP %r, %d scripts" % (status, csp, page.scripts))
        lines = {row[0]: row[2] for row in page.tables.get("lines", [])[1:] if len(row) >= 3}
        self.note("s", lines.get("MLR receiver") in ("up", "down") and "GSM line 1" in lines,
                  "lines and states: %s" % lines)
        console = {row[0]: row[1] for row in page.tables.get("console", []) if len(row) >= 2}
        self.note("s", console.get("Queue") == "160" and "Port" in console,
                  "console: %s" % console)
        events = page.tables.get("events", [])[1:]
        self.note("s", len(events) == 50 and events[0][1] in ("tcp", "dc09"),
                  "last events: %d rows, newest %s" % (len(events), events[:1]))

    def check_bad_requests(self):
        # A 1 MB header: an error or a close, never a page.
        answer, closed = raw(b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * (1 << 20))
        self.note("b", (closed or answer.startswith(b"HTTP/1.1 4")) and b" 200 " not in answer[:20],
                  "1 MB header: %r, closed %s" % (answer[:40], closed))
        # A header that never ends: a line every 0.5 s past the request timeout.
        s = socket.create_connection(("127.0.0.1", HTTP_PORT), timeout=5)
        s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
        closed, end = False, time.time() + 15
        while time.time() < end and not closed:
            try:
                s.sendall(b"X-More: %d\r\n" % int(time.time() * 1000))
                s.settimeout(0.5)
                if s.recv(4096) == b"":
                    closed = True
            except socket.timeout:
                pass
            except OSError:
                closed = True
        s.close()
        self.note("b", closed, "a header that never ends: closed within 15 s: %s" % closed)
        answer, closed = raw(b"GET /met", timeout=10)
        self.note("b", closed and b" 200 " not in answer[:20],
                  "a cut request line: closed %s, %r" % (closed, answer[:40]))
        answer, _ = raw(b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n"
                        b"Connection: close\r\n\r\nab")
        self.note("b", answer.startswith(b"HTTP/1.1 405"), "POST: %r" % answer[:40])
        answer, _ = raw(b"GET / HTTP/1.1\r\nHost: x\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
                        b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13"
                        b"\r\nConnection: close\r\n\r\n")
        # civetweb answers a WebSocket handshake without a handler itself.
        self.note("b", b"404" in answer[:64] and b" 101 " not in answer[:20],
                  "upgrade: %r" % answer[:40])

        # 2,000 idle connections: the field side goes on, and the server
        # answers again once they are gone.
        idle = []
        for _ in range(2000):
            c = socket.socket()
            c.setblocking(False)
            try:
                c.connect(("127.0.0.1", HTTP_PORT))
            except BlockingIOError:
                pass
            idle.append(c)
        time.sleep(1)
        dc09 = self.sim("dc09", "127.0.0.1:8005", "--count", "20", "--quiet")
        self.note("b", dc09.returncode == 0,
                  "DC-09 answered beside 2,000 idle HTTP connections: exit %d" % dc09.returncode)
        for c in idle:
            c.close()
        end, answered = time.time() + 20, False
        while time.time() < end and not answered:
            answered = get("/health/live", timeout=1)[0] == 200
        self.note("b", answered, "/health/live answers again after the idle connections: %s" % answered)

    # Probes every 0.2 s for as long as the flood (5 s at 1,000/s) lasts.
    # The gateway journals each frame to its standard output, which Smoke
    # reads all along: a pipe left full stops the gateway after about 600
    # frames, and /health/live then rightly answers 503 three seconds on.
    def check_live_in_flood(self):
        flood = subprocess.Popen([os.path.join(self.run.build, "quell-sim"), "dc09",
                                  "127.0.0.1:8005", "--count", "5000", "--rate", "1000", "--quiet"],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        worst, ok, probes = 0.0, True, 0
        end = time.time() + 30
        while flood.poll() is None and time.time() < end:
            start = time.time()
            status = get("/health/live", timeout=1)[0]
            worst = max(worst, time.time() - start)
            ok &= status == 200
            probes += 1
            time.sleep(0.2)
        out = flood.communicate(timeout=60)[0].decode("utf-8", "replace")
        acked = out.split(",")[0].strip()
        self.note("h", ok and worst < 1.0 and probes >= 15,
                  "/health/live during a DC-09 flood at 1,000/s: %d probes all 200 %s, slowest "
                  "%.3f s (flood: %s)" % (probes, ok, worst, acked))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    args = parser.parse_args()
    for tool in ("prometheus", "promtool"):
        if not shutil.which(tool):
            print("%s is missing: tools/install-deps.sh --test installs it" % tool)
            return 1
    isolate()
    check = Check(args.build)
    try:
        check.start()
        check.check_metrics()
        check.check_counts()
        check.check_health()
        check.check_ipv6()
        check.check_page()
        check.check_bad_requests()
        check.check_live_in_flood()
    finally:
        out = check.stop()
    if check.failed:
        for name, text in out.items():
            print("--- " + name + "\n" + text[-4000:])
        print("monitoring check FAILED")
        return 1
    print("monitoring check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())

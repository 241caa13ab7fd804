"""The event store on a PostgreSQL server: its faults on the real gateway
with the real server (started here as the postgres user, in a directory of
its own, on its own socket and port), run by tools/faults.py (letter p of
--only). In one gateway run, the console answering:

  stopped     the server stopped (fast shutdown), then started again;
  kill -9     the postmaster killed during a burst, three rounds;
  frozen      the server stopped with SIGSTOP, SIGCONT after 30 s;
  read-only   default_transaction_read_only = on, then off again;
  password    the gateway's password changed on the server (scram-sha-256 over
              TCP, the password from a PGPASSFILE), then changed back;

then, the server in a network namespace of its own behind a veth pair, the
link taken down for 15 s during a burst; then, with pg_wal on a 16 MiB tmpfs, that file system filled (the server
crash-restarts) and emptied again; then, the console silent: 20 events, kill -9 of the gateway, the server
restarted, the gateway restarted with the console answering: all 20 reach
the console. In each, senders hear NAK or nothing while the server cannot
take rows, nothing acknowledged is lost, the journal says "Events store:
cannot write", and the gateway reconnects by itself.
"""
import os, random, signal, subprocess, threading, time

from store_faults import Burst, StoreFaults, event_numbers

HERE = os.path.dirname(os.path.abspath(__file__))
BIN = "/usr/lib/postgresql/15/bin"


class Server:
    def __init__(self, waldir=None, netns=None, address=None):
        self.netns, self.address = netns, address
        if netns:
            os.environ["QUELL_PG_NETNS"], os.environ["QUELL_PG_LISTEN"] = netns, address
        self.state = os.path.join(os.environ.get("TMPDIR", "/tmp"),
                                  "quell-pg-faults-%d-%d" % (os.getpid(), bool(waldir)))
        subprocess.check_call([os.path.join(HERE, "pg_test_server.sh"), "start", self.state] +
                              ([waldir] if waldir else []), stdout=subprocess.DEVNULL)
        os.environ.pop("QUELL_PG_NETNS", None)
        os.environ.pop("QUELL_PG_LISTEN", None)
        with open(self.state) as f:
            self.conninfo, self.dir = f.read().split("\n")[:2]
        self.data = os.path.join(self.dir, "data")
        self.port = self.conninfo.split("port=")[1].split()[0]
        self.sql("CREATE DATABASE quell", db="postgres")

    def as_postgres(self, args, **kw):
        if os.getuid() == 0:
            args = ["runuser", "-u", "postgres", "--"] + args
        if self.netns:
            args = ["ip", "netns", "exec", self.netns] + args
        return subprocess.call(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)

    def sql(self, *statements, db="quell"):
        """Runs each statement on its own (ALTER SYSTEM takes no transaction)."""
        args = [os.path.join(BIN, "psql"), "-X", "-q", "-t", "-A"]
        for text in statements:
            args += ["-c", text]
        return subprocess.run(args + [self.conninfo + " dbname=" + db], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT).stdout.decode()

    def signal_all(self, sig):
        """The postmaster and every process of the server (sessions included)."""
        top = self.pid()
        pids = [top]
        for d in os.listdir("/proc"):
            try:
                with open("/proc/%s/stat" % d) as f:
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == top:
                        pids.append(int(d))
            except (OSError, ValueError, IndexError):
                pass
        for p in pids:
            try:
                os.kill(p, sig)
            except OSError:
                pass

    def alive(self):
        pid = self.pid()
        try:
            return pid > 0 and os.kill(pid, 0) is None
        except OSError:
            return False

    def pid(self):
        try:
            with open(os.path.join(self.data, "postmaster.pid")) as f:
                return int(f.readline())
        except (OSError, ValueError):
            return 0

    def start(self):
        opts = "-p %s -k %s/sock -c listen_addresses=%s" % (self.port, self.dir,
                                                             self.address or "127.0.0.1")
        for _ in range(20):
            if self.as_postgres([os.path.join(BIN, "pg_ctl"), "-D", self.data, "-l",
                                 os.path.join(self.dir, "server.log"), "-w", "-t", "30", "-o",
                                 opts, "start"]) == 0:
                return True
            time.sleep(0.5)  # a killed server's sessions still ending
        return False

    def stop(self, mode="fast"):
        self.as_postgres([os.path.join(BIN, "pg_ctl"), "-D", self.data, "-m", mode, "-w", "stop"])

    def remove(self):
        subprocess.call([os.path.join(HERE, "pg_test_server.sh"), "stop", self.state])


class PgFaults(StoreFaults):
    def __init__(self, build, note, waldir=None, netns=None, address="127.0.0.1"):
        super().__init__(build, note)
        self.server = Server(waldir, netns, address if netns else None)
        # Over TCP with scram-sha-256, the password from libpq's password
        # file (the gateway and quell-events inherit PGPASSFILE).
        self.server.sql("ALTER ROLE postgres PASSWORD 'quell-faults'")
        self.run.write("pgpass", "%s:%s:*:postgres:quell-faults\n" % (address, self.server.port))
        os.chmod(self.run.path("pgpass"), 0o600)
        os.environ["PGPASSFILE"] = self.run.path("pgpass")
        self.run.write("EventStore.ini",
                       "[Store]\r\nBackend=postgresql\r\nConninfo=host=%s port=%s "
                       "user=postgres dbname=quell connect_timeout=2 keepalives_idle=5 "
                       "keepalives_interval=2 keepalives_count=2 tcp_user_timeout=5000\r\n"
                       "Node=faults\r\n" % (address, self.server.port))

    def journal_count(self):
        with open(self.run.path("gateway.log"), "rb") as f:
            return f.read().count(b"Events store: cannot write")

    def taking(self, seconds=20):
        """Waits until a sender is acknowledged again; the seconds it took."""
        start = time.time()
        n = 0
        while time.time() - start < seconds:
            b = Burst(9_000_000 + n * 1000, limit=1)
            b.run(0.5)
            n += 1
            if b.acked:
                self.extra += b.acked
                return time.time() - start
        return None

    def fault(self, name, cause, mend, seconds=2.0, hold=0.0):
        """A burst while the fault lasts, then one after it is mended."""
        journal = self.journal_count()
        cause()
        # Bounded: entries queued while the store cannot write reach the
        # console one a second.
        during = Burst(self.first, pause=seconds / 10, limit=10)
        self.first += 100_000
        during.run(seconds)
        if hold:
            time.sleep(hold)
        mend()
        back = self.taking()
        after = Burst(self.first, pause=0.05, limit=10)
        self.first += 100_000
        after.run(1.0)
        self.acked += during.acked + after.acked
        missing = (set(during.acked) | set(after.acked)) - self.stored()
        journalled = self.journal_count() > journal
        self.note("p", during.refused > 0 or len(during.acked) < 5, "%s: %d refused, %d acknowledged"
                  " while it lasted" % (name, during.refused, len(during.acked)))
        self.note("p", back is not None and after.acked and not missing and journalled,
                  "%s: taking again %.1f s after it ended, %d acknowledged after, %d acknowledged "
                  "not in the store, journalled: %s" % (name, back or -1, len(after.acked),
                                                        len(missing), journalled))

    def kill_server(self):
        pid = self.server.pid()
        if pid:
            os.kill(pid, signal.SIGKILL)

    def run_all(self):
        self.first, self.acked, self.extra = 5_000_000, [], []
        self.start_console(silent=False)
        self.start_and_deliver()
        before = Burst(self.first, pause=0.05, limit=10)
        self.first += 100_000
        before.run(1.0)
        self.acked += before.acked
        self.note("p", before.acked and not set(before.acked) - self.stored(),
                  "on the server: %d acknowledged, all in the store" % len(before.acked))
        self.fault("stopped", self.server.stop, self.server.start)
        for r in range(3):
            burst = Burst(self.first, pause=0.1, limit=15)
            self.first += 100_000
            killer = threading.Timer(random.uniform(0.2, 1.0), self.kill_server)
            killer.start()
            burst.run(1.5)
            killer.join()
            self.server.start()
            back = self.taking()
            self.acked += burst.acked
            missing = set(burst.acked) - self.stored()
            self.note("p", back is not None and not missing,
                      "kill -9 of the server, round %d: %d acknowledged, %d not in the store, "
                      "taking again %.1f s after the restart" % (r + 1, len(burst.acked),
                                                                 len(missing), back or -1))
        self.fault("frozen 30 s", lambda: self.server.signal_all(signal.SIGSTOP),
                   lambda: self.server.signal_all(signal.SIGCONT), seconds=8.0, hold=22.0)
        self.fault("read-only",
                   lambda: self.server.sql("ALTER SYSTEM SET default_transaction_read_only = on",
                                           "SELECT pg_reload_conf()"),
                   lambda: self.server.sql("ALTER SYSTEM RESET default_transaction_read_only",
                                           "SELECT pg_reload_conf()"))
        self.fault("wrong password",
                   lambda: self.server.sql("ALTER ROLE postgres PASSWORD 'changed'",
                                           "SELECT pg_terminate_backend(pid, 5000) FROM "
                                           "pg_stat_activity WHERE datname = 'quell'"),
                   lambda: self.server.sql("ALTER ROLE postgres PASSWORD 'quell-faults'"))
        # Everything acknowledged reaches the console.
        self.wait_delivered()
        got = set(event_numbers(self.console_text.decode("latin-1")))
        lost = set(self.acked) - got
        self.note("p", not lost, "the console got %d of %d acknowledged events" %
                  (len(set(self.acked)) - len(lost), len(set(self.acked))))
        self.print_doubts()

    def print_doubts(self):
        """The journal's lines of commits in doubt and their resolution."""
        with open(self.run.path("gateway.log"), "rb") as f:
            for line in f.read().decode("utf-8", "replace").splitlines():
                if "in doubt" in line and "cannot write" not in line:
                    print("          (%s)" % line.split("Events store: ", 1)[-1])

    def replay_after_kills(self):
        """20 events to a silent console, kill -9 of the gateway, the server
        restarted, the gateway started again with the console answering."""
        self.start_console(silent=True)
        self.start_gateway()
        self.taking()
        burst = Burst(7_000_000, pause=0.1, limit=10)
        burst.run(3.0)
        self.gateway.kill()
        self.gateway.wait(timeout=10)
        self.server.stop("immediate")
        self.server.start()
        self.start_console(silent=False)
        self.start_and_deliver()
        time.sleep(1)
        got = set(event_numbers(self.console_text.decode("latin-1")))
        missing = set(burst.acked) - got
        self.note("p", len(burst.acked) >= 20 and not missing,
                  "kill -9 of the gateway with a silent console, the server restarted: %d of %d "
                  "acknowledged events reached the console after the restart" %
                  (len(burst.acked) - len(missing), len(burst.acked)))

    def full_wal(self, mnt):
        """pg_wal's file system filled while events come, then emptied."""
        self.start_console(silent=False)
        self.start_gateway()
        self.extra = []
        self.taking()
        before = Burst(8_000_000, pause=0.05, limit=10)
        before.run(1.0)
        filler = os.path.join(mnt, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(fd, b"\0" * 65536) > 0:
                pass
        except OSError:
            pass
        os.close(fd)
        # WAL beyond the segment in use: the server cannot write it and
        # crash-restarts.
        self.server.sql("CREATE TABLE junk AS SELECT g, repeat('x', 200) FROM "
                        "generate_series(1, 20000) g")
        full = Burst(8_100_000, pause=0.02, limit=100)
        full.run(4.0)
        os.remove(filler)
        if not self.server.alive():
            self.server.start()
        back = self.taking(30)
        after = Burst(8_200_000, pause=0.05, limit=10)
        after.run(1.0)
        acked = set(before.acked) | set(full.acked) | set(after.acked)
        lost = acked - self.stored()
        # While full, senders hear NAK or nothing (a commit cut by the crash
        # is in doubt and its senders wait for it): never a lost ACK.
        self.note("p", back is not None and after.acked and not lost,
                  "pg_wal full: %d refused, %d acknowledged while full, taking again %.1f s after "
                  "room returned, %d acknowledged after, %d acknowledged not in the store" %
                  (full.refused, len(full.acked), back or -1, len(after.acked), len(lost)))

    def link_lost(self, link):
        """The server's link down for 15 s while events come, then up."""
        self.start_console(silent=False)
        self.start_gateway()
        self.extra, self.first, self.acked = [], 6_000_000, []
        self.taking()
        self.fault("link lost 15 s", lambda: subprocess.call(["ip", "link", "set", link, "down"]),
                   lambda: subprocess.call(["ip", "link", "set", link, "up"]), seconds=5.0,
                   hold=10.0)
        self.print_doubts()

    def stop(self):
        super().stop()
        self.server.remove()
        os.environ.pop("PGPASSFILE", None)


def run(build, note):
    if not os.path.exists(os.path.join(BIN, "initdb")):
        print("          (p skipped: PostgreSQL 15 is not installed)")
        return
    f = PgFaults(build, note)
    try:
        f.run_all()
        f.stop_gateway()
        f.replay_after_kills()
    finally:
        f.stop()
    # The server behind a veth pair, in a network namespace of its own.
    ns = "quellpg%d" % os.getpid()
    setup = [["ip", "netns", "add", ns],
             ["ip", "link", "add", "qpg0", "type", "veth", "peer", "name", "qpg1"],
             ["ip", "link", "set", "qpg1", "netns", ns],
             ["ip", "addr", "add", "10.231.0.1/24", "dev", "qpg0"],
             ["ip", "link", "set", "qpg0", "up"],
             ["ip", "netns", "exec", ns, "ip", "addr", "add", "10.231.0.2/24", "dev", "qpg1"],
             ["ip", "netns", "exec", ns, "ip", "link", "set", "qpg1", "up"],
             ["ip", "netns", "exec", ns, "ip", "link", "set", "lo", "up"]]
    if all(subprocess.call(c, stderr=subprocess.DEVNULL) == 0 for c in setup):
        try:
            n = PgFaults(build, note, netns=ns, address="10.231.0.2")
            try:
                n.link_lost("qpg0")
            finally:
                n.stop()
        finally:
            subprocess.call(["ip", "link", "del", "qpg0"], stderr=subprocess.DEVNULL)
            subprocess.call(["ip", "netns", "del", ns], stderr=subprocess.DEVNULL)
    else:
        print("          (link lost skipped: no network namespace with a veth pair here)")
        subprocess.call(["ip", "netns", "del", ns], stderr=subprocess.DEVNULL)
    mnt = os.path.join(os.environ.get("TMPDIR", "/tmp"), "quell-pg-wal-%d" % os.getpid())
    os.makedirs(mnt, exist_ok=True)
    if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", mnt],
                       stderr=subprocess.DEVNULL) != 0:
        print("          (pg_wal full skipped: cannot mount a tmpfs here)")
        os.rmdir(mnt)
        return
    try:
        w = PgFaults(build, note, waldir=mnt)
        try:
            w.full_wal(mnt)
        finally:
            w.stop()
    finally:
        subprocess.call(["umount", mnt])
        os.rmdir(mnt)

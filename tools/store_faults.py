"""The event store's faults on the real gateway, run by tools/faults.py
(letters k, f, u of --only):

  k  kill -9 at a random moment during a burst of TCP and DC-09 events, ten
     rounds, the senders counting their ACKs, the console answering (each
     round waits for its first link test, about 21 s): after each restart
     every acknowledged event is in the store, and at the end every one has
     reached the console;
  f  the store on a full file system (a small tmpfs): senders get no ACK,
     nothing acknowledged is lost, and events are taken again once there
     is room;
  u  the events file deleted under the running gateway: events are still
     acknowledged, and every one acknowledged is in the new file.

Events carry their number in account and zone (account * 1000 + zone), so
the store and the console can be checked event by event.
"""
import os, random, re, socket, subprocess, threading, time, urllib.error, urllib.request

from smoke_common import Smoke


def crc16_arc(data):
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def dc09_datagram(seq, n):
    body = b'"ADM-CID"%04dL0#%04d[#%04d|1130 01 %03d]_12:00:00,01-01-2020' % (
        seq % 10000, n // 1000, n // 1000, n % 1000)
    return b"\n%04X0040" % crc16_arc(body) + body + b"\r"


def tcp_message(n):
    return b'"ADM-CID"0001R0001L0001[#00%04d|1130 01 %03d]' % (n // 1000, n % 1000)


def event_numbers(text):
    """Event numbers of the event lines in text (account * 1000 + zone)."""
    return [int(a) * 1000 + int(z) for a, z in re.findall(r"\d{4} 18(\d{4})E130\d\d(\d{3})", text)]


class Burst:
    """TCP and DC-09 senders, each recording the events that got their ACK."""

    def __init__(self, first, pause=0.0, limit=None):
        self.next, self.lock, self.stop = first, threading.Lock(), False
        self.acked, self.refused = [], 0
        self.pause = pause  # between two messages of one sender
        self.limit = limit  # messages a sender sends at most (None: no limit)

    def more(self, sent):
        return not self.stop and (self.limit is None or sent < self.limit)

    def number(self):
        with self.lock:
            self.next += 1
            if self.next % 1000 == 0:
                self.next += 1  # zone 000 is not used
            return self.next

    def tcp(self):
        sent = 0
        while self.more(sent):
            try:
                s = socket.create_connection(("127.0.0.1", 8096), timeout=2)
                s.settimeout(2)
                got = b""
                while len(got) < 24:
                    chunk = s.recv(24 - len(got))
                    if not chunk:
                        raise OSError("closed")
                    got += chunk
                while self.more(sent):
                    n = self.number()
                    sent += 1
                    s.sendall(tcp_message(n))
                    reply = s.recv(16)
                    if reply == b"ACK\r":
                        with self.lock:
                            self.acked.append(n)
                    elif reply:
                        self.refused += 1
                    else:
                        break
                    time.sleep(self.pause)
                s.close()
            except OSError:
                time.sleep(0.05)

    def dc09(self):
        u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        u.settimeout(1)
        seq = 0
        while self.more(seq):
            seq += 1
            n = self.number()
            try:
                u.sendto(dc09_datagram(seq, n), ("127.0.0.1", 8005))
                reply = u.recv(256)
                if b'"ACK"' in reply:
                    with self.lock:
                        self.acked.append(n)
                else:
                    self.refused += 1
            except OSError:
                pass
            time.sleep(self.pause)
        u.close()

    def run(self, seconds):
        threads = [threading.Thread(target=f, daemon=True) for f in (self.tcp, self.dc09)]
        for t in threads:
            t.start()
        time.sleep(seconds)
        self.stop = True
        for t in threads:
            t.join(timeout=5)


def ready_status(want, timeout=5):
    """The status of /health/ready once it is want, or the last one within timeout."""
    end, status = time.time() + timeout, 0
    while time.time() < end:
        try:
            with urllib.request.urlopen("http://127.0.0.1:9464/health/ready", timeout=1) as r:
                status = r.status
        except urllib.error.HTTPError as e:
            status = e.code
        except OSError:
            status = 0
        if status == want:
            break
        time.sleep(0.2)
    return status


class StoreFaults:
    def __init__(self, build, note):
        self.run = Smoke(build, "quell-store-faults-")
        self.note = note
        self.console_link = self.run.path("console5")
        self.run.write("ComPorts.ini", "COM5=%s\r\n" % self.console_link)
        self.run.write("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n")
        self.run.write("param0", "01:00:00\r\n1\r\n0\r\n1\r\n")  # store offline on
        self.run.write("ConnectionType.ini", "")
        self.gateway = self.console = None
        self.log = open(self.run.path("gateway.log"), "ab")

    def start_console(self, silent):
        if self.console and self.console.poll() is None:
            self.console.terminate()
            self.console.wait(timeout=10)
        args = [os.path.join(self.run.build, "quell-sim"), "console", "pty", "--link",
                self.console_link] + (["--silent-after", "0"] if silent else [])
        self.console = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.console_text = b""
        threading.Thread(target=self.read_console, args=(self.console,), daemon=True).start()
        end = time.time() + 10
        while not os.path.islink(self.console_link) and time.time() < end:
            time.sleep(0.05)

    def read_console(self, proc):
        for line in proc.stdout:
            self.console_text += line

    def start_gateway(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.gateway = subprocess.Popen([os.path.join(self.run.build, "quell-server")],
                                        cwd=self.run.work, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        end = time.time() + 15
        while time.time() < end:
            try:
                socket.create_connection(("127.0.0.1", 8096), timeout=1).close()
                return
            except OSError:
                time.sleep(0.1)

    def stop_gateway(self):
        if self.gateway and self.gateway.poll() is None:
            self.gateway.terminate()
            self.gateway.wait(timeout=15)

    def stored(self, pending_only=False):
        out = subprocess.run([os.path.join(self.run.build, "quell-events"), "--workdir",
                              self.run.work], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        text = out.stdout.decode("utf-8", "replace")
        if pending_only:
            text = "\n".join(l for l in text.splitlines() if "console pending" in l)
        return set(event_numbers(text))

    def wait_delivered(self):
        """Waits while entries are pending and their number still falls."""
        last, since = None, time.time()
        while time.time() - since < 30:
            pending = len(self.stored(pending_only=True))
            if pending == 0:
                return
            if pending != last:
                last, since = pending, time.time()
            time.sleep(1)

    def link_tests(self):
        return self.console_text.count(b"link test")

    def start_and_deliver(self):
        """Starts the gateway, waits for the console's first link test and
        then while what a kill left pending (a second each) still drains."""
        tests = self.link_tests()
        self.start_gateway()
        end = time.time() + 40
        while self.link_tests() == tests and time.time() < end:
            time.sleep(0.2)
        self.wait_delivered()

    def kill_rounds(self, rounds=10):
        self.start_console(silent=False)
        acked, first = [], 1_000_000
        for r in range(rounds):
            # Events go straight to the console once it has answered.
            self.start_and_deliver()
            time.sleep(1.5)
            # Paced so that the console (a pseudo-terminal) keeps up, and
            # bounded: what a kill leaves pending is queued again at the
            # restart and drains one entry a second, so a round on a loaded
            # machine must not leave hundreds behind.
            burst = Burst(first + r * 100_000, pause=0.06, limit=25)
            killer = threading.Timer(random.uniform(0.3, 1.5), self.gateway.kill)
            killer.start()
            burst.run(2.0)
            killer.join()
            self.gateway.wait(timeout=10)
            acked += burst.acked
            missing = set(burst.acked) - self.stored()
            self.note("k", not missing, "round %d: %d events acknowledged before kill -9, %d not "
                      "in the store" % (r + 1, len(burst.acked), len(missing)))
        # The last start delivers what the last kill left pending.
        self.start_and_deliver()
        time.sleep(1)
        self.stop_gateway()
        got = set(event_numbers(self.console_text.decode("latin-1")))
        missing = set(acked) - got
        self.note("k", not missing, "after %d rounds the console got %d of %d acknowledged "
                  "events" % (rounds, len(set(acked)) - len(missing), len(set(acked))))

    def removed_file(self):
        self.start_gateway()
        first = Burst(3_000_000)
        first.run(0.5)
        os.remove(self.run.path("Events.db"))
        second = Burst(3_100_000)
        second.run(0.5)
        self.stop_gateway()
        missing = set(second.acked) - self.stored()
        self.note("u", second.acked and not missing,
                  "events file deleted: %d events acknowledged after it, %d missing from the new "
                  "file" % (len(second.acked), len(missing)))

    def full_disk(self):
        mnt = self.run.path("small")
        os.mkdir(mnt)
        if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", mnt],
                           stderr=subprocess.DEVNULL) != 0:
            print("          (f skipped: cannot mount a tmpfs here)")
            return
        try:
            self.run.write("EventStore.ini", "[Store]\r\nPath=small/Events.db\r\n")
            # /health/ready follows the store: 503 while it cannot write.
            self.run.write("Monitoring.ini", "[Http]\r\nListen=127.0.0.1:9464\r\n")
            self.start_gateway()
            Burst(4_000_000).run(0.3)
            filler = os.path.join(mnt, "filler")
            fd = os.open(filler, os.O_WRONLY | os.O_CREAT)
            try:
                while os.write(fd, b"\0" * 4096) > 0:
                    pass
            except OSError:
                pass
            os.close(fd)
            full = Burst(4_100_000)
            full.run(2.0)
            ready_full = ready_status(503)
            os.remove(filler)
            time.sleep(1.5)
            after = Burst(4_200_000)
            after.run(0.5)
            ready_after = ready_status(200)
            self.stop_gateway()
            stored = self.stored()
            lost = (set(full.acked) | set(after.acked)) - stored
            self.note("f", full.refused > 0 and not lost and after.acked,
                      "full file system: %d refused, %d acknowledged while full, %d after room "
                      "returned, %d acknowledged not stored" %
                      (full.refused, len(full.acked), len(after.acked), len(lost)))
            self.note("f", ready_full == 503 and ready_after == 200,
                      "/health/ready %s while full, %s after" % (ready_full, ready_after))
        finally:
            self.stop_gateway()
            os.remove(self.run.path("EventStore.ini"))
            os.remove(self.run.path("Monitoring.ini"))
            subprocess.call(["umount", mnt])

    def stop(self):
        self.stop_gateway()
        if self.console and self.console.poll() is None:
            self.console.terminate()
        self.log.close()


def run(build, only, note):
    f = StoreFaults(build, note)
    try:
        if "u" in only:
            f.removed_file()
        if "f" in only:
            f.full_disk()
    finally:
        f.stop()
    # The kill rounds in a working directory of their own: the rounds above
    # leave events pending for a console that did not answer, and those
    # would drain first, one a second.
    if "k" in only:
        k = StoreFaults(build, note)
        try:
            k.kill_rounds()
        finally:
            k.stop()

"""What the real-time smoke checks share: a scratch working directory, the
gateway and a simulator as child processes, a station client on the Wardex
client port, and failing with both programs' output."""
import os, select, shutil, signal, socket, subprocess, sys, tempfile, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))


class Smoke:
    def __init__(self, build, prefix):
        self.build = os.path.abspath(build)
        self.work = tempfile.mkdtemp(prefix=prefix)
        shutil.copytree(os.path.join(HERE, "..", "examples", "workdir"), self.work,
                        dirs_exist_ok=True)
        self.start = time.time()
        self.children = []  # (name, process, stream of its report)
        self.client = None
        self.received = b""

    def path(self, name):
        return os.path.join(self.work, name)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)

    def elapsed(self):
        return time.time() - self.start

    def sim(self, *args, report="stderr"):
        """Starts build/quell-sim; waits for a --link it was given."""
        proc = subprocess.Popen([os.path.join(self.build, "quell-sim")] + list(args),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT
                                if report == "stdout" else subprocess.PIPE)
        self.children.append(("simulator", proc, report))
        if "--link" in args:
            link = args[args.index("--link") + 1]
            while not os.path.islink(link) and self.elapsed() < 10:
                time.sleep(0.1)
        return proc

    def gateway(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        proc = subprocess.Popen([os.path.join(self.build, "quell-server")], cwd=self.work, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        # The gateway journals every message to its standard output and
        # blocks once a pipe nobody reads is full (about 600 DC-09 frames):
        # a thread keeps reading it, so a flood does not stop the gateway.
        output = bytearray()

        def drain():
            for chunk in iter(lambda: proc.stdout.read1(65536), b""):
                output.extend(chunk)

        reader = threading.Thread(target=drain, daemon=True)
        reader.start()
        self.children.insert(0, ("gateway", proc, (reader, output)))
        return proc

    def stop(self):
        """Ends every child; returns {name: its report}."""
        for _, proc, _ in self.children:
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
        out = {}
        for name, proc, report in self.children:
            if isinstance(report, tuple):  # read by a thread all along
                proc.wait(timeout=10)
                report[0].join(timeout=10)
                out[name] = bytes(report[1])
            else:
                streams = proc.communicate(timeout=10)
                out[name] = (streams[1] if report == "stderr" else streams[0]) or b""
            out[name] = out[name].decode("utf-8", "replace")
        return out

    def fail(self, msg):
        print("FAIL:", msg)
        for name, text in self.stop().items():
            print("--- " + name + "\n" + text)
        sys.exit(1)

    def connect_client(self):
        while self.client is None and self.elapsed() < 15:
            try:
                self.client = socket.create_connection(("127.0.0.1", 8040))
            except OSError:
                time.sleep(0.2)
        if self.client is None:
            self.fail("no Wardex client port")
        self.client.setblocking(False)

    def client_until(self, text, timeout):
        end = time.time() + timeout
        while text not in self.received and time.time() < end:
            r, _, _ = select.select([self.client], [], [], 0.5)
            if r:
                self.received += self.client.recv(4096)
        return text in self.received

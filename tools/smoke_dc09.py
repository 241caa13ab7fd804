#!/usr/bin/env python3
"""End-to-end check of the DC-09 road in real time (about 30 s).

Starts build/quell-sim console on a pseudo-terminal (the gateway's console
port COM5) and build/quell-server in a scratch working directory, connects a
station client to the Wardex client port, waits until the console has
answered the link test, then sends DC-09 events with build/quell-sim dc09 and
checks: every datagram got an ACK frame with a good CRC (the sender's exit
status), the client got the event, and the console received it.

usage: tools/smoke_dc09.py [path/to/build]
"""
import os, select, shutil, signal, socket, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="quell-dc09-")
shutil.copytree(os.path.join(here, "..", "examples", "workdir"), work, dirs_exist_ok=True)
os.remove(os.path.join(work, "ConnectionType.ini"))
link = os.path.join(work, "console5")
with open(os.path.join(work, "ComPorts.ini"), "w") as f:
    f.write("COM5=%s\r\n" % link)
with open(os.path.join(work, "paramv"), "w") as f:
    f.write("_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n")

event = "5114 181234E13001015"
start = time.time()
console = subprocess.Popen([os.path.join(build, "quell-sim"), "console", "pty", "--link", link,
                            "--expect", event, "--duration", "60000"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
while not os.path.islink(link) and time.time() - start < 10:
    time.sleep(0.1)
env = dict(os.environ)
env.pop("DISPLAY", None)
env.pop("WAYLAND_DISPLAY", None)
gateway = subprocess.Popen([os.path.join(build, "quell-server")], cwd=work, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def stop():
    for p in (gateway, console):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    return (gateway.communicate(timeout=10)[0].decode("utf-8", "replace"),
            console.communicate(timeout=10)[0].decode("utf-8", "replace"))


def fail(msg):
    out, log = stop()
    print("FAIL:", msg)
    print("--- gateway\n" + out + "--- console\n" + log)
    sys.exit(1)


client = None
while client is None and time.time() - start < 15:
    try:
        client = socket.create_connection(("127.0.0.1", 8040))
    except OSError:
        time.sleep(0.2)
if client is None:
    fail("no Wardex client port")

# The console answers the link test about 21 s after start; events sent
# before that would be lost (store offline is off in the sample).
time.sleep(25)
sender = subprocess.run([os.path.join(build, "quell-sim"), "dc09", "127.0.0.1:8005", "--count", "3"],
                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
print(sender.stdout.decode("utf-8", "replace").rstrip())
if sender.returncode != 0:
    fail("the sender did not get three good ACK frames")
client.settimeout(5)
got = b""
end = time.time() + 5
while (b"MLR;" + event.encode()) not in got and time.time() < end:
    try:
        got += client.recv(4096)
    except socket.timeout:
        break
if (b"MLR;" + event.encode()) not in got:
    fail("client got %r" % got)
print("client got %r" % got[:40])
try:
    console.wait(timeout=10)  # ends once the expected line came
except subprocess.TimeoutExpired:
    pass
out, log = stop()
print(log.rstrip())
if console.returncode != 0:
    fail("console did not receive %s" % event)
print("OK")

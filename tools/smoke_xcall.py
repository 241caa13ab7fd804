#!/usr/bin/env python3
"""End-to-end check of a caller-identification call in real time (about 40 s).

Starts build/quell-sim as the GSM modem of a "GSM XCALL" line (COM8, a
pseudo-terminal reached through a link in the working directory) and
build/quell-server in a scratch working directory whose console port COM5 is
a pseudo-terminal held by this script. Then plays the station client on the
Wardex client port: it waits for the incoming-call notice, asks for the
answer, waits for the result notice of the 4-second call (key 2), answers the
console's link test and checks that the Contact ID line reaches the console.

usage: tools/smoke_xcall.py [path/to/build]
"""
import os, pty, select, shutil, signal, socket, subprocess, sys, tempfile, time, tty

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="quell-xcall-")
shutil.copytree(os.path.join(here, "..", "examples", "workdir"), work, dirs_exist_ok=True)

console_fd, console_slave = pty.openpty()
tty.setraw(console_fd)
tty.setraw(console_slave)
modem_link = os.path.join(work, "modem8")
with open(os.path.join(work, "ComPorts.ini"), "w") as f:
    f.write("COM5=%s\r\nCOM8=%s\r\n" % (os.ttyname(console_slave), modem_link))
with open(os.path.join(work, "paramv"), "w") as f:
    f.write("_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n")
with open(os.path.join(work, "ConnectionType.ini"), "w") as f:
    f.write("GSM line 1;GSM XCALL;0;COM8,9600,8,0,0,0;ONLINE;KEY01 KEY02 KEY03 KEY04;M1;;\r\n")

start = time.time()
modem = subprocess.Popen([os.path.join(build, "quell-sim"), "modem", "pty", "--link", modem_link,
                          "--ring", "+79001112233", "--talk", "4000"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
while not os.path.islink(modem_link) and time.time() - start < 10:
    time.sleep(0.1)
env = dict(os.environ)
env.pop("DISPLAY", None)
env.pop("WAYLAND_DISPLAY", None)
gateway = subprocess.Popen([os.path.join(build, "quell-server")], cwd=work, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def stop():
    for p in (gateway, modem):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    out = gateway.communicate(timeout=10)[0].decode("utf-8", "replace")
    log = modem.communicate(timeout=10)[1].decode("utf-8", "replace")
    return out, log


def fail(msg):
    out, log = stop()
    print("FAIL:", msg)
    print("--- gateway\n" + out + "--- modem\n" + log)
    sys.exit(1)


client = None
while client is None and time.time() - start < 15:
    try:
        client = socket.create_connection(("127.0.0.1", 8040))
    except OSError:
        time.sleep(0.2)
if client is None:
    fail("no Wardex client port")
client.setblocking(False)
received = b""


def client_until(text, timeout):
    global received
    end = time.time() + timeout
    while text not in received and time.time() < end:
        r, _, _ = select.select([client], [], [], 0.5)
        if r:
            received += client.recv(4096)
    return text in received


def console_until(expected, timeout, got=b""):
    end = time.time() + timeout
    while expected not in got and time.time() < end:
        r, _, _ = select.select([console_fd], [], [], 0.5)
        if r:
            got += os.read(console_fd, 256)
    return got


if not client_until(b"GSM line 1;+79001112233;GSM XCALL;0;CRING;", 30):
    fail("no incoming-call notice, client got %r" % received)
print("incoming call announced after %.1f s" % (time.time() - start))
client.sendall(b"GSM line 1;ATA;57")
if not client_until(b"GSM line 1;+79001112233;XCALL_KEY02;57;CID|;", 20):
    fail("no key result notice, client got %r" % received)
print("key 2 reported after %.1f s" % (time.time() - start))

heartbeat = b"1011           @    \x14"
got = console_until(heartbeat, 40)
if heartbeat not in got:
    fail("no link test on the console, got %r" % got)
os.write(console_fd, b"\x06")
event = b"5011 180057R13000001\x14"
got = console_until(event, 10, got)
if event not in got:
    fail("key event not on the console port, got %r" % got)
print("console got %r after %.1f s" % (got[got.index(event):], time.time() - start))
stop()
print("OK")

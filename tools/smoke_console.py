#!/usr/bin/env python3
"""End-to-end check of a built gateway in real time (about 30 s).

Starts build/quell-server in a scratch working directory whose console port
COM5 is a pseudo-terminal (real port, "RP") or the gateway's own virtual pair
("VP", reached through vcom/COM5), waits for the receiver link test, answers
it with ACK, sends an ADM-CID event to an IP listener and checks that the
event line arrives on the console port.

usage: tools/smoke_console.py [RP|VP] [path/to/quell-server]
"""
import os, pty, select, shutil, signal, socket, subprocess, sys, tempfile, termios, time, tty

kind = sys.argv[1] if len(sys.argv) > 1 else "RP"
exe = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "build/quell-server")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="quell-smoke-")
shutil.copytree(os.path.join(here, "..", "examples", "workdir"), work, dirs_exist_ok=True)
os.remove(os.path.join(work, "ConnectionType.ini"))

console_fd = None
if kind == "RP":
    console_fd, slave = pty.openpty()
    tty.setraw(console_fd)
    tty.setraw(slave)
    with open(os.path.join(work, "ComPorts.ini"), "w") as f:
        f.write("COM5=%s\r\n" % os.ttyname(slave))
with open(os.path.join(work, "paramv"), "w") as f:
    f.write("_;%s;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n" % kind)

env = dict(os.environ)
env.pop("DISPLAY", None)
env.pop("WAYLAND_DISPLAY", None)
start = time.time()
proc = subprocess.Popen([exe], cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def fail(msg):
    proc.send_signal(signal.SIGTERM)
    print("FAIL:", msg)
    print(proc.communicate(timeout=10)[0].decode("utf-8", "replace"))
    sys.exit(1)


if kind == "VP":
    link = os.path.join(work, "vcom", "COM5")
    while not os.path.exists(link) and time.time() - start < 10:
        time.sleep(0.1)
    if not os.path.exists(link):
        fail("no vcom/COM5 link")
    console_fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(console_fd)


def read_until(expected, timeout):
    got = b""
    end = time.time() + timeout
    while expected not in got and time.time() < end:
        r, _, _ = select.select([console_fd], [], [], 0.5)
        if r:
            got += os.read(console_fd, 256)
    return got


heartbeat = b"1011           @    \x14"
got = read_until(heartbeat, 40)
if heartbeat not in got:
    fail("no link test, got %r" % got)
print("link test after %.1f s" % (time.time() - start))
os.write(console_fd, b"\x06")
time.sleep(2)  # the console line's worker reads every 750 ms

module = socket.create_connection(("127.0.0.1", 8097))
module.recv(24)
module.sendall(b'"ADM-CID"0001R0001L0001[#001234|1130 01 015]')
reply = module.recv(16)
event = b"5011 181234E13001015\x14"
got = read_until(event, 10)
proc.send_signal(signal.SIGTERM)
out = proc.communicate(timeout=10)[0].decode("utf-8", "replace")
if event not in got:
    print(out)
    fail("event not on the console port, got %r" % got)
print("module reply %r, console got %r" % (reply, got))
print("exit status", proc.returncode)
print("OK")

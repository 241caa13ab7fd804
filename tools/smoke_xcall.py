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
import os, pty, select, sys, time, tty

from smoke_common import Smoke

run = Smoke(sys.argv[1] if len(sys.argv) > 1 else "build", "quell-xcall-")
console_fd, console_slave = pty.openpty()
tty.setraw(console_fd)
tty.setraw(console_slave)
modem_link = run.path("modem8")
run.write("ComPorts.ini", "COM5=%s\r\nCOM8=%s\r\n" % (os.ttyname(console_slave), modem_link))
run.write("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n")
run.write("ConnectionType.ini",
          "GSM line 1;GSM XCALL;0;COM8,9600,8,0,0,0;ONLINE;KEY01 KEY02 KEY03 KEY04;M1;;\r\n")
run.sim("modem", "pty", "--link", modem_link, "--ring", "+79001112233", "--talk", "4000")
run.gateway()
run.connect_client()


def console_until(expected, timeout, got=b""):
    end = time.time() + timeout
    while expected not in got and time.time() < end:
        r, _, _ = select.select([console_fd], [], [], 0.5)
        if r:
            got += os.read(console_fd, 256)
    return got


if not run.client_until(b"GSM line 1;+79001112233;GSM XCALL;0;CRING;", 30):
    run.fail("no incoming-call notice, client got %r" % run.received)
print("incoming call announced after %.1f s" % run.elapsed())
run.client.sendall(b"GSM line 1;ATA;57")
if not run.client_until(b"GSM line 1;+79001112233;XCALL_KEY02;57;CID|;", 20):
    run.fail("no key result notice, client got %r" % run.received)
print("key 2 reported after %.1f s" % run.elapsed())

heartbeat = b"1011           @    \x14"
got = console_until(heartbeat, 40)
if heartbeat not in got:
    run.fail("no link test on the console, got %r" % got)
os.write(console_fd, b"\x06")
event = b"5011 180057R13000001\x14"
got = console_until(event, 10, got)
if event not in got:
    run.fail("key event not on the console port, got %r" % got)
print("console got %r after %.1f s" % (got[got.index(event):], run.elapsed()))
run.stop()
print("OK")

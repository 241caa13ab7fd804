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
import os, subprocess, sys, time

from smoke_common import Smoke

run = Smoke(sys.argv[1] if len(sys.argv) > 1 else "build", "quell-dc09-")
os.remove(run.path("ConnectionType.ini"))
link = run.path("console5")
run.write("ComPorts.ini", "COM5=%s\r\n" % link)
run.write("paramv", "_;RP;_;COM5,9600,8,0,0,0;ONLINE;ContactID;_;\r\n")
event = "5114 181234E13001015"
console = run.sim("console", "pty", "--link", link, "--expect", event, "--duration", "60000",
                  report="stdout")
run.gateway()
run.connect_client()

# The console answers the link test about 21 s after start; events sent
# before that would be lost (store offline is off in the sample).
time.sleep(25)
sender = subprocess.run([os.path.join(run.build, "quell-sim"), "dc09", "127.0.0.1:8005",
                         "--count", "3"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                        timeout=30)
print(sender.stdout.decode("utf-8", "replace").rstrip())
if sender.returncode != 0:
    run.fail("the sender did not get three good ACK frames")
if not run.client_until(b"MLR;" + event.encode(), 5):
    run.fail("client got %r" % run.received)
print("client got %r" % run.received[:40])
try:
    console.wait(timeout=10)  # ends once the expected line came
except subprocess.TimeoutExpired:
    pass
log = run.stop()["simulator"]
print(log.rstrip())
if console.returncode != 0:
    run.fail("console did not receive %s" % event)
print("OK")

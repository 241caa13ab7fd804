#!/usr/bin/env python3
"""End-to-end check of data calls in real time (about 40 s).

Starts build/quell-sim panel as the modem of a "GSM Selva" line (COM9, a
pseudo-terminal reached through a link in the working directory) and
build/quell-server in a scratch copy of examples/workdir. A station client
on the Wardex client port then sees the panel's own call reported with
"SELVA_RES|", orders a refresh call to the panel and sees it reported too;
the panel checks every reply's CRC and that each call was left cleanly.

usage: tools/smoke_panel.py [path/to/build]
"""
import sys, time

from smoke_common import Smoke

run = Smoke(sys.argv[1] if len(sys.argv) > 1 else "build", "quell-panel-")
link = run.path("panel9")
run.write("ComPorts.ini", "COM9=%s\r\n" % link)
run.write("ConnectionType.ini",
          "Panels;GSM Selva;0;COM9,9600,8,0,0,0;ONLINE;KEY_01 KEY_02 KEY_03 KEY_04;M1;;\r\n")
run.sim("panel", "pty", "--link", link, "--auto-answer", "--call-in", "+79001112233",
        "--call-in-delay", "3000", "--quiet", report="stdout")
run.gateway()
run.connect_client()

if not run.client_until(b"Panels;+79001112233;GSM Selva;~123430;SELVA_RES|", 40):
    run.fail("the panel's call was not reported, client got %r" % run.received)
print("panel's call reported after %.1f s" % run.elapsed())
# The line is taken while the gateway leaves the call (+++, ATH, the
# modem's reports): a busy reply means ask again a little later.
request = b"+79005556677;selva_object_refresh"
busy = request + b";SELVA_LINE_BUSY|"
for attempt in range(10):
    run.client.sendall(request)
    if not run.client_until(busy, 2):
        break
    run.received = run.received.replace(busy, b"")
    print("line busy at %.1f s, asking again" % run.elapsed())
    time.sleep(2)
if not run.client_until(b"Panels;+79005556677;GSM Selva;~123430;SELVA_RES|", 30):
    run.fail("the refresh was not reported, client got %r" % run.received)
print("refresh reported after %.1f s" % run.elapsed())
time.sleep(8)  # +++ between two silences, then ATH
log = run.stop()["simulator"]
print(log.rstrip())
if log.count("; ended properly") < 2 or "crc ok" not in log:
    run.fail("the panel saw a fault")
print("OK")

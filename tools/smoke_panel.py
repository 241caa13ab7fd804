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
import os, select, shutil, signal, socket, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="quell-panel-")
shutil.copytree(os.path.join(here, "..", "examples", "workdir"), work, dirs_exist_ok=True)
link = os.path.join(work, "panel9")
with open(os.path.join(work, "ComPorts.ini"), "w") as f:
    f.write("COM9=%s\r\n" % link)
with open(os.path.join(work, "ConnectionType.ini"), "w") as f:
    f.write("Panels;GSM Selva;0;COM9,9600,8,0,0,0;ONLINE;KEY_01 KEY_02 KEY_03 KEY_04;M1;;\r\n")

start = time.time()
panel = subprocess.Popen([os.path.join(build, "quell-sim"), "panel", "pty", "--link", link,
                          "--auto-answer", "--call-in", "+79001112233", "--call-in-delay", "3000",
                          "--quiet"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
while not os.path.islink(link) and time.time() - start < 10:
    time.sleep(0.1)
env = dict(os.environ)
env.pop("DISPLAY", None)
env.pop("WAYLAND_DISPLAY", None)
gateway = subprocess.Popen([os.path.join(build, "quell-server")], cwd=work, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def stop():
    for p in (gateway, panel):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    return (gateway.communicate(timeout=10)[0].decode("utf-8", "replace"),
            panel.communicate(timeout=10)[0].decode("utf-8", "replace"))


def fail(msg):
    out, log = stop()
    print("FAIL:", msg)
    print("--- gateway\n" + out + "--- panel\n" + log)
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


if not client_until(b"Panels;+79001112233;GSM Selva;~123430;SELVA_RES|", 40):
    fail("the panel's call was not reported, client got %r" % received)
print("panel's call reported after %.1f s" % (time.time() - start))
# The line is taken while the gateway leaves the call (+++, ATH, the
# modem's reports): a busy reply means ask again a little later.
request = b"+79005556677;selva_object_refresh"
for attempt in range(10):
    client.sendall(request)
    if not client_until(request + b";SELVA_LINE_BUSY|", 2):
        break
    received = received.replace(request + b";SELVA_LINE_BUSY|", b"")
    print("line busy at %.1f s, asking again" % (time.time() - start))
    time.sleep(2)
if not client_until(b"Panels;+79005556677;GSM Selva;~123430;SELVA_RES|", 30):
    fail("the refresh was not reported, client got %r" % received)
print("refresh reported after %.1f s" % (time.time() - start))
time.sleep(8)  # +++ between two silences, then ATH
out, log = stop()
print(log.rstrip())
if log.count("; ended properly") < 2 or "crc ok" not in log or "crc bad" in log:
    fail("the panel saw a fault")
print("OK")

#!/usr/bin/env python3
"""End-to-end check of the IP event path in real time (about 35 s).

Starts build/quell-server in a scratch copy of examples/workdir with a
5-second IP module silence limit, connects a Wardex client on 8040 and a
second console client on 8041, sends the ADM-CID example and an "SR"
keep-alive to 8097, and checks the forwarded event, the module loss and
restore notices, and the client heartbeat "~HB" about 31 s after start.

usage: tools/smoke_ip.py [path/to/quell-server]
"""
import os, shutil, signal, socket, subprocess, sys, tempfile, time

exe = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/quell-server")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="quell-smoke-")
shutil.copytree(os.path.join(here, "..", "examples", "workdir"), work, dirs_exist_ok=True)
with open(os.path.join(work, "param0"), "w") as f:
    f.write("00:00:05\r\n0\r\n0\r\n1\r\n")
env = dict(os.environ)
env.pop("DISPLAY", None)
start = time.time()
proc = subprocess.Popen([exe], cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
time.sleep(1.5)


def fail(msg):
    proc.send_signal(signal.SIGTERM)
    print("FAIL:", msg)
    print(proc.communicate(timeout=10)[0].decode("utf-8", "replace"))
    sys.exit(1)


def module_send(text):
    s = socket.create_connection(("127.0.0.1", 8097))
    s.recv(24)
    s.sendall(text)
    s.settimeout(3)
    reply = b""
    try:
        while True:
            chunk = s.recv(64)
            if not chunk:
                break
            reply += chunk
            if text.startswith(b"\"ADM") and reply.endswith(b"\r"):
                break
    except socket.timeout:
        pass
    s.close()
    return reply


def wait_for(sock, expected, timeout):
    sock.settimeout(0.5)
    got = b""
    end = time.time() + timeout
    while expected not in got and time.time() < end:
        try:
            got += sock.recv(256)
        except socket.timeout:
            pass
    return got


wardex = socket.create_connection(("127.0.0.1", 8040))
console2 = socket.create_connection(("127.0.0.1", 8041))
time.sleep(0.3)
if module_send(b'"ADM-CID"0001R0001L0001[#001234|1130 01 015]') != b"ACK\r":
    fail("no ACK for the ADM-CID event")
line = b"5011 181234E13001015\r"
if b"MLR;" + line + b";MLR_EVENT|" not in wait_for(wardex, line + b";MLR_EVENT|", 3):
    fail("event not forwarded to the Wardex client")
if line not in wait_for(console2, line, 3):
    fail("event not forwarded to the second console client")
print("event forwarded")

if module_send(b"SR0001L0001     #1234[]") != b"\r":
    fail("keep-alive on 8097 must get CR only")
lost = b"QuellServer;5011 181234E35600000;MLR_EVENT|"
if lost not in wait_for(wardex, lost, 10):
    fail("no loss notice")
print("lost after %.1f s" % (time.time() - start))
module_send(b"SR0001L0001     #1234[]")
restored = b"QuellServer;5011 181234R35600000;MLR_EVENT|"
if restored not in wait_for(wardex, restored, 5):
    fail("no restore notice")
print("restored")
got = wait_for(wardex, b"~HB", 40 - (time.time() - start))
if b"~HB" not in got:
    fail("no ~HB")
print("~HB after %.1f s" % (time.time() - start))
proc.send_signal(signal.SIGTERM)
out = proc.communicate(timeout=10)[0].decode("utf-8", "replace")
if "Порт клиента WX: 8040" not in out:
    fail("journal line missing on standard output")
print("OK")

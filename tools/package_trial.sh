#!/usr/bin/env bash
# shellcheck disable=SC2016  # dpkg-query formats and the inner script are meant literally
# Tries the Debian package for real on a fresh Debian 12 root. Slow, needs
# root and Debian's archive; test.sh does not run it.
#
#   tools/package_trial.sh [BUILD_DIR]
#
# 1. Builds the package the documented way in BUILD_DIR (default
#    build-release), twice: release 1 and release 2 (the upgrade).
# 2. Makes a bookworm root once with debootstrap ($QUELL_TRIAL_DIR, default
#    /tmp/quell-package-trial, keeps bookworm-base/) and copies it for the run.
# 3. In a chroot without systemd: apt installs the package (Qt comes along);
#    the user quell (in dialout), /var/lib/quell-server with the samples byte
#    for byte, the unit enabled and `systemd-analyze verify`; the gateway
#    started as the unit starts it (user quell, the working directory,
#    offscreen, a notify socket and a watchdog), in a network namespace of
#    its own: it listens, prints journal lines, says READY=1, WATCHDOG=1 and
#    STOPPING=1. The station edits a file and adds one; the upgrade, remove
#    and purge keep them; purge takes the user. A second installation that
#    nobody touched is purged without a trace.
# 4. Boots that root under systemd-nspawn (private network) and does it
#    again with systemd (tools/package_trial_systemd.sh inside): started at
#    installation, as quell, listening, `journalctl -u`, a stalled gateway
#    killed by the watchdog and restarted, the upgrade restarting it, remove
#    stopping it, purge. Skipped without systemd-nspawn (apt-get install
#    systemd-container).
#
# Ends with "N passed, N failed"; exit status 1 on any failure.
set -euo pipefail
[ "$(id -u)" = 0 ] || { echo "run as root" >&2; exit 2; }

SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath -m "${1:-$SRC/build-release}")
WORK=${QUELL_TRIAL_DIR:-/tmp/quell-package-trial}
BASE=$WORK/bookworm-base
ROOT=$WORK/root
MIRROR=http://deb.debian.org/debian
W=/var/lib/quell-server
RECORD=.quell-package-samples
passed=0
failed=0

check() {  # check "what" command...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
  fi
}
in_root() {
  chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# Every file, link and folder of the working directory with a checksum per
# file: what the station has there.
station_files() {
  in_root sh -c "cd $W && find . -mindepth 1 ! -name $RECORD | LC_ALL=C sort | while read -r p; do
    if [ -f \"\$p\" ]; then echo \"\$(md5sum < \"\$p\") \$p\"; else echo \"- \$p\"; fi; done"
}
mounted=()
mount_root() {
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
  mount -t proc proc "$ROOT/proc" && mounted+=("$ROOT/proc")
  mount -t sysfs sys "$ROOT/sys" && mounted+=("$ROOT/sys")
  mount --bind /dev "$ROOT/dev" && mounted+=("$ROOT/dev")
  mount --bind /dev/pts "$ROOT/dev/pts" && mounted+=("$ROOT/dev/pts")
}
unmount_root() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" || umount -l "${mounted[i]}"; done
  mounted=()
}
trap unmount_root EXIT

mkdir -p "$WORK"
echo "== 1. the packages"
(cd "$SRC" &&
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUELL_BUILD_TESTS=OFF -DQUELL_PACKAGE_RELEASE=1 &&
  cmake --build "$BUILD" -j"$(nproc)" && (cd "$BUILD" && cpack -G DEB) &&
  cmake -S . -B "$BUILD" -DQUELL_PACKAGE_RELEASE=2 && (cd "$BUILD" && cpack -G DEB) &&
  cmake -S . -B "$BUILD" -DQUELL_PACKAGE_RELEASE=1) >"$WORK/build.log" 2>&1 ||
  { tail -30 "$WORK/build.log"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD/CPackConfig.cmake")
deb1=$BUILD/quell-server_${version}-1_amd64.deb
deb2=$BUILD/quell-server_${version}-2_amd64.deb
ls -l "$deb1" "$deb2"
dpkg-deb -c "$deb1"

echo "== 2. a fresh Debian 12 root"
if [ ! -x "$BASE/usr/bin/apt-get" ]; then
  command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
  rm -rf --one-file-system "$BASE"
  debootstrap bookworm "$BASE" "$MIRROR" >"$WORK/debootstrap.log" 2>&1 ||
    { tail -20 "$WORK/debootstrap.log"; exit 1; }
fi
rm -rf --one-file-system "$ROOT"
cp -a "$BASE" "$ROOT"
cp "$deb1" "$deb2" "$ROOT/root/"
mount_root
in_root apt-get update -qq

echo "== 3. in a chroot without systemd"
in_root apt-get install -y -qq "/root/$(basename "$deb1")" >"$WORK/install.log" 2>&1 ||
  { tail -30 "$WORK/install.log"; exit 1; }
tail -5 "$WORK/install.log"
check "installed $version-1" test "$(in_root dpkg-query -W -f '${Version}' quell-server)" = "$version-1"
check "/usr/bin/quell-server and quell-sim" test -x "$ROOT/usr/bin/quell-server" -a -x "$ROOT/usr/bin/quell-sim"
check "user quell is a system user" test "$(in_root id -u quell)" -lt 1000
check "quell is in dialout" sh -c "chroot '$ROOT' id -nG quell | grep -qw dialout"
check "quell has no shell" test "$(in_root getent passwd quell | cut -d: -f7)" = /usr/sbin/nologin
check "$W belongs to quell, 0750" test "$(in_root stat -c '%U:%G %a' $W)" = "quell:quell 750"
check "samples copied byte for byte" diff -r "$SRC/examples/workdir" "$ROOT$W" -x "$RECORD"
check "sample files belong to quell" test -z "$(in_root find $W ! -user quell ! -name $RECORD)"
check "unit enabled (link without systemd)" test -L "$ROOT/etc/systemd/system/multi-user.target.wants/quell-server.service"
check "unit passes systemd-analyze verify" in_root systemd-analyze verify /lib/systemd/system/quell-server.service
in_root systemd-analyze verify /lib/systemd/system/quell-server.service || true

echo "-- the gateway as the unit starts it"
rm -f "$ROOT/run/quell-notify" "$WORK/notify.txt"
in_root install -d -o quell -g quell -m 0700 /run/quell-server  # as RuntimeDirectory= makes it
python3 - "$ROOT/run/quell-notify" "$WORK/notify.txt" <<'EOF' &
import os, socket, sys, time
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1]); os.chmod(sys.argv[1], 0o777); s.settimeout(1)
end = time.time() + 60
with open(sys.argv[2], "w") as out:
    while time.time() < end:
        try: msg = s.recv(4096).decode()
        except socket.timeout: continue
        out.write(msg + "\n"); out.flush()
        if msg == "STOPPING=1": break
EOF
listener=$!
sleep 0.5
# A network namespace of its own: the ports are the gateway's alone.
unshare -n bash -c '
  ip link set lo up
  chroot "$1" setpriv --reuid=quell --regid=quell --init-groups \
    env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/run/quell-server \
        NOTIFY_SOCKET=/run/quell-notify WATCHDOG_USEC=2000000 \
    sh -c "cd /var/lib/quell-server && exec /usr/bin/quell-server" >"$2/gateway.out" 2>&1 &
  gw=$!
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8040) 2>/dev/null && break; sleep 0.2; done
  for p in 8040 8041 8042 8095 8096 8097 8098; do
    (exec 3<>/dev/tcp/127.0.0.1/$p) 2>/dev/null && echo "listens $p" || echo "silent $p"
  done >"$2/ports.txt"
  echo "uid $(ps -o uid= -p $gw | tr -d " ")" >>"$2/ports.txt"
  sleep 3
  kill -TERM $gw
  wait $gw
  echo "exit $?" >>"$2/ports.txt"
' _ "$ROOT" "$WORK"
wait $listener || true
cat "$WORK/ports.txt"
check "listens on 8040-8042 and 8095-8098" test "$(grep -c '^listens' "$WORK/ports.txt")" = 7
check "runs as quell" grep -qx "uid $(in_root id -u quell)" "$WORK/ports.txt"
check "SIGTERM ends it with status 0" grep -qx "exit 0" "$WORK/ports.txt"
echo "journal lines:"; head -5 "$WORK/gateway.out"
check "journal lines on standard output" grep -q "WX: 8040" "$WORK/gateway.out"
echo "notify:"; sort "$WORK/notify.txt" | uniq -c
check "READY=1 first" test "$(head -1 "$WORK/notify.txt")" = READY=1
check "WATCHDOG=1 pings" grep -qx WATCHDOG=1 "$WORK/notify.txt"
check "STOPPING=1 last" test "$(tail -1 "$WORK/notify.txt")" = STOPPING=1
rm -rf "$ROOT/run/quell-notify" "$ROOT/run/quell-server"  # systemd removes its RuntimeDirectory

echo "-- the station's own changes, then upgrade, remove, purge"
in_root sh -c "printf '01:00:00\r\n0\r\n0\r\n1\r\n' > $W/param0 && printf 'on\r\n' > $W/paramtest"
station_files >"$WORK/station.before"
in_root apt-get install -y -qq "/root/$(basename "$deb2")" >"$WORK/upgrade.log" 2>&1 || tail -20 "$WORK/upgrade.log"
check "upgraded to $version-2" test "$(in_root dpkg-query -W -f '${Version}' quell-server)" = "$version-2"
station_files >"$WORK/station.after"
check "upgrade keeps the station's files" cmp "$WORK/station.before" "$WORK/station.after"
in_root apt-get remove -y -qq quell-server >"$WORK/remove.log" 2>&1 || tail -20 "$WORK/remove.log"
check "remove takes the programs" test ! -e "$ROOT/usr/bin/quell-server"
station_files >"$WORK/station.after"
check "remove keeps the station's files" cmp "$WORK/station.before" "$WORK/station.after"
check "remove keeps the user" in_root getent passwd quell
in_root apt-get purge -y -qq quell-server >"$WORK/purge.log" 2>&1 || tail -20 "$WORK/purge.log"
grep quell-server: "$WORK/purge.log" || true
check "purged" test -z "$(in_root dpkg-query -W -f '${Status}' quell-server 2>/dev/null)"
station_files >"$WORK/station.after"
check "purge keeps the station's files" cmp "$WORK/station.before" "$WORK/station.after"
check "purge takes the package's record" test ! -e "$ROOT$W/$RECORD"
check "purge takes the user and group" sh -c "! chroot '$ROOT' getent passwd quell && ! chroot '$ROOT' getent group quell"
check "purge takes the enable link" test ! -L "$ROOT/etc/systemd/system/multi-user.target.wants/quell-server.service"

echo "-- reinstall over the kept directory, then an untouched installation purged"
# Another system user takes quell's old id: the new quell gets another one.
in_root adduser --quiet --system --group quell-trial-other
in_root apt-get install -y -qq "/root/$(basename "$deb1")" >"$WORK/install2.log" 2>&1 || tail -20 "$WORK/install2.log"
station_files >"$WORK/station.after"
check "reinstall copies no samples over the station's files" cmp "$WORK/station.before" "$WORK/station.after"
check "reinstall gives the kept directory to the new user" \
  test -z "$(in_root find $W -nouser)" -a "$(in_root stat -c %U $W)" = quell
in_root apt-get purge -y -qq quell-server >"$WORK/purge2.log" 2>&1 || tail -20 "$WORK/purge2.log"
in_root deluser --quiet --system quell-trial-other
in_root rm -rf $W  # the station clears its directory
in_root apt-get install -y -qq "/root/$(basename "$deb1")" >"$WORK/install3.log" 2>&1 || tail -20 "$WORK/install3.log"
check "fresh installation copies the samples" diff -r "$SRC/examples/workdir" "$ROOT$W" -x "$RECORD"
in_root apt-get purge -y -qq quell-server >"$WORK/purge3.log" 2>&1 || tail -20 "$WORK/purge3.log"
check "purge of an untouched installation takes $W" test ! -e "$ROOT$W"
leftovers=$(in_root find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /root \) -prune -o \
  \( -name '*quell*' -o -nouser -o -nogroup \) -print)
echo "${leftovers:-(nothing left)}"
check "nothing of the package left" test -z "$leftovers"

echo "== 4. under systemd"
if ! command -v systemd-nspawn >/dev/null; then
  echo "skipped: no systemd-nspawn (apt-get install systemd-container)"
else
  cp "$SRC/tools/package_trial_systemd.sh" "$ROOT/root/"
  cat >"$ROOT/etc/systemd/system/quell-trial.service" <<'UNIT'
[Unit]
Description=Quell Server package trial
After=multi-user.target
[Service]
Type=oneshot
TimeoutStartSec=infinity
ExecStart=/root/package_trial_systemd.sh
ExecStopPost=/bin/systemctl poweroff
[Install]
WantedBy=multi-user.target
UNIT
  ln -sf /etc/systemd/system/quell-trial.service "$ROOT/etc/systemd/system/multi-user.target.wants/"
  unmount_root
  rm -f "$ROOT/root/systemd-trial.txt"
  # Without a systemd on the host: no machined (--register=no), no scope
  # of its own (--keep-unit). Loopback only.
  timeout 600 systemd-nspawn -q -D "$ROOT" -b --private-network --register=no --keep-unit \
    --console=pipe </dev/null >"$WORK/boot.log" 2>&1 || true
  result=$ROOT/root/systemd-trial.txt
  if [ -f "$result" ]; then
    cat "$result"
    passed=$((passed + $(grep -c '^ok:' "$result" || true)))
    failed=$((failed + $(grep -c '^FAIL:' "$result" || true)))
    if ! grep -qx "done" "$result"; then
      echo "FAIL: the systemd trial did not finish"
      failed=$((failed + 1))
    fi
  else
    tail -20 "$WORK/boot.log"
    echo "FAIL: the root did not boot under systemd-nspawn"
    failed=$((failed + 1))
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]

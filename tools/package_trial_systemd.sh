#!/bin/bash
# The systemd half of tools/package_trial.sh: runs inside the trial root
# booted by systemd-nspawn (as the oneshot unit quell-trial), with the two
# packages in /root. Writes ok:/FAIL: lines to /root/systemd-trial.txt and
# "done" at the end.
exec >/root/systemd-trial.txt 2>&1
export DEBIAN_FRONTEND=noninteractive
W=/var/lib/quell-server

check() {
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then echo "ok: $what"; else echo "FAIL: $what"; fi
}
active() {  # active within 30 s
  for _ in $(seq 60); do
    [ "$(systemctl is-active quell-server)" = active ] && return 0
    sleep 0.5
  done
  return 1
}
main_pid() { systemctl show -p MainPID --value quell-server; }
all_listen() {
  local p
  for p in 8040 8041 8042 8095 8096 8097 8098; do
    (exec 3<>/dev/tcp/127.0.0.1/"$p") 2>/dev/null || return 1
  done
}
station_files() {
  (cd $W && find . -mindepth 1 ! -name .quell-package-samples | LC_ALL=C sort |
    while read -r p; do
      if [ -f "$p" ]; then echo "$(md5sum <"$p") $p"; else echo "- $p"; fi
    done)
}
journal_has() { journalctl -u quell-server --no-pager | grep -q "$1"; }
restarted_since() {  # restarted_since PID: another main process, active
  [ "$(main_pid)" != "$1" ] && [ "$(systemctl is-active quell-server)" = active ]
}

apt-get install -y -qq /root/quell-server_*-1_amd64.deb >/root/install.log 2>&1
check "started by the installation" active
check "enabled" systemctl is-enabled quell-server
pid=$(main_pid)
check "runs as quell" test "$(ps -o user= -p "$pid")" = quell
groups=$(grep ^Groups: /proc/"$pid"/status)
check "with the groups dialout and audio" bash -c "grep -qw $(getent group dialout | cut -d: -f3) <<<'$groups' && grep -qw $(getent group audio | cut -d: -f3) <<<'$groups'"
check "in $W" test "$(readlink /proc/"$pid"/cwd)" = $W
# 65536, or less where the machine's own ceiling is lower (systemd takes
# the closest it may).
ceiling=$(awk '/^Max open files/ { print $5 }' /proc/1/limits)
nofile=$((ceiling < 65536 ? ceiling : 65536))
grep "^Max open files" /proc/"$pid"/limits
check "LimitNOFILE 65536 (here $nofile)" grep -Eq "^Max open files +$nofile +$nofile " /proc/"$pid"/limits
systemd-analyze security quell-server --no-pager | tail -1
check "watchdog 30 s" test "$(systemctl show -p WatchdogUSec --value quell-server)" = 30s
for _ in $(seq 20); do all_listen && break; sleep 0.5; done
check "listens on 8040, 8041, 8042, 8095-8098" all_listen
systemctl status quell-server --no-pager | head -12
journalctl -u quell-server --no-pager | tail -4
check "journalctl -u quell-server has the journal lines" journal_has "WX: 8040"
check "no runtime directory of Qt's own in /tmp" test -z "$(journalctl -u quell-server --no-pager | grep 'runtime directory')"

echo "-- an event loop that stops: the watchdog (3 s here) kills and restarts the gateway"
mkdir -p /etc/systemd/system/quell-server.service.d
printf '[Service]\nWatchdogSec=3s\nTimeoutAbortSec=3s\n' \
  >/etc/systemd/system/quell-server.service.d/trial.conf
systemctl daemon-reload
systemctl restart quell-server
active
pid=$(main_pid)
kill -STOP "$pid"
for _ in $(seq 60); do restarted_since "$pid" && break; sleep 0.5; done
check "watchdog restarted the stalled gateway" restarted_since "$pid"
check "systemd names the watchdog" journal_has "Watchdog timeout"
journalctl -u quell-server --no-pager | grep -i -m3 watchdog
rm -r /etc/systemd/system/quell-server.service.d
systemctl daemon-reload
systemctl restart quell-server
check "active again without the drop-in" active

echo "-- the station's changes, then upgrade, remove, purge"
printf '01:00:00\r\n0\r\n0\r\n1\r\n' >$W/param0
printf 'on\r\n' >$W/paramtest
param0=$(md5sum <$W/param0)
systemctl restart quell-server
active
systemctl stop quell-server  # nothing written while the files are compared
station_files >/root/station.before
systemctl start quell-server
active
pid=$(main_pid)
apt-get install -y -qq /root/quell-server_*-2_amd64.deb >/root/upgrade.log 2>&1
check "upgraded to release 2" bash -c "dpkg-query -W -f '\${Version}' quell-server | grep -q -- '-2\$'"
check "upgrade restarted the service" restarted_since "$pid"
systemctl stop quell-server
station_files >/root/station.after
check "upgrade keeps the station's files (trace files aside)" \
  cmp <(grep -v ' ./Trace/Trace' /root/station.before) <(grep -v ' ./Trace/Trace' /root/station.after)
systemctl start quell-server
active
apt-get remove -y -qq quell-server >/root/remove.log 2>&1
check "remove stops the service" test "$(systemctl is-active quell-server)" != active
station_files >/root/station.before
check "remove keeps the station's changes" \
  test -f $W/paramtest -a "$(md5sum <$W/param0)" = "$param0"
apt-get purge -y -qq quell-server >/root/purge.log 2>&1
cat /root/purge.log
station_files >/root/station.after
check "purge keeps the station's files" cmp /root/station.before /root/station.after
check "purge takes the user" bash -c "! getent passwd quell"
check "no unit left" bash -c "! systemctl cat quell-server"
echo "done"

#!/usr/bin/env bash
# Starts or stops the PostgreSQL 15 server the tests use: a cluster of its
# own in a temporary directory, run as the postgres user (the server refuses
# root), on its own socket directory and a free loopback port (never 5432).
#   pg_test_server.sh start STATE [WALDIR]   writes STATE: the connection string, then
#                                            the directory; WALDIR: pg_wal there, 1 MB segments
#   pg_test_server.sh stop STATE             stops the server and removes its directory
# Without initdb on the machine, start writes no STATE and the tests skip
# their PostgreSQL cases with a message. QUELL_PG_NETNS (a network namespace)
# and QUELL_PG_LISTEN (its address) run the server behind a link of its own.
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
action=$1
state=$2
waldir=${3:-}

as_server() {
  local in=()
  [[ -n ${QUELL_PG_NETNS:-} ]] && in=(ip netns exec "$QUELL_PG_NETNS")
  if [[ $(id -u) == 0 ]]; then "${in[@]}" runuser -u postgres -- "$@"; else "${in[@]}" "$@"; fi
}

case $action in
start)
  rm -f "$state"
  if [[ ! -x $bin/initdb ]]; then
    echo "PostgreSQL 15 is not installed ($bin/initdb): its test cases are skipped"
    exit 0
  fi
  dir=$(mktemp -d /tmp/quell-pg.XXXXXX)
  chmod 755 "$dir"
  mkdir "$dir/sock"
  wal=()
  if [[ -n $waldir ]]; then
    wal=(-X "$waldir/wal" --wal-segsize=1)
    [[ $(id -u) == 0 ]] && chown postgres: "$waldir"
  fi
  [[ $(id -u) == 0 ]] && chown -R postgres: "$dir"
  as_server "$bin/initdb" -D "$dir/data" -U postgres --auth-local=trust \
    --auth-host=scram-sha-256 -E UTF8 --no-sync "${wal[@]}" >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log"; exit 1; }
  # Behind a link of its own: its peers on that link with a password too.
  if [[ -n ${QUELL_PG_LISTEN:-} ]]; then
    echo "host all all samenet scram-sha-256" >>"$dir/data/pg_hba.conf"
  fi
  # A free loopback port other than 5432: taken from the system, then
  # released for the server.
  port=$(python3 -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-p $port -k $dir/sock -c listen_addresses=${QUELL_PG_LISTEN:-127.0.0.1} -c fsync=on" start >/dev/null ||
    { cat "$dir/server.log"; exit 1; }
  printf 'host=%s port=%s user=postgres\n%s\n' "$dir/sock" "$port" "$dir" >"$state"
  echo "PostgreSQL test server on port $port in $dir"
  ;;
stop)
  [[ -f $state ]] || exit 0
  dir=$(sed -n 2p "$state")
  if [[ -d $dir/data ]]; then
    as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir" "$state"
  ;;
esac

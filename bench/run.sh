#!/usr/bin/env bash
# Builds the Release gateway and simulator into build-bench, starts the
# gateway on loopback in a scratch copy of examples/workdir and prints one
# table of figures (bench/measure.py), with this machine's limits measured
# in the same run (bench/limit/: a bare UDP echo, a bare fdatasync) for the
# gateway's figures to be read against. Options go to measure.py:
#   bench/run.sh [--repeat N] [--idle-seconds S] [--quick]
# The run is isolated in its own network namespace with a private
# XDG_RUNTIME_DIR when unshare allows it, so a gateway already running on
# this machine keeps its ports and its single-instance lock.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z "${QUELL_BENCH_INSIDE:-}" ]]; then
  nice -n 10 cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUELL_BUILD_TESTS=OFF -DQUELL_BUILD_BENCH=ON >/dev/null
  nice -n 10 cmake --build build-bench -j2 --target quell-server quell-sim store_bench \
    limit_udp_echo limit_udp_client limit_fdatasync >/dev/null
  if unshare -n true 2>/dev/null; then
    exec unshare -n env QUELL_BENCH_INSIDE=1 "$0" "$@"
  fi
  echo "bench/run.sh: no network namespace; running on the machine's loopback" >&2
else
  ip link set lo up 2>/dev/null || true
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi

echo "machine: $(lscpu | sed -n 's/^Model name: *//p')"
echo "cores: $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
exec python3 bench/measure.py build-bench "$@"

#!/usr/bin/env bash
# Installs what is missing, builds into build/, and starts the gateway in a
# scratch copy of the sample working directory (the repository stays clean).
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quell-server
workdir=${QUELL_WORKDIR:-$PWD/scratch/workdir}
if [ ! -d "$workdir" ]; then
  mkdir -p "$workdir"
  cp -r examples/workdir/. "$workdir/"
fi
echo "Working directory: $workdir"
cd "$workdir"
exec "$OLDPWD/build/quell-server"

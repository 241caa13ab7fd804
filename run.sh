#!/usr/bin/env bash
# Installs what is missing, builds the gateway, the simulator and the event
# reader into build/, and starts the gateway in a scratch copy of the sample
# working directory (the repository stays clean). cmake's output goes to
# build/build.log; the terminal gets one progress line, or the errors.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

targets=(quell-server quell-sim quell-events)
log=build/build.log
mkdir -p build

build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELL_BUILD_TESTS=OFF &&
    cmake --build build -j"$(nproc)" --target "${targets[@]}"
}

# "[ 42%] Building ..." becomes one line rewritten in place (on a terminal).
progress() {
  local line shown=""
  while IFS= read -r line; do
    if [[ -t 1 && $line =~ ^\[\ *([0-9]+)%\] ]]; then
      printf '\r  %s%% built' "${BASH_REMATCH[1]}"
      shown=1
    fi
  done
  if [[ -n $shown ]]; then printf '\r\033[K'; fi
}

echo "Building ${targets[*]} into build/ (the first time about 4 minutes on 2 cores; log: $log)"
if ! build 2>&1 | tee "$log" | progress; then
  echo "The build failed; its errors (the whole output is in $log):" >&2
  grep -E -A4 ' error:|error: ld returned|undefined reference|CMake Error|\*\*\*' "$log" |
    head -60 >&2 || tail -40 "$log" >&2
  exit 1
fi

workdir=${QUELL_WORKDIR:-$PWD/scratch/workdir}
if [ ! -d "$workdir" ]; then
  mkdir -p "$workdir"
  cp -r examples/workdir/. "$workdir/"
fi
echo "Working directory: $workdir"
cd "$workdir"
exec "$OLDPWD/build/quell-server"

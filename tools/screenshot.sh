#!/usr/bin/env bash
# Renders the window's pages and dialogs over the sample working directory to
# docs/screenshots/*.png, on a virtual X display.
#   tools/screenshot.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
missing=()
for p in xvfb xauth fonts-dejavu-core; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[[ -f $build/CMakeCache.txt ]] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target quell-screens >/dev/null
screens=$(realpath "$build/quell-screens")
out=$PWD/docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/workdir/. "$work"
# A network of its own where possible, so the window shows the usual ports.
isolate=()
if unshare -n true 2>/dev/null; then isolate=(unshare -n sh -c 'ip link set lo up 2>/dev/null; exec "$@"' sh); fi
(cd "$work" && XDG_RUNTIME_DIR=$work "${isolate[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "$screens" "$out" --modem 8)

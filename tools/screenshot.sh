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

# The monitoring server's status page (docs/screenshots/status-page.png), as
# headless Chromium shows it, after quell-sim sent a few events.
chrome=$(command -v chromium || command -v chromium-browser || true)
if [[ -z $chrome ]]; then
  echo "status page picture skipped: Chromium is not installed (apt-get install chromium)"
  exit 0
fi
cmake --build "$build" -j"$(nproc)" --target quell-server quell-sim >/dev/null
page=$(mktemp -d)
trap 'rm -rf "$work" "$page"' EXIT
cp -r examples/workdir/. "$page"
cp examples/monitoring/Monitoring.ini "$page"
bin=$(realpath "$build")
sandbox=()
if [[ $(id -u) == 0 ]]; then sandbox=(--no-sandbox); fi
(cd "$page" && XDG_RUNTIME_DIR=$page HOME=$page "${isolate[@]}" bash -c '
  bin=$1 chrome=$2 out=$3; shift 3
  "$bin/quell-server" >gateway.log 2>&1 &
  gateway=$!
  trap "kill $gateway 2>/dev/null; wait $gateway 2>/dev/null" EXIT
  for _ in $(seq 100); do
    python3 -c "import urllib.request; urllib.request.urlopen(\"http://127.0.0.1:9464/health/live\", timeout=1)" 2>/dev/null && break
    sleep 0.2
  done
  "$bin/quell-sim" ip 127.0.0.1:8097 --modules 3 --messages 4 >/dev/null
  "$bin/quell-sim" dc09 127.0.0.1:8005 --count 5 --account 5678 --quiet >/dev/null
  sleep 2  # the page shows the state published once a second
  "$chrome" --headless "$@" --disable-gpu --hide-scrollbars --window-size=1000,1500 \
    --screenshot="$out/status-page.png" http://127.0.0.1:9464/ >/dev/null 2>&1
' sh "$bin" "$chrome" "$out" "${sandbox[@]}")
echo "status page: $out/status-page.png"

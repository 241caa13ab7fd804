#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest:
# the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then
# the threaded tests again under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh --test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUELL_SANITIZE=address >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUELL_SANITIZE=thread -DQUELL_BUILD_APP=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target test_threaded
(cd build-tsan && ctest --output-on-failure -L threaded)

# The libFuzzer targets (clang, build-fuzz/), each run for 5 s on its seed corpus.
tools/fuzz.sh --smoke 5

# Faults on the real program (about 90 s): the ASan gateway and simulator
# built above, a silent console, a client that never reads, 1,000 idle
# module connections, a modem that disappears and comes back.
python3 tools/faults.py build-asan

# The monitoring surface on the real gateway (about 30 s): promtool check
# metrics, a real Prometheus scraping it while quell-sim sends events, the
# health answers, the status page and bad requests.
python3 tools/monitoring_check.py build-asan

#!/usr/bin/env bash
# Installs the Debian packages the gateway needs to build, run and test, and
# what the fault runs, the package trial and the screenshots call: python3,
# iproute2 (ip, in network namespaces of their own), file (CPack's library
# dependencies). Checked on a fresh debootstrap --variant=minbase root.
#
# --test (only ./test.sh passes it) adds what the tests alone need:
# prometheus, for promtool and a real Prometheus scraping the gateway. Its
# Debian service is kept off: it would start a daemon on :9090 for everyone.
set -euo pipefail
packages=(build-essential cmake pkg-config clang libclang-rt-14-dev qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
          libgl-dev libgtest-dev libgmock-dev googletest alsa-utils
          libsystemd-dev python3 iproute2 file libssl-dev libsqlite3-dev
          libcivetweb-dev prometheus-cpp-dev postgresql-15 libpq-dev
          libgoogle-perftools-dev)
test_packages=(prometheus)
with_tests=0
if [ "${1:-}" = "--test" ]; then with_tests=1; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  # The store's tests start PostgreSQL servers of their own: the package
  # makes no cluster of its own, and none is started.
  if [[ " ${missing[*]} " == *" postgresql-15 "* ]]; then
    mkdir -p /etc/postgresql-common
    echo "create_main_cluster = false" >/etc/postgresql-common/createcluster.conf
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ((with_tests)); then
  missing=()
  for p in "${test_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing for the tests: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # invoke-rc.d asks policy-rc.d before starting a service: 101 denies it.
    # An existing policy (a container's) is kept and put back afterwards.
    policy=/usr/sbin/policy-rc.d
    saved=""
    if [ -e "$policy" ]; then
      saved=$(mktemp)
      cp -p "$policy" "$saved"
    fi
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    restore() {
      if [ -n "$saved" ]; then mv "$saved" "$policy"; else rm -f "$policy"; fi
    }
    trap restore EXIT
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
    restore
    trap - EXIT
  fi
  # Kept off also where systemd runs (and after later upgrades).
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    systemctl disable --now prometheus.service >/dev/null 2>&1 || true
    systemctl mask prometheus.service >/dev/null 2>&1 || true
  elif command -v update-rc.d >/dev/null && [ -e /etc/init.d/prometheus ]; then
    update-rc.d prometheus disable >/dev/null 2>&1 || true
  fi
fi

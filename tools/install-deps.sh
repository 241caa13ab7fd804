#!/usr/bin/env bash
# Installs the Debian packages the gateway needs to build, run and test, and
# what the fault runs, the package trial and the screenshots call: python3,
# iproute2 (ip, in network namespaces of their own), file (CPack's library
# dependencies). Checked on a fresh debootstrap --variant=minbase root.
set -euo pipefail
packages=(build-essential cmake pkg-config clang libclang-rt-14-dev qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
          libgl-dev libgtest-dev libgmock-dev googletest alsa-utils
          libsystemd-dev python3 iproute2 file libssl-dev libsqlite3-dev postgresql-15 libpq-dev)
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

#!/usr/bin/env bash
# Installs the Debian packages Varnosk needs to build and test, skipping those already there.
set -euo pipefail

packages=(
  g++ cmake make
  libboost-dev libboost-program-options-dev libboost-filesystem-dev libboost-system-dev
  libboost-date-time-dev libboost-math-dev
  zlib1g-dev libbz2-dev liblzma-dev libzstd-dev
  gzip bzip2 xz-utils zstd
  libgtest-dev libgmock-dev
  libopenmpi-dev openmpi-bin
  chromium
  strace
  clang-format
  dpkg-dev file lintian groff-base
)
if [ "${1:-}" = "--with-sanitizers" ]; then packages+=(libclang-rt-dev); fi
if [ "${1:-}" = "--with-fuzzers" ]; then packages+=(clang libclang-rt-dev); fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing Debian packages: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

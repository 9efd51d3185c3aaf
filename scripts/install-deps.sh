#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and demonstrates with, when missing.
# Needs root (or sudo) only when something is missing.
#
#   scripts/install-deps.sh                what the tests, benchmarks and demos need too
#   scripts/install-deps.sh --build-only   what building and installing needs, for a desktop
#                                          install configured with -DBUILD_TESTING=OFF
set -euo pipefail

# Building and installing: compilers and CMake, the libraries the programs use, and scdoc, which
# makes the manual pages.
packages=(
  g++ cmake ninja-build pkg-config
  libplist-dev libsystemd-dev
  libsane-dev libsane1 libtiff-dev libpng-dev
  scdoc
)
case "${1:-}" in
  --build-only) ;;
  "")
    # The tests, benchmarks and fuzz targets, their private views, and the manual pages' check.
    packages+=(
      clang libclang-rt-14-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      umockdev libumockdev-dev bubblewrap groff-base
      # A private bus for the tests that talk to the user's service manager; systemd-analyze,
      # which checks the installed user unit.
      dbus-daemon systemd
    )
    ;;
  *) echo "usage: scripts/install-deps.sh [--build-only]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

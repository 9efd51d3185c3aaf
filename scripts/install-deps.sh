#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and demonstrates with, when missing.
# Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  libplist-dev libsystemd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  umockdev libumockdev-dev bubblewrap
  libsane-dev libsane1 libtiff-dev libpng-dev
  scdoc groff-base
)

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

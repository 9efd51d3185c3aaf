#!/usr/bin/env bash
# The README's desktop install, checked. Configures BUILD_DIR with -DBUILD_TESTING=OFF, builds it
# and installs it below BUILD_DIR/staging, all in a view where every file of GoogleTest, Google
# Benchmark and umockdev is unreadable, so that any use of one fails. Then checks that the
# configuration never looked for them, that no test, benchmark or fuzz target was made, and that
# the programs are installed, each with a manual page that renders without a warning.
#
#   scripts/check-install.sh [BUILD_DIR [CMAKE_OPTION...]]   (default build-install)
#
# The configuration is the "install" preset of CMakePresets.json, with the options given.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-install}
shift $(( $# > 0 ? 1 : 0 ))
staging=$(pwd)/$build/staging
prefix=/usr/local

fail() { echo "check-install: $*" >&2; exit 1; }

hidden=()
while read -r file; do
  [ -f "$file" ] && hidden+=(--ro-bind /dev/null "$file")
done < <(dpkg -L libgtest-dev libgmock-dev googletest libbenchmark-dev libumockdev-dev umockdev \
           2>/dev/null | sort -u)
echo "check-install: $(( ${#hidden[@]} / 3 )) files of the test packages hidden"
in_view() { bwrap --dev-bind / / "${hidden[@]}" -- "$@"; }
in_view true || fail "bubblewrap cannot make the view (it needs root or unprivileged user namespaces)"

in_view cmake --preset install -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
in_view cmake --build "$build" -j "$(nproc)"
rm -rf "$staging"
in_view env DESTDIR="$staging" cmake --install "$build" >/dev/null

# Nothing looked for the test packages, and nothing of the tests was made.
if grep -E '^(GTest|GMock|GTEST|GMOCK|benchmark|UMOCKDEV|pkgcfg_lib_UMOCKDEV)[A-Za-z_]*[:=]' \
     "$build/CMakeCache.txt"; then
  fail "the configuration looked for a test package (above)"
fi
for folder in tests bench fuzz; do
  [ ! -e "$build/$folder" ] || fail "$build/$folder was made"
done
ctest --test-dir "$build" -N | grep -q "Total Tests: 0" || fail "$build has tests"

for program in button-monitor network-button-send scan-destination-standin \
               scanner-library-sample twain-host; do
  [ -x "$staging$prefix/bin/$program" ] || fail "$program is not installed"
done
scripts/check-man-pages.sh "$staging$prefix"
echo "check-install: installed below $staging without the test packages"

#!/usr/bin/env bash
# The project's test command: installs what is missing, configures, builds and runs every test.
#
#   scripts/test.sh              GCC build in build/, the whole suite
#   scripts/test.sh --sanitize   Clang build in build-sanitize/ under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, fuzz targets included, no
#                                benchmarks (it never runs them)
#   scripts/test.sh --threads    Clang build in build-tsan/ under ThreadSanitizer, only the
#                                tests where threads meet (label "threads")
#   scripts/test.sh --install    the README's desktop install (-DBUILD_TESTING=OFF) in
#                                build-install/, built where GoogleTest, Google Benchmark and
#                                umockdev cannot be read, installed below build-install/staging
#                                and checked: the programs, a manual page for each, no test
#
# The builds' settings are the configure presets of CMakePresets.json (plain, sanitize, threads,
# install). VELMORA_WERROR=ON in the environment makes every warning an error (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-plain}
scripts/install-deps.sh

jobs=$(nproc)
configure=(-DVELMORA_WERROR="${VELMORA_WERROR:-OFF}")
if command -v ccache >/dev/null; then
  configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
case "$mode" in
  plain)
    cmake --preset plain "${configure[@]}"
    cmake --build build -j "$jobs"
    ctest --test-dir build -j "$jobs" --output-on-failure
    ;;
  --sanitize)
    cmake --preset sanitize "${configure[@]}"
    cmake --build build-sanitize -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-sanitize -j "$jobs" --output-on-failure
    ;;
  --threads)
    cmake --preset threads "${configure[@]}"
    cmake --build build-tsan -j "$jobs" --target velmora_thread_tests
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir build-tsan -j "$jobs" -L threads --output-on-failure --no-tests=ignore
    ;;
  --install)
    scripts/check-install.sh build-install "${configure[@]}"
    ;;
  *)
    echo "usage: scripts/test.sh [--sanitize|--threads|--install]" >&2
    exit 2
    ;;
esac

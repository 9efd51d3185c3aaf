#!/usr/bin/env bash
# The project's test command: installs what is missing, configures, builds and runs every test.
#
#   scripts/test.sh              GCC build in build/, the whole suite
#   scripts/test.sh --sanitize   Clang build in build-sanitize/ under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, fuzz targets included
#   scripts/test.sh --threads    Clang build in build-tsan/ under ThreadSanitizer, only the
#                                tests where threads meet (label "threads")
#   scripts/test.sh --install    the README's desktop install (-DBUILD_TESTING=OFF) in
#                                build-install/, built where GoogleTest, Google Benchmark and
#                                umockdev cannot be read, installed below build-install/staging
#                                and checked: the programs, a manual page for each, no test
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-plain}
scripts/install-deps.sh

jobs=$(nproc)
case "$mode" in
  plain)
    build=build
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j "$jobs"
    ctest --test-dir "$build" -j "$jobs" --output-on-failure
    ;;
  --sanitize)
    build=build-sanitize
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DVELMORA_SANITIZE=address,undefined \
      -DVELMORA_FUZZ=ON
    cmake --build "$build" -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir "$build" -j "$jobs" --output-on-failure
    ;;
  --threads)
    build=build-tsan
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DVELMORA_SANITIZE=thread
    cmake --build "$build" -j "$jobs" --target velmora_thread_tests
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir "$build" -j "$jobs" -L threads --output-on-failure --no-tests=ignore
    ;;
  --install)
    scripts/check-install.sh build-install
    ;;
  *)
    echo "usage: scripts/test.sh [--sanitize|--threads|--install]" >&2
    exit 2
    ;;
esac

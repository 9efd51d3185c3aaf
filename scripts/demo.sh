#!/usr/bin/env bash
# The demo: arrives with the monitor. Until then it builds the project and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
echo "Built. The demo of button-monitor arrives with the monitor."

#!/usr/bin/env bash
# Builds and runs the wait benchmark on a virtual X display.
# Usage: scripts/benchmark.sh [SCALE]   (simulated call durations, default 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target bench_wait
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bench_wait" "${1:-2}"

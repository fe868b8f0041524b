#!/usr/bin/env bash
# Builds and runs the benchmarks on a virtual X display: the GUI thread's longest stall in each workflow, on this disk and
# on one whose every sync takes 100 ms (about a minute each: the check and the
# bootstrap run at the simulator's real timings), then what
# the record's hashing costs an update (under a minute).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target bench_stall bench_record bench_slow_sync
# The records of the workflows the benchmarks run stay out of the user's folder.
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
export XDG_DATA_HOME=$data
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bench_stall"
# The same on a slow disk: every sync of the record takes 100 ms.
LD_PRELOAD="$root/build/libbench_slow_sync.so" xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bench_stall"
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bench_record"

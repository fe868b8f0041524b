#!/usr/bin/env bash
# Sets up, builds what the updater needs and starts it against a simulated
# instrument from simulator/examples/.
#
#   scripts/run.sh [SCENARIO]      (default: kd740b; see the README's table)
#
# The instrument's description (build/run/SCENARIO.txt) keeps what the
# updater did to it across runs; delete it to start the scenario over.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=${1:-kd740b}
example="$root/simulator/examples/$scenario.txt"
if [[ ! -f $example ]]; then
    echo "No scenario '$scenario'. Choose one of:" >&2
    (cd "$root/simulator/examples" && ls -- *.txt | sed 's/\.txt$//; s/^/  /') >&2
    exit 2
fi

"$root/scripts/setup.sh"
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQT_MAJOR="${QT_MAJOR:-5}" >/dev/null
# The updater, kd740-flash, their kd_api and the images: the tests are not needed here.
cmake --build "$build" -j"$(nproc)" --target kd740-updater kd740-flash kdsim_firmware

rundir="$build/run"
mkdir -p "$rundir/firmware"
cp "$build/firmware/"* "$rundir/firmware/"
[[ -f "$rundir/$scenario.txt" ]] || cp "$example" "$rundir/$scenario.txt"

cd "$rundir"
export KDSIM_DEVICE="$rundir/$scenario.txt"
export KDSIM_TRACE="$rundir/$scenario.trace"
export KDSIM_SCALE="${KDSIM_SCALE:-0.01}"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found: set DISPLAY (or run under xvfb-run) to see the window." >&2
    exit 1
fi
exec "$build/kd740-updater"

#!/usr/bin/env bash
# Sets up, builds and starts the updater against the simulated instrument.
# The instrument's description (build/run/instrument.txt) keeps what the
# updater did to it across runs; delete it to start from a KD740B at 4.5.10.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"

rundir="$root/build/run"
mkdir -p "$rundir/firmware"
cp "$root/build/firmware/"* "$rundir/firmware/"
[[ -f "$rundir/instrument.txt" ]] || cp "$root/simulator/examples/kd740b.txt" "$rundir/instrument.txt"

cd "$rundir"
export KDSIM_DEVICE="$rundir/instrument.txt"
export KDSIM_TRACE="$rundir/trace.txt"
export KDSIM_SCALE="${KDSIM_SCALE:-0.01}"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found: set DISPLAY (or run under xvfb-run) to see the window." >&2
    exit 1
fi
exec "$root/build/kd740-updater"

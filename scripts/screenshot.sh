#!/usr/bin/env bash
# Makes the README screenshots: the updater after checking and updating a
# simulated KD740B from 4.5.10, on a virtual X display; with --busy, the
# busy dialog half-way through that update's FPGA write instead.
#
#   scripts/screenshot.sh [--busy] OUT.png [BUILD_DIR]
#
# Without BUILD_DIR it configures and builds build/ of the checkout. The
# build must use the simulated instrument (KD_API_LIBRARY unset). A Windows
# cross build (scripts/test-windows.sh) is run under Wine with Qt's Windows
# platform and style, and tests/double/kd740_drive_plugin.cpp clicks and
# saves the window.
# Needs: xvfb, xdotool, imagemagick (import, convert), and the build's own
# packages.
set -euo pipefail

busy=false
if [[ ${1:-} == --busy ]]; then
    busy=true
    shift
fi
out=${1:?usage: $0 [--busy] OUT.png [BUILD_DIR]}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$out")
if [[ $# -ge 2 ]]; then
    build=$(cd "$2" && pwd)
else
    build=$root/build
    cmake -S "$root" -B "$build" >/dev/null
fi
windows=false
[[ -f $build/kd740-updater.exe ]] && windows=true
if $busy && $windows; then
    echo "screenshot: --busy is for the Linux build" >&2
    exit 2
fi
# The busy picture wants a write slow enough to catch: the FPGA's takes 18 s.
scale=0.01
$busy && scale=0.05
# Only what the picture needs: the updater and the simulator's images.
targets=(kd740-updater kdsim_firmware)
$windows && targets+=(kd740drive)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool not found" >&2; exit 2; }
done

run=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    local status=$?
    local pid
    for pid in $app_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$run"
    exit "$status"
}
trap cleanup EXIT

# The updater opens ./firmware/<image> from its working directory.
mkdir -p "$run/firmware"
cp "$build"/firmware/*.img "$build"/firmware/*.rbf "$build"/firmware/SHA256SUMS "$build"/firmware/SHA256SUMS.minisig \
    "$run/firmware/"
cat >"$run/instrument.txt" <<'EOF'
instrument
  model 1
  serial 1234
  link usb
  state normal
  boot 4
  run 5
  fpga 10
EOF

# -displayfd picks a free display number, so a running X server is left alone.
# -dpi 96: a display at 100 %; without a desktop's font DPI setting Qt 5
# scales by the DPI the X server reports (Xvfb: 100).
Xvfb -displayfd 3 -screen 0 1024x640x24 -dpi 96 -nolisten tcp 3>"$run/display" 2>"$run/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do
    [[ -s $run/display ]] && break
    sleep 0.1
done
[[ -s $run/display ]] || { echo "screenshot: Xvfb did not start: $(cat "$run/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$run/display")"

if $windows; then
    qt=${KD740_QT_MINGW:-$HOME/.cache/kd740/qt5-mingw}
    (cd "$run" && env KDSIM_DEVICE="$run/instrument.txt" KDSIM_TRACE="$run/trace.txt" KDSIM_SCALE=0.01 \
        KD740_DRIVE_SCREENSHOT="Z:$run/window.png" QT_QPA_PLATFORM=windows QT_QPA_GENERIC_PLUGINS=kd740drive \
        QT_PLUGIN_PATH="Z:$build/tests/drive;Z:$qt/plugins" \
        timeout 180 "$root/scripts/wine-run.sh" "$build/kd740-updater.exe" >"$run/updater.log" 2>&1) \
        || { echo "screenshot: the updater failed: $(tr -d '\r' <"$run/updater.log")" >&2; exit 1; }
    grep -q '^ *fpga 12$' "$run/instrument.txt" || { echo "screenshot: the instrument was not left at FPGA 12" >&2; exit 1; }
    cp "$run/window.png" "$out"
    echo "screenshot: wrote $out"
    exit 0
fi

# Its record goes to the scratch folder, not the user's.
(cd "$run" && exec env KDSIM_DEVICE="$run/instrument.txt" KDSIM_TRACE="$run/trace.txt" KDSIM_SCALE=$scale \
    XDG_DATA_HOME="$run/data" QT_QPA_PLATFORM=xcb "$build/kd740-updater" >"$run/updater.log" 2>&1) &
app_pid=$!

window=$(timeout 20 xdotool search --sync --name '^KD740 Firmware Updater$' | head -n1) || true
[[ -n $window ]] || { echo "screenshot: no updater window: $(cat "$run/updater.log")" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"   # sets X Y WIDTH HEIGHT
sleep 0.5

# There is no window manager, so the buttons have no windows of their own to
# find: they sit at the top of the right-hand column, one button height apart.
button_x=$((WIDTH - 60))
check_y=21
update_y=52

wait_for() {   # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.5
    done
}
check_done() { grep -q '^kdCloseDevice(' "$run/trace.txt" 2>/dev/null; }
# The success line is the only text drawn in this green.
success_shown() {
    import -window "$window" "$run/window.png"
    [[ $(convert "$run/window.png" -alpha off -fill black +opaque '#1A8839' -format '%k' info:) -gt 1 ]]
}
give_up() {
    import -window root "${out%.png}.failed.png" || true
    echo "screenshot: $1; the screen is in ${out%.png}.failed.png" >&2
    echo "--- updater output"; cat "$run/updater.log"; echo "--- calls"; cat "$run/trace.txt" 2>/dev/null
    exit 1
}

xdotool mousemove --window "$window" "$button_x" "$check_y" click 1
wait_for 30 check_done || give_up "the version check did not finish"
sleep 0.5
xdotool mousemove --window "$window" "$button_x" "$update_y" click 1
if $busy; then
    fpga_cleared() { grep -q '^kdConfigUSBClearFPGAProgram(' "$run/trace.txt" 2>/dev/null; }
    wait_for 30 fpga_cleared || give_up "the FPGA clear did not finish"
    xdotool mousemove 1000 620
    sleep 7.2   # a few seconds into the write, just after a tick
    import -window root "$run/screen.png"
    convert "$run/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
    echo "screenshot: wrote $out"
    exit 0
fi
wait_for 60 success_shown || give_up "no 'Firmware updated successfully.' line"
grep -q '^ *fpga 12$' "$run/instrument.txt" || give_up "the instrument was not left at FPGA 12"
xdotool mousemove 1000 620   # keep the pointer out of the picture
sleep 0.3

import -window root "$run/screen.png"
convert "$run/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "screenshot: wrote $out"

#!/usr/bin/env bash
# On a private X server and session bus with the AT-SPI bus up, runs either
# the updater, which names.py works through that bus through a check and an
# update, reading its window as it goes, or a test program, whose
# widgets then tell of their changes as to a screen reader. Exit status 77
# (skipped) when a tool is missing.
# Usage: run.sh --names UPDATER | run.sh TEST [ARGUMENT...]
set -euo pipefail
skip() { echo "SKIPPED: $1 is not installed; the AT-SPI check needs it" && exit 77; }
# Qt's AT-SPI bridge, X and D-Bus libraries are not instrumented: their own
# leaks and locks would stand as the sanitizers' reports.
[[ -z ${ASAN_OPTIONS:-}${TSAN_OPTIONS:-} ]] || { echo "SKIPPED: not run under sanitizers" && exit 77; }
command -v dbus-run-session >/dev/null || skip "dbus-run-session (Debian: dbus)"
command -v Xvfb >/dev/null || skip "Xvfb (Debian: xvfb)"
# The session bus starts the AT-SPI bus on the first call for it.
[[ -f /usr/share/dbus-1/services/org.a11y.Bus.service ]] || skip "at-spi-bus-launcher (Debian: at-spi2-core)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "pyatspi (Debian: python3-pyatspi)"
[[ -n ${KD740_ATSPI_SESSION:-} ]] || KD740_ATSPI_SESSION=1 exec dbus-run-session -- "$0" "$@"

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work XDG_DATA_HOME=${XDG_DATA_HOME:-$work/data}
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/display")
# A window manager decides which window gets the keys, as on a desktop; the
# tests then type through the X server (xdotool) rather than into Qt.
if command -v openbox >/dev/null && command -v xdotool >/dev/null && command -v xprop >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    export KD740_WINDOW_MANAGER=openbox
fi
start_atspi_bus() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
}
if [[ $1 != --names ]]; then
    start_atspi_bus
    KD740_HEAR_ANNOUNCEMENTS=1 "$@"
    exit
fi

# The simulator's own instrument: a KD740B whose FPGA the update writes.
cd "$(dirname "$2")"
KDSIM_SCALE=0.02 "$2" >"$work/updater.log" 2>&1 &
pids+=($!)
# Qt 5 joins the AT-SPI bus cleanly when that bus starts after it watches
# the session bus for it (it is on that bus beside this query); started
# before, it may embed itself in the registry before it is connected, and
# never show up.
for _ in $(seq 100); do
    [[ $(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.ListNames | grep -c '":1\.') -ge 2 ]] && break
    sleep 0.1
done
start_atspi_bus
/usr/bin/python3 "$here/names.py" || { cat "$work/updater.log" && exit 1; }

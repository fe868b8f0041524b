#!/usr/bin/env bash
# Cross-builds for 64-bit Windows with MinGW-w64 (building Qt for it first if
# the cache lacks it) and runs the whole test suite under Wine.
#
#   scripts/test-windows.sh [BUILD_DIR]     default: build-windows/ of the checkout
#
# Qt, libsodium and Wine's folder are cached under ~/.cache/kd740
# (KD740_QT_MINGW, KD740_SODIUM_MINGW, WINEPREFIX).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}
"$root/scripts/setup.sh" --windows

KD740_QT_MINGW=$("$root/scripts/build-qt-mingw.sh" | tail -n1)
KD740_SODIUM_MINGW=$("$root/scripts/build-sodium-mingw.sh" | tail -n1)
export KD740_QT_MINGW KD740_SODIUM_MINGW
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/kd740/wine}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build" -j"$(nproc)"

# Tests run in parallel; Wine's folder is made once, before them.
"$root/scripts/wine-run.sh" wineboot --init
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

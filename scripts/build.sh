#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default: build/ of the checkout).
# QT_MAJOR=6 in the environment builds with Qt 6.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQT_MAJOR="${QT_MAJOR:-5}"
cmake --build "$build" -j"$(nproc)"

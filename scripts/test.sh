#!/usr/bin/env bash
# Sets up, builds and runs every test, headless, into BUILD_DIR (default:
# build/ of the checkout). QT_MAJOR=6 in the environment tests the Qt 6 build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

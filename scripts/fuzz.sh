#!/usr/bin/env bash
# Builds the image list's fuzz target (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, clang) in its own build directory and runs it
# for a fixed number of inputs from its starting corpus, signed lists made by the
# build; a crash, a sanitizer report or a broken invariant fails.
#
#   scripts/fuzz.sh [BUILD_DIR] [RUNS]   (default: build-fuzz/ of the checkout, 20000)
#
# Needs: clang and libclang-rt-dev, besides what the build needs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
runs=${2:-20000}

clang=$(command -v clang-14 || command -v clang)
clangxx=$(command -v clang++-14 || command -v clang++)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQT_MAJOR="${QT_MAJOR:-5}" \
    -DCMAKE_C_COMPILER="$clang" -DCMAKE_CXX_COMPILER="$clangxx" -DKD740_FUZZ=ON
cmake --build "$build" -j"$(nproc)" --target fuzz_image_list fuzz_corpus

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# New inputs go to a scratch folder; the starting corpus stays as the build made it.
# An input that fails is kept in the build folder (crash-*, leak-*, ...).
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/tests/fuzz/fuzz_image_list" -runs="$runs" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/tests/fuzz/" "$scratch" "$build/tests/fuzz/corpus"

#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer in
# its own build directory and runs the whole test suite; any report fails.
#
#   scripts/sanitizers.sh [BUILD_DIR]      (default: build-sanitizers/ of the checkout)
#
# Needs: build-essential cmake qtbase5-dev xvfb (only what the tests need).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-sanitizers}
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"

# Set before the build too: the build runs the icon generator, itself instrumented.
# A sanitizer report ends the process with its own exit code, so ctest marks
# the test failed; halt_on_error stops at the first one so it is not buried.
# fast_unwind_on_malloc=0 gives whole stacks through Qt (built without frame
# pointers), which the suppressions need to match. verify_asan_link_order=0:
# a test preloads a kd_api double (LD_PRELOAD), which puts that library ahead
# of the ASan runtime; the double is instrumented too, so nothing is missed.
export ASAN_OPTIONS="verify_asan_link_order=0:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:print_stacktrace=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0"
export QT_QPA_PLATFORM=offscreen

cmake -S "$root" -B "$build" \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build" -j"$(nproc)"

cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 600

#!/usr/bin/env bash
# Builds the project with sanitizers in its own build directory and runs the
# whole test suite; any report fails.
#
#   scripts/sanitizers.sh [BUILD_DIR] [address|thread]
#
# address (default; BUILD_DIR build-sanitizers/ of the checkout):
#   AddressSanitizer and UndefinedBehaviorSanitizer.
# thread (default BUILD_DIR build-tsan/): ThreadSanitizer, for the data races
#   between the GUI thread, the workers and the device library.
#
# Needs: build-essential cmake qtbase5-dev xvfb (only what the tests need).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
kind=${2:-address}
case $kind in
address)
    build=${1:-$root/build-sanitizers}
    sanitize=address,undefined
    flags="-fsanitize=$sanitize -fno-omit-frame-pointer -fno-sanitize-recover=all"
    ;;
thread)
    build=${1:-$root/build-tsan}
    sanitize=thread
    flags="-fsanitize=$sanitize -fno-omit-frame-pointer"
    ;;
*)
    echo "sanitizers: unknown kind '$kind' (address or thread)" >&2
    exit 2
    ;;
esac

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
# Qt is not instrumented, so the locks it takes inside its own code are
# unseen: ignore_noninstrumented_modules leaves out the memory Qt's own code
# allocates, frees and copies through the runtime (its thread pools would
# otherwise show as races), and scripts/tsan.supp names any other report that
# is Qt's alone. Every access our code makes is still checked.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$root/scripts/tsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

cmake -S "$root" -B "$build" \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=$sanitize" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=$sanitize" \
    -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=$sanitize"
cmake --build "$build" -j"$(nproc)"

cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 600

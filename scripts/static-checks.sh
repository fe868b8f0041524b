#!/usr/bin/env bash
# Formatting and static analysis of the project's own sources; exits
# non-zero on any finding.
#
#   scripts/static-checks.sh [BUILD_DIR]   (default: build-static/ of the checkout)
#
# clang-format checks against .clang-format; clang-tidy runs the checks of
# .clang-tidy over every project file in BUILD_DIR's compile_commands.json,
# leaving out what moc and the other generators wrote.
# The Windows power and disk-sync files need no Qt, so for want of a Windows
# build of Qt they are compiled here with MinGW and linked into small
# programs, which checks them against the Windows headers and import
# libraries. The Windows write guard needs QtCore, whose headers are the
# same on every platform: MinGW checks it against this machine's.
# Needs: clang-format and clang-tidy (Debian 12: version 14), cmake,
# qtbase5-dev, python3, g++-mingw-w64-x86-64-posix.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-static}
source_dirs=(app cli ui catalogue workers device power record session simulator tests packaging)

find_tool() {
    local name
    for name in "$@"; do
        command -v "$name" >/dev/null && { command -v "$name"; return 0; }
    done
    echo "static-checks: none of $* found" >&2
    return 1
}
clang_format=$(find_tool clang-format-14 clang-format) || exit 2
clang_tidy=$(find_tool clang-tidy-14 clang-tidy) || exit 2
mingw=$(find_tool x86_64-w64-mingw32-g++-posix) || exit 2

status=0

cd "$root"
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- "${source_dirs[@]}" \
    | grep -E '\.(cpp|h)$' | while read -r f; do [[ -f $f ]] && echo "$f"; done)
echo "== clang-format: ${#sources[@]} files"
if ! "$clang_format" --style=file --dry-run --Werror "${sources[@]}"; then
    echo "FAIL: clang-format: files above need formatting (clang-format -i FILE)" >&2
    status=1
fi

echo "== MinGW: power/PowerInhibitorWindows.cpp"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf '#include "power/PowerInhibitor.h"\nint main()\n{\n    PowerInhibitor inhibitor(0);\n    inhibitor.hold({});\n    inhibitor.release();\n}\n' \
    >"$scratch/main.cpp"
if ! "$mingw" -std=c++17 -Wall -Wextra -Werror -I"$root" power/PowerInhibitorWindows.cpp "$scratch/main.cpp" \
        -o "$scratch/inhibitor.exe"; then
    echo "FAIL: the Windows power file does not build with MinGW" >&2
    status=1
fi
echo "== MinGW: record/SyncToDisk_windows.cpp"
printf '#include "record/SyncToDisk.h"\nint main()\n{\n    return syncToDisk(1) ? 0 : 1;\n}\n' >"$scratch/sync.cpp"
if ! "$mingw" -std=c++17 -Wall -Wextra -Werror -I"$root" record/SyncToDisk_windows.cpp "$scratch/sync.cpp" \
        -o "$scratch/sync.exe"; then
    echo "FAIL: the Windows disk-sync file does not build with MinGW" >&2
    status=1
fi
echo "== MinGW: power/WriteGuard_windows.cpp (compiled, not linked)"
qt_headers=$(qmake -query QT_INSTALL_HEADERS 2>/dev/null || true)
if [[ ! -d $qt_headers/QtCore ]]; then
    echo "FAIL: no Qt headers found (qmake -query QT_INSTALL_HEADERS)" >&2
    status=1
elif ! "$mingw" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$root" -isystem "$qt_headers" \
        -isystem "$qt_headers/QtCore" power/WriteGuard_windows.cpp; then
    echo "FAIL: the Windows write guard does not compile with MinGW" >&2
    status=1
fi

# The generated headers (moc, autogen include dirs) must exist for the
# sources to parse, so the tree is built first.
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null \
        && cmake --build "$build" -j"$(nproc)" >/dev/null; }; then
    echo "FAIL: could not configure and build $build for clang-tidy" >&2
    exit 1
fi

mapfile -t units < <(python3 - "$build/compile_commands.json" "$root" "${source_dirs[@]}" <<'EOF'
import json, os, sys
database, root, dirs = sys.argv[1], os.path.realpath(sys.argv[2]), sys.argv[3:]
for entry in json.load(open(database)):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if relative.split(os.sep)[0] in dirs and "_autogen" not in relative:
        print(path)
EOF
)
echo "== clang-tidy: ${#units[@]} translation units"
# --quiet drops the "N warnings generated" chatter from headers filtered out.
if ! printf '%s\0' "${units[@]}" | xargs -0 -n 1 -P "$(nproc)" "$clang_tidy" --quiet -p "$build"; then
    echo "FAIL: clang-tidy reported findings" >&2
    status=1
fi

[[ $status -eq 0 ]] && echo "static checks: clean"
exit $status

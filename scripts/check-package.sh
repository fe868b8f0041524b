#!/usr/bin/env bash
# Builds the Debian package from a configured build directory, unpacks it
# into a scratch root and checks what a technician would get: the files,
# that the updater finds its kd_api inside the package, and that it starts.
#
#   scripts/check-package.sh BUILD_DIR
#
# Needs: cmake, dpkg-dev (dpkg-shlibdeps), binutils (readelf), file;
# desktop-file-utils is used when present.
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
ok() {
    echo "ok - $*"
}

# What the package holds; the tests need not build for a package to be made.
cmake --build "$build" -j"$(nproc)" --target kd740-updater kd740_install_files
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack could not build the package" >&2
    exit 1
}
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: expected one .deb, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# Control data: name, version, and dependencies found by dpkg-shlibdeps.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == kd740-updater ]] || fail "package name is '$(field Package)'"
[[ $(field Version) == 2.0.1 ]] || fail "package version is '$(field Version)'"
depends=$(field Depends)
for lib in libqt5widgets5 libqt5gui5 libqt5core5a libc6 libstdc++6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: '$depends'"
done
[[ $depends != *kd740* && $depends != *kd-api* && $depends != *kd_api* ]] \
    || fail "Depends names the private kd_api: '$depends'"
ok "control: $(field Package) $(field Version), Depends: $depends"

root="$scratch/root"
dpkg -x "$deb" "$root"

binary="$root/usr/bin/kd740-updater"
[[ -x $binary ]] || fail "no executable /usr/bin/kd740-updater"
library=$(find "$root/usr/lib/kd740-updater" -name 'libkd_api.so*' -type f 2>/dev/null | head -n1)
[[ -n $library ]] || fail "no libkd_api in /usr/lib/kd740-updater"

entry="$root/usr/share/applications/kd740-updater.desktop"
if [[ -f $entry ]]; then
    for key in 'Name=KD740 Firmware Updater' 'Exec=kd740-updater' 'Icon=kd740-updater' 'Path=/usr/share/kd740-updater'; do
        grep -qxF "$key" "$entry" || fail "desktop entry lacks '$key'"
    done
    grep -q '^Categories=.\+;$' "$entry" || fail "desktop entry has no Categories"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "desktop entry does not validate"
    fi
else
    fail "no desktop entry"
fi

for size in 16 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/kd740-updater.png"
    if [[ ! -f $icon ]]; then
        fail "no ${size}px icon"
    elif ! file -b "$icon" | grep -q "PNG image data, $size x $size"; then
        fail "${size}px icon is $(file -b "$icon")"
    fi
done

# The program opens ./firmware/<name> from the directory the desktop entry starts it in.
workdir="$root$(sed -n 's/^Path=//p' "$entry" 2>/dev/null)"
expected="kd740a_boot_4.img kd740a_fpga_9.rbf kd740a_run_5.img kd740b_boot_4.img kd740b_fpga_12.rbf
kd740b_run_5.img kd740c_fpga_v3.rbf kd740c_fx3_v5.img"
found=$(cd "$workdir/firmware" 2>/dev/null && find . -type f -printf '%f\n' | sort | xargs)
[[ $found == "$(echo $expected)" ]] || fail "firmware images in Path/firmware: '$found'"
for image in "$workdir"/firmware/*; do
    [[ -s $image && $(head -c4 "$image") == KDIM ]] || fail "$(basename "$image") is not an image file"
done

echo "--- files in the package"
(cd "$root" && find . -type f -o -type l | sort)
echo "---"

if [[ -x $binary ]]; then
    # The installed binary must find kd_api through its own RUNPATH, never
    # through a path of the build tree.
    runpath=$(readelf -d "$binary" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')
    [[ $runpath == '$ORIGIN/../lib/kd740-updater' ]] || fail "binary RUNPATH is '$runpath'"
    resolved=$(env -u LD_LIBRARY_PATH ldd "$binary" 2>&1)
    if grep -q 'not found' <<<"$resolved"; then
        fail "unresolved libraries: $(grep 'not found' <<<"$resolved" | xargs)"
    fi
    api=$(sed -n 's/^\s*libkd_api[^ ]* => \([^ ]*\).*/\1/p' <<<"$resolved")
    if [[ $(realpath "$api" 2>/dev/null) == "$root"/usr/lib/kd740-updater/* ]]; then
        ok "libkd_api resolves to ${api#"$root"}"
    else
        fail "libkd_api resolves to '$api', not inside the package"
    fi

    # Started as the desktop would start it: in Path, with no simulator
    # settings. Still running when the timeout ends it means it came up.
    status=0
    (cd "$workdir" && env -u LD_LIBRARY_PATH -u KDSIM_DEVICE -u KDSIM_SCALE -u KDSIM_TRACE \
        QT_QPA_PLATFORM=offscreen timeout -s TERM 3 "$binary" >"$scratch/run.log" 2>&1) || status=$?
    if [[ $status -eq 124 ]]; then
        ok "updater started and was still running after 3 s"
    else
        fail "updater ended with status $status before 3 s: $(head -c 2000 "$scratch/run.log")"
    fi
fi

if [[ $failures -ne 0 ]]; then
    echo "package check: $failures problem(s)" >&2
    exit 1
fi
echo "package check: all passed"

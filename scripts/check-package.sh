#!/usr/bin/env bash
# Builds the Debian package from a configured build directory, unpacks it
# into a scratch root and checks what a technician would get: the files,
# the package's metadata, that the updater finds its kd_api inside the
# package, and that the installed command, started from an unrelated folder,
# checks and updates a simulated instrument.
#
#   scripts/check-package.sh BUILD_DIR
#
# What the package must hold (name, version, images) comes from
# BUILD_DIR/kd740-package.txt, which CMake writes.
# The console program kd740-flash is checked alike: a link in /usr/bin to the
# program beside kd_api, its manual page, no Qt Widgets, and an update from an
# unrelated folder.
# Needs: cmake, dpkg-dev (dpkg-shlibdeps), binutils (readelf), file, lintian,
# appstream; desktop-file-utils is used when present.
set -euo pipefail

root_dir=$(cd "$(dirname "$0")/.." && pwd)
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

fact() { sed -n "s/^$1=//p" "$build/kd740-package.txt"; }
package=$(fact package)
version=$(fact version)

# What the package holds and, on the simulated instrument, the driver of the
# update run below (built with the tests' helpers, so BUILD_TESTING must be
# on); the tests themselves need not build for a package to be made.
targets=(kd740-updater kd740-flash kd740_install_files)
[[ $(fact simulated) == yes ]] && targets+=(kd740_drive)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack could not build the package" >&2
    exit 1
}
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: expected one .deb, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# Control data: name, version, description, and dependencies found by dpkg-shlibdeps.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == "$package" ]] || fail "package name is '$(field Package)', expected '$package'"
[[ $(field Version) == "$version" ]] || fail "package version is '$(field Version)', expected '$version'"
if [[ $(fact simulated) == yes ]]; then
    [[ $package == *-sim ]] || fail "a package on the simulated instrument is named '$package'"
    grep -q simulated <<<"$(field Description)" || fail "the description does not say the instrument is simulated"
fi
long_lines=$(field Description | awk 'length > 80' | wc -l)
[[ $long_lines -eq 0 ]] || fail "$long_lines description line(s) longer than 80 characters"
depends=$(field Depends)
qt=$(fact qt)
for lib in "libqt${qt}widgets${qt}" "libqt${qt}gui${qt}" "libqt${qt}core" libc6 libstdc++6 libsystemd0; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: '$depends'"
done
[[ $depends != *kd740* && $depends != *kd-api* && $depends != *kd_api* ]] \
    || fail "Depends names the private kd_api: '$depends'"
ok "control: $(field Package) $(field Version), Depends: $depends"
echo "Description: $(field Description)"

# The private library folder is not the linker's business.
dpkg-deb -e "$deb" "$scratch/control"
if grep -rqs ldconfig "$scratch/control"; then
    fail "control scripts or triggers call ldconfig: $(grep -rl ldconfig "$scratch/control" | xargs -n1 basename | xargs)"
else
    ok "no ldconfig in the control data ($(ls "$scratch/control" | xargs))"
fi

root="$scratch/root"
dpkg -x "$deb" "$root"

wrapper="$root/usr/bin/kd740-updater"
binary="$root/usr/libexec/kd740-updater/kd740-updater"
[[ -x $wrapper ]] || fail "no executable /usr/bin/kd740-updater"
[[ -x $binary ]] || fail "no executable /usr/libexec/kd740-updater/kd740-updater"
library=$(find "$root/usr/libexec/kd740-updater" -name 'libkd_api.so*' -type f 2>/dev/null | head -n1)
[[ -n $library ]] || fail "no libkd_api in /usr/libexec/kd740-updater"
[[ -f $root/usr/share/doc/$package/copyright ]] || fail "no /usr/share/doc/$package/copyright"

flash="$root/usr/bin/kd740-flash"
flash_binary="$root/usr/libexec/kd740-updater/kd740-flash"
if [[ -L $flash && $(readlink -f "$flash") == "$flash_binary" && -x $flash_binary ]]; then
    ok "/usr/bin/kd740-flash links to $(readlink "$flash")"
else
    fail "/usr/bin/kd740-flash is not a link to /usr/libexec/kd740-updater/kd740-flash"
fi
[[ -f $root/usr/share/man/man1/kd740-flash.1.gz ]] || fail "no manual page for kd740-flash"
if [[ -x $flash_binary ]]; then
    needed=$(readelf -d "$flash_binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | xargs)
    [[ $needed == *libkd_api* && $needed != *Widgets* && $needed != *Gui* ]] \
        || fail "kd740-flash needs: $needed"
    ok "kd740-flash needs: $needed"
fi

entry="$root/usr/share/applications/kd740-updater.desktop"
if [[ -f $entry ]]; then
    for key in 'Name=KD740 Firmware Updater' 'Exec=kd740-updater' 'Icon=kd740-updater'; do
        grep -qxF "$key" "$entry" || fail "desktop entry lacks '$key'"
    done
    grep -q '^Categories=.\+;$' "$entry" || fail "desktop entry has no Categories"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "desktop entry does not validate"
    fi
else
    fail "no desktop entry"
fi

metainfo="$root/usr/share/metainfo/$(fact metainfo)"
if [[ ! -f $metainfo ]]; then
    fail "no /usr/share/metainfo/$(fact metainfo)"
elif ! command -v appstreamcli >/dev/null; then
    fail "appstreamcli not found (package appstream)"
else
    echo "--- appstreamcli validate --no-net"
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
fi

for size in 16 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/kd740-updater.png"
    if [[ ! -f $icon ]]; then
        fail "no ${size}px icon"
    elif ! file -b "$icon" | grep -q "PNG image data, $size x $size"; then
        fail "${size}px icon is $(file -b "$icon")"
    fi
done

datadir="$root/usr/share/kd740-updater"
expected=$( (fact images | tr ' ' '\n'; echo SHA256SUMS; echo SHA256SUMS.minisig) | sort | xargs)
found=$(cd "$datadir/firmware" 2>/dev/null && find . -type f -printf '%f\n' | sort | xargs)
[[ $found == "$expected" ]] || fail "firmware images in /usr/share/kd740-updater/firmware: '$found'"
for image in $(fact images); do
    image="$datadir/firmware/$image"
    [[ -s $image && $(head -c4 "$image") == KDIM ]] || fail "$(basename "$image") is not an image file"
done
# Every image listed, each as shipped.
listed=$(cut -c67- "$datadir/firmware/SHA256SUMS" 2>/dev/null | sort | xargs)
[[ $listed == "$(fact images | tr ' ' '\n' | sort | xargs)" ]] || fail "SHA256SUMS lists '$listed'"
(cd "$datadir/firmware" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match the images"
cmp -s "$datadir/firmware/SHA256SUMS.minisig" "$root_dir/catalogue/shipped/SHA256SUMS.minisig" \
    || fail "SHA256SUMS.minisig is not the signature in catalogue/shipped/"

echo "--- files in the package"
(cd "$root" && find . -type f -o -type l | sort)
echo "---"

if command -v lintian >/dev/null; then
    echo "--- lintian"
    lintian --fail-on error "$deb" || fail "lintian reports errors"
    echo "---"
else
    fail "lintian not found"
fi

if [[ -x $binary ]]; then
    # The installed binary must find kd_api through its own RUNPATH, never
    # through a path of the build tree.
    runpath=$(readelf -d "$binary" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')
    [[ $runpath == '$ORIGIN' ]] || fail "binary RUNPATH is '$runpath'"
    resolved=$(env -u LD_LIBRARY_PATH ldd "$binary" 2>&1)
    if grep -q 'not found' <<<"$resolved"; then
        fail "unresolved libraries: $(grep 'not found' <<<"$resolved" | xargs)"
    fi
    api=$(sed -n 's/^\s*libkd_api[^ ]* => \([^ ]*\).*/\1/p' <<<"$resolved")
    if [[ $(realpath "$api" 2>/dev/null) == "$root"/usr/libexec/kd740-updater/* ]]; then
        ok "libkd_api resolves to ${api#"$root"}"
    else
        fail "libkd_api resolves to '$api', not inside the package"
    fi
fi

if [[ -x $wrapper ]]; then
    elsewhere="$scratch/elsewhere"
    mkdir -p "$elsewhere"
    # The records of these runs stay in the scratch folder.
    run() { (cd "$elsewhere" && env -u LD_LIBRARY_PATH -u LD_PRELOAD -u KDSIM_DEVICE -u KDSIM_SCALE -u KDSIM_TRACE \
        QT_QPA_PLATFORM=offscreen XDG_DATA_HOME="$scratch/data" "$@"); }

    # Started as from a menu, with no simulator settings: still running when
    # the timeout ends it means it came up.
    status=0
    run timeout -s TERM 3 "$wrapper" >"$scratch/start.log" 2>&1 || status=$?
    if [[ $status -eq 124 ]]; then
        ok "updater started and was still running after 3 s"
    else
        fail "updater ended with status $status before 3 s: $(head -c 2000 "$scratch/start.log")"
    fi

    # A technician's terminal in some other folder: the check and the update
    # must find the images all the same.
    if [[ $(fact simulated) == yes ]]; then
        cp "$root_dir/simulator/examples/kd740b.txt" "$scratch/instrument.txt"
        status=0
        run timeout 120 env LD_PRELOAD="$build/tests/drive/libkd740_drive.so" KDSIM_DEVICE="$scratch/instrument.txt" \
            KDSIM_TRACE="$scratch/trace.txt" KDSIM_SCALE=0 "$wrapper" >"$scratch/update.log" 2>&1 || status=$?
        if [[ $status -eq 0 ]] && grep -qxF 'Firmware requires update.' "$scratch/update.log" \
            && grep -qxF 'Firmware updated successfully.' "$scratch/update.log" \
            && grep -qE '^kdConfigUSBWriteFPGAProgram\(100, "/[^"]*/kd740-images-[^/"]+/kd740b_fpga_12\.rbf", d[0-9]+=100\) = 0$' "$scratch/trace.txt" \
            && grep -qx ' *fpga 12' "$scratch/instrument.txt"; then
            ok "started from $elsewhere, kd740-updater checked and updated a simulated KD740B"
        else
            fail "check and update from an unrelated folder (status $status):
$(cat "$scratch/update.log")
--- calls
$(cat "$scratch/trace.txt" 2>/dev/null)"
        fi

        # The console program on the same instrument as it was, from the same folder.
        cp "$root_dir/simulator/examples/kd740b.txt" "$scratch/instrument.txt"
        rm -f "$scratch/trace.txt"
        status=0
        run timeout 120 env KDSIM_DEVICE="$scratch/instrument.txt" KDSIM_TRACE="$scratch/trace.txt" KDSIM_SCALE=0 \
            "$root/usr/bin/kd740-flash" update >"$scratch/flash.log" 2>&1 || status=$?
        if [[ $status -eq 0 ]] && grep -qxF 'Firmware updated successfully.' "$scratch/flash.log" \
            && grep -qE "^Record: $scratch/data/kd740-updater/records/[0-9-]+-KD740B-1234(-[0-9]+)?\.txt\$" "$scratch/flash.log" \
            && grep -qE '^kdConfigUSBWriteFPGAProgram\(100, "/[^"]*/kd740-images-[^/"]+/kd740b_fpga_12\.rbf", d[0-9]+=100\) = 0$' "$scratch/trace.txt" \
            && grep -qx ' *fpga 12' "$scratch/instrument.txt"; then
            ok "started from $elsewhere, kd740-flash updated a simulated KD740B and kept its record"
        else
            fail "kd740-flash update from an unrelated folder (status $status):
$(cat "$scratch/flash.log")
--- calls
$(cat "$scratch/trace.txt" 2>/dev/null)"
        fi
    fi
fi

if [[ $failures -ne 0 ]]; then
    echo "package check: $failures problem(s)" >&2
    exit 1
fi
echo "package check: all passed"
